// Ending the process at once.
#pragma once

namespace zt::platform {

// Ends the process immediately with the given code: no destructors, no atexit
// handlers, no waiting for other threads. Exit from the desktop program relies
// on this, because a worker may be blocked in a read of a failing medium.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace zt::platform
