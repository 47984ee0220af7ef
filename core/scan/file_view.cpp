#include "core/scan/file_view.h"

#include <algorithm>
#include <cstring>

namespace zt {

std::span<const std::uint8_t> FileView::Span(std::uint64_t offset) {
    if (offset >= limit_ || Stopped()) return {};
    std::span<const std::uint8_t> got = Fetch(offset);
    const std::uint64_t room = limit_ - offset;
    if (got.size() > room) got = got.first(static_cast<std::size_t>(room));
    return got;
}

bool FileView::Read(std::uint64_t offset, void* out, std::size_t n) {
    if (offset > limit_ || n > limit_ - offset) return false;
    auto* to = static_cast<std::uint8_t*>(out);
    while (n > 0) {
        const std::span<const std::uint8_t> got = Span(offset);
        if (got.empty()) return false;
        const std::size_t take = std::min(n, got.size());
        std::memcpy(to, got.data(), take);
        to += take;
        offset += take;
        n -= take;
    }
    return true;
}

namespace {

template <std::size_t N>
std::optional<std::uint64_t> Number(FileView& view, std::uint64_t offset, bool bigEndian) {
    std::uint8_t b[N];
    if (!view.Read(offset, b, N)) return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t k = bigEndian ? i : N - 1 - i;
        v = (v << 8) | b[k];
    }
    return v;
}

}  // namespace

std::optional<std::uint8_t> FileView::U8(std::uint64_t offset) {
    const std::span<const std::uint8_t> got = Span(offset);
    if (got.empty()) return std::nullopt;
    return got[0];
}

std::optional<std::uint16_t> FileView::Be16(std::uint64_t offset) {
    if (auto v = Number<2>(*this, offset, true)) return static_cast<std::uint16_t>(*v);
    return std::nullopt;
}
std::optional<std::uint32_t> FileView::Be32(std::uint64_t offset) {
    if (auto v = Number<4>(*this, offset, true)) return static_cast<std::uint32_t>(*v);
    return std::nullopt;
}
std::optional<std::uint64_t> FileView::Be64(std::uint64_t offset) { return Number<8>(*this, offset, true); }
std::optional<std::uint16_t> FileView::Le16(std::uint64_t offset) {
    if (auto v = Number<2>(*this, offset, false)) return static_cast<std::uint16_t>(*v);
    return std::nullopt;
}
std::optional<std::uint32_t> FileView::Le32(std::uint64_t offset) {
    if (auto v = Number<4>(*this, offset, false)) return static_cast<std::uint32_t>(*v);
    return std::nullopt;
}
std::optional<std::uint64_t> FileView::Le64(std::uint64_t offset) { return Number<8>(*this, offset, false); }

bool FileView::Equals(std::uint64_t offset, std::span<const std::uint8_t> text) {
    std::uint8_t buffer[32];
    if (text.size() > sizeof buffer || !Read(offset, buffer, text.size())) return false;
    return std::memcmp(buffer, text.data(), text.size()) == 0;
}

}  // namespace zt
