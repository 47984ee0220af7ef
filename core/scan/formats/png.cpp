// PNG: chunks from the signature to IEND.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

bool IsChunkLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Extent MeasurePng(FileView& view) {
    std::uint64_t pos = 8;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t head[8];
        if (!view.Read(pos, head, 8)) return kUnknown;
        const std::uint32_t length = Be32At(head);
        if (length > 0x7FFFFFFF) return kUnknown;
        if (!std::all_of(head + 4, head + 8, IsChunkLetter)) return kUnknown;
        if (chunks == 0 && std::memcmp(head + 4, "IHDR", 4) != 0) return kNotAFile;
        pos += 12 + std::uint64_t{length};
        if (pos > view.Limit()) return kUnknown;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return Exact(pos);
    }
    return kUnknown;
}

FormatMatch DetectPng(const std::uint8_t* s, std::size_t) {
    if (std::memcmp(s, kPngSignature.data(), 8) == 0) return {FormatFamily::Png, "PNG"};
    return {};
}

}  // namespace zt::formats
