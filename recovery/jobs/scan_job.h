// One scan of the chosen source, as both front ends run it: the job owns the
// sector reader, the file-system pass (with that option on) and the scan
// driver, publishes the progress a monitor shows, carries the stop and the
// pause (through its worker slot), and writes the end of the run to the
// activity log once the scan has ended.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/filesystems/file_system_pass.h"
#include "core/scan/scan_driver.h"
#include "core/source/sector_reader.h"
#include "recovery/jobs/run_log.h"

namespace zt::jobs {

// What a scan reads and fills; every member is kept by reference and must
// outlive the job.
struct ScanJobParts {
    const SourceDescriptor& source;
    BadSectorPolicyState& policy;
    platform::RawIo& io;
    // Its size stays as it is while the scan runs.
    TypeDefinitionList& types;
    FoundFileList& found;
    SignatureMode mode = SignatureMode::Standard;
    // Also read the FAT and exFAT file systems of the range.
    bool fileSystems = false;
};

// Where a running scan is, for a progress display; any thread.
struct ScanProgress {
    std::uint64_t current = 0;
    std::uint64_t rangeStart = 0;
    std::uint64_t end = 0;  // where the scan stops: the range's end
    std::size_t found = 0;
};

class ScanJob {
public:
    ScanJob(ScanJobParts parts, RunLog log, ScanCallbacks callbacks = {});
    // Asks a running scan to stop and waits for it.
    ~ScanJob();
    ScanJob(const ScanJob&) = delete;
    ScanJob& operator=(const ScanJob&) = delete;

    // Starts the scan on its own thread. A job scans once.
    void Start();
    // True once the scan has ended; waits up to timeout for it.
    bool WaitUntilEnded(std::chrono::milliseconds timeout) { return driver_->WaitUntilEnded(timeout); }
    [[nodiscard]] bool Running() const { return driver_->Running(); }
    // Holds the scan at its next chunk while a stop is asked, and stops it.
    [[nodiscard]] WorkerSlot& Slot() { return driver_->Slot(); }
    [[nodiscard]] ScanProgress Progress() const;
    // Files found so far of the type at this position of the type list.
    [[nodiscard]] std::int32_t FoundCount(std::size_t typeIndex) const { return driver_->FoundCount(typeIndex); }

    // Once the scan has ended: waits for its thread, writes the summary (and
    // the file systems read) to the activity log the first time, and returns
    // the summary. Before the end, or before the start, it returns nothing
    // and writes nothing.
    std::optional<ScanSummary> Finish();
    [[nodiscard]] bool Finished() const { return summary_.has_value(); }

    [[nodiscard]] const ScanDriver& Driver() const { return *driver_; }
    // The file systems read beside the carving; null with that option off.
    [[nodiscard]] const fs::FileSystemPass* FileSystems() const { return pass_.get(); }

private:
    RunLog log_;
    FoundFileList& found_;
    SectorReader reader_;
    // Before the driver: the scan's thread uses it until the driver is gone.
    std::unique_ptr<fs::FileSystemPass> pass_;
    std::unique_ptr<ScanDriver> driver_;
    bool started_ = false;
    std::optional<ScanSummary> summary_;
};

}  // namespace zt::jobs
