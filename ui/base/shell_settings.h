// The process-wide settings a window reads, as the user interface's text.
// Below every dialog and page, so that any of them can caption a message box.
#pragma once

#include <QString>

namespace zt::ui {

struct ShellSettings {
    QString appCaption;   // caption of every message box
    QString windowTitle;  // title of every page
    QString versionText;
    QString skinFolder;  // the skin pictures; file names begin with the separator
};

}  // namespace zt::ui
