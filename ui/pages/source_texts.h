// What the pages say about a source that cannot be read.
#pragma once

#include <QString>

#include "core/source/source_selection.h"

namespace zt::ui {

// Names the source (its label, and the device or file behind it when that
// differs) and says why it cannot be read: what the system's disk service
// answered when it was asked, else the system's reason, with a note that
// reading a disk needs administrator rights when permission was refused to a
// user without them (to an administrator: that the system itself forbids it).
[[nodiscard]] QString ReadProblemText(const QString& label, const SourceChoice& choice);
[[nodiscard]] QString ReadProblemText(const QString& label, const SourceChoice& choice, bool administrator);

// The refusal of a folder chosen under "Select Image" that holds no first part.
[[nodiscard]] QString ImageFolderRefusal(const QString& folder);

}  // namespace zt::ui
