#include "ui/shell/page_flow.h"

#include <QDialog>

namespace zt::ui {

int HandOver(QWidget& current, QDialog& next, const QString& windowTitle) {
    current.hide();
    const int result = next.exec();
    current.setWindowTitle(windowTitle);
    current.show();
    return result;
}

}  // namespace zt::ui
