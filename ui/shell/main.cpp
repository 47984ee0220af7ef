// pictora: the desktop wizard. Start-up builds the process's one session
// (acting as the installation on the first start), then the main page runs
// modally for the whole life of the program; Exit ends the process from
// whatever page it is chosen on.
#include <QApplication>

#include "app/session.h"
#include "platform/disk_service.h"
#include "platform/process_exit.h"
#include "platform/terminal.h"
#include "ui/dialogs/CBadSectors.h"
#include "ui/pages/CFileDisplayDlg.h"
#include "ui/pages/CPartitionInfoDlg.h"
#include "ui/pages/media_preview.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/system_services.h"
#include "ui/skin/skin_art.h"

int main(int argc, char** argv) {
    zt::platform::IgnoreWriteSignals();
    zt::ui::PreferFfmpegMediaBackend();
    QApplication app(argc, argv);
    zt::ui::ApplySkinPalette(app);
    // The pages hide and show one another; the program ends by Exit (or the
    // main page's own close), never because no window happens to be showing.
    app.setQuitOnLastWindowClosed(false);

    zt::SystemSession system;
    zt::Session& session = system.Get();
    // A disk the user may not read is opened through the system's disk
    // service, whose password dialog is the desktop session's own.
    zt::platform::SetAuthorisationPrompt(zt::platform::AuthorisationPrompt::Desktop);
    zt::ui::SystemShellServices services(session.Settings(), session.Logs());
    zt::ui::ShellContext context(session, zt::ui::ToShellSettings(session.Settings()), services,
                                 [] { zt::platform::ExitProcessNow(0); });
    context.makeSourcePage = [&context](bool mediaRecoveryMode, QWidget*) -> std::unique_ptr<QDialog> {
        return std::make_unique<zt::ui::CPartitionInfoDlg>(context, mediaRecoveryMode);
    };
    // Unreadable places are put to the user on the page's thread while the reading worker waits.
    zt::ui::DialogBadSectorPrompt badSectorPrompt(context.settings.skinFolder, context.settings.windowTitle);
    session.BadSectors().SetPrompt(&badSectorPrompt);
    context.makeScanPage = [&context](QWidget* opener) -> std::unique_ptr<QDialog> {
        return std::make_unique<zt::ui::CFileDisplayDlg>(context, opener);
    };

    zt::ui::CZTPictoraDlg mainPage(context);
    mainPage.exec();
    // The page closed itself without Exit: the program ends without a message loop of its own.
    return 0;
}
