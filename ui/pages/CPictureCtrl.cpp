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
    if (w < W && h < H) return {W / 2 - w / 2, H / 2 - h / 2, w, h};
    if (w <= 0 || h <= 0 || W <= 4 || H <= 4) return {};
    const QSize fitted = image.scaled(W - 4, H - 4, Qt::KeepAspectRatio).expandedTo({1, 1});
    return {W / 2 - fitted.width() / 2, H / 2 - fitted.height() / 2, fitted.width(), fitted.height()};
}

namespace {

QImage Decode(const QByteArray& bytes, const char* format, QByteArray* decodedAs = nullptr) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(true);  // a photo taken upright is shown upright
    if (decodedAs != nullptr) *decodedAs = reader.format();
    return reader.read();
}

}  // namespace

QImage EmbeddedPreviewPicture(const QByteArray& bytes) {
    static const QByteArray startOfImage("\xFF\xD8\xFF", 3);
    constexpr int MaxCandidates = 64;
    qsizetype best = -1;
    qint64 bestArea = 0;
    int candidates = 0;
    for (qsizetype at = bytes.indexOf(startOfImage); at >= 0 && candidates < MaxCandidates;
         at = bytes.indexOf(startOfImage, at + 1), ++candidates) {
        // Only the header is read to learn the size: no copy, no decoding.
        QByteArray tail = QByteArray::fromRawData(bytes.constData() + at, bytes.size() - at);
        QBuffer buffer(&tail);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        const QSize size = reader.size();
        const qint64 area = qint64{size.width()} * size.height();
        if (size.isValid() && area > bestArea) {
            bestArea = area;
            best = at;
        }
    }
    if (best < 0) return {};
    return Decode(bytes.mid(best), "jpeg");
}

CPictureCtrl::CPictureCtrl(QWidget* parent) : QWidget(parent) {}

bool CPictureCtrl::Load(const QString& path) {
    m_loaded = false;
    m_image = QImage();
    m_path = path;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // Decoded from memory: the reader never goes back to the file.
        const QByteArray bytes = file.readAll();
        QByteArray format;
        m_image = Decode(bytes, nullptr, &format);
        // A camera RAW file is not decoded by the readers (or, read as a
        // TIFF, only as its thumbnail): the preview picture it carries is.
        if (m_image.isNull() || format == "tiff") {
            QImage embedded = EmbeddedPreviewPicture(bytes);
            if (!embedded.isNull() && qint64{embedded.width()} * embedded.height() >
                                          qint64{m_image.width()} * m_image.height()) {
                m_image = std::move(embedded);
            }
        }
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
