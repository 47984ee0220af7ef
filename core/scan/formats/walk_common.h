// What the format walks share: byte readers, the kinds of result, the bound
// on a walk's work. Internal to the walks; callers use format_walk.h.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "core/scan/format_walk.h"
#include "core/source/byte_order.h"
#include "core/source/source_descriptor.h"

namespace zt::formats {

using Bytes = std::span<const std::uint8_t>;

inline Extent Exact(std::uint64_t bytes, std::string_view type = {}) { return {ExtentKind::Exact, bytes, type, false}; }
inline Extent Opaque(std::uint64_t bytes, std::string_view type = {}) { return {ExtentKind::Exact, bytes, type, true}; }
inline constexpr Extent kUnknown{ExtentKind::Unknown, 0, {}, false};
inline constexpr Extent kNotAFile{ExtentKind::NotAFile, 0, {}, false};
// Unknown, but sure that the file's first bytes are its own, and of its
// type where the header alone does not tell it.
inline Extent Sure(std::uint64_t bytes, std::string_view type = {}) { return {ExtentKind::Unknown, bytes, type, false}; }

inline bool Starts(const std::uint8_t* s, std::size_t available, std::size_t at, std::string_view text) {
    return at + text.size() <= available && std::memcmp(s + at, text.data(), text.size()) == 0;
}

inline Bytes Text(std::string_view t) { return {reinterpret_cast<const std::uint8_t*>(t.data()), t.size()}; }

inline bool IsOneOf(std::string_view v, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

// Where a copy cut short has another file of its kind right behind it: the
// first sector start in (from, to) at which `starts` sees such a file begin.
// A unit of the copy from `from` whose length runs to `to` was cut there, and
// that sector is left for the file that begins in it.
template <typename Starts>
std::optional<std::uint64_t> NextFileWithin(std::uint64_t from, std::uint64_t to, const Starts& starts) {
    for (std::uint64_t at = (from / kSectorBytes + 1) * kSectorBytes; at < to; at += kSectorBytes) {
        if (starts(at)) return at;
    }
    return std::nullopt;
}

// The length of the ID3v2 tag whose ten-byte header is h, as stored,
// unsynchronised or not, with the footer that version 4 may add; nothing
// where h is no header of versions 2 to 4.
inline std::optional<std::uint64_t> Id3v2Length(const std::uint8_t* h) {
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] < 2 || h[3] > 4 || ((h[6] | h[7] | h[8] | h[9]) & 0x80))
        return std::nullopt;
    const std::uint64_t size =
        std::uint64_t{h[6]} << 21 | std::uint64_t{h[7]} << 14 | std::uint64_t{h[8]} << 7 | h[9];
    return 10 + size + ((h[3] == 4 && (h[5] & 0x10)) ? 10 : 0);
}

// Tags that sound files carry after their frames, in the order writers put
// them: an ID3v2.4 tag appended with its footer, an APE tag (with its
// header; the ones without are found only from the file's end), an ID3v1
// tag. An appended ID3v2 tag is taken only off a sector start: at one, it
// may be the next file's own tag, which that file keeps.
inline std::uint64_t SkipTrailingTags(FileView& view, std::uint64_t pos) {
    std::uint8_t id3[10];
    if (pos % kSectorBytes != 0 && view.Read(pos, id3, 10) && id3[3] == 4 && (id3[5] & 0x10)) {
        if (const std::optional<std::uint64_t> length = Id3v2Length(id3)) {
            const std::uint64_t end = pos + *length;
            if (end <= view.Limit() && view.Equals(end - 10, Text("3DI"))) pos = end;
        }
    }
    std::uint8_t ape[32];
    if (view.Read(pos, ape, 32) && std::memcmp(ape, "APETAGEX", 8) == 0) {
        // The size counts the items and the footer, not the header.
        const std::uint64_t end = pos + 32 + std::uint64_t{Le32At(ape + 12)};
        std::uint8_t footer[8];
        if (Le32At(ape + 12) >= 32 && end <= view.Limit() && view.Read(end - 32, footer, 8) &&
            std::memcmp(footer, "APETAGEX", 8) == 0)
            pos = end;
    }
    if (view.Equals(pos, Text("TAG")) && pos + 128 <= view.Limit()) pos += 128;
    return pos;
}

// Offsets at which a walk gives up: a file of this many pieces is not
// plausible, and no walk may run forever on hostile input.
inline constexpr int kMaxPieces = 1 << 22;

}  // namespace zt::formats
