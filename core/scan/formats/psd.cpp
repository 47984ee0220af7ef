// Photoshop PSD: its sections and the image data.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasurePsd(FileView& view) {
    std::uint8_t head[26];
    if (!view.Read(0, head, 26)) return kUnknown;
    const std::uint16_t version = Be16At(head + 4);
    const std::uint16_t channels = Be16At(head + 12);
    const std::uint32_t height = Be32At(head + 14);
    const std::uint32_t width = Be32At(head + 18);
    const std::uint16_t depth = Be16At(head + 22);
    if ((version != 1 && version != 2) || channels == 0 || channels > 56 || height == 0 || width == 0 ||
        (depth != 1 && depth != 8 && depth != 16 && depth != 32))
        return kNotAFile;
    std::uint64_t pos = 26;
    for (int section = 0; section < 3; ++section) {
        const bool wide = section == 2 && version == 2;  // the layer section of a large document
        std::uint64_t length = 0;
        if (wide) {
            const std::optional<std::uint64_t> v = view.Be64(pos);
            if (!v) return kUnknown;
            length = *v;
        } else {
            const std::optional<std::uint32_t> v = view.Be32(pos);
            if (!v) return kUnknown;
            length = *v;
        }
        pos += (wide ? 8 : 4);
        if (length > view.Limit() - std::min(view.Limit(), pos)) return kUnknown;
        pos += length;
    }
    const std::optional<std::uint16_t> compression = view.Be16(pos);
    if (!compression) return kUnknown;
    pos += 2;
    const std::uint64_t rows = std::uint64_t{height} * channels;
    if (*compression == 0) {
        // Compared before multiplying: the product of forged sizes can wrap
        // round to a small length.
        const std::uint64_t rowBytes = (std::uint64_t{width} * depth + 7) / 8;
        if (rows > (view.Limit() - pos) / rowBytes) return kUnknown;
        pos += rows * rowBytes;
    } else if (*compression == 1) {
        // A table of every row's compressed length, read a block at a time;
        // the rows' data ends the file, so a sum that passes the bound ends
        // the walk without reading the rest of a forged million-row table.
        const std::uint64_t entry = version == 2 ? 4 : 2;
        if (pos > view.Limit() || rows > (view.Limit() - pos) / entry) return kUnknown;
        const std::uint64_t tableEnd = pos + rows * entry;
        std::uint64_t data = 0;
        std::uint8_t block[1024];
        for (std::uint64_t at = pos; at < tableEnd;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, tableEnd - at));
            if (!view.Read(at, block, n)) return kUnknown;
            for (std::size_t i = 0; i < n; i += entry) data += entry == 4 ? Be32At(block + i) : Be16At(block + i);
            if (data > view.Limit() - tableEnd) return kUnknown;
            at += n;
        }
        pos = tableEnd + data;
    } else {
        return kUnknown;
    }
    if (pos > view.Limit()) return kUnknown;
    return Opaque(pos);
}

FormatMatch DetectPsd(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "8BPS")) return {FormatFamily::Psd, "PSD"};
    return {};
}

}  // namespace zt::formats
