#include "ui/shell/page_flow.h"

#include <QDialog>

namespace zt::ui {

int HandOver(QWidget& current, QDialog& next, const QString& windowTitle) {
    // QDialog's own hide also ends the modal run the opener is in, so that
    // Back from the next page would close the opener too: hide the window only.
    current.QWidget::setVisible(false);
    // The window keeps its place and size from page to page: the next page
    // opens where this one was, and this one comes back where that one was.
    const auto follow = [](const QWidget& from, QWidget& to) {
        if (to.minimumSize() == to.maximumSize()) return;  // a page that cannot grow keeps its own place
        if (from.isMaximized()) {
            to.setWindowState(to.windowState() | Qt::WindowMaximized);
        } else {
            to.setWindowState(to.windowState() & ~Qt::WindowMaximized);
            to.setGeometry(from.geometry());
        }
    };
    follow(current, next);
    const int result = next.exec();
    follow(next, current);
    current.setWindowTitle(windowTitle);
    current.show();
    return result;
}

}  // namespace zt::ui
