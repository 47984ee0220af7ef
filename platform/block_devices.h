// Discovery of the machine's whole disks and of the file systems on them.
//
// Disks come from the kernel's block-device folder (/sys/block); every path
// is taken from BlockDeviceRoots so that tests can point the discovery at a
// fake tree. File-system type and label come from libblkid on a descriptor
// opened read-only, and the space of a mounted file system from statvfs.
// Nothing here ever opens a device for writing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zt::platform {

struct BlockDeviceRoots {
    std::string sysBlock = "/sys/block";            // one folder per whole disk
    std::string dev = "/dev";                       // the device nodes
    std::string mountInfo = "/proc/self/mountinfo";  // what is mounted where
    std::string udevData = "/run/udev/data";         // udev's probe results, used without root
};

struct PartitionEntry {
    std::string name;        // kernel name: "sdb1", "nvme0n1p2", "loop0p1"
    std::string devicePath;  // "/dev/sdb1"
    std::string majorMinor;  // "8:17", as mountinfo names devices
    std::uint64_t sizeBytes = 0;
};

struct DiskEntry {
    std::string name;  // kernel name: "sdb", "nvme0n1", "loop0"
    std::string devicePath;
    std::string majorMinor;
    std::uint64_t sizeBytes = 0;
    bool removable = false;
    std::string vendor;       // sysfs device/vendor, trimmed; often empty
    std::string model;        // sysfs device/model (device/name for memory cards)
    std::string backingFile;  // loop devices: the attached file
    std::vector<PartitionEntry> partitions;  // in kernel order (sdb1, sdb2, ..., sdb10)
};

// The whole disks that can be read: sd*, nvme*, mmcblk*, vd*, hd*, xvd*, and
// loop devices that have a backing file. Floppies, optical drives, ram and
// zram devices, hidden multipath paths, the boot areas of eMMC chips and disks
// of size 0 (an empty card reader) are left out. Order: sd, hd, vd, xvd, nvme,
// mmcblk, then loop, each in natural order (sdb2 before sdb10).
std::vector<DiskEntry> ListDisks(const BlockDeviceRoots& roots = {});

// Orders kernel names with their digit runs compared as numbers.
bool NaturalLess(std::string_view a, std::string_view b);

struct DiskGeometry {
    std::uint64_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
};

// Heads and sectors per track as the drive reports them (HDIO_GETGEO on a
// read-only descriptor), else the usual 255 heads and 63 sectors. Cylinders
// are always derived from the size, since the drive's own count is 16 bits
// wide and wraps on any disk above 8 GB.
DiskGeometry ReadGeometry(const std::string& devicePath, std::uint64_t sizeBytes);
DiskGeometry GeometryFromSize(std::uint64_t sizeBytes, std::uint32_t heads, std::uint32_t sectorsPerTrack);

struct FileSystemIdentity {
    std::string type;   // "vfat", "exfat", "ntfs", "ext4", ...
    std::string label;  // empty when the file system has none
};

// libblkid's view of the file system on a device or an image file; nullopt
// when none is recognised or the device cannot be opened for reading.
std::optional<FileSystemIdentity> ProbeFileSystem(const std::string& devicePath);
// udev's record of the same, for users who may not open the device; nullopt
// when udev has no record of a file system for the device.
std::optional<FileSystemIdentity> UdevFileSystem(const BlockDeviceRoots& roots, const std::string& majorMinor);

struct MountEntry {
    std::string majorMinor;
    std::string mountPoint;  // octal escapes (\040 for a blank) decoded
    std::string fsType;
    std::string source;
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);
std::vector<MountEntry> ReadMountInfo(const std::string& path);

struct FileSystemSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;  // every free block, the reserved ones included
};

// statvfs of a mounted file system; nullopt when the query fails.
std::optional<FileSystemSpace> QueryFileSystemSpace(const std::string& mountPoint);

// A partition, or a whole disk that carries a file system without a
// partition table: what the user knows as a drive.
struct LogicalDriveEntry {
    std::string name;  // kernel name, shown in the drive's label
    std::string devicePath;
    std::uint64_t sizeBytes = 0;
    std::string fsType;  // empty when no file system is recognised
    std::string label;
    std::optional<FileSystemSpace> space;  // set only while it is mounted
};

// Every partition of the listed disks (extended-partition containers, which
// hold no data of their own, left out) and every unpartitioned disk with a
// recognised file system, in the order of the disks.
std::vector<LogicalDriveEntry> ListLogicalDrives(const BlockDeviceRoots& roots = {});

}  // namespace zt::platform
