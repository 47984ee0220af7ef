// DV: frames of DIF sequences.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

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

}  // namespace

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
    // A copy cut inside its last frame, after that frame's last sequence
    // header, with another DV file from the next sector on: the frame runs
    // into that file's first frame, whose sector is left for it. Inside a
    // frame no sector starts with a first sequence's header block.
    const auto next = NextFileWithin(pos - frame, pos, [&](std::uint64_t at) {
        std::uint8_t h[4];
        return view.Read(at, h, sizeof h) && h[0] == 0x1F && DetectDv(h, sizeof h).family == FormatFamily::Dv;
    });
    return Exact(next.value_or(pos));
}

// The header block of a frame's first DIF sequence.
FormatMatch DetectDv(const std::uint8_t* s, std::size_t) {
    if (s[1] == 0x07 && s[2] == 0x00 && (s[3] & 0x7F) == 0x3F) return {FormatFamily::Dv, "DV"};
    return {};
}

}  // namespace zt::formats
