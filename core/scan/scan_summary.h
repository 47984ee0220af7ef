// What a finished scan reports: where it ended, what it found, when it ran,
// whether a stop cut it short, and how many sectors could not be read. Built
// by the scan driver from its final state; written to the activity log and
// shown by whichever front end ran the scan.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace zt {

struct ScanSummary {
    std::int64_t currentSector = 0;  // where the scan ended
    std::int64_t endSector = 0;      // the end of the range
    std::int64_t filesFound = 0;
    std::time_t startTime = 0;
    std::time_t endTime = 0;
    bool aborted = false;
    std::uint64_t unreadableSectors = 0;  // read as zeros because they could not be read
    // Where the source became shorter or went away: the scan ended there, a failure.
    std::optional<std::uint64_t> sourceEndedAt{};
};

}  // namespace zt
