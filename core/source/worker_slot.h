// The slot every worker thread keeps (the scan, the saving run, the imaging
// copy, and the results page's list fill and preview extraction): it owns
// the thread, publishes whether the worker still runs, and carries the stop
// flag and the pause gate that the worker looks at at each chunk or file
// boundary. The work itself is a synchronous function that a test can also
// run on its own thread through RunHere().
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "core/source/pause_gate.h"

namespace zt {

class WorkerSlot {
public:
    WorkerSlot() = default;
    // A slot going away takes its worker with it (StopAndJoin).
    ~WorkerSlot() { StopAndJoin(); }
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // Starts run on a thread of its own. Returns false, and starts nothing,
    // while an earlier run is still going. Whatever run uses must outlive it.
    [[nodiscard]] bool Start(std::function<void()> run);
    // Runs run on the calling thread, published as running meanwhile, as Start would.
    void RunHere(const std::function<void()>& run);

    // Set from Start (or RunHere) until the worker's last act; any thread.
    [[nodiscard]] bool Running() const { return m_running.load(std::memory_order_acquire); }
    // Waits for the thread started by Start, if there is one.
    void Join();
    // What an owner going away does: asks the worker to stop, lets it past
    // the gate and waits for it.
    void StopAndJoin();
    // Waits until the run has ended or the timeout has passed; true when it
    // has ended. Lets a front end wake at once at the end instead of polling.
    bool WaitUntilEnded(std::chrono::milliseconds timeout);

    // Honoured at the worker's next boundary; any thread.
    void RequestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }
    [[nodiscard]] bool StopRequested() const { return m_stopRequested.load(std::memory_order_relaxed); }
    // The request itself, for work too deep to call back (a format walk's reads).
    [[nodiscard]] const std::atomic<bool>& StopFlag() const { return m_stopRequested; }
    // A slot that runs more than once clears the request of the last run.
    void ClearStop() { m_stopRequested.store(false, std::memory_order_relaxed); }

    // Closing the gate (PauseGate::Hold) holds the worker at its next boundary.
    [[nodiscard]] PauseGate& Gate() { return m_gate; }
    // Called by the worker at each chunk or file boundary: waits while the
    // gate is closed, then says whether to stop. A stop set while the worker
    // was held is seen at once.
    [[nodiscard]] bool PassBoundary() {
        m_gate.PassThrough();
        return StopRequested();
    }

private:
    void Begin();
    void End();

    std::thread m_thread;
    PauseGate m_gate;
    std::mutex m_endMutex;
    std::condition_variable m_ended;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
};

// A Stop button, or Ctrl+C: holds the worker at its next boundary while
// ask() is open ("Are you sure you want to stop this process?"), so it
// cannot finish between question and answer; on a yes, and only when the
// worker still runs, sets its stop flag. The gate reopens on every path out.
// Returns true when a stop was requested.
template <typename Ask>
bool AskToStop(WorkerSlot& slot, Ask&& ask) {
    PauseGate::Hold hold(slot.Gate());
    if (!ask()) return false;
    // The worker may have ended on its own before the gate closed.
    if (!slot.Running()) return false;
    slot.RequestStop();
    return true;
}

}  // namespace zt
