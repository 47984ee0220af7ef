// The subcommands of pictora-cli. Each takes the process's session and the
// arguments after its name, and returns the exit status (cli/common.h lists them).
#pragma once

#include <span>
#include <string>

#include "app/session.h"

namespace zt::cli {

int ScanCommand(Session& session, std::span<const std::string> args);
int ImageCommand(Session& session, std::span<const std::string> args);
int DevicesCommand(Session& session, std::span<const std::string> args);

}  // namespace zt::cli
