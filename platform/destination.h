// Writing into a destination folder: image parts and recovered files reach
// the file system only through Destination, so tests can make any step fail
// (a full disk, an I/O error, a folder that cannot be made) and check that
// the run says so. Nothing here is ever used on the source.
//
// The system implementation never follows a symbolic link at the last part
// of a path it creates, writes, renames or changes: a link left in the
// destination cannot send a file (or a permission change) elsewhere. The
// folder the user chose may itself be reached through a link.
//
// A run that writes many files holds the destination and each folder inside
// it open, and names every file relative to those open folders: a folder
// swapped for a link (or moved away) while the run lasts cannot send a file
// out of the destination.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/raw_io.h"

namespace zt::platform {

enum class EntryKind { Missing, File, Folder, Link, Other };

struct EntryInfo {
    EntryKind kind = EntryKind::Missing;
    int error = 0;           // errno when the path could not be examined (ENOENT for Missing)
    std::uint64_t links = 0;  // names of a File (its hard-link count)
};

enum class CreateMode {
    // Creates the file, or empties an existing regular file in place.
    Truncate,
    // Creates the file; fails with EEXIST when anything has that name.
    Exclusive,
};

class Destination {
public:
    virtual ~Destination() = default;

    // What the path itself names; a symbolic link is reported as Link.
    virtual EntryInfo Examine(const std::string& path) = 0;
    // True when path is a folder, following links.
    virtual bool IsFolder(const std::string& path) = 0;
    // Bytes an unprivileged writer may still use on the file system that
    // holds path; nullopt when it cannot be asked.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) = 0;
    // True when both paths name the same existing file (device and inode),
    // following links.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
    // True when writing into folder writes onto the medium that sourcePath
    // (a device or an image file) is read from; see platform/source_medium.h.
    virtual bool FolderOnMedium(const std::string& folder, const std::string& sourcePath) = 0;
    // What sourcePath's bytes are read from besides itself, such as a loop
    // device's backing file; see FilesUnderSource in platform/source_medium.h.
    virtual std::vector<std::string> FilesUnder(const std::string& sourcePath) = 0;
    // The paths of the entries of folder whose names equal name but for
    // letter case (name itself among them when present), as the reader of an
    // image set finds its parts.
    virtual std::vector<std::string> EntriesNoCase(const std::string& folder, const std::string& name) = 0;

    // Creates one folder (mode 0755 before the umask). Returns 0 or the errno.
    virtual int MakeFolder(const std::string& path) = 0;
    // Gives the owner write permission on a regular file. Returns 0 or the errno.
    virtual int MakeOwnerWritable(const std::string& path) = 0;
    // Removes a file or a link (never a folder). Returns 0 or the errno.
    virtual int Remove(const std::string& path) = 0;
    // Gives from the name to, replacing whatever file or link had it, in one
    // step. Returns 0 or the errno.
    virtual int Rename(const std::string& from, const std::string& to) = 0;

    // Opens a regular file for writing. Anything but a regular file at path
    // (a link, a FIFO, a device) is refused, never opened.
    virtual OpenResult Create(const std::string& path, CreateMode mode) = 0;
    // Writes all length bytes at offset, finishing short writes. Returns 0,
    // or the errno of the failure; bytes written before it stay in the file.
    virtual int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) = 0;
    // Flushes the file to its medium and closes it. Returns the first errno
    // met: a write the kernel could not carry out shows up here.
    virtual int FlushAndClose(int handle) = 0;
    // Starts writing length bytes of an open file from offset to its medium
    // without waiting for them; a write that fails there is reported by the
    // flush that follows, as before. Does nothing where that cannot be done.
    virtual void StartWriteback(int /*handle*/, std::uint64_t /*offset*/, std::uint64_t /*length*/) {}
    // Sets the modification time of an open file (seconds since 1970); its
    // access time stays. Returns 0 or the errno.
    virtual int SetModifiedTime(int handle, std::int64_t seconds) = 0;
    // Closes without a flush. Returns 0 or the errno (a late write error).
    virtual int Close(int handle) = 0;
    // Opens the folder at path, following a link there (the folder the user
    // chose). Close() closes it again.
    virtual OpenResult OpenFolder(const std::string& path) = 0;
    // The calls below name an entry inside an open folder. A link at name is
    // never followed: OpenFolderIn refuses it with ELOOP, and anything else
    // that is not a folder with ENOTDIR.
    virtual OpenResult OpenFolderIn(int folder, const std::string& name) = 0;
    virtual EntryInfo ExamineIn(int folder, const std::string& name) = 0;
    virtual int MakeFolderIn(int folder, const std::string& name) = 0;
    virtual int RemoveIn(int folder, const std::string& name) = 0;
    virtual int RenameIn(int folder, const std::string& from, const std::string& to) = 0;
    virtual OpenResult CreateIn(int folder, const std::string& name, CreateMode mode) = 0;

    // Flushes everything written to the file system that holds path, in one
    // call however many files were written. Returns 0 or the errno.
    virtual int SyncFileSystem(const std::string& path) = 0;
};

// Starts the writeback of one file as it is written, a few MiB at a time
// and the rest at its end, so that the flush that ends a run waits on little
// rather than on everything the run wrote. Writes are taken in order.
class WritebackPacer {
public:
    WritebackPacer(Destination& destination, int handle) : destination_(destination), handle_(handle) {}
    // After bytes [offset, offset + length) were written.
    void Wrote(std::uint64_t offset, std::uint64_t length) {
        end_ = std::max(end_, offset + length);
        if (end_ - started_ >= kStepBytes) Finish();
    }
    // After the last write: starts what is left.
    void Finish() {
        if (end_ > started_) destination_.StartWriteback(handle_, started_, end_ - started_);
        started_ = end_;
    }

private:
    static constexpr std::uint64_t kStepBytes = std::uint64_t{8} << 20;
    Destination& destination_;
    const int handle_;
    std::uint64_t started_ = 0;
    std::uint64_t end_ = 0;
};

// The process's real implementation (POSIX).
Destination& SystemDestination();

}  // namespace zt::platform
