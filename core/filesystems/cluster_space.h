// The data area of a FAT or exFAT volume as a run of numbered clusters, with
// what the volume records of them: the table that chains a file's clusters
// and which clusters are in use. Chains are followed here, bounded, however
// the table was damaged: a loop, a cross-link, a cluster past the end or a
// free cluster inside a chain ends the walk instead of misleading it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/filesystems/range_reader.h"
#include "core/scan/format_walk.h"
#include "core/scan/found_file_list.h"

namespace zt::fs {

struct ClusterSpace {
    std::uint64_t heapByte = 0;      // byte of the source where cluster 2 begins
    std::uint64_t clusterBytes = 0;  // a multiple of the sector size
    std::uint32_t clusterCount = 0;  // clusters 2 .. clusterCount + 1
    // Next cluster of each cluster, by cluster number (entries 0 and 1 unused).
    std::vector<std::uint32_t> next;
    std::uint32_t endMark = 0;  // an entry at or above it ends a chain
    std::vector<bool> allocated;  // by cluster number
    // Which walked file or folder each cluster was given to (0: none), to
    // tell a loop (our own) from a cross-link (another's).
    std::vector<std::uint32_t> owner;

    bool IsCluster(std::uint64_t c) const { return c >= 2 && c < std::uint64_t{clusterCount} + 2; }
    std::uint64_t ByteOf(std::uint32_t c) const { return heapByte + (std::uint64_t{c} - 2) * clusterBytes; }
    // The cluster whose first byte is at this byte of the source, if any.
    std::optional<std::uint32_t> ClusterAt(std::uint64_t byte) const;
    std::uint64_t ClustersFor(std::uint64_t bytes) const {
        return bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);  // no overflow near 2^64
    }
};

enum class ChainStatus : std::uint8_t {
    Complete,     // as many clusters as wanted, or the chain's end mark
    Short,        // the end mark came before the clusters wanted
    Broken,       // a free, bad or out-of-range entry, or a cluster that is not one
    Looped,       // the chain came back to a cluster of its own
    CrossLinked,  // the chain ran into a cluster another file or folder was given
};

struct ClusterList {
    std::vector<std::uint32_t> clusters;
    ChainStatus status = ChainStatus::Complete;
};

// Follows the table from first for at most `wanted` clusters, giving each to
// `owner` (nonzero).
ClusterList FollowChain(ClusterSpace& space, std::uint32_t first, std::uint64_t wanted, std::uint32_t owner);
// `wanted` clusters in a row from first (an exFAT file written in one run).
ClusterList ContiguousClusters(ClusterSpace& space, std::uint32_t first, std::uint64_t wanted, std::uint32_t owner);
// A deleted file's clusters as the allocator would have given them: first,
// then the free clusters after it in order. Empty (Broken) when first itself is in use.
ClusterList FreeClustersFrom(const ClusterSpace& space, std::uint32_t first, std::uint64_t wanted);

// The clusters as sectors of the source, neighbours merged, covering `bytes`
// (the last run is cut to the sectors the bytes need).
std::vector<SectorRun> ToSectorRuns(const ClusterSpace& space, std::span<const std::uint32_t> clusters,
                                    std::uint64_t bytes);

// Reads the bytes a list of runs holds, at most maxBytes; empty when any run
// lies outside the range.
std::vector<std::uint8_t> ReadRuns(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t maxBytes);

enum class DataCheck : std::uint8_t {
    Consistent,  // a known header, and its format measures exactly this length
    Unmeasured,  // a known header, but the format could not be followed to its end
    Inconsistent,
};
// Whether the data a deleted entry points to is still the file it names: the
// format's header at its start and, where its walk measures the file, the
// same length (within the last cluster, which may hold padding).
DataCheck CheckDeletedData(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t bytes,
                           std::uint64_t clusterBytes);

// A view of the bytes of a file whose pieces are sector runs of the source.
class RunsFileView final : public FileView {
public:
    RunsFileView(RangeReader& reader, std::span<const SectorRun> runs, std::uint64_t bytes);

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override;

private:
    RangeReader& reader_;
    std::span<const SectorRun> runs_;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockOffset_ = 0;  // file offset of block_[0]
    std::size_t blockBytes_ = 0;
};

}  // namespace zt::fs
