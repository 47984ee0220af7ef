// Whether a folder lies on the medium being read, so that recovered files are
// never saved onto the very medium they are recovered from (each file written
// there may overwrite files still waiting to be found).
//
// The file system holding the folder is traced through sysfs to the block
// devices under it: a partition belongs to its disk, a device-mapper device
// (LVM, dm-crypt) lies on its "slaves", and a loop device lies on the file
// system that holds its backing file. The folder is on the source when one
// of those devices is the source device, a partition of the source disk, or
// the disk that holds the source partition; for a source that is a regular
// file (a disk image) only when the folder's file system is that very image
// mounted through a loop device. Saving beside an image file is normal.
//
// File systems without a block device of their own (tmpfs, NFS, btrfs
// subvolumes with anonymous device numbers) cannot be traced; they are taken
// as lying elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zt::platform {

struct DeviceNumber {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const DeviceNumber&) const = default;
};

struct SourceIdentity {
    enum class Kind { BlockDevice, File, Other };
    Kind kind = Kind::Other;
    DeviceNumber device;             // BlockDevice: the device's own number
    std::uint64_t fileDevice = 0;    // File: st_dev and st_ino of the image
    std::uint64_t fileInode = 0;
};

// What the source path names (following links); nullopt when it cannot be examined.
std::optional<SourceIdentity> IdentifySource(const std::string& path);
// The device number of the file system that holds path.
std::optional<DeviceNumber> FileSystemDeviceOf(const std::string& path);

// The test itself, over the sysfs tree at sysfsRoot ("/sys" on a real system).
bool FileSystemOnSource(DeviceNumber fileSystem, const SourceIdentity& source, const std::string& sysfsRoot);

// What a block device's bytes are read from, followed down to the bottom: a
// loop device's backing file (a regular file, or a device that is followed in
// turn), and the same for the disk of a partition and for every device under
// a device-mapper device. Writing to one of these files, or onto the medium
// one of them lies on, changes the source. Empty for a regular file, a device
// with nothing under it, or a path that cannot be examined.
std::vector<std::string> FilesUnderSource(const std::string& sourcePath, const std::string& sysfsRoot = "/sys");
// The same for the block device numbered device.
std::vector<std::string> FilesUnderDevice(DeviceNumber device, const std::string& sysfsRoot);

// True when saving into folder would write onto the medium at sourcePath.
// False when either path cannot be examined.
bool FolderOnSourceMedium(const std::string& folder, const std::string& sourcePath,
                          const std::string& sysfsRoot = "/sys");

}  // namespace zt::platform
