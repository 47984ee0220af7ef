// GIF: blocks and their sub-blocks to the trailer.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

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

}  // namespace

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

FormatMatch DetectGif(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "GIF87a") || Starts(s, available, 0, "GIF89a")) return {FormatFamily::Gif, "GIF"};
    return {};
}

}  // namespace zt::formats
