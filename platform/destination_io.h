// Writing image files into a destination folder.
//
// The imaging copy reaches the file system only through DestinationIo, so
// tests can make a create or a write fail (disk full, I/O error) and check
// that the run says so. Nothing here is ever used on the source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/raw_io.h"

namespace zt::platform {

class DestinationIo {
public:
    virtual ~DestinationIo() = default;

    // True when something (file, folder, device) of that name exists.
    virtual bool Exists(const std::string& path) = 0;
    virtual bool IsFolder(const std::string& path) = 0;
    // Bytes an unprivileged writer may still use on the file system that
    // holds path; nullopt when it cannot be asked.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) = 0;
    // Gives the owner write permission (u+w); false when that failed.
    virtual bool MakeOwnerWritable(const std::string& path) = 0;
    // Creates the file for reading and writing, emptying old content.
    virtual OpenResult CreateTruncate(const std::string& path) = 0;
    // Writes all length bytes at offset; returns errno or 0.
    virtual int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) = 0;
    // Flushes the file to its medium and closes it. Returns the first errno
    // met: a write the kernel could not carry out shows up here.
    virtual int FlushAndClose(int handle) = 0;
    // Closes without flushing (after a failure); errors are not reported.
    virtual void Close(int handle) = 0;
    virtual int Remove(const std::string& path) = 0;
    // True when both paths name the same existing file or folder.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
};

// The process's real implementation (POSIX).
DestinationIo& SystemDestinationIo();

}  // namespace zt::platform
