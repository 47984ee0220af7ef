#include "ui/controls/key_colour.h"

namespace zt::ui {

QImage ApplyKeyColour(const QImage& picture, const QColor& key) {
    if (picture.isNull()) {
        return {};
    }
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & RGB_MASK;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & RGB_MASK) == keyRgb) {
                line[x] = 0;
            }
        }
    }
    return out;
}

QRegion KeyColourRegion(const QImage& picture, const QColor& key) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb keyRgb = key.rgb() & RGB_MASK;
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && (line[x] & RGB_MASK) == keyRgb) {
                ++x;
            }
            const int runStart = x;
            while (x < image.width() && (line[x] & RGB_MASK) != keyRgb) {
                ++x;
            }
            if (x > runStart) {
                region += QRect(runStart, y, x - runStart, 1);
            }
        }
    }
    return region;
}

}  // namespace zt::ui
