#include "platform/raw_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/files.h"

namespace zt::platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

UniqueFd::~UniqueFd() { Reset(); }

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

ReadResult PreadFull(int fd, void* buffer, std::size_t length, std::uint64_t offset) {
    ReadResult result;
    auto* out = static_cast<unsigned char*>(buffer);
    while (result.bytes < length) {
        ssize_t n = ::pread(fd, out + result.bytes, length - result.bytes,
                            static_cast<off_t>(offset + result.bytes));
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            return result;
        }
        if (n == 0) break;  // end of file or device
        result.bytes += static_cast<std::size_t>(n);
    }
    return result;
}

int PwriteFull(int fd, const void* buffer, std::size_t length, std::uint64_t offset) {
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::pwrite(fd, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

namespace {

bool IsBlockDevice(const std::string& path, dev_t* device = nullptr) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    if (device != nullptr) *device = st.st_rdev;
    return true;
}

// Descriptors the disk service granted, one per device path, kept so that
// the check at Next and the reader's own open ask the user only once.
class ServiceGrants {
public:
    OpenResult Open(const std::string& path, int deniedError) {
        std::lock_guard<std::mutex> lock(mutex_);
        dev_t device = 0;
        if (!IsBlockDevice(path, &device)) return {-1, deniedError};
        auto kept = grants_.find(path);
        if (kept != grants_.end()) {
            // Another medium may have come in under the same name since.
            if (kept->second.device == device && StillAttached(kept->second.fd)) {
                int copy = ::fcntl(kept->second.fd, F_DUPFD_CLOEXEC, 3);
                if (copy >= 0) return {copy, 0};
            }
            ::close(kept->second.fd);
            grants_.erase(kept);
        }
        ServiceOpenResult granted = OpenThroughDiskService(path, CurrentAuthorisationPrompt());
        if (granted.fd < 0) {
            OpenResult refused{-1, deniedError};
            refused.service = granted.access;
            refused.serviceDetail = std::move(granted.detail);
            return refused;
        }
        int copy = ::fcntl(granted.fd, F_DUPFD_CLOEXEC, 3);
        if (copy < 0) {
            const int error = errno;
            ::close(granted.fd);
            return {-1, error};
        }
        grants_[path] = Grant{granted.fd, device};
        OpenResult opened{copy, 0};
        opened.service = ServiceAccess::Granted;
        return opened;
    }

private:
    struct Grant {
        int fd;
        dev_t device;
    };

    // A removed medium's descriptor reports no size any more.
    static bool StillAttached(int fd) {
        std::uint64_t bytes = 0;
        return ::ioctl(fd, BLKGETSIZE64, &bytes) == 0 && bytes > 0;
    }

    std::mutex mutex_;
    std::map<std::string, Grant> grants_;
};

class PosixRawIo final : public RawIo {
public:
    OpenResult Open(const std::string& path) override {
        // O_NONBLOCK: a FIFO under a source's name must not hold the open
        // forever. Only regular files and block devices are read.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
                ::close(fd);
                return {-1, EINVAL};
            }
            (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            // Images are read front to back: a larger read-ahead of the kernel
            // keeps the next stretch in memory while the scan looks at this one.
            if (S_ISREG(st.st_mode)) (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            return {fd, 0};
        }
        const int error = errno;
        // root is refused for other reasons than rights; a file is never the service's.
        if ((error == EACCES || error == EPERM) && !RunningAsAdministrator() && IsBlockDevice(path))
            return grants_.Open(path, error);
        return {-1, error};
    }

    void Close(int handle) override {
        if (handle >= 0) ::close(handle);
    }

    std::optional<std::uint64_t> Size(int handle) override {
        struct stat st {};
        if (::fstat(handle, &st) != 0) return std::nullopt;
        if (S_ISBLK(st.st_mode)) {
            std::uint64_t bytes = 0;
            if (::ioctl(handle, BLKGETSIZE64, &bytes) != 0) return std::nullopt;
            return bytes;
        }
        if (S_ISREG(st.st_mode)) return static_cast<std::uint64_t>(st.st_size);
        return std::nullopt;
    }

    ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) override {
        return PreadFull(handle, buffer, length, offset);
    }

    bool IsRegularFile(int handle) override {
        struct stat st {};
        return ::fstat(handle, &st) == 0 && S_ISREG(st.st_mode);
    }

    std::vector<std::string> ListFolder(const std::string& folder) override {
        std::vector<std::string> names;
        DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
        if (d == nullptr) return names;
        while (dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
        ::closedir(d);
        return names;
    }

    std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) override {
        std::string dir = folder.empty() ? std::string(".") : folder;
        std::string prefix = dir;
        if (prefix.back() != '/') prefix += '/';
        struct stat st {};
        if (::stat((prefix + name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return prefix + name;

        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) return std::nullopt;
        std::optional<std::string> found;
        while (dirent* e = ::readdir(d)) {
            if (::strcasecmp(e->d_name, name.c_str()) == 0) {
                std::string candidate = prefix + e->d_name;
                if (::stat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
                    found = std::move(candidate);
                    break;
                }
            }
        }
        ::closedir(d);
        return found;
    }

private:
    ServiceGrants grants_;
};

}  // namespace

RawIo& SystemRawIo() {
    static PosixRawIo io;
    return io;
}

}  // namespace zt::platform
