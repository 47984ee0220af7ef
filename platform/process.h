// Starting a helper program of the installation and waiting for it.
#pragma once

#include <string>
#include <vector>

namespace zt::platform {

// True when path names a regular file the process may execute.
bool IsExecutableFile(const std::string& path);

struct ProcessOutcome {
    bool started = false;
    int exitStatus = -1;  // the status it ended with; -1 when it did not end normally
    int signal = 0;       // the signal that ended it, if one did
};

// Starts path (no search through PATH) with argv[0] = path followed by
// arguments, and waits until it ends. It shares the caller's terminal.
ProcessOutcome RunProgramAndWait(const std::string& path, const std::vector<std::string>& arguments);

// True when the process runs with root's rights, which reading a disk needs.
bool RunningAsAdministrator();

}  // namespace zt::platform
