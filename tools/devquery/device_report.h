// What devquery reports for each whole disk, and how it writes the report
// into the device key: "Disk<j>" = the device path, and the six property
// values under the subkeys, for disks 0 to 25 in listing order.
#pragma once

#include <string>
#include <vector>

#include "core/source/device_registry.h"
#include "platform/block_devices.h"

namespace zt::devquery {

inline constexpr char RemovableMedia[] = "Removable Media";
inline constexpr char FixedMedia[] = "Fixed Media";

struct DiskReport {
    std::string devicePath;
    std::string model;
    std::string mediaType;
    std::string cylinders;
    std::string heads;
    std::string sectorsPerTrack;
    std::string sizeBytes;

    bool operator==(const DiskReport&) const = default;
};

// The model as a person recognises the disk: vendor and model from the
// drive, the attached file for a loop device, else the kernel name.
std::string ModelText(const platform::DiskEntry& disk);
DiskReport DescribeDisk(const platform::DiskEntry& disk, const platform::DiskGeometry& geometry);

// Writes the reports as disks 0, 1, ... (at most 26) and removes the
// "Disk<j>" values of numbers not reported, so a disk that has gone is never
// listed. False when any value could not be stored.
[[nodiscard]] bool WriteDeviceReport(DeviceRegistry& registry, const std::vector<DiskReport>& disks);

// Lists the machine's disks under roots and writes the report. Returns the
// tool's exit status: 0 when everything was written, 1 otherwise.
int RunDevquery(DeviceRegistry& registry, const platform::BlockDeviceRoots& roots);

}  // namespace zt::devquery
