// JPEG 2000 (JP2): boxes, and a codestream followed to EOC.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

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

}  // namespace

Extent MeasureJp2(FileView& view) {
    std::uint64_t pos = 0;
    bool sawCodestream = false;
    // A codestream box of a declared size whose tile-parts do not lead to
    // its end marker right where the box ends: the size is taken on trust,
    // and a file that has overwritten the rest may lie inside.
    bool unchecked = false;
    for (int boxes = 0; boxes < kMaxPieces; ++boxes) {
        std::uint8_t h[8];
        if (!view.Read(pos, h, 8) || !IsJp2Box(h + 4)) break;
        std::uint64_t size = Be32At(h);
        const std::uint64_t header = size == 1 ? 16 : 8;
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
        if (codestream && CodestreamEnd(view, pos + header) != std::optional<std::uint64_t>(pos + size)) unchecked = true;
        pos += size;
        sawCodestream = sawCodestream || codestream;
    }
    if (!sawCodestream) return kUnknown;
    return unchecked ? Opaque(pos) : Exact(pos);
}

FormatMatch DetectJp2(const std::uint8_t* s, std::size_t available) {
    if (Be32At(s) == 0x0000000C && Starts(s, available, 4, "jP  \r\n\x87\n")) return {FormatFamily::Jp2, "JP2"};
    return {};
}

}  // namespace zt::formats
