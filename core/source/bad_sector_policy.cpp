#include "core/source/bad_sector_policy.h"

namespace zt {

BadSectorPolicy BadSectorPolicyState::ConsultBadSectorPolicy() {
    BadSectorPolicy current = policy_.load();
    if (current == RetryAll || current == SkipAll) return current;

    std::lock_guard<std::mutex> lock(askMutex_);
    // Another reader may have been answered "for all" while we waited.
    current = policy_.load();
    if (current == RetryAll || current == SkipAll) return current;
    BadSectorPrompt* prompt = prompt_.load();
    if (prompt == nullptr) return current;
    BadSectorPolicy answer = prompt->Ask();
    if (answer < Retry || answer > SkipAll) answer = Skip;
    policy_.store(answer);
    return answer;
}

}  // namespace zt
