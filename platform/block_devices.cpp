#include "platform/block_devices.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/raw_io.h"

namespace zt::platform {
namespace {

// sysfs counts sizes in 512-byte units whatever the device's sector size.
constexpr std::uint64_t kSysfsUnit = 512;
// An extended-partition container shows as one or two units: it holds only
// the chain of logical partitions, nothing a user would scan as a drive.
constexpr std::uint64_t kContainerBytes = 2 * kSysfsUnit;

std::string Trim(std::string text) {
    auto notSpace = [](unsigned char c) { return std::isspace(c) == 0; };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    return Trim({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

std::uint64_t ReadNumber(const std::string& path) {
    std::string text = ReadText(path);
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return 0;
    try {
        return std::stoull(text);
    } catch (...) {
        return 0;
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(d);
    return names;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool DigitAt(std::string_view text, std::size_t pos) {
    return pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0;
}

// The rank of a disk's kind in the listing; -1 for kinds that are never listed.
int KindRank(std::string_view name) {
    // Longer prefixes first where one is the start of another (xvd before vd).
    static constexpr std::array<std::pair<std::string_view, int>, 7> kKinds{{
        {"sd", 0}, {"hd", 1}, {"xvd", 3}, {"vd", 2}, {"nvme", 4}, {"mmcblk", 5}, {"loop", 6}}};
    for (const auto& [prefix, rank] : kKinds)
        if (StartsWith(name, prefix) && name.size() > prefix.size()) return rank;
    return -1;
}

bool IsListedDiskName(std::string_view name) {
    int rank = KindRank(name);
    if (rank < 0) return false;
    // eMMC chips show their boot areas and replay-protected block as devices
    // of their own; they are not the card's data.
    if (rank == 5 && (name.find("boot") != std::string_view::npos || name.find("rpmb") != std::string_view::npos))
        return false;
    return true;
}

std::vector<PartitionEntry> ListPartitions(const BlockDeviceRoots& roots, const std::string& diskFolder) {
    std::vector<PartitionEntry> parts;
    for (const std::string& entry : FolderEntries(diskFolder)) {
        std::string folder = diskFolder + "/" + entry;
        if (!Exists(folder + "/partition")) continue;
        PartitionEntry part;
        part.name = entry;
        part.devicePath = roots.dev + "/" + entry;
        part.majorMinor = ReadText(folder + "/dev");
        part.sizeBytes = ReadNumber(folder + "/size") * kSysfsUnit;
        parts.push_back(std::move(part));
    }
    std::sort(parts.begin(), parts.end(),
              [](const PartitionEntry& a, const PartitionEntry& b) { return NaturalLess(a.name, b.name); });
    return parts;
}

std::optional<DiskEntry> ReadDisk(const BlockDeviceRoots& roots, const std::string& name) {
    std::string folder = roots.sysBlock + "/" + name;
    if (ReadText(folder + "/hidden") == "1") return std::nullopt;  // an NVMe multipath leg
    DiskEntry disk;
    disk.name = name;
    disk.devicePath = roots.dev + "/" + name;
    disk.majorMinor = ReadText(folder + "/dev");
    disk.sizeBytes = ReadNumber(folder + "/size") * kSysfsUnit;
    if (disk.sizeBytes == 0) return std::nullopt;
    if (StartsWith(name, "loop")) {
        disk.backingFile = ReadText(folder + "/loop/backing_file");
        if (disk.backingFile.empty()) return std::nullopt;  // not attached
    }
    disk.removable = ReadText(folder + "/removable") == "1";
    disk.vendor = ReadText(folder + "/device/vendor");
    disk.model = ReadText(folder + "/device/model");
    if (disk.model.empty()) disk.model = ReadText(folder + "/device/name");
    disk.partitions = ListPartitions(roots, folder);
    return disk;
}

// Undoes the octal escapes that mountinfo uses for blanks, tabs, line breaks
// and backslashes in paths.
std::string DecodeOctal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && DigitAt(text, i + 1) && DigitAt(text, i + 2) && DigitAt(text, i + 3)) {
            int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// udev stores labels with \xNN escapes for anything unsafe.
std::string DecodeHexEscapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0 &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3])) != 0) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (DigitAt(a, i) && DigitAt(b, j)) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (DigitAt(a, iEnd)) ++iEnd;
            while (DigitAt(b, jEnd)) ++jEnd;
            std::string_view na = a.substr(i, iEnd - i);
            std::string_view nb = b.substr(j, jEnd - j);
            while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<DiskEntry> ListDisks(const BlockDeviceRoots& roots) {
    std::vector<DiskEntry> disks;
    for (const std::string& name : FolderEntries(roots.sysBlock)) {
        if (!IsListedDiskName(name)) continue;
        if (auto disk = ReadDisk(roots, name)) disks.push_back(std::move(*disk));
    }
    std::sort(disks.begin(), disks.end(), [](const DiskEntry& a, const DiskEntry& b) {
        int ra = KindRank(a.name);
        int rb = KindRank(b.name);
        return ra != rb ? ra < rb : NaturalLess(a.name, b.name);
    });
    return disks;
}

DiskGeometry GeometryFromSize(std::uint64_t sizeBytes, std::uint32_t heads, std::uint32_t sectorsPerTrack) {
    DiskGeometry g;
    g.heads = heads;
    g.sectorsPerTrack = sectorsPerTrack;
    std::uint64_t perCylinder = std::uint64_t{heads} * sectorsPerTrack;
    g.cylinders = perCylinder == 0 ? 0 : sizeBytes / kSysfsUnit / perCylinder;
    return g;
}

DiskGeometry ReadGeometry(const std::string& devicePath, std::uint64_t sizeBytes) {
    constexpr std::uint32_t kConventionHeads = 255;
    constexpr std::uint32_t kConventionSectors = 63;
    // O_NONBLOCK: an empty removable drive must not stall the listing.
    UniqueFd fd(::open(devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    hd_geometry geo{};
    struct stat st {};
    if (fd.Valid() && ::fstat(fd.Get(), &st) == 0 && S_ISBLK(st.st_mode) && ::ioctl(fd.Get(), HDIO_GETGEO, &geo) == 0 &&
        geo.heads != 0 && geo.sectors != 0)
        return GeometryFromSize(sizeBytes, geo.heads, geo.sectors);
    return GeometryFromSize(sizeBytes, kConventionHeads, kConventionSectors);
}

std::optional<FileSystemIdentity> ProbeFileSystem(const std::string& devicePath) {
    // The descriptor is ours and read-only; libblkid only reads through it.
    UniqueFd fd(::open(devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    blkid_probe probe = blkid_new_probe();
    if (probe == nullptr) return std::nullopt;
    std::optional<FileSystemIdentity> found;
    if (blkid_probe_set_device(probe, fd.Get(), 0, 0) == 0) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL);
        if (blkid_do_safeprobe(probe) == 0) {
            const char* type = nullptr;
            const char* label = nullptr;
            if (blkid_probe_lookup_value(probe, "TYPE", &type, nullptr) == 0 && type != nullptr) {
                found = FileSystemIdentity{type, {}};
                if (blkid_probe_lookup_value(probe, "LABEL", &label, nullptr) == 0 && label != nullptr)
                    found->label = Trim(label);
            }
        }
    }
    blkid_free_probe(probe);
    return found;
}

std::optional<FileSystemIdentity> UdevFileSystem(const BlockDeviceRoots& roots, const std::string& majorMinor) {
    if (majorMinor.empty()) return std::nullopt;
    std::ifstream in(roots.udevData + "/b" + majorMinor);
    if (!in) return std::nullopt;
    FileSystemIdentity id;
    std::string plainLabel;
    std::string encodedLabel;
    for (std::string line; std::getline(in, line);) {
        if (StartsWith(line, "E:ID_FS_TYPE=")) id.type = line.substr(13);
        else if (StartsWith(line, "E:ID_FS_LABEL_ENC=")) encodedLabel = DecodeHexEscapes(line.substr(18));
        else if (StartsWith(line, "E:ID_FS_LABEL=")) plainLabel = line.substr(14);
    }
    if (id.type.empty()) return std::nullopt;
    id.label = Trim(encodedLabel.empty() ? plainLabel : encodedLabel);
    return id;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
        auto separator = std::find(f.begin(), f.end(), "-");
        // id, parent, major:minor, root, mount point, options, [optional...], -, type, source
        if (f.size() < 6 || separator == f.end() || std::distance(f.begin(), separator) < 6 ||
            std::distance(separator, f.end()) < 3)
            continue;
        MountEntry m;
        m.majorMinor = f[2];
        m.mountPoint = DecodeOctal(f[4]);
        m.fsType = *(separator + 1);
        m.source = DecodeOctal(*(separator + 2));
        mounts.push_back(std::move(m));
    }
    return mounts;
}

std::vector<MountEntry> ReadMountInfo(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    return ParseMountInfo(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

std::optional<FileSystemSpace> QueryFileSystemSpace(const std::string& mountPoint) {
    struct statvfs vfs {};
    if (::statvfs(mountPoint.c_str(), &vfs) != 0) return std::nullopt;
    FileSystemSpace space;
    space.totalBytes = std::uint64_t{vfs.f_blocks} * vfs.f_frsize;
    space.freeBytes = std::uint64_t{vfs.f_bfree} * vfs.f_frsize;
    return space;
}

std::vector<LogicalDriveEntry> ListLogicalDrives(const BlockDeviceRoots& roots) {
    std::vector<MountEntry> mounts = ReadMountInfo(roots.mountInfo);
    auto describe = [&](const std::string& name, const std::string& devicePath, const std::string& majorMinor,
                        std::uint64_t sizeBytes) {
        LogicalDriveEntry drive;
        drive.name = name;
        drive.devicePath = devicePath;
        drive.sizeBytes = sizeBytes;
        std::optional<FileSystemIdentity> id = ProbeFileSystem(devicePath);
        if (!id) id = UdevFileSystem(roots, majorMinor);
        if (id) {
            drive.fsType = id->type;
            drive.label = id->label;
        }
        auto mount = std::find_if(mounts.begin(), mounts.end(), [&](const MountEntry& m) {
            return !majorMinor.empty() && m.majorMinor == majorMinor;
        });
        if (mount != mounts.end()) drive.space = QueryFileSystemSpace(mount->mountPoint);
        return drive;
    };

    std::vector<LogicalDriveEntry> drives;
    for (const DiskEntry& disk : ListDisks(roots)) {
        if (disk.partitions.empty()) {
            LogicalDriveEntry whole = describe(disk.name, disk.devicePath, disk.majorMinor, disk.sizeBytes);
            if (!whole.fsType.empty()) drives.push_back(std::move(whole));
            continue;
        }
        for (const PartitionEntry& part : disk.partitions) {
            if (part.sizeBytes <= kContainerBytes) continue;
            drives.push_back(describe(part.name, part.devicePath, part.majorMinor, part.sizeBytes));
        }
    }
    return drives;
}

}  // namespace zt::platform
