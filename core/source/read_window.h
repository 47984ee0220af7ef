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
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zt {

class ReadWindow {
public:
    explicit ReadWindow(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    // Forgets everything held.
    void Clear();
    // Copies sectors [first, first + count) of source into out when every one
    // of them is held; false otherwise (out may then be partly written).
    bool Copy(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out);
    // True when every sector of [first, first + count) of source is held.
    bool Holds(const std::string& source, std::uint64_t first, std::uint64_t count) const;
    // Holds bytes (whole sectors) as the sectors of source from first on. A
    // stretch of another source replaces all held; older stretches make room.
    void Put(const std::string& source, std::uint64_t first, std::vector<std::uint8_t> bytes);
    // Bytes held now: never more than the capacity, once a Put returns.
    std::size_t HeldBytes() const;
    // The bytes of a stretch that made room, for the next Put to reuse
    // rather than to allocate (and fault in) anew; empty when none. A few
    // are kept, as the reader and the thread ahead of it each take one.
    std::vector<std::uint8_t> TakeSpare();

private:
    // Copy's walk over the stretches; with out null it only looks.
    bool Visit(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out) const;
    void EraseOverlapping(std::uint64_t first, std::uint64_t end);

    mutable std::mutex mutex_;
    std::size_t capacity_;
    std::string source_;
    // By first sector; stretches never overlap.
    struct Stretch {
        std::vector<std::uint8_t> bytes;
        std::uint64_t serial = 0;
    };
    std::map<std::uint64_t, Stretch> stretches_;
    // Stretches in the order they were put (first sector, serial); an entry
    // whose stretch was replaced since is skipped.
    std::deque<std::pair<std::uint64_t, std::uint64_t>> order_;
    std::uint64_t serial_ = 0;
    std::size_t held_ = 0;
    std::vector<std::vector<std::uint8_t>> spares_;
};

}  // namespace zt
