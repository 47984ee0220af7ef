// A fake /sys/block, /dev, mountinfo and udev database in a temporary folder,
// removed afterwards, so device discovery can be tested without real disks.
// Device nodes are regular files: libblkid probes them like devices.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/block_devices.h"
#include "platform/testing/temp_folder.h"

namespace zt::testing {

class FakeBlockTree {
public:
    FakeBlockTree() : root_(folder_.Path()) {
        roots_.sysBlock = root_ + "/sys/block";
        roots_.dev = root_ + "/dev";
        roots_.mountInfo = root_ + "/mountinfo";
        roots_.udevData = root_ + "/udev";
        std::filesystem::create_directories(roots_.sysBlock);
        std::filesystem::create_directories(roots_.dev);
        std::filesystem::create_directories(roots_.udevData);
        Write(roots_.mountInfo, "");
    }
    const platform::BlockDeviceRoots& Roots() const { return roots_; }
    const std::string& Root() const { return root_; }

    // A whole disk of `sectors` 512-byte units with device number major:minor.
    FakeBlockTree& AddDisk(const std::string& name, std::uint64_t sectors, const std::string& majorMinor,
                           bool removable = false) {
        std::string folder = roots_.sysBlock + "/" + name;
        std::filesystem::create_directories(folder + "/device");
        Write(folder + "/size", std::to_string(sectors) + "\n");
        Write(folder + "/dev", majorMinor + "\n");
        Write(folder + "/removable", removable ? "1\n" : "0\n");
        return *this;
    }
    FakeBlockTree& SetModel(const std::string& disk, const std::string& vendor, const std::string& model) {
        Write(roots_.sysBlock + "/" + disk + "/device/vendor", vendor + "\n");
        Write(roots_.sysBlock + "/" + disk + "/device/model", model + "\n");
        return *this;
    }
    FakeBlockTree& SetAttribute(const std::string& disk, const std::string& relativePath, const std::string& text) {
        std::filesystem::path file = roots_.sysBlock + "/" + disk + "/" + relativePath;
        std::filesystem::create_directories(file.parent_path());
        Write(file.string(), text + "\n");
        return *this;
    }
    FakeBlockTree& AddPartition(const std::string& disk, const std::string& name, std::uint64_t sectors,
                                const std::string& majorMinor) {
        std::string folder = roots_.sysBlock + "/" + disk + "/" + name;
        std::filesystem::create_directories(folder);
        Write(folder + "/partition", "1\n");
        Write(folder + "/size", std::to_string(sectors) + "\n");
        Write(folder + "/dev", majorMinor + "\n");
        return *this;
    }
    // The device node's content (for libblkid to probe).
    std::string NodePath(const std::string& name) const { return roots_.dev + "/" + name; }
    void AppendMount(const std::string& line) {
        std::ofstream(roots_.mountInfo, std::ios::app) << line << "\n";
    }
    void SetUdevRecord(const std::string& majorMinor, const std::string& text) {
        Write(roots_.udevData + "/b" + majorMinor, text);
    }

    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

private:
    TempFolder folder_;
    std::string root_;
    platform::BlockDeviceRoots roots_;
};

// Runs a shell command quietly, with the administrator folders on the search
// path (mkfs.vfat and losetup live there); true when it exited with status 0.
inline bool RunQuietly(const std::string& command) {
    return std::system(("PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " >/dev/null 2>&1").c_str()) == 0;
}

// A FAT image of `kib` KiB with the given label at path, made by mkfs.vfat;
// false when the tool is missing or fails.
inline bool MakeFatImage(const std::string& path, unsigned kib, const std::string& label) {
    std::filesystem::remove(path);
    return RunQuietly("mkfs.vfat -C -n '" + label + "' '" + path + "' " + std::to_string(kib));
}

}  // namespace zt::testing
