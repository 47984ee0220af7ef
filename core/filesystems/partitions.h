// Where the volumes of the scanned range begin: the range itself when it
// starts with a volume, else the partitions of an MBR (with its chain of
// extended partitions) or a GPT at its first sector.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filesystems/range_reader.h"

namespace zt::fs {

struct VolumeStart {
    std::uint64_t firstSector = 0;  // sector of the source
    std::uint64_t sectors = 0;      // as the table gives it; 0 when no table
    bool operator==(const VolumeStart&) const = default;
};

// Bounds on what a damaged table can make us read.
inline constexpr std::uint32_t MaxGptEntries = 256;
inline constexpr std::uint32_t MaxLogicalPartitions = 64;

// The partitions an MBR sector lists, relative to the sector it lies in;
// nothing when the sector is not an MBR. A protective entry (GPT) is
// reported in `gpt`.
std::vector<VolumeStart> ParseMbr(std::span<const std::uint8_t> sector, bool& gpt);

// The partitions of a table at `tableSector`, in source sectors.
std::vector<VolumeStart> ReadPartitionTable(RangeReader& reader, std::uint64_t tableSector);

}  // namespace zt::fs
