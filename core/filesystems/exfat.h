// exFAT volumes: the boot region with its checksum (or the backup region),
// the allocation bitmap and table, and folders of entry sets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/filesystems/cluster_space.h"
#include "core/filesystems/directory_tree.h"
#include "core/filesystems/fat.h"
#include "core/filesystems/range_reader.h"

namespace zt::fs {

struct ExFatGeometry {
    std::uint64_t startByte = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint64_t clusterBytes = 0;
    std::uint64_t volumeSectors = 0;
    std::uint64_t fatByte = 0;
    std::uint64_t heapByte = 0;
    std::uint32_t clusterCount = 0;
    std::uint32_t rootCluster = 0;
    bool fromBackup = false;
};

// The main boot sector's fields, when they describe an exFAT volume.
std::optional<ExFatGeometry> ParseExFatBootSector(std::span<const std::uint8_t> sector, std::uint64_t startByte);

// The sum the boot region's twelfth sector repeats, over its first eleven.
std::uint32_t ExFatBootChecksum(std::span<const std::uint8_t> region, std::uint32_t bytesPerSector);

// The boot region at the start, or the backup region after it, whichever
// has a valid sector and checksum first.
std::optional<ExFatGeometry> ReadExFatBootRegion(RangeReader& reader, std::uint64_t startByte);

// Loads the table and, from the root folder's bitmap entry, which clusters
// are in use. False when either cannot be read.
[[nodiscard]] bool LoadExFatTables(RangeReader& reader, const ExFatGeometry& g, ClusterSpace& space,
                                   std::string& problem);

class ExFatDirectoryFormat final : public DirectoryFormat {
public:
    void Parse(std::span<const std::uint8_t> bytes, bool strict, std::vector<DirEntry>& out) const override;
    bool FoldersHaveSize() const override { return true; }
    // exFAT folders have no entry naming themselves: the parse's checksums decide.
    bool StillFolderAt(std::span<const std::uint8_t>, std::uint32_t) const override { return true; }
};

}  // namespace zt::fs
