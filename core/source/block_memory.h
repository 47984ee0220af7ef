// Memory for the blocks a run reads from an image: 1 MiB pieces cut from
// 2 MiB regions that the kernel is asked to back with one huge page each.
// A run fills a few MiB of blocks as it starts; page by page, first touching
// them costs a fault per 4 KiB, which on some virtual machines is more than
// the whole copy out of the page cache. Pieces given back are kept for the
// next block (the regions are never unmapped): what is held is bounded by the
// most blocks alive at once. Anything of another size comes from the heap.
#pragma once

#include <cstddef>
#include <new>

namespace zt {

inline constexpr std::size_t BlockMemoryPiece = std::size_t{2} << 20;

// A piece when bytes is BlockMemoryPiece, else null (the caller then uses
// the heap); null too when no region could be mapped.
void* TakeBlockMemory(std::size_t bytes) noexcept;
// Gives back what TakeBlockMemory gave; false for memory it did not give.
bool GiveBackBlockMemory(void* piece, std::size_t bytes) noexcept;

// For the vectors that hold blocks.
template <typename T>
struct BlockAllocator {
    using value_type = T;
    BlockAllocator() = default;
    template <typename U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (void* piece = TakeBlockMemory(n * sizeof(T))) return static_cast<T*>(piece);
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (!GiveBackBlockMemory(p, n * sizeof(T))) ::operator delete(p);
    }
    // A block is always read into whole: it needs no zeros first.
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
    }
    friend bool operator==(const BlockAllocator&, const BlockAllocator&) noexcept { return true; }
};

}  // namespace zt
