#include "ui/skin/CBDialog.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <utility>

#include "ui/skin/skin_art.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

void PaintBackground(QPainter& painter, const QRect& area, const QPixmap& picture, BackgroundMode mode) {
    if (picture.isNull() || area.isEmpty()) {
        return;
    }
    painter.save();
    painter.setClipRect(area);
    switch (mode) {
        case BackgroundMode::Tile:
            // Repeated from the top left corner; the last row and column are clipped.
            for (int y = area.top(); y < area.bottom() + 1; y += picture.height()) {
                for (int x = area.left(); x < area.right() + 1; x += picture.width()) {
                    painter.drawPixmap(x, y, picture);
                }
            }
            break;
        case BackgroundMode::Centre: {
            const int x = picture.width() < area.width() ? (area.width() - picture.width()) / 2 : 0;
            const int y = picture.height() < area.height() ? (area.height() - picture.height()) / 2 : 0;
            painter.drawPixmap(area.topLeft() + QPoint(x, y), picture);
            break;
        }
        case BackgroundMode::Stretch:
            painter.drawPixmap(area, picture);
            break;
    }
    painter.restore();
}

QImage LoadSkinPicture(const QString& skinFolder, const QString& name) {
    const QString path = skinFolder + name;
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QImageReader reader(path);
    return reader.read();
}

CBDialog::CBDialog(QString skinFolder, QWidget* parent) : QDialog(parent), m_skinFolder(std::move(skinFolder)) {
    setWindowIcon(AppIcon());
}

void CBDialog::SetBackground(const QPixmap& picture) {
    m_background = picture;
    update();
}

void CBDialog::SetBackgroundMode(BackgroundMode mode) {
    m_mode = mode;
    update();
}

void CBDialog::SetClientTop(int pixels) {
    m_clientTop = pixels;
    update();
}

QRect CBDialog::ClientRect() const { return rect().adjusted(0, m_clientTop, 0, 0); }

void CBDialog::SetClientSize(QSize size) { setFixedSize(size.width(), size.height() + m_clientTop); }

void CBDialog::PlaceDu(QWidget* child, int x, int y, int w, int h) const {
    child->setGeometry(DuRect(x, y, w, h).translated(0, m_clientTop));
}

void CBDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBackground(painter, ClientRect(), m_background, m_mode);
}

}  // namespace zt::ui
