#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <thread>

#include "platform/raw_io.h"

extern char** environ;

namespace zt::platform {

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeOwnerWritable(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & S_IWUSR) != 0) return true;
    // Should a link take the file's place meanwhile, the change is refused
    // rather than made to whatever the link names.
    return ::fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MakeDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty() || partial.back() == '/') continue;
        if (::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// Opens path without blocking and keeps it only when it is a regular file.
UniqueFd OpenRegular(const std::string& path, int flags, mode_t mode, int& error) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode));
    if (!fd.Valid()) {
        error = errno;
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = EINVAL;
        return UniqueFd();
    }
    (void)::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    error = 0;
    return fd;
}

}  // namespace

FileContent ReadWholeFile(const std::string& path, std::uint64_t limit) {
    FileContent result;
    UniqueFd fd = OpenRegular(path, O_RDONLY, 0, result.error);
    if (!fd.Valid()) return result;
    char buffer[16384];
    for (;;) {
        if (result.bytes.size() > limit) {
            result.error = EFBIG;
            result.bytes.clear();
            return result;
        }
        // One byte beyond the limit tells a file that is too large.
        const std::uint64_t room = limit - result.bytes.size();
        const std::size_t ask = room >= sizeof buffer ? sizeof buffer : static_cast<std::size_t>(room) + 1;
        ssize_t n = ::read(fd.Get(), buffer, ask);
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            result.bytes.clear();
            return result;
        }
        if (n == 0) return result;
        result.bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

namespace {

int LockExclusive(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// True when fd still is the file that path names (not through a link).
bool SameFile(int fd, const std::string& path) {
    struct stat byFd {};
    struct stat byPath {};
    if (::fstat(fd, &byFd) != 0 || ::lstat(path.c_str(), &byPath) != 0) return false;
    return byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

// argv for posix_spawn: the program, then the arguments, then a null pointer.
class ArgumentVector {
public:
    ArgumentVector(const std::string& program, const std::vector<std::string>& arguments) {
        storage_.reserve(arguments.size() + 1);
        storage_.push_back(program);
        storage_.insert(storage_.end(), arguments.begin(), arguments.end());
        for (std::string& s : storage_) pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
    }
    char* const* Get() { return pointers_.data(); }

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};

}  // namespace

int AppendLocked(const std::string& path, std::span<const std::string> pieces, std::uint64_t resetAbove) {
    // A clear (or a rollover by an older program) may delete the file between
    // our open and our lock; a few rounds settle that race.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int openError = 0;
        // A link at path is refused, never followed: it could name any file.
        UniqueFd fd = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0644, openError);
        if (!fd.Valid()) return openError;
        if (int error = LockExclusive(fd.Get()); error != 0) return error;
        if (!SameFile(fd.Get(), path)) continue;

        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) return errno;
        auto size = static_cast<std::uint64_t>(st.st_size);
        for (const std::string& data : pieces) {
            if (size > resetAbove) {
                if (::ftruncate(fd.Get(), 0) != 0) return errno;
                size = 0;
            }
            std::size_t done = 0;
            while (done < data.size()) {
                ssize_t n = ::write(fd.Get(), data.data() + done, data.size() - done);
                if (n < 0) {
                    if (errno == EINTR) continue;
                    return errno;
                }
                if (n == 0) return ENOSPC;
                done += static_cast<std::size_t>(n);
            }
            size += data.size();
        }
        return 0;  // closing the descriptor releases the lock
    }
    return EAGAIN;
}

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string HomeFolder() {
    if (auto home = EnvironmentValue("HOME"); home && !home->empty()) return *home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string XdgFolder(const char* variable, std::string_view fallback) {
    // The XDG rules ignore relative values.
    if (auto value = EnvironmentValue(variable); value && !value->empty() && value->front() == '/') return *value;
    std::string home = HomeFolder();
    if (home.empty()) return {};
    return JoinPath(home, fallback);
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string exe(buffer, static_cast<std::size_t>(n));
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr || buffer[0] != '/') return {};
    // The name must still lead to the folder we are in: not to a folder made
    // in its place, and not to nothing.
    struct stat named {};
    struct stat here {};
    if (::stat(buffer, &named) != 0 || ::stat(".", &here) != 0) return {};
    if (named.st_dev != here.st_dev || named.st_ino != here.st_ino) return {};
    return buffer;
}

std::optional<std::string> AbsolutePath(const std::string& path) {
    if (path.starts_with('/')) return path;
    const std::string here = CurrentFolder();
    if (here.empty()) return std::nullopt;
    return JoinPath(here, path);
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string text(resolved);
    std::free(resolved);
    return text;
}

bool ProgramExists(const std::string& program) {
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    auto searchPath = EnvironmentValue("PATH");
    for (const std::string& folder : SplitSearchPath(searchPath.value_or("/usr/bin:/bin"))) {
        std::string candidate = JoinPath(folder, program);
        if (IsRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return true;
    }
    return false;
}

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
    ArgumentVector argv(program, arguments);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    // Its own session: closing the terminal of the command line must not close the viewer.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    pid_t pid = 0;
    int error = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.Get(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return false;

    // Nobody waits for the viewer, but its exit status must still be
    // collected so it does not linger as a zombie.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

ProcessOutcome RunProgramAndWait(const std::string& path, const std::vector<std::string>& arguments) {
    ArgumentVector argv(path, arguments);
    ProcessOutcome outcome;
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.Get(), environ) != 0) return outcome;
    outcome.started = true;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return outcome;
    }
    if (WIFEXITED(status)) outcome.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
}

bool RunningAsAdministrator() { return ::geteuid() == 0; }

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::vector<std::string> SplitSearchPath(std::string_view searchPath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string_view::npos) end = searchPath.size();
        if (end > start) parts.emplace_back(searchPath.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace zt::platform
