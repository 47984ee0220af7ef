#include "core/source/run_header.h"

namespace zt {

std::string RunHeader::InformationText() const {
    std::string text;
    for (const std::string& line : infoLines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

}  // namespace zt
