#include "recovery/jobs/run_log.h"

#include "core/scan/type_selection.h"

namespace zt::jobs {

void RunLog::Write(const std::vector<std::string>& entries) const {
    // A lost entry is not reported: the run goes on as it would without a log.
    (void)WriteEntries(log_, LogKind::Activity, entries);
}

void RunLog::Begin(const AppSettings& settings, std::time_t now) const { Write(StartBlockEntries(settings, now)); }

void RunLog::SourceChosen(const RunHeader& header) const { Write(RunHeaderEntries(header)); }

void RunLog::TypesChosen(bool allTypes, const std::vector<std::string>& tickedTypes, SignatureMode mode) const {
    std::vector<std::string> entries = SelectedTypesEntries(allTypes, tickedTypes);
    if (mode == SignatureMode::Extended) entries.emplace_back(ExtendedSignaturesEntry);
    Write(entries);
}

void RunLog::ScanEnded(const ScanSummary& summary, const std::vector<FileSystemLine>* fileSystems) const {
    Write(ScanSummaryEntries(summary));
    if (fileSystems != nullptr) Write({FileSystemsEntry(*fileSystems)});
}

void RunLog::ImagingEnded(const ImagingSummary& summary) const { Write(ImagingSummaryEntries(summary)); }

}  // namespace zt::jobs
