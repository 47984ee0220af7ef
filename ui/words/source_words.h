// What the source tree calls a source, and the run header made from a chosen
// one: the root and group labels, a drive's or disk's label read back into
// the source it names (the command line accepts them as SOURCE), and the
// group and label the activity log shows for the choice.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/source/run_header.h"
#include "core/source/source_ref.h"

namespace zt {

inline constexpr std::string_view RootLabel = "My Computer";
inline constexpr std::string_view DriveGroupLabel = "Select Logical Drive";
inline constexpr std::string_view DiskGroupLabel = "Select Disk";
inline constexpr std::string_view ImageGroupLabel = "Select Image";

// The group a source is listed under: an image set and a disk image file
// under "Select Image", a device no listing reported under "Select Disk".
std::string_view GroupLabel(const SourceRef& ref);

// "Select Logical Drive" -> "Selected Logical Drive".
std::string SelectedGroupText(std::string_view groupLabel);

// The label the tree gives a source: a drive's "HOLIDAY (sdb1)" (its kernel
// name alone once it is gone), "Disk2", an image set's first part, a file's
// or device's path.
std::string SourceLabel(const SourceRef& ref, DriveProbe& drives);

// The disk number of a "Disk<n>" label: the rest after "Disk" read as a
// decimal number, 0 when it is empty.
int DiskNumberFromLabel(std::string_view label);
// The kernel name inside a drive label's last parentheses; empty when there is none.
std::string DriveNameFromLabel(std::string_view label);

// The source a "Disk<n>" or drive label names, or nullopt when text is not
// such a label (a path, for one: it holds a '/').
std::optional<SourceRef> SourceRefForLabel(std::string_view text);

// The run header of a chosen source, shown under label.
RunHeader MakeRunHeader(const ChosenSource& chosen, std::string label);

}  // namespace zt
