#include "core/scan/catalogue.h"

#include <algorithm>
#include <stdexcept>

namespace zt {

namespace {

static_assert(kExtendedCatalogueRowCount < static_cast<int>(kNoType), "a type's identity fits its value");

// The traits rows share.
constexpr TypeTraits kCameraRaw{.medium = TypeMedium::Picture, .shownBy = PreviewSource::CameraRaw};
constexpr TypeTraits kPictureFromStart{.medium = TypeMedium::Picture, .shownBy = PreviewSource::FromStart};
constexpr TypeTraits kPlayedFromStart{.shownBy = PreviewSource::FromStart};
constexpr TypeTraits kPlayed{.shownBy = PreviewSource::MediaBackend};

constexpr TypeTraits ReadPicture(std::string_view format) {
    return {.medium = TypeMedium::Picture, .shownBy = PreviewSource::ImageReader, .imageFormat = format};
}

constexpr CatalogueRow kRows[kCatalogueRowCount] = {
    {"CR2", "Canon", kCameraRaw},
    {"CRW", "Canon", kCameraRaw},
    {"RAF", "Fuji", kCameraRaw},
    {"MRW", "Minolta", kCameraRaw},
    {"NEF", "Nikon", kCameraRaw},
    {"PEF", "Pentax", kCameraRaw},
    {"ORF", "Olympus", kCameraRaw},
    {"X3F", "Sigma", kCameraRaw},
    {"SR2", "Sony", kCameraRaw},
    {"ERF", "EPSON", kCameraRaw},
    {"DNG", "DNG Files", kCameraRaw},
    {"RAW", "Panasonic RAW",
     {.medium = TypeMedium::Picture, .shownBy = PreviewSource::CameraRaw, .lengthRule = LengthRule::CapAtMaxSize}},
    {"MEF", "Mamiya", kCameraRaw},
    {"DCR", "Kodak", kCameraRaw},
    {"WAV", "WAV Files", kPlayedFromStart},
    {"MP3", "MP3 Audio Files", {.shownBy = PreviewSource::FromStart, .trailingMarker = true}},
    {"WMA", "WMA Files", {.shownBy = PreviewSource::FromStart, .lengthRule = LengthRule::RejectNonPositive}},
    {"MIDI", "MIDI Sound", kPlayedFromStart},
    {"AIFF", "AIFF Files", kPlayed},
    {"OGG", "OGG Files", kPlayed},
    {"AU", "AU Files", {.shownBy = PreviewSource::MediaBackend, .lengthRule = LengthRule::BigEndianAu}},
    {"RM", "Real Media", kPlayed},
    {"MOV", "Quick Time Movie", kPlayed},
    {"AVI", "Audio Video Interleave", {.shownBy = PreviewSource::FromStart, .lengthRule = LengthRule::CapAtMaxSize}},
    {"MPEG", "MPEG Files", kPlayedFromStart},
    {"MP4", "MP4 File", kPlayed},
    {"VOB", "Video Object Files", kPlayed},
    {"3G2", "3G2 Files", kPlayed},
    {"MKV", "Matroska Video Files", {.shownBy = PreviewSource::MediaBackend, .footerFromHeader = true}},
    {"DIVX", "DIVX Encoded Files", kPlayed},
    {"DV", "Digital Video", kPlayed},
    {"ASF", "ASF Files", {.shownBy = PreviewSource::MediaBackend, .lengthRule = LengthRule::CapAtMaxSize}},
    {"M4V", "M4V Files", kPlayed},
    {"BMP", "Bitmap Images",
     {.medium = TypeMedium::Picture, .shownBy = PreviewSource::FromStart, .lengthRule = LengthRule::RejectNonPositive}},
    {"JPEG", "JPEG Images", kPictureFromStart},
    {"PNG", "PNG Images", kPictureFromStart},
    {"GIF", "GIF Images", kPictureFromStart},
    {"TIFF", "TIFF Images", kPictureFromStart},
    {"JP2", "JP2 Images", ReadPicture("jp2")},
    {"PSP", "Paint Shop Pro Images", {.medium = TypeMedium::Picture, .trailingMarker = true}},
    {"PSD", "Adobe Photoshop", ReadPicture("psd")},
};

// The extended signatures keep the rows above and add the formats of today's
// phones and cameras after them.
constexpr CatalogueRow kExtendedRows[kExtendedCatalogueRowCount - kCatalogueRowCount] = {
    {"HEIC", "HEIF Images", ReadPicture("heic")},
    {"WEBP", "WebP Images", ReadPicture("webp")},
    {"CR3", "Canon", kCameraRaw},
    {"ARW", "Sony", kCameraRaw},
    {"RW2", "Panasonic", kCameraRaw},
    {"FLAC", "FLAC Audio Files", kPlayed},
    {"M4A", "M4A Audio Files", kPlayed},
    {"3GP", "3GP Files", kPlayed},
    {"WEBM", "WebM Video Files", kPlayed},
    {"MTS", "MPEG Transport Streams", kPlayed},
};

// One scan definition in readable form. Patterns are hexadecimal bytes
// separated by spaces; a header is written "offset: bytes".
struct DefinitionText {
    std::string_view name;
    std::array<std::string_view, 3> headers;  // "at: hex"; empty = unused
    std::array<std::string_view, 2> footers;  // hex; empty = unused
    std::int32_t sizeOffset;                  // -1: no length field
    std::uint32_t sizeLimit;
    std::int32_t searchLimit;
};

constexpr std::string_view kSixteenZeros = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

// Types with a length field have no footer: the field decides the end.
constexpr DefinitionText kDefinitions[] = {
    {"CR2", {"0: 49 49"}, {"A5 A7 8A B8"}, -1, 0, 51200},
    {"CRW", {"0: 4D 4D"}, {"A5 A7 8A B8"}, -1, 0, 51200},
    {"RAF", {"0: 46 55 4A 49 46 49 4C 4D"}, {"A6 01 A4 01 3C 01 CC 01"}, -1, 0, 51200},
    {"MRW", {"0: 00 4D 52 4D"}, {"05 1A 06 60"}, -1, 0, 51200},
    {"NEF", {"0: 4D 4D 00 2A"}, {"C7 93 7C 8E"}, -1, 0, 51200},
    {"PEF", {"0: 4D 4D 00 2A"}, {"28 11 FF D9"}, -1, 0, 51200},
    {"ORF", {"0: 49 49 52 4F"}, {"0E 10 15 D0 0C A0 13"}, -1, 0, 51200},
    {"X3F", {"0: 46 4F 56 62"}, {"54 9C 70 00"}, -1, 0, 51200},
    {"SR2", {"0: 49 49 2A 00"}, {"02 05 02 02 02 06 02 04"}, -1, 0, 51200},
    {"ERF", {"0: 4D 4D 00 2A"}, {"8A 00 FF D9"}, -1, 0, 51200},
    {"DNG", {"0: 49 49 2A 00 D6 4E 36"}, {"3C 3F 78 70 61 63 6B 65 74 20 65 6E 64"}, -1, 0, 51200},
    {"RAW", {"0: 49 49 55 00"}, {}, 414, 26214400, 51200},
    {"MEF", {"0: 4D 4D 00 2A"}, {"20 15 01 60 10 01 30 16"}, -1, 0, 102400},
    {"DCR", {"0: 4D 4D 00 2A"}, {"EB 08 5F 35"}, -1, 0, 51200},
    {"WAV", {"0: 52 49 46 46"}, {"49 43 52 44 0B 00 00 00"}, -1, 0, 40960},
    {"MP3", {"0: 49 44 33 03"}, {"4C 41 4D 45"}, -1, 0, 20480},
    {"WMA", {"0: 30 26 B2 75 8E 66 CF 11"}, {}, 70, 10485760, 20480},
    {"MIDI", {"0: 4D 54 68 64"}, {"FF 2F 00 00"}, -1, 0, 20480},
    {"AIFF", {"0: 46 4F 52 4D"}, {"41 50 50 4C"}, -1, 0, 20480},
    {"OGG", {"0: 4F 67 67 53 00 02"}, {"4F 67 67 53 00 04"}, -1, 0, 20480},
    {"AU", {"0: 2E 73 6E 64"}, {}, 8, 10485760, 20480},
    {"RM", {"0: 2E 52 4D 46"}, {"49 4E 44 58"}, -1, 0, 20480},
    {"MOV", {"3: 08 77 69 64 65"}, {"73 74 74 73"}, -1, 0, 20480},
    {"AVI", {"0: 52 49 46 46"}, {}, 4, 104857600, 51200},
    {"MPEG", {"2: 01 B3 14 00 C8 11", "2: 01 BA 21 00 01 62"}, {"00 00 01 B7", "00 00 01 B9"}, -1, 0, 40960},
    {"MP4", {"0: 00 00 00 14 66 74 79 70 6D 70 34"}, {"73 74 74 73"}, -1, 0, 40960},
    {"VOB", {"0: 00 00 01 BA 44 00 04 00 04 01"}, {"FF 00 00 01 B9"}, -1, 0, 204800},
    {"3G2", {"3: 1C 66 74 79 70 33 67 32"}, {"73 74 73 73"}, -1, 0, 20480},
    // The MKV footer is replaced per file from the header sector during a scan.
    {"MKV", {"0: 1A 45 DF A3 93 42 82 88"}, {"4D 00 00 53"}, -1, 0, 204800},
    {"DV", {"0: 1F 07 00 3F F9 79 79 79"}, {kSixteenZeros}, -1, 0, 40960},
    {"ASF", {"0: 30 26 B2 75 8E 66 CF 11"}, {}, 70, 10485760, 20480},
    {"M4V", {"0: 00 00 00 20 66 74 79 70 4D 34 56 20"}, {"C1 BA B1 FF 17 DE 07 A8"}, -1, 0, 20480},
    {"BMP", {"0: 42 4D"}, {}, 2, 10485760, 20480},
    {"JPEG", {"6: 4A 46 49 46", "0: FF D8 FF DB 00 43 00", "0: FF D8 FF E1 01 9A 45 78"}, {"FF D9"}, -1, 0, 20480},
    {"PNG", {"0: 89 50 4E 47"}, {"45 4E 44 AE 42 60 82"}, -1, 0, 20480},
    {"GIF", {"0: 47 49 46 38"}, {"00 3B 00"}, -1, 0, 20480},
    {"TIFF", {"0: 49 49 2A 00"}, {kSixteenZeros}, -1, 0, 20480},
    {"JP2", {"3: 0C 6A 50 20 20"}, {"FF D9"}, -1, 0, 20480},
    {"PSP", {"0: 50 61 69 6E 74 20 53 68 6F 70 20 50 72 6F"}, {"7E 42 4B"}, -1, 0, 20480},
    {"PSD", {"0: 38 42 50 53"}, {"FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}, -1, 0, 51200},
};

// Their end is found by following the format; when that fails they have no
// marker to fall back on and are kept at the maximum size.
constexpr DefinitionText kExtendedDefinitions[] = {
    {"HEIC", {"4: 66 74 79 70 68 65 69 63"}, {}, -1, 0, 20480},
    {"WEBP", {"8: 57 45 42 50"}, {}, -1, 0, 20480},
    {"CR3", {"4: 66 74 79 70 63 72 78 20"}, {}, -1, 0, 102400},
    {"ARW", {"0: 49 49 2A 00"}, {}, -1, 0, 51200},
    {"RW2", {"0: 49 49 55 00"}, {}, -1, 0, 51200},
    {"FLAC", {"0: 66 4C 61 43"}, {}, -1, 0, 40960},
    {"M4A", {"4: 66 74 79 70 4D 34 41 20"}, {}, -1, 0, 40960},
    {"3GP", {"4: 66 74 79 70 33 67 70"}, {}, -1, 0, 40960},
    {"WEBM", {"0: 1A 45 DF A3"}, {}, -1, 0, 204800},
    {"MTS", {"0: 47"}, {}, -1, 0, 204800},
};

struct ConfirmationRow {
    std::string_view type;
    std::string_view text;
};

constexpr ConfirmationRow kConfirmations[] = {
    {"CR2", "Canon"}, {"CRW", "Canon"},  {"NEF", "NIKON"}, {"PEF", "PENTAX"}, {"ERF", "EPSON"},
    {"MEF", "MAMIYA"}, {"SR2", "SONY"}, {"WAV", "WAVE"},  {"AVI", "AVI LIST"}, {"OGG", "Ogg"},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::logic_error("bad hex digit in the catalogue");
}

SignaturePattern ParsePattern(std::string_view hex, std::int32_t offset) {
    SignaturePattern p;
    p.offset = offset;
    std::size_t i = 0;
    while (i < hex.size()) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= hex.size() || p.length >= static_cast<std::int32_t>(p.bytes.size()))
            throw std::logic_error("bad pattern in the catalogue");
        p.bytes[static_cast<std::size_t>(p.length++)] =
            static_cast<std::uint8_t>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1]));
        i += 2;
    }
    return p;
}

SignaturePattern ParseHeader(std::string_view text) {
    const std::size_t colon = text.find(':');
    std::int32_t offset = 0;
    for (char c : text.substr(0, colon)) offset = offset * 10 + (c - '0');
    return ParsePattern(text.substr(colon + 1), offset);
}

stExtInfo Build(const DefinitionText& d) {
    stExtInfo info;
    std::copy(d.name.begin(), d.name.end(), info.name.begin());
    for (std::string_view h : d.headers) {
        if (!h.empty()) info.headers[static_cast<std::size_t>(info.headerCount++)] = ParseHeader(h);
    }
    for (std::string_view f : d.footers) {
        if (!f.empty()) info.footers[static_cast<std::size_t>(info.footerCount++)] = ParsePattern(f, -1);
    }
    if (d.sizeOffset >= 0) {
        info.sizeFieldOffset = d.sizeOffset;
        info.sizeFieldWidth = 4;
        info.sizeFieldLimit = d.sizeLimit;
    }
    info.searchLimit = d.searchLimit;
    info.type = FindType(d.name).value_or(kNoType);
    return info;
}

const std::vector<stExtInfo>& AllDefinitions() {
    static const std::vector<stExtInfo> all = [] {
        std::vector<stExtInfo> v;
        for (const DefinitionText& d : kDefinitions) v.push_back(Build(d));
        return v;
    }();
    return all;
}

const std::vector<CatalogueRow>& AllExtendedRows() {
    static const std::vector<CatalogueRow> rows = [] {
        std::vector<CatalogueRow> v(std::begin(kRows), std::end(kRows));
        v.insert(v.end(), std::begin(kExtendedRows), std::end(kExtendedRows));
        return v;
    }();
    return rows;
}

}  // namespace

std::span<const CatalogueRow> CatalogueRows() { return kRows; }

std::optional<stExtInfo> LookupDefinition(std::string_view fileType) {
    for (const stExtInfo& d : AllDefinitions()) {
        if (d.Name() == fileType) return d;
    }
    return std::nullopt;
}

std::span<const CatalogueRow> CatalogueRows(SignatureMode mode) {
    if (mode == SignatureMode::Standard) return kRows;
    return AllExtendedRows();
}

std::optional<stExtInfo> LookupDefinition(std::string_view fileType, SignatureMode mode) {
    if (std::optional<stExtInfo> d = LookupDefinition(fileType); d || mode == SignatureMode::Standard) return d;
    for (const DefinitionText& d : kExtendedDefinitions) {
        if (d.name == fileType) return Build(d);
    }
    return std::nullopt;
}

std::optional<TypeId> FindType(std::string_view fileType) {
    const std::vector<CatalogueRow>& rows = AllExtendedRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].fileType == fileType) return static_cast<TypeId>(i);
    }
    return std::nullopt;
}

const CatalogueRow* RowOf(TypeId type) {
    const std::vector<CatalogueRow>& rows = AllExtendedRows();
    const auto i = static_cast<std::size_t>(type);
    return i < rows.size() ? &rows[i] : nullptr;
}

std::string_view TypeName(TypeId type) {
    const CatalogueRow* row = RowOf(type);
    return row != nullptr ? row->fileType : std::string_view{};
}

TypeTraits TraitsOf(TypeId type) {
    const CatalogueRow* row = RowOf(type);
    return row != nullptr ? row->traits : TypeTraits{};
}

std::vector<TypeId> AllTypes() {
    std::vector<TypeId> types;
    for (std::size_t i = 0; i < AllExtendedRows().size(); ++i) types.push_back(static_cast<TypeId>(i));
    return types;
}

std::string_view ConfirmationText(std::string_view typeName) {
    for (const ConfirmationRow& row : kConfirmations) {
        if (row.type == typeName) return row.text;
    }
    return {};
}

}  // namespace zt
