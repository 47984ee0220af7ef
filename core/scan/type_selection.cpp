#include "core/scan/type_selection.h"

#include <algorithm>
#include <limits>

namespace zt {

namespace {

std::int64_t DefaultMaxSizeKBOf(std::string_view fileType, SignatureMode mode) {
    if (mode == SignatureMode::Standard) return DefaultMaxSizeKB;
    const bool picture = TraitsOf(FindType(fileType).value_or(kNoType)).medium == TypeMedium::Picture;
    return picture ? ExtendedPictureMaxSizeKB : ExtendedMediaMaxSizeKB;
}

}  // namespace

std::string DefaultMaxSizeText(std::string_view fileType, SignatureMode mode) {
    if (mode == SignatureMode::Standard) return std::string(MaxSizeDefaultKB);
    return std::to_string(DefaultMaxSizeKBOf(fileType, mode));
}

std::int64_t LargestMaxSizeKB(SignatureMode mode) {
    return mode == SignatureMode::Standard ? std::int64_t{MaxMaxSizeKB} : ExtendedMediaMaxSizeKB;
}

std::vector<TypeRow> DefaultTypeRows() { return DefaultTypeRows(SignatureMode::Standard); }

std::vector<TypeRow> DefaultTypeRows(SignatureMode mode) {
    std::vector<TypeRow> rows;
    for (const CatalogueRow& row : CatalogueRows(mode)) {
        rows.push_back({std::string(row.fileType), DefaultMaxSizeText(row.fileType, mode), false});
    }
    return rows;
}

std::int64_t LeadingSizeNumber(std::string_view text) {
    constexpr std::int64_t kCap = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min(kCap, value * 10 + (c - '0'));
    }
    return value;
}

TypeSelection BuildTypeDefinitionList(std::span<const TypeRow> rows) {
    return BuildTypeDefinitionList(rows, SignatureMode::Standard);
}

TypeSelection BuildTypeDefinitionList(std::span<const TypeRow> rows, SignatureMode mode) {
    TypeSelection selection;
    selection.sizeTexts.reserve(rows.size());
    selection.sizeCorrected.assign(rows.size(), false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TypeRow& row = rows[i];
        selection.sizeTexts.push_back(row.sizeText);
        if (!row.ticked) continue;
        ++selection.tickedRows;
        const std::string_view name = std::string_view(row.fileType).substr(0, kFileTypeCellChars);
        selection.tickedTypes.emplace_back(name);

        std::int64_t sizeKB = LeadingSizeNumber(row.sizeText);
        if (sizeKB < MinMaxSizeKB || sizeKB > LargestMaxSizeKB(mode)) {
            sizeKB = DefaultMaxSizeKBOf(name, mode);
            selection.sizeTexts[i] = DefaultMaxSizeText(name, mode);
            selection.sizeCorrected[i] = true;
        }
        std::optional<stExtInfo> definition = LookupDefinition(name, mode);
        if (!definition) continue;
        definition->maxSizeBytes = sizeKB * 1024;
        definition->foundCount = 0;
        selection.definitions.push_back(*definition);
    }
    return selection;
}

std::vector<std::string> SelectedTypesEntries(bool allExtensions, const std::vector<std::string>& tickedTypes) {
    std::vector<std::string> entries{"\r\nSelected Extensions Information : "};
    if (allExtensions) {
        entries.emplace_back(AllExtensionsEntry);
    } else {
        entries.insert(entries.end(), tickedTypes.begin(), tickedTypes.end());
    }
    return entries;
}

}  // namespace zt
