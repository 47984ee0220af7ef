// What the pages say about a source that cannot be read.
#pragma once

#include <QString>

#include "core/source/source_selection.h"

namespace zt::ui {

// Names the source (its label, and the device or file behind it when that
// differs) and says why it cannot be read: what the system's disk service
// answered when it was asked, else the system's reason, with a note that
// reading a disk needs administrator rights when permission was refused.
[[nodiscard]] QString ReadProblemText(const QString& label, const SourceChoice& choice);

}  // namespace zt::ui
