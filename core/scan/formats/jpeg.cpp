// JPEG: segments up to the scan, the entropy-coded data to EOI.
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

}  // namespace

// What comes before the first scan (the Exif segment with its thumbnail) is
// certain even when the data after it cannot be followed.
Extent MeasureJpeg(FileView& view) {
    std::uint64_t firstScan = 0;
    Extent e = MeasureJpegWalk(view, firstScan);
    if (e.kind == ExtentKind::Unknown) e.bytes = firstScan;
    return e;
}

FormatMatch DetectJpeg(const std::uint8_t* s, std::size_t available) {
    if (IsJpegHeader(s, available)) return {FormatFamily::Jpeg, "JPEG"};
    return {};
}

}  // namespace zt::formats
