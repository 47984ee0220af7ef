#include "core/filesystems/fat.h"

#include <algorithm>
#include <array>
#include <bit>

#include "core/filesystems/fs_text.h"

namespace zt::fs {

namespace {

constexpr std::size_t kEntryBytes = 32;
constexpr std::uint8_t kDeletedMark = 0xE5;
constexpr std::uint8_t kAttrVolume = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kAttrLongName = 0x0F;
// FAT32 keeps a copy of its boot sector this many sectors on.
constexpr std::uint64_t kFat32BackupSector = 6;
constexpr std::size_t kTableReadBytes = 1u << 20;

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string TrimmedLabel(std::span<const std::uint8_t> b, std::size_t at) {
    std::string s;
    for (std::size_t i = 0; i < 11; ++i) s += b[at + i] >= 0x20 && b[at + i] < 0x7F ? static_cast<char>(b[at + i]) : '_';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s == "NO NAME" ? std::string() : s;
}

// Characters a short name may not hold; a strict parse stops at one.
bool ValidShortChar(std::uint8_t c) {
    if (c < 0x20) return false;
    constexpr std::string_view kBad = "\"*+,./:;<=>?[\\]|";
    return kBad.find(static_cast<char>(c)) == std::string_view::npos;
}

std::string ShortName(std::span<const std::uint8_t> e, bool deleted) {
    const std::uint8_t caseFlags = e[12];
    auto piece = [&](std::size_t from, std::size_t n, bool lower) {
        std::string s;
        for (std::size_t i = from; i < from + n; ++i) {
            std::uint8_t c = e[i];
            if (i == 0 && c == 0x05) c = kDeletedMark;  // a name that really starts with 0xE5
            if (i == 0 && deleted) c = '_';             // lost with the deletion
            if (c >= 0x80 || !ValidShortChar(c)) c = c == ' ' ? ' ' : '_';
            if (lower && c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c - 'A' + 'a');
            s += static_cast<char>(c);
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    };
    std::string name = piece(0, 8, (caseFlags & 0x08) != 0);
    const std::string ext = piece(8, 3, (caseFlags & 0x10) != 0);
    if (!ext.empty()) name += "." + ext;
    return name;
}

struct LongNamePart {
    std::array<std::uint16_t, 13> units{};
    std::uint8_t ordinal = 0;
    std::uint8_t checksum = 0;
};

LongNamePart ReadLongNamePart(std::span<const std::uint8_t> e) {
    LongNamePart p;
    p.ordinal = e[0];
    p.checksum = e[13];
    std::size_t k = 0;
    for (const std::size_t at : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) p.units[k++] = Le16(e, at);
    return p;
}

// The long name of the parts, which lie on disk last part first. Empty when
// they do not belong together or to the short entry.
std::string JoinLongName(const std::vector<LongNamePart>& parts, std::span<const std::uint8_t, 11> shortName,
                         bool deleted) {
    if (parts.empty()) return {};
    const std::uint8_t sum = parts.front().checksum;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].checksum != sum) return {};
        if (deleted) continue;  // the ordinals were overwritten by the deletion mark
        const std::uint8_t expected = static_cast<std::uint8_t>(parts.size() - i) | (i == 0 ? 0x40 : 0);
        if (parts[i].ordinal != expected) return {};
    }
    if (deleted) {
        // The first character of the short name is lost: some character must
        // give the sum the parts carry.
        std::array<std::uint8_t, 11> probe{};
        std::copy(shortName.begin(), shortName.end(), probe.begin());
        bool any = false;
        for (int c = 0x20; c < 0x100 && !any; ++c) {
            probe[0] = static_cast<std::uint8_t>(c);
            any = ShortNameChecksum(probe) == sum;
        }
        if (!any) return {};
    } else if (ShortNameChecksum(shortName) != sum) {
        return {};
    }
    std::vector<std::uint16_t> units;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        for (const std::uint16_t u : it->units) {
            if (u == 0x0000) break;
            units.push_back(u);
        }
    }
    return Utf16ToUtf8(units);
}

}  // namespace

std::string_view KindName(FileSystemKind kind) {
    switch (kind) {
        case FileSystemKind::Fat12:
            return "FAT12";
        case FileSystemKind::Fat16:
            return "FAT16";
        case FileSystemKind::Fat32:
            return "FAT32";
        case FileSystemKind::ExFat:
            return "exFAT";
    }
    return "?";
}

std::uint8_t ShortNameChecksum(std::span<const std::uint8_t, 11> name) {
    std::uint8_t sum = 0;
    for (const std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

std::optional<FatGeometry> ParseFatBootSector(std::span<const std::uint8_t> b, std::uint64_t startByte) {
    if (b.size() < kSectorBytes || b[510] != 0x55 || b[511] != 0xAA) return std::nullopt;
    if (!((b[0] == 0xEB && b[2] == 0x90) || b[0] == 0xE9)) return std::nullopt;
    FatGeometry g;
    g.startByte = startByte;
    g.bytesPerSector = Le16(b, 11);
    g.sectorsPerCluster = b[13];
    const std::uint32_t reserved = Le16(b, 14);
    const std::uint32_t fats = b[16];
    g.rootEntries = Le16(b, 17);
    const std::uint32_t total16 = Le16(b, 19);
    const std::uint32_t fat16Size = Le16(b, 22);
    const std::uint32_t total32 = Le32(b, 32);
    const std::uint32_t fat32Size = Le32(b, 36);
    const std::uint8_t media = b[21];
    if (g.bytesPerSector < 512 || g.bytesPerSector > 4096 || !IsPowerOfTwo(g.bytesPerSector)) return std::nullopt;
    if (!IsPowerOfTwo(g.sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 4) return std::nullopt;
    if (media != 0xF0 && media < 0xF8) return std::nullopt;
    g.totalSectors = total16 != 0 ? total16 : total32;
    const std::uint64_t fatSectors = fat16Size != 0 ? fat16Size : fat32Size;
    if (g.totalSectors == 0 || fatSectors == 0) return std::nullopt;
    const std::uint64_t rootSectors = (std::uint64_t{g.rootEntries} * kEntryBytes + g.bytesPerSector - 1) / g.bytesPerSector;
    const std::uint64_t metaSectors = reserved + fats * fatSectors + rootSectors;
    if (metaSectors >= g.totalSectors) return std::nullopt;
    const std::uint64_t clusters = (g.totalSectors - metaSectors) / g.sectorsPerCluster;
    if (clusters == 0 || clusters > MaxClusters) return std::nullopt;
    g.clusterCount = static_cast<std::uint32_t>(clusters);
    g.kind = clusters < 4085 ? FileSystemKind::Fat12 : clusters < 65525 ? FileSystemKind::Fat16 : FileSystemKind::Fat32;
    const std::uint32_t bits = g.kind == FileSystemKind::Fat12 ? 12 : g.kind == FileSystemKind::Fat16 ? 16 : 32;
    g.fatBytes = fatSectors * g.bytesPerSector;
    if ((clusters + 2) * bits > g.fatBytes * 8) return std::nullopt;  // the table cannot hold every cluster
    if (g.kind == FileSystemKind::Fat32) {
        if (g.rootEntries != 0 || fat16Size != 0) return std::nullopt;
        g.rootCluster = Le32(b, 44);
        if (g.rootCluster < 2 || g.rootCluster >= clusters + 2) return std::nullopt;
        g.label = TrimmedLabel(b, 71);
    } else {
        if (g.rootEntries == 0) return std::nullopt;
        g.label = TrimmedLabel(b, 43);
    }
    g.fatByte = startByte + std::uint64_t{reserved} * g.bytesPerSector;
    g.rootByte = g.fatByte + fats * g.fatBytes;
    g.heapByte = g.rootByte + rootSectors * g.bytesPerSector;
    return g;
}

std::optional<FatGeometry> ReadFatBootSector(RangeReader& reader, std::uint64_t startByte) {
    std::array<std::uint8_t, kSectorBytes> sector{};
    if (reader.Read(startByte, sector)) {
        if (auto g = ParseFatBootSector(sector, startByte)) return g;
    }
    if (reader.Read(startByte + kFat32BackupSector * kSectorBytes, sector)) {
        if (auto g = ParseFatBootSector(sector, startByte); g && g->kind == FileSystemKind::Fat32) {
            g->fromBackup = true;
            return g;
        }
    }
    return std::nullopt;
}

bool LoadFatTable(RangeReader& reader, const FatGeometry& g, ClusterSpace& space) {
    space.heapByte = g.heapByte;
    space.clusterBytes = std::uint64_t{g.bytesPerSector} * g.sectorsPerCluster;
    space.clusterCount = g.clusterCount;
    const std::size_t entries = std::size_t{g.clusterCount} + 2;
    const std::uint32_t bits = g.kind == FileSystemKind::Fat12 ? 12 : g.kind == FileSystemKind::Fat16 ? 16 : 32;
    space.endMark = g.kind == FileSystemKind::Fat12 ? 0xFF8 : g.kind == FileSystemKind::Fat16 ? 0xFFF8 : 0x0FFFFFF8;
    const std::uint64_t needed = (std::uint64_t{entries} * bits + 7) / 8;
    std::uint64_t tableByte = g.fatByte;
    if (!reader.Contains(tableByte, needed)) {
        tableByte += g.fatBytes;  // the second copy
        if (g.rootByte <= tableByte || !reader.Contains(tableByte, needed)) return false;
    }
    std::vector<std::uint8_t> table(static_cast<std::size_t>(needed) + 1);
    for (std::size_t at = 0; at < needed; at += kTableReadBytes) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kTableReadBytes, needed - at));
        if (!reader.Read(tableByte + at, std::span(table).subspan(at, n))) return false;
    }
    space.next.assign(entries, 0);
    space.allocated.assign(entries, false);
    space.owner.assign(entries, 0);
    for (std::size_t c = 2; c < entries; ++c) {
        std::uint32_t v = 0;
        if (bits == 12) {
            const std::uint32_t pair = Le16(table, c * 3 / 2);
            v = (c & 1) ? pair >> 4 : pair & 0xFFF;
        } else if (bits == 16) {
            v = Le16(table, c * 2);
        } else {
            v = Le32(table, c * 4) & 0x0FFFFFFF;
        }
        space.next[c] = v;
        space.allocated[c] = v != 0;
    }
    return true;
}

void FatDirectoryFormat::Parse(std::span<const std::uint8_t> bytes, bool strict, std::vector<DirEntry>& out) const {
    std::vector<LongNamePart> parts;
    for (std::size_t at = 0; at + kEntryBytes <= bytes.size(); at += kEntryBytes) {
        const std::span<const std::uint8_t> e = bytes.subspan(at, kEntryBytes);
        if (e[0] == 0x00) return;  // no entry was ever written past this one
        const std::uint8_t attr = e[11];
        if ((attr & 0x3F) == kAttrLongName) {
            if (e[0] != kDeletedMark && (e[0] & 0x40) != 0) parts.clear();  // the last part comes first
            parts.push_back(ReadLongNamePart(e));
            continue;
        }
        const bool deleted = e[0] == kDeletedMark;
        const std::span<const std::uint8_t, 11> raw = e.first<11>();
        if (e[0] == '.' && (raw[1] == ' ' || (raw[1] == '.' && raw[2] == ' '))) {  // "." and ".."
            parts.clear();
            continue;
        }
        const bool validName = std::all_of(raw.begin() + 1, raw.end(), [](std::uint8_t c) {
            return c == ' ' || c >= 0x80 || ValidShortChar(c);
        }) && (deleted || e[0] == 0x05 || e[0] >= 0x80 || (e[0] != ' ' && ValidShortChar(e[0])) || e[0] == '.');
        // Only the case bits of byte 12 are ever set.
        if (strict && (!validName || (attr & 0xC0) != 0 || (e[12] & ~0x18) != 0)) return;
        std::vector<LongNamePart> owned;
        owned.swap(parts);
        if (!validName || (attr & kAttrVolume) != 0) continue;
        DirEntry d;
        d.deleted = deleted;
        d.directory = (attr & kAttrDirectory) != 0;
        std::string longName = JoinLongName(owned, raw, deleted);
        d.name = EntryName(longName.empty() ? ShortName(e, deleted) : std::move(longName));
        const std::uint32_t high = kind_ == FileSystemKind::Fat32 ? Le16(e, 20) : 0;
        d.firstCluster = (high << 16) | Le16(e, 26);
        d.size = d.directory ? 0 : Le32(e, 28);
        d.modified = PackedTimeToUnix(Le16(e, 24), Le16(e, 22));
        out.push_back(std::move(d));
    }
}

bool LooksLikeFolderStart(std::span<const std::uint8_t> s, FileSystemKind kind, std::uint32_t& self) {
    static constexpr std::string_view kDot = ".          ";
    static constexpr std::string_view kDotDot = "..         ";
    if (s.size() < 2 * kEntryBytes) return false;
    if (!std::equal(kDot.begin(), kDot.end(), s.begin()) || (s[11] & kAttrDirectory) == 0) return false;
    if (!std::equal(kDotDot.begin(), kDotDot.end(), s.begin() + 32) || (s[43] & kAttrDirectory) == 0) return false;
    const std::uint32_t high = kind == FileSystemKind::Fat32 ? Le16(s, 20) : 0;
    self = (high << 16) | Le16(s, 26);
    return true;
}

bool FatDirectoryFormat::StillFolderAt(std::span<const std::uint8_t> bytes, std::uint32_t cluster) const {
    std::uint32_t self = 0;
    return LooksLikeFolderStart(bytes, kind_, self) && self == cluster;
}

}  // namespace zt::fs
