// Answers the bad-sector question from a script and counts the questions.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>

#include "core/source/bad_sector_policy.h"

namespace zt::testing {

class ScriptedPrompt final : public BadSectorPrompt {
public:
    explicit ScriptedPrompt(std::deque<BadSectorPolicy> answers = {}) : answers_(std::move(answers)) {}

    BadSectorPolicy Ask() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++asked_;
        if (answers_.empty()) return Skip;  // like closing the question
        BadSectorPolicy a = answers_.front();
        answers_.pop_front();
        return a;
    }
    void Script(std::deque<BadSectorPolicy> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_ = std::move(answers);
    }
    int Asked() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }

private:
    mutable std::mutex mutex_;
    std::deque<BadSectorPolicy> answers_;
    int asked_ = 0;
};

}  // namespace zt::testing
