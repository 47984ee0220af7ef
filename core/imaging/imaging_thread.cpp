#include "core/imaging/imaging_thread.h"

namespace zt {

bool ImagingThread::Start(ImagingCopy& copy, ImagingJob job) {
    if (Running()) return false;
    slot_.ClearStop();
    return slot_.Start([this, &copy, job = std::move(job)] { outcome_ = copy.Run(job); });
}

ImagingOutcome ImagingThread::Outcome() const {
    if (Running()) return {};
    return outcome_;
}

ImagingSummary ImagingRunSummary(const ImagingThread& thread, const ImagingProgress& progress,
                                 const SectorReader& reader) {
    const ImagingOutcome outcome = thread.Outcome();
    return {progress.CurrentSector.load(),
            reader.Source().RangeEnd,
            progress.LastFileName(),
            outcome.result == ImagingResult::Aborted,
            ImagingFailureReason(outcome),
            reader.UnreadableSectors()};
}

}  // namespace zt
