// What every page and dialog of the desktop program is given: the fixed
// settings it reads, the logs and help it calls, and how the process ends.
//
// Pages take the context by reference, so a test builds its own with fakes.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "logs/log.h"

class QDialog;
class QWidget;

namespace zt::ui {

// The process-wide settings a window reads, as the user interface's text.
struct ShellSettings {
    QString appCaption;   // caption of every message box
    QString windowTitle;  // title of every page
    QString versionText;
    QString skinFolder;  // the skin pictures; file names begin with the separator
};

// The logs and the help file, as the menu of every page reaches them.
class ShellServices {
public:
    virtual ~ShellServices() = default;
    // Appends the start block (start line, title, version, local time) to the activity log.
    virtual void WriteStartBlock() = 0;
    virtual void ViewLog(QWidget* owner, LogKind kind) = 0;
    virtual void ClearLog(QWidget* owner, LogKind kind) = 0;
    virtual void OpenHelp() = 0;
};

struct ShellContext {
    ShellSettings settings;
    ShellServices& services;
    // Ends the process at once (confirmed Exit). Tests replace it.
    std::function<void()> terminate;
    // Makes the source selection page in media-recovery (true) or disk-imaging
    // mode. Empty while that page does not exist: the job buttons then say so.
    std::function<std::unique_ptr<QDialog>(bool mediaRecoveryMode, QWidget* opener)> makeSourcePage;
    // The main page shows the splash while it opens; tests switch it off.
    bool showSplash = true;
};

}  // namespace zt::ui
