// Random access to the bytes of one file being measured on the source,
// counted from its first byte and bounded by how far it may reach: the
// type's maximum size and the end of the scan range. Reads past the bound
// fail instead of reaching further, so a length field that points far away
// can never make the scan read outside its range.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace zt {

class FileView {
public:
    explicit FileView(std::uint64_t limit) : limit_(limit) {}
    virtual ~FileView() = default;
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    // The first offset that may not be read.
    std::uint64_t Limit() const { return limit_; }

    // A walk over hostile data may follow tables of millions of entries: it
    // must not keep the scan from stopping. Once this flag is up every read
    // fails, as a read past the limit does, so any walk ends at its next
    // read; its result means nothing then and the scan drops it.
    void WatchStop(const std::atomic<bool>* flag) { stop_ = flag; }
    bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

    // The longest run of bytes from offset that is at hand in one piece (at
    // least one byte), or an empty span when offset is at or past the limit.
    std::span<const std::uint8_t> Span(std::uint64_t offset);

    // Copies n bytes from offset; false when any of them lies past the limit.
    bool Read(std::uint64_t offset, void* out, std::size_t n);

    std::optional<std::uint8_t> U8(std::uint64_t offset);
    std::optional<std::uint16_t> Be16(std::uint64_t offset);
    std::optional<std::uint32_t> Be32(std::uint64_t offset);
    std::optional<std::uint64_t> Be64(std::uint64_t offset);
    std::optional<std::uint16_t> Le16(std::uint64_t offset);
    std::optional<std::uint32_t> Le32(std::uint64_t offset);
    std::optional<std::uint64_t> Le64(std::uint64_t offset);
    // True when the bytes at offset are exactly text.
    bool Equals(std::uint64_t offset, std::span<const std::uint8_t> text);

protected:
    // Bytes from offset (below the limit), as many as are at hand in one
    // piece, but never more than the limit allows.
    virtual std::span<const std::uint8_t> Fetch(std::uint64_t offset) = 0;

private:
    std::uint64_t limit_;
    const std::atomic<bool>* stop_ = nullptr;
};

// A view of bytes already in memory.
class MemoryFileView final : public FileView {
public:
    MemoryFileView(const std::uint8_t* data, std::size_t size) : FileView(size), data_(data) {}

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        return {data_ + offset, static_cast<std::size_t>(Limit() - offset)};
    }

private:
    const std::uint8_t* data_;
};

// The bytes of another view from `start` on, counted from there, and at
// most `length` of them: a file stored inside another (the movie behind a
// motion photo's picture) is measured by its own walk. It reaches no further
// than the outer view.
class OffsetFileView final : public FileView {
public:
    OffsetFileView(FileView& outer, std::uint64_t start, std::uint64_t length = std::numeric_limits<std::uint64_t>::max())
        : FileView(start < outer.Limit() ? std::min(outer.Limit() - start, length) : 0), outer_(outer), start_(start) {}

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override { return outer_.Span(start_ + offset); }

private:
    FileView& outer_;
    std::uint64_t start_;
};

}  // namespace zt
