#include "core/scan/type_selection.h"

#include <limits>

namespace zt {

std::vector<TypeRow> DefaultTypeRows() {
    std::vector<TypeRow> rows;
    for (const CatalogueRow& row : CatalogueRows()) {
        rows.push_back({std::string(row.fileType), std::string(MaxSizeDefaultKB), false});
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
        if (sizeKB < MinMaxSizeKB || sizeKB > MaxMaxSizeKB) {
            sizeKB = DefaultMaxSizeKB;
            selection.sizeTexts[i] = std::string(MaxSizeDefaultKB);
            selection.sizeCorrected[i] = true;
        }
        std::optional<stExtInfo> definition = LookupDefinition(name);
        if (!definition) continue;
        definition->maxSizeBytes = static_cast<std::int32_t>(sizeKB * 1024);
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
