// Numbers stored in a fixed byte order, as the formats of the files and the
// file systems on a medium keep them. They are read byte by byte, so neither
// the machine's own byte order nor the alignment of the field matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zt {

inline std::uint16_t Le16At(const std::uint8_t* s) { return static_cast<std::uint16_t>(s[1] << 8 | s[0]); }
inline std::uint32_t Le32At(const std::uint8_t* s) {
    return std::uint32_t{s[3]} << 24 | std::uint32_t{s[2]} << 16 | std::uint32_t{s[1]} << 8 | s[0];
}
inline std::uint64_t Le64At(const std::uint8_t* s) { return std::uint64_t{Le32At(s)} | std::uint64_t{Le32At(s + 4)} << 32; }
inline std::uint16_t Be16At(const std::uint8_t* s) { return static_cast<std::uint16_t>(s[0] << 8 | s[1]); }
inline std::uint32_t Be32At(const std::uint8_t* s) {
    return std::uint32_t{s[0]} << 24 | std::uint32_t{s[1]} << 16 | std::uint32_t{s[2]} << 8 | s[3];
}

// The little-endian field at byte `at` of a structure; the caller has checked
// that the field lies inside it.
inline std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) { return Le16At(b.data() + at); }
inline std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) { return Le32At(b.data() + at); }
inline std::uint64_t Le64(std::span<const std::uint8_t> b, std::size_t at) { return Le64At(b.data() + at); }

}  // namespace zt
