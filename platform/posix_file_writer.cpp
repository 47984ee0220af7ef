#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_writer.h"
#include "platform/raw_io.h"
#include "platform/terminal.h"

namespace zt::platform {

namespace {

class PosixFileWriter final : public FileWriter {
public:
    PosixFileWriter() {
        // Without this a file-size limit (ulimit -f) kills the process at the
        // first write past it, leaving the run without its report.
        IgnoreFileSizeSignal();
    }

    EntryInfo Examine(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return {EntryKind::Missing, errno};
        if (S_ISREG(st.st_mode)) return {EntryKind::File, 0};
        if (S_ISDIR(st.st_mode)) return {EntryKind::Folder, 0};
        if (S_ISLNK(st.st_mode)) return {EntryKind::Link, 0};
        return {EntryKind::Other, 0};
    }

    int MakeFolder(const std::string& path) override { return ::mkdir(path.c_str(), 0755) == 0 ? 0 : errno; }

    int MakeOwnerWritable(const std::string& path) override {
        // Opened without following a link, so only the file itself changes.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd.Valid()) return errno;
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) return errno;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        if ((st.st_mode & S_IWUSR) != 0) return 0;
        return ::fchmod(fd.Get(), (st.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
    }

    int Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

    CreateResult Create(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) return {-1, errno};
        return {fd, 0};
    }

    int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) override {
        return PwriteFull(handle, buffer, length, offset);
    }

    int Close(int handle) override {
        // close() is not retried on EINTR: on Linux the descriptor is gone either way.
        return ::close(handle) == 0 ? 0 : errno;
    }
};

}  // namespace

FileWriter& SystemFileWriter() {
    static PosixFileWriter writer;
    return writer;
}

}  // namespace zt::platform
