// Draws every skin bitmap and saves it into the folder given on the command
// line; with --icons, draws the program's icon into a hicolor icon theme
// folder instead. Run by the build; the folders are the skin folder of the
// installation and the icons to install.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>

#include "ui/skin/skin_art.h"

namespace {

// THEME_FOLDER/<n>x<n>/apps/ICON_NAME.png for the sizes desktops look for.
int WriteIcons(const QString& theme, const char* name) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(theme).arg(size);
        if (!QDir().mkpath(folder) ||
            !zt::ui::AppIconImage(size).save(folder + QLatin1Char('/') + QString::fromLocal8Bit(name) + ".png", "PNG")) {
            std::fprintf(stderr, "cannot write the %dx%d icon into %s\n", size, size, qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--icons") == 0) return WriteIcons(QString::fromLocal8Bit(argv[2]), argv[3]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SKIN_FOLDER\n       %s --icons THEME_FOLDER ICON_NAME\n", argv[0], argv[0]);
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
