#include "recovery/jobs/scan_job.h"

#include "core/filesystems/named_files.h"

namespace zt::jobs {

ScanJob::ScanJob(ScanJobParts parts, RunLog log, ScanCallbacks callbacks)
    : log_(std::move(log)), found_(parts.found), reader_(parts.source, parts.policy, parts.io) {
    if (parts.fileSystems) {
        pass_ = std::make_unique<fs::FileSystemPass>(reader_);
        fs::ReadWithScan(callbacks, *pass_, parts.types, parts.found);
    }
    driver_ = std::make_unique<ScanDriver>(reader_, parts.types, parts.found, std::move(callbacks), parts.mode);
}

ScanJob::~ScanJob() {
    // The driver stops and awaits its thread before the pass it calls goes.
    driver_.reset();
}

void ScanJob::Start() {
    started_ = true;
    driver_->Start();
}

ScanProgress ScanJob::Progress() const {
    return {driver_->CurrentSector(), reader_.Source().RangeStart, driver_->ScanEndSector(), found_.Count()};
}

std::optional<ScanSummary> ScanJob::Finish() {
    if (summary_) return summary_;
    if (!started_ || driver_->Running()) return std::nullopt;
    driver_->Join();
    summary_ = driver_->Summary();
    if (pass_) {
        const std::vector<FileSystemLine> lines = fs::FileSystemLines(*pass_);
        log_.ScanEnded(*summary_, &lines);
    } else {
        log_.ScanEnded(*summary_, nullptr);
    }
    return summary_;
}

}  // namespace zt::jobs
