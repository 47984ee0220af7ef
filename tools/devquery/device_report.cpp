#include "tools/devquery/device_report.h"

#include <algorithm>

namespace zt::devquery {

namespace {

// virtio and some bridges put a bus vendor number ("0x1af4") where a name
// belongs; it tells a person nothing.
bool IsVendorNumber(const std::string& vendor) { return vendor.rfind("0x", 0) == 0; }

}  // namespace

std::string ModelText(const platform::DiskEntry& disk) {
    if (!disk.backingFile.empty()) return disk.backingFile;
    std::string text;
    if (!disk.vendor.empty() && !IsVendorNumber(disk.vendor)) text = disk.vendor;
    if (!disk.model.empty()) text += (text.empty() ? "" : " ") + disk.model;
    return text.empty() ? disk.name : text;
}

DiskReport DescribeDisk(const platform::DiskEntry& disk, const platform::DiskGeometry& geometry) {
    DiskReport report;
    report.devicePath = disk.devicePath;
    report.model = ModelText(disk);
    report.mediaType = disk.removable ? RemovableMedia : FixedMedia;
    report.cylinders = std::to_string(geometry.cylinders);
    report.heads = std::to_string(geometry.heads);
    report.sectorsPerTrack = std::to_string(geometry.sectorsPerTrack);
    report.sizeBytes = std::to_string(disk.sizeBytes);
    return report;
}

bool WriteDeviceReport(DeviceRegistry& registry, const std::vector<DiskReport>& disks) {
    bool ok = true;
    int count = static_cast<int>(std::min<std::size_t>(disks.size(), kMaxDisks));
    for (int j = 0; j < count; ++j) {
        const DiskReport& d = disks[static_cast<std::size_t>(j)];
        std::string name = DiskValueName(j);
        // Properties first: whoever sees Disk<j> can read its details.
        ok = registry.WriteValue(ModelKey, name, d.model) && ok;
        ok = registry.WriteValue(MediaTypeKey, name, d.mediaType) && ok;
        ok = registry.WriteValue(CylinderKey, name, d.cylinders) && ok;
        ok = registry.WriteValue(HeadKey, name, d.heads) && ok;
        ok = registry.WriteValue(SectorsPerTrackKey, name, d.sectorsPerTrack) && ok;
        ok = registry.WriteValue(SizeKey, name, d.sizeBytes) && ok;
        ok = registry.WriteValue(DeviceRegistryKey, name, d.devicePath) && ok;
    }
    for (int j = count; j < kMaxDisks; ++j) registry.DeleteValue(DeviceRegistryKey, DiskValueName(j));
    return ok;
}

int RunDevquery(DeviceRegistry& registry, const platform::BlockDeviceRoots& roots) {
    std::vector<DiskReport> reports;
    for (const platform::DiskEntry& disk : platform::ListDisks(roots))
        reports.push_back(DescribeDisk(disk, platform::ReadGeometry(disk.devicePath, disk.sizeBytes)));
    // Every disk's values in one change of the settings file.
    bool written = false;
    registry.Batch([&] { written = WriteDeviceReport(registry, reports); });
    return written ? 0 : 1;
}

}  // namespace zt::devquery
