// ISO base media (MP4, MOV, M4A, 3GP, HEIC, CR3): top-level boxes.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

std::string_view IsoTypeForBrand(std::string_view brand) {
    if (brand == "qt  ") return "MOV";
    if (brand.starts_with("M4V")) return "M4V";
    if (IsOneOf(brand, {"M4A ", "M4B ", "M4P "})) return "M4A";
    if (brand.starts_with("3g2")) return "3G2";
    if (brand.starts_with("3gp") || brand.starts_with("3ge") || brand.starts_with("3gg") ||
        brand.starts_with("3gs"))
        return "3GP";
    if (IsOneOf(brand, {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})) return "HEIC";
    if (brand == "crx ") return "CR3";
    return "MP4";
}

bool IsQuickTimeStartBox(const std::uint8_t* s) {
    return Starts(s, 8, 4, "moov") || Starts(s, 8, 4, "mdat") || Starts(s, 8, 4, "free") ||
           Starts(s, 8, 4, "skip") || Starts(s, 8, 4, "wide") || Starts(s, 8, 4, "pnot");
}

bool IsTopLevelBox(const std::uint8_t* type) {
    static constexpr std::string_view kTypes[] = {"moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pnot",
                                                  "pdin", "moof", "mfra", "sidx", "styp", "emsg", "prft", "ssix",
                                                  "junk", "PICT", "jumb", "mett"};
    const std::string_view t(reinterpret_cast<const char*>(type), 4);
    return std::find(std::begin(kTypes), std::end(kTypes), t) != std::end(kTypes);
}

}  // namespace

Extent MeasureIso(FileView& view) {
    // Only the first box's header and, after ftyp, the brand: a file shorter
    // than 16 bytes must not need bytes past its end to be measured.
    std::uint8_t head[12];
    if (!view.Read(0, head, 8)) return kUnknown;
    const bool ftyp = std::memcmp(head + 4, "ftyp", 4) == 0;
    if (ftyp && !view.Read(8, head + 8, 4)) return kUnknown;
    std::string_view type = ftyp ? IsoTypeForBrand(std::string_view(reinterpret_cast<const char*>(head + 8), 4))
                                 : std::string_view("MOV");
    std::uint64_t pos = 0;
    bool sawMovie = false;
    // Whether the walk ended on a media data box. Its size is only declared:
    // a box after it confirms it, but when it is the last box (a HEIF picture,
    // a movie with its index in front) nothing does, and the rest of a cut
    // file may be another file that the scan must still find inside it.
    bool endsInData = false;
    for (int boxes = 0; boxes < kMaxPieces; ++boxes) {
        std::uint8_t box[16];
        if (!view.Read(pos, box, 8)) break;  // the file ends at the range's end
        if (boxes > 0 && !IsTopLevelBox(box + 4)) break;
        std::uint64_t size = Be32At(box);
        if (size == 1) {
            const std::optional<std::uint64_t> large = view.Be64(pos + 8);
            if (!large) return Sure(pos);
            if (*large < 16) return boxes == 0 ? kNotAFile : Sure(pos);
            size = *large;
        } else if (size == 0) {
            // The last box may run to the end of the file, which then is
            // recorded nowhere.
            return boxes == 0 ? kUnknown : Sure(pos);
        } else if (size < 8) {
            if (boxes == 0) return kNotAFile;
            break;
        }
        if (std::memcmp(box + 4, "moov", 4) == 0 || std::memcmp(box + 4, "meta", 4) == 0 ||
            std::memcmp(box + 4, "moof", 4) == 0)
            sawMovie = true;
        if (size > view.Limit() - pos) return Sure(pos);
        endsInData = std::memcmp(box + 4, "mdat", 4) == 0;
        pos += size;
    }
    if (!sawMovie) return ftyp ? kUnknown : kNotAFile;
    return endsInData ? Opaque(pos, type) : Exact(pos, type);
}

FormatMatch DetectIso(const std::uint8_t* s, std::size_t available) {
    const std::uint32_t boxSize = Be32At(s);
    if (Starts(s, available, 4, "ftyp") && boxSize >= 16 && boxSize <= 4096 && boxSize % 4 == 0)
        return {FormatFamily::IsoMedia, IsoTypeForBrand(std::string_view(reinterpret_cast<const char*>(s + 8), 4))};
    if ((boxSize >= 8 || (boxSize == 1 && Starts(s, available, 4, "mdat"))) && IsQuickTimeStartBox(s))
        return {FormatFamily::IsoMedia, "MOV"};
    return {};
}

}  // namespace zt::formats
