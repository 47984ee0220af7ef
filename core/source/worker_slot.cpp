#include "core/source/worker_slot.h"

namespace zt {

void WorkerSlot::StopAndJoin() {
    RequestStop();
    m_gate.Resume();
    Join();
}

bool WorkerSlot::Start(std::function<void()> run) {
    if (Running()) return false;
    Join();
    Begin();
    m_thread = std::thread([this, run = std::move(run)] {
        run();
        End();
    });
    return true;
}

void WorkerSlot::RunHere(const std::function<void()>& run) {
    Begin();
    run();
    End();
}

void WorkerSlot::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

bool WorkerSlot::WaitUntilEnded(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_endMutex);
    return m_ended.wait_for(lock, timeout, [this] { return !Running(); });
}

void WorkerSlot::Begin() { m_running.store(true, std::memory_order_release); }

void WorkerSlot::End() {
    {
        // Under the mutex, so a waiter cannot check the flag and then miss the wake-up.
        std::lock_guard<std::mutex> lock(m_endMutex);
        m_running.store(false, std::memory_order_release);  // the last act: results are now settled
    }
    m_ended.notify_all();
}

}  // namespace zt
