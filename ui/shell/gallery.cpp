// zt-ui-gallery: draws the main page, the about box, the message box and the
// please-wait box with the skin of a folder into PNG files, for the
// documentation. Run it on a display (or Xvfb) so that the desktop's fonts are used.
#include <QApplication>

#include "app/testing/test_session.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/dialogs/CWaitDlg.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/shell/gallery_support.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::optional<zt::ui::gallery::Arguments> arguments = zt::ui::gallery::Start(app, argc, argv);
    if (!arguments) return 2;
    const zt::ui::ShellSettings& settings = arguments->settings;
    const QString& out = arguments->outputFolder;
    zt::ui::gallery::NoServices services;
    // Nothing here reads a disk or the user's store: the pages see a session over fakes.
    zt::testing::TestSession session;
    zt::ui::ShellContext context(session.session, settings, services, [] {});
    context.showSplash = false;

    zt::ui::CZTPictoraDlg mainPage(context);
    zt::ui::CAboutDlg about(settings.windowTitle, settings.versionText);
    zt::ui::CMessageDlg message(settings.skinFolder, settings.windowTitle, QStringLiteral("File Saved Successfully."),
                                [] {});
    // The end of a save as it is shown: the counts, the folder and the button to open it.
    message.AddSaveDetails(QStringLiteral("Written: 31   Kept: 2   Lost: 0"),
                           QStringLiteral("/home/user/Pictures/Recovered from the holiday card"), [] {});
    zt::ui::CWaitDlg wait(
        settings.skinFolder, [] { return true; }, [] { return false; });
    using zt::ui::gallery::Snap;
    const bool ok = Snap(mainPage, out + "/main-page.png", 0) && Snap(about, out + "/about.png", 0) &&
                    Snap(message, out + "/message.png", 0) && Snap(wait, out + "/please-wait.png", 0);
    return ok ? 0 : 1;
}
