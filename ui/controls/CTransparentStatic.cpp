#include "ui/controls/CTransparentStatic.h"

namespace zt::ui {

CTransparentStatic::CTransparentStatic(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CTransparentStatic::SetText(const QString& text) {
    setText(text);
    if (QWidget* owner = parentWidget(); owner != nullptr && isVisible()) {
        owner->repaint(geometry());
    }
}

}  // namespace zt::ui
