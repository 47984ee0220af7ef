// The slot of the imaging copy thread: the worker slot the copy honours
// (stop flag, pause gate), and the outcome of the run for whoever ends it.
#pragma once

#include "core/imaging/imaging_copy.h"
#include "core/imaging/imaging_summary.h"
#include "core/source/worker_slot.h"

namespace zt {

class ImagingThread {
public:
    // Starts copy.Run(job) on the slot's thread. Returns false, and starts
    // nothing, while an earlier run is still going. copy must be built over
    // Slot() and outlive the run.
    [[nodiscard]] bool Start(ImagingCopy& copy, ImagingJob job);

    // The slot an ImagingCopy is built over; AskToStop holds and stops it.
    [[nodiscard]] WorkerSlot& Slot() { return slot_; }
    // Set from Start until the worker's last act.
    [[nodiscard]] bool Running() const { return slot_.Running(); }
    // The finished run's outcome; only meaningful once Running() is false.
    [[nodiscard]] ImagingOutcome Outcome() const;
    // Waits for the worker, if one was started.
    void Join() { slot_.Join(); }

private:
    // Written by the worker before the slot clears its running flag, read after.
    ImagingOutcome outcome_;
    WorkerSlot slot_;  // last: destroyed (stopped and joined) before the outcome
};

// The finished run's summary: where the copy ended out of the reader's range,
// the part written last, whether it was aborted or why it failed, and the
// sectors written as zeros. Only meaningful once the thread has ended.
[[nodiscard]] ImagingSummary ImagingRunSummary(const ImagingThread& thread, const ImagingProgress& progress,
                                               const SectorReader& reader);

}  // namespace zt
