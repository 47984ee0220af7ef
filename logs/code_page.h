// Text of the log files: 8-bit Windows-1252, the code page Western users'
// older tools expect, without a byte-order mark.
#pragma once

#include <string>
#include <string_view>

namespace zt {

// The byte that stands for a character Windows-1252 lacks.
inline constexpr char kReplacementByte = '?';

// Converts UTF-8 text to Windows-1252. Each character the code page lacks,
// and each malformed piece of UTF-8, becomes one replacement byte.
std::string Utf8ToWindows1252(std::string_view utf8);

}  // namespace zt
