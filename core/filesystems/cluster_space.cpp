#include "core/filesystems/cluster_space.h"

#include <algorithm>

namespace zt::fs {

namespace {

// Bytes a file view reads from the source at a time.
constexpr std::size_t kViewBlockBytes = 64 * 1024;

}  // namespace

std::optional<std::uint32_t> ClusterSpace::ClusterAt(std::uint64_t byte) const {
    if (byte < heapByte || clusterBytes == 0 || (byte - heapByte) % clusterBytes != 0) return std::nullopt;
    const std::uint64_t c = (byte - heapByte) / clusterBytes + 2;
    if (!IsCluster(c)) return std::nullopt;
    return static_cast<std::uint32_t>(c);
}

ClusterList FollowChain(ClusterSpace& space, std::uint32_t first, std::uint64_t wanted, std::uint32_t owner) {
    ClusterList list;
    std::uint64_t c = first;
    while (list.clusters.size() < wanted) {
        if (!space.IsCluster(c)) {
            list.status = ChainStatus::Broken;
            return list;
        }
        const std::uint32_t cluster = static_cast<std::uint32_t>(c);
        const std::uint32_t holder = space.owner[cluster];
        if (holder == owner) {
            list.status = ChainStatus::Looped;
            return list;
        }
        if (holder != 0) {
            list.status = ChainStatus::CrossLinked;
            return list;
        }
        space.owner[cluster] = owner;
        list.clusters.push_back(cluster);
        const std::uint32_t n = space.next[cluster];
        if (n >= space.endMark) {
            if (list.clusters.size() < wanted && wanted != ~std::uint64_t{0}) list.status = ChainStatus::Short;
            return list;
        }
        if (n == 0) {
            if (list.clusters.size() < wanted) list.status = ChainStatus::Broken;
            return list;
        }
        c = n;
    }
    return list;
}

ClusterList ContiguousClusters(ClusterSpace& space, std::uint32_t first, std::uint64_t wanted, std::uint32_t owner) {
    ClusterList list;
    if (!space.IsCluster(first) || wanted > space.clusterCount || !space.IsCluster(first + wanted - 1)) {
        list.status = ChainStatus::Broken;
        return list;
    }
    for (std::uint64_t i = 0; i < wanted; ++i) {
        const std::uint32_t cluster = static_cast<std::uint32_t>(first + i);
        if (space.owner[cluster] != 0) {
            list.status = space.owner[cluster] == owner ? ChainStatus::Looped : ChainStatus::CrossLinked;
            return list;
        }
        space.owner[cluster] = owner;
        list.clusters.push_back(cluster);
    }
    return list;
}

ClusterList FreeClustersFrom(const ClusterSpace& space, std::uint32_t first, std::uint64_t wanted) {
    ClusterList list;
    if (!space.IsCluster(first) || space.allocated[first] || wanted > space.clusterCount) {
        list.status = ChainStatus::Broken;
        return list;
    }
    for (std::uint64_t c = first; list.clusters.size() < wanted; ++c) {
        if (!space.IsCluster(c)) {
            list.status = ChainStatus::Short;
            return list;
        }
        if (!space.allocated[c]) list.clusters.push_back(static_cast<std::uint32_t>(c));
    }
    return list;
}

std::vector<SectorRun> ToSectorRuns(const ClusterSpace& space, std::span<const std::uint32_t> clusters,
                                    std::uint64_t bytes) {
    std::vector<SectorRun> runs;
    const std::uint64_t clusterSectors = space.clusterBytes / kSectorBytes;
    std::uint64_t left = bytes / kSectorBytes + (bytes % kSectorBytes != 0 ? 1 : 0);
    for (const std::uint32_t c : clusters) {
        if (left == 0) break;
        const std::uint64_t first = space.ByteOf(c) / kSectorBytes;
        const std::uint64_t count = std::min(clusterSectors, left);
        left -= count;
        if (!runs.empty() && runs.back().first + runs.back().count == first) {
            runs.back().count += count;
        } else {
            runs.push_back({first, count});
        }
    }
    return runs;
}

std::vector<std::uint8_t> ReadRuns(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t maxBytes) {
    std::vector<std::uint8_t> bytes;
    for (const SectorRun& run : runs) {
        const std::uint64_t n = std::min(run.count * kSectorBytes, maxBytes - bytes.size());
        if (n == 0) break;
        const std::size_t at = bytes.size();
        bytes.resize(at + static_cast<std::size_t>(n));
        if (!reader.Read(run.first * kSectorBytes, std::span(bytes).subspan(at))) return {};
    }
    return bytes;
}

DataCheck CheckDeletedData(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t bytes,
                           std::uint64_t clusterBytes) {
    if (runs.empty() || bytes == 0) return DataCheck::Inconsistent;
    std::array<std::uint8_t, kSectorBytes> head{};
    if (!reader.Read(runs.front().first * kSectorBytes, head)) return DataCheck::Inconsistent;
    const std::size_t available = static_cast<std::size_t>(std::min<std::uint64_t>(kSectorBytes, bytes));
    const FormatMatch match = DetectFormat(head.data(), kSectorBytes);
    if (match.family == FormatFamily::None || available < 16) return DataCheck::Inconsistent;
    RunsFileView view(reader, runs, bytes);
    const Extent extent = MeasureFormat(match.family, view);
    switch (extent.kind) {
        case ExtentKind::NotAFile:
            return DataCheck::Inconsistent;
        case ExtentKind::Unknown:
            return DataCheck::Unmeasured;
        case ExtentKind::Exact:
            break;
    }
    // Some writers pad a file after its last structure; none pads past its cluster.
    if (extent.bytes <= bytes && bytes - extent.bytes < std::max<std::uint64_t>(clusterBytes, kSectorBytes)) {
        return DataCheck::Consistent;
    }
    return DataCheck::Inconsistent;
}

RunsFileView::RunsFileView(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t bytes)
    : FileView(bytes), reader_(reader), runs_(runs), block_(kViewBlockBytes) {}

std::span<const std::uint8_t> RunsFileView::Fetch(std::uint64_t offset) {
    if (blockBytes_ != 0 && offset >= blockOffset_ && offset < blockOffset_ + blockBytes_) {
        return std::span<const std::uint8_t>(block_).subspan(static_cast<std::size_t>(offset - blockOffset_),
                                                             blockOffset_ + blockBytes_ - offset);
    }
    blockBytes_ = 0;
    std::uint64_t runStart = 0;  // file offset of the run's first byte
    for (const SectorRun& run : runs_) {
        const std::uint64_t runBytes = run.count * kSectorBytes;
        if (offset >= runStart + runBytes) {
            runStart += runBytes;
            continue;
        }
        const std::uint64_t inRun = offset - runStart;
        const std::uint64_t n = std::min<std::uint64_t>({block_.size(), runBytes - inRun, Limit() - offset});
        if (!reader_.Read(run.first * kSectorBytes + inRun, std::span(block_).first(static_cast<std::size_t>(n)))) {
            return {};  // outside the range: the walk sees the file end there
        }
        blockOffset_ = offset;
        blockBytes_ = static_cast<std::size_t>(n);
        return std::span<const std::uint8_t>(block_).first(blockBytes_);
    }
    return {};
}

}  // namespace zt::fs
