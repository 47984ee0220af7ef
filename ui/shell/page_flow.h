// The hand-over from one page to the next, the same on every page that opens another.
#pragma once

class QDialog;
class QString;
class QWidget;

namespace zt::ui {

// Hides current, runs next modally while current stays hidden, then gives
// current its title back and shows it again. Returns next's result. The
// caller owns next and destroys it afterwards; pages form a stack of modal
// runs, so at most one page is visible at a time.
int HandOver(QWidget& current, QDialog& next, const QString& windowTitle);

}  // namespace zt::ui
