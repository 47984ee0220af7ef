#include "cli/job_wait.h"

#include "platform/terminal.h"

namespace zt::cli {

bool WaitForJob(TerminalLines& lines, const JobWait& job) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0 = Clock::now();
    const bool showProgress = platform::StderrIsTerminal();
    auto seconds = [t0](Clock::time_point now) { return std::chrono::duration<double>(now - t0).count(); };
    Clock::time_point nextProgress = t0;
    InterruptWatch interrupt(lines, job.stopNotice, job.confirmStop);

    // A Ctrl+C that stopped the job before this one is spent; the next one stops this job.
    platform::CatchInterrupt();
    platform::ClearInterrupt();
    if (!job.start()) return false;
    while (!job.ended(job.step)) {
        interrupt.Poll(job.slot);
        const Clock::time_point now = Clock::now();
        if (showProgress && now >= nextProgress) {
            nextProgress = now + job.progressEvery;
            lines.ShowProgress(job.progressLine(seconds(now)));
        }
    }
    job.slot.Join();
    if (showProgress) {
        lines.ShowProgress(job.progressLine(seconds(Clock::now())));
        lines.EndProgress();
    }
    return true;
}

}  // namespace zt::cli
