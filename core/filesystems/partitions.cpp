#include "core/filesystems/partitions.h"

#include <algorithm>
#include <array>
#include <set>

#include "core/filesystems/fs_text.h"

namespace zt::fs {

namespace {

constexpr std::size_t kMbrEntries = 446;
constexpr std::uint8_t kProtectiveGpt = 0xEE;

bool IsExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::vector<VolumeStart> ReadGpt(RangeReader& reader, std::uint64_t tableSector) {
    std::array<std::uint8_t, kSectorBytes> header{};
    static constexpr std::string_view kSignature = "EFI PART";
    if (!reader.Read((tableSector + 1) * kSectorBytes, header)) return {};
    if (!std::equal(kSignature.begin(), kSignature.end(), header.begin())) return {};
    const std::uint64_t entriesLba = Le64(header, 72);
    const std::uint32_t count = std::min(Le32(header, 80), MaxGptEntries);
    const std::uint32_t entrySize = Le32(header, 84);
    if (entrySize < 128 || entrySize > 4096 || entrySize % 8 != 0) return {};
    std::vector<std::uint8_t> entries(std::size_t{count} * entrySize);
    if (!reader.Read((tableSector + entriesLba) * kSectorBytes, entries)) return {};
    std::vector<VolumeStart> volumes;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> e = std::span(entries).subspan(std::size_t{i} * entrySize, entrySize);
        if (std::all_of(e.begin(), e.begin() + 16, [](std::uint8_t b) { return b == 0; })) continue;
        const std::uint64_t first = Le64(e, 32);
        const std::uint64_t last = Le64(e, 40);
        if (first == 0 || last < first) continue;
        volumes.push_back({tableSector + first, last - first + 1});
    }
    return volumes;
}

}  // namespace

std::vector<VolumeStart> ParseMbr(std::span<const std::uint8_t> b, bool& gpt) {
    gpt = false;
    if (b.size() < kSectorBytes || b[510] != 0x55 || b[511] != 0xAA) return {};
    std::vector<VolumeStart> parts;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::span<const std::uint8_t> e = b.subspan(kMbrEntries + i * 16, 16);
        if (e[0] != 0x00 && e[0] != 0x80) return {};  // not a partition table
        if (e[4] == 0) continue;
        if (e[4] == kProtectiveGpt) gpt = true;
        const std::uint32_t first = Le32(e, 8);
        const std::uint32_t count = Le32(e, 12);
        if (first == 0 || count == 0) continue;
        // An extended partition is marked by a count of 0 left for the caller to follow.
        parts.push_back({first, IsExtended(e[4]) ? 0 : count});
    }
    return parts;
}

std::vector<VolumeStart> ReadPartitionTable(RangeReader& reader, std::uint64_t tableSector) {
    std::array<std::uint8_t, kSectorBytes> sector{};
    if (!reader.Read(tableSector * kSectorBytes, sector)) return {};
    bool gpt = false;
    const std::vector<VolumeStart> primary = ParseMbr(sector, gpt);
    if (gpt) return ReadGpt(reader, tableSector);
    std::vector<VolumeStart> volumes;
    for (const VolumeStart& p : primary) {
        if (p.sectors != 0) {
            volumes.push_back({tableSector + p.firstSector, p.sectors});
            continue;
        }
        // Each logical partition's table lies at the extended partition's
        // start plus the offset the previous one gives; a chain that comes
        // back on itself is cut.
        const std::uint64_t extendedStart = tableSector + p.firstSector;
        std::uint64_t ebr = extendedStart;
        std::set<std::uint64_t> seen;
        while (seen.size() < MaxLogicalPartitions && seen.insert(ebr).second) {
            if (!reader.Read(ebr * kSectorBytes, sector)) break;
            bool ignored = false;
            const std::vector<VolumeStart> links = ParseMbr(sector, ignored);
            if (links.empty()) break;
            if (links[0].sectors != 0) volumes.push_back({ebr + links[0].firstSector, links[0].sectors});
            if (links.size() < 2 || links[1].sectors != 0) break;
            ebr = extendedStart + links[1].firstSector;
        }
    }
    return volumes;
}

}  // namespace zt::fs
