// A failing medium for the end-to-end tests: a read-only FUSE file system
// holding one file, card.img, whose bytes are those of a backing file except
// that every read touching the bad sectors fails with EIO, as a card with
// worn-out blocks does. Reads go straight to us (direct I/O), so a read of one
// good sector next to a bad one succeeds, as it would on the device.
//
//   failing-medium BACKING MOUNTPOINT FIRST_BAD COUNT [END_SECTOR]
//
// Runs in the foreground until unmounted (fusermount3 -u MOUNTPOINT). COUNT
// may be "all" for a medium of which no sector can be read. With END_SECTOR
// the file keeps its full size but its data ends there, as a medium that
// became shorter while it was read: reads reaching it come back short.
#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint64_t kSector = 512;
constexpr const char* kName = "/card.img";

struct Medium {
    int backing = -1;
    std::uint64_t size = 0;
    std::uint64_t firstBad = 0;
    std::uint64_t badCount = 0;
    std::uint64_t dataEnd = UINT64_MAX;  // bytes; reads end here
};

Medium& TheMedium() {
    static Medium medium;
    return medium;
}

bool TouchesBad(std::uint64_t offset, std::uint64_t length) {
    const Medium& m = TheMedium();
    if (length == 0) return false;
    const std::uint64_t first = offset / kSector;
    const std::uint64_t last = (offset + length - 1) / kSector;
    return first < m.firstBad + m.badCount && last >= m.firstBad;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(TheMedium().size);
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, kName + 1, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int Open(const char* path, fuse_file_info* info) {
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    info->direct_io = 1;  // no page cache: every read, at its own size, reaches Read
    return 0;
}

int Read(const char*, char* out, std::size_t length, off_t offset, fuse_file_info*) {
    if (offset < 0) return -EINVAL;
    if (TouchesBad(static_cast<std::uint64_t>(offset), length)) return -EIO;
    const std::uint64_t dataEnd = TheMedium().dataEnd;
    if (static_cast<std::uint64_t>(offset) >= dataEnd) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, dataEnd - static_cast<std::uint64_t>(offset)));
    const ssize_t got = ::pread(TheMedium().backing, out, length, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

bool ParseNumber(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') return false;
    value = parsed;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT FIRST_BAD COUNT|all [END_SECTOR]\n", argv[0]);
        return 2;
    }
    Medium& m = TheMedium();
    m.backing = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (m.backing < 0 || ::fstat(m.backing, &st) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    m.size = static_cast<std::uint64_t>(st.st_size);
    const bool all = std::strcmp(argv[4], "all") == 0;
    if (all) {
        m.badCount = UINT64_MAX / 2;
    } else if (!ParseNumber(argv[3], m.firstBad) || !ParseNumber(argv[4], m.badCount)) {
        std::fprintf(stderr, "%s: FIRST_BAD and COUNT are sector numbers\n", argv[0]);
        return 2;
    }

    std::uint64_t endSector = 0;
    if (argc == 6) {
        if (!ParseNumber(argv[5], endSector)) {
            std::fprintf(stderr, "%s: END_SECTOR is a sector number\n", argv[0]);
            return 2;
        }
        m.dataEnd = endSector * kSector;
    }

    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    std::string self = argv[0];
    std::string mountpoint = argv[2];
    std::string foreground = "-f";
    std::string options = "-oro,fsname=failing-medium";
    char* fuseArgs[] = {self.data(), foreground.data(), options.data(), mountpoint.data(), nullptr};
    return fuse_main(4, fuseArgs, &ops, nullptr);
}
