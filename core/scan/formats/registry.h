// The formats whose files are measured by following their own structure,
// listed in one place: for each family, the types its walk can settle and
// the walk itself. Adding a format means a value of FormatFamily, one source
// in this folder declared in families.h, and its rows in registry.cpp (the
// family's, and its header's among the headers tried).
#pragma once

#include <span>
#include <string_view>

#include "core/scan/format_walk.h"

namespace zt {

struct FormatEntry {
    FormatFamily family = FormatFamily::None;
    std::string_view name;  // the family as people call it
    // Every type the header or the walk can settle. The catalogue's rows of
    // these names are not searched by their own patterns in an extended scan:
    // the walk owns their files.
    std::span<const std::string_view> types;
    Extent (*measure)(FileView& view) = nullptr;
};

std::span<const FormatEntry> FormatRegistry();

// The entry of a family; nullptr for None.
const FormatEntry* FindFormat(FormatFamily family);

// Whether a walk owns the files of this type.
bool IsWalkedType(std::string_view type);

}  // namespace zt
