#include "core/filesystems/exfat.h"

#include <algorithm>
#include <array>

#include "core/filesystems/fs_text.h"

namespace zt::fs {

namespace {

constexpr std::size_t kEntryBytes = 32;
constexpr std::uint8_t kInUse = 0x80;
constexpr std::uint8_t kTypeBitmap = 0x81;
constexpr std::uint8_t kFile = 0x05;  // type codes without the in-use bit
constexpr std::uint8_t kStream = 0x40;
constexpr std::uint8_t kName = 0x41;
constexpr std::uint8_t kFlagNoFatChain = 0x02;
constexpr std::uint16_t kAttrDirectory = 0x10;
constexpr std::uint64_t kBackupRegionSectors = 12;
constexpr std::size_t kNameUnitsPerEntry = 15;

std::uint16_t SetChecksum(std::span<const std::uint8_t> set) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3) continue;
        // Sets that were deleted are summed as they were written, in use.
        const std::uint8_t b = i % kEntryBytes == 0 ? static_cast<std::uint8_t>(set[i] | kInUse) : set[i];
        sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    }
    return sum;
}

std::int64_t EntryTime(std::span<const std::uint8_t> file) {
    const std::uint32_t stamp = Le32(file, 12);
    std::int64_t t = PackedTimeToUnix(static_cast<std::uint16_t>(stamp >> 16), static_cast<std::uint16_t>(stamp));
    if (t == 0) return 0;
    t += file[21] / 100;
    const std::uint8_t zone = file[23];
    if ((zone & 0x80) != 0) {
        // A signed count of quarter hours east of UTC in the low seven bits.
        const int quarters = (zone & 0x40) != 0 ? static_cast<int>(zone & 0x7F) - 128 : zone & 0x7F;
        t -= std::int64_t{quarters} * 15 * 60;
    }
    return t;
}

}  // namespace

std::optional<ExFatGeometry> ParseExFatBootSector(std::span<const std::uint8_t> b, std::uint64_t startByte) {
    static constexpr std::string_view kName = "EXFAT   ";
    if (b.size() < kSectorBytes || b[510] != 0x55 || b[511] != 0xAA) return std::nullopt;
    if (!std::equal(kName.begin(), kName.end(), b.begin() + 3)) return std::nullopt;
    if (std::any_of(b.begin() + 11, b.begin() + 64, [](std::uint8_t v) { return v != 0; })) return std::nullopt;
    const std::uint32_t sectorShift = b[108];
    const std::uint32_t clusterShift = b[109];
    const std::uint32_t fats = b[110];
    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift || fats < 1 || fats > 2) {
        return std::nullopt;
    }
    ExFatGeometry g;
    g.startByte = startByte;
    g.bytesPerSector = 1u << sectorShift;
    g.clusterBytes = std::uint64_t{g.bytesPerSector} << clusterShift;
    g.volumeSectors = Le64(b, 72);
    const std::uint64_t fatOffset = Le32(b, 80);
    const std::uint64_t fatLength = Le32(b, 84);
    const std::uint64_t heapOffset = Le32(b, 88);
    const std::uint64_t clusters = Le32(b, 92);
    g.rootCluster = Le32(b, 96);
    if (fatOffset < 24 || fatLength == 0 || heapOffset < fatOffset + fatLength * fats) return std::nullopt;
    if (clusters == 0 || clusters > MaxClusters || fatLength * g.bytesPerSector < (clusters + 2) * 4) {
        return std::nullopt;
    }
    if (heapOffset >= g.volumeSectors || clusters > (g.volumeSectors - heapOffset) >> clusterShift) return std::nullopt;
    if (g.rootCluster < 2 || g.rootCluster >= clusters + 2) return std::nullopt;
    g.clusterCount = static_cast<std::uint32_t>(clusters);
    g.fatByte = startByte + fatOffset * g.bytesPerSector;
    g.heapByte = startByte + heapOffset * g.bytesPerSector;
    return g;
}

std::uint32_t ExFatBootChecksum(std::span<const std::uint8_t> region, std::uint32_t bytesPerSector) {
    std::uint32_t sum = 0;
    const std::size_t n = std::min<std::size_t>(region.size(), std::size_t{bytesPerSector} * 11);
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 106 || i == 107 || i == 112) continue;  // volume flags and percent in use change freely
        sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + region[i];
    }
    return sum;
}

std::optional<ExFatGeometry> ReadExFatBootRegion(RangeReader& reader, std::uint64_t startByte) {
    for (const std::uint64_t regionSector : {std::uint64_t{0}, kBackupRegionSectors}) {
        std::array<std::uint8_t, kSectorBytes> first{};
        // The backup region's sectors count in the volume's sector size,
        // which only its own boot sector tells.
        for (const std::uint32_t bps : {512u, 1024u, 2048u, 4096u}) {
            const std::uint64_t at = startByte + regionSector * bps;
            if (!reader.Read(at, first)) continue;
            std::optional<ExFatGeometry> g = ParseExFatBootSector(first, startByte);
            if (!g || g->bytesPerSector != bps) continue;
            std::vector<std::uint8_t> region(std::size_t{bps} * 12);
            if (!reader.Read(at, region)) continue;
            const std::uint32_t sum = ExFatBootChecksum(region, bps);
            const std::span<const std::uint8_t> sums = std::span(region).subspan(std::size_t{bps} * 11);
            bool ok = true;
            for (std::size_t i = 0; i + 4 <= sums.size() && ok; i += 4) ok = Le32(sums, i) == sum;
            if (!ok) continue;
            g->fromBackup = regionSector != 0;
            return g;
        }
    }
    return std::nullopt;
}

bool LoadExFatTables(RangeReader& reader, const ExFatGeometry& g, ClusterSpace& space, std::string& problem) {
    space.heapByte = g.heapByte;
    space.clusterBytes = g.clusterBytes;
    space.clusterCount = g.clusterCount;
    space.endMark = 0xFFFFFFF8;
    const std::size_t entries = std::size_t{g.clusterCount} + 2;
    std::vector<std::uint8_t> table(entries * 4);
    if (!reader.Read(g.fatByte, table)) {
        problem = "its allocation table lies outside the scanned range";
        return false;
    }
    space.next.assign(entries, 0);
    space.owner.assign(entries, 0);
    space.allocated.assign(entries, false);
    for (std::size_t c = 2; c < entries; ++c) space.next[c] = Le32(table, c * 4);

    // The bitmap's entry is in the root folder's first cluster.
    std::vector<std::uint8_t> root(static_cast<std::size_t>(g.clusterBytes));
    if (!reader.Read(space.ByteOf(g.rootCluster), root)) {
        problem = "its root folder lies outside the scanned range";
        return false;
    }
    for (std::size_t at = 0; at + kEntryBytes <= root.size(); at += kEntryBytes) {
        if (root[at] == 0) break;
        if (root[at] != kTypeBitmap || (root[at + 1] & 1) != 0) continue;  // the second FAT's bitmap
        const std::uint32_t first = Le32(root, at + 20);
        const std::uint64_t length = Le64(root, at + 24);
        if (!space.IsCluster(first) || length < (g.clusterCount + 7) / 8 || length > entries) break;
        std::vector<std::uint8_t> bitmap(static_cast<std::size_t>((g.clusterCount + 7) / 8));
        if (!reader.Read(space.ByteOf(first), bitmap)) break;
        for (std::size_t c = 2; c < entries; ++c) space.allocated[c] = ((bitmap[(c - 2) / 8] >> ((c - 2) % 8)) & 1) != 0;
        return true;
    }
    problem = "its allocation bitmap cannot be read";
    return false;
}

void ExFatDirectoryFormat::Parse(std::span<const std::uint8_t> bytes, bool strict, std::vector<DirEntry>& out) const {
    std::size_t at = 0;
    while (at + kEntryBytes <= bytes.size()) {
        const std::uint8_t type = bytes[at];
        if (type == 0x00) return;  // the end of the folder
        const std::uint8_t code = type & static_cast<std::uint8_t>(~kInUse);
        if (code != kFile) {
            // Labels, the bitmap, the up-case table, and entries of sets that
            // could not be read; in a deleted folder an unknown type ends it.
            if (strict && (type & kInUse) == 0 && code != kStream && code != kName) return;
            at += kEntryBytes;
            continue;
        }
        const bool deleted = (type & kInUse) == 0;
        const std::size_t secondaries = bytes[at + 1];
        const std::size_t setBytes = (secondaries + 1) * kEntryBytes;
        if (secondaries < 2 || secondaries > 18 || at + setBytes > bytes.size()) {
            if (strict) return;
            at += kEntryBytes;
            continue;
        }
        const std::span<const std::uint8_t> set = bytes.subspan(at, setBytes);
        const std::span<const std::uint8_t> stream = set.subspan(kEntryBytes, kEntryBytes);
        const std::size_t nameUnits = stream[3];
        const bool shapeOk = (stream[0] & ~kInUse) == kStream && ((stream[0] & kInUse) == 0) == deleted &&
                             nameUnits > 0 && (nameUnits + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry <= secondaries - 1;
        if (!shapeOk || SetChecksum(set) != Le16(set, 2)) {
            if (strict) return;
            at += kEntryBytes;
            continue;
        }
        std::vector<std::uint16_t> units;
        for (std::size_t k = 0; k < nameUnits; ++k) {
            const std::size_t entry = 2 + k / kNameUnitsPerEntry;
            units.push_back(Le16(set, entry * kEntryBytes + 2 + (k % kNameUnitsPerEntry) * 2));
        }
        DirEntry d;
        d.name = EntryName(Utf16ToUtf8(units));
        d.deleted = deleted;
        d.directory = (Le16(set, 4) & kAttrDirectory) != 0;
        d.firstCluster = Le32(stream, 20);
        d.size = Le64(stream, 24);
        d.contiguous = (stream[1] & kFlagNoFatChain) != 0;
        d.modified = EntryTime(set);
        out.push_back(std::move(d));
        at += setBytes;
    }
}

}  // namespace zt::fs
