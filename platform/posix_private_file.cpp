#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/files.h"
#include "platform/private_file.h"

namespace zt::platform {

std::string TemporaryFolder() {
    const std::optional<std::string> folder = EnvironmentValue("TMPDIR");
    return folder && !folder->empty() ? *folder : std::string("/tmp");
}

int PrivateFolder(const std::string& path, bool make) {
    if (path.empty()) return ENOENT;
    if (make && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (make ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (st.st_uid != ::geteuid()) {
        error = EPERM;
    } else if ((st.st_mode & 022) != 0) {
        error = make && ::fchmod(fd, 0700) == 0 ? 0 : EPERM;
    }
    ::close(fd);
    return error;
}

PrivateFile::PrivateFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    // mkostemp makes the name unique with O_EXCL, which never follows a link,
    // and gives the file mode 0600.
    std::vector<char> name(finalPath_.begin(), finalPath_.end());
    const std::string_view suffix = ".XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        createError_ = errno;
        return;
    }
    tempPath_ = name.data();
}

PrivateFile::~PrivateFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

int PrivateFile::WriteAt(const void* buffer, std::size_t length, std::uint64_t offset) {
    if (fd_ < 0) return createError_ != 0 ? createError_ : EBADF;
    const auto* bytes = static_cast<const char*>(buffer);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd_, bytes, length, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

int PrivateFile::Publish() {
    if (fd_ < 0) return createError_ != 0 ? createError_ : EBADF;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return errno;
    if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) return errno;
    tempPath_.clear();
    return 0;
}

bool RemoveEntry(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) return false;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace zt::platform
