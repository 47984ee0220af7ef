#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination_io.h"
#include "platform/files.h"

namespace zt::platform {

namespace {

class PosixDestinationIo final : public DestinationIo {
public:
    bool Exists(const std::string& path) override { return PathExists(path); }

    bool IsFolder(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
        struct statvfs vfs {};
        if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
        // f_bavail, not f_bfree: the blocks reserved for root are not ours to fill.
        return std::uint64_t{vfs.f_bavail} * std::uint64_t{vfs.f_frsize};
    }

    bool MakeOwnerWritable(const std::string& path) override { return platform::MakeOwnerWritable(path); }

    OpenResult CreateTruncate(const std::string& path) override {
        int fd = -1;
        do {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return {-1, errno};
        return {fd, 0};
    }

    int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) override {
        return PwriteFull(handle, buffer, length, offset);
    }

    int FlushAndClose(int handle) override {
        int error = 0;
        while (::fsync(handle) != 0) {
            if (errno == EINTR) continue;
            // Pipes and some special files cannot be synced; that is no write failure.
            if (errno != EINVAL && errno != EROFS) error = errno;
            break;
        }
        if (::close(handle) != 0 && error == 0 && errno != EINTR) error = errno;
        return error;
    }

    void Close(int handle) override {
        if (handle >= 0) ::close(handle);
    }

    int Remove(const std::string& path) override { return RemoveFile(path) ? 0 : errno; }

    bool SameFile(const std::string& a, const std::string& b) override {
        struct stat sa {};
        struct stat sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
};

}  // namespace

DestinationIo& SystemDestinationIo() {
    static PosixDestinationIo io;
    return io;
}

}  // namespace zt::platform
