#include "ui/skin/CBDialog.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
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
        case BackgroundMode::Grow: {
            const int w = picture.width();
            const int h = picture.height();
            const int dx = std::max(0, area.width() - w);
            const int dy = std::max(0, area.height() - h);
            const int sx = w / 3;
            const int sy = h / 6;
            // Source columns and rows, and how wide or high each is drawn.
            const int columns[][3] = {{0, sx, sx}, {sx, 1, 1 + dx}, {sx + 1, w - sx - 1, w - sx - 1}};
            const int rows[][3] = {{0, sy, sy}, {sy, h - sy, h - sy + dy}};
            int y = area.top();
            for (const auto& row : rows) {
                int x = area.left();
                for (const auto& column : columns) {
                    painter.drawPixmap(QRect(x, y, column[2], row[2]), picture,
                                       QRect(column[0], row[0], column[1], row[1]));
                    x += column[2];
                }
                y += row[2];
            }
            break;
        }
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

void CBDialog::SetGrowableClientSize(QSize size) {
    m_growable = true;
    m_mode = BackgroundMode::Grow;
    m_smallest = QSize(size.width(), size.height() + m_clientTop);
    setMinimumSize(m_smallest);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(m_smallest);
}

void CBDialog::Anchor(QWidget* child, Growth growth) {
    m_anchored.push_back({child, child->geometry(), growth});
    FollowGrowth();
}

void CBDialog::FollowGrowth() {
    if (!m_growable) return;
    const int dx = std::max(0, width() - m_smallest.width());
    const int dy = std::max(0, height() - m_smallest.height());
    for (const Anchored& anchored : m_anchored) {
        if (anchored.child.isNull()) continue;
        const Growth& g = anchored.growth;
        const QRect& r = anchored.base;
        anchored.child->setGeometry(r.x() + static_cast<int>(dx * g.moveX), r.y() + static_cast<int>(dy * g.moveY),
                                    r.width() + static_cast<int>(dx * g.growX),
                                    r.height() + static_cast<int>(dy * g.growY));
    }
}

void CBDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FollowGrowth();
}

void CBDialog::PlaceDu(QWidget* child, int x, int y, int w, int h) const {
    child->setGeometry(DuRect(x, y, w, h).translated(0, m_clientTop));
}

void CBDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBackground(painter, ClientRect(), m_background, m_mode);
}

}  // namespace zt::ui
