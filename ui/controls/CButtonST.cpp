#include "ui/controls/CButtonST.h"

#include <QEnterEvent>
#include <QPainter>

#include "ui/controls/key_colour.h"

namespace zt::ui {
namespace {

// Greyed picture for a disabled button: grey levels lightened towards the face,
// transparency kept.
QPixmap Greyed(const QImage& masked) {
    if (masked.isNull()) {
        return {};
    }
    QImage grey = masked.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int level = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(level, level, level, qAlpha(line[x]) / 2);
        }
    }
    return QPixmap::fromImage(grey);
}

}  // namespace

CButtonST::CButtonST(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void CButtonST::SetBitmaps(const QImage& normal, const QColor& normalKey, const QImage& hover, const QColor& hoverKey) {
    const QImage normalMasked = ApplyKeyColour(normal, normalKey);
    const QImage hoverMasked = ApplyKeyColour(hover, hoverKey);
    m_normal = normalMasked.isNull() ? QPixmap() : QPixmap::fromImage(normalMasked);
    m_hover = hoverMasked.isNull() ? QPixmap() : QPixmap::fromImage(hoverMasked);
    m_normalGrey = Greyed(normalMasked);
    m_hoverGrey = Greyed(hoverMasked);
    updateGeometry();
    update();
}

void CButtonST::SetTooltipText(const QString& text) {
    setToolTip(text);
    // A picture button has no text of its own: screen readers name it by its tooltip.
    setAccessibleName(text);
}

QPixmap CButtonST::CurrentPicture() const {
    const bool showHover = m_hovered || isDown() || m_normal.isNull();
    if (!isEnabled()) {
        return showHover ? m_hoverGrey : m_normalGrey;
    }
    return showHover ? m_hover : m_normal;
}

QSize CButtonST::sizeHint() const {
    const QPixmap& picture = m_normal.isNull() ? m_hover : m_normal;
    return picture.isNull() ? QSize(32, 32) : picture.size() + QSize(4, 4);
}

void CButtonST::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, palette().button());

    const bool pressed = isDown();
    if (pressed || (m_hovered && isEnabled())) {
        // Sunken: shadow at top and left; raised: the reverse.
        const QColor topLeft = pressed ? palette().color(QPalette::Dark) : palette().color(QPalette::Light);
        const QColor bottomRight = pressed ? palette().color(QPalette::Light) : palette().color(QPalette::Dark);
        painter.setPen(topLeft);
        painter.drawLine(face.topLeft(), face.topRight());
        painter.drawLine(face.topLeft(), face.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(face.bottomLeft(), face.bottomRight());
        painter.drawLine(face.topRight(), face.bottomRight());
    }

    const QPixmap picture = CurrentPicture();
    if (!picture.isNull()) {
        QPoint origin((width() - picture.width()) / 2, (height() - picture.height()) / 2);
        if (pressed) {
            origin += QPoint(1, 1);
        }
        painter.drawPixmap(origin, picture);
    }
}

void CButtonST::enterEvent(QEnterEvent* event) {
    SetHovered(true);
    QAbstractButton::enterEvent(event);
}

void CButtonST::leaveEvent(QEvent* event) {
    SetHovered(false);
    QAbstractButton::leaveEvent(event);
}

void CButtonST::SetHovered(bool hovered) {
    if (m_hovered != hovered) {
        m_hovered = hovered;
        update();
    }
}

}  // namespace zt::ui
