#include "platform/process_exit.h"

#include <unistd.h>

namespace zt::platform {

void ExitProcessNow(int code) { _exit(code); }

}  // namespace zt::platform
