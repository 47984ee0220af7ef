#include "core/source/block_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace zt {

namespace {

constexpr std::size_t kRegion = 2 * BlockMemoryPiece;

struct Pool {
    std::mutex mutex;
    std::vector<void*> free;
    std::vector<std::uintptr_t> regions;  // first bytes of the regions mapped
};

Pool& ThePool() {
    // Never destroyed: vectors of blocks may be let go during exit.
    static Pool* pool = new Pool;
    return *pool;
}

// A region of kRegion bytes aligned to kRegion, so that a huge page can back it.
void* MapRegion() {
    const std::size_t span = 2 * kRegion;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kRegion - 1) & ~(std::uintptr_t{kRegion} - 1);
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

}  // namespace

void* TakeBlockMemory(std::size_t bytes) noexcept {
    if (bytes != BlockMemoryPiece) return nullptr;
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (pool.free.empty()) {
        void* region = MapRegion();
        if (region == nullptr) return nullptr;
        try {
            pool.regions.push_back(reinterpret_cast<std::uintptr_t>(region));
            // Room for every piece, so that giving one back never allocates.
            pool.free.reserve(2 * pool.regions.size());
        } catch (...) {
            munmap(region, kRegion);
            return nullptr;
        }
        pool.free.push_back(static_cast<char*>(region) + BlockMemoryPiece);
        pool.free.push_back(region);
    }
    void* piece = pool.free.back();
    pool.free.pop_back();
    return piece;
}

bool GiveBackBlockMemory(void* piece, std::size_t bytes) noexcept {
    if (bytes != BlockMemoryPiece || piece == nullptr) return false;
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    const auto at = reinterpret_cast<std::uintptr_t>(piece);
    bool ours = false;
    for (const std::uintptr_t region : pool.regions) {
        if (at == region || at == region + BlockMemoryPiece) {
            ours = true;
            break;
        }
    }
    if (!ours) return false;
    // The list had room for every piece when its region was mapped.
    pool.free.push_back(piece);
    return true;
}

}  // namespace zt
