// Little-endian fields and the names file systems store, shared by the FAT
// and exFAT readers.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

namespace zt::fs {

inline std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
inline std::uint64_t Le64(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint64_t{Le32(b, at)} | (std::uint64_t{Le32(b, at + 4)} << 32);
}

// UTF-16 code units to UTF-8. A lone or misordered surrogate becomes U+FFFD,
// so a damaged name still shows where it was damaged.
std::string Utf16ToUtf8(std::span<const std::uint16_t> units);

// A name as a path component: '/' and NUL (which no valid entry holds)
// become '_', and an empty name, "." or ".." becomes "_".
std::string EntryName(std::string name);

// A date and time in the packed form both file systems use (date in the high
// half: years since 1980, month, day; time in the low half: hours, minutes,
// two-second units), as seconds since 1970 read as UTC; 0 when the fields are
// not a date.
std::int64_t PackedTimeToUnix(std::uint16_t date, std::uint16_t time);

}  // namespace zt::fs
