// The fixed vocabulary of recoverable file types: the rows the type page
// shows and the scan definition of each type.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zt {

struct SignaturePattern {
    std::array<std::uint8_t, 28> bytes{};  // only the first `length` are significant
    std::int32_t offset = -1;              // header: offset in the sector; footer: -1, anywhere
    std::int32_t length = 0;               // 1..28

    std::span<const std::uint8_t> View() const {
        return {bytes.data(), static_cast<std::size_t>(length)};
    }
};

// A type's identity: its position in the extended type list, whose first
// rows are the standard list in the same order, so one value names the type
// in either mode.
enum class TypeId : std::uint8_t {};
inline constexpr TypeId kNoType{0xFF};

// How a found file of the type is shown before it is saved.
enum class PreviewKind : std::uint8_t { Picture, Media, None };

// What a found file's contents are; pictures and the rest keep files of
// different sizes by default.
enum class TypeMedium : std::uint8_t { Picture, SoundOrVideo };

// What shows a type's files on the results page.
enum class PreviewSource : std::uint8_t {
    None,
    FromStart,     // the picture and sound types previewed from the first versions on
    CameraRaw,     // the preview picture a camera RAW file carries
    ImageReader,   // an installed image reader, when it decodes the format
    MediaBackend,  // the media backend, which plays the file or says it cannot
};

// How the length field of a header sector gives a file's size.
enum class LengthRule : std::uint8_t {
    None,
    RejectNonPositive,  // little-endian; a file whose field is not above 0 is no file
    BigEndianAu,        // the AU header's data size, after its data offset
    CapAtMaxSize,       // little-endian, kept at most at the type's maximum size
};

// What the scan and the results page need to know of a type beyond its
// patterns, declared with its row.
struct TypeTraits {
    TypeMedium medium = TypeMedium::SoundOrVideo;
    PreviewSource shownBy = PreviewSource::None;
    std::string_view imageFormat{};  // ImageReader: the reader's name of the format
    LengthRule lengthRule = LengthRule::None;
    // The file ends where its marker stops recurring, not at the first one.
    bool trailingMarker = false;
    // The footer is taken per file from the header sector (Matroska's).
    bool footerFromHeader = false;

    // The kind of preview where the machine can show the type.
    PreviewKind Preview() const {
        if (shownBy == PreviewSource::None) return PreviewKind::None;
        return medium == TypeMedium::Picture ? PreviewKind::Picture : PreviewKind::Media;
    }
};

inline constexpr int kMaxPatterns = 5;
inline constexpr int kTypeNameCapacity = 6;

// The scan definition of one selected type.
struct stExtInfo {
    std::array<char, kTypeNameCapacity> name{};  // NUL-terminated, at most 4 characters
    std::int64_t maxSizeBytes = 0;               // the largest size kept for a file of the type, in bytes
    std::int32_t headerCount = 0;
    std::array<SignaturePattern, kMaxPatterns> headers{};
    std::int32_t sizeFieldOffset = -1;  // length field in the header sector, -1 when none
    std::int32_t sizeFieldWidth = -1;
    std::uint32_t sizeFieldLimit = 0;
    std::int32_t footerCount = 0;
    std::array<SignaturePattern, kMaxPatterns> footers{};
    std::int32_t searchLimit = 0;  // sectors, counted from the header sector
    std::int32_t foundCount = 0;
    TypeId type = kNoType;

    std::string_view Name() const { return {name.data()}; }
    bool HasSizeField() const { return sizeFieldOffset != -1; }
};

// Positions in this list are the type index that detection returns.
using TypeDefinitionList = std::vector<stExtInfo>;

struct CatalogueRow {
    std::string_view fileType;
    std::string_view description;
    TypeTraits traits{};
};

inline constexpr std::string_view MaxSizeDefaultKB = "2000";
inline constexpr int kCatalogueRowCount = 41;

// The 41 rows in display order, which is also the order detection tries them.
std::span<const CatalogueRow> CatalogueRows();

// Standard signatures are the catalogue's own patterns and end rules.
// Extended signatures recognise each format's header as the format defines
// it, find the file's end from its structure, and add rows after the 41.
enum class SignatureMode : std::uint8_t { Standard, Extended };
inline constexpr int kExtendedCatalogueRowCount = 51;
// The activity log's entry after the type lines when a scan uses them.
inline constexpr std::string_view ExtendedSignaturesEntry = "Extended Signatures";

// The rows of the type list in this mode: the 41, then the added ones.
std::span<const CatalogueRow> CatalogueRows(SignatureMode mode);
// As LookupDefinition, also knowing the added rows in extended mode.
std::optional<stExtInfo> LookupDefinition(std::string_view fileType, SignatureMode mode);

// The scan definition of a type, by its File Type text compared exactly
// (case-sensitive). Nothing for DIVX or a name not in the catalogue.
// The caller fills maxSizeBytes; foundCount starts at 0.
std::optional<stExtInfo> LookupDefinition(std::string_view fileType);

// The identity of the type of this File Type text, compared exactly
// (case-sensitive), among every row of either mode.
std::optional<TypeId> FindType(std::string_view fileType);
// The row of a type; a type outside the list has no row.
const CatalogueRow* RowOf(TypeId type);
// The File Type text of a type; empty for a type outside the list.
std::string_view TypeName(TypeId type);
// The traits of a type; the default ones for a type outside the list.
TypeTraits TraitsOf(TypeId type);
// Every type of the extended list, in row order.
std::vector<TypeId> AllTypes();

// The confirmation text that a header of this type must also show somewhere
// in its sector, or an empty view when the header alone decides.
std::string_view ConfirmationText(std::string_view typeName);

}  // namespace zt
