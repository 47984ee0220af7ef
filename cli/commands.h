// The subcommands of pictora-cli. Each takes the arguments after its name and
// returns the exit status (cli/common.h lists them).
#pragma once

#include <span>
#include <string>

namespace zt::cli {

int ScanCommand(std::span<const std::string> args);
int ImageCommand(std::span<const std::string> args);
int DevicesCommand(std::span<const std::string> args);

}  // namespace zt::cli
