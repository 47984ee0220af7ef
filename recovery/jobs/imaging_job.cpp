#include "recovery/jobs/imaging_job.h"

namespace zt::jobs {

ImagingJob::ImagingJob(ImagingJobParts parts, RunLog log)
    : log_(std::move(log)), destination_(parts.destination), reader_(parts.source, parts.policy, parts.io) {
    // A page shows the range's end before its first copy.
    progress_.TotalSectors.store(reader_.Source().RangeEnd);
}

bool ImagingJob::Start(zt::ImagingJob what) {
    if (thread_.Running()) return false;
    copy_ = std::make_unique<ImagingCopy>(reader_, destination_, progress_, thread_.Slot());
    // A display that looks before the copy's first step shows this run, not the last.
    progress_.CurrentSector.store(reader_.Source().RangeStart);
    progress_.SetLastFileName({});
    if (!thread_.Start(*copy_, std::move(what))) return false;
    started_ = true;
    logged_ = false;
    return true;
}

std::optional<ImagingEnd> ImagingJob::Finish() {
    if (!started_ || thread_.Running()) return std::nullopt;
    thread_.Join();
    ImagingEnd end{thread_.Outcome(), ImagingRunSummary(thread_, progress_, reader_)};
    if (!logged_) {
        logged_ = true;
        log_.ImagingEnded(end.summary);
    }
    return end;
}

}  // namespace zt::jobs
