// File, folder, environment and process helpers for the settings, the logs
// and the help launch. These are the program's only calls into the system
// for those jobs, so the code above them stays plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zt::platform {

// True when something (file, folder, device) exists at path. Follows links.
bool PathExists(const std::string& path);
bool IsRegularFile(const std::string& path);
// Gives the owner write permission (chmod u+w), as Windows' "normal"
// attributes would, so a read-only file can be appended to or deleted. Only
// a regular file at path itself changes, never the target of a link.
bool MakeOwnerWritable(const std::string& path);
// Deletes a file (not a folder). False when it could not be deleted.
bool RemoveFile(const std::string& path);
// Creates the folder and its missing parents. True when it exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode = 0755);

struct FileContent {
    std::string bytes;
    int error = 0;  // 0 when read; ENOENT when missing; another errno when unreadable
};
// Reads a regular file (anything else, a FIFO say, fails with EINVAL without
// blocking). A file of more than limit bytes fails with EFBIG, after reading
// no more than limit + 1 bytes of it.
FileContent ReadWholeFile(const std::string& path, std::uint64_t limit = ~std::uint64_t{0});

// Appends pieces in turn to the regular file at path in one locked step (a
// link there fails with ELOOP, anything else with EINVAL, without blocking),
// creating the file (mode 0644 before the umask) when missing. While the
// exclusive lock is held no other appender (thread or process) can add
// bytes, so entries never interleave. The file is emptied before any piece
// that finds it larger than resetAbove bytes. A file deleted or replaced by
// someone else between the open and the lock is opened again, so the bytes
// never go to a vanished file. Returns 0 when every byte was written, else
// the errno of the failure.
[[nodiscard]] int AppendLocked(const std::string& path, std::span<const std::string> pieces, std::uint64_t resetAbove);

// Value of an environment variable; nullopt when unset.
std::optional<std::string> EnvironmentValue(const char* name);
// $HOME, else the password database's home folder; empty when neither exists.
std::string HomeFolder();
// An XDG base folder: the variable when it holds an absolute path, else
// HomeFolder() followed by fallback (for example ".config"). Empty without a home.
std::string XdgFolder(const char* variable, std::string_view fallback);
// The folder that holds the running executable (from /proc/self/exe); empty when unknown.
std::string ExecutableFolder();
// The current folder; empty when it cannot be named (removed, or out of reach).
std::string CurrentFolder();
// path as an absolute path: as it is when it starts with '/', else joined to
// the current folder. Nothing when the current folder cannot be named (it was
// removed while the program ran in it): the path would end up elsewhere.
std::optional<std::string> AbsolutePath(const std::string& path);
// path with every link and "." or ".." resolved (/dev/disk/by-id/... becomes
// /dev/sdb); nothing when it cannot be resolved.
std::optional<std::string> ResolvedPath(const std::string& path);

// Starts a program found through PATH with the given arguments, without
// waiting for it and without a terminal of its own; its output is discarded.
// True when the program was started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments);
// True when program names an executable file found through PATH (or is a path to one).
bool ProgramExists(const std::string& program);

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

// folder + '/' + name, without doubling a trailing '/'.
std::string JoinPath(std::string_view folder, std::string_view name);
// The parts of a colon-separated search path, empty parts dropped.
std::vector<std::string> SplitSearchPath(std::string_view searchPath);

}  // namespace zt::platform
