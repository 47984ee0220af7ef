#include "logs/code_page.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zt {

namespace {

// Code points of the bytes 0x80 to 0x9F. Zero marks the five bytes the
// code page leaves undefined; those stand for the control character of the
// same number, as Windows' own conversion has it.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<unsigned char> ToWindows1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        char32_t mapped = kHighControls[i] != 0 ? kHighControls[i] : static_cast<char32_t>(0x80 + i);
        if (mapped == cp) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes one character at text[pos] and advances pos. A malformed sequence
// yields nullopt and advances past its longest well-formed beginning (at
// least one byte), so the next character is read correctly.
std::optional<char32_t> DecodeOne(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) return lead;
    int length = 0;
    char32_t cp = 0;
    unsigned char low = 0x80;  // allowed range of the second byte, against overlong forms and surrogates
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return std::nullopt;
    }
    for (int i = 1; i < length; ++i) {
        if (pos >= text.size()) return std::nullopt;
        const auto b = static_cast<unsigned char>(text[pos]);
        if (!IsContinuation(b) || (i == 1 && (b < low || b > high))) return std::nullopt;
        cp = (cp << 6) | (b & 0x3Fu);
        ++pos;
    }
    return cp;
}

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::optional<char32_t> cp = DecodeOne(utf8, pos);
        std::optional<unsigned char> byte = cp ? ToWindows1252(*cp) : std::nullopt;
        out += byte ? static_cast<char>(*byte) : kReplacementByte;
    }
    return out;
}

}  // namespace zt
