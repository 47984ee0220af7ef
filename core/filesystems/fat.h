// FAT12, FAT16 and FAT32 volumes: the boot sector (or its FAT32 backup), the
// allocation table, and folders of 32-byte entries with their long names.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/filesystems/cluster_space.h"
#include "core/filesystems/directory_tree.h"
#include "core/filesystems/range_reader.h"

namespace zt::fs {

enum class FileSystemKind : std::uint8_t { Fat12, Fat16, Fat32, ExFat };

// "FAT12", "FAT16", "FAT32", "exFAT".
std::string_view KindName(FileSystemKind kind);

// The largest table the readers load, in clusters: beyond it the volume is
// taken as damaged rather than costing gigabytes of memory.
inline constexpr std::uint32_t MaxClusters = 64u << 20;

struct FatGeometry {
    FileSystemKind kind = FileSystemKind::Fat32;
    std::uint64_t startByte = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t totalSectors = 0;
    std::uint64_t fatByte = 0;         // the first table
    std::uint64_t fatBytes = 0;        // one table
    std::uint64_t rootByte = 0;        // FAT12/16: the fixed root folder
    std::uint32_t rootEntries = 0;
    std::uint32_t rootCluster = 0;     // FAT32
    std::uint64_t heapByte = 0;
    std::uint32_t clusterCount = 0;
    std::string label;
    bool fromBackup = false;
};

// The boot sector's fields, when they describe a FAT volume that fits
// within its own size; nothing otherwise.
std::optional<FatGeometry> ParseFatBootSector(std::span<const std::uint8_t> sector, std::uint64_t startByte);

// The boot sector at the volume's start, or FAT32's backup six sectors on.
std::optional<FatGeometry> ReadFatBootSector(RangeReader& reader, std::uint64_t startByte);

// Loads the first table (the second when the first is outside the range).
[[nodiscard]] bool LoadFatTable(RangeReader& reader, const FatGeometry& g, ClusterSpace& space);

// The sum FAT keeps in each long-name entry of the short name it belongs to.
std::uint8_t ShortNameChecksum(std::span<const std::uint8_t, 11> name);

class FatDirectoryFormat final : public DirectoryFormat {
public:
    explicit FatDirectoryFormat(FileSystemKind kind) : kind_(kind) {}
    void Parse(std::span<const std::uint8_t> bytes, bool strict, std::vector<DirEntry>& out) const override;
    bool FoldersHaveSize() const override { return false; }
    bool StillFolderAt(std::span<const std::uint8_t> bytes, std::uint32_t cluster) const override;

private:
    FileSystemKind kind_;
};

// True when the sector begins with the "." and ".." entries every FAT
// subfolder starts with; `self` is the folder's own first cluster as its "."
// entry gives it.
bool LooksLikeFolderStart(std::span<const std::uint8_t> sector, FileSystemKind kind, std::uint32_t& self);

}  // namespace zt::fs
