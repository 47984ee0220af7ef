#include "core/filesystems/directory_tree.h"

#include <algorithm>
#include <map>

namespace zt::fs {

namespace {

const char* ChainProblem(ChainStatus status) {
    switch (status) {
        case ChainStatus::Complete:
            return "complete";
        case ChainStatus::Short:
            return "ends before its size";
        case ChainStatus::Broken:
            return "runs into a free or invalid cluster";
        case ChainStatus::Looped:
            return "loops";
        case ChainStatus::CrossLinked:
            return "is cross-linked with another file";
    }
    return "is damaged";
}

}  // namespace

TreeWalk::TreeWalk(RangeReader& reader, ClusterSpace& space, const DirectoryFormat& format, std::uint32_t fileSystem,
                   VolumeListing& out, WalkLimits limits)
    : reader_(reader), space_(space), format_(format), fileSystem_(fileSystem), out_(out), limits_(limits) {}

void TreeWalk::Note(const std::string& line) {
    if (out_.notes.size() < limits_.maxNotes) {
        out_.notes.push_back(line);
    } else {
        ++notesDropped_;
    }
}

void TreeWalk::WalkRootRuns(std::vector<SectorRun> runs) {
    pending_.push_back({std::move(runs), "", false, false, 0});
    Drain();
}

void TreeWalk::WalkRootChain(std::uint32_t rootCluster) {
    const ClusterList list = FollowChain(space_, rootCluster, ~std::uint64_t{0}, NewOwner());
    if (list.status != ChainStatus::Complete) Note(std::string("the root folder's chain ") + ChainProblem(list.status));
    listedFolders_.insert(rootCluster);
    pending_.push_back({ToSectorRuns(space_, list.clusters, list.clusters.size() * space_.clusterBytes), "", false,
                        false, 0});
    Drain();
}

void TreeWalk::WalkOrphan(std::uint32_t cluster, const std::string& path) {
    if (!space_.IsCluster(cluster) || !listedFolders_.insert(cluster).second) return;
    // After a quick format the table is empty: the folder's clusters are
    // taken in a row, as long as they still read as folder entries.
    const ClusterList list = FreeClustersFrom(space_, cluster, limits_.deletedFolderClusters);
    pending_.push_back({ToSectorRuns(space_, list.clusters, list.clusters.size() * space_.clusterBytes), path, true,
                        true, cluster});
    Drain();
}

void TreeWalk::Drain() {
    while (!pending_.empty()) {
        const Folder folder = std::move(pending_.front());
        pending_.pop_front();
        if (entries_ >= limits_.maxEntries) {
            if (!entryLimitNoted_) {
                Note("more than " + std::to_string(limits_.maxEntries) + " entries: the rest of the tree is not read");
                entryLimitNoted_ = true;
            }
            continue;
        }
        ListFolder(folder);
    }
}

void TreeWalk::ListFolder(const Folder& folder) {
    const std::vector<std::uint8_t> bytes = ReadRuns(reader_, folder.runs, limits_.maxFolderBytes);
    if (bytes.empty() && !folder.runs.empty()) {
        Note("folder '" + folder.path + "' lies outside the scanned range");
        return;
    }
    if (folder.firstCluster != 0 && !format_.StillFolderAt(bytes, folder.firstCluster)) return;  // reused
    std::vector<DirEntry> entries;
    format_.Parse(bytes, folder.deleted, entries);
    for (const DirEntry& e : entries) {
        if (++entries_ > limits_.maxEntries) return;
        if (e.directory) {
            TakeFolder(folder, e);
        } else {
            TakeFile(folder, e);
        }
    }
}

bool TreeWalk::WithinRange(std::span<const SectorRun> runs) const {
    return std::all_of(runs.begin(), runs.end(), [&](const SectorRun& r) {
        return reader_.Contains(r.first * kSectorBytes, r.count * kSectorBytes);
    });
}

std::string TreeWalk::ChildPath(const Folder& parent, const std::string& name) const {
    return parent.path.empty() ? name : parent.path + "/" + name;
}

void TreeWalk::TakeFolder(const Folder& parent, const DirEntry& e) {
    const std::string path = ChildPath(parent, e.name);
    // A folder that lists itself or an ancestor is walked once.
    if (!space_.IsCluster(e.firstCluster) || !listedFolders_.insert(e.firstCluster).second) return;
    const bool deleted = parent.deleted || e.deleted;
    const bool sized = format_.FoldersHaveSize() && e.size > 0;
    const std::uint64_t wanted =
        std::min(space_.ClustersFor(sized ? e.size : limits_.maxFolderBytes), space_.ClustersFor(limits_.maxFolderBytes));
    ClusterList list;
    if (deleted) {
        list = FreeClustersFrom(space_, e.firstCluster, sized ? wanted : limits_.deletedFolderClusters);
        if (list.clusters.empty()) return;  // taken by a later file: nothing of it is left
    } else if (e.contiguous) {
        list = ContiguousClusters(space_, e.firstCluster, wanted, NewOwner());
    } else {
        list = FollowChain(space_, e.firstCluster, sized ? wanted : ~std::uint64_t{0}, NewOwner());
    }
    if (!deleted && list.status != ChainStatus::Complete) {
        Note("folder '" + path + "': its chain " + ChainProblem(list.status));
    }
    pending_.push_back({ToSectorRuns(space_, list.clusters, list.clusters.size() * space_.clusterBytes), path, deleted,
                        parent.orphan, deleted ? e.firstCluster : 0});
}

void TreeWalk::TakeFile(const Folder& parent, const DirEntry& e) {
    if (e.size == 0) return;  // nothing to recover
    const std::string path = ChildPath(parent, e.name);
    if (parent.deleted || e.deleted) {
        TakeDeletedFile(parent, e, path);
        return;
    }
    const std::uint64_t wanted = space_.ClustersFor(e.size);
    const ClusterList list = e.contiguous ? ContiguousClusters(space_, e.firstCluster, wanted, NewOwner())
                                          : FollowChain(space_, e.firstCluster, wanted, NewOwner());
    if (list.status != ChainStatus::Complete || list.clusters.size() < wanted) {
        Note("'" + path + "': its chain " + ChainProblem(list.status) + "; left to the carving");
        return;
    }
    std::vector<SectorRun> runs = ToSectorRuns(space_, list.clusters, e.size);
    if (!WithinRange(runs)) {
        Note("'" + path + "' lies partly outside the scanned range");
        return;
    }
    FsFile file;
    file.named = {path, e.modified, NamedFileState::Live, false, std::move(runs), fileSystem_, {}};
    file.byteLength = e.size;
    out_.files.push_back(std::move(file));
    ++out_.live;
}

void TreeWalk::TakeDeletedFile(const Folder& parent, const DirEntry& e, const std::string& path) {
    const std::uint64_t wanted = space_.ClustersFor(e.size);
    ClusterList list;
    if (e.contiguous) {
        // Written in one run: its clusters lie in a row, and one in use now
        // means another file has overwritten part of it.
        list = FreeClustersFrom(space_, e.firstCluster, wanted);
        if (!list.clusters.empty() && list.clusters.back() != e.firstCluster + list.clusters.size() - 1) return;
    } else {
        list = FreeClustersFrom(space_, e.firstCluster, wanted);
    }
    if (list.status != ChainStatus::Complete || list.clusters.size() < wanted) return;
    std::vector<SectorRun> runs = ToSectorRuns(space_, list.clusters, e.size);
    if (!WithinRange(runs)) return;
    const DataCheck check = CheckDeletedData(reader_, runs, e.size, space_.clusterBytes);
    if (check == DataCheck::Inconsistent) return;
    FsFile file;
    file.named = {path,
                  e.modified,
                  check == DataCheck::Consistent ? NamedFileState::Deleted : NamedFileState::DeletedMaybeOverwritten,
                  parent.orphan,
                  std::move(runs),
                  fileSystem_,
                  {}};
    file.byteLength = e.size;
    deletedClusters_.emplace_back(out_.files.size(), std::move(list.clusters));
    out_.files.push_back(std::move(file));
    if (parent.orphan) {
        ++out_.orphan;
    } else {
        ++out_.deleted;
    }
}

void TreeWalk::Finish() {
    // Files whose format proved them whole claim their clusters; one that
    // only shares clusters with files that could not be proved keeps its state.
    std::map<std::uint32_t, std::uint32_t> users;
    auto proved = [&](std::size_t index) { return out_.files[index].named.state == NamedFileState::Deleted; };
    for (const auto& [index, clusters] : deletedClusters_) {
        if (!proved(index)) continue;
        for (const std::uint32_t c : clusters) ++users[c];
    }
    for (const auto& [index, clusters] : deletedClusters_) {
        if (!proved(index)) continue;
        const bool shared = std::any_of(clusters.begin(), clusters.end(), [&](std::uint32_t c) { return users[c] > 1; });
        if (shared) out_.files[index].named.state = NamedFileState::DeletedMaybeOverwritten;
    }
    if (notesDropped_ > 0) out_.notes.push_back("and " + std::to_string(notesDropped_) + " more problems");
    notesDropped_ = 0;
}

}  // namespace zt::fs
