#include "ui/words/source_words.h"

#include <algorithm>
#include <cctype>

namespace zt {

namespace {

constexpr std::string_view kSelect = "Select";
constexpr std::string_view kSelected = "Selected";
constexpr std::string_view kDiskWord = "Disk";

}  // namespace

std::string_view GroupLabel(const SourceRef& ref) {
    return std::visit(Overloaded{
                          [](const LogicalDriveRef&) { return DriveGroupLabel; },
                          [](const DiskRef&) { return DiskGroupLabel; },
                          [](const ImageSetRef&) { return ImageGroupLabel; },
                          [](const RawImageRef&) { return ImageGroupLabel; },
                          [](const DevicePathRef&) { return DiskGroupLabel; },
                      },
                      ref);
}

std::string SelectedGroupText(std::string_view groupLabel) {
    std::string text;
    std::size_t pos = 0;
    for (std::size_t found; (found = groupLabel.find(kSelect, pos)) != std::string_view::npos;) {
        text += groupLabel.substr(pos, found - pos);
        text += kSelected;
        pos = found + kSelect.size();
    }
    text += groupLabel.substr(pos);
    return text;
}

std::string SourceLabel(const SourceRef& ref, DriveProbe& drives) {
    return std::visit(Overloaded{
                          [&drives](const LogicalDriveRef& drive) {
                              const std::optional<platform::LogicalDriveEntry> entry =
                                  drives.FindLogicalDrive(drive.name);
                              return entry ? DriveLabel(*entry) : drive.name;
                          },
                          [](const DiskRef& disk) { return DiskValueName(disk.number); },
                          [](const ImageSetRef& set) { return set.firstPart; },
                          [](const RawImageRef& file) { return file.path; },
                          [](const DevicePathRef& device) { return device.path; },
                      },
                      ref);
}

int DiskNumberFromLabel(std::string_view label) {
    std::uint64_t n = LeadingDecimal(label.substr(std::min<std::size_t>(kDiskWord.size(), label.size())));
    return n >= kMaxDisks ? kMaxDisks : static_cast<int>(n);
}

std::string DriveNameFromLabel(std::string_view label) {
    if (label.empty() || label.back() != ')') return {};
    std::size_t open = label.rfind('(');
    if (open == std::string_view::npos) return {};
    return std::string(label.substr(open + 1, label.size() - open - 2));
}

std::optional<SourceRef> SourceRefForLabel(std::string_view text) {
    if (text.starts_with(kDiskWord) && text.size() > kDiskWord.size() &&
        std::all_of(text.begin() + static_cast<std::ptrdiff_t>(kDiskWord.size()), text.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; }))
        return DiskRef{DiskNumberFromLabel(text)};
    if (text.find('/') != std::string_view::npos) return std::nullopt;
    std::string name = DriveNameFromLabel(text);
    if (name.empty()) return std::nullopt;
    return LogicalDriveRef{std::move(name)};
}

RunHeader MakeRunHeader(const ChosenSource& chosen, std::string label) {
    RunHeader header;
    header.mediaRecovery = chosen.mediaRecovery;
    header.group = SelectedGroupText(GroupLabel(chosen.ref));
    header.label = std::move(label);
    header.infoLines = chosen.infoLines;
    header.rangeStart = chosen.rangeStart;
    header.rangeEnd = chosen.rangeEnd;
    return header;
}

}  // namespace zt
