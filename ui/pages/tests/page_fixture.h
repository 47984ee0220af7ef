// What the page tests share: a session over fakes whose activity log lies in
// a temporary folder, a context with recorded services, and message boxes and
// folder browsers answered from a script.
#pragma once

#include <QFile>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>

#include <QApplication>
#include <QTimer>

#include "app/testing/test_session.h"
#include "platform/destination.h"
#include "platform/testing/confined_raw_io.h"
#include "ui/base/message_box.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/shell/shell_context.h"

namespace zt::ui::testing {

class RecordingServices : public ShellServices {
public:
    void WriteStartBlock() override { calls << "start block"; }
    void ViewLog(QWidget*, LogKind kind) override { calls << QString("view %1").arg(int(kind)); }
    void ClearLog(QWidget*, LogKind kind) override { calls << QString("clear %1").arg(int(kind)); }
    void OpenHelp() override { calls << "help"; }
    QStringList calls;
};

// Answers every folder and file browser from a script (cancelled when it runs dry).
class ScriptedBrowsers {
public:
    ScriptedBrowsers() {
        SetBrowseHandler([this](const BrowseRequest& request) {
            asked << request;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~ScriptedBrowsers() { SetBrowseHandler({}); }
    ScriptedBrowsers(const ScriptedBrowsers&) = delete;
    ScriptedBrowsers& operator=(const ScriptedBrowsers&) = delete;

    QStringList answers;
    QList<BrowseRequest> asked;
};

// Runs fn on the first visible top-level widget of type Page once it shows up
// (a page opened modally by the code under test), looking every 20 ms.
template <typename Page, typename Fn>
void WhenShown(Fn fn) {
    // Owned by the application, so that a page that never showed leaves no timer behind.
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* page = qobject_cast<Page*>(widget); page != nullptr && page->isVisible()) {
                timer->stop();
                timer->deleteLater();
                fn(*page);
                return;
            }
        }
    });
    timer->start(20);
}

// The bytes WriteLog adds for these entries.
inline QByteArray LogEntries(const QStringList& entries) {
    QByteArray bytes;
    for (const QString& entry : entries) bytes += "\r\n" + entry.toLatin1();
    return bytes;
}

// Answers every message box from a script (Ok when it runs dry) and records the questions.
class ScriptedBoxes {
public:
    ScriptedBoxes() {
        SetMessageBoxHandler([this](const MessageRequest& request) {
            asked << request;
            return answers.isEmpty() ? MessageAnswer::Ok : answers.takeFirst();
        });
    }
    ~ScriptedBoxes() { SetMessageBoxHandler({}); }
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    [[nodiscard]] QStringList Texts() const {
        QStringList texts;
        for (const MessageRequest& request : asked) texts << request.text;
        return texts;
    }
    QList<MessageAnswer> answers;
    QList<MessageRequest> asked;
};

// A session that reads real files in the temporary folder (and the devices a
// test allows) and writes real image sets; the settings store, the drives and
// the device-query tool are still fakes.
class RealFilesSession {
public:
    RealFilesSession()
        : rawIo(platform::SystemRawIo()),
          session(SessionSeams{rawIo, store, platform::SystemDestination(), drives, launcher}, {}) {}

    zt::testing::ConfinedRawIo rawIo;
    platform::MemorySettingsStore store;
    zt::testing::FakeDriveProbe drives;
    zt::testing::FakeToolLauncher launcher;
    Session session;
};

enum class Seams { Fake, RealFiles };

// A fresh session, its activity log in a temporary folder, and the context every page takes.
class PageRig {
public:
    explicit PageRig(Seams seams = Seams::Fake, const QString& skinFolder = {})
        : fake(seams == Seams::Fake ? std::make_unique<zt::testing::TestSession>() : nullptr),
          real(seams == Seams::RealFiles ? std::make_unique<RealFilesSession>() : nullptr),
          context(fake ? fake->session : real->session,
                  {"Zentrix for Pictora", "Zentrix for Pictora", "Version 1.0",
                   skinFolder.isEmpty() ? emptySkin.path() : skinFolder},
                  services, [this] { ++terminations; }) {
        context.showSplash = false;
        (void)Store().WriteValue(kAppRegistryKey, kActivityLogValue, logFolder.path().toStdString());
        (void)Store().WriteValue(kAppRegistryKey, kFilePathValue, logFolder.path().toStdString());
    }

    [[nodiscard]] Session& session() { return context.session; }
    [[nodiscard]] platform::MemorySettingsStore& Store() { return fake ? fake->store : real->store; }
    [[nodiscard]] zt::testing::FakeDriveProbe& Drives() { return fake ? fake->drives : real->drives; }
    [[nodiscard]] zt::testing::FakeToolLauncher& Launcher() { return fake ? fake->launcher : real->launcher; }

    // The activity log's bytes so far (empty before the first entry).
    [[nodiscard]] QByteArray ActivityLog() const {
        QFile file(logFolder.path() + "/Activity Log.txt");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir emptySkin;
    QTemporaryDir logFolder;
    std::unique_ptr<zt::testing::TestSession> fake;  // Seams::Fake
    std::unique_ptr<RealFilesSession> real;          // Seams::RealFiles
    RecordingServices services;
    int terminations = 0;
    ShellContext context;
};

}  // namespace zt::ui::testing
