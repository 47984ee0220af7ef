// The please-wait, message and about dialogs.
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/base/testing/accessible_names.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/dialogs/CBadSectors.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/dialogs/CWaitDlg.h"

using namespace zt::ui;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void waitStaysOneTickWhenWorkersAreDone();
    void waitClosesAfterTheLaterWorker();
    void messageOkWithoutTickOpensNothing();
    void messageOkWithTickOpensLogThenCloses();
    void messageEscapeIgnoresTickAndCloseBoxIsRefused();
    void aboutShowsProductLine();
    void badSectorsButtonsKeysAndCloseBox();
    void badSectorsAskedFromAWorkerWaitsForTheAnswer();

private:
    QTemporaryDir m_skin;  // empty: every dialog must open without pictures
};

void DialogsTest::waitStaysOneTickWhenWorkersAreDone() {
    CWaitDlg wait(
        m_skin.path(), [] { return false; }, [] { return false; });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(wait.exec(), int(QDialog::Accepted));
    QCOMPARE(wait.Ticks(), 1);
    QVERIFY(clock.elapsed() >= CWaitDlg::PollMs);

    // A hung worker: Esc is the way out, and the box stops looking.
    CWaitDlg hung(
        m_skin.path(), [] { return true; }, [] { return false; });
    QTimer::singleShot(0, &hung, [&] { QTest::keyClick(&hung, Qt::Key_Escape); });
    QCOMPARE(hung.exec(), int(QDialog::Rejected));
    QTest::qWait(CWaitDlg::PollMs + 100);
    QCOMPARE(hung.Ticks(), 0);
}

void DialogsTest::waitClosesAfterTheLaterWorker() {
    // The preview ends after the first look, the list fill after the third.
    int listLooks = 0;
    int previewLooks = 0;
    CWaitDlg wait(
        m_skin.path(), [&] { return ++listLooks <= 3; }, [&] { return ++previewLooks <= 1; });
    QCOMPARE(wait.exec(), int(QDialog::Accepted));
    QCOMPARE(wait.Ticks(), 4);
    QCOMPARE(listLooks, 4);
}

void DialogsTest::messageOkWithoutTickOpensNothing() {
    int views = 0;
    CMessageDlg message(m_skin.path(), "Zentrix for Pictora", "File Saved Successfully.", [&] { ++views; });
    ZT_VERIFY_ACCESSIBLE_NAMES(&message);
    QCOMPARE(message.Message(), QString("File Saved Successfully."));
    QCOMPARE(message.windowTitle(), QString("Zentrix for Pictora"));
    QVERIFY(!message.ViewLogBox()->isChecked());
    QTimer::singleShot(0, &message, [&] { QTest::keyClick(&message, Qt::Key_Return); });
    QCOMPARE(message.exec(), int(QDialog::Accepted));
    QCOMPARE(views, 0);
}

void DialogsTest::messageOkWithTickOpensLogThenCloses() {
    QStringList events;
    CMessageDlg* dialog = nullptr;
    CMessageDlg message(m_skin.path(), "Zentrix for Pictora", "File Saving Aborted.",
                        [&] { events << (dialog->isVisible() ? "log while open" : "log after close"); });
    dialog = &message;
    QTimer::singleShot(0, &message, [&] {
        message.ViewLogBox()->setChecked(true);
        QTest::mouseClick(message.OkButton(), Qt::LeftButton);
    });
    QCOMPARE(message.exec(), int(QDialog::Accepted));
    QCOMPARE(events, QStringList{"log while open"});
}

void DialogsTest::messageEscapeIgnoresTickAndCloseBoxIsRefused() {
    int views = 0;
    CMessageDlg message(m_skin.path(), "Zentrix for Pictora", "File Saved Successfully.", [&] { ++views; });
    QVERIFY(!(message.windowFlags() & Qt::WindowCloseButtonHint));
    bool stayedAfterClose = false;
    QTimer::singleShot(0, &message, [&] {
        message.ViewLogBox()->setChecked(true);
        message.close();
        stayedAfterClose = message.isVisible();
        QTest::keyClick(&message, Qt::Key_Escape);
    });
    QCOMPARE(message.exec(), int(QDialog::Rejected));
    QVERIFY(stayedAfterClose);
    QCOMPARE(views, 0);
}

void DialogsTest::aboutShowsProductLine() {
    CAboutDlg about("Zentrix for Pictora", "Version 1.0");
    QCOMPARE(about.ProductLabel()->text(), QString("Zentrix for Pictora Version 1.0"));
    QCOMPARE(about.windowTitle(), QString("Zentrix for Pictora"));
    QCOMPARE(ProductLine("Tom & Jerry & Co", "Version 2"), QString("Tom && Jerry & Co Version 2"));
    QCOMPARE(ProductLine("&Start", "V"), QString("&&Start V"));
    QTimer::singleShot(0, &about, [&] { QTest::mouseClick(about.OkButton(), Qt::LeftButton); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

void DialogsTest::badSectorsButtonsKeysAndCloseBox() {
    CBadSectors prompt(m_skin.path(), "Zentrix for Pictora");
    ZT_VERIFY_ACCESSIBLE_NAMES(&prompt);
    QCOMPARE(prompt.windowTitle(), QString("Zentrix for Pictora"));
    QCOMPARE(prompt.Message(), QString("Encountered Bad Sector(s) while reading disk."));
    const std::pair<int, zt::BadSectorPolicy> buttons[] = {{CBadSectors::IdRetry, zt::Retry},
                                                           {CBadSectors::IdSkip, zt::Skip},
                                                           {CBadSectors::IdRetryAll, zt::RetryAll},
                                                           {CBadSectors::IdSkipAll, zt::SkipAll}};
    for (const auto& [id, policy] : buttons) {
        QTimer::singleShot(0, &prompt, [&prompt, id = id] { prompt.Button(id)->click(); });
        QCOMPARE(prompt.Ask(), policy);
    }
    QCOMPARE(prompt.Button(CBadSectors::IdRetryAll)->accessibleName(), QString("Retry All"));
    // Enter retries; Esc and the close box give the place up.
    QTimer::singleShot(0, &prompt, [&prompt] { QTest::keyClick(&prompt, Qt::Key_Return); });
    QCOMPARE(prompt.Ask(), zt::Retry);
    // Also when another button has the focus.
    QTimer::singleShot(0, &prompt, [&prompt] {
        QPushButton* skipAll = prompt.Button(CBadSectors::IdSkipAll);
        skipAll->setFocus();
        QTest::keyClick(skipAll, Qt::Key_Return);
    });
    QCOMPARE(prompt.Ask(), zt::Retry);
    QTimer::singleShot(0, &prompt, [&prompt] { QTest::keyClick(&prompt, Qt::Key_Escape); });
    QCOMPARE(prompt.Ask(), zt::Skip);
    QTimer::singleShot(0, &prompt, [&prompt] { prompt.close(); });
    QCOMPARE(prompt.Ask(), zt::Skip);
}

void DialogsTest::badSectorsAskedFromAWorkerWaitsForTheAnswer() {
    DialogBadSectorPrompt prompt(m_skin.path(), "Zentrix for Pictora");
    std::atomic<int> answer{-1};
    // The question shows on this thread, in its own modal loop, while the worker waits.
    bool waitedWhileShown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* shown = qobject_cast<CBadSectors*>(QApplication::activeModalWidget())) {
            poll.stop();
            waitedWhileShown = answer.load() == -1;
            shown->Button(CBadSectors::IdSkipAll)->click();
        }
    });
    poll.start(20);
    std::thread worker([&] { answer.store(prompt.Ask()); });
    QVERIFY(QTest::qWaitFor([&answer] { return answer.load() != -1; }, 10000));
    worker.join();
    QVERIFY(waitedWhileShown);
    QCOMPARE(answer.load(), int(zt::SkipAll));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
