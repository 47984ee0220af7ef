// The one loop every pictora-cli command waits in while its job runs on a
// thread of its own: it shows the progress line (only where stderr is a
// terminal) and turns Ctrl+C into a stop of the job.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "cli/common.h"
#include "core/source/worker_slot.h"

namespace zt::cli {

struct JobWait {
    // The slot Ctrl+C holds the job at while it asks, and stops.
    WorkerSlot& slot;
    // Starts the job; false when nothing was started (then nothing is awaited).
    std::function<bool()> start{};
    // Waits at most the given time; true once the job has ended.
    std::function<bool(std::chrono::milliseconds)> ended{};
    // The progress line, given the seconds since the wait began.
    std::function<std::string(double seconds)> progressLine{};
    // How long one wait for the end lasts before Ctrl+C is looked at again.
    std::chrono::milliseconds step{50};
    // The progress line is renewed at most this often (zero: at every step).
    std::chrono::milliseconds progressEvery{1000};
    // Printed once a stop was requested; empty prints nothing.
    std::string stopNotice{};
    // Asked before a stop, with the job held; empty stops at once.
    std::function<bool()> confirmStop{};
};

// Starts the job and waits for its thread to end; the progress line shows
// its last state and is ended before returning. A Ctrl+C before the start
// (one that stopped an earlier job) is spent. False when nothing was started.
bool WaitForJob(TerminalLines& lines, const JobWait& job);

}  // namespace zt::cli
