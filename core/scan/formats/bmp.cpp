// BMP: the size its file header declares.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

bool IsBmpHeader(const std::uint8_t* s) {
    if (s[0] != 'B' || s[1] != 'M') return false;
    const std::uint32_t size = Le32At(s + 2);
    const std::uint32_t dataOffset = Le32At(s + 10);
    const std::uint32_t dib = Le32At(s + 14);
    const bool knownDib = dib == 12 || dib == 16 || dib == 40 || dib == 52 || dib == 56 || dib == 64 ||
                          dib == 108 || dib == 124;
    return knownDib && dataOffset >= 14 + dib && size > dataOffset && Le16At(s + 6) == 0 && Le16At(s + 8) == 0;
}

}  // namespace

Extent MeasureBmp(FileView& view) {
    const std::optional<std::uint32_t> size = view.Le32(2);
    if (!size) return kUnknown;
    // Less than the file header and the shortest information header: the
    // size field is not one.
    if (*size < 14 + 12) return kNotAFile;
    if (*size > view.Limit()) return kUnknown;
    return Opaque(*size);
}

FormatMatch DetectBmp(const std::uint8_t* s, std::size_t) {
    if (IsBmpHeader(s)) return {FormatFamily::Bmp, "BMP"};
    return {};
}

}  // namespace zt::formats
