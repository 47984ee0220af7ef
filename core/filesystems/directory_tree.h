// The walk of one volume's folder tree, shared by FAT and exFAT: which
// clusters hold each folder and file, what a deleted entry can still give
// back, and the bounds that keep a damaged volume from costing more than its
// size. The kind of file system only says how a folder's bytes read.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/filesystems/cluster_space.h"
#include "core/filesystems/range_reader.h"
#include "core/scan/found_file_list.h"

namespace zt::fs {

struct DirEntry {
    std::string name;  // UTF-8, never empty, no '/'
    bool directory = false;
    bool deleted = false;
    std::uint32_t firstCluster = 0;
    std::uint64_t size = 0;  // bytes; exFAT gives it for folders too
    std::int64_t modified = 0;
    bool contiguous = false;  // exFAT: clusters in a row, no chain in the table
};

// How one kind of file system stores a folder.
class DirectoryFormat {
public:
    virtual ~DirectoryFormat() = default;
    // Appends the entries of a folder's bytes, leaving out "." and "..",
    // labels and the file system's own entries. `strict` is for deleted and
    // orphan folders, whose clusters after the first may hold anything: the
    // parse then stops at the first entry that cannot be one.
    virtual void Parse(std::span<const std::uint8_t> bytes, bool strict, std::vector<DirEntry>& out) const = 0;
    // exFAT records a folder's size; FAT ends a folder by its chain alone.
    virtual bool FoldersHaveSize() const = 0;
    // Whether the bytes at a deleted folder's first cluster are still that
    // folder's (FAT: its "." entry names that cluster).
    virtual bool StillFolderAt(std::span<const std::uint8_t> bytes, std::uint32_t cluster) const = 0;
};

struct FsFile {
    NamedFile named;
    std::uint64_t byteLength = 0;
};

struct VolumeListing {
    std::vector<FsFile> files;
    std::vector<std::string> notes;  // what was wrong with the volume, one line each
    std::uint32_t live = 0;
    std::uint32_t deleted = 0;
    std::uint32_t orphan = 0;
};

struct WalkLimits {
    std::uint64_t maxEntries = 1'000'000;          // entries of every folder together
    std::uint64_t maxFolderBytes = 32u << 20;      // one folder
    std::uint32_t deletedFolderClusters = 64;      // a deleted FAT folder has no recorded size
    std::size_t maxNotes = 20;
};

class TreeWalk {
public:
    TreeWalk(RangeReader& reader, ClusterSpace& space, const DirectoryFormat& format, std::uint32_t fileSystem,
             VolumeListing& out, WalkLimits limits = {});

    // The root folder held in fixed sectors (FAT12 and FAT16).
    void WalkRootRuns(std::vector<SectorRun> runs);
    // The root folder as a chain of clusters (FAT32 and exFAT).
    void WalkRootChain(std::uint32_t rootCluster);
    // A folder found by its own entries whose parent no longer lists it: its
    // files and subfolders are listed under `path`, as deleted files.
    void WalkOrphan(std::uint32_t cluster, const std::string& path);
    // True when a walk already listed the folder that starts at this cluster.
    bool Listed(std::uint32_t cluster) const { return listedFolders_.contains(cluster); }
    // Marks the deleted files that share clusters with another as maybe
    // overwritten; call once after the last walk.
    void Finish();

    void Note(const std::string& line);

private:
    struct Folder {
        std::vector<SectorRun> runs;
        std::string path;  // "" for the root
        bool deleted = false;
        bool orphan = false;
        std::uint32_t firstCluster = 0;  // of a deleted folder, to check it is still there
    };

    void Drain();
    void ListFolder(const Folder& folder);
    void TakeFolder(const Folder& parent, const DirEntry& e);
    void TakeFile(const Folder& parent, const DirEntry& e);
    void TakeDeletedFile(const Folder& parent, const DirEntry& e, const std::string& path);
    bool WithinRange(std::span<const SectorRun> runs) const;
    std::string ChildPath(const Folder& parent, const std::string& name) const;
    std::uint32_t NewOwner() { return ++lastOwner_; }

    RangeReader& reader_;
    ClusterSpace& space_;
    const DirectoryFormat& format_;
    std::uint32_t fileSystem_;
    VolumeListing& out_;
    WalkLimits limits_;
    std::deque<Folder> pending_;
    std::set<std::uint32_t> listedFolders_;
    std::uint64_t entries_ = 0;
    bool entryLimitNoted_ = false;
    std::size_t notesDropped_ = 0;
    std::uint32_t lastOwner_ = 0;
    // Clusters each recovered deleted file was given, by position in out_.files.
    std::vector<std::pair<std::size_t, std::vector<std::uint32_t>>> deletedClusters_;
};

}  // namespace zt::fs
