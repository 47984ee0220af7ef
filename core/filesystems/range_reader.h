// Byte-addressed, read-only access to the scanned range of the source for the
// file-system readers. Every read goes through the sector reader (so the
// bad-sector policy and the unread-sector count apply) and is refused when any
// of its bytes lies outside the range: a boot sector that points anywhere
// cannot make us read outside what the user chose.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/source/sector_reader.h"

namespace zt::fs {

// Sectors read and kept at a time; directory and table reads are sequential.
inline constexpr std::uint32_t RangeReaderBlockSectors = 64;

class RangeReader {
public:
    explicit RangeReader(SectorReader& reader);
    RangeReader(const RangeReader&) = delete;
    RangeReader& operator=(const RangeReader&) = delete;

    // Copies out.size() bytes from byte offset `at` of the source; false
    // (nothing read) when any of them lies outside the range.
    [[nodiscard]] bool Read(std::uint64_t at, std::span<std::uint8_t> out);
    [[nodiscard]] bool Contains(std::uint64_t at, std::uint64_t bytes) const {
        return at >= beginByte_ && at <= endByte_ && bytes <= endByte_ - at;
    }
    std::uint64_t BeginByte() const { return beginByte_; }
    std::uint64_t EndByte() const { return endByte_; }
    SectorReader& Sectors() { return reader_; }

private:
    SectorReader& reader_;
    std::uint64_t beginByte_;
    std::uint64_t endByte_;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockSector_ = 0;
    std::uint32_t blockSectors_ = 0;  // 0: nothing held
};

}  // namespace zt::fs
