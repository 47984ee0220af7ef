// What the pages say about a source that cannot be read.
#pragma once

#include <QString>

#include "core/source/source_selection.h"

namespace zt::ui {

// Names the source (its label, and the device or file behind it when that
// differs) and says why it cannot be read; a refused permission adds that
// reading a disk needs administrator rights.
[[nodiscard]] QString ReadProblemText(const QString& label, const SourceChoice& choice);

}  // namespace zt::ui
