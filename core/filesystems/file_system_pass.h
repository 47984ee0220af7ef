// What the card's own file systems tell beside the carving: the FAT and exFAT
// volumes of the scanned range, the files their folder trees list (live, and
// deleted where their data is still theirs), and after a quick format the
// folders found by their own first entries in sectors the carving read.
// Nothing here writes; every read stays within the range.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/filesystems/directory_tree.h"
#include "core/filesystems/fat.h"
#include "core/filesystems/range_reader.h"

namespace zt::fs {

struct FoundFileSystem {
    FileSystemKind kind = FileSystemKind::Fat32;
    std::uint64_t firstSector = 0;
    std::string label;
    VolumeListing listing;
};

class FileSystemPass {
public:
    explicit FileSystemPass(SectorReader& reader, WalkLimits limits = {});
    ~FileSystemPass();
    FileSystemPass(const FileSystemPass&) = delete;
    FileSystemPass& operator=(const FileSystemPass&) = delete;

    // Finds the volumes and reads their folder trees; before the carving.
    void ReadTrees();
    // Sectors the carving read: sectors that begin a FAT folder are noted
    // for ReadOrphans. Any chunk, in any order, any number of times.
    void ExamineChunk(std::uint64_t firstSector, std::uint32_t count, const std::uint8_t* data);
    // Lists the folders noted by ExamineChunk that no tree reached; after the carving.
    void ReadOrphans();

    const std::deque<FoundFileSystem>& FileSystems() const { return found_; }
    RangeReader& Reader() { return reader_; }

private:
    struct Volume;
    void OpenVolume(std::uint64_t firstSector);

    RangeReader reader_;
    WalkLimits limits_;
    // A deque: each volume's walk keeps a reference to its listing.
    std::deque<FoundFileSystem> found_;
    std::vector<std::unique_ptr<Volume>> volumes_;  // parallel to found_; null when unreadable
    std::set<std::uint64_t> folderSectors_;         // sectors that begin with "." and ".."
};

// "FAT32 at sector 2048": how the log and the saved files' folder name a volume.
std::string VolumeName(const FoundFileSystem& found);

// The folder orphans are listed under, one subfolder per orphan named after its cluster.
inline constexpr char OrphanFolderName[] = "Orphan folders";

}  // namespace zt::fs
