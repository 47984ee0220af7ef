// pictora: the desktop wizard. Start-up fixes the settings, then the main page
// runs modally for the whole life of the program; Exit ends the process from
// whatever page it is chosen on.
#include <QApplication>

#include "platform/process_exit.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/system_services.h"
#include "ui/skin/skin_art.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zt::ui::ApplySkinPalette(app);

    zt::ui::ShellSettings settings = zt::ui::StartUpSettings();
    zt::ui::SystemShellServices services(settings);
    zt::ui::ShellContext context{settings, services, [] { zt::platform::ExitProcessNow(0); }, {}, true};

    zt::ui::CZTPictoraDlg mainPage(context);
    mainPage.exec();
    // The page closed itself without Exit: the program ends without a message loop of its own.
    return 0;
}
