// What a finished imaging run reports: where the copy ended, the part it
// wrote last, how it ended, and how many sectors were written as zeros.
// Built from the copy's final state (ImagingRunSummary); written to the
// activity log and shown by whichever front end ran the copy.
#pragma once

#include <cstdint>
#include <string>

namespace zt {

struct ImagingSummary {
    std::uint64_t currentSector = 0;  // where the copy ended
    std::uint64_t totalSectors = 0;   // the end of the range
    std::string lastFile;             // the part written last
    bool aborted = false;
    std::string failure;  // why imaging failed; empty when it did not
    std::uint64_t unreadableSectors = 0;  // written as zeros because they could not be read
};

}  // namespace zt
