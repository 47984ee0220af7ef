#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination.h"
#include "platform/files.h"
#include "platform/source_medium.h"

namespace zt::platform {

namespace {

int Retried(int result) { return result == 0 ? 0 : errno; }

class PosixDestination final : public Destination {
public:
    EntryInfo Examine(const std::string& path) override { return ExamineIn(AT_FDCWD, path); }

    bool IsFolder(const std::string& path) override {
        struct stat st {};
        return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
        struct statvfs vfs {};
        if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
        // f_bavail, not f_bfree: the blocks reserved for root are not ours to fill.
        return std::uint64_t{vfs.f_bavail} * std::uint64_t{vfs.f_frsize};
    }

    bool SameFile(const std::string& a, const std::string& b) override {
        struct stat sa {};
        struct stat sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }

    bool FolderOnMedium(const std::string& folder, const std::string& sourcePath) override {
        return FolderOnSourceMedium(folder, sourcePath);
    }

    std::vector<std::string> FilesUnder(const std::string& sourcePath) override { return FilesUnderSource(sourcePath); }

    std::vector<std::string> EntriesNoCase(const std::string& folder, const std::string& name) override {
        std::vector<std::string> found;
        DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
        if (d == nullptr) return found;
        while (const dirent* e = ::readdir(d)) {
            if (::strcasecmp(e->d_name, name.c_str()) == 0) found.push_back(JoinPath(folder, e->d_name));
        }
        ::closedir(d);
        return found;
    }

    int MakeFolder(const std::string& path) override { return MakeFolderIn(AT_FDCWD, path); }

    int MakeOwnerWritable(const std::string& path) override {
        // Opened without following a link, so only the file itself changes.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd.Valid()) return errno;
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) return errno;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        if ((st.st_mode & S_IWUSR) != 0) return 0;
        return Retried(::fchmod(fd.Get(), (st.st_mode & 07777) | S_IWUSR));
    }

    int Remove(const std::string& path) override { return RemoveIn(AT_FDCWD, path); }

    int Rename(const std::string& from, const std::string& to) override { return RenameIn(AT_FDCWD, from, to); }

    OpenResult Create(const std::string& path, CreateMode mode) override { return CreateIn(AT_FDCWD, path, mode); }

    OpenResult OpenFolder(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return fd < 0 ? OpenResult{-1, errno} : OpenResult{fd, 0};
    }

    OpenResult OpenFolderIn(int folder, const std::string& name) override {
        const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return fd < 0 ? OpenResult{-1, errno} : OpenResult{fd, 0};
    }

    EntryInfo ExamineIn(int folder, const std::string& name) override {
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {EntryKind::Missing, errno, 0};
        if (S_ISREG(st.st_mode)) return {EntryKind::File, 0, static_cast<std::uint64_t>(st.st_nlink)};
        if (S_ISDIR(st.st_mode)) return {EntryKind::Folder, 0, 0};
        if (S_ISLNK(st.st_mode)) return {EntryKind::Link, 0, 0};
        return {EntryKind::Other, 0, 0};
    }

    int MakeFolderIn(int folder, const std::string& name) override {
        return Retried(::mkdirat(folder, name.c_str(), 0755));
    }

    int RemoveIn(int folder, const std::string& name) override { return Retried(::unlinkat(folder, name.c_str(), 0)); }

    int RenameIn(int folder, const std::string& from, const std::string& to) override {
        return Retried(::renameat(folder, from.c_str(), folder, to.c_str()));
    }

    OpenResult CreateIn(int folder, const std::string& name, CreateMode mode) override {
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        flags |= mode == CreateMode::Exclusive ? O_EXCL : O_TRUNC;
        int fd = -1;
        do {
            fd = ::openat(folder, name.c_str(), flags, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return {-1, errno};
        // O_NONBLOCK keeps a FIFO from holding the open forever; whatever it
        // was, only a regular file is written.
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            return {-1, error};
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            return {-1, EINVAL};
        }
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return {fd, 0};
    }

    int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) override {
        return PwriteFull(handle, buffer, length, offset);
    }

    void StartWriteback(int handle, std::uint64_t offset, std::uint64_t length) override {
        // Only a start: an error of the writeback itself reaches the flush.
        (void)::sync_file_range(handle, static_cast<off_t>(offset), static_cast<off_t>(length),
                                SYNC_FILE_RANGE_WRITE);
    }

    int FlushAndClose(int handle) override {
        int error = 0;
        while (::fsync(handle) != 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        const int closeError = Close(handle);
        return error != 0 ? error : closeError;
    }

    int SetModifiedTime(int handle, std::int64_t seconds) override {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
        return ::futimens(handle, times) == 0 ? 0 : errno;
    }

    int Close(int handle) override {
        if (handle < 0) return 0;
        // close() is not retried on EINTR: on Linux the descriptor is gone either way.
        if (::close(handle) == 0 || errno == EINTR) return 0;
        return errno;
    }

    int SyncFileSystem(const std::string& path) override {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
        if (!fd.Valid()) return errno;
        return Retried(::syncfs(fd.Get()));
    }
};

}  // namespace

Destination& SystemDestination() {
    static PosixDestination destination;
    return destination;
}

}  // namespace zt::platform
