#include "core/source/source_ref.h"

#include <cerrno>

#include "platform/files.h"

namespace zt {

namespace {

// Opens the device once, read-only, only to learn that it can be read.
std::optional<SourceChoice> CheckReadable(const std::string& path, platform::RawIo& io) {
    platform::OpenResult opened = io.Open(path);
    if (opened.handle < 0) return CannotOpenChoice(path, opened);
    io.Close(opened.handle);
    return std::nullopt;
}

// An image reads like a disk: it is examined, registered as a pseudo-disk
// under the device key and described as that disk. The registered model is
// the image's path.
SourceDescription DescribeImage(const std::string& readPath, const std::string& modelPath,
                                SelectionContext& context) {
    SourceDescription description;
    SourceDescriptor probe;
    const SourceChoice choice = ChooseSource(readPath, probe, context.io);
    if (!choice.Ok()) {
        description.problem = choice;
        return description;
    }
    if (std::optional<int> n = RegisterImageAsDisk(context.registry, modelPath, choice.sizeBytes)) {
        description.info = ShowDiskInformation(*n, context.registry);
    }
    return description;
}

// Drives and disks are read through the device their listing names; the
// other kinds by their own path, examined afresh at Next.
bool ReadThroughListing(const SourceRef& ref) {
    return std::visit(Overloaded{
                          [](const LogicalDriveRef&) { return true; },
                          [](const DiskRef&) { return true; },
                          [](const ImageSetRef&) { return false; },
                          [](const RawImageRef&) { return false; },
                          [](const DevicePathRef&) { return false; },
                      },
                      ref);
}

// Nothing to read any more: the drive or disk is not (or no longer) listed.
SourceChoice MissingChoice() {
    SourceChoice choice;
    choice.problem = SourceProblem::Missing;
    choice.errnoValue = ENOENT;
    return choice;
}

// Points the descriptor at a drive or a disk, once it is known to be readable.
std::optional<SourceChoice> ChooseDevice(const SourceRef& ref, SelectionContext& context, SourceDescriptor& source) {
    const std::string path = SourcePath(ref, context);
    if (path.empty()) return MissingChoice();
    if (std::optional<SourceChoice> problem = CheckReadable(path, context.io)) return problem;
    source.ImageMode = false;
    if (const DiskRef* disk = std::get_if<DiskRef>(&ref)) {
        // Every disk keeps its own slot, as the reader's table always held one per disk.
        for (int j = 0; j < kMaxDisks; ++j)
            source.DeviceNames[static_cast<std::size_t>(j)] =
                context.registry.ReadValue(DeviceRegistryKey, DiskValueName(j));
        source.DeviceIndex = static_cast<std::int16_t>(disk->number);
    } else {
        source.DeviceNames[0] = path;
        source.DeviceIndex = 0;
    }
    return std::nullopt;
}

}  // namespace

std::string ImageSetRef::Folder() const {
    return firstPart.substr(0, firstPart.size() - std::min(firstPart.size(), ImageFirstPartName.size()));
}

std::optional<ImageSetRef> ImageSetInFolder(const std::string& folder, platform::RawIo& io) {
    if (!io.FindEntryNoCase(folder, std::string(ImageFirstPartName))) return std::nullopt;
    return ImageSetRef{platform::JoinPath(folder, ImageFirstPartName)};
}

SourceDescription DescribeSource(const SourceRef& ref, SelectionContext& context, SourceDescriptor& source) {
    if (const auto* set = std::get_if<ImageSetRef>(&ref)) {
        // Sets image mode, folder and layout, and nothing when it cannot be read.
        SourceDescriptor chosen = source;
        if (ChooseSource(set->Folder(), chosen, context.io).Ok()) source = chosen;
    } else {
        source.ImageMode = false;
    }
    return std::visit(
        Overloaded{
            [&](const LogicalDriveRef& drive) {
                return SourceDescription{ShowDriveInformation(drive.name, context.drives), {}};
            },
            [&](const DiskRef& disk) {
                return SourceDescription{ShowDiskInformation(disk.number, context.registry), {}};
            },
            [&](const ImageSetRef& set) { return DescribeImage(set.Folder(), set.firstPart, context); },
            [&](const RawImageRef& file) { return DescribeImage(file.path, file.path, context); },
            [&](const DevicePathRef& device) { return DescribeImage(device.path, device.path, context); },
        },
        ref);
}

std::string SourcePath(const SourceRef& ref, SelectionContext& context) {
    return std::visit(
        Overloaded{
            [&](const LogicalDriveRef& drive) {
                if (drive.name.empty()) return std::string();
                std::optional<platform::LogicalDriveEntry> entry = context.drives.FindLogicalDrive(drive.name);
                return entry ? entry->devicePath : std::string();
            },
            [&](const DiskRef& disk) {
                if (disk.number < 0 || disk.number >= kMaxDisks) return std::string();
                return context.registry.ReadValue(DeviceRegistryKey, DiskValueName(disk.number));
            },
            [](const ImageSetRef& set) { return set.Folder(); },
            [](const RawImageRef& file) { return file.path; },
            [](const DevicePathRef& device) { return device.path; },
        },
        ref);
}

ChooseOutcome ChooseSourceRef(const SourceRef& ref, const SourceDescription& shown, const SourceRange& range,
                              bool mediaRecovery, SelectionContext& context, SourceDescriptor& source) {
    ChooseOutcome outcome;
    std::string startText = range.startText;
    std::string endText = range.endText;
    if (range.whole) {
        startText = shown.info.startText;
        endText = shown.info.endText;
        if (endText.empty()) {
            // Not described (its details could not be stored): it can still be read whole.
            SourceDescriptor probe;
            const SourceChoice choice = ChooseSource(SourcePath(ref, context), probe, context.io);
            if (choice.Ok()) {
                startText = "0";
                endText = std::to_string(choice.SizeSectors());
            }
        }
    }
    outcome.range = CheckRange(startText, endText, source);
    if (outcome.range != RangeProblem::None) return outcome;

    if (ReadThroughListing(ref)) {
        outcome.readProblem = ChooseDevice(ref, context, source);
    } else {
        // Parts may have gone or lost their permissions since the selection.
        // An image set switches to image mode; a file or a device goes into
        // slot 0 and leaves it. Nothing is changed when it cannot be read.
        SourceDescriptor chosen = source;
        SourceChoice choice = ChooseSource(SourcePath(ref, context), chosen, context.io);
        if (choice.Ok()) {
            source = chosen;
        } else {
            outcome.readProblem = choice;
        }
    }
    if (outcome.readProblem) return outcome;

    outcome.chosen.ref = ref;
    outcome.chosen.mediaRecovery = mediaRecovery;
    outcome.chosen.infoLines = shown.info.lines;
    outcome.chosen.rangeStart = std::move(startText);
    outcome.chosen.rangeEnd = std::move(endText);
    return outcome;
}

SourceRef SourceRefForPath(const std::string& path, platform::PathKind kind, SelectionContext& context) {
    if (kind == platform::PathKind::Folder) return ImageSetRef{platform::JoinPath(path, ImageFirstPartName)};
    if (kind != platform::PathKind::BlockDevice) return RawImageRef{path};
    for (int n = 0; n < kMaxDisks; ++n) {
        if (context.registry.ReadValue(DeviceRegistryKey, DiskValueName(n)) == path) return DiskRef{n};
    }
    for (const platform::LogicalDriveEntry& drive : context.drives.ListLogicalDrives()) {
        if (drive.devicePath == path) return LogicalDriveRef{drive.name};
    }
    return DevicePathRef{path};
}

}  // namespace zt
