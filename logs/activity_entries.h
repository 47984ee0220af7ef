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

#include "core/imaging/imaging_summary.h"
#include "core/scan/scan_summary.h"
#include "core/source/run_header.h"
#include "logs/log.h"
#include "settings/settings.h"

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

// A file system the scan read beside the carving (only with the option on).
struct FileSystemLine {
    std::string name;  // its kind and where it starts: "FAT32 at sector 2048"
    std::string label;
    std::uint32_t live = 0;
    std::uint32_t deleted = 0;
    std::uint32_t orphan = 0;
    std::vector<std::string> notes;  // what was wrong with it
};

// The one entry after the scan's summary that names each file system found
// and the files it gave: "File Systems :", then a line for each.
std::string FileSystemsEntry(const std::vector<FileSystemLine>& fileSystems);

// Writes each text as its own entry. False when any entry was lost.
bool WriteEntries(const LogContext& context, LogKind kind, const std::vector<std::string>& entries);

}  // namespace zt
