// TIFF and the camera RAW formats built on it, both byte orders, classic and BigTIFF.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

// Classic TIFF counts in 32 bits with 12-byte directory entries; BigTIFF in
// 64 bits with 20-byte ones. The rest is the same for both.
struct TiffReader {
    FileView& view;
    bool little;
    bool big;

    std::uint64_t Decode(const std::uint8_t* s, unsigned width) const {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i) v = v << 8 | s[little ? width - 1 - i : i];
        return v;
    }
    std::optional<std::uint64_t> Number(std::uint64_t at, unsigned width) {
        std::uint8_t b[8];
        if (!view.Read(at, b, width)) return std::nullopt;
        return Decode(b, width);
    }
    unsigned OffsetWidth() const { return big ? 8 : 4; }
    unsigned EntryBytes() const { return big ? 20 : 12; }
    unsigned CountWidth() const { return big ? 8 : 2; }  // of a directory's number of entries
};

std::uint32_t TiffTypeSize(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: case 16: case 17: case 18: return 8;
        default: return 0;
    }
}

// The width in which a value the walk goes by (an offset, a byte count) is stored.
unsigned TiffNumberWidth(std::uint16_t type) {
    if (type == 3) return 2;
    if (type == 16 || type == 17 || type == 18) return 8;
    return 4;
}

// The maker's type from the Make text of the first IFD.
std::string_view TiffTypeForMake(std::string_view make, std::string_view fallback) {
    auto starts = [&](std::string_view p) { return make.substr(0, p.size()) == p; };
    if (starts("Canon")) return "CR2";
    if (starts("NIKON")) return "NEF";
    if (starts("PENTAX") || starts("RICOH")) return "PEF";
    if (starts("SONY")) return "ARW";
    if (starts("SEIKO EPSON") || starts("EPSON")) return "ERF";
    if (starts("Mamiya") || starts("MAMIYA")) return "MEF";
    if (starts("Kodak") || starts("KODAK") || starts("EASTMAN KODAK")) return "DCR";
    if (starts("OLYMPUS") || starts("OM Digital")) return "ORF";
    if (starts("Panasonic") || starts("LEICA")) return fallback == "RW2" ? "RW2" : fallback;
    return fallback;
}

// Where a directory's strips or tiles lie: two tables side by side.
struct TiffPieces {
    std::uint64_t offsetsAt = 0;
    std::uint64_t countsAt = 0;
    std::uint64_t count = 0;
    std::uint16_t offsetsType = 0;
    std::uint16_t countsType = 0;
    bool operator==(const TiffPieces&) const = default;
};

// Directory entries and table values are read this many at a time: a
// camera's picture has thousands of strips or tiles, and one read per value
// would cost a call per byte.
constexpr std::size_t kTiffBatch = 256;

// Decodes n values of `width` bytes; the width and byte order are settled
// once for the batch rather than once a value.
template <unsigned Width, bool Little>
void DecodeBatch(const std::uint8_t* s, std::size_t n, std::uint64_t* out) {
    for (std::size_t i = 0; i < n; ++i, s += Width) {
        std::uint64_t v = 0;
        for (unsigned k = 0; k < Width; ++k) v = v << 8 | s[Little ? Width - 1 - k : k];
        out[i] = v;
    }
}

void DecodeBatch(const std::uint8_t* s, unsigned width, bool little, std::size_t n, std::uint64_t* out) {
    switch (width) {
        case 2: return little ? DecodeBatch<2, true>(s, n, out) : DecodeBatch<2, false>(s, n, out);
        case 4: return little ? DecodeBatch<4, true>(s, n, out) : DecodeBatch<4, false>(s, n, out);
        default: return little ? DecodeBatch<8, true>(s, n, out) : DecodeBatch<8, false>(s, n, out);
    }
}

// The furthest end of the pieces; nothing when a table cannot be read or a
// piece runs past the bound.
std::optional<std::uint64_t> TiffPiecesEnd(TiffReader& r, const TiffPieces& p) {
    const unsigned os = TiffNumberWidth(p.offsetsType);
    const unsigned cs = TiffNumberWidth(p.countsType);
    const std::uint64_t limit = r.view.Limit();
    std::uint8_t raw[kTiffBatch * 8];
    std::uint64_t offsets[kTiffBatch];
    std::uint64_t counts[kTiffBatch];
    std::uint64_t end = 0;
    for (std::uint64_t done = 0; done < p.count;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kTiffBatch, p.count - done));
        if (!r.view.Read(p.offsetsAt + os * done, raw, os * n)) return std::nullopt;
        DecodeBatch(raw, os, r.little, n, offsets);
        if (!r.view.Read(p.countsAt + cs * done, raw, cs * n)) return std::nullopt;
        DecodeBatch(raw, cs, r.little, n, counts);
        bool past = false;
        for (std::size_t i = 0; i < n; ++i) {
            past |= offsets[i] > limit || counts[i] > limit - std::min(offsets[i], limit);
            end = std::max(end, offsets[i] + counts[i]);
        }
        if (past) return std::nullopt;
        done += n;
    }
    return end;
}

bool IsTiffHeader(const std::uint8_t* s, std::size_t available) {
    const bool little = s[0] == 'I' && s[1] == 'I';
    const bool big = s[0] == 'M' && s[1] == 'M';
    if (!little && !big) return false;
    const std::uint16_t magic = little ? Le16At(s + 2) : Be16At(s + 2);
    if (magic == 43) {
        // BigTIFF: offsets of 8 bytes, the first directory's after the 16-byte header.
        if (available < 16 || (little ? Le16At(s + 4) : Be16At(s + 4)) != 8 || s[6] != 0 || s[7] != 0) return false;
        const std::uint64_t ifd = little ? std::uint64_t{Le32At(s + 12)} << 32 | Le32At(s + 8)
                                         : std::uint64_t{Be32At(s + 8)} << 32 | Be32At(s + 12);
        if (ifd < 16) return false;
        if (ifd <= available && available - ifd >= 8) {
            const std::uint64_t count = little ? std::uint64_t{Le32At(s + ifd + 4)} << 32 | Le32At(s + ifd)
                                               : std::uint64_t{Be32At(s + ifd)} << 32 | Be32At(s + ifd + 4);
            if (count == 0 || count > 4096) return false;
        }
        return true;
    }
    if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x0055) return false;
    const std::uint32_t ifd = little ? Le32At(s + 4) : Be32At(s + 4);
    if (ifd < 8) return false;
    // In 64 bits: an offset near 4 GiB plus the count's two bytes wraps round in 32.
    if (std::uint64_t{ifd} + 2 <= available) {
        const std::uint16_t count = little ? Le16At(s + ifd) : Be16At(s + ifd);
        if (count == 0 || count > 4096) return false;
    }
    return true;
}

}  // namespace

// The file's end is the furthest byte any directory, value, strip or tile
// lies in. The walk reads each byte it may cover about once: the directories
// and tables of a real file lie side by side within it, so a walk that has
// read more than the bound holds is going round the same bytes again
// (directories sharing one table of a million strips, say) and gives up. A
// table met again in another directory changes nothing and is not read again.
Extent MeasureTiff(FileView& view) {
    std::uint8_t head[16];
    if (!view.Read(0, head, 8)) return kUnknown;
    const bool little = head[0] == 'I';
    const std::uint16_t magic = little ? Le16At(head + 2) : Be16At(head + 2);
    const bool big = magic == 43;
    if (big && !view.Read(0, head, 16)) return kUnknown;
    TiffReader r{view, little, big};
    std::string_view type = "TIFF";
    if (magic == 0x4F52 || magic == 0x5352) type = "ORF";  // "RO", "RS"
    if (magic == 0x0055) type = "RW2";
    const unsigned ow = r.OffsetWidth();
    const std::uint64_t headerEnd = big ? 16 : 8;

    std::uint64_t end = headerEnd;
    std::uint64_t work = 0;
    auto spend = [&](std::uint64_t bytes) {
        work += std::min(bytes, view.Limit() + 1);
        return work <= view.Limit();
    };
    bool sawImageData = false;
    bool dng = false;
    std::array<char, 32> make{};
    std::array<std::uint64_t, 64> pending{};
    std::array<std::uint64_t, 64> visited{};
    std::array<TiffPieces, 2 * 64> tables{};
    std::size_t pendingCount = 0;
    std::size_t visitedCount = 0;
    std::size_t tableCount = 0;
    pending[pendingCount++] = r.Decode(head + headerEnd - ow, ow);
    auto push = [&](std::uint64_t at) {
        if (at >= headerEnd && pendingCount < pending.size()) pending[pendingCount++] = at;
    };
    // A value the walk goes by belongs to the file even where the whole of
    // its tag's data runs past the bound: the file cut at its end must still
    // hold it, or it would measure otherwise.
    auto rely = [&](std::uint64_t at, std::uint64_t size) { end = std::max(end, at + size); };

    while (pendingCount > 0) {
        const std::uint64_t ifd = pending[--pendingCount];
        if (std::find(visited.begin(), visited.begin() + static_cast<std::ptrdiff_t>(visitedCount), ifd) !=
            visited.begin() + static_cast<std::ptrdiff_t>(visitedCount))
            continue;
        if (visitedCount == visited.size()) break;
        visited[visitedCount++] = ifd;
        const std::optional<std::uint64_t> count = r.Number(ifd, r.CountWidth());
        if (!count || *count == 0 || *count > 4096) {
            if (visitedCount == 1) return kUnknown;
            continue;
        }
        const std::uint64_t entriesAt = ifd + r.CountWidth();
        const std::uint64_t entriesEnd = entriesAt + std::uint64_t{r.EntryBytes()} * *count;
        const std::optional<std::uint64_t> next = r.Number(entriesEnd, ow);
        if (!next || !spend(entriesEnd + ow - ifd)) return kUnknown;
        end = std::max(end, entriesEnd + ow);
        TiffPieces pieces[2];  // strips, tiles
        std::uint64_t jpegAt = 0, jpegLength = 0;
        std::uint8_t batch[kTiffBatch * 20];
        for (std::uint64_t i = 0; i < *count; ++i) {
            const std::size_t slot = static_cast<std::size_t>(i % kTiffBatch);
            if (slot == 0) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kTiffBatch, *count - i));
                if (!view.Read(entriesAt + r.EntryBytes() * i, batch, r.EntryBytes() * n)) return kUnknown;
            }
            const std::uint8_t* s = batch + slot * r.EntryBytes();
            const std::uint64_t e = entriesAt + r.EntryBytes() * i;
            const auto tag = static_cast<std::uint16_t>(r.Decode(s, 2));
            const auto t = static_cast<std::uint16_t>(r.Decode(s + 2, 2));
            const std::uint64_t n = r.Decode(s + 4, ow);
            const std::uint64_t value = r.Decode(s + 4 + ow, ow);
            // In 64 bits a forged count times the type's size could wrap round.
            const std::uint64_t bytes = n > view.Limit() ? view.Limit() + 1 : TiffTypeSize(t) * n;
            const bool inlined = bytes <= ow;  // short values sit in the entry itself
            const std::uint64_t dataAt = inlined ? e + 4 + ow : value;
            // A value that lies past the bound is damage, not part of the file.
            if (!inlined && bytes <= view.Limit() && dataAt <= view.Limit() - bytes) end = std::max(end, dataAt + bytes);
            const unsigned width = TiffNumberWidth(t);
            auto number = [&](std::uint64_t k) -> std::optional<std::uint64_t> {
                if (dataAt > view.Limit()) return std::nullopt;  // a forged offset must not wrap round
                const std::optional<std::uint64_t> v = r.Number(dataAt + width * k, width);
                if (v) rely(dataAt + width * k, width);
                return v;
            };
            switch (tag) {
                case 0x010F:  // Make
                    if (t == 2) {
                        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, make.size() - 1));
                        if (view.Read(dataAt, make.data(), take)) rely(dataAt, take);
                        else make.fill(0);
                    }
                    break;
                case 0xC612:  // DNGVersion
                    dng = true;
                    break;
                case 0x0111: case 0x0144:  // strip or tile offsets
                    pieces[tag == 0x0144].offsetsAt = dataAt;
                    pieces[tag == 0x0144].offsetsType = t;
                    pieces[tag == 0x0144].count = n;
                    break;
                case 0x0117: case 0x0145:  // their byte counts
                    pieces[tag == 0x0145].countsAt = dataAt;
                    pieces[tag == 0x0145].countsType = t;
                    if (pieces[tag == 0x0145].count == 0) pieces[tag == 0x0145].count = n;
                    break;
                case 0x0201: jpegAt = number(0).value_or(0); break;
                case 0x0202: jpegLength = number(0).value_or(0); break;
                case 0x014A:  // SubIFDs
                    for (std::uint64_t k = 0; k < std::min<std::uint64_t>(n, 16); ++k) {
                        if (const std::optional<std::uint64_t> at = number(k)) push(*at);
                    }
                    break;
                case 0x8769: case 0x8825: case 0xA005:  // Exif, GPS, interoperability
                    if (const std::optional<std::uint64_t> at = number(0)) push(*at);
                    break;
                default:
                    break;
            }
        }
        for (const TiffPieces& p : pieces) {
            if (p.offsetsType == 0 || p.countsType == 0 || p.count == 0) continue;
            if (std::find(tables.begin(), tables.begin() + static_cast<std::ptrdiff_t>(tableCount), p) !=
                tables.begin() + static_cast<std::ptrdiff_t>(tableCount))
                continue;
            // Each piece takes at least two bytes of tables within the bound.
            if (p.count > view.Limit()) return kUnknown;
            const std::uint64_t offsetBytes = TiffNumberWidth(p.offsetsType) * p.count;
            const std::uint64_t countBytes = TiffNumberWidth(p.countsType) * p.count;
            if (!spend((offsetBytes > ow ? offsetBytes : 0) + (countBytes > ow ? countBytes : 0))) return kUnknown;
            const std::optional<std::uint64_t> piecesEnd = TiffPiecesEnd(r, p);
            if (!piecesEnd) return kUnknown;
            end = std::max(end, *piecesEnd);
            rely(p.offsetsAt, offsetBytes);
            rely(p.countsAt, countBytes);
            sawImageData = true;
            if (tableCount < tables.size()) tables[tableCount++] = p;
        }
        if (jpegAt != 0 && jpegLength != 0 && jpegLength <= view.Limit() && jpegAt <= view.Limit() - jpegLength) {
            end = std::max(end, jpegAt + jpegLength);
            sawImageData = true;
        }
        push(*next);
    }
    if (!sawImageData) return kUnknown;
    // A real file's directories and tables lie apart, each byte read once:
    // reading more than the file holds means they overlap, as in a forged
    // file, whose length would then depend on how much of it is in view.
    if (work > end) return kUnknown;
    // Writers that start values on even offsets pad an odd end with a zero;
    // one that puts a directory at an odd offset keeps to no such rule.
    const bool wordAligned = std::all_of(visited.begin(), visited.begin() + static_cast<std::ptrdiff_t>(visitedCount),
                                         [](std::uint64_t at) { return at % 2 == 0; });
    if (wordAligned && end % 2 == 1 && view.U8(end) == std::optional<std::uint8_t>(0)) ++end;
    make.back() = 0;
    type = dng ? std::string_view("DNG") : TiffTypeForMake(make.data(), type);
    return Opaque(end, type);
}

FormatMatch DetectTiff(const std::uint8_t* s, std::size_t available) {
    if (IsTiffHeader(s, available)) return {FormatFamily::Tiff, "TIFF"};
    return {};
}

}  // namespace zt::formats
