// MPEG-1 and MPEG-2 program streams (MPEG, VOB): packs and their packets.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

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
        Bytes got = view.Span(at);
        if (got.empty()) return std::nullopt;
        // No further than the longest run, however much the view hands over
        // at once: where the run ends must not depend on where its blocks do.
        got = got.first(static_cast<std::size_t>(std::min<std::uint64_t>(got.size(), pos + kLongestRun - at)));
        const auto other = std::find_if(got.begin(), got.end(), [](std::uint8_t b) { return b != 0; });
        at += static_cast<std::uint64_t>(other - got.begin());
        if (other == got.end()) continue;
        return *other == 1 && at - pos >= 2 ? at - 2 : pos;
    }
    return pos;
}

// A pack header at `at`. One never lies inside a packet of a whole stream.
bool StartsPack(FileView& view, std::uint64_t at) {
    std::uint8_t s[5];
    return view.Read(at, s, sizeof s) && DetectMpegProgram(s, sizeof s).family == FormatFamily::MpegProgram;
}

}  // namespace

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
            // A copy cut inside this packet, with another stream from a
            // sector the packet's length runs over.
            if (const auto next = NextFileWithin(start, pos, [&](std::uint64_t at) { return StartsPack(view, at); })) {
                pos = *next;
                break;
            }
        } else {
            pos = start;
            break;
        }
        if (pos > view.Limit()) return Sure(start);
    }
    if (pos == 0) return kNotAFile;
    return Exact(end(pos), typed());
}

// A pack header with the MPEG-2 marker bits ('01') or the MPEG-1 ones ('0010').
FormatMatch DetectMpegProgram(const std::uint8_t* s, std::size_t) {
    if (s[0] == 0 && s[1] == 0 && s[2] == 1 && s[3] == 0xBA && ((s[4] & 0xC4) == 0x44 || (s[4] & 0xF1) == 0x21))
        return {FormatFamily::MpegProgram, "MPEG"};
    return {};
}

}  // namespace zt::formats
