// Questions asked from a worker thread reach the user-interface thread, and
// the worker gets the answer back.
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

#include "ui/base/ui_thread.h"

using namespace zt::ui;

class BaseTest : public QObject {
    Q_OBJECT

private slots:
    void workerQuestionRunsOnTheUiThreadAndWaits();
    void questionOnTheUiThreadRunsInPlace();
};

void BaseTest::workerQuestionRunsOnTheUiThreadAndWaits() {
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> askedOnUiThread{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> voidAsked{false};
    int answer = 0;
    std::thread worker([&] {
        // A move-only answer without a default: the helper must not need one.
        std::unique_ptr<int> got = AskOnUiThread([&] {
            askedOnUiThread = std::this_thread::get_id() == uiThread;
            return std::make_unique<int>(42);
        });
        answer = *got;
        AskOnUiThread([&] { voidAsked = std::this_thread::get_id() == uiThread; });
        answered = true;
    });
    // The worker cannot go on until this thread runs its events.
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 10000);
    worker.join();
    QVERIFY(askedOnUiThread.load());
    QVERIFY(voidAsked.load());
    QCOMPARE(answer, 42);
}

void BaseTest::questionOnTheUiThreadRunsInPlace() {
    // A blocking queued call to the own thread would hang here.
    QCOMPARE(AskOnUiThread([] { return 7; }), 7);
}

QTEST_MAIN(BaseTest)
#include "base_test.moc"
