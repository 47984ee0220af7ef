#include "core/source/device_enumeration.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <future>
#include <limits>
#include <system_error>

#include "platform/files.h"

namespace zt {

namespace {

constexpr std::uint64_t kGiB = 1'073'741'824;
constexpr std::uint64_t kMiB = 1'048'576;
constexpr std::uint64_t kKiB = 1'024;
// Cylinders of a pseudo-disk follow the 255-head, 63-sector convention.
constexpr std::uint64_t kSectorsPerCylinder = 255 * 63;

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

// Sectors that hold size bytes: a last partial sector counts, as its bytes
// are read padded with zeros.
std::uint64_t SectorsHolding(std::uint64_t size) { return size / 512 + (size % 512 != 0 ? 1 : 0); }

std::string OneDecimal(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%s", value, unit);
    return text;
}

}  // namespace

std::optional<platform::LogicalDriveEntry> DriveProbe::FindLogicalDrive(std::string_view name) {
    for (platform::LogicalDriveEntry& drive : ListLogicalDrives())
        if (drive.name == name) return std::move(drive);
    return std::nullopt;
}

std::vector<platform::LogicalDriveEntry> SystemDriveProbe::ListLogicalDrives() {
    return platform::ListLogicalDrives(roots_);
}

bool SystemToolLauncher::ToolExists(const std::string& path) {
    return platform::IsRegularFile(path) && platform::ProgramExists(path);
}

bool SystemToolLauncher::RunAndWait(const std::string& path, const std::vector<std::string>& arguments) {
    return platform::RunProgramAndWait(path, arguments).started;
}

std::string DevqueryPath(std::string_view installFolder) {
    std::string path(installFolder);
    if (!path.empty() && path.back() != '/') path += '/';
    return path + "devquery";
}

std::string DescribeDeviceListError(DeviceListError error) {
    switch (error) {
        case DeviceListError::None:
            return {};
        case DeviceListError::DeviceKeyNotCreated:
            return "The list of disks cannot be kept: the settings file cannot be written.";
        case DeviceListError::PropertyKeyNotCreated:
            return "The details of the disks cannot be kept: the settings file cannot be written.";
        case DeviceListError::DeviceKeyMissing:
            return "The list of disks disappeared while the disks were being looked up.";
    }
    return {};
}

DeviceListError PrepareDeviceRegistry(DeviceRegistry& registry) {
    // Subkeys first, then the key itself, so nothing of the last listing can
    // be mistaken for a disk that is present now.
    for (std::string_view key : {CylinderKey, HeadKey, MediaTypeKey, ModelKey, SectorsPerTrackKey, SizeKey,
                                 DisplayDeviceKey, DeviceRegistryKey})
        registry.DeleteKey(key);
    if (registry.KeyExists(DeviceRegistryKey))
        for (int j = 0; j < kMaxDisks; ++j) registry.DeleteValue(DeviceRegistryKey, DiskValueName(j));
    if (!registry.CreateKey(DeviceRegistryKey)) return DeviceListError::DeviceKeyNotCreated;
    return DeviceListError::None;
}

std::string DriveLabel(const platform::LogicalDriveEntry& drive) {
    std::string volume = drive.label.empty() ? std::string(NamelessVolumeLabel) : drive.label;
    return volume + " (" + drive.name + ")";
}

std::vector<std::string> ListLogicalDriveLabels(DriveProbe& drives) {
    std::vector<std::string> labels;
    for (const platform::LogicalDriveEntry& drive : drives.ListLogicalDrives()) labels.push_back(DriveLabel(drive));
    return labels;
}

void ListReportedDisks(const DeviceListingContext& context, SourceTreeModel& model) {
    model.disks.clear();
    model.diskNumbers.clear();
    // Without the key there is nowhere for devquery to report: no disks.
    if (!context.registry.CreateKey(DeviceRegistryKey)) return;
    for (std::string_view key : DevicePropertyKeys) {
        if (!context.registry.CreateKey(key)) {
            model.error = DeviceListError::PropertyKeyNotCreated;
            return;
        }
    }
    std::string tool = DevqueryPath(context.installFolder);
    if (!context.launcher.ToolExists(tool)) return;
    if (context.launcher.RunAndWait(tool, {""})) ++model.toolRuns;
    // What devquery wrote is read as one content, not loaded again for each
    // value; a batch that edits nothing changes nothing.
    context.registry.Batch([&] {
        if (!context.registry.KeyExists(DeviceRegistryKey)) {
            model.error = DeviceListError::DeviceKeyMissing;
            return;
        }
        for (int j = 0; j < kMaxDisks; ++j) {
            if (context.registry.ReadValue(DeviceRegistryKey, DiskValueName(j)).empty()) continue;
            model.disks.push_back(DiskValueName(j));
            model.diskNumbers.push_back(j);
        }
    });
}

SourceTreeModel BuildSourceTree(const DeviceListingContext& context, bool mediaRecoveryMode) {
    SourceTreeModel model;
    model.hasImageGroup = mediaRecoveryMode;
    // The last listing's keys go and this one's are made in one change of
    // the settings file, not one write for each; the keys made here ahead of
    // the listing are then found there, and a failure is still told there.
    context.registry.Batch([&] {
        model.error = PrepareDeviceRegistry(context.registry);
        if (model.error != DeviceListError::None) return;
        for (std::string_view key : DevicePropertyKeys) (void)context.registry.CreateKey(key);
    });
    if (model.error != DeviceListError::None) return model;

    // The drives are probed while devquery looks for the disks: neither needs
    // the other, and each takes milliseconds that a run waits for as it starts.
    std::future<std::vector<platform::LogicalDriveEntry>> drives;
    try {
        drives = std::async(std::launch::async, [&probe = context.drives] { return probe.ListLogicalDrives(); });
    } catch (const std::system_error&) {
        // No thread to spare: the drives are probed after the disks instead.
    }
    ListReportedDisks(context, model);
    for (const platform::LogicalDriveEntry& drive : drives.valid() ? drives.get() : context.drives.ListLogicalDrives()) {
        model.logicalDrives.push_back(DriveLabel(drive));
        model.driveNames.push_back(drive.name);
    }
    if (model.error != DeviceListError::None || !model.disks.empty()) return model;

    // No disk at all is more likely a tool that came too early (a card
    // reader still settling) than a machine without disks: start it once
    // more, whether or not it was found, and list the disks again.
    if (context.launcher.RunAndWait(DevqueryPath(context.installFolder), {""})) ++model.toolRuns;
    ListReportedDisks(context, model);
    return model;
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes >= kGiB) return OneDecimal(static_cast<double>(bytes) / static_cast<double>(kGiB), " GB");
    if (bytes >= kMiB) return OneDecimal(static_cast<double>(bytes) / static_cast<double>(kMiB), " MB");
    if (bytes > 0) return OneDecimal(static_cast<double>(bytes) / static_cast<double>(kKiB), " KB");
    return "0";
}

SourceInformation DriveInformation(const platform::LogicalDriveEntry& drive) {
    SourceInformation info;
    info.header = std::string(DriveInformationHeader);
    std::string label = DriveLabel(drive);
    // The volume name is the label without its last four characters on the
    // original drive letters ("Local Disk " of "Local Disk (C:)"); here the
    // kernel name in parentheses is dropped the same way, blank kept.
    std::string volume = label.substr(0, label.size() - drive.name.size() - 2);
    // Without a mounted file system nothing says how much of it is used: an
    // unmounted card is not an empty one.
    std::string used(UnknownSpace);
    std::string free(UnknownSpace);
    if (drive.space) {
        const std::uint64_t freeBytes = std::min(drive.space->freeBytes, drive.space->totalBytes);
        used = SizeText(drive.space->totalBytes - freeBytes);
        free = SizeText(freeBytes);
    }
    info.lines = {
        "Volume Name : " + volume,
        "File System : " + (drive.fsType.empty() ? std::string(UnknownFileSystem) : drive.fsType),
        "Capacity : " + SizeText(drive.sizeBytes),
        "Used Space : " + used,
        "Free Space : " + free,
    };
    info.startText = "0";
    info.endText = Decimal(SectorsHolding(drive.sizeBytes));
    return info;
}

SourceInformation ShowDriveInformation(std::string_view name, DriveProbe& drives) {
    std::optional<platform::LogicalDriveEntry> drive;
    if (!name.empty()) drive = drives.FindLogicalDrive(name);
    if (!drive) {
        // A drive that vanished: no lines and no range, so Next refuses it.
        SourceInformation info;
        info.header = std::string(DriveInformationHeader);
        return info;
    }
    return DriveInformation(*drive);
}

std::uint64_t LeadingDecimal(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::numeric_limits<std::uint64_t>::max();
        value = value * 10 + digit;
    }
    return value;
}

SourceInformation ShowDiskInformation(int n, const DeviceRegistry& registry) {
    std::string name = DiskValueName(n);
    auto property = [&](std::string_view key) { return registry.ReadValue(key, name); };
    std::uint64_t size = LeadingDecimal(property(SizeKey));
    SourceInformation info;
    info.lines = {
        "Physical Disk Number : " + std::to_string(n),
        "Model   : " + property(ModelKey),
        "Media Type   : " + property(MediaTypeKey),
        "Cylinder   : " + property(CylinderKey),
        "Head   : " + property(HeadKey),
        "Sectors Per Track   : " + property(SectorsPerTrackKey),
        "Disk Size  : " + Decimal(size / kMiB) + " MB",
    };
    info.startText = "0";
    info.endText = Decimal(SectorsHolding(size));
    return info;
}

namespace {

std::optional<int> WriteImageAsDisk(DeviceRegistry& registry, std::string_view imagePath, std::uint64_t totalBytes) {
    // The first number no listed disk uses: with disks numbered without gaps
    // that is their count, and a disk after a gap never has its details
    // replaced by the image's.
    int n = 0;
    while (n < kMaxDisks && !registry.ReadValue(DeviceRegistryKey, DiskValueName(n)).empty()) ++n;
    if (n == kMaxDisks) return std::nullopt;

    std::string name = DiskValueName(n);
    const std::pair<std::string_view, std::string> values[] = {
        {CylinderKey, Decimal(totalBytes / 512 / kSectorsPerCylinder)},
        {HeadKey, "255"},
        {SectorsPerTrackKey, "63"},
        {MediaTypeKey, "Image"},
        {ModelKey, std::string(imagePath)},
        {SizeKey, Decimal(totalBytes)},
    };
    for (const auto& [key, value] : values)
        if (!registry.WriteValue(key, name, value)) return std::nullopt;
    return n;
}

}  // namespace

std::optional<int> RegisterImageAsDisk(DeviceRegistry& registry, std::string_view imagePath,
                                       std::uint64_t totalBytes) {
    // The image's six values in one change of the settings file.
    std::optional<int> disk;
    registry.Batch([&] { disk = WriteImageAsDisk(registry, imagePath, totalBytes); });
    return disk;
}

}  // namespace zt
