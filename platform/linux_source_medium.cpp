#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "platform/source_medium.h"
#include "platform/files.h"

namespace zt::platform {

namespace fs = std::filesystem;

namespace {

// Device-mapper stacks are shallow; the bound only guards against a cycle
// in a damaged or fake tree.
constexpr std::size_t kMaxTracedDevices = 64;

// The sysfs folder of a block device, or empty when it has none.
fs::path DeviceFolder(const std::string& sysfsRoot, DeviceNumber device) {
    std::error_code error;
    fs::path link = fs::path(sysfsRoot) / "dev" / "block" /
                    (std::to_string(device.major) + ":" + std::to_string(device.minor));
    fs::path folder = fs::canonical(link, error);
    return error ? fs::path() : folder;
}

// A partition's disk; any other device is its own disk.
fs::path DiskOf(const fs::path& device) {
    std::error_code error;
    if (fs::exists(device / "partition", error)) return device.parent_path();
    return device;
}

std::string FirstLine(const fs::path& file) {
    FileContent content = ReadWholeFile(file.string());
    std::string line = content.bytes.substr(0, content.bytes.find('\n'));
    return line;
}

// The backing file named by a loop device, as the kernel reports it now
// (renames included); empty for any other device, and for a backing file that
// was deleted, which no name can reach any more.
std::string BackingFileOf(const fs::path& device) {
    std::string backing = FirstLine(device / "loop" / "backing_file");
    if (backing.ends_with(" (deleted)")) return {};
    return backing;
}

// start and every device folder beneath it, each once: the slaves of a
// mapped device, and for a loop device (or a partition of one) the folder
// that next gives for its backing file (none when next gives an empty path).
std::vector<fs::path> WalkDown(const fs::path& start, const std::function<fs::path(const std::string&)>& next) {
    std::vector<fs::path> found;
    std::set<fs::path> seen;
    std::vector<fs::path> pending;
    auto add = [&](const fs::path& p) {
        if (!p.empty() && seen.insert(p).second) pending.push_back(p);
    };
    add(start);
    while (!pending.empty() && found.size() < kMaxTracedDevices) {
        const fs::path device = pending.back();
        pending.pop_back();
        found.push_back(device);
        std::error_code error;
        for (const fs::directory_entry& slave : fs::directory_iterator(device / "slaves", error)) {
            std::error_code ignored;
            add(fs::canonical(slave.path(), ignored));
        }
        for (const fs::path& loop : {device, DiskOf(device)}) {
            const std::string backing = BackingFileOf(loop);
            if (!backing.empty()) add(next(backing));
        }
    }
    return found;
}

// Every device folder the file system's data may lie on.
std::vector<fs::path> DevicesUnder(DeviceNumber fileSystem, const std::string& sysfsRoot) {
    // A loop device lies where its backing file lies.
    return WalkDown(DeviceFolder(sysfsRoot, fileSystem), [&](const std::string& backing) {
        const std::optional<DeviceNumber> under = FileSystemDeviceOf(backing);
        return under ? DeviceFolder(sysfsRoot, *under) : fs::path();
    });
}

bool BackedBy(const fs::path& device, const SourceIdentity& image) {
    for (const fs::path& loop : {device, DiskOf(device)}) {
        const std::string backing = BackingFileOf(loop);
        struct stat st {};
        if (backing.empty() || ::stat(backing.c_str(), &st) != 0) continue;
        if (st.st_dev == image.fileDevice && st.st_ino == image.fileInode) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> FilesUnderDevice(DeviceNumber device, const std::string& sysfsRoot) {
    std::vector<std::string> files;
    (void)WalkDown(DeviceFolder(sysfsRoot, device), [&](const std::string& backing) {
        if (std::find(files.begin(), files.end(), backing) == files.end()) files.push_back(backing);
        // A loop device over a disk, or over another loop device, is followed on down.
        const std::optional<SourceIdentity> under = IdentifySource(backing);
        return under && under->kind == SourceIdentity::Kind::BlockDevice ? DeviceFolder(sysfsRoot, under->device)
                                                                          : fs::path();
    });
    return files;
}

std::vector<std::string> FilesUnderSource(const std::string& sourcePath, const std::string& sysfsRoot) {
    const std::optional<SourceIdentity> source = IdentifySource(sourcePath);
    if (!source || source->kind != SourceIdentity::Kind::BlockDevice) return {};
    return FilesUnderDevice(source->device, sysfsRoot);
}

std::optional<SourceIdentity> IdentifySource(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    SourceIdentity identity;
    if (S_ISBLK(st.st_mode)) {
        identity.kind = SourceIdentity::Kind::BlockDevice;
        identity.device = {::major(st.st_rdev), ::minor(st.st_rdev)};
    } else if (S_ISREG(st.st_mode)) {
        identity.kind = SourceIdentity::Kind::File;
        identity.fileDevice = st.st_dev;
        identity.fileInode = st.st_ino;
    }
    return identity;
}

std::optional<DeviceNumber> FileSystemDeviceOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return DeviceNumber{::major(st.st_dev), ::minor(st.st_dev)};
}

bool FileSystemOnSource(DeviceNumber fileSystem, const SourceIdentity& source, const std::string& sysfsRoot) {
    if (source.kind == SourceIdentity::Kind::Other) return false;
    const std::vector<fs::path> devices = DevicesUnder(fileSystem, sysfsRoot);
    if (source.kind == SourceIdentity::Kind::File) {
        for (const fs::path& device : devices) {
            if (BackedBy(device, source)) return true;
        }
        return false;
    }
    const fs::path sourceDevice = DeviceFolder(sysfsRoot, source.device);
    if (sourceDevice.empty()) return false;
    const fs::path sourceDisk = DiskOf(sourceDevice);
    for (const fs::path& device : devices) {
        // The device itself, a partition of the scanned disk, or the disk of
        // the scanned partition.
        if (device == sourceDevice || DiskOf(device) == sourceDevice || device == sourceDisk) return true;
    }
    return false;
}

bool FolderOnSourceMedium(const std::string& folder, const std::string& sourcePath, const std::string& sysfsRoot) {
    const std::optional<SourceIdentity> source = IdentifySource(sourcePath);
    const std::optional<DeviceNumber> fileSystem = FileSystemDeviceOf(folder);
    if (!source || !fileSystem) return false;
    return FileSystemOnSource(*fileSystem, *source, sysfsRoot);
}

}  // namespace zt::platform
