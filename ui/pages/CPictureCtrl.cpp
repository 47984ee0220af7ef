#include "ui/pages/CPictureCtrl.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace zt::ui {

QRect PicturePlacement(QSize client, QSize image) {
    const int W = client.width();
    const int H = client.height();
    const int w = image.width();
    const int h = image.height();
    const int x = W / 2 - w / 2;
    const int y = H / 2 - h / 2;
    if (w < W && h < H) return {x, y, w, h};
    if (w < W) return {x, 3, w, H - 4};
    if (h < H) return {3, y, W - 4, h};
    return {1, 1, W - 3, H - 3};
}

CPictureCtrl::CPictureCtrl(QWidget* parent) : QWidget(parent) {}

bool CPictureCtrl::Load(const QString& path) {
    m_loaded = false;
    m_image = QImage();
    m_path = path;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // Decoded from memory: the reader never goes back to the file.
        QByteArray bytes = file.readAll();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        m_image = reader.read();
        m_loaded = !m_image.isNull();
    }
    update();
    return m_loaded;
}

void CPictureCtrl::paintEvent(QPaintEvent* /*event*/) {
    if (!m_loaded) return;
    QPainter painter(this);
    painter.fillRect(rect(), PictureFieldColour);
    painter.setPen(PictureFrameColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PicturePlacement(size(), m_image.size()), m_image);
}

}  // namespace zt::ui
