#include "core/scan/format_walk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include "core/source/source_descriptor.h"

namespace zt {

namespace {

using Bytes = std::span<const std::uint8_t>;

Extent Exact(std::uint64_t bytes, std::string_view type = {}) { return {ExtentKind::Exact, bytes, type, false}; }
Extent Opaque(std::uint64_t bytes, std::string_view type = {}) { return {ExtentKind::Exact, bytes, type, true}; }
constexpr Extent kUnknown{ExtentKind::Unknown, 0, {}, false};
constexpr Extent kNotAFile{ExtentKind::NotAFile, 0, {}, false};
// Unknown, but sure that the file's first bytes are its own.
Extent Sure(std::uint64_t bytes) { return {ExtentKind::Unknown, bytes, {}, false}; }

bool Starts(const std::uint8_t* s, std::size_t available, std::size_t at, std::string_view text) {
    return at + text.size() <= available && std::memcmp(s + at, text.data(), text.size()) == 0;
}

std::uint32_t Be32At(const std::uint8_t* s) {
    return std::uint32_t{s[0]} << 24 | std::uint32_t{s[1]} << 16 | std::uint32_t{s[2]} << 8 | s[3];
}
std::uint32_t Le32At(const std::uint8_t* s) {
    return std::uint32_t{s[3]} << 24 | std::uint32_t{s[2]} << 16 | std::uint32_t{s[1]} << 8 | s[0];
}
std::uint16_t Be16At(const std::uint8_t* s) { return static_cast<std::uint16_t>(s[0] << 8 | s[1]); }
std::uint16_t Le16At(const std::uint8_t* s) { return static_cast<std::uint16_t>(s[1] << 8 | s[0]); }

Bytes Text(std::string_view t) { return {reinterpret_cast<const std::uint8_t*>(t.data()), t.size()}; }

bool IsOneOf(std::string_view v, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

// Offsets at which a walk gives up: a file of this many pieces is not
// plausible, and no walk may run forever on hostile input.
constexpr int kMaxPieces = 1 << 22;

// ---------------------------------------------------------------- JPEG

bool IsJpegStartMarker(std::uint8_t m) {
    return (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xFE || m == 0xDD ||
           (m >= 0xC0 && m <= 0xCF && m != 0xC8 && m != 0xCC);
}

bool DetectJpeg(const std::uint8_t* s, std::size_t available) {
    if (s[0] != 0xFF || s[1] != 0xD8 || s[2] != 0xFF || !IsJpegStartMarker(s[3])) return false;
    // Follow the segments as far as the sector shows them.
    std::size_t pos = 2;
    const std::size_t end = std::min<std::size_t>(available, 512);
    for (int segments = 0; pos + 4 <= end && segments < 16; ++segments) {
        if (s[pos] != 0xFF) return false;
        const std::uint8_t m = s[pos + 1];
        if (m == 0xDA) return true;
        if (m < 0xC0 || m == 0xD8 || m == 0xD9 || m == 0xFF || (m >= 0xD0 && m <= 0xD7)) return false;
        const std::uint16_t length = Be16At(s + pos + 2);
        if (length < 2) return false;
        pos += 2 + std::size_t{length};
    }
    return true;
}

// Finds the marker that ends entropy-coded data: an FF followed by neither a
// stuffed 00 nor a restart marker. Returns its offset.
std::optional<std::uint64_t> SkipEntropyData(FileView& view, std::uint64_t pos) {
    for (;;) {
        const Bytes got = view.Span(pos);
        if (got.empty()) return std::nullopt;
        const auto* ff = static_cast<const std::uint8_t*>(std::memchr(got.data(), 0xFF, got.size()));
        if (ff == nullptr) {
            pos += got.size();
            continue;
        }
        pos += static_cast<std::uint64_t>(ff - got.data());
        const std::optional<std::uint8_t> next = view.U8(pos + 1);
        if (!next) return std::nullopt;
        if (*next == 0x00 || *next == 0xFF || (*next >= 0xD0 && *next <= 0xD7)) {
            // A stuffed byte or a restart marker; a run of FF fill bytes
            // continues at the next FF.
            pos += *next == 0xFF ? 1 : 2;
            continue;
        }
        return pos;
    }
}

// Checks what a segment's own layout allows, so that noise after a cut file
// is not taken for more of it.
bool PlausibleSegment(FileView& view, std::uint8_t marker, std::uint64_t body, std::uint32_t length, bool afterScan) {
    if (afterScan && !(marker == 0xC4 || marker == 0xDA || marker == 0xDB || marker == 0xDD || marker == 0xDC ||
                       marker == 0xFE || (marker >= 0xE0 && marker <= 0xEF)))
        return false;
    switch (marker) {
        case 0xDA: {  // start of scan: 1..4 components
            const std::optional<std::uint8_t> components = view.U8(body);
            return components && *components >= 1 && *components <= 4 && length == 4u + 2u * *components;
        }
        case 0xDB:  // quantisation tables of 65 or 129 bytes each
            for (std::uint32_t at = 0; at < length;) {
                const std::optional<std::uint8_t> pq = view.U8(body + at);
                if (!pq || (*pq >> 4) > 1 || (*pq & 15) > 3) return false;
                at += (*pq >> 4) ? 129 : 65;
                if (at > length) return false;
            }
            return length > 0;
        case 0xC4:  // Huffman tables: class and id, sixteen counts, the values
            for (std::uint32_t at = 0; at < length;) {
                std::uint8_t table[17];
                if (at + 17 > length || !view.Read(body + at, table, 17)) return false;
                if ((table[0] >> 4) > 1 || (table[0] & 15) > 3) return false;
                std::uint32_t values = 0;
                for (int i = 1; i <= 16; ++i) values += table[i];
                at += 17 + values;
                if (values > 256 || at > length) return false;
            }
            return length > 0;
        case 0xDD:
            return length == 2;
        default:
            return true;
    }
}

Extent MeasureJpegWalk(FileView& view, std::uint64_t& firstScan) {
    std::uint64_t pos = 2;
    bool sawScan = false;
    for (int segments = 0; segments < kMaxPieces; ++segments) {
        std::optional<std::uint8_t> b = view.U8(pos);
        if (!b) return kUnknown;
        if (*b != 0xFF) return kUnknown;
        std::uint8_t m = 0xFF;
        while (m == 0xFF) {  // fill bytes before a marker
            const std::optional<std::uint8_t> next = view.U8(++pos);
            if (!next) return kUnknown;
            m = *next;
        }
        const std::uint64_t markerAt = pos - 1;
        if (m == 0xD9) return sawScan ? Exact(markerAt + 2) : kUnknown;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
            pos = markerAt + 2;
            continue;
        }
        if (m == 0xD8 || m == 0x00) return kUnknown;
        const std::optional<std::uint16_t> length = view.Be16(markerAt + 2);
        if (!length || *length < 2) return kUnknown;
        if (!PlausibleSegment(view, m, markerAt + 4, *length - 2u, sawScan)) return kUnknown;
        pos = markerAt + 2 + *length;
        if (m == 0xDA) {
            if (!sawScan) firstScan = markerAt;
            const std::optional<std::uint64_t> marker = SkipEntropyData(view, pos);
            if (!marker) return kUnknown;
            pos = *marker;
            sawScan = true;
        }
    }
    return kUnknown;
}

// What comes before the first scan (the Exif segment with its thumbnail) is
// certain even when the data after it cannot be followed.
Extent MeasureJpeg(FileView& view) {
    std::uint64_t firstScan = 0;
    Extent e = MeasureJpegWalk(view, firstScan);
    if (e.kind == ExtentKind::Unknown) e.bytes = firstScan;
    return e;
}

// ---------------------------------------------------------------- PNG

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsChunkLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Extent MeasurePng(FileView& view) {
    std::uint64_t pos = 8;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t head[8];
        if (!view.Read(pos, head, 8)) return kUnknown;
        const std::uint32_t length = Be32At(head);
        if (length > 0x7FFFFFFF) return kUnknown;
        if (!std::all_of(head + 4, head + 8, IsChunkLetter)) return kUnknown;
        if (chunks == 0 && std::memcmp(head + 4, "IHDR", 4) != 0) return kNotAFile;
        pos += 12 + std::uint64_t{length};
        if (pos > view.Limit()) return kUnknown;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return Exact(pos);
    }
    return kUnknown;
}

// ---------------------------------------------------------------- GIF

// Skips data sub-blocks up to and including the empty one.
std::optional<std::uint64_t> SkipSubBlocks(FileView& view, std::uint64_t pos) {
    for (int blocks = 0; blocks < kMaxPieces; ++blocks) {
        const std::optional<std::uint8_t> n = view.U8(pos);
        if (!n) return std::nullopt;
        pos += 1 + std::uint64_t{*n};
        if (*n == 0) return pos;
    }
    return std::nullopt;
}

// The first sector start in [from, to) where a GIF header begins.
std::optional<std::uint64_t> GifHeaderWithin(FileView& view, std::uint64_t from, std::uint64_t to) {
    static constexpr std::uint8_t kGif8[4] = {'G', 'I', 'F', '8'};
    for (std::uint64_t at = (from + kSectorSize - 1) / kSectorSize * kSectorSize; at < to; at += kSectorSize) {
        const std::optional<std::uint8_t> version = view.U8(at + 4);
        if (view.Equals(at, Bytes(kGif8, 4)) && (version == '7' || version == '9')) return at;
    }
    return std::nullopt;
}

Extent MeasureGif(FileView& view) {
    const std::optional<std::uint8_t> flags = view.U8(10);
    if (!flags) return kUnknown;
    std::uint64_t pos = 13;
    if (*flags & 0x80) pos += 3u << ((*flags & 7) + 1);
    bool sawImage = false;
    for (int blocks = 0; blocks < kMaxPieces; ++blocks) {
        const std::optional<std::uint8_t> introducer = view.U8(pos);
        if (!introducer) return kUnknown;
        if (*introducer == 0x3B) return sawImage ? Exact(pos + 1) : kUnknown;
        std::optional<std::uint64_t> next;
        if (*introducer == 0x2C) {
            const std::optional<std::uint8_t> local = view.U8(pos + 9);
            if (!local) return kUnknown;
            pos += 10;
            if (*local & 0x80) pos += 3u << ((*local & 7) + 1);
            next = SkipSubBlocks(view, pos + 1);  // after the LZW code size
            sawImage = true;
        } else if (*introducer == 0x21) {
            next = SkipSubBlocks(view, pos + 2);  // after the label
        } else {
            return kUnknown;
        }
        if (!next) return kUnknown;
        // Sub-block data cannot be checked: a walk that ran out of a cut file
        // through filler could fall into the next GIF's blocks and take it in.
        // Another GIF's header at a sector start ends what the walk is sure of.
        if (const std::optional<std::uint64_t> other = GifHeaderWithin(view, pos + 1, *next)) {
            return {ExtentKind::Unknown, *other, {}, false};
        }
        pos = *next;
    }
    return kUnknown;
}

// ---------------------------------------------------------------- BMP

bool DetectBmp(const std::uint8_t* s) {
    if (s[0] != 'B' || s[1] != 'M') return false;
    const std::uint32_t size = Le32At(s + 2);
    const std::uint32_t dataOffset = Le32At(s + 10);
    const std::uint32_t dib = Le32At(s + 14);
    const bool knownDib = dib == 12 || dib == 16 || dib == 40 || dib == 52 || dib == 56 || dib == 64 ||
                          dib == 108 || dib == 124;
    return knownDib && dataOffset >= 14 + dib && size > dataOffset && Le16At(s + 6) == 0 && Le16At(s + 8) == 0;
}

Extent MeasureBmp(FileView& view) {
    const std::optional<std::uint32_t> size = view.Le32(2);
    if (!size) return kUnknown;
    // Less than the file header and the shortest information header: the
    // size field is not one.
    if (*size < 14 + 12) return kNotAFile;
    if (*size > view.Limit()) return kUnknown;
    return Opaque(*size);
}

// ---------------------------------------------------------------- TIFF

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
    // Values start on even offsets, so writers pad an odd end with a zero.
    if (end % 2 == 1 && view.U8(end) == std::optional<std::uint8_t>(0)) ++end;
    make.back() = 0;
    type = dng ? std::string_view("DNG") : TiffTypeForMake(make.data(), type);
    return Opaque(end, type);
}

bool DetectTiff(const std::uint8_t* s, std::size_t available) {
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

// ---------------------------------------------------------------- ISO base media

std::string_view IsoTypeForBrand(std::string_view brand) {
    if (brand == "qt  ") return "MOV";
    if (brand.starts_with("M4V")) return "M4V";
    if (IsOneOf(brand, {"M4A ", "M4B ", "M4P "})) return "M4A";
    if (brand.starts_with("3g2")) return "3G2";
    if (brand.starts_with("3gp") || brand.starts_with("3ge") || brand.starts_with("3gg") ||
        brand.starts_with("3gs"))
        return "3GP";
    if (IsOneOf(brand, {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})) return "HEIC";
    if (brand == "crx ") return "CR3";
    return "MP4";
}

bool IsQuickTimeStartBox(const std::uint8_t* s) {
    return Starts(s, 8, 4, "moov") || Starts(s, 8, 4, "mdat") || Starts(s, 8, 4, "free") ||
           Starts(s, 8, 4, "skip") || Starts(s, 8, 4, "wide") || Starts(s, 8, 4, "pnot");
}

bool IsTopLevelBox(const std::uint8_t* type) {
    static constexpr std::string_view kTypes[] = {"moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pnot",
                                                  "pdin", "moof", "mfra", "sidx", "styp", "emsg", "prft", "ssix",
                                                  "junk", "PICT", "jumb", "mett"};
    const std::string_view t(reinterpret_cast<const char*>(type), 4);
    return std::find(std::begin(kTypes), std::end(kTypes), t) != std::end(kTypes);
}

Extent MeasureIso(FileView& view) {
    // Only the first box's header and, after ftyp, the brand: a file shorter
    // than 16 bytes must not need bytes past its end to be measured.
    std::uint8_t head[12];
    if (!view.Read(0, head, 8)) return kUnknown;
    const bool ftyp = std::memcmp(head + 4, "ftyp", 4) == 0;
    if (ftyp && !view.Read(8, head + 8, 4)) return kUnknown;
    std::string_view type = ftyp ? IsoTypeForBrand(std::string_view(reinterpret_cast<const char*>(head + 8), 4))
                                 : std::string_view("MOV");
    std::uint64_t pos = 0;
    bool sawMovie = false;
    // Whether the walk ended on a media data box. Its size is only declared:
    // a box after it confirms it, but when it is the last box (a HEIF picture,
    // a movie with its index in front) nothing does, and the rest of a cut
    // file may be another file that the scan must still find inside it.
    bool endsInData = false;
    for (int boxes = 0; boxes < kMaxPieces; ++boxes) {
        std::uint8_t box[16];
        if (!view.Read(pos, box, 8)) break;  // the file ends at the range's end
        if (boxes > 0 && !IsTopLevelBox(box + 4)) break;
        std::uint64_t size = Be32At(box);
        if (size == 1) {
            const std::optional<std::uint64_t> large = view.Be64(pos + 8);
            if (!large) return Sure(pos);
            if (*large < 16) return boxes == 0 ? kNotAFile : Sure(pos);
            size = *large;
        } else if (size == 0) {
            // The last box may run to the end of the file, which then is
            // recorded nowhere.
            return boxes == 0 ? kUnknown : Sure(pos);
        } else if (size < 8) {
            if (boxes == 0) return kNotAFile;
            break;
        }
        if (std::memcmp(box + 4, "moov", 4) == 0 || std::memcmp(box + 4, "meta", 4) == 0 ||
            std::memcmp(box + 4, "moof", 4) == 0)
            sawMovie = true;
        if (size > view.Limit() - pos) return Sure(pos);
        endsInData = std::memcmp(box + 4, "mdat", 4) == 0;
        pos += size;
    }
    if (!sawMovie) return ftyp ? kUnknown : kNotAFile;
    return endsInData ? Opaque(pos, type) : Exact(pos, type);
}

// ---------------------------------------------------------------- EBML

struct Vint {
    std::uint64_t value = 0;
    int length = 0;
    bool unknown = false;
};

// keepMarker: element IDs keep their length marker bit; sizes drop it.
std::optional<Vint> ReadVint(FileView& view, std::uint64_t at, bool keepMarker, int maxLength) {
    const std::optional<std::uint8_t> first = view.U8(at);
    if (!first || *first == 0) return std::nullopt;
    const int length = std::countl_zero(*first) + 1;
    if (length > maxLength) return std::nullopt;
    Vint v;
    v.length = length;
    std::uint64_t mask = (0xFFu >> length);
    v.value = keepMarker ? *first : (*first & mask);
    bool allOnes = (*first & mask) == mask;
    for (int i = 1; i < length; ++i) {
        const std::optional<std::uint8_t> b = view.U8(at + static_cast<std::uint64_t>(i));
        if (!b) return std::nullopt;
        v.value = (v.value << 8) | *b;
        allOnes = allOnes && *b == 0xFF;
    }
    v.unknown = !keepMarker && allOnes;
    return v;
}

bool IsLevelOneId(std::uint64_t id) {
    return id == 0x114D9B74 || id == 0x1549A966 || id == 0x1654AE6B || id == 0x1F43B675 || id == 0x1C53BB6B ||
           id == 0x1941A469 || id == 0x1043A770 || id == 0x1254C367 || id == 0xEC || id == 0xBF;
}

bool IsClusterChildId(std::uint64_t id) {
    return id == 0xE7 || id == 0xA3 || id == 0xA0 || id == 0xA7 || id == 0xAB || id == 0x5854 || id == 0xAF ||
           id == 0xEC || id == 0xBF;
}

// Walks elements from pos while `belongs` accepts their IDs; elements of
// unknown size are walked into with `inner`. Returns where the walk stopped.
std::optional<std::uint64_t> WalkEbml(FileView& view, std::uint64_t pos, bool (*belongs)(std::uint64_t),
                                      bool (*inner)(std::uint64_t), int depth) {
    for (int elements = 0; elements < kMaxPieces; ++elements) {
        const std::optional<Vint> id = ReadVint(view, pos, true, 4);
        if (!id || !belongs(id->value)) return pos;
        const std::optional<Vint> size = ReadVint(view, pos + static_cast<std::uint64_t>(id->length), false, 8);
        if (!size) return pos;
        const std::uint64_t data = pos + static_cast<std::uint64_t>(id->length + size->length);
        if (size->unknown) {
            if (depth > 0 || inner == nullptr) return std::nullopt;
            const std::optional<std::uint64_t> end = WalkEbml(view, data, inner, nullptr, depth + 1);
            if (!end) return std::nullopt;
            pos = *end;
            continue;
        }
        if (size->value > view.Limit() - data) return std::nullopt;
        pos = data + size->value;
    }
    return std::nullopt;
}

Extent MeasureEbml(FileView& view) {
    const std::optional<Vint> headerSize = ReadVint(view, 4, false, 8);
    if (!headerSize || headerSize->unknown || headerSize->value > 4096) return kNotAFile;
    const std::uint64_t headerData = 4 + static_cast<std::uint64_t>(headerSize->length);
    const std::uint64_t headerEnd = headerData + headerSize->value;
    std::string_view type = "MKV";
    for (std::uint64_t at = headerData; at < headerEnd;) {
        const std::optional<Vint> id = ReadVint(view, at, true, 4);
        if (!id) return kUnknown;
        const std::optional<Vint> size = ReadVint(view, at + static_cast<std::uint64_t>(id->length), false, 8);
        if (!size || size->unknown) return kUnknown;
        const std::uint64_t data = at + static_cast<std::uint64_t>(id->length + size->length);
        if (id->value == 0x4282 && size->value == 4 && view.Equals(data, Text("webm"))) type = "WEBM";
        if (size->value > headerEnd - std::min(headerEnd, data)) return kUnknown;
        at = data + size->value;
    }
    const std::optional<Vint> segment = ReadVint(view, headerEnd, true, 4);
    if (!segment || segment->value != 0x18538067) return kUnknown;
    const std::optional<Vint> size = ReadVint(view, headerEnd + 4, false, 8);
    if (!size) return kUnknown;
    const std::uint64_t data = headerEnd + 4 + static_cast<std::uint64_t>(size->length);
    if (!size->unknown) {
        if (size->value > view.Limit() - data) return kUnknown;
        // The segment's children must fill it: a cut file ends in noise.
        const std::optional<std::uint64_t> end = WalkEbml(view, data, IsLevelOneId, IsClusterChildId, 0);
        if (!end || *end != data + size->value) return kUnknown;
        return Exact(data + size->value, type);
    }
    // A live recording: the segment's size was never written; its children say where it ends.
    const std::optional<std::uint64_t> end = WalkEbml(view, data, IsLevelOneId, IsClusterChildId, 0);
    if (!end || *end == data) return kUnknown;
    return Exact(*end, type);
}

// ---------------------------------------------------------------- RIFF, AIFF, AU

bool IsChunkId(const std::uint8_t* id) {
    return std::all_of(id, id + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// How far a run of chunks from pos goes: to `end` when they fill it exactly,
// else to the start of the first chunk that is not whole before it (or that
// is no chunk at all).
std::uint64_t RiffChunksReach(FileView& view, std::uint64_t pos, std::uint64_t end, int depth) {
    for (int chunks = 0; pos < end && chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (end - pos < 8 || !view.Read(pos, h, 8) || !IsChunkId(h)) return pos;
        const std::uint64_t size = Le32At(h + 4);
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > end + (size & 1)) return pos;
        // The movie list holds the frames: each of them is a chunk too.
        if (depth == 0 && std::memcmp(h, "LIST", 4) == 0 && size >= 4 && view.Read(pos + 8, h + 8, 4) &&
            std::memcmp(h + 8, "movi", 4) == 0 && RiffChunksReach(view, pos + 12, pos + 8 + size, 1) < pos + 8 + size)
            return pos;
        pos = std::min(next, end);
    }
    return pos;
}

// A RIFF whose size a streaming writer left at 0 or 0xFFFFFFFF: its chunks
// are followed one by one for as long as they are chunks. The sound's or
// movie's data chunk may carry no size either; then its end is not recorded.
Extent MeasureStreamedRiff(FileView& view, std::string_view type) {
    std::uint64_t pos = 12;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (!view.Read(pos, h, 8)) return Sure(pos);
        if (!IsChunkId(h)) break;
        const std::uint64_t size = Le32At(h + 4);
        const bool data = std::memcmp(h, "data", 4) == 0 ||
                          (std::memcmp(h, "LIST", 4) == 0 && view.Read(pos + 8, h + 8, 4) &&
                           std::memcmp(h + 8, "movi", 4) == 0);
        if (data && (size == 0 || size == 0xFFFFFFFF)) return Sure(pos + (h[0] == 'L' ? 12 : 8));
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > view.Limit()) return Sure(pos);
        pos = next;
    }
    if (pos == 12) return kUnknown;
    return type == "WAV" ? Opaque(pos, type) : Exact(pos, type);
}

Extent MeasureRiff(FileView& view) {
    std::uint8_t head[12];
    if (!view.Read(0, head, 12)) return kUnknown;
    const std::string_view form(reinterpret_cast<const char*>(head + 8), 4);
    std::string_view type;
    if (form == "WAVE") type = "WAV";
    else if (form == "AVI ") type = "AVI";
    else if (form == "WEBP") type = "WEBP";
    else return kNotAFile;
    std::uint64_t size = Le32At(head + 4);
    if (size == 0 || size == 0xFFFFFFFF) return MeasureStreamedRiff(view, type);
    if (size < 4) return kUnknown;
    std::uint64_t end = 8 + size;
    if (end > view.Limit()) {
        // Sure of the chunks that lie whole before the bound; a sound's
        // samples cannot be checked, so only of its headers.
        return Sure(RiffChunksReach(view, 12, view.Limit(), 0));
    }
    // A movie's or picture's chunks are followed to the declared end, so a
    // cut file is noticed; a sound's samples cannot be checked.
    if (type != "WAV") {
        const std::uint64_t reached = RiffChunksReach(view, 12, end, 0);
        if (reached < end) return Sure(reached);
    }
    // An AVI beyond the first gigabyte goes on in further RIFF AVIX lists.
    while (type == "AVI") {
        std::uint8_t more[12];
        if (!view.Read(end, more, 12) || std::memcmp(more, "RIFF", 4) != 0 || std::memcmp(more + 8, "AVIX", 4) != 0)
            break;
        const std::uint64_t extra = 8 + std::uint64_t{Le32At(more + 4)};
        if (extra > view.Limit() - end) return Sure(end);
        end += extra;
    }
    return type == "WAV" ? Opaque(end, type) : Exact(end, type);
}

Extent MeasureAiff(FileView& view) {
    std::uint8_t head[12];
    if (!view.Read(0, head, 12)) return kUnknown;
    if (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0) return kNotAFile;
    const std::uint64_t end = 8 + std::uint64_t{Be32At(head + 4)};
    if (end < 12 || end > view.Limit()) return kUnknown;
    return Opaque(end);
}

Extent MeasureAu(FileView& view) {
    const std::optional<std::uint32_t> header = view.Be32(4);
    const std::optional<std::uint32_t> data = view.Be32(8);
    if (!header || !data || *header < 24) return kNotAFile;
    if (*data == 0xFFFFFFFF) return kUnknown;
    const std::uint64_t end = std::uint64_t{*header} + *data;
    if (end > view.Limit()) return kUnknown;
    return Opaque(end);
}

// ---------------------------------------------------------------- PSD

Extent MeasurePsd(FileView& view) {
    std::uint8_t head[26];
    if (!view.Read(0, head, 26)) return kUnknown;
    const std::uint16_t version = Be16At(head + 4);
    const std::uint16_t channels = Be16At(head + 12);
    const std::uint32_t height = Be32At(head + 14);
    const std::uint32_t width = Be32At(head + 18);
    const std::uint16_t depth = Be16At(head + 22);
    if ((version != 1 && version != 2) || channels == 0 || channels > 56 || height == 0 || width == 0 ||
        (depth != 1 && depth != 8 && depth != 16 && depth != 32))
        return kNotAFile;
    std::uint64_t pos = 26;
    for (int section = 0; section < 3; ++section) {
        const bool wide = section == 2 && version == 2;  // the layer section of a large document
        std::uint64_t length = 0;
        if (wide) {
            const std::optional<std::uint64_t> v = view.Be64(pos);
            if (!v) return kUnknown;
            length = *v;
        } else {
            const std::optional<std::uint32_t> v = view.Be32(pos);
            if (!v) return kUnknown;
            length = *v;
        }
        pos += (wide ? 8 : 4);
        if (length > view.Limit() - std::min(view.Limit(), pos)) return kUnknown;
        pos += length;
    }
    const std::optional<std::uint16_t> compression = view.Be16(pos);
    if (!compression) return kUnknown;
    pos += 2;
    const std::uint64_t rows = std::uint64_t{height} * channels;
    if (*compression == 0) {
        // Compared before multiplying: the product of forged sizes can wrap
        // round to a small length.
        const std::uint64_t rowBytes = (std::uint64_t{width} * depth + 7) / 8;
        if (rows > (view.Limit() - pos) / rowBytes) return kUnknown;
        pos += rows * rowBytes;
    } else if (*compression == 1) {
        // A table of every row's compressed length, read a block at a time;
        // the rows' data ends the file, so a sum that passes the bound ends
        // the walk without reading the rest of a forged million-row table.
        const std::uint64_t entry = version == 2 ? 4 : 2;
        if (pos > view.Limit() || rows > (view.Limit() - pos) / entry) return kUnknown;
        const std::uint64_t tableEnd = pos + rows * entry;
        std::uint64_t data = 0;
        std::uint8_t block[1024];
        for (std::uint64_t at = pos; at < tableEnd;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, tableEnd - at));
            if (!view.Read(at, block, n)) return kUnknown;
            for (std::size_t i = 0; i < n; i += entry) data += entry == 4 ? Be32At(block + i) : Be16At(block + i);
            if (data > view.Limit() - tableEnd) return kUnknown;
            at += n;
        }
        pos = tableEnd + data;
    } else {
        return kUnknown;
    }
    if (pos > view.Limit()) return kUnknown;
    return Opaque(pos);
}

// ---------------------------------------------------------------- MIDI

Extent MeasureMidi(FileView& view) {
    const std::optional<std::uint32_t> headerLength = view.Be32(4);
    const std::optional<std::uint16_t> tracks = view.Be16(10);
    // Every format of the standard holds at least one track.
    if (!headerLength || !tracks || *headerLength < 6 || *headerLength > 64 || *tracks == 0) return kNotAFile;
    std::uint64_t pos = 8 + std::uint64_t{*headerLength};
    for (std::uint32_t seen = 0; seen < *tracks;) {
        std::uint8_t chunk[8];
        if (!view.Read(pos, chunk, 8)) return kUnknown;
        if (!std::all_of(chunk, chunk + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; })) return kUnknown;
        if (std::memcmp(chunk, "MTrk", 4) == 0) ++seen;
        pos += 8 + std::uint64_t{Be32At(chunk + 4)};
        if (pos > view.Limit()) return kUnknown;
    }
    return Exact(pos);
}

// ---------------------------------------------------------------- Ogg

Extent MeasureOgg(FileView& view) {
    std::array<std::uint32_t, 16> open{};
    std::size_t openCount = 0;
    std::uint64_t pos = 0;
    for (int pages = 0; pages < kMaxPieces; ++pages) {
        std::uint8_t head[27];
        if (!view.Read(pos, head, 27)) return kUnknown;
        if (std::memcmp(head, "OggS", 4) != 0 || head[4] != 0) return kUnknown;
        const std::uint8_t flags = head[5];
        const std::uint32_t serial = Le32At(head + 14);
        std::uint8_t lacing[255];
        if (!view.Read(pos + 27, lacing, head[26])) return kUnknown;
        std::uint64_t body = 0;
        for (int i = 0; i < head[26]; ++i) body += lacing[i];
        pos += 27 + std::uint64_t{head[26]} + body;
        if (pos > view.Limit()) return kUnknown;
        auto at = std::find(open.begin(), open.begin() + static_cast<std::ptrdiff_t>(openCount), serial);
        const bool known = at != open.begin() + static_cast<std::ptrdiff_t>(openCount);
        if ((flags & 0x02) && !known) {
            if (pages > 0 && openCount == 0) return kUnknown;
            if (openCount == open.size()) return kUnknown;
            open[openCount++] = serial;
            at = open.begin() + static_cast<std::ptrdiff_t>(openCount - 1);
        } else if (!known) {
            return kUnknown;
        }
        if (flags & 0x04) {
            std::copy(at + 1, open.begin() + static_cast<std::ptrdiff_t>(openCount), at);
            if (--openCount == 0) return Exact(pos);
        }
    }
    return kUnknown;
}

// ---------------------------------------------------------------- FLAC

std::uint8_t Crc8(const std::uint8_t* data, std::size_t n) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b) crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

const std::array<std::uint16_t, 256>& Crc16Table() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i << 8);
            for (int b = 0; b < 8; ++b) c = static_cast<std::uint16_t>(c & 0x8000 ? (c << 1) ^ 0x8005 : c << 1);
            t[static_cast<std::size_t>(i)] = c;
        }
        return t;
    }();
    return table;
}

std::uint16_t Crc16Step(const std::array<std::uint16_t, 256>& table, std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ table[(crc >> 8) ^ byte]);
}

// The CRC-16 of `length` bytes from `from`; nothing when they are not all at hand.
std::optional<std::uint16_t> Crc16Over(FileView& view, std::uint64_t from, std::uint64_t length) {
    const auto& table = Crc16Table();
    std::uint16_t crc = 0;
    for (std::uint64_t q = from; q < from + length;) {
        const Bytes span = view.Span(q);
        if (span.empty()) return std::nullopt;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(span.size(), from + length - q));
        for (std::size_t i = 0; i < n; ++i) crc = Crc16Step(table, crc, span[i]);
        q += n;
    }
    return crc;
}

struct FlacFrame {
    std::uint64_t number = 0;  // frame number (fixed blocks) or first sample (variable blocks)
    std::uint32_t blockSize = 0;
    std::size_t headerLength = 0;
    int channelCode = 0;  // the header's channel assignment
    int bitsCode = 0;     // the header's sample size code, 0: the stream's
};

// Parses a frame header from up to 16 bytes; nothing when it is not one.
std::optional<FlacFrame> ParseFlacFrame(const std::uint8_t* h, std::size_t n, bool variable) {
    if (n < 6 || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8 || ((h[1] & 1) != 0) != variable) return std::nullopt;
    const int sizeCode = h[2] >> 4, rateCode = h[2] & 15, channels = h[3] >> 4, bits = (h[3] >> 1) & 7;
    if (sizeCode == 0 || rateCode == 15 || channels > 10 || bits == 3 || (h[3] & 1)) return std::nullopt;
    std::size_t p = 4;
    // The coded number: one to seven bytes, as UTF-8 stores a character.
    const int lead = std::countl_zero(static_cast<std::uint8_t>(~h[p]));
    if (lead == 1 || lead > 7) return std::nullopt;
    const int extra = lead == 0 ? 0 : lead - 1;
    FlacFrame frame;
    frame.channelCode = channels;
    frame.bitsCode = bits;
    frame.number = lead == 0 ? h[p] : (h[p] & (0x7F >> lead));
    ++p;
    for (int i = 0; i < extra; ++i, ++p) {
        if (p >= n || (h[p] & 0xC0) != 0x80) return std::nullopt;
        frame.number = (frame.number << 6) | (h[p] & 0x3F);
    }
    if (sizeCode == 1) frame.blockSize = 192;
    else if (sizeCode <= 5) frame.blockSize = 576u << (sizeCode - 2);
    else if (sizeCode == 6) frame.blockSize = (p < n ? h[p] : 0) + 1u, ++p;
    else if (sizeCode == 7) frame.blockSize = (p + 1 < n ? (h[p] << 8 | h[p + 1]) : 0) + 1u, p += 2;
    else frame.blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12) ++p;
    else if (rateCode == 13 || rateCode == 14) p += 2;
    if (p >= n || Crc8(h, p) != h[p]) return std::nullopt;
    frame.headerLength = p + 1;
    return frame;
}

// The frame header at `at`, from 16 bytes or from what is left of the view:
// a file's last frame can be shorter than that.
std::optional<FlacFrame> FlacFrameAt(FileView& view, std::uint64_t at, bool variable) {
    std::uint8_t h[16];
    const std::uint64_t left = view.Limit() - std::min(view.Limit(), at);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof h, left));
    if (!view.Read(at, h, n)) return std::nullopt;
    return ParseFlacFrame(h, n, variable);
}

// Reads a frame's bits from the view, most significant first, never at or
// past `limit`.
class BitReader {
public:
    BitReader(FileView& view, std::uint64_t byte, std::uint64_t limit)
        : view_(view), byte_(byte), limit_(std::min(limit, view.Limit())) {}

    bool Skip(std::uint64_t bits) {
        if (bits / 8 > limit_) return false;
        const std::uint64_t total = bit_ + bits;
        byte_ += total / 8;
        bit_ = static_cast<int>(total % 8);
        return byte_ < limit_ || (byte_ == limit_ && bit_ == 0);
    }
    std::optional<std::uint32_t> Read(int bits) {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            const std::optional<int> b = Bit();
            if (!b) return std::nullopt;
            value = value << 1 | static_cast<std::uint32_t>(*b);
        }
        return value;
    }
    // The count of 0 bits before the next 1 bit, at most `limit`.
    std::optional<std::uint32_t> Unary(std::uint32_t limit) {
        for (std::uint32_t zeros = 0; zeros <= limit; ++zeros) {
            const std::optional<int> b = Bit();
            if (!b) return std::nullopt;
            if (*b == 1) return zeros;
        }
        return std::nullopt;
    }
    // The byte after the last bit read, once the bits are padded to a whole byte.
    std::uint64_t AlignedEnd() const { return byte_ + (bit_ != 0 ? 1 : 0); }

private:
    std::optional<int> Bit() {
        if (byte_ >= limit_) return std::nullopt;
        if (byte_ != cachedAt_) {
            const std::optional<std::uint8_t> b = view_.U8(byte_);
            if (!b) return std::nullopt;
            cached_ = *b;
            cachedAt_ = byte_;
        }
        const int b = (cached_ >> (7 - bit_)) & 1;
        if (++bit_ == 8) bit_ = 0, ++byte_;
        return b;
    }

    FileView& view_;
    std::uint64_t byte_;
    std::uint64_t limit_;
    int bit_ = 0;
    std::uint64_t cachedAt_ = ~std::uint64_t{0};
    std::uint8_t cached_ = 0;
};

// Skips a residual of a predictor of this order over a block of samples.
bool SkipFlacResidual(BitReader& r, std::uint32_t blockSize, std::uint32_t order) {
    const std::optional<std::uint32_t> method = r.Read(2);
    const std::optional<std::uint32_t> partitionOrder = r.Read(4);
    if (!method || *method > 1 || !partitionOrder) return false;
    const int paramBits = *method == 0 ? 4 : 5;
    const std::uint32_t escape = *method == 0 ? 15 : 31;
    const std::uint32_t partitions = 1u << *partitionOrder;
    if (blockSize % partitions != 0 || (blockSize >> *partitionOrder) < order) return false;
    for (std::uint32_t i = 0; i < partitions; ++i) {
        const std::uint32_t samples = (blockSize >> *partitionOrder) - (i == 0 ? order : 0);
        const std::optional<std::uint32_t> param = r.Read(paramBits);
        if (!param) return false;
        if (*param == escape) {
            const std::optional<std::uint32_t> raw = r.Read(5);
            if (!raw || !r.Skip(std::uint64_t{samples} * *raw)) return false;
            continue;
        }
        for (std::uint32_t s = 0; s < samples; ++s) {
            // A quotient longer than a sample could need is no residual.
            if (!r.Unary(1u << 16) || !r.Skip(*param)) return false;
        }
    }
    return true;
}

// The length of the frame at `pos`, followed bit by bit through its
// subframes to the CRC that closes it; nothing when the bits do not make a
// frame. A CRC that comes to zero earlier by chance does not end it.
std::optional<std::uint64_t> FlacFrameLength(FileView& view, std::uint64_t pos, const FlacFrame& frame, int streamBits) {
    static constexpr int kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    const int bits = frame.bitsCode == 0 ? streamBits : kBits[frame.bitsCode];
    if (bits <= 0) return std::nullopt;
    const int channels = frame.channelCode < 8 ? frame.channelCode + 1 : 2;
    // No frame is longer than its samples stored verbatim, with their headers.
    const std::uint64_t longest = std::uint64_t{frame.blockSize} * channels * 33 / 8 + 1024;
    BitReader r(view, pos + frame.headerLength, pos + longest);
    for (int c = 0; c < channels; ++c) {
        // The side channel of a stereo pair carries one bit more.
        const bool side = (frame.channelCode == 8 && c == 1) || (frame.channelCode == 9 && c == 0) ||
                          (frame.channelCode == 10 && c == 1);
        int sampleBits = bits + (side ? 1 : 0);
        const std::optional<std::uint32_t> pad = r.Read(1);
        const std::optional<std::uint32_t> type = r.Read(6);
        const std::optional<std::uint32_t> wasted = r.Read(1);
        if (!pad || *pad != 0 || !type || !wasted) return std::nullopt;
        if (*wasted == 1) {
            const std::optional<std::uint32_t> k = r.Unary(32);
            if (!k) return std::nullopt;
            sampleBits -= static_cast<int>(*k) + 1;
            if (sampleBits <= 0) return std::nullopt;
        }
        if (*type == 0) {  // constant
            if (!r.Skip(sampleBits)) return std::nullopt;
        } else if (*type == 1) {  // verbatim
            if (!r.Skip(std::uint64_t{frame.blockSize} * sampleBits)) return std::nullopt;
        } else if (*type >= 8 && *type <= 12) {  // fixed predictor
            const std::uint32_t order = *type - 8;
            if (!r.Skip(std::uint64_t{order} * sampleBits) || !SkipFlacResidual(r, frame.blockSize, order)) {
                return std::nullopt;
            }
        } else if (*type >= 32) {  // linear predictor
            const std::uint32_t order = *type - 31;
            if (!r.Skip(std::uint64_t{order} * sampleBits)) return std::nullopt;
            const std::optional<std::uint32_t> precision = r.Read(4);
            if (!precision || *precision == 15 || !r.Skip(5) ||
                !r.Skip(std::uint64_t{order} * (*precision + 1)) || !SkipFlacResidual(r, frame.blockSize, order)) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    const std::uint64_t end = r.AlignedEnd() + 2;  // the CRC-16 after the padding
    if (end > view.Limit()) return std::nullopt;
    return end - pos;
}

Extent MeasureFlac(FileView& view) {
    std::uint64_t pos = 4;
    std::uint64_t totalSamples = 0;
    int streamBits = 0;
    for (int blocks = 0;; ++blocks) {
        std::uint8_t head[4];
        if (blocks > 1024 || !view.Read(pos, head, 4)) return kUnknown;
        const int kind = head[0] & 0x7F;
        const std::uint32_t length = std::uint32_t{head[1]} << 16 | std::uint32_t{head[2]} << 8 | head[3];
        if (kind == 127 || (blocks == 0 && (kind != 0 || length != 34))) return kNotAFile;
        if (blocks == 0) {
            std::uint8_t info[34];
            if (!view.Read(pos + 4, info, 34)) return kUnknown;
            totalSamples = (std::uint64_t{info[13]} & 0x0F) << 32 | Be32At(info + 14);
            streamBits = ((info[12] & 1) << 4 | info[13] >> 4) + 1;
        }
        pos += 4 + std::uint64_t{length};
        if (head[0] & 0x80) break;
    }
    if (totalSamples == 0) return kUnknown;

    const std::optional<std::uint8_t> blocking = view.U8(pos + 1);
    if (!blocking) return kUnknown;
    const bool variable = *blocking & 1;
    std::optional<FlacFrame> frame = FlacFrameAt(view, pos, variable);
    if (!frame) return kUnknown;
    std::uint64_t samples = 0;
    const auto& table = Crc16Table();
    for (int frames = 0; frames < kMaxPieces; ++frames) {
        const std::uint64_t expected = variable ? samples + frame->blockSize : std::uint64_t(frames) + 1;
        const bool last = samples + frame->blockSize >= totalSamples;
        // The last frame has no next header to confirm where it ends: it is
        // followed through its bits, and taken when its CRC holds there.
        if (last) {
            const std::optional<std::uint64_t> length = FlacFrameLength(view, pos, *frame, streamBits);
            if (length && Crc16Over(view, pos, *length) == 0) return Exact(pos + *length);
        }
        // Otherwise the frame ends where the running CRC-16 over it (its stored
        // CRC included) comes to zero, and, unless it is the last, the next
        // frame's header follows with the next number.
        std::uint16_t crc = 0;
        std::uint64_t q = pos;
        bool ended = false;
        while (!ended) {
            const Bytes span = view.Span(q);
            if (span.empty()) return kUnknown;
            std::size_t used = 0;
            bool looked = false;
            while (used < span.size() && !looked) {
                crc = Crc16Step(table, crc, span[used]);
                const std::uint64_t after = q + ++used;
                if (crc != 0 || after - pos <= frame->headerLength + 1) continue;
                if (last) return Exact(after);
                // Reading the next header may move the view on to another
                // block and take the span's bytes with it: the CRC goes on
                // from a fresh span.
                looked = true;
                const std::optional<FlacFrame> following = FlacFrameAt(view, after, variable);
                if (following && following->number == expected) {
                    samples += frame->blockSize;
                    frame = following;
                    pos = after;
                    ended = true;
                }
            }
            q += used;
        }
    }
    return kUnknown;
}

// ---------------------------------------------------------------- MPEG audio

struct AudioFrame {
    std::uint32_t length = 0;
    std::uint8_t version = 0, layer = 0, rateIndex = 0;
};

std::optional<AudioFrame> ParseAudioFrame(const std::uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    const int version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    static constexpr std::uint16_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static constexpr std::uint16_t kV1[3][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static constexpr std::uint16_t kV2[2][15] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    const bool v1 = version == 3;
    const int row = version == 3 ? 0 : (version == 2 ? 1 : 2);
    const std::uint32_t rate = kRates[row][rateIndex];
    const int layerNumber = 4 - layer;  // 1, 2 or 3
    const std::uint32_t kbps = v1 ? kV1[layerNumber - 1][bitrateIndex] : kV2[layerNumber == 1 ? 0 : 1][bitrateIndex];
    AudioFrame f;
    if (layerNumber == 1) {
        f.length = (12 * kbps * 1000 / rate + padding) * 4;
    } else {
        const std::uint32_t factor = (layerNumber == 3 && !v1) ? 72 : 144;
        f.length = factor * kbps * 1000 / rate + padding;
    }
    f.version = static_cast<std::uint8_t>(version);
    f.layer = static_cast<std::uint8_t>(layer);
    f.rateIndex = static_cast<std::uint8_t>(rateIndex);
    if (f.length < 4) return std::nullopt;
    return f;
}

bool SameStream(const AudioFrame& a, const AudioFrame& b) {
    return a.version == b.version && a.layer == b.layer && a.rateIndex == b.rateIndex;
}

// Frames needed in a row before a file without a tag counts as MP3.
constexpr int kMp3RunFrames = 8;

// The byte count of the stream, from the start of its first frame, that an
// encoder's info frame (Xing or Info from LAME and ffmpeg, VBRI from
// Fraunhofer's) records; nothing when the first frame is not one.
std::optional<std::uint64_t> InfoFrameBytes(FileView& view, std::uint64_t frame, const AudioFrame& f,
                                            std::uint8_t channelMode) {
    if (f.layer != 1) return std::nullopt;  // layer III only
    const bool mono = channelMode == 3;
    const std::uint64_t sideInfo = f.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::uint8_t x[16];
    if (f.length >= 4 + sideInfo + 16 && view.Read(frame + 4 + sideInfo, x, 16) &&
        (std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0)) {
        if (!(Be32At(x + 4) & 0x2)) return std::nullopt;  // no byte count
        // The frame count comes first when it is there.
        return Be32At(x + ((Be32At(x + 4) & 0x1) ? 12 : 8));
    }
    if (f.length >= 36 + 18 && view.Read(frame + 36, x, 14) && std::memcmp(x, "VBRI", 4) == 0) return Be32At(x + 10);
    return std::nullopt;
}

// Tags that follow the frames: an APE tag (with its header; the ones without
// are found only from the file's end) and then an ID3v1 tag.
std::uint64_t SkipTrailingTags(FileView& view, std::uint64_t pos) {
    std::uint8_t ape[32];
    if (view.Read(pos, ape, 32) && std::memcmp(ape, "APETAGEX", 8) == 0) {
        // The size counts the items and the footer, not the header.
        const std::uint64_t end = pos + 32 + std::uint64_t{Le32At(ape + 12)};
        std::uint8_t footer[8];
        if (Le32At(ape + 12) >= 32 && end <= view.Limit() && view.Read(end - 32, footer, 8) &&
            std::memcmp(footer, "APETAGEX", 8) == 0)
            pos = end;
    }
    if (view.Equals(pos, Text("TAG")) && pos + 128 <= view.Limit()) pos += 128;
    return pos;
}

Extent MeasureMp3(FileView& view) {
    std::uint64_t pos = 0;
    bool tagged = false;
    std::uint8_t h[10];
    if (!view.Read(0, h, 10)) return kUnknown;
    if (std::memcmp(h, "ID3", 3) == 0) {
        if (h[3] < 2 || h[3] > 4 || (h[6] | h[7] | h[8] | h[9]) & 0x80) return kNotAFile;
        // The size is of the tag as stored, unsynchronised or not; a footer
        // (version 4 only) adds its ten bytes.
        const std::uint32_t size = std::uint32_t{h[6]} << 21 | std::uint32_t{h[7]} << 14 | std::uint32_t{h[8]} << 7 | h[9];
        pos = 10 + std::uint64_t{size} + ((h[3] == 4 && (h[5] & 0x10)) ? 10 : 0);
        tagged = true;
        // Some writers pad past the tag's own size with zeros.
        for (int skipped = 0; skipped < 65536; ++skipped) {
            const std::optional<std::uint8_t> b = view.U8(pos);
            if (!b) return pos <= view.Limit() ? Sure(pos) : kUnknown;
            if (*b != 0) break;
            ++pos;
        }
    }
    std::optional<AudioFrame> first;
    // Where the info frame says the frames end: a next file of the same kind
    // may follow at once, and frames alone would run on into it.
    std::uint64_t declaredEnd = UINT64_MAX;
    int frames = 0;
    for (;; ++frames) {
        if (frames == kMaxPieces * 16) return Sure(pos);
        if (pos >= declaredEnd) break;
        std::uint8_t fh[4];
        // At the bound more frames may follow.
        const Extent atBound = tagged || frames >= kMp3RunFrames ? Sure(pos) : kUnknown;
        if (!view.Read(pos, fh, 4)) return atBound;
        const std::optional<AudioFrame> f = ParseAudioFrame(fh);
        if (!f || (first && !SameStream(*first, *f))) break;
        if (f->length > view.Limit() - pos) return atBound;
        if (!first) {
            first = f;
            if (const std::optional<std::uint64_t> bytes = InfoFrameBytes(view, pos, *f, fh[3] >> 6);
                bytes && *bytes >= f->length)
                declaredEnd = pos + *bytes;
        }
        pos += f->length;
    }
    if (frames == 0) return tagged ? kUnknown : kNotAFile;
    if (!tagged && frames < kMp3RunFrames) return kNotAFile;
    return Exact(SkipTrailingTags(view, pos));
}

// ---------------------------------------------------------------- MPEG program and video streams

// The system clock reference of a pack header (MPEG-1 or MPEG-2), in 90 kHz
// ticks; nothing when the header is neither.
std::optional<std::uint64_t> PackClock(const std::uint8_t (&h)[14]) {
    auto bits = [&](int at, int shift, int width) { return std::uint64_t{(h[at] >> shift) & ((1u << width) - 1u)}; };
    if ((h[4] & 0xC0) == 0x40) {
        return bits(4, 3, 3) << 30 | bits(4, 0, 2) << 28 | std::uint64_t{h[5]} << 20 | bits(6, 3, 5) << 15 |
               bits(6, 0, 2) << 13 | std::uint64_t{h[7]} << 5 | bits(8, 3, 5);
    }
    if ((h[4] & 0xF0) == 0x20) {
        return bits(4, 1, 3) << 30 | std::uint64_t{h[5]} << 22 | bits(6, 1, 7) << 15 | std::uint64_t{h[7]} << 7 |
               bits(8, 1, 7);
    }
    return std::nullopt;
}

// The start code that a short run of zero bytes from pos leads to; pos
// itself when the zeros lead to something else; nothing when they run to the bound.
std::optional<std::uint64_t> AfterZeros(FileView& view, std::uint64_t pos) {
    constexpr std::uint64_t kLongestRun = 4096;
    for (std::uint64_t at = pos; at < pos + kLongestRun;) {
        const Bytes got = view.Span(at);
        if (got.empty()) return std::nullopt;
        const auto other = std::find_if(got.begin(), got.end(), [](std::uint8_t b) { return b != 0; });
        at += static_cast<std::uint64_t>(other - got.begin());
        if (other == got.end()) continue;
        return *other == 1 && at - pos >= 2 ? at - 2 : pos;
    }
    return pos;
}

Extent MeasureMpegProgram(FileView& view) {
    // Video CD packs fill sectors of 2324 bytes, the last one's end in zeros.
    constexpr std::uint64_t kCdSector = 2324;
    std::uint64_t pos = 0;
    bool mpeg2 = false, cdSectors = true;
    int packs = 0;
    std::optional<std::uint64_t> lastClock;
    // The standard catalogue tells the two apart by the first pack: MPEG-2
    // packs are what DVDs (and ffmpeg's vob and dvd muxers) write.
    auto typed = [&] { return std::string_view(mpeg2 ? "VOB" : "MPEG"); };
    // Where a stream without an end code ends: after its last whole packet,
    // or after the zeros that fill its last sector.
    auto end = [&](std::uint64_t last) {
        if (!cdSectors || packs < 2 || last % kCdSector == 0) return last;
        const std::uint64_t padded = last + kCdSector - last % kCdSector;
        for (std::uint64_t at = last; at < padded; ++at) {
            if (view.U8(at) != std::optional<std::uint8_t>(0)) return last;
        }
        return padded;
    };
    for (int packets = 0;; ++packets) {
        if (packets == kMaxPieces * 4) return Sure(pos);
        const std::uint64_t start = pos;
        std::uint8_t h[14];
        // At the bound nothing shows whether more packets would follow.
        if (!view.Read(pos, h, 4)) return Sure(end(pos));
        if (h[0] != 0 || h[1] != 0 || h[2] != 1) {
            if (h[0] != 0) break;
            const std::optional<std::uint64_t> next = AfterZeros(view, pos);
            if (!next) return Sure(end(pos));
            if (*next == pos || !view.Read(*next, h, 4) || h[3] < 0xB9) break;
            pos = *next;
        }
        const std::uint8_t code = h[3];
        if (code == 0xB9) return Exact(pos + 4, typed());
        if (code == 0xBA) {
            // An MPEG-1 pack header is 12 bytes, an MPEG-2 one at least 14.
            h[12] = h[13] = 0;
            if (!view.Read(pos, h, 12) || ((h[4] & 0xC0) == 0x40 && !view.Read(pos + 12, h + 12, 2)))
                return Sure(start);
            // The clock never runs back inside one stream: a pack whose clock
            // does is the start of another file that follows a cut one.
            const std::optional<std::uint64_t> clock = PackClock(h);
            if (clock && lastClock && *clock < *lastClock) {
                pos = start;
                break;
            }
            if (clock) lastClock = clock;
            cdSectors = cdSectors && pos % kCdSector == 0;
            ++packs;
            if ((h[4] & 0xC0) == 0x40) {
                if (pos == 0) mpeg2 = true;
                pos += 14 + (h[13] & 7);
            } else if ((h[4] & 0xF0) == 0x20) {
                pos += 12;
            } else {
                pos = start;
                break;
            }
        } else if (code >= 0xBB) {
            const std::optional<std::uint16_t> length = view.Be16(pos + 4);
            if (!length) return Sure(start);
            pos += 6 + std::uint64_t{*length};
        } else {
            pos = start;
            break;
        }
        if (pos > view.Limit()) return Sure(start);
    }
    if (pos == 0) return kNotAFile;
    return Exact(end(pos), typed());
}

bool IsSequenceHeader(const std::uint8_t* s) {
    // A picture size and a valid frame-rate code.
    return s[0] == 0 && s[1] == 0 && s[2] == 1 && s[3] == 0xB3 && (s[4] | (s[5] & 0xF0)) != 0 &&
           (s[7] & 0x0F) >= 1 && (s[7] & 0x0F) <= 8;
}

// An elementary stream records no length, and its last slice's end shows
// only by decoding it: unless an end code closes it, the walk is sure of the
// stream up to its last sequence header. Any start code would do as well
// but for the look-alikes in the data that follows the stream (a box size
// of 0x1xx, say), which would carry the sure part into the next file.
Extent MeasureMpegVideo(FileView& view) {
    // Longer than any group of pictures: compressed data without a sequence
    // header for this long is another file's, or free space.
    constexpr std::uint64_t kLongestGroup = 8 << 20;
    std::uint64_t pos = 4, lastSequence = 0;
    // A sequence header at a sector start, whose group of pictures may show
    // that a new stream starts there: its time code is zero. 0 when none.
    std::uint64_t sectorSequence = 0;
    for (;;) {
        const Bytes got = view.Span(pos);
        if (got.empty()) return Sure(lastSequence);
        const auto* one = static_cast<const std::uint8_t*>(std::memchr(got.data(), 0x01, got.size()));
        if (one == nullptr) {
            pos += got.size();
            if (pos - lastSequence > kLongestGroup) return Sure(lastSequence);
            continue;
        }
        const std::uint64_t at = pos + static_cast<std::uint64_t>(one - got.data());
        pos = at + 1;
        if (at < 2) continue;
        std::uint8_t code[8];
        if (!view.Read(at - 2, code, 4)) return Sure(lastSequence);
        if (code[0] != 0 || code[1] != 0) continue;
        const std::uint64_t start = at - 2;
        if (start - lastSequence > kLongestGroup) return Sure(lastSequence);
        const std::uint8_t c = code[3];
        if (c == 0xB7) return Exact(at + 2);
        if (c == 0xB0 || c == 0xB1 || c == 0xB4 || c == 0xB6 || c >= 0xB9) return Sure(lastSequence);
        if (c == 0xB3) {
            // One cut short by the bound is no header: an end code may lie
            // inside its eight bytes, and must end the stream either way.
            if (!view.Read(start, code, 8) || !IsSequenceHeader(code)) continue;
            sectorSequence = start % 512 == 0 ? start : 0;
            if (sectorSequence == 0) lastSequence = start;
        } else if (c == 0xB8 && sectorSequence != 0) {
            if (!view.Read(at + 2, code, 4)) return Sure(lastSequence);
            // Hours, minutes, seconds and pictures all zero, the marker bit set.
            if ((code[0] & 0x7F) == 0 && (code[1] & 0xF7) == 0 && code[2] == 0 && (code[3] & 0x80) == 0)
                return Sure(lastSequence);
            lastSequence = std::exchange(sectorSequence, 0);
        } else if (c != 0xB5 && c != 0xB2 && sectorSequence != 0) {
            lastSequence = std::exchange(sectorSequence, 0);
        }
    }
}

// ---------------------------------------------------------------- MPEG transport, DV

bool IsTransportRun(const std::uint8_t* s, std::size_t available, std::size_t packet, std::size_t first) {
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t at = first + k * packet;
        if (at + 4 > available || s[at] != 0x47 || (s[at + 1] & 0x80)) return false;
    }
    return true;
}

Extent MeasureTransport(FileView& view) {
    std::uint8_t h[8];
    if (!view.Read(0, h, 5)) return kUnknown;
    const std::uint64_t packet = h[0] == 0x47 ? 188 : 192;
    const std::uint64_t sync = packet == 188 ? 0 : 4;
    std::uint64_t pos = 0;
    // The count of packets, enough for more than 4 GiB of them, only keeps
    // the walk's work bounded.
    for (std::uint64_t packets = 0;; ++packets) {
        if (packets == std::uint64_t{kMaxPieces} * 8) return Sure(pos);
        const std::optional<std::uint8_t> b = view.U8(pos + sync);
        if (!b) return pos < 3 * packet ? kUnknown : Sure(pos);
        // A packet whose sync byte is there but whose rest lies past the
        // bound may go on: the stream's end is not known.
        if (*b != 0x47) break;
        if (pos + packet > view.Limit()) return Sure(pos);
        pos += packet;
    }
    if (pos < 3 * packet) return kNotAFile;
    return Exact(pos);
}

// A DV frame is 10 (525-line) or 12 (625-line) DIF sequences of 150 blocks
// of 80 bytes; each sequence opens with a header block whose ID names the
// sequence's number.
bool DvSequencesIntact(FileView& view, std::uint64_t frameStart, std::uint64_t frameBytes) {
    constexpr std::uint64_t kSequenceBytes = 150 * 80;
    for (std::uint64_t seq = 1; seq * kSequenceBytes < frameBytes; ++seq) {
        std::uint8_t id[3];
        if (!view.Read(frameStart + seq * kSequenceBytes, id, 3)) return false;
        if ((id[0] & 0xE0) != 0 || (id[1] >> 4) != seq || id[2] != 0) return false;
    }
    return true;
}

Extent MeasureDv(FileView& view) {
    const std::optional<std::uint8_t> flags = view.U8(3);
    if (!flags) return kUnknown;
    const std::uint64_t frame = (*flags & 0x80) ? 144000 : 120000;
    std::uint64_t pos = 0;
    for (int frames = 0;; ++frames) {
        if (frames == kMaxPieces) return Sure(pos);
        std::uint8_t h[4];
        if (!view.Read(pos, h, 4)) return Sure(pos);
        if (h[0] != 0x1F || (h[1] & 0xF0) != 0 || h[2] != 0 || (h[3] & 0x80) != (*flags & 0x80)) break;
        // A frame that starts before the bound and ends past it may be whole.
        if (pos + frame > view.Limit()) return Sure(pos);
        // A frame counts only when every one of its DIF sequences starts with
        // its own header block: a file cut inside its last frame would
        // otherwise take in whatever follows, a next file's start included.
        if (!DvSequencesIntact(view, pos, frame)) break;
        pos += frame;
    }
    if (pos == 0) return kUnknown;
    return Exact(pos);
}

// ---------------------------------------------------------------- ASF, RealMedia, JP2

constexpr std::uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kAsfObjects[][16] = {
    {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C},  // data
    {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB},  // simple index
    {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11, 0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE},  // index
    {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C, 0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C},  // media object index
    {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48, 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C},  // timecode index
};
constexpr std::uint8_t kAsfVideoMedia[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                             0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr std::uint8_t kAsfStreamProperties[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::uint8_t kAsfHeaderExtension[16] = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// A header of more objects than this is not one a writer made.
constexpr int kAsfMaxHeaderObjects = 256;

// Whether a stream properties object among the objects in [pos, end) (or
// among those of a header extension there) declares a video stream. Reads
// only the objects' own headers, one after another by their sizes, never
// the bytes in between.
bool DeclaresVideo(FileView& view, std::uint64_t pos, std::uint64_t end, int& objects) {
    while (end - pos >= 24 && objects++ < kAsfMaxHeaderObjects) {
        std::uint8_t h[40];
        if (!view.Read(pos, h, 24)) return false;
        std::uint64_t size = 0;
        for (int i = 7; i >= 0; --i) size = (size << 8) | h[16 + i];
        if (size < 24 || size > end - pos) return false;
        if (std::memcmp(h, kAsfStreamProperties, 16) == 0) {
            if (size >= 40 && view.Read(pos + 24, h + 24, 16) && std::memcmp(h + 24, kAsfVideoMedia, 16) == 0) return true;
        } else if (std::memcmp(h, kAsfHeaderExtension, 16) == 0 && size >= 46) {
            if (DeclaresVideo(view, pos + 46, pos + size, objects)) return true;
        }
        pos += size;
    }
    return false;
}

Extent MeasureAsf(FileView& view) {
    const std::optional<std::uint64_t> headerSize = view.Le64(16);
    if (!headerSize || *headerSize < 30 || *headerSize > (1u << 24)) return kNotAFile;
    std::uint64_t pos = *headerSize;
    if (pos > view.Limit()) return kUnknown;
    int headerObjects = 0;
    const std::string_view type = DeclaresVideo(view, 30, pos, headerObjects) ? "ASF" : "WMA";
    for (int objects = 0; objects < 64; ++objects) {
        std::uint8_t h[24];
        if (!view.Read(pos, h, 24)) break;
        const bool known = std::any_of(std::begin(kAsfObjects), std::end(kAsfObjects),
                                       [&](const std::uint8_t (&g)[16]) { return std::memcmp(h, g, 16) == 0; });
        if (!known) break;
        std::uint64_t size = 0;
        for (int i = 7; i >= 0; --i) size = (size << 8) | h[16 + i];
        if (size < 24) return kUnknown;  // a broadcast stream leaves the data size open
        if (size > view.Limit() - pos) return kUnknown;
        pos += size;
    }
    return Opaque(pos, type);
}

Extent MeasureRealMedia(FileView& view) {
    static constexpr std::string_view kChunks[] = {".RMF", "PROP", "MDPR", "CONT", "DATA", "INDX", "RMMD", "RJMD"};
    std::uint64_t pos = 0;
    bool sawData = false;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[8];
        if (!view.Read(pos, h, 8)) break;
        const std::string_view id(reinterpret_cast<const char*>(h), 4);
        if (std::find(std::begin(kChunks), std::end(kChunks), id) == std::end(kChunks)) break;
        if (chunks > 0 && id == ".RMF") break;
        const std::uint32_t size = Be32At(h + 4);
        if (size < 8) return chunks == 0 ? kNotAFile : kUnknown;
        if (id == "DATA") {
            // The packets say where the data ends; writers do not always get
            // the chunk's own size right.
            const std::optional<std::uint32_t> packets = view.Be32(pos + 10);
            if (!packets) return kUnknown;
            std::uint64_t at = pos + 18;
            for (std::uint32_t k = 0; k < *packets; ++k) {
                const std::optional<std::uint16_t> length = view.Be16(at + 2);
                if (!length || *length < 12) return kUnknown;
                at += *length;
            }
            if (at > view.Limit()) return kUnknown;
            sawData = true;
            pos = at;
            continue;
        }
        if (size > view.Limit() - pos) return kUnknown;
        pos += size;
    }
    if (!sawData) return kUnknown;
    // Some writers close the file with an empty chunk header of eight zeros.
    if (std::uint8_t tail[8]; view.Read(pos, tail, 8) && std::all_of(tail, tail + 8, [](std::uint8_t b) { return b == 0; }))
        pos += 8;
    return Exact(pos);
}

bool IsJp2Box(const std::uint8_t* t) {
    static constexpr std::string_view kBoxes[] = {"jP  ", "ftyp", "jp2h", "jp2c", "jp2i", "xml ", "uuid", "uinf",
                                                  "res ", "ipr ", "asoc", "rreq", "lbl ", "dtbl", "ftbl", "jpch",
                                                  "jplh", "cgrp", "free"};
    const std::string_view id(reinterpret_cast<const char*>(t), 4);
    return std::find(std::begin(kBoxes), std::end(kBoxes), id) != std::end(kBoxes);
}

// A codestream whose box runs to the end of the file: follow its tile-parts to EOC.
std::optional<std::uint64_t> CodestreamEnd(FileView& view, std::uint64_t pos) {
    if (view.Be16(pos) != std::optional<std::uint16_t>(0xFF4F)) return std::nullopt;
    pos += 2;
    for (int segments = 0; segments < kMaxPieces; ++segments) {
        const std::optional<std::uint16_t> marker = view.Be16(pos);
        if (!marker || (*marker >> 8) != 0xFF) return std::nullopt;
        if (*marker == 0xFFD9) return pos + 2;
        if (*marker == 0xFF90) {
            const std::optional<std::uint32_t> length = view.Be32(pos + 6);
            if (!length || *length < 14) return std::nullopt;
            pos += *length;
            continue;
        }
        const std::optional<std::uint16_t> length = view.Be16(pos + 2);
        if (!length || *length < 2) return std::nullopt;
        pos += 2 + std::uint64_t{*length};
    }
    return std::nullopt;
}

Extent MeasureJp2(FileView& view) {
    std::uint64_t pos = 0;
    bool sawCodestream = false;
    for (int boxes = 0; boxes < kMaxPieces; ++boxes) {
        std::uint8_t h[8];
        if (!view.Read(pos, h, 8) || !IsJp2Box(h + 4)) break;
        std::uint64_t size = Be32At(h);
        const bool codestream = std::memcmp(h + 4, "jp2c", 4) == 0;
        if (size == 1) {
            const std::optional<std::uint64_t> large = view.Be64(pos + 8);
            if (!large || *large < 16) return kUnknown;
            size = *large;
        } else if (size == 0) {
            if (!codestream) return kUnknown;
            const std::optional<std::uint64_t> end = CodestreamEnd(view, pos + 8);
            if (!end) return kUnknown;
            return Exact(*end);
        } else if (size < 8) {
            break;
        }
        if (size > view.Limit() - pos) return kUnknown;
        pos += size;
        sawCodestream = sawCodestream || codestream;
    }
    if (!sawCodestream) return kUnknown;
    return Exact(pos);
}

}  // namespace

FormatMatch DetectFormat(const std::uint8_t* s, std::size_t available) {
    if (available < 512) return {};
    switch (s[0]) {
        case 0xFF:
            if (DetectJpeg(s, available)) return {FormatFamily::Jpeg, "JPEG"};
            if (std::optional<AudioFrame> f = ParseAudioFrame(s)) {
                if (f->length + 4 <= available && ParseAudioFrame(s + f->length)) return {FormatFamily::Mp3, "MP3"};
            }
            return {};
        case 0x89:
            if (std::memcmp(s, kPngSignature.data(), 8) == 0) return {FormatFamily::Png, "PNG"};
            return {};
        case 'G':  // also 0x47, the sync byte of a transport stream packet
            if (Starts(s, available, 0, "GIF87a") || Starts(s, available, 0, "GIF89a")) return {FormatFamily::Gif, "GIF"};
            if (IsTransportRun(s, available, 188, 0)) return {FormatFamily::MpegTransport, "MTS"};
            return {};
        case 'B':
            if (DetectBmp(s)) return {FormatFamily::Bmp, "BMP"};
            return {};
        case 'I':
            if (Starts(s, available, 0, "ID3") && s[3] >= 2 && s[3] <= 4) return {FormatFamily::Mp3, "MP3"};
            [[fallthrough]];
        case 'M':
            if (DetectTiff(s, available)) return {FormatFamily::Tiff, "TIFF"};
            if (Starts(s, available, 0, "MThd")) return {FormatFamily::Midi, "MIDI"};
            return {};
        case 0x1A:
            if (Be32At(s) == 0x1A45DFA3) return {FormatFamily::Ebml, "MKV"};
            return {};
        case 'R':
            if (Starts(s, available, 0, "RIFF")) return {FormatFamily::Riff, "WAV"};
            return {};
        case 'F':
            if (Starts(s, available, 0, "FORM") && (Starts(s, available, 8, "AIFF") || Starts(s, available, 8, "AIFC")))
                return {FormatFamily::Aiff, "AIFF"};
            return {};
        case '.':
            if (Starts(s, available, 0, ".snd")) return {FormatFamily::Au, "AU"};
            if (Starts(s, available, 0, ".RMF")) return {FormatFamily::RealMedia, "RM"};
            return {};
        case '8':
            if (Starts(s, available, 0, "8BPS")) return {FormatFamily::Psd, "PSD"};
            return {};
        case 'O':
            if (Starts(s, available, 0, "OggS") && s[4] == 0 && (s[5] & 0x02)) return {FormatFamily::Ogg, "OGG"};
            return {};
        case 'f':
            if (Starts(s, available, 0, "fLaC")) return {FormatFamily::Flac, "FLAC"};
            return {};
        case 0x30:
            if (std::memcmp(s, kAsfHeader, 16) == 0) return {FormatFamily::Asf, "WMA"};
            return {};
        case 0x1F:
            if (s[1] == 0x07 && s[2] == 0x00 && (s[3] & 0x7F) == 0x3F) return {FormatFamily::Dv, "DV"};
            return {};
        default:
            break;
    }
    if (s[0] == 0 && s[1] == 0 && s[2] == 1) {
        if (s[3] == 0xBA && ((s[4] & 0xC4) == 0x44 || (s[4] & 0xF1) == 0x21)) return {FormatFamily::MpegProgram, "MPEG"};
        if (IsSequenceHeader(s)) return {FormatFamily::MpegVideo, "MPEG"};
    }
    if (Be32At(s) == 0x0000000C && Starts(s, available, 4, "jP  \r\n\x87\n")) return {FormatFamily::Jp2, "JP2"};
    const std::uint32_t boxSize = Be32At(s);
    if (Starts(s, available, 4, "ftyp") && boxSize >= 16 && boxSize <= 4096 && boxSize % 4 == 0)
        return {FormatFamily::IsoMedia, IsoTypeForBrand(std::string_view(reinterpret_cast<const char*>(s + 8), 4))};
    if ((boxSize >= 8 || (boxSize == 1 && Starts(s, available, 4, "mdat"))) && IsQuickTimeStartBox(s))
        return {FormatFamily::IsoMedia, "MOV"};
    if (IsTransportRun(s, available, 192, 4)) return {FormatFamily::MpegTransport, "MTS"};
    return {};
}

Extent MeasureFormat(FormatFamily family, FileView& view) {
    switch (family) {
        case FormatFamily::Jpeg: return MeasureJpeg(view);
        case FormatFamily::Png: return MeasurePng(view);
        case FormatFamily::Gif: return MeasureGif(view);
        case FormatFamily::Bmp: return MeasureBmp(view);
        case FormatFamily::Tiff: return MeasureTiff(view);
        case FormatFamily::IsoMedia: return MeasureIso(view);
        case FormatFamily::Ebml: return MeasureEbml(view);
        case FormatFamily::Riff: return MeasureRiff(view);
        case FormatFamily::Aiff: return MeasureAiff(view);
        case FormatFamily::Au: return MeasureAu(view);
        case FormatFamily::Psd: return MeasurePsd(view);
        case FormatFamily::Midi: return MeasureMidi(view);
        case FormatFamily::Ogg: return MeasureOgg(view);
        case FormatFamily::Flac: return MeasureFlac(view);
        case FormatFamily::Mp3: return MeasureMp3(view);
        case FormatFamily::MpegProgram: return MeasureMpegProgram(view);
        case FormatFamily::MpegVideo: return MeasureMpegVideo(view);
        case FormatFamily::MpegTransport: return MeasureTransport(view);
        case FormatFamily::Dv: return MeasureDv(view);
        case FormatFamily::Asf: return MeasureAsf(view);
        case FormatFamily::RealMedia: return MeasureRealMedia(view);
        case FormatFamily::Jp2: return MeasureJp2(view);
        case FormatFamily::None: break;
    }
    return kNotAFile;
}

}  // namespace zt
