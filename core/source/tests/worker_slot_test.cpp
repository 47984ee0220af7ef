#include "core/source/worker_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace zt {
namespace {

using namespace std::chrono_literals;

// A worker that counts boundaries until it is told to stop or reaches limit.
struct CountingWork {
    WorkerSlot& slot;
    std::atomic<int> boundaries{0};
    int limit = 1'000'000'000;
    void operator()() {
        while (boundaries.load() < limit) {
            if (slot.PassBoundary()) return;
            boundaries.fetch_add(1);
        }
    }
};

// Waits (bounded) until the worker sits at the closed gate.
bool WaitHeld(WorkerSlot& slot) {
    for (int i = 0; i < 5000 && !slot.Gate().Holding(); ++i) std::this_thread::sleep_for(1ms);
    return slot.Gate().Holding();
}

TEST(WorkerSlotTest, HeldWorkerStandsStillAndGoesOnWhenReleased) {
    WorkerSlot slot;
    CountingWork work{slot};
    {
        PauseGate::Hold hold(slot.Gate());
        ASSERT_TRUE(slot.Start([&work] { work(); }));
        ASSERT_TRUE(WaitHeld(slot));
        const int before = work.boundaries.load();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(work.boundaries.load(), before);
        EXPECT_TRUE(slot.Running());
        EXPECT_FALSE(slot.Start([] {}));  // one run at a time
    }
    while (work.boundaries.load() < 1000) std::this_thread::yield();
    slot.RequestStop();
    EXPECT_TRUE(slot.WaitUntilEnded(10s));
    slot.Join();
    EXPECT_FALSE(slot.Running());
}

TEST(WorkerSlotTest, AskToStopHoldsWhileAskingAndStopsOnlyOnYes) {
    WorkerSlot slot;
    CountingWork work{slot};
    ASSERT_TRUE(slot.Start([&work] { work(); }));

    bool heldWhileAsked = false;
    EXPECT_FALSE(AskToStop(slot, [&] {
        heldWhileAsked = WaitHeld(slot);
        return false;
    }));
    EXPECT_TRUE(heldWhileAsked);
    EXPECT_FALSE(slot.StopRequested());
    EXPECT_FALSE(slot.WaitUntilEnded(20ms));  // released, still working
    EXPECT_FALSE(slot.Gate().Holding());

    EXPECT_TRUE(AskToStop(slot, [] { return true; }));
    EXPECT_TRUE(slot.WaitUntilEnded(10s));
    slot.Join();
}

TEST(WorkerSlotTest, AskToStopAfterTheWorkerEndedRequestsNothing) {
    WorkerSlot slot;
    CountingWork work{slot, {}, 10};
    slot.RunHere([&work] { work(); });
    EXPECT_EQ(work.boundaries.load(), 10);
    EXPECT_FALSE(slot.Running());
    EXPECT_FALSE(AskToStop(slot, [] { return true; }));
    EXPECT_FALSE(slot.StopRequested());
    // The gate is open again: a later run is not held.
    ASSERT_TRUE(slot.Start([&work] { work.limit = 20; work(); }));
    EXPECT_TRUE(slot.WaitUntilEnded(10s));
    slot.Join();
    EXPECT_EQ(work.boundaries.load(), 20);
}

TEST(WorkerSlotTest, DestroyingTheSlotEndsAHeldWorker) {
    std::atomic<int> boundaries{0};
    auto slot = std::make_unique<WorkerSlot>();
    slot->Gate().Pause();
    WorkerSlot& s = *slot;
    ASSERT_TRUE(s.Start([&] {
        while (!s.PassBoundary()) boundaries.fetch_add(1);
    }));
    ASSERT_TRUE(WaitHeld(s));
    slot.reset();  // would hang if the gate stayed closed
    EXPECT_EQ(boundaries.load(), 0);
}

}  // namespace
}  // namespace zt
