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

    std::string_view Name() const { return {name.data()}; }
    bool HasSizeField() const { return sizeFieldOffset != -1; }
};

// Positions in this list are the type index that detection returns.
using TypeDefinitionList = std::vector<stExtInfo>;

struct CatalogueRow {
    std::string_view fileType;
    std::string_view description;
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

// The confirmation text that a header of this type must also show somewhere
// in its sector, or an empty view when the header alone decides.
std::string_view ConfirmationText(std::string_view typeName);

}  // namespace zt
