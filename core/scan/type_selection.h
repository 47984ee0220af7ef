// Turns the rows of the type list (name, maximum size text, tick) into the
// scan definitions of the selected types, and says what the type page says
// of the choice: its refusal and its activity-log entries.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"

namespace zt {

inline constexpr std::int32_t MinMaxSizeKB = 2;
inline constexpr std::int32_t MaxMaxSizeKB = 250000;
inline constexpr std::int32_t DefaultMaxSizeKB = 2000;
// With extended signatures a file's structure gives its end, so where the user
// sets no size a file is kept whole up to these sizes; the media size, a
// FAT32 file's limit, is also the largest that may be set, and at it a file
// whose own size fields take it further is kept whole (ExtendedDetector::KeptBytes).
inline constexpr std::int64_t ExtendedPictureMaxSizeKB = 262144;  // 256 MB
inline constexpr std::int64_t ExtendedMediaMaxSizeKB = 4194304;   // 4 GiB
// The type list reads at most this many characters of a File Type cell.
inline constexpr std::size_t kFileTypeCellChars = 4;
// Next's refusal when no row is ticked.
inline constexpr std::string_view NoTypeTickedMessage = "Select the Extention";
// The one type entry of the log when every type was chosen at once.
inline constexpr std::string_view AllExtensionsEntry = "All Extensions";

struct TypeRow {
    std::string fileType;  // the File Type cell
    std::string sizeText;  // the "Maximum Size (in KB)" cell
    bool ticked = false;
};

struct TypeSelection {
    TypeDefinitionList definitions;      // the ticked rows that have a scan definition, in row order
    std::vector<std::string> sizeTexts;  // every row's size text after correction, for display
    std::vector<bool> sizeCorrected;     // rows whose size text was replaced by the default
    int tickedRows = 0;                  // DIVX and unknown names count too
    std::vector<std::string> tickedTypes;  // the ticked rows' names as the list reads them, in row order

    // Next refuses a choice without a ticked row.
    bool Refused() const { return tickedRows == 0; }
};

// The 41 catalogue rows with the default size and no tick.
std::vector<TypeRow> DefaultTypeRows();
// The rows of that mode's catalogue, likewise, each with its mode's default size.
std::vector<TypeRow> DefaultTypeRows(SignatureMode mode);

// The size text a row of this type starts with in that mode: "2000" with
// standard signatures; with extended ones the picture or media size.
std::string DefaultMaxSizeText(std::string_view fileType, SignatureMode mode);
// The largest size in KB that may be set in that mode (the smallest is 2).
std::int64_t LargestMaxSizeKB(SignatureMode mode);

// The decimal number at the start of a size text; 0 when it starts with no
// digit. Saturates instead of overflowing.
std::int64_t LeadingSizeNumber(std::string_view text);

// Builds the definitions from the ticked rows. A size outside 2..250000 KB
// becomes 2000 KB and its text "2000" (with extended signatures: outside
// 2..LargestMaxSizeKB, the type's default size and text). Names without a definition (DIVX, or
// an edited name) add nothing but still count as ticked.
TypeSelection BuildTypeDefinitionList(std::span<const TypeRow> rows);
// The same, looking the names up in that mode's catalogue.
TypeSelection BuildTypeDefinitionList(std::span<const TypeRow> rows, SignatureMode mode);

// The activity-log entries of the choice: the heading, then "All Extensions"
// when every type was chosen at once (the select-all box, or --types all),
// else one entry per ticked type in row order.
std::vector<std::string> SelectedTypesEntries(bool allExtensions, const std::vector<std::string>& tickedTypes);

}  // namespace zt
