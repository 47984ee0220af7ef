// The log entries of a run of the program: the start block, the run
// header written when the source is chosen, and the summary at the end of a
// scan or an imaging run (the chosen file types' entries come from
// core/scan/type_selection). The desktop pages and the command line write
// the same entries through these functions, one WriteLog per entry.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/imaging/imaging_summary.h"
#include "core/scan/scan_summary.h"
#include "core/source/run_header.h"
#include "logs/log.h"

namespace zt {

inline constexpr char kStartBlockLine[] = "-----------------------Start--------------------------";

// The four entries a run of the program (and the first save of a run)
// begins with: the start line, WindowTitle, VersionText and the local time.
std::vector<std::string> StartBlockEntries(const AppSettings& settings, std::time_t now);

std::vector<std::string> RunHeaderEntries(const RunHeader& header);

// The end of a scan; an entry with the unreadable sectors follows the usual
// ones only when there were any.
std::vector<std::string> ScanSummaryEntries(const ScanSummary& summary);

// "Unreadable Sectors : 12 (given as zeros)".
std::string UnreadableSectorsEntry(std::uint64_t sectors);

// The end of an imaging run: heading, position, last part, and whether the
// copy completed, was aborted or failed (with the reason); then the
// unreadable sectors when there were any.
std::vector<std::string> ImagingSummaryEntries(const ImagingSummary& summary);

// Writes each text as its own entry. False when any entry was lost.
bool WriteEntries(const LogContext& context, LogKind kind, const std::vector<std::string>& entries);

}  // namespace zt
