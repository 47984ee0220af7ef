// RealMedia: its chunks from .RMF.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasureRealMedia(FileView& view) {
    static constexpr std::string_view kChunks[] = {".RMF", "PROP", "MDPR", "CONT", "DATA", "INDX", "RMMD", "RJMD"};
    std::uint64_t pos = 0;
    bool sawData = false;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[8];
        if (!view.Read(pos, h, 8)) break;
        const std::string_view id(reinterpret_cast<const char*>(h), 4);
        if (std::find(std::begin(kChunks), std::end(kChunks), id) == std::end(kChunks)) break;
        if (chunks > 0 && id == ".RMF") break;
        const std::uint32_t size = Be32At(h + 4);
        if (size < 8) return chunks == 0 ? kNotAFile : kUnknown;
        if (id == "DATA") {
            // The packets say where the data ends; writers do not always get
            // the chunk's own size right.
            const std::optional<std::uint32_t> packets = view.Be32(pos + 10);
            if (!packets) return kUnknown;
            std::uint64_t at = pos + 18;
            for (std::uint32_t k = 0; k < *packets; ++k) {
                const std::optional<std::uint16_t> length = view.Be16(at + 2);
                if (!length || *length < 12) return kUnknown;
                at += *length;
            }
            if (at > view.Limit()) return kUnknown;
            sawData = true;
            pos = at;
            continue;
        }
        if (size > view.Limit() - pos) return kUnknown;
        pos += size;
    }
    if (!sawData) return kUnknown;
    // Some writers close the file with an empty chunk header of eight zeros.
    if (std::uint8_t tail[8]; view.Read(pos, tail, 8) && std::all_of(tail, tail + 8, [](std::uint8_t b) { return b == 0; }))
        pos += 8;
    return Exact(pos);
}

FormatMatch DetectRealMedia(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, ".RMF")) return {FormatFamily::RealMedia, "RM"};
    return {};
}

}  // namespace zt::formats
