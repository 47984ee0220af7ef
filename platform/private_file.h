// Files in the shared temporary folder: made owner-only under a fresh name of
// their own and renamed onto their final name once written, so no other user
// can read them, plant a link that they would be written through, or see a
// half-written file under the final name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zt::platform {

// $TMPDIR when it is set to something, else /tmp.
std::string TemporaryFolder();

// Whether path is a folder of this process's user that no one else may
// write, so that nobody else can plant, block or read the files in it.
// With make, a missing folder is made (mode 0700), a link at path is refused
// and a folder of ours that others may write is closed to them; without,
// the folder is only examined, following links. 0, or the errno (EPERM for
// a folder of someone else's, ELOOP for a link).
int PrivateFolder(const std::string& path, bool make);

class PrivateFile {
public:
    // Creates a new, empty file with mode 0600 beside finalPath (never through a link).
    explicit PrivateFile(std::string finalPath);
    // Removes the file again unless Publish() has moved it onto its final name.
    ~PrivateFile();
    PrivateFile(const PrivateFile&) = delete;
    PrivateFile& operator=(const PrivateFile&) = delete;

    // 0 when the file was created, else the errno.
    int CreateError() const { return createError_; }
    // Writes all length bytes at offset. Returns 0 or the errno.
    int WriteAt(const void* buffer, std::size_t length, std::uint64_t offset);
    // Closes the file and renames it onto its final name, replacing what is
    // there (a link there is replaced, not followed). Returns 0 or the errno.
    int Publish();

private:
    std::string finalPath_;
    std::string tempPath_;
    int fd_ = -1;
    int createError_ = 0;
};

// Removes the file or link at path (never a folder). True when nothing is
// left there afterwards.
bool RemoveEntry(const std::string& path);

}  // namespace zt::platform
