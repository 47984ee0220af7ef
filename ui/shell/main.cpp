// pictora: the desktop wizard. Start-up builds the process's one session
// (acting as the installation on the first start), then the main page runs
// modally for the whole life of the program; Exit ends the process from
// whatever page it is chosen on.
#include <QApplication>

#include "app/session.h"
#include "platform/disk_service.h"
#include "platform/process_exit.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/system_services.h"
#include "ui/skin/skin_art.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zt::ui::ApplySkinPalette(app);

    zt::SystemSession system;
    zt::Session& session = system.Get();
    // A disk the user may not read is opened through the system's disk
    // service, whose password dialog is the desktop session's own.
    zt::platform::SetAuthorisationPrompt(zt::platform::AuthorisationPrompt::Desktop);
    zt::ui::SystemShellServices services(session.Settings(), session.Logs());
    zt::ui::ShellContext context(session, zt::ui::ToShellSettings(session.Settings()), services,
                                 [] { zt::platform::ExitProcessNow(0); });

    zt::ui::CZTPictoraDlg mainPage(context);
    mainPage.exec();
    // The page closed itself without Exit: the program ends without a message loop of its own.
    return 0;
}
