// Draws every skin bitmap and saves it into the folder given on the command line.
// Run by the build; the folder is the skin folder of the installation.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/skin/skin_art.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SKIN_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (const zt::ui::SkinPicture& picture : zt::ui::DrawSkin()) {
        // Skin files are plain 24-bit bitmaps: no alpha channel, key colours carry transparency.
        const QImage rgb = picture.image.convertToFormat(QImage::Format_RGB888);
        if (!rgb.save(folder + picture.name, "BMP")) {
            std::fprintf(stderr, "cannot write %s%s\n", argv[1], qPrintable(picture.name));
            return 1;
        }
    }
    return 0;
}
