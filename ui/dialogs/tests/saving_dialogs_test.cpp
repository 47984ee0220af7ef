// The overwrite question and the saving dialog, over a real saving run that
// reads a card held in memory and writes into a temporary folder.
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/testing/fake_raw_io.h"
#include "ui/base/message_box.h"
#include "ui/base/testing/accessible_names.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/dialogs/CReplaceDlg.h"
#include "ui/dialogs/CSavingDlg.h"

using namespace zt;
using namespace zt::ui;

namespace {

constexpr char kCard[] = "/media/card.dd";
constexpr std::uint64_t kCardSectors = 40'000;

// Whatever the saving dialog shows at its end is read and closed here.
class EndWatcher : public QObject {
public:
    EndWatcher() {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* message = qobject_cast<CMessageDlg*>(QApplication::activeModalWidget())) {
                messages << message->Message();
                details << message->Details();
                if (pressOpenFolder && message->OpenFolderButton() != nullptr) message->OpenFolderButton()->click();
                message->accept();
            }
        });
        m_timer.start();
    }
    QStringList messages;
    QStringList details;
    bool pressOpenFolder = false;

private:
    QTimer m_timer;
};

}  // namespace

class SavingDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void replaceButtonsGiveTheirAnswersAndEscGivesNone();
    void promptAskedFromTheSavingThreadIsShownOnTheUiThread();
    void runToTheEndShowsProgressAndSuccess();
    void countsTellWrittenKeptAndLost();
    void stopNoGoesOnStopYesEndsAfterTheFileInHand();
    void filesThatCannotBeWrittenAreCountedAsLost();
    void outcomeTextsNeverClaimSuccessForALossOrAFailedFlush();

private:
    SavingRun& MakeRun(int files, std::int32_t sectorsEach);

    QTemporaryDir m_skin;
    QTemporaryDir m_logs;
    std::unique_ptr<QTemporaryDir> m_out;
    testing::FakeRawIo m_io;
    platform::MemorySettingsStore m_store;
    SourceDescriptor m_source;
    BadSectorPolicyState m_policy;
    FoundFileList m_found;
    AppSettings m_settings;
    std::atomic<bool> m_headerWritten{false};
    std::unique_ptr<OverwritePrompt> m_prompt;
    std::unique_ptr<SavingRun> m_run;
    std::vector<MessageRequest> m_boxes;
    MessageAnswer m_answer = MessageAnswer::Yes;
    std::function<void()> m_onQuestion;
    const ShellSettings m_window{"Zentrix for Pictora", "Zentrix for Pictora", "Version 1.0", m_skin.path()};
};

void SavingDialogsTest::init() {
    m_io.AddPatternFile(kCard, kCardSectors * 512, 4);
    m_source.DeviceNames[0] = kCard;
    m_policy.Set(SkipAll);
    m_found.Clear();
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(m_store.WriteValue(kAppRegistryKey, kRecoveryLogValue, m_logs.path().toStdString()));
    m_boxes.clear();
    m_onQuestion = {};
    SetMessageBoxHandler([this](const MessageRequest& request) {
        m_boxes.push_back(request);
        if (m_onQuestion) m_onQuestion();
        return m_answer;
    });
}

void SavingDialogsTest::cleanup() {
    m_run.reset();
    m_prompt.reset();
    SetMessageBoxHandler({});
}

SavingRun& SavingDialogsTest::MakeRun(int files, std::int32_t sectorsEach) {
    for (int i = 1; i <= files; ++i) {
        FileInfo f = MakeFileInfo("JPEG", i, std::uint64_t(i) * 10, sectorsEach);
        f.selected = 1;
        m_found.Append(f);
    }
    m_prompt = std::make_unique<DialogOverwritePrompt>(m_skin.path(), "Zentrix for Pictora", nullptr);
    m_run = std::make_unique<SavingRun>(m_found, m_source, m_policy, m_out->path().toStdString(),
                                        SavingServices{platform::SystemDestination(), *m_prompt, LogContext{m_store},
                                                       m_settings, m_headerWritten, m_io});
    return *m_run;
}

void SavingDialogsTest::replaceButtonsGiveTheirAnswersAndEscGivesNone() {
    const OverwriteAnswer answers[] = {OverwriteAnswer::Yes, OverwriteAnswer::YesToAll, OverwriteAnswer::No,
                                       OverwriteAnswer::NoToAll};
    for (OverwriteAnswer answer : answers) {
        CReplaceDlg prompt(m_skin.path(), "Zentrix for Pictora", "File3.JPEG");
        QTimer::singleShot(0, &prompt, [&] { prompt.Button(answer)->click(); });
        QCOMPARE(prompt.Ask(), answer);
    }
    CReplaceDlg prompt(m_skin.path(), "Zentrix for Pictora", "File3.JPEG");
    ZT_VERIFY_ACCESSIBLE_NAMES(&prompt);
    QCOMPARE(prompt.FirstLine(), QString("\"File3.JPEG\" this file is already exist."));
    QCOMPARE(prompt.SecondLine(), QString("Would you like to replace the existing file ?"));
    QCOMPARE(prompt.windowTitle(), QString("Zentrix for Pictora"));
    QVERIFY(prompt.Button(OverwriteAnswer::Yes)->isDefault());
    QCOMPARE(prompt.Button(OverwriteAnswer::NoToAll)->text(), QString("N&o to ALL"));
    QTimer::singleShot(0, &prompt, [&] { QTest::keyClick(&prompt, Qt::Key_Escape); });
    QCOMPARE(prompt.Ask(), OverwriteAnswer::Closed);
    // The close box does nothing; Enter takes the default answer.
    CReplaceDlg again(m_skin.path(), "Zentrix for Pictora", "File3.JPEG");
    QTimer::singleShot(0, &again, [&] {
        again.close();
        QVERIFY(again.isVisible());
        QTest::keyClick(&again, Qt::Key_Return);
    });
    QCOMPARE(again.Ask(), OverwriteAnswer::Yes);
}

void SavingDialogsTest::promptAskedFromTheSavingThreadIsShownOnTheUiThread() {
    DialogOverwritePrompt prompt(m_skin.path(), "Zentrix for Pictora", nullptr);
    QThread* shownOn = nullptr;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* dialog = qobject_cast<CReplaceDlg*>(QApplication::activeModalWidget())) {
            shownOn = QThread::currentThread();
            dialog->Button(OverwriteAnswer::NoToAll)->click();
        }
    });
    poll.start(10);
    std::atomic<bool> done{false};
    OverwriteAnswer answer = OverwriteAnswer::Closed;
    std::thread worker([&] {
        answer = prompt.Ask("File9.JPEG");
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
    worker.join();
    QCOMPARE(answer, OverwriteAnswer::NoToAll);
    QCOMPARE(shownOn, QApplication::instance()->thread());
}

void SavingDialogsTest::runToTheEndShowsProgressAndSuccess() {
    SavingRun& run = MakeRun(3, 20);
    EndWatcher end;
    CSavingDlg dialog(m_window, run, [] {});
    ZT_VERIFY_ACCESSIBLE_NAMES(&dialog);
    QCOMPARE(dialog.PathText(), m_out->path());
    QCOMPARE(dialog.StatusText(), QString("Saving is in progress..."));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.CountText(), QString("3 / 3"));
    QCOMPARE(dialog.ProgressBar()->value(), 100);
    QCOMPARE(dialog.FolderText(), QString("JPEG"));
    QCOMPARE(dialog.FileText(), QString("File3.JPEG"));
    QCOMPARE(end.messages, QStringList({"File Saved Successfully."}));
    QVERIFY(m_boxes.empty());
    QCOMPARE(end.details, QStringList{QString()});  // without a way to open the folder, nothing is added

    // Saved again into the same folder, keeping the files there: the counts
    // say so, and the button opens the folder while the box stays.
    struct KeepAll : OverwritePrompt {
        OverwriteAnswer Ask(const std::string& /*fileName*/) override { return OverwriteAnswer::NoToAll; }
    } keep;
    SavingRun keeping(m_found, m_source, m_policy, m_out->path().toStdString(),
                      SavingServices{platform::SystemDestination(), keep, LogContext{m_store}, m_settings,
                                     m_headerWritten, m_io});
    QStringList opened;
    EndWatcher& again = end;
    again.messages.clear();
    again.details.clear();
    again.pressOpenFolder = true;
    CSavingDlg second(m_window, keeping, [] {}, nullptr, [&](const QString& folder) { opened << folder; });
    QCOMPARE(second.exec(), int(QDialog::Accepted));
    QCOMPARE(again.messages, QStringList({"File Saved Successfully."}));
    QCOMPARE(again.details, QStringList{"Written: 0   Kept: 3   Lost: 0\n" + m_out->path()});
    QCOMPARE(opened, QStringList{m_out->path()});
    keeping.Join();
}

void SavingDialogsTest::stopNoGoesOnStopYesEndsAfterTheFileInHand() {
    constexpr std::int32_t kSectors = 2000;
    SavingRun& run = MakeRun(15, kSectors);
    EndWatcher end;
    CSavingDlg dialog(m_window, run, [] {});
    // While the question is open the run is held: nothing more is written.
    std::int32_t savedAtQuestion = -1;
    bool heldDuringQuestion = false;
    m_onQuestion = [&] {
        savedAtQuestion = run.State().saved;
        QTest::qWait(150);
        heldDuringQuestion = run.State().saved == savedAtQuestion && run.Gate().Holding();
    };
    m_answer = MessageAnswer::No;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.StopCommand();
        QCOMPARE(dialog.StatusText(), QString("Saving is in progress..."));
        QVERIFY(dialog.StopButton()->isEnabled());
        m_onQuestion = {};
        m_answer = MessageAnswer::Yes;
        dialog.StopCommand();
        QCOMPARE(dialog.StatusText(), QString("Saving Aborted."));
        QVERIFY(dialog.ProgressBar()->isHidden());
        QVERIFY(!dialog.StopButton()->isEnabled());
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(int(m_boxes.size()), 2);
    QCOMPARE(m_boxes[0].text, QString("Are you sure you want to stop this process?"));
    QCOMPARE(m_boxes[0].buttons, MessageButtons::YesNo);
    QVERIFY(heldDuringQuestion);
    QVERIFY(run.State().aborted);
    const int saved = run.State().saved;
    QVERIFY(saved >= 1 && saved < 15);
    QCOMPARE(end.messages, QStringList({"File Saving Aborted."}));
    // The file in hand was finished: every file written is whole.
    for (int i = 1; i <= saved; ++i) {
        const QFileInfo file(m_out->path() + QStringLiteral("/JPEG/File%1.JPEG").arg(i));
        QCOMPARE(file.size(), qint64(kSectors + 1) * 512);
    }
    QVERIFY(!QFileInfo::exists(m_out->path() + QStringLiteral("/JPEG/File%1.JPEG").arg(saved + 1)));
}

void SavingDialogsTest::filesThatCannotBeWrittenAreCountedAsLost() {
    // A file-size limit of 64 KiB: files of 100 sectors fit, files of 200 do not.
    FileInfo small = MakeFileInfo("BMP", 1, 0, 100);
    small.selected = 1;
    m_found.Append(small);
    SavingRun& run = MakeRun(2, 200);
    struct rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = 64 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    EndWatcher end;
    CSavingDlg dialog(m_window, run, [] {});
    dialog.exec();
    ::setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(run.State().failed.load(), 2);
    QCOMPARE(end.messages, QStringList({"2 of 3 files could not be saved (File too large)."}));
}

void SavingDialogsTest::countsTellWrittenKeptAndLost() {
    const struct {
        std::int32_t saved, kept, failed;
        const char* text;
    } cases[] = {
        {3, 0, 0, "Written: 3   Kept: 0   Lost: 0"},
        {3, 3, 0, "Written: 0   Kept: 3   Lost: 0"},
        {5, 2, 1, "Written: 3   Kept: 2   Lost: 1"},
        {0, 0, 4, "Written: 0   Kept: 0   Lost: 4"},
    };
    for (const auto& c : cases) {
        SavingRunState state("/dest");
        state.saved = c.saved;
        state.kept = c.kept;
        state.failed = c.failed;
        QCOMPARE(SavingCountsText(state), QString(c.text));
    }
}

void SavingDialogsTest::outcomeTextsNeverClaimSuccessForALossOrAFailedFlush() {
    auto text = [](std::int32_t total, bool aborted, std::int32_t failed, int syncError, std::uint64_t zeros) {
        SavingRunState state("/dest");
        state.total = total;
        state.aborted = aborted;
        state.failed = failed;
        state.syncError = syncError;
        state.unreadableSectors = zeros;
        return SavingOutcomeText(state);
    };
    QCOMPARE(text(3, false, 0, 0, 0), QString("File Saved Successfully."));
    QCOMPARE(text(0, false, 0, 0, 0), QString("Please select the file for saving."));
    QCOMPARE(text(3, true, 1, 0, 0), QString("File Saving Aborted. 1 of 3 files could not be saved."));
    QCOMPARE(text(3, false, 0, EIO, 0),
             QString("The files could not be flushed to the medium (Input/output error)."));
    QCOMPARE(text(3, false, 0, 0, 1),
             QString("File Saved Successfully. 1 unreadable sector was saved as zeros."));
    QCOMPARE(text(3, false, 0, 0, 16),
             QString("File Saved Successfully. 16 unreadable sectors were saved as zeros."));

    // Saved files the scan could not keep whole are counted, never passed off as whole.
    const std::string whole = " not whole: the end was not found, or the file is longer than the maximum size kept "
                              "for its type.";
    for (const auto& [cut, aborted, expected] :
         std::vector<std::tuple<std::int32_t, bool, std::string>>{
             {1, false, "File Saved Successfully. 1 saved file is" + whole},
             {2, true, "File Saving Aborted. 2 saved files are" + whole},
         }) {
        SavingRunState state("/dest");
        state.total = 3;
        state.aborted = aborted;
        state.cut = cut;
        QCOMPARE(SavingOutcomeText(state), QString::fromStdString(expected));
    }
}

QTEST_MAIN(SavingDialogsTest)
#include "saving_dialogs_test.moc"
