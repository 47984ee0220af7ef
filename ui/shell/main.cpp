// pictora: the desktop wizard. Start-up fixes the settings, then the main page
// runs modally for the whole life of the program; Exit ends the process from
// whatever page it is chosen on.
#include <QApplication>

#include "platform/process_exit.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/system_services.h"
#include "ui/skin/skin_files.h"

namespace {

// The button face and the plain window colour match the skin, so skinned
// buttons sit flush on their toolbar band and cards.
void ApplySkinPalette(QApplication& app) {
    QPalette palette = app.palette();
    palette.setColor(QPalette::Button, zt::ui::colours::Face);
    palette.setColor(QPalette::Window, zt::ui::colours::Face);
    app.setPalette(palette);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ApplySkinPalette(app);

    zt::ui::ShellSettings settings = zt::ui::StartUpSettings();
    zt::ui::SystemShellServices services(settings);
    zt::ui::ShellContext context{settings, services, [] { zt::platform::ExitProcessNow(0); }, {}, true};

    zt::ui::CZTPictoraDlg mainPage(context);
    mainPage.exec();
    // The page closed itself without Exit: the program ends without a message loop of its own.
    return 0;
}
