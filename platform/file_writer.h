// Writing recovered files: the few calls the saving engine makes into the
// file system, behind one interface so that tests can make them fail (a full
// disk after so many bytes, an I/O error, a folder that cannot be made).
//
// The system implementation never follows a symbolic link at the last part
// of a path it creates, writes or changes, so a link left in the destination
// cannot send a recovered file (or a permission change) elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zt::platform {

enum class EntryKind { Missing, File, Folder, Link, Other };

struct EntryInfo {
    EntryKind kind = EntryKind::Missing;
    int error = 0;  // errno when the path could not be examined (ENOENT for Missing)
};

class FileWriter {
public:
    virtual ~FileWriter() = default;

    // What the path itself names; a symbolic link is reported as Link.
    virtual EntryInfo Examine(const std::string& path) = 0;
    // Creates one folder (mode 0755 before the umask). Returns 0 or the errno.
    virtual int MakeFolder(const std::string& path) = 0;
    // Gives the owner write permission on a regular file. Returns 0 or the errno.
    virtual int MakeOwnerWritable(const std::string& path) = 0;
    // Removes a file or a link (never a folder). Returns 0 or the errno.
    virtual int Remove(const std::string& path) = 0;
    // Creates the file empty for writing, or empties an existing one. The
    // handle is >= 0 on success; error holds the errno otherwise.
    struct CreateResult {
        int handle = -1;
        int error = 0;
    };
    virtual CreateResult Create(const std::string& path) = 0;
    // Writes all length bytes at offset. Returns 0, or the errno of the
    // failure; bytes written before a failure stay in the file.
    virtual int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) = 0;
    // Closes the handle. Returns 0 or the errno (a late write error shows here).
    virtual int Close(int handle) = 0;
};

// The process's real implementation (POSIX). Its first use makes the process
// ignore SIGXFSZ, so a file-size limit fails the write (EFBIG) instead of
// ending the program in the middle of a save.
FileWriter& SystemFileWriter();

}  // namespace zt::platform
