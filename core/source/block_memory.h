// Memory for the blocks a run reads from an image: 2 MiB pieces cut, in
// address order, from large regions that the kernel is asked to back with
// huge pages. A run fills a few MiB of blocks as it starts; page by page,
// first touching them costs a fault per 4 KiB, which on some virtual
// machines is more than the whole copy out of the page cache. Pieces given
// back are kept for the next block (the regions are never unmapped): what is
// held is bounded by the most blocks alive at once. Anything of another size
// comes from the heap.
//
// Pieces of one region lie one after another, so that two blocks read one
// after the other can lie so too, and a stretch that spans both is looked
// at in place rather than copied together (see ReadWindow::TakeSpare).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace zt {

inline constexpr std::size_t BlockMemoryPiece = std::size_t{2} << 20;

// A piece when bytes is BlockMemoryPiece, else null (the caller then uses
// the heap); null too when no region could be mapped. The piece at `want`
// when that one is free, else the free piece lowest in memory.
void* TakeBlockMemory(std::size_t bytes, const void* want = nullptr) noexcept;
// Piece number `index`, counted round, of the region that holds `piece`;
// null for memory TakeBlockMemory did not give. Block b taking piece b of
// the region makes the blocks read in turn go round it in order, one after
// another in memory, each piece free again by the time it comes up; a block
// that cannot have its piece (still looked at, or held by a block read out
// of turn) upsets no other.
const void* BlockMemorySlot(const void* piece, std::uint64_t index) noexcept;
// True when the piece at `piece` is one TakeBlockMemory would give now.
bool BlockMemoryFree(const void* piece) noexcept;
// Gives back what TakeBlockMemory gave; false for memory it did not give.
bool GiveBackBlockMemory(void* piece, std::size_t bytes) noexcept;

// Makes the elements of a buffer without zeros: a block, or a buffer, that
// is always read into whole before it is looked at needs none first.
struct ConstructWithoutZeros {
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
    }
};

// For the vectors that hold blocks. One made with a wanted address asks for
// the piece there (see TakeBlockMemory); all of them free each other's.
template <typename T>
struct BlockAllocator : ConstructWithoutZeros {
    using value_type = T;
    BlockAllocator() = default;
    explicit BlockAllocator(const void* wanted) noexcept : want(wanted) {}
    template <typename U>
    BlockAllocator(const BlockAllocator<U>& other) noexcept : want(other.want) {}

    T* allocate(std::size_t n) {
        if (void* piece = TakeBlockMemory(n * sizeof(T), want)) return static_cast<T*>(piece);
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (!GiveBackBlockMemory(p, n * sizeof(T))) ::operator delete(p);
    }
    friend bool operator==(const BlockAllocator&, const BlockAllocator&) noexcept { return true; }

    const void* want = nullptr;
};

// For buffers that are always written before they are read (a chunk read
// into, a walk's block): made without zeros, so that their pages are not
// touched, and faulted in, until a read fills them.
template <typename T>
struct NoZeroAllocator : std::allocator<T>, ConstructWithoutZeros {
    NoZeroAllocator() = default;
    template <typename U>
    NoZeroAllocator(const NoZeroAllocator<U>&) noexcept {}
    template <typename U>
    struct rebind {
        using other = NoZeroAllocator<U>;
    };
};

// A byte buffer of that kind.
using UnzeroedBytes = std::vector<std::uint8_t, NoZeroAllocator<std::uint8_t>>;

}  // namespace zt
