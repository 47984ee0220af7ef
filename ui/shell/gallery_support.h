// What the programs that draw the documentation's pictures share: services
// that do nothing, their command line (the skin folder and the folder the
// PNG files go to, then their own arguments), and a window drawn into a file.
#pragma once

#include <QString>
#include <initializer_list>
#include <optional>

#include "ui/shell/shell_context.h"

class QApplication;
class QWidget;

namespace zt::ui::gallery {

// The pictures need no logs and no help.
class NoServices : public ShellServices {
public:
    void WriteStartBlock() override {}
    void ViewLog(QWidget*, LogKind) override {}
    void ClearLog(QWidget*, LogKind) override {}
    void OpenHelp() override {}
};

struct Arguments {
    ShellSettings settings;  // the program's texts over the skin folder given
    QString outputFolder;    // made if missing
};

// Reads SKIN_FOLDER OUTPUT_FOLDER and then as many arguments as extra names
// (found at argv[3] on), makes the output folder and puts the skin's palette
// on app. Prints the usage and gives nothing when the count is wrong.
std::optional<Arguments> Start(QApplication& app, int argc, char** argv, std::initializer_list<const char*> extra = {});

// Shows the window, lets it settle for waitMs and draws it into path.
bool Snap(QWidget& window, const QString& path, int waitMs = 100);

}  // namespace zt::ui::gallery
