// The run header: what the activity log and the next page are told about the
// source chosen on the source page (or named on the command line). It is made
// from the chosen source (core/source/source_ref) with the tree's words
// (ui/words); logs/ writes it.
#pragma once

#include <string>
#include <vector>

namespace zt {

struct RunHeader {
    bool mediaRecovery = true;  // "MEDIA RECOVERY", else "DISK IMAGING"
    std::string group;          // "Selected Logical Drive", "Selected Disk", "Selected Image"
    std::string label;          // the chosen item, for example "DATA (sdb1)"
    std::vector<std::string> infoLines;  // the source's information lines
    std::string rangeStart;     // the range as the user gave it
    std::string rangeEnd;
    // The information text handed to the imaging page: the lines joined by CR LF.
    std::string InformationText() const;
};

}  // namespace zt
