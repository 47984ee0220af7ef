#include "core/source/tree_selection.h"

#include <algorithm>
#include <cerrno>

#include "platform/files.h"

namespace zt {

namespace {

constexpr std::string_view kSelect = "Select";
constexpr std::string_view kSelected = "Selected";

bool IsImageItem(std::string_view label) { return label.ends_with(ImageFirstPartName); }
// Items added by path (a raw image file, or a device the listing did not report).
bool IsPathItem(std::string_view label) { return label.starts_with('/'); }

std::string ImageFolderOf(std::string_view imageItem) {
    return std::string(imageItem.substr(0, imageItem.size() - ImageFirstPartName.size()));
}

// Opens the device once, read-only, only to learn that it can be read.
std::optional<SourceChoice> CheckReadable(const std::string& path, platform::RawIo& io) {
    platform::OpenResult opened = io.Open(path);
    if (opened.handle < 0) return CannotOpenChoice(path, opened);
    io.Close(opened.handle);
    return std::nullopt;
}

SelectionOutcome SelectImage(std::string_view label, SelectionContext& context, SourceDescriptor& source) {
    SelectionOutcome outcome;
    outcome.kind = TreeItemKind::Image;
    outcome.rangeAvailable = true;
    source.ImageMode = true;
    SourceChoice choice = ChooseSource(ImageFolderOf(label), source, context.io);
    if (!choice.Ok()) {
        outcome.imageProblem = choice;
        return outcome;
    }
    std::optional<int> n = RegisterImageAsDisk(context.registry, label, choice.sizeBytes);
    if (!n) {
        // No number to describe it under: the lines stay empty and Next
        // refuses the empty range, as for a drive that cannot be described.
        return outcome;
    }
    outcome.info = ShowDiskInformation(*n, context.registry);
    return outcome;
}

// A raw image reads like a disk whose device is the file: it is described
// as a disk of the file's size.
SelectionOutcome SelectRawImage(std::string_view label, SelectionContext& context, SourceDescriptor& source) {
    SelectionOutcome outcome;
    outcome.kind = TreeItemKind::RawImage;
    outcome.rangeAvailable = true;
    source.ImageMode = false;
    SourceDescriptor probe;
    const SourceChoice choice = ChooseSource(std::string(label), probe, context.io);
    if (!choice.Ok()) {
        outcome.imageProblem = choice;
        return outcome;
    }
    if (std::optional<int> n = RegisterImageAsDisk(context.registry, label, choice.sizeBytes)) {
        outcome.info = ShowDiskInformation(*n, context.registry);
    }
    return outcome;
}

}  // namespace

TreeItemKind ClassifyTreeItem(std::string_view label, std::string_view parentLabel) {
    if (parentLabel == DriveGroupLabel) return TreeItemKind::Drive;
    if (parentLabel == DiskGroupLabel || parentLabel == ImageGroupLabel) {
        if (IsImageItem(label)) return TreeItemKind::Image;
        return IsPathItem(label) ? TreeItemKind::RawImage : TreeItemKind::Disk;
    }
    if (label == ImageGroupLabel) return TreeItemKind::ImageGroup;
    if (label == DriveGroupLabel) return TreeItemKind::DriveGroup;
    if (label == DiskGroupLabel) return TreeItemKind::DiskGroup;
    return TreeItemKind::Root;
}

int DiskNumberFromLabel(std::string_view label) {
    std::uint64_t n = LeadingDecimal(label.substr(std::min<std::size_t>(4, label.size())));
    return n >= kMaxDisks ? kMaxDisks : static_cast<int>(n);
}

std::optional<std::string> ImageItemForFolder(const std::string& folder, platform::RawIo& io) {
    if (!io.FindEntryNoCase(folder, std::string(ImageFirstPartName))) return std::nullopt;
    return platform::JoinPath(folder, ImageFirstPartName);
}

SelectionOutcome HandleSelection(std::string_view label, std::string_view parentLabel, SelectionContext& context,
                                 SourceDescriptor& source) {
    SelectionOutcome outcome;
    outcome.kind = ClassifyTreeItem(label, parentLabel);
    switch (outcome.kind) {
        case TreeItemKind::Drive:
            source.ImageMode = false;
            outcome.info = ShowDriveInformation(label, context.drives);
            outcome.rangeAvailable = true;
            return outcome;
        case TreeItemKind::Disk:
            source.ImageMode = false;
            outcome.info = ShowDiskInformation(DiskNumberFromLabel(label), context.registry);
            outcome.rangeAvailable = true;
            return outcome;
        case TreeItemKind::Image:
            return SelectImage(label, context, source);
        case TreeItemKind::RawImage:
            return SelectRawImage(label, context, source);
        case TreeItemKind::ImageGroup:
            return outcome;  // the page asks for a folder
        case TreeItemKind::Root:
        case TreeItemKind::DriveGroup:
        case TreeItemKind::DiskGroup:
            break;
    }
    outcome.info.lines = {" "};
    return outcome;
}

std::optional<std::string_view> SelectionMessage(std::string_view label) {
    if (label == DiskGroupLabel) return "Select Hard Disk";
    if (label == ImageGroupLabel) return "Select Image";
    if (label == RootLabel) return "Select Logical Drive or Hard Disk";
    if (label == DriveGroupLabel) return "Select Logical Drive";
    return std::nullopt;
}

std::string SelectedGroupText(std::string_view parentLabel) {
    std::string text;
    std::size_t pos = 0;
    for (std::size_t found; (found = parentLabel.find(kSelect, pos)) != std::string_view::npos;) {
        text += parentLabel.substr(pos, found - pos);
        text += kSelected;
        pos = found + kSelect.size();
    }
    text += parentLabel.substr(pos);
    return text;
}

std::string RunHeader::InformationText() const {
    std::string text;
    for (const std::string& line : infoLines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

std::string DevicePathForLabel(std::string_view label, SelectionContext& context) {
    if (label.starts_with("Disk")) {
        int n = DiskNumberFromLabel(label);
        return n < kMaxDisks ? context.registry.ReadValue(DeviceRegistryKey, DiskValueName(n)) : std::string();
    }
    std::string name = DriveNameFromLabel(label);
    if (name.empty()) return {};
    std::optional<platform::LogicalDriveEntry> drive = context.drives.FindLogicalDrive(name);
    return drive ? drive->devicePath : std::string();
}

NextOutcome PressNext(const NextRequest& request, SelectionContext& context, SourceDescriptor& source) {
    NextOutcome outcome;
    if (std::optional<std::string_view> message = SelectionMessage(request.label)) {
        outcome.message = *message;
        return outcome;
    }
    RangeProblem range = CheckRange(request.startText, request.endText, source);
    if (range != RangeProblem::None) {
        outcome.message = RangeProblemMessage(range);
        return outcome;
    }

    TreeItemKind kind = ClassifyTreeItem(request.label, request.parentLabel);
    if (kind == TreeItemKind::Image) {
        // Parts may have gone or lost their permissions since the selection.
        SourceDescriptor probe = source;
        SourceChoice choice = ChooseSource(ImageFolderOf(request.label), probe, context.io);
        if (!choice.Ok()) {
            outcome.readProblem = choice;
            return outcome;
        }
    } else if (kind == TreeItemKind::RawImage) {
        // Points slot 0 at the file (or device) and leaves image mode.
        SourceChoice choice = ChooseSource(std::string(request.label), source, context.io);
        if (!choice.Ok()) {
            outcome.readProblem = choice;
            return outcome;
        }
    } else {
        std::string path = DevicePathForLabel(request.label, context);
        if (path.empty()) {
            outcome.readProblem = SourceChoice{};
            outcome.readProblem->problem = SourceProblem::Missing;
            outcome.readProblem->errnoValue = ENOENT;
            outcome.readProblem->problemPath = std::string(request.label);
            return outcome;
        }
        if (std::optional<SourceChoice> problem = CheckReadable(path, context.io)) {
            outcome.readProblem = problem;
            return outcome;
        }
        if (kind == TreeItemKind::Disk) {
            int n = DiskNumberFromLabel(request.label);
            // Every disk keeps its own slot, as the reader's table always held one per disk.
            for (int j = 0; j < kMaxDisks; ++j)
                source.DeviceNames[static_cast<std::size_t>(j)] =
                    context.registry.ReadValue(DeviceRegistryKey, DiskValueName(j));
            source.DeviceIndex = static_cast<std::int16_t>(n);
        } else {
            source.DeviceNames[0] = path;
            source.DeviceIndex = 0;
        }
    }

    outcome.header.mediaRecovery = request.mediaRecovery;
    outcome.header.group = SelectedGroupText(request.parentLabel);
    outcome.header.label = std::string(request.label);
    outcome.header.infoLines = request.infoLines;
    outcome.header.rangeStart = std::string(request.startText);
    outcome.header.rangeEnd = std::string(request.endText);
    return outcome;
}

TreeItem TreeItemForPath(const std::string& path, platform::PathKind kind, SelectionContext& context) {
    if (kind == platform::PathKind::Folder) {
        return {platform::JoinPath(path, ImageFirstPartName), std::string(ImageGroupLabel)};
    }
    if (kind != platform::PathKind::BlockDevice) return {path, std::string(ImageGroupLabel)};
    for (int n = 0; n < kMaxDisks; ++n) {
        if (context.registry.ReadValue(DeviceRegistryKey, DiskValueName(n)) == path) {
            return {DiskValueName(n), std::string(DiskGroupLabel)};
        }
    }
    for (const platform::LogicalDriveEntry& drive : context.drives.ListLogicalDrives()) {
        if (drive.devicePath == path) return {DriveLabel(drive), std::string(DriveGroupLabel)};
    }
    return {path, std::string(DiskGroupLabel)};
}

}  // namespace zt
