// One imaging copy of the chosen source into an image set, as both front
// ends run it: the job owns the sector reader, the copy and its thread,
// publishes the progress a page or a terminal shows, carries the stop and
// the pause (through its worker slot), and writes the end of each copy to
// the activity log. A page may start one copy after another on one job.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/imaging/imaging_copy.h"
#include "core/imaging/imaging_thread.h"
#include "core/source/sector_reader.h"
#include "platform/destination.h"
#include "recovery/jobs/run_log.h"

namespace zt::jobs {

// What a copy reads and writes through; every member is kept by reference
// and must outlive the job.
struct ImagingJobParts {
    const SourceDescriptor& source;
    BadSectorPolicyState& policy;
    platform::RawIo& io;
    platform::Destination& destination;
};

// How a copy ended, as its summary and its message tell it.
struct ImagingEnd {
    ImagingOutcome outcome;
    ImagingSummary summary;
};

class ImagingJob {
public:
    ImagingJob(ImagingJobParts parts, RunLog log);
    ImagingJob(const ImagingJob&) = delete;
    ImagingJob& operator=(const ImagingJob&) = delete;

    // Starts copying the source's range into the set `what` names on the
    // job's thread. False, and nothing started, while a copy still runs.
    bool Start(zt::ImagingJob what);
    // True once the copy has ended; waits up to timeout for it.
    bool WaitUntilEnded(std::chrono::milliseconds timeout) { return thread_.Slot().WaitUntilEnded(timeout); }
    [[nodiscard]] bool Running() const { return thread_.Running(); }
    // Holds the copy at its next chunk while a stop is asked, and stops it.
    [[nodiscard]] WorkerSlot& Slot() { return thread_.Slot(); }
    // Where the copy is and the part it writes; any thread.
    [[nodiscard]] const ImagingProgress& Progress() const { return progress_; }
    [[nodiscard]] const SourceDescriptor& Source() const { return reader_.Source(); }

    // Once a copy has ended, its outcome and the sectors written as zeros,
    // for the message that closes it; before Finish writes its summary.
    [[nodiscard]] ImagingOutcome Outcome() const { return thread_.Outcome(); }
    [[nodiscard]] std::uint64_t UnreadableSectors() const { return reader_.UnreadableSectors(); }

    // Once the copy started last has ended: waits for its thread, writes its
    // summary to the activity log the first time, and returns how it ended.
    // Before the end, or with no copy started, it returns nothing and writes nothing.
    std::optional<ImagingEnd> Finish();

private:
    RunLog log_;
    platform::Destination& destination_;
    SectorReader reader_;
    ImagingProgress progress_;
    std::unique_ptr<ImagingCopy> copy_;
    bool started_ = false;
    bool logged_ = false;  // the copy started last has its summary in the log
    // Last: stopped and joined before the copy it runs goes.
    ImagingThread thread_;
};

}  // namespace zt::jobs
