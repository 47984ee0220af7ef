// AIFF and AIFF-C: the FORM size.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasureAiff(FileView& view) {
    std::uint8_t head[12];
    if (!view.Read(0, head, 12)) return kUnknown;
    if (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0) return kNotAFile;
    const std::uint64_t end = 8 + std::uint64_t{Be32At(head + 4)};
    if (end < 12 || end > view.Limit()) return kUnknown;
    return Opaque(end);
}

FormatMatch DetectAiff(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "FORM") && (Starts(s, available, 8, "AIFF") || Starts(s, available, 8, "AIFC")))
        return {FormatFamily::Aiff, "AIFF"};
    return {};
}

}  // namespace zt::formats
