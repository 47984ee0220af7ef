#include "core/filesystems/file_system_pass.h"

#include <algorithm>
#include <array>
#include <map>

#include "core/filesystems/exfat.h"
#include "core/filesystems/fs_text.h"
#include "core/filesystems/partitions.h"

namespace zt::fs {

namespace {

// A candidate set of "." and ".." entries costs a few bytes; a range full of
// them (a crafted image) is bounded.
constexpr std::size_t kMaxFolderSectors = 1'000'000;

}  // namespace

struct FileSystemPass::Volume {
    ClusterSpace space;
    std::unique_ptr<DirectoryFormat> format;
    std::unique_ptr<TreeWalk> walk;
};

FileSystemPass::FileSystemPass(SectorReader& reader, WalkLimits limits) : reader_(reader), limits_(limits) {}

FileSystemPass::~FileSystemPass() = default;

void FileSystemPass::ReadTrees() {
    const std::uint64_t first = reader_.BeginByte() / kSectorBytes;
    const std::size_t before = found_.size();
    OpenVolume(first);
    if (found_.size() != before) return;
    for (const VolumeStart& v : ReadPartitionTable(reader_, first)) OpenVolume(v.firstSector);
}

void FileSystemPass::OpenVolume(std::uint64_t firstSector) {
    const std::uint64_t startByte = firstSector * kSectorBytes;
    if (!reader_.Contains(startByte, kSectorBytes)) return;
    const std::optional<ExFatGeometry> exfat = ReadExFatBootRegion(reader_, startByte);
    const std::optional<FatGeometry> fat = exfat ? std::nullopt : ReadFatBootSector(reader_, startByte);
    if (!exfat && !fat) return;

    FoundFileSystem& fs = found_.emplace_back();
    fs.kind = exfat ? FileSystemKind::ExFat : fat->kind;
    fs.firstSector = firstSector;
    if (fat) fs.label = fat->label;
    std::unique_ptr<Volume>& volume = volumes_.emplace_back(std::make_unique<Volume>());
    const std::string name = std::string(KindName(fs.kind)) + " at sector " + std::to_string(firstSector) + ": ";
    std::string problem;
    const bool loaded = exfat ? LoadExFatTables(reader_, *exfat, volume->space, problem)
                              : LoadFatTable(reader_, *fat, volume->space);
    if (!loaded) {
        fs.listing.notes.push_back(name + (exfat ? problem : "its allocation table lies outside the scanned range"));
        volume.reset();
        return;
    }
    if (exfat ? exfat->fromBackup : fat->fromBackup) fs.listing.notes.push_back(name + "read from its backup boot sector");
    if (exfat) {
        volume->format = std::make_unique<ExFatDirectoryFormat>();
    } else {
        volume->format = std::make_unique<FatDirectoryFormat>(fat->kind);
    }
    volume->walk = std::make_unique<TreeWalk>(reader_, volume->space, *volume->format,
                                              static_cast<std::uint32_t>(found_.size() - 1), fs.listing, limits_);
    if (exfat) {
        volume->walk->WalkRootChain(exfat->rootCluster);
    } else if (fat->kind == FileSystemKind::Fat32) {
        volume->walk->WalkRootChain(fat->rootCluster);
    } else {
        const std::uint64_t rootBytes = std::uint64_t{fat->rootEntries} * 32;
        volume->walk->WalkRootRuns({{fat->rootByte / kSectorBytes, (rootBytes + kSectorBytes - 1) / kSectorBytes}});
    }
}

void FileSystemPass::ExamineChunk(std::uint64_t firstSector, std::uint32_t count, const std::uint8_t* data) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* s = data + std::size_t{i} * kSectorBytes;
        // Cheap test first: nearly no sector starts with ". " then spaces.
        if (s[0] != '.' || s[1] != ' ' || s[32] != '.' || s[33] != '.') continue;
        std::uint32_t self = 0;
        if (folderSectors_.size() < kMaxFolderSectors &&
            LooksLikeFolderStart({s, kSectorBytes}, FileSystemKind::Fat32, self)) {
            folderSectors_.insert(firstSector + i);
        }
    }
}

void FileSystemPass::ReadOrphans() {
    for (std::size_t i = 0; i < found_.size(); ++i) {
        Volume* v = volumes_[i].get();
        if (v == nullptr || found_[i].kind == FileSystemKind::ExFat) continue;
        // The folders that begin where a cluster begins, with "." naming that
        // cluster, and that nothing in the tree reached; a folder whose ".."
        // is another such folder is listed inside it.
        std::map<std::uint32_t, std::uint32_t> parentOf;
        for (const std::uint64_t sector : folderSectors_) {
            const std::optional<std::uint32_t> c = v->space.ClusterAt(sector * kSectorBytes);
            if (!c || v->walk->Listed(*c) || v->space.allocated[*c]) continue;
            std::array<std::uint8_t, kSectorBytes> bytes{};
            std::uint32_t self = 0;
            if (!reader_.Read(sector * kSectorBytes, bytes) || !LooksLikeFolderStart(bytes, found_[i].kind, self) ||
                self != *c) {
                continue;
            }
            const std::uint32_t high = found_[i].kind == FileSystemKind::Fat32 ? Le16(bytes, 52) : 0;
            parentOf[*c] = (high << 16) | Le16(bytes, 58);
        }
        for (const auto& [cluster, parent] : parentOf) {
            if (parentOf.contains(parent)) continue;  // reached through its parent
            v->walk->WalkOrphan(cluster, std::string(OrphanFolderName) + "/Folder" + std::to_string(cluster));
        }
        // Folders whose parents form a loop with no top are listed on their own.
        for (const auto& [cluster, parent] : parentOf) {
            v->walk->WalkOrphan(cluster, std::string(OrphanFolderName) + "/Folder" + std::to_string(cluster));
        }
        v->walk->Finish();
    }
    for (std::size_t i = 0; i < found_.size(); ++i) {
        if (volumes_[i] != nullptr && found_[i].kind == FileSystemKind::ExFat) volumes_[i]->walk->Finish();
    }
}

std::string VolumeName(const FoundFileSystem& found) {
    return std::string(KindName(found.kind)) + " at sector " + std::to_string(found.firstSector);
}

}  // namespace zt::fs
