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

#include "app/testing/test_session.h"
#include "ui/base/message_box.h"
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

// A fresh session, its activity log in a temporary folder, and the context every page takes.
class PageRig {
public:
    explicit PageRig(const QString& skinFolder = {})
        : context{.session = test.session,
                  .settings = {"Zentrix for Pictora", "Zentrix for Pictora", "Version 1.0",
                               skinFolder.isEmpty() ? emptySkin.path() : skinFolder},
                  .services = services,
                  .terminate = [this] { ++terminations; },
                  .makeSourcePage = {},
                  .makeScanPage = {},
                  .showSplash = false} {
        (void)test.store.WriteValue(kAppRegistryKey, kActivityLogValue, logFolder.path().toStdString());
        (void)test.store.WriteValue(kAppRegistryKey, kFilePathValue, logFolder.path().toStdString());
    }

    // The activity log's bytes so far (empty before the first entry).
    [[nodiscard]] QByteArray ActivityLog() const {
        QFile file(logFolder.path() + "/Activity Log.txt");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir emptySkin;
    QTemporaryDir logFolder;
    zt::testing::TestSession test;
    RecordingServices services;
    int terminations = 0;
    ShellContext context;
};

}  // namespace zt::ui::testing
