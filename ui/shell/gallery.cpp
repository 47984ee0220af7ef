// zt-ui-gallery: draws the main page, the about box, the message box and the
// please-wait box with the skin of a folder into PNG files, for the
// documentation. Run it on a display (or Xvfb) so that the desktop's fonts are used.
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "app/testing/test_session.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/dialogs/CWaitDlg.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/skin/skin_art.h"

namespace {

// The pictures need no logs and no help.
class NoServices : public zt::ui::ShellServices {
public:
    void WriteStartBlock() override {}
    void ViewLog(QWidget*, zt::LogKind) override {}
    void ClearLog(QWidget*, zt::LogKind) override {}
    void OpenHelp() override {}
};

bool Save(QWidget& window, const QString& path) {
    window.show();
    QApplication::processEvents();
    return window.grab().save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SKIN_FOLDER OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    zt::ui::ApplySkinPalette(app);
    const zt::ui::ShellSettings settings{QStringLiteral("Zentrix for Pictora"), QStringLiteral("Zentrix for Pictora"),
                                         QStringLiteral("Version 1.0"), QString::fromLocal8Bit(argv[1])};
    NoServices services;
    // Nothing here reads a disk or the user's store: the pages see a session over fakes.
    zt::testing::TestSession session;
    zt::ui::ShellContext context(session.session, settings, services, [] {});
    context.showSplash = false;

    zt::ui::CZTPictoraDlg mainPage(context);
    zt::ui::CAboutDlg about(settings.windowTitle, settings.versionText);
    zt::ui::CMessageDlg message(settings.skinFolder, settings.windowTitle, QStringLiteral("File Saved Successfully."),
                                [] {});
    zt::ui::CWaitDlg wait(
        settings.skinFolder, [] { return true; }, [] { return false; });
    const bool ok = Save(mainPage, out + "/main-page.png") && Save(about, out + "/about.png") &&
                    Save(message, out + "/message.png") && Save(wait, out + "/please-wait.png");
    return ok ? 0 : 1;
}
