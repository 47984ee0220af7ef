// What every page and dialog of the desktop program is given: the session
// with the process-wide values, the fixed settings as window text, the logs
// and help it calls, how the process ends, and how the next pages are made.
//
// Pages take the context by reference, so a test builds its own with fakes
// (a session from app/testing/test_session.h).
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <utility>

#include "app/session.h"
#include "logs/log.h"
#include "ui/base/shell_settings.h"

class QDialog;
class QWidget;

namespace zt::ui {

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
    // The page factories start empty and the splash shown; set them by name.
    ShellContext(Session& s, ShellSettings windowSettings, ShellServices& shellServices, std::function<void()> end)
        : session(s), settings(std::move(windowSettings)), services(shellServices), terminate(std::move(end)) {}

    // The one session of the process: source, bad-sector answer, type list,
    // found files, settings, logs. Pages read and fill its values.
    Session& session;
    ShellSettings settings;
    ShellServices& services;
    // Ends the process at once (confirmed Exit). Tests replace it.
    std::function<void()> terminate;
    // Makes the source selection page in media-recovery (true) or disk-imaging
    // mode. Empty while that page does not exist: the job buttons then say so.
    std::function<std::unique_ptr<QDialog>(bool mediaRecoveryMode, QWidget* opener)> makeSourcePage;
    // Makes the scan and results page, which the type page opens on Next once
    // the session's type list is built. Empty while that page does not exist.
    std::function<std::unique_ptr<QDialog>(QWidget* opener)> makeScanPage;
    // The main page shows the splash while it opens; tests switch it off.
    bool showSplash = true;
};

}  // namespace zt::ui
