#include "core/source/block_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zt {

namespace {

// Room for the six blocks of a run's read window (core/source/sector_reader.h),
// the two being read and a view or a spare: with fewer, the piece after a
// block's would often still be in use; each more is 2 MiB more touched,
// which on a virtual machine costs about a millisecond. A region is only
// address space until its pieces are touched.
constexpr std::size_t kRegionPieces = 10;
constexpr std::size_t kRegion = kRegionPieces * BlockMemoryPiece;

struct Pool {
    std::mutex mutex;
    // Highest address first, so that the back is the lowest.
    std::vector<std::uintptr_t> free;
    std::vector<std::uintptr_t> regions;  // first bytes of the regions mapped
};

Pool& ThePool() {
    // Never destroyed: vectors of blocks may be let go during exit.
    static Pool* pool = new Pool;
    return *pool;
}

// A region of kRegion bytes aligned to a piece, so that huge pages can back
// each piece.
void* MapRegion() {
    const std::size_t span = kRegion + BlockMemoryPiece;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + BlockMemoryPiece - 1) & ~(std::uintptr_t{BlockMemoryPiece} - 1);
    if (aligned > start) munmap(p, aligned - start);
    const std::uintptr_t end = start + span;
    if (end > aligned + kRegion) munmap(reinterpret_cast<void*>(aligned + kRegion), end - aligned - kRegion);
    void* region = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Only advice: without huge pages the region works as well, just with more faults.
    madvise(region, kRegion, MADV_HUGEPAGE);
#endif
    return region;
}

// The first byte of the region that holds the piece at `at`, or 0.
std::uintptr_t RegionOf(const Pool& pool, std::uintptr_t at) {
    for (const std::uintptr_t region : pool.regions) {
        if (at >= region && at < region + kRegion && (at - region) % BlockMemoryPiece == 0) return region;
    }
    return 0;
}

// Where the piece at `at` is in the free list (sorted, highest first), or its end.
std::vector<std::uintptr_t>::iterator FindFree(Pool& pool, std::uintptr_t at) {
    const auto it = std::lower_bound(pool.free.begin(), pool.free.end(), at, std::greater<>());
    return it != pool.free.end() && *it == at ? it : pool.free.end();
}

}  // namespace

void* TakeBlockMemory(std::size_t bytes, const void* want) noexcept {
    if (bytes != BlockMemoryPiece) return nullptr;
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (pool.free.empty()) {
        void* region = MapRegion();
        if (region == nullptr) return nullptr;
        try {
            pool.regions.push_back(reinterpret_cast<std::uintptr_t>(region));
            // Room for every piece, so that giving one back never allocates.
            pool.free.reserve(kRegionPieces * pool.regions.size());
        } catch (...) {
            munmap(region, kRegion);
            return nullptr;
        }
        for (std::size_t i = kRegionPieces; i-- > 0;)
            pool.free.push_back(reinterpret_cast<std::uintptr_t>(region) + i * BlockMemoryPiece);
    }
    auto it = FindFree(pool, reinterpret_cast<std::uintptr_t>(want));
    if (want == nullptr || it == pool.free.end()) it = pool.free.end() - 1;
    const std::uintptr_t piece = *it;
    pool.free.erase(it);
    return reinterpret_cast<void*>(piece);
}

const void* BlockMemorySlot(const void* piece, std::uint64_t index) noexcept {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    const std::uintptr_t region = RegionOf(pool, reinterpret_cast<std::uintptr_t>(piece));
    if (region == 0) return nullptr;
    return reinterpret_cast<const void*>(region + index % kRegionPieces * BlockMemoryPiece);
}

bool BlockMemoryFree(const void* piece) noexcept {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    return FindFree(pool, reinterpret_cast<std::uintptr_t>(piece)) != pool.free.end();
}

bool GiveBackBlockMemory(void* piece, std::size_t bytes) noexcept {
    if (bytes != BlockMemoryPiece || piece == nullptr) return false;
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    const auto at = reinterpret_cast<std::uintptr_t>(piece);
    if (RegionOf(pool, at) == 0) return false;
    // The list had room for every piece when its region was mapped; it stays
    // in order, highest first.
    pool.free.insert(std::upper_bound(pool.free.begin(), pool.free.end(), at, std::greater<>()), at);
    return true;
}

}  // namespace zt
