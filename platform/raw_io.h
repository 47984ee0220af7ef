// Raw read-only access to block devices, image files and folders.
//
// Everything that reads a source goes through RawIo so that tests can put a
// fake in its place: make chosen sectors unreadable, make opens fail and count
// the requests. The system implementation opens with O_RDONLY | O_CLOEXEC
// only; nothing here can write to the medium being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/disk_service.h"

namespace zt::platform {

struct OpenResult {
    int handle = -1;  // >= 0 when the open succeeded
    int error = 0;    // errno of the failed open, 0 on success
    // A block device the user may not open is asked of the system's disk
    // service; this says what it answered (NotAsked when it was not asked),
    // and serviceDetail holds the service's own words for a failure.
    ServiceAccess service = ServiceAccess::NotAsked;
    std::string serviceDetail{};
};

struct ReadResult {
    std::size_t bytes = 0;  // bytes delivered into the buffer, from its start
    int error = 0;          // errno when the transfer failed; 0 when it ended normally
};

class RawIo {
public:
    virtual ~RawIo() = default;

    // Opens an existing regular file or block device for reading; anything
    // else (a FIFO, a character device) fails with EINVAL without blocking.
    virtual OpenResult Open(const std::string& path) = 0;
    virtual void Close(int handle) = 0;
    // Size in bytes of a regular file or a block device; nullopt when unknown.
    virtual std::optional<std::uint64_t> Size(int handle) = 0;
    // Positioned read of up to length bytes. Short transfers and EINTR are
    // retried internally; bytes < length with error == 0 means end of data.
    // error != 0 means the medium failed after `bytes` bytes arrived.
    virtual ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) = 0;
    // True when the handle reads a regular file (an image), which may be read
    // in large requests; a block device is read in the requests it was always
    // read in.
    virtual bool IsRegularFile(int /*handle*/) { return false; }
    // Path of the entry of folder whose name equals name without regard to
    // letter case (an exact match is preferred); nullopt when there is none.
    virtual std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) = 0;
    // The names of the entries of folder; empty when it cannot be read.
    virtual std::vector<std::string> ListFolder(const std::string& /*folder*/) { return {}; }
};

// The process's real implementation (POSIX). An open of a block device that
// fails for lack of rights, in a process that is not root, goes to the disk
// service (platform/disk_service.h) with the process's authorisation prompt;
// the descriptor it grants is kept, so later opens of the same device reuse
// it without asking again.
RawIo& SystemRawIo();

// Owns a descriptor and closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// Reads exactly length bytes at offset unless end of data or an error comes
// first. Retries EINTR and continues after short transfers.
ReadResult PreadFull(int fd, void* buffer, std::size_t length, std::uint64_t offset);
// Writes all length bytes at offset; returns the errno of a failure, or 0.
// A write that makes no progress reports ENOSPC.
int PwriteFull(int fd, const void* buffer, std::size_t length, std::uint64_t offset);

}  // namespace zt::platform
