// JPEG: segments up to the scan, the entropy-coded data to EOI, then the
// pictures a Multi-Picture index lists and a motion photo's movie after it.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

bool IsJpegStartMarker(std::uint8_t m) {
    return (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xFE || m == 0xDD ||
           (m >= 0xC0 && m <= 0xCF && m != 0xC8 && m != 0xCC);
}

bool IsJpegHeader(const std::uint8_t* s, std::size_t available) {
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

// Where the first picture's Multi-Picture index lies: the offset of its TIFF
// header, from which the index counts its images' offsets, and the end of
// its segment, which the index may not reach past. No index when tiff is 0.
struct MpfIndex {
    std::uint64_t tiff = 0;
    std::uint64_t end = 0;
};

Extent MeasureJpegWalk(FileView& view, std::uint64_t& firstScan, MpfIndex* mpf = nullptr) {
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
        if (m == 0xE2 && mpf != nullptr && mpf->tiff == 0 && !sawScan && *length >= 2 + 4 + 8 &&
            view.Equals(markerAt + 4, Text(std::string_view("MPF\0", 4)))) {
            *mpf = {markerAt + 8, markerAt + 2 + *length};
        }
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

// Whether a file of any kind begins at a sector start in (from, to): the
// rest of a cut copy was written over there, so it is not this file's.
bool AnotherFileWithin(FileView& view, std::uint64_t from, std::uint64_t to) {
    std::uint8_t sector[2 * kSectorBytes];
    return NextFileWithin(from, to, [&](std::uint64_t at) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof sector, view.Limit() - at));
        return n >= kSectorBytes && view.Read(at, sector, n) && DetectFormat(sector, n).family != FormatFamily::None;
    }).has_value();
}

// A writer may pad between the pictures it lists; a longer stretch of bytes
// nothing checks is not taken on the index's word alone.
constexpr std::uint64_t kMostBytesBetweenPictures = 64 * 1024;

// The pictures an index lists after the first (a camera's preview, the gain
// map of an HDR photo) follow that one's EOI, in the order listed: the file
// ends after the last. Each is taken only where a whole JPEG of the listed
// size begins at the listed place, after the one before it, so a damaged or
// forged index, or another file where the rest of a cut copy was, leaves
// the file ending after the last picture found whole. None is read past its
// listed size.
std::uint64_t AfterListedPictures(FileView& view, const MpfIndex& index, std::uint64_t end) {
    std::uint8_t head[8];
    if (!view.Read(index.tiff, head, 8)) return end;
    const bool little = std::memcmp(head, "II*\0", 4) == 0;
    if (!little && std::memcmp(head, "MM\0*", 4) != 0) return end;
    const auto u16 = [&](std::uint64_t at) { return little ? view.Le16(at) : view.Be16(at); };
    const auto u32 = [&](std::uint64_t at) { return little ? view.Le32(at) : view.Be32(at); };
    // Whether n bytes at an offset from the TIFF header lie in the segment.
    const auto inside = [&](std::uint64_t offset, std::uint64_t n) {
        return offset <= index.end - index.tiff && n <= index.end - index.tiff - offset;
    };
    // The MP Entry table (tag B002) of the first IFD: 16 bytes a picture,
    // its size at 4 and its offset at 8, the first picture's offset 0.
    const std::uint64_t ifd = little ? Le32At(head + 4) : Be32At(head + 4);
    const std::optional<std::uint16_t> fields = inside(ifd, 2) ? u16(index.tiff + ifd) : std::nullopt;
    if (!fields || !inside(ifd + 2, std::uint64_t{*fields} * 12)) return end;
    std::uint64_t table = 0, tableBytes = 0;
    for (std::uint16_t i = 0; i < *fields && tableBytes == 0; ++i) {
        const std::uint64_t field = index.tiff + ifd + 2 + std::uint64_t{i} * 12;
        if (u16(field) != std::uint16_t{0xB002}) continue;
        const std::optional<std::uint32_t> bytes = u32(field + 4);
        const std::optional<std::uint32_t> at = u32(field + 8);
        if (!bytes || !at || *bytes % 16 != 0 || !inside(*at, *bytes)) return end;
        table = index.tiff + *at;
        tableBytes = *bytes;
    }
    for (std::uint64_t entry = table; entry < table + tableBytes; entry += 16) {
        const std::optional<std::uint32_t> size = u32(entry + 4);
        const std::optional<std::uint32_t> offset = u32(entry + 8);
        if (!size || !offset) break;
        if (*offset == 0) continue;  // the first picture, already walked
        const std::uint64_t at = index.tiff + *offset;
        if (at < end || at - end > kMostBytesBetweenPictures) break;
        OffsetFileView picture(view, at, *size);
        std::uint8_t soi[3];
        if (!picture.Read(0, soi, 3) || soi[0] != 0xFF || soi[1] != 0xD8 || soi[2] != 0xFF) break;
        std::uint64_t firstScan = 0;
        const Extent e = MeasureJpegWalk(picture, firstScan);
        if (e.kind != ExtentKind::Exact || e.bytes != *size || AnotherFileWithin(view, at, at + *size)) break;
        end = at + *size;
    }
    return end;
}

// A motion photo's movie, an MP4 written right after the pictures, is part
// of the file. Its own walk measures it from the sizes its boxes declare,
// which a cut copy keeps: the movie is taken only when no other file begins
// inside it. Otherwise, or when the walk cannot follow it to its end, the
// file ends after the pictures, as a copy cut there would.
std::uint64_t AfterMotionVideo(FileView& view, std::uint64_t end) {
    std::uint8_t box[8];
    if (!view.Read(end, box, 8) || std::memcmp(box + 4, "ftyp", 4) != 0) return end;
    OffsetFileView movie(view, end);
    const Extent e = MeasureIso(movie);
    if (e.kind != ExtentKind::Exact || AnotherFileWithin(view, end, end + e.bytes)) return end;
    return end + e.bytes;
}

}  // namespace

// What comes before the first scan (the Exif segment with its thumbnail) is
// certain even when the data after it cannot be followed.
Extent MeasureJpeg(FileView& view) {
    std::uint64_t firstScan = 0;
    MpfIndex mpf;
    Extent e = MeasureJpegWalk(view, firstScan, &mpf);
    if (e.kind == ExtentKind::Unknown) e.bytes = firstScan;
    if (e.kind != ExtentKind::Exact) return e;
    const std::uint64_t end = mpf.tiff != 0 ? AfterListedPictures(view, mpf, e.bytes) : e.bytes;
    return Exact(AfterMotionVideo(view, end));
}

FormatMatch DetectJpeg(const std::uint8_t* s, std::size_t available) {
    if (IsJpegHeader(s, available)) return {FormatFamily::Jpeg, "JPEG"};
    return {};
}

}  // namespace zt::formats
