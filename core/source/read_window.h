// A bounded memory of stretches of sectors that were read whole without an
// error, so that sectors the scan needs again (a rescan from the sector after
// a header, a look-ahead, a walk going back) come from memory, not from the
// medium. Nothing that failed is ever held: a sector that could not be read
// goes to the medium (and so to the bad-sector policy) every time it is
// needed, as it always did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/source/block_memory.h"

namespace zt {

class ReadWindow {
public:
    using Bytes = std::vector<std::uint8_t, BlockAllocator<std::uint8_t>>;

    // Sectors looked at where the window holds them, without a copy. While a
    // view lives, the stretch's bytes are neither freed nor reused for
    // another read, even once the window has let the stretch go. Views are
    // let go on the thread that holds them; the window must outlive them.
    class View {
    public:
        View() = default;
        View(View&& other) noexcept { *this = std::move(other); }
        View& operator=(View&& other) noexcept;
        View(const View&) = delete;
        View& operator=(const View&) = delete;
        ~View() { Reset(); }

        explicit operator bool() const { return data_ != nullptr; }
        const std::uint8_t* Data() const { return data_; }
        void Reset();

        // Where next's sectors lie right after this view's bytesHere bytes
        // (two stretches whose bytes lie one after the other in memory),
        // this view takes them on too, and both are looked at as one; true
        // then. Otherwise false, and neither changes.
        bool Extend(std::size_t bytesHere, View&& next);

    private:
        friend class ReadWindow;
        View(ReadWindow* window, std::shared_ptr<const Bytes> bytes, const std::uint8_t* data)
            : window_(window), bytes_(std::move(bytes)), data_(data) {}
        ReadWindow* window_ = nullptr;
        std::shared_ptr<const Bytes> bytes_;
        std::shared_ptr<const Bytes> next_;
        const std::uint8_t* data_ = nullptr;
    };

    explicit ReadWindow(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    // Forgets everything held.
    void Clear();
    // Copies sectors [first, first + count) of source into out when every one
    // of them is held; false otherwise (out may then be partly written).
    bool Copy(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out);
    // A view of sectors [first, first + count) of source when one stretch
    // holds them all; an empty view otherwise.
    View Look(const std::string& source, std::uint64_t first, std::uint64_t count);
    // A view of the sector `first` of bytes, which hold sectors from
    // bytesFirst on: for a stretch just read, whether or not it is held.
    View LookAt(std::shared_ptr<const Bytes> bytes, std::uint64_t bytesFirst, std::uint64_t first);
    // True when every sector of [first, first + count) of source is held.
    bool Holds(const std::string& source, std::uint64_t first, std::uint64_t count) const;
    // Holds bytes (whole sectors) as the sectors of source from first on. A
    // stretch of another source replaces all held; older stretches make room.
    void Put(const std::string& source, std::uint64_t first, std::shared_ptr<Bytes> bytes);
    void Put(const std::string& source, std::uint64_t first, const std::vector<std::uint8_t>& bytes) {
        Put(source, first, std::make_shared<Bytes>(bytes.begin(), bytes.end()));
    }
    // Bytes held now: never more than the capacity, once a Put returns.
    std::size_t HeldBytes() const;
    // The bytes of a stretch that made room and that no view looks at, for
    // the next read to reuse rather than to allocate (and fault in) anew; a
    // new empty one when there is none. A few are kept, as the reader, the
    // thread ahead of it and the views each take one. Those at `want` when
    // nobody looks at them: spare, new (see TakeBlockMemory), or those of a
    // stretch held, which then makes room.
    std::shared_ptr<Bytes> TakeSpare(const std::uint8_t* want = nullptr);
    // The bytes of the stretch of source held that ends just before sector
    // `end`, or null: those of the stretch read next best follow them (see
    // View::Extend).
    const std::uint8_t* BytesEndingAt(const std::string& source, std::uint64_t end) const;

private:
    // Copy's walk over the stretches; with out null it only looks.
    bool Visit(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out) const;
    void EraseOverlapping(std::uint64_t first, std::uint64_t end);

    mutable std::mutex mutex_;
    std::size_t capacity_;
    std::string source_;
    // By first sector; stretches never overlap.
    struct Stretch {
        std::shared_ptr<Bytes> bytes;
        std::uint64_t serial = 0;
    };
    std::map<std::uint64_t, Stretch> stretches_;
    // Stretches in the order they were put (first sector, serial); an entry
    // whose stretch was replaced since is skipped.
    std::deque<std::pair<std::uint64_t, std::uint64_t>> order_;
    std::uint64_t serial_ = 0;
    std::size_t held_ = 0;
    std::vector<std::shared_ptr<Bytes>> spares_;
};

}  // namespace zt
