// The chosen source and the sector range that every reader of sectors uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zt {

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::size_t kSectorBytes = kSectorSize;
// Sectors per part of a multi-file image set (681,574,400 bytes).
inline constexpr std::uint32_t ImagePartSectors = 1'331'200;
inline constexpr std::uint64_t ImagePartBytes = std::uint64_t{ImagePartSectors} * kSectorSize;
// The name the reader looks for (letter case aside) of part `part` of an
// image set: "image<part>.img" when the set is read as numbered parts, else
// the single "Image0.img".
inline std::string ImageReadPartName(bool multiFile, std::uint64_t part) {
    return multiFile ? "image" + std::to_string(part) + ".img" : "Image0.img";
}
// The largest single request made to a device.
inline constexpr std::uint32_t DeviceChunkSectors = 40;
// One slot per disk number that can be listed (0 to 25).
inline constexpr int kDeviceSlots = 26;

struct SourceDescriptor {
    // Device paths (/dev/sdb, /dev/sdb1, or a raw image file read like a
    // device). Slot 0 holds the logical drive when one is chosen.
    std::array<std::string, kDeviceSlots> DeviceNames{};
    // The slot every read uses.
    std::int16_t DeviceIndex = 0;
    // The source is an image set in ImageFolder; the device name is not used.
    bool ImageMode = false;
    std::string ImageFolder;
    // Read the image set as numbered parts of ImagePartSectors sectors.
    bool ImageMultiFile = false;
    // First sector of the range, and its end (exclusive for the loops; the
    // reader refuses requests that start beyond it). 0 means no limit.
    std::uint64_t RangeStart = 0;
    std::uint64_t RangeEnd = 0;

    const std::string& SelectedDevice() const {
        static const std::string kNone;
        if (DeviceIndex < 0 || DeviceIndex >= kDeviceSlots) return kNone;
        return DeviceNames[static_cast<std::size_t>(DeviceIndex)];
    }
};

}  // namespace zt
