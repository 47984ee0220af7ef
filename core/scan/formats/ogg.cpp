// Ogg: pages followed to the last page of every stream the file opened.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasureOgg(FileView& view) {
    std::array<std::uint32_t, 16> open{};
    std::size_t openCount = 0;
    std::uint64_t pos = 0;
    for (int pages = 0; pages < kMaxPieces; ++pages) {
        std::uint8_t head[27];
        if (!view.Read(pos, head, 27)) return kUnknown;
        if (std::memcmp(head, "OggS", 4) != 0 || head[4] != 0) return kUnknown;
        const std::uint8_t flags = head[5];
        const std::uint32_t serial = Le32At(head + 14);
        std::uint8_t lacing[255];
        if (!view.Read(pos + 27, lacing, head[26])) return kUnknown;
        std::uint64_t body = 0;
        for (int i = 0; i < head[26]; ++i) body += lacing[i];
        pos += 27 + std::uint64_t{head[26]} + body;
        if (pos > view.Limit()) return kUnknown;
        auto at = std::find(open.begin(), open.begin() + static_cast<std::ptrdiff_t>(openCount), serial);
        const bool known = at != open.begin() + static_cast<std::ptrdiff_t>(openCount);
        if ((flags & 0x02) && !known) {
            if (pages > 0 && openCount == 0) return kUnknown;
            if (openCount == open.size()) return kUnknown;
            open[openCount++] = serial;
            at = open.begin() + static_cast<std::ptrdiff_t>(openCount - 1);
        } else if (!known) {
            return kUnknown;
        }
        if (flags & 0x04) {
            std::copy(at + 1, open.begin() + static_cast<std::ptrdiff_t>(openCount), at);
            if (--openCount == 0) return Exact(pos);
        }
    }
    return kUnknown;
}

FormatMatch DetectOgg(const std::uint8_t* s, std::size_t available) {
    // The first page of a stream: version 0, beginning-of-stream set.
    if (Starts(s, available, 0, "OggS") && s[4] == 0 && (s[5] & 0x02)) return {FormatFamily::Ogg, "OGG"};
    return {};
}

}  // namespace zt::formats
