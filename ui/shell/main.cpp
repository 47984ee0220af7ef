// pictora: the desktop wizard. Start-up fixes the settings (acting as the
// installation on the first start), then the main page runs modally for the
// whole life of the program; Exit ends the process from whatever page it is
// chosen on.
#include <QApplication>

#include "app/settings.h"
#include "logs/log.h"
#include "platform/disk_service.h"
#include "platform/process_exit.h"
#include "platform/settings_store.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/system_services.h"
#include "ui/skin/skin_art.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zt::ui::ApplySkinPalette(app);

    const zt::AppSettings& settings =
        zt::FixProcessSettings(zt::StartUp(zt::platform::SystemSettingsStore(), zt::SystemStartupFacts()));
    // A disk the user may not read is opened through the system's disk
    // service, whose password dialog is the desktop session's own.
    zt::platform::SetAuthorisationPrompt(zt::platform::AuthorisationPrompt::Desktop);
    const zt::LogContext logs = zt::ProcessLogContext();
    zt::ui::SystemShellServices services(settings, logs);
    zt::ui::ShellContext context{
        zt::ui::ToShellSettings(settings), services, [] { zt::platform::ExitProcessNow(0); }, {}, true};

    zt::ui::CZTPictoraDlg mainPage(context);
    mainPage.exec();
    // The page closed itself without Exit: the program ends without a message loop of its own.
    return 0;
}
