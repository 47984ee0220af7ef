// Cards written by the file systems' own tools (make-card.sh), read back
// through a sector reader on the image file as a scan would read them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "core/filesystems/file_system_pass.h"
#include "platform/raw_io.h"
#include "platform/testing/temp_folder.h"

namespace zt::fs::testing {

// Makes the card of a story in folder; false when the tools (or, for exFAT,
// root and FUSE) are not at hand.
inline bool MakeCard(const std::string& story, const std::string& folder) {
    const std::string command = "TZ=UTC " ZT_MAKE_CARD " " + story + " '" + folder + "' > '" + folder + ".log' 2>&1";
    return std::system(command.c_str()) == 0;
}

// A sector reader over an image file, with the range set to the bytes
// [begin, end) of it (the whole file by default).
class ImageReader {
public:
    explicit ImageReader(const std::string& image, std::uint64_t beginSector = 0, std::uint64_t endSector = 0) {
        source_.DeviceNames[0] = image;
        source_.RangeStart = beginSector;
        source_.RangeEnd = endSector != 0 ? endSector : std::filesystem::file_size(image) / kSectorBytes;
        policy_.Set(BadSectorPolicy::SkipAll);
    }
    SectorReader& Reader() { return reader_; }

private:
    SourceDescriptor source_;
    BadSectorPolicyState policy_;
    SectorReader reader_{source_, policy_, platform::SystemRawIo()};
};

// The whole pass as a scan with the option on makes it: the trees, every
// chunk of the range, the orphans.
inline void RunPass(FileSystemPass& pass, SectorReader& reader) {
    pass.ReadTrees();
    constexpr std::uint32_t kChunk = 1000;
    std::vector<std::uint8_t> chunk(std::size_t{kChunk} * kSectorBytes);
    const SourceDescriptor& s = reader.Source();
    for (std::uint64_t at = s.RangeStart; at < s.RangeEnd; at += kChunk) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, s.RangeEnd - at));
        reader.ReadSectors(at, n, chunk.data());
        pass.ExamineChunk(at, n, chunk.data());
    }
    pass.ReadOrphans();
}

// Every file the pass found, by its path, with its bytes read through its pieces.
struct ReadBack {
    const FsFile* file;
    std::string bytes;
};
inline std::map<std::string, ReadBack> FilesByPath(FileSystemPass& pass) {
    std::map<std::string, ReadBack> files;
    for (const FoundFileSystem& fs : pass.FileSystems()) {
        for (const FsFile& f : fs.listing.files) {
            std::vector<std::uint8_t> bytes = ReadRuns(pass.Reader(), f.named.runs, f.byteLength);
            files[f.named.path] = {&f, std::string(bytes.begin(), bytes.end())};
        }
    }
    return files;
}

inline std::int64_t MtimeOf(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : -1;
}

}  // namespace zt::fs::testing
