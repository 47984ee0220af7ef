// What the reader does when a place of the source cannot be read.
//
// The answer is kept for the whole process and never reset: after RetryAll or
// SkipAll nobody is asked again, in this run or any later one.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zt {

enum BadSectorPolicy : std::int32_t {
    Retry = 0,
    Skip = 1,
    RetryAll = 2,
    SkipAll = 3,
};

inline bool IsRetry(BadSectorPolicy p) { return p == Retry || p == RetryAll; }

// The question put to the user. The desktop program shows a dialog, the
// command line asks on the terminal, tests answer from a script.
class BadSectorPrompt {
public:
    virtual ~BadSectorPrompt() = default;
    // Called on the reading thread; blocks until the user answers. Closing the
    // question without an answer must return Skip.
    virtual BadSectorPolicy Ask() = 0;
};

class BadSectorPolicyState {
public:
    explicit BadSectorPolicyState(BadSectorPrompt* prompt = nullptr) : prompt_(prompt) {}

    // Installs the prompt (at start-up, before any worker reads).
    void SetPrompt(BadSectorPrompt* prompt) { prompt_.store(prompt); }
    // Sets the answer directly, as a command-line choice of retry or skip does.
    void Set(BadSectorPolicy p) { policy_.store(p); }
    BadSectorPolicy Get() const { return policy_.load(); }

    // Returns the standing answer when it is RetryAll or SkipAll; otherwise
    // asks the prompt, stores the answer and returns it. One question at a
    // time: a second reader that fails meanwhile waits and then sees the new
    // answer. Without a prompt the current answer stands.
    BadSectorPolicy ConsultBadSectorPolicy();

private:
    std::atomic<BadSectorPolicy> policy_{Retry};
    std::atomic<BadSectorPrompt*> prompt_;
    std::mutex askMutex_;
};

}  // namespace zt
