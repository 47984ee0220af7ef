// The activity-log entries of one run, in the order the run makes them: the
// opening block, the source chosen with its range, the types chosen for a
// scan, and the end of the scan or of the imaging copy. The front ends call
// the steps of the choices the user makes; the ends are written by the scan
// and imaging jobs themselves, so a front end cannot leave one out or write
// it twice.
#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core/imaging/imaging_summary.h"
#include "core/scan/catalogue.h"
#include "core/scan/scan_summary.h"
#include "core/source/run_header.h"
#include "logs/activity_entries.h"
#include "logs/log.h"
#include "settings/settings.h"

namespace zt::jobs {

class RunLog {
public:
    // The context is copied: it names the settings store the log's folder
    // is read from, which must outlive the run log.
    explicit RunLog(LogContext log) : log_(std::move(log)) {}

    // The start line, the window title, the version and the local time: the
    // desktop writes it once when it starts, the command line once per command.
    void Begin(const AppSettings& settings, std::time_t now) const;
    // The run's kind (recovery or imaging), the source chosen and its range.
    void SourceChosen(const RunHeader& header) const;
    // The types ticked for a scan (or the note that all were), followed by
    // "Extended Signatures" when the scan uses them.
    void TypesChosen(bool allTypes, const std::vector<std::string>& tickedTypes, SignatureMode mode) const;

private:
    friend class ScanJob;
    friend class ImagingJob;

    // The summary of a finished scan; with the file systems read beside the
    // carving, the entry naming them follows it.
    void ScanEnded(const ScanSummary& summary, const std::vector<FileSystemLine>* fileSystems) const;
    void ImagingEnded(const ImagingSummary& summary) const;

    void Write(const std::vector<std::string>& entries) const;

    LogContext log_;
};

}  // namespace zt::jobs
