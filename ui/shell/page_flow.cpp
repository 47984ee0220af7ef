#include "ui/shell/page_flow.h"

#include <QDialog>

namespace zt::ui {

int HandOver(QWidget& current, QDialog& next, const QString& windowTitle) {
    // QDialog's own hide also ends the modal run the opener is in, so that
    // Back from the next page would close the opener too: hide the window only.
    current.QWidget::setVisible(false);
    const int result = next.exec();
    current.setWindowTitle(windowTitle);
    current.show();
    return result;
}

}  // namespace zt::ui
