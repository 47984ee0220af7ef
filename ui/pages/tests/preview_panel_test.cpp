// The preview's extractions on their worker: one at a time, the newest
// request winning, and the worker stopped and joined when its owner goes.
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/pages/preview_panel.h"

using namespace zt::ui;

namespace {

// Holds every work function at its start until opened; records the works
// that ran, in order.
class Gate {
public:
    NewestExtraction::Work Work(std::string path, bool succeeds = true) {
        return [this, path = std::move(path), succeeds]() -> std::optional<std::string> {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_arrived;
            m_cv.notify_all();
            m_cv.wait(lock, [this] { return m_open; });
            m_ran.push_back(path);
            if (!succeeds) return std::nullopt;
            return path;
        };
    }
    // True once n works have arrived (and are held, while the gate is shut).
    bool WaitArrived(int n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(5), [this, n] { return m_arrived >= n; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    std::vector<std::string> Ran() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ran;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_arrived = 0;
    bool m_open = false;
    std::vector<std::string> m_ran;
};

struct Shown {
    std::string request;
    std::optional<std::string> path;
};

}  // namespace

class PreviewPanelTest : public QObject {
    Q_OBJECT

private slots:
    void theNewestRequestIsTheOneShown();
    void goingAwayJoinsTheWorkerAndShowsNothing();
};

void PreviewPanelTest::theNewestRequestIsTheOneShown() {
    struct Case {
        const char* name;
        int requests;     // the first runs at once, the rest are made while it is held
        bool lastFails;   // the newest extraction finds nothing
        std::vector<std::string> ran;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases{
        {"one request is shown", 1, false, {"r0"}, {"r0"}},
        {"a second replaces the first", 2, false, {"r0", "r1"}, {"r1"}},
        {"the waiting one is replaced, never run", 4, false, {"r0", "r3"}, {"r3"}},
        {"a failed newest one is still answered", 2, true, {"r0", "r1"}, {"r1"}},
    };
    for (const Case& c : cases) {
        Gate gate;
        NewestExtraction extraction;
        std::vector<Shown> shown;
        for (int i = 0; i < c.requests; ++i) {
            const std::string name = "r" + std::to_string(i);
            const bool fails = c.lastFails && i == c.requests - 1;
            extraction.Request(gate.Work(name, !fails), [&shown, name](const std::optional<std::string>& path) {
                shown.push_back({name, path});
            });
            // Only the first reaches the worker before the gate opens.
            if (i == 0) QVERIFY2(gate.WaitArrived(1), c.name);
            QVERIFY2(extraction.Busy(), c.name);
        }
        gate.Open();
        QTRY_VERIFY2_WITH_TIMEOUT(!extraction.Busy(), c.name, 5000);
        QCOMPARE(gate.Ran(), c.ran);
        std::vector<std::string> names;
        for (const Shown& s : shown) names.push_back(s.request);
        QCOMPARE(names, c.shown);
        const bool succeeded = !c.lastFails;
        QCOMPARE(shown.back().path.has_value(), succeeded);
        if (succeeded) QCOMPARE(*shown.back().path, c.shown.back());
        // Nothing arrives late once it is idle.
        QTest::qWait(20);
        QCOMPARE(shown.size(), c.shown.size());
    }
}

void PreviewPanelTest::goingAwayJoinsTheWorkerAndShowsNothing() {
    Gate gate;
    bool shown = false;
    auto extraction = std::make_unique<NewestExtraction>();
    extraction->Request(gate.Work("held"), [&shown](const std::optional<std::string>&) { shown = true; });
    QVERIFY(gate.WaitArrived(1));
    std::thread opener([&gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gate.Open();
    });
    // Returns only once the held work has run to its end.
    extraction.reset();
    QCOMPARE(gate.Ran(), std::vector<std::string>{"held"});
    opener.join();
    QTest::qWait(20);
    QVERIFY(!shown);
}

QTEST_MAIN(PreviewPanelTest)
#include "preview_panel_test.moc"
