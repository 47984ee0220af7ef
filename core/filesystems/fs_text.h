// The names and times file systems store, shared by the FAT and exFAT
// readers, and the little-endian fields they are read from.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "core/source/byte_order.h"

namespace zt::fs {

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
