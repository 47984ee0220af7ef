// The main page, the page chrome every page shares, the hand-over between
// pages, Exit and the splash.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/testing/test_session.h"
#include "platform/settings_store.h"
#include "ui/controls/key_colour.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/shell/CSplashScreenEx.h"
#include "ui/shell/CZTPictoraDlg.h"
#include "ui/base/message_box.h"
#include "ui/base/testing/accessible_names.h"
#include "ui/shell/page_flow.h"
#include "ui/shell/system_services.h"
#include <QFile>
#include <QTextBrowser>
#include "ui/skin/skin_files.h"

using namespace zt::ui;

namespace {

class FakeServices : public ShellServices {
public:
    void WriteStartBlock() override { calls << "start block"; }
    void ViewLog(QWidget*, zt::LogKind target) override { calls << QString("view %1").arg(int(target)); }
    void ClearLog(QWidget*, zt::LogKind target) override { calls << QString("clear %1").arg(int(target)); }
    void OpenHelp() override { calls << "help"; }
    QStringList calls;
};

// Answers every message box from a script and records what was asked.
class ScriptedBoxes {
public:
    ScriptedBoxes() {
        SetMessageBoxHandler([this](const MessageRequest& request) {
            asked << request;
            return answers.isEmpty() ? MessageAnswer::Cancel : answers.takeFirst();
        });
    }
    ~ScriptedBoxes() { SetMessageBoxHandler({}); }
    QList<MessageAnswer> answers;
    QList<MessageRequest> asked;
};

// A page that stands in for the source page: records what it saw and goes Back.
class TestPage : public CPageDlg {
public:
    // openerVisible receives whether the opener was visible while this page showed.
    TestPage(ShellContext& context, QWidget* opener, bool& openerVisible)
        : CPageDlg(context), m_opener(opener), m_openerVisible(openerVisible) {}

protected:
    void showEvent(QShowEvent* event) override {
        CPageDlg::showEvent(event);
        QTimer::singleShot(0, this, [this] {
            m_openerVisible = m_opener->isVisible();
            m_opener->setWindowTitle("changed by the next page");
            done(QDialog::Rejected);  // Back
        });
    }

private:
    QWidget* m_opener;
    bool& m_openerVisible;
};

// A page that ends itself once shown, the way its end is given.
class EndingPage : public CPageDlg {
public:
    EndingPage(ShellContext& context, std::function<void(CPageDlg&)> end) : CPageDlg(context), m_end(std::move(end)) {}

protected:
    void showEvent(QShowEvent* event) override {
        CPageDlg::showEvent(event);
        QTimer::singleShot(0, this, [this] { m_end(*this); });
    }

private:
    std::function<void(CPageDlg&)> m_end;
};

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void mainPageOpensWithEmptySkinAndWritesStartBlock();
    void mainPageWearsTheSkin();
    void handOverHidesAndRestoresTheOpener();
    void backFromTheNextPageKeepsTheOpenerRunning();
    void jobWithoutSourcePageSaysSo();
    void pageResultTellsBackFromFinished();
    void exitAsksAndCancelKeepsThePage();
    void menuCommandsReachLogsHelpAndAbout();
    void splashShapeAndPlacement();
    void startBlockReachesTheActivityLog();
    void windowKeepsItsPlaceAndSizeFromPageToPage();
    void logsAndGuideShowInAWindowWithoutADesktopViewer();

private:
    ShellContext MakeContext(const QString& skinFolder) {
        ShellContext context(m_session.session, {"Zentrix for Pictora", "Zentrix for Pictora", "Version 1.0", skinFolder},
                             m_services, [this] { ++m_terminations; });
        context.showSplash = false;
        return context;
    }

    QTemporaryDir m_emptySkin;
    zt::testing::TestSession m_session;
    FakeServices m_services;
    int m_terminations = 0;
};

void ShellTest::init() {
    m_services.calls.clear();
    m_terminations = 0;
}

void ShellTest::mainPageOpensWithEmptySkinAndWritesStartBlock() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CZTPictoraDlg page(context);
    QCOMPARE(m_services.calls, QStringList{"start block"});
    QCOMPARE(page.windowTitle(), QString("Zentrix for Pictora"));
    QVERIFY(page.Background().isNull());
    QVERIFY(!page.Command(IdRecoverSelected)->isEnabled());
    QCOMPARE(page.ToolButton(IdExit)->toolTip(), QString("Exit"));
    QCOMPARE(page.JobButton(IdPictora)->toolTip(), QString("Pictora"));
    QCOMPARE(page.JobButton(IdImageCreation)->toolTip(), QString("Image Creation"));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    // Picture-less buttons still work.
    ScriptedBoxes boxes;
    QTest::mouseClick(page.ToolButton(IdExit), Qt::LeftButton);
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked[0].text, QString("Are you sure you want to exit?"));
}

void ShellTest::mainPageWearsTheSkin() {
    ShellContext context = MakeContext(ZT_TEST_SKIN_DIR);
    CZTPictoraDlg page(context);
    QCOMPARE(page.Background().size(), PageClientSize);
    QVERIFY(!page.JobButton(IdPictora)->CurrentPicture().isNull());
    QVERIFY(!page.ToolButton(IdHelp)->CurrentPicture().isNull());
    QVERIFY(!page.SavePicture()->pixmap().isNull());
    ZT_VERIFY_ACCESSIBLE_NAMES(&page);
}

void ShellTest::handOverHidesAndRestoresTheOpener() {
    ShellContext context = MakeContext(m_emptySkin.path());
    QList<bool> modes;
    bool visible = true;
    context.makeSourcePage = [&](bool mediaRecovery, QWidget* opener) {
        modes << mediaRecovery;
        return std::unique_ptr<QDialog>(std::make_unique<TestPage>(context, opener, visible));
    };
    CZTPictoraDlg main(context);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::mouseClick(main.JobButton(IdPictora), Qt::LeftButton);
    QCOMPARE(modes.size(), 1);
    QVERIFY(!visible);  // hidden while the next page ran
    QVERIFY(main.isVisible());
    QCOMPARE(main.windowTitle(), QString("Zentrix for Pictora"));
    QTest::mouseClick(main.JobButton(IdImageCreation), Qt::LeftButton);
    QCOMPARE(modes, (QList<bool>{true, false}));
    QVERIFY(main.isVisible());
    QCOMPARE(m_terminations, 0);
}

void ShellTest::pageResultTellsBackFromFinished() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CPageDlg opener(context);
    opener.show();
    EndingPage back(context, [](CPageDlg& page) { page.GoBack(); });
    QCOMPARE(opener.RunNextPage(back), PageResult::Back);
    EndingPage finished(context, [](CPageDlg& page) { page.Finish(); });
    QCOMPARE(opener.RunNextPage(finished), PageResult::Finished);
    // A page closed by other means is taken as Back, never as a finished job.
    EndingPage accepted(context, [](CPageDlg& page) { page.done(QDialog::Accepted); });
    QCOMPARE(opener.RunNextPage(accepted), PageResult::Back);

    // Esc on a page asks the Exit question; Cancel leaves the page running, so it is not Back.
    ScriptedBoxes boxes;
    boxes.answers = {MessageAnswer::Cancel};
    EndingPage escaped(context, [](CPageDlg& page) {
        QTest::keyClick(&page, Qt::Key_Escape);
        QVERIFY(page.isVisible());
        page.Finish();
    });
    QCOMPARE(opener.RunNextPage(escaped), PageResult::Finished);
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(m_terminations, 0);
    QVERIFY(opener.isVisible());
}

void ShellTest::backFromTheNextPageKeepsTheOpenerRunning() {
    ShellContext context = MakeContext(m_emptySkin.path());
    bool visible = true;
    context.makeSourcePage = [&](bool, QWidget* opener) {
        return std::unique_ptr<QDialog>(std::make_unique<TestPage>(context, opener, visible));
    };
    CZTPictoraDlg main(context);
    bool stillRunning = false;
    QTimer::singleShot(0, &main, [&] {
        main.OpenJob(true);  // the next page goes Back at once
        QTimer::singleShot(50, &main, [&] {
            stillRunning = main.isVisible();
            main.done(QDialog::Accepted);
        });
    });
    main.exec();
    QVERIFY(!visible);
    QVERIFY(stillRunning);  // the opener's own modal run outlived the next page
}

void ShellTest::jobWithoutSourcePageSaysSo() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CZTPictoraDlg main(context);
    ScriptedBoxes boxes;
    main.OpenJob(true);
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Information);
    QCOMPARE(boxes.asked[0].caption, QString("Zentrix for Pictora"));
}

void ShellTest::exitAsksAndCancelKeepsThePage() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CZTPictoraDlg page(context);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    ScriptedBoxes boxes;
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Cancel, MessageAnswer::Cancel};
    QTest::keyClick(&page, Qt::Key_Escape);
    page.close();  // the close box
    page.Command(IdMenuExit)->trigger();
    QCOMPARE(boxes.asked.size(), 3);
    for (const MessageRequest& request : boxes.asked) {
        QCOMPARE(request.text, QString("Are you sure you want to exit?"));
        QCOMPARE(request.icon, MessageIcon::Question);
        QCOMPARE(request.buttons, MessageButtons::OkCancel);
        QCOMPARE(request.owner, &page);
    }
    QVERIFY(page.isVisible());
    QCOMPARE(m_terminations, 0);

    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(page.ToolButton(IdExit), Qt::LeftButton);
    QCOMPARE(m_terminations, 1);
}

void ShellTest::menuCommandsReachLogsHelpAndAbout() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CZTPictoraDlg page(context);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    m_services.calls.clear();
    for (int id : {IdActivityLog, IdRecoveryLog, IdClearActivityLog, IdClearRecoveryLog, IdMenuHelp}) {
        page.Command(id)->trigger();
    }
    QTest::keyClick(&page, Qt::Key_F1);
    QTest::mouseClick(page.ToolButton(IdHelp), Qt::LeftButton);
    QCOMPARE(m_services.calls, (QStringList{"view 0", "view 1", "clear 0", "clear 1", "help", "help", "help"}));

    QStringList titles;
    auto closeAbout = [&] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        titles << (about != nullptr ? about->ProductLabel()->text() : QString("no about box"));
        if (about != nullptr) {
            about->accept();
        }
    };
    QTimer::singleShot(0, this, closeAbout);
    page.Command(IdMenuAbout)->trigger();
    QTimer::singleShot(0, this, closeAbout);
    QTest::mouseClick(page.ToolButton(IdAbout), Qt::LeftButton);
    QCOMPARE(titles, (QStringList{"Zentrix for Pictora Version 1.0", "Zentrix for Pictora Version 1.0"}));

    const QStringList menus = {page.Menu()->actions()[0]->text(), page.Menu()->actions()[1]->text(),
                               page.Menu()->actions()[2]->text()};
    QCOMPARE(menus, (QStringList{"&Options", "&Log", "&Support"}));
}

void ShellTest::splashShapeAndPlacement() {
    QCOMPARE(CSplashScreenEx::CentredPosition(QRect(0, 0, 1024, 738), QSize(400, 300)), QPoint(312, 219));
    QCOMPARE(CSplashScreenEx::CentredPosition(QRect(0, 0, 1024, 738), QSize(401, 301)), QPoint(311, 218));

    QImage bordered(40, 30, QImage::Format_RGB32);
    bordered.fill(SplashKeyColour);
    for (int y = 2; y < 28; ++y) {
        for (int x = 3; x < 37; ++x) {
            bordered.setPixel(x, y, qRgb(20, 40, 60));
        }
    }
    auto* splash = new CSplashScreenEx(nullptr);
    QVERIFY(!splash->SetBitmap(m_emptySkin.path() + "/FrontV.bmp"));  // missing: nothing changes
    QVERIFY(!splash->HasBitmap());
    QVERIFY(splash->SetBitmap(bordered));
    QCOMPARE(splash->Shape(), QRegion(3, 2, 34, 26));
    QCOMPARE(splash->size(), QSize(40, 30));
    splash->HideAndDestroy();

    QImage plain(40, 30, QImage::Format_RGB32);
    plain.fill(Qt::white);
    auto* rectangular = new CSplashScreenEx(nullptr);
    QVERIFY(rectangular->SetBitmap(plain));
    QCOMPARE(rectangular->Shape(), QRegion(0, 0, 40, 30));
    rectangular->HideAndDestroy();
}

void ShellTest::startBlockReachesTheActivityLog() {
    QTemporaryDir logFolder;
    zt::platform::MemorySettingsStore store;
    QVERIFY(store.WriteValue(zt::kAppRegistryKey, zt::kActivityLogValue, logFolder.path().toStdString()));
    const zt::LogContext logs{store};
    const zt::AppSettings settings;
    zt::ui::SystemShellServices services(settings, logs);
    ShellContext context(m_session.session, ToShellSettings(settings), services, [] {});
    context.showSplash = false;
    context.settings.skinFolder = m_emptySkin.path();  // the log is written even without any picture

    ScriptedBoxes boxes;
    CZTPictoraDlg page(context);
    QFile log(logFolder.path() + "/Activity Log.txt");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> entries = log.readAll().split('\n');
    QCOMPARE(entries.size(), 5);  // the file begins with CR LF: an empty first piece
    QCOMPARE(entries[1], QByteArray("-----------------------Start--------------------------\r"));
    QCOMPARE(entries[2], QByteArray("Zentrix for Pictora\r"));
    QCOMPARE(entries[3], QByteArray("Version 1.0\r"));
    QVERIFY(entries[4].contains(" - "));

    // The log commands answer through the page's message boxes.
    page.Command(IdRecoveryLog)->trigger();
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked[0].text, QString("Recovery Log file not found"));
    QCOMPARE(boxes.asked[0].caption, QString("Zentrix for Pictora"));
    boxes.answers = {MessageAnswer::Cancel};
    page.Command(IdClearActivityLog)->trigger();
    QCOMPARE(boxes.asked[1].text, QString("Are you sure you want to delete Activity Report"));
    QVERIFY(log.exists());
    boxes.answers = {MessageAnswer::Ok};
    page.Command(IdClearActivityLog)->trigger();
    QVERIFY(!log.exists());
}

void ShellTest::windowKeepsItsPlaceAndSizeFromPageToPage() {
    ShellContext context = MakeContext(m_emptySkin.path());
    CZTPictoraDlg first(context);
    CZTPictoraDlg second(context);
    first.show();
    first.setGeometry(40, 60, first.minimumWidth() + 120, first.minimumHeight() + 80);
    const QRect grown = first.geometry();
    QRect seen;
    QTimer::singleShot(0, this, [&] {
        seen = second.geometry();
        // The user makes the second page larger still before going back.
        second.resize(second.width() + 30, second.height() + 10);
        second.done(static_cast<int>(PageResult::Back));
    });
    HandOver(first, second, "Zentrix for Pictora");
    QCOMPARE(seen, grown);
    QCOMPARE(first.size(), grown.size() + QSize(30, 10));
    // Every page may be maximised.
    QVERIFY(first.windowFlags() & Qt::WindowMaximizeButtonHint);
}

void ShellTest::logsAndGuideShowInAWindowWithoutADesktopViewer() {
    QTemporaryDir dir;
    const QString log = dir.filePath("Activity Log.txt");
    QFile file(log);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\r\nStarting Time : 10:15 AM");
    file.close();
    const QString guide = dir.filePath("Zentrix HELP.html");
    QFile html(guide);
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<html><body><h1>Recovering photos</h1></body></html>");
    html.close();

    QWidget owner;
    owner.show();
    const struct {
        const char* name;
        bool viewer;  // whether the desktop has a viewer that takes the file
        QString path;
        QString shown;  // the window's text; empty: no window
    } cases[] = {
        {"log, no viewer", false, log, "Starting Time : 10:15 AM"},
        {"log, viewer", true, log, ""},
        {"guide, no viewer", false, guide, "Recovering photos"},
        {"missing file", false, dir.filePath("gone.txt"), ""},
    };
    for (const auto& c : cases) {
        QStringList handed;
        const DesktopOpener opener = [&](const QString& path) {
            handed << path;
            return c.viewer;
        };
        if (QString(c.name).startsWith("guide")) {
            QtHelpShell shell(opener);
            QVERIFY2(shell.OpenDocument(c.path.toStdString()), c.name);
        } else {
            QtLogUserInterface ui(&owner, "Zentrix for Pictora", opener);
            ui.OpenInViewer(c.path.toStdString());
        }
        QCOMPARE(handed, QStringList{c.path});
        QList<QTextBrowser*> windows;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* text = top->findChild<QTextBrowser*>();
            if (text != nullptr && text->window() == top && top->isVisible()) windows << text;
        }
        QCOMPARE(windows.size(), c.shown.isEmpty() ? 0 : 1);
        if (!windows.isEmpty()) {
            QVERIFY2(windows[0]->toPlainText().contains(c.shown), c.name);
            ZT_VERIFY_ACCESSIBLE_NAMES(windows[0]->window());
            windows[0]->window()->close();
            QCoreApplication::processEvents();
        }
    }
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
