#include "ui/shell/gallery_support.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <string>

#include "ui/skin/skin_art.h"

namespace zt::ui::gallery {

std::optional<Arguments> Start(QApplication& app, int argc, char** argv, std::initializer_list<const char*> extra) {
    if (argc != 3 + static_cast<int>(extra.size())) {
        std::string usage = "SKIN_FOLDER OUTPUT_FOLDER";
        for (const char* name : extra) usage += std::string(" ") + name;
        std::fprintf(stderr, "usage: %s %s\n", argv[0], usage.c_str());
        return std::nullopt;
    }
    Arguments arguments{{QStringLiteral("Zentrix for Pictora"), QStringLiteral("Zentrix for Pictora"),
                         QStringLiteral("Version 1.0"), QString::fromLocal8Bit(argv[1])},
                        QString::fromLocal8Bit(argv[2])};
    QDir().mkpath(arguments.outputFolder);
    ApplySkinPalette(app);
    return arguments;
}

bool Snap(QWidget& window, const QString& path, int waitMs) {
    window.show();
    if (waitMs > 0) {
        QTest::qWait(waitMs);
    } else {
        QApplication::processEvents();
    }
    return window.grab().save(path);
}

}  // namespace zt::ui::gallery
