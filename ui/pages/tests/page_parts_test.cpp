// The parts of the results page: the preview's extractions on their worker
// (one at a time, the newest request winning, the worker stopped and joined
// when its owner goes) and the scan monitor's counters and states.
#include <QProgressBar>
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

#include "ui/controls/CButtonST.h"
#include "ui/pages/preview_panel.h"
#include "ui/pages/scan_animation.h"
#include "ui/pages/scan_monitor.h"
#include "ui/skin/CBDialog.h"

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

class PagePartsTest : public QObject {
    Q_OBJECT

private slots:
    void theNewestRequestIsTheOneShown();
    void goingAwayJoinsTheWorkerAndShowsNothing();
    void monitorCountsInSectorsBeyond32Bits();
    void monitorStandsStillForTheQuestionAndGoesAtTheEnd();
};

void PagePartsTest::theNewestRequestIsTheOneShown() {
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

void PagePartsTest::goingAwayJoinsTheWorkerAndShowsNothing() {
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

void PagePartsTest::monitorCountsInSectorsBeyond32Bits() {
    struct Case {
        std::int64_t current;
        std::int64_t end;
        std::int64_t found;
        QString position;
        int percent;
    };
    const std::vector<Case> cases{
        {0, 2048, 0, "0 / 2048", 0},
        {1024, 2048, 3, "1024 / 2048", 50},
        {2048, 2048, 24, "2048 / 2048", 100},
        // A range ending at sector 0 is scanned at once: all of it is done.
        {0, 0, 0, "0 / 0", 100},
        // A 4 TiB disk: the sector numbers and the share need 64 bits.
        {4294967296, 8589934592, 70000, "4294967296 / 8589934592", 50},
        {8589934591, 8589934592, 70001, "8589934591 / 8589934592", 99},
    };
    CBDialog page(QString{});
    ScanMonitor monitor(page);
    for (const Case& c : cases) {
        monitor.Show(c.current, c.end, c.found);
        QCOMPARE(monitor.PositionText(), c.position);
        QCOMPARE(monitor.CountText(), QString::number(c.found));
        QCOMPARE(monitor.ProgressBar()->value(), c.percent);
    }
}

void PagePartsTest::monitorStandsStillForTheQuestionAndGoesAtTheEnd() {
    CBDialog page(QString{});
    ScanMonitor monitor(page);
    int counters = 0;
    int trees = 0;
    monitor.Start([&counters] { ++counters; }, [&trees] { ++trees; });
    QVERIFY(monitor.Animation()->Running());
    QTRY_VERIFY_WITH_TIMEOUT(trees >= 1, 3000);

    monitor.Hold();
    QVERIFY(!monitor.Animation()->Running());
    const int countersHeld = counters;
    const int treesHeld = trees;
    QTest::qWait(ScanMonitor::CountersMs + 200);
    QCOMPARE(counters, countersHeld);
    QCOMPARE(trees, treesHeld);

    monitor.Release();
    QVERIFY(monitor.Animation()->Running());
    QTRY_VERIFY_WITH_TIMEOUT(trees > treesHeld, 3000);

    page.show();
    monitor.ShowStopping();
    QVERIFY(monitor.ProgressBar()->isHidden());
    QVERIFY(monitor.StopButton()->isHidden());
    QVERIFY(monitor.Animation()->isVisible());

    monitor.EndCounters();
    monitor.EndTree();
    monitor.Close();
    QVERIFY(!monitor.Animation()->Running());
    QVERIFY(monitor.Animation()->isHidden());
    const int countersEnded = counters;
    const int treesEnded = trees;
    QTest::qWait(ScanMonitor::CountersMs + 200);
    QCOMPARE(counters, countersEnded);
    QCOMPARE(trees, treesEnded);
}

QTEST_MAIN(PagePartsTest)
#include "page_parts_test.moc"
