// What the source page lists and says about each source: the logical drives
// found on the machine, the disks that devquery reports through the device
// key, the information lines of a drive or disk and its default sector range,
// and the registration of an image set as a pseudo-disk.
//
// Everything here is synchronous; the desktop program runs BuildSourceTree on
// a worker thread, the command line calls it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/source/device_registry.h"
#include "platform/block_devices.h"

namespace zt {

// The drive label of a file system without a name: "Local Disk (sdb1)".
inline constexpr std::string_view NamelessVolumeLabel = "Local Disk";
// Headers of the information list's only column (19 leading blanks).
inline constexpr std::string_view DeviceInformationHeader = "                   Device Information";
inline constexpr std::string_view DriveInformationHeader = "                   Drive Information";
// Shown when no file system is recognised on a drive: it can still be scanned.
inline constexpr std::string_view UnknownFileSystem = "Unknown";
// Used and free space of a drive without a mounted file system.
inline constexpr std::string_view UnknownSpace = "Unknown";

// Where the logical drives come from: the machine in the program, a list in tests.
class DriveProbe {
public:
    virtual ~DriveProbe() = default;
    // BuildSourceTree calls this on a thread of its own while devquery runs,
    // and uses the probe for nothing else meanwhile.
    virtual std::vector<platform::LogicalDriveEntry> ListLogicalDrives() = 0;
    // The drive of that kernel name, probed afresh; nullopt when it is gone.
    virtual std::optional<platform::LogicalDriveEntry> FindLogicalDrive(std::string_view name);
};

// Probes the machine through platform/ (roots point at the real /sys and /dev).
class SystemDriveProbe final : public DriveProbe {
public:
    explicit SystemDriveProbe(platform::BlockDeviceRoots roots = {}) : roots_(std::move(roots)) {}
    std::vector<platform::LogicalDriveEntry> ListLogicalDrives() override;

private:
    platform::BlockDeviceRoots roots_;
};

// Starts the device-query tool and waits for it.
class ToolLauncher {
public:
    virtual ~ToolLauncher() = default;
    [[nodiscard]] virtual bool ToolExists(const std::string& path) = 0;
    // Starts path with arguments (argv[0] is path itself) and waits until it
    // ends. False when it could not be started; its exit status is not used.
    virtual bool RunAndWait(const std::string& path, const std::vector<std::string>& arguments) = 0;
};

// Starts the real tool through platform/.
class SystemToolLauncher final : public ToolLauncher {
public:
    bool ToolExists(const std::string& path) override;
    bool RunAndWait(const std::string& path, const std::vector<std::string>& arguments) override;
};

// "<InstallFolder>/devquery".
std::string DevqueryPath(std::string_view installFolder);

// Failures that leave the listing without its device key. The desktop
// program shows them; the listing stops.
enum class DeviceListError {
    None,
    DeviceKeyNotCreated,    // the device key could not be created before the listing
    PropertyKeyNotCreated,  // one of the six property subkeys could not be created
    DeviceKeyMissing,       // the device key was gone after devquery ran
};

// A plain sentence for the user.
std::string DescribeDeviceListError(DeviceListError error);

// The source tree's content below its root: the items of the three groups.
struct SourceTreeModel {
    bool hasImageGroup = false;  // media recovery only
    std::vector<std::string> logicalDrives;  // "Local Disk (sdb1)", "HOLIDAY (sdc1)"
    std::vector<std::string> driveNames;     // their kernel names: "sdb1", "sdc1"
    std::vector<std::string> disks;          // "Disk0", "Disk2"
    std::vector<int> diskNumbers;            // their numbers: 0, 2
    std::vector<std::string> images;         // full paths ending in "Image0.img"
    DeviceListError error = DeviceListError::None;
    int toolRuns = 0;  // how often devquery was started

    bool operator==(const SourceTreeModel&) const = default;
};

struct DeviceListingContext {
    DeviceRegistry& registry;
    DriveProbe& drives;
    ToolLauncher& launcher;
    std::string installFolder;
};

// Prepares the device key (removes what the last run left, creates it
// afresh), lists the drives and the disks, and when no disk was listed starts
// devquery once more and lists the disks again.
SourceTreeModel BuildSourceTree(const DeviceListingContext& context, bool mediaRecoveryMode);

// The steps of BuildSourceTree, for callers that need them alone.
[[nodiscard]] DeviceListError PrepareDeviceRegistry(DeviceRegistry& registry);
std::vector<std::string> ListLogicalDriveLabels(DriveProbe& drives);
// Lists the disks into model.disks (replacing what was there); sets model.error
// when the device key cannot be kept.
void ListReportedDisks(const DeviceListingContext& context, SourceTreeModel& model);

// "Local Disk (sdb1)" or "<volume label> (sdb1)".
std::string DriveLabel(const platform::LogicalDriveEntry& drive);

// The information list and the range edits for a selected drive or disk.
struct SourceInformation {
    std::optional<std::string> header;  // a new header for the list, when it changes
    std::vector<std::string> lines;
    std::string startText;  // the range edits; empty when the source cannot be described
    std::string endText;
};

// "1.0 GB", "512.0 MB", "1024.0 KB", or "0".
std::string SizeText(std::uint64_t bytes);

// A drive's five lines. The capacity and the range come from the device's own
// size, so a drive that is not mounted (the usual case for a card being
// rescued) still gets its full range; used and free space read "0" then.
// The drive is found by its kernel name ("sdb1").
SourceInformation ShowDriveInformation(std::string_view name, DriveProbe& drives);
SourceInformation DriveInformation(const platform::LogicalDriveEntry& drive);

// A disk's seven lines from the device key's property values.
SourceInformation ShowDiskInformation(int n, const DeviceRegistry& registry);

// Writes the property values of an image set under a free disk number and
// returns that number, or nullopt when they could not be written (or all 26
// numbers are taken).
std::optional<int> RegisterImageAsDisk(DeviceRegistry& registry, std::string_view imagePath,
                                       std::uint64_t totalBytes);

// The leading decimal digits of text as a number (0 when there are none),
// as size values and range edits are read.
std::uint64_t LeadingDecimal(std::string_view text);

}  // namespace zt
