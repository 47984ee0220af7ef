// MPEG elementary video streams from a sequence header.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

bool IsSequenceHeader(const std::uint8_t* s) {
    // A picture size and a valid frame-rate code.
    return s[0] == 0 && s[1] == 0 && s[2] == 1 && s[3] == 0xB3 && (s[4] | (s[5] & 0xF0)) != 0 &&
           (s[7] & 0x0F) >= 1 && (s[7] & 0x0F) <= 8;
}

}  // namespace

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

FormatMatch DetectMpegVideo(const std::uint8_t* s, std::size_t) {
    if (IsSequenceHeader(s)) return {FormatFamily::MpegVideo, "MPEG"};
    return {};
}

}  // namespace zt::formats
