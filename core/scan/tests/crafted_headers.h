// Images of hostile headers, one at every sector start, whose tables claim
// millions of entries: what makes a format walk do the most work for the
// bytes it covers. Shared by the walk and stop tests and the benchmark.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zt::testing {

namespace crafted {

inline void PutLe16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    PutLe16(b, at, v & 0xFFFF);
    PutLe16(b, at + 2, v >> 16);
}
inline void PutLe64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    PutLe32(b, at, static_cast<std::uint32_t>(v));
    PutLe32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void PutBe16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}
inline void PutBe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    PutBe16(b, at, v >> 16);
    PutBe16(b, at + 2, v & 0xFFFF);
}

}  // namespace crafted

// `headers` little-endian TIFF headers in the first sectors, each opening a
// chain of `directories` IFDs (up to 16) that all name the same strips:
// `strips` one-byte strips whose SHORT offsets and byte counts lie after the
// headers, in one table for both when `shared` (every strip is then one byte
// at offset 1), else in two tables side by side.
inline std::vector<std::uint8_t> CraftedTiff(std::size_t headers, int directories, std::uint32_t strips, bool shared) {
    using namespace crafted;
    const std::size_t tables = headers * 512;
    std::vector<std::uint8_t> b(tables + (shared ? 2 : 4) * std::size_t{strips} + 512, 0);
    for (std::size_t i = 0; i < (shared ? 1 : 2) * std::size_t{strips}; ++i) PutLe16(b, tables + 2 * i, 1);
    for (std::size_t h = 0; h < headers; ++h) {
        const std::size_t base = h * 512;
        const auto offsets = static_cast<std::uint32_t>(tables - base);
        const auto counts = shared ? offsets : offsets + 2 * strips;
        b[base] = 'I', b[base + 1] = 'I';
        PutLe16(b, base + 2, 42);
        PutLe32(b, base + 4, 8);
        std::size_t at = 8;
        for (int d = 0; d < directories; ++d, at += 30) {
            PutLe16(b, base + at, 2);
            PutLe16(b, base + at + 2, 0x0111), PutLe16(b, base + at + 4, 3);
            PutLe32(b, base + at + 6, strips), PutLe32(b, base + at + 10, offsets);
            PutLe16(b, base + at + 14, 0x0117), PutLe16(b, base + at + 16, 3);
            PutLe32(b, base + at + 18, strips), PutLe32(b, base + at + 22, counts);
            PutLe32(b, base + at + 26, d + 1 < directories ? static_cast<std::uint32_t>(at + 30) : 0);
        }
    }
    return b;
}

// `sectors` PSD headers, one a sector, of 8-bit grey documents `rows` rows
// high and one pixel wide, run-length compressed; the row table after each
// header runs on through the headers that follow. Each row's length is
// `rowBytes`, except where the table meets another header's bytes; `tail`
// bytes follow the last table for the rows' data.
inline std::vector<std::uint8_t> CraftedPsd(std::size_t sectors, std::uint32_t rows, std::uint16_t rowBytes,
                                            std::size_t tail = 512) {
    using namespace crafted;
    std::vector<std::uint8_t> b(sectors * 512 + 2 * std::size_t{rows} + tail, 0);
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) PutBe16(b, i, rowBytes);
    for (std::size_t s = 0; s < sectors; ++s) {
        const std::size_t at = s * 512;
        b[at] = '8', b[at + 1] = 'B', b[at + 2] = 'P', b[at + 3] = 'S';
        PutBe16(b, at + 4, 1);
        for (int i = 6; i < 12; ++i) b[at + i] = 0;
        PutBe16(b, at + 12, 1);      // channels
        PutBe32(b, at + 14, rows);   // height
        PutBe32(b, at + 18, 1);      // width
        PutBe16(b, at + 22, 8);      // depth
        PutBe16(b, at + 24, 1);      // grey
        for (int i = 26; i < 38; ++i) b[at + i] = 0;  // three empty sections
        PutBe16(b, at + 38, 1);      // run-length rows
    }
    return b;
}

// `sectors` ASF headers, one a sector, each `headerBytes` long and declaring
// as many objects as fit: padding objects of a sector each, one after
// another from byte 30 of every sector (when `chained`), or bytes that are
// no object at all.
inline std::vector<std::uint8_t> CraftedAsf(std::size_t sectors, std::uint32_t headerBytes, bool chained) {
    using namespace crafted;
    static constexpr std::uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    static constexpr std::uint8_t kPadding[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                                  0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
    std::vector<std::uint8_t> b(sectors * 512 + headerBytes + 512, 0x30);
    for (std::size_t at = 0; at + 512 <= b.size(); at += 512) {
        if (chained) {
            std::copy(std::begin(kPadding), std::end(kPadding), b.begin() + static_cast<std::ptrdiff_t>(at + 30));
            PutLe64(b, at + 46, 512);
        }
        if (at / 512 >= sectors) continue;
        std::copy(std::begin(kHeader), std::end(kHeader), b.begin() + static_cast<std::ptrdiff_t>(at));
        PutLe64(b, at + 16, headerBytes);
        PutLe32(b, at + 24, headerBytes / 512);
        b[at + 28] = 1, b[at + 29] = 2;
    }
    return b;
}

}  // namespace zt::testing
