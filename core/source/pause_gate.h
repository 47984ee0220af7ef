// Holds a worker (scan, imaging copy, saving) at its next chunk or file
// boundary while the user is asked whether to stop it, so the worker cannot
// finish between question and answer.
#pragma once

#include <condition_variable>
#include <mutex>

namespace zt {

class PauseGate {
public:
    // Closes the gate for as long as it lives; reopens it on every path out.
    class Hold {
    public:
        explicit Hold(PauseGate& gate) : gate_(gate) { gate_.Pause(); }
        ~Hold() { gate_.Resume(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        PauseGate& gate_;
    };

    void Pause() {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = true;
    }
    void Resume() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            paused_ = false;
        }
        opened_.notify_all();
    }
    // Called by the worker at each boundary: waits while the gate is closed.
    void PassThrough() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!paused_) return;
        ++holding_;
        opened_.wait(lock, [this] { return !paused_; });
        --holding_;
    }
    // True while a worker is held at the gate.
    bool Holding() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return holding_ > 0;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable opened_;
    bool paused_ = false;
    int holding_ = 0;
};

}  // namespace zt
