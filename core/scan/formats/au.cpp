// Sun/NeXT AU: header size plus data size.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasureAu(FileView& view) {
    const std::optional<std::uint32_t> header = view.Be32(4);
    const std::optional<std::uint32_t> data = view.Be32(8);
    if (!header || !data || *header < 24) return kNotAFile;
    if (*data == 0xFFFFFFFF) return kUnknown;
    const std::uint64_t end = std::uint64_t{*header} + *data;
    if (end > view.Limit()) return kUnknown;
    return Opaque(end);
}

FormatMatch DetectAu(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, ".snd")) return {FormatFamily::Au, "AU"};
    return {};
}

}  // namespace zt::formats
