// FLAC: metadata blocks, then frames followed bit by bit.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

std::uint8_t Crc8(const std::uint8_t* data, std::size_t n) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b) crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

const std::array<std::uint16_t, 256>& Crc16Table() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i << 8);
            for (int b = 0; b < 8; ++b) c = static_cast<std::uint16_t>(c & 0x8000 ? (c << 1) ^ 0x8005 : c << 1);
            t[static_cast<std::size_t>(i)] = c;
        }
        return t;
    }();
    return table;
}

std::uint16_t Crc16Step(const std::array<std::uint16_t, 256>& table, std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ table[(crc >> 8) ^ byte]);
}

// The CRC-16 of `length` bytes from `from`; nothing when they are not all at hand.
std::optional<std::uint16_t> Crc16Over(FileView& view, std::uint64_t from, std::uint64_t length) {
    const auto& table = Crc16Table();
    std::uint16_t crc = 0;
    for (std::uint64_t q = from; q < from + length;) {
        const Bytes span = view.Span(q);
        if (span.empty()) return std::nullopt;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(span.size(), from + length - q));
        for (std::size_t i = 0; i < n; ++i) crc = Crc16Step(table, crc, span[i]);
        q += n;
    }
    return crc;
}

struct FlacFrame {
    std::uint64_t number = 0;  // frame number (fixed blocks) or first sample (variable blocks)
    std::uint32_t blockSize = 0;
    std::size_t headerLength = 0;
    int channelCode = 0;  // the header's channel assignment
    int bitsCode = 0;     // the header's sample size code, 0: the stream's
};

// Parses a frame header from up to 16 bytes; nothing when it is not one.
std::optional<FlacFrame> ParseFlacFrame(const std::uint8_t* h, std::size_t n, bool variable) {
    if (n < 6 || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8 || ((h[1] & 1) != 0) != variable) return std::nullopt;
    const int sizeCode = h[2] >> 4, rateCode = h[2] & 15, channels = h[3] >> 4, bits = (h[3] >> 1) & 7;
    if (sizeCode == 0 || rateCode == 15 || channels > 10 || bits == 3 || (h[3] & 1)) return std::nullopt;
    std::size_t p = 4;
    // The coded number: one to seven bytes, as UTF-8 stores a character.
    const int lead = std::countl_zero(static_cast<std::uint8_t>(~h[p]));
    if (lead == 1 || lead > 7) return std::nullopt;
    const int extra = lead == 0 ? 0 : lead - 1;
    FlacFrame frame;
    frame.channelCode = channels;
    frame.bitsCode = bits;
    frame.number = lead == 0 ? h[p] : (h[p] & (0x7F >> lead));
    ++p;
    for (int i = 0; i < extra; ++i, ++p) {
        if (p >= n || (h[p] & 0xC0) != 0x80) return std::nullopt;
        frame.number = (frame.number << 6) | (h[p] & 0x3F);
    }
    if (sizeCode == 1) frame.blockSize = 192;
    else if (sizeCode <= 5) frame.blockSize = 576u << (sizeCode - 2);
    else if (sizeCode == 6) frame.blockSize = (p < n ? h[p] : 0) + 1u, ++p;
    else if (sizeCode == 7) frame.blockSize = (p + 1 < n ? (h[p] << 8 | h[p + 1]) : 0) + 1u, p += 2;
    else frame.blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12) ++p;
    else if (rateCode == 13 || rateCode == 14) p += 2;
    if (p >= n || Crc8(h, p) != h[p]) return std::nullopt;
    frame.headerLength = p + 1;
    return frame;
}

// The frame header at `at`, from 16 bytes or from what is left of the view:
// a file's last frame can be shorter than that.
std::optional<FlacFrame> FlacFrameAt(FileView& view, std::uint64_t at, bool variable) {
    std::uint8_t h[16];
    const std::uint64_t left = view.Limit() - std::min(view.Limit(), at);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof h, left));
    if (!view.Read(at, h, n)) return std::nullopt;
    return ParseFlacFrame(h, n, variable);
}

// Reads a frame's bits from the view, most significant first, never at or
// past `limit`.
class BitReader {
public:
    BitReader(FileView& view, std::uint64_t byte, std::uint64_t limit)
        : view_(view), byte_(byte), limit_(std::min(limit, view.Limit())) {}

    bool Skip(std::uint64_t bits) {
        if (bits / 8 > limit_) return false;
        const std::uint64_t total = bit_ + bits;
        byte_ += total / 8;
        bit_ = static_cast<int>(total % 8);
        return byte_ < limit_ || (byte_ == limit_ && bit_ == 0);
    }
    std::optional<std::uint32_t> Read(int bits) {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            const std::optional<int> b = Bit();
            if (!b) return std::nullopt;
            value = value << 1 | static_cast<std::uint32_t>(*b);
        }
        return value;
    }
    // The count of 0 bits before the next 1 bit, at most `limit`.
    std::optional<std::uint32_t> Unary(std::uint32_t limit) {
        for (std::uint32_t zeros = 0; zeros <= limit; ++zeros) {
            const std::optional<int> b = Bit();
            if (!b) return std::nullopt;
            if (*b == 1) return zeros;
        }
        return std::nullopt;
    }
    // The byte after the last bit read, once the bits are padded to a whole byte.
    std::uint64_t AlignedEnd() const { return byte_ + (bit_ != 0 ? 1 : 0); }

private:
    std::optional<int> Bit() {
        if (byte_ >= limit_) return std::nullopt;
        if (byte_ != cachedAt_) {
            const std::optional<std::uint8_t> b = view_.U8(byte_);
            if (!b) return std::nullopt;
            cached_ = *b;
            cachedAt_ = byte_;
        }
        const int b = (cached_ >> (7 - bit_)) & 1;
        if (++bit_ == 8) bit_ = 0, ++byte_;
        return b;
    }

    FileView& view_;
    std::uint64_t byte_;
    std::uint64_t limit_;
    int bit_ = 0;
    std::uint64_t cachedAt_ = ~std::uint64_t{0};
    std::uint8_t cached_ = 0;
};

// Skips a residual of a predictor of this order over a block of samples.
bool SkipFlacResidual(BitReader& r, std::uint32_t blockSize, std::uint32_t order) {
    const std::optional<std::uint32_t> method = r.Read(2);
    const std::optional<std::uint32_t> partitionOrder = r.Read(4);
    if (!method || *method > 1 || !partitionOrder) return false;
    const int paramBits = *method == 0 ? 4 : 5;
    const std::uint32_t escape = *method == 0 ? 15 : 31;
    const std::uint32_t partitions = 1u << *partitionOrder;
    if (blockSize % partitions != 0 || (blockSize >> *partitionOrder) < order) return false;
    for (std::uint32_t i = 0; i < partitions; ++i) {
        const std::uint32_t samples = (blockSize >> *partitionOrder) - (i == 0 ? order : 0);
        const std::optional<std::uint32_t> param = r.Read(paramBits);
        if (!param) return false;
        if (*param == escape) {
            const std::optional<std::uint32_t> raw = r.Read(5);
            if (!raw || !r.Skip(std::uint64_t{samples} * *raw)) return false;
            continue;
        }
        for (std::uint32_t s = 0; s < samples; ++s) {
            // A quotient longer than a sample could need is no residual.
            if (!r.Unary(1u << 16) || !r.Skip(*param)) return false;
        }
    }
    return true;
}

int FlacChannels(const FlacFrame& frame) { return frame.channelCode < 8 ? frame.channelCode + 1 : 2; }

// No frame is longer than its samples stored verbatim, with their headers.
std::uint64_t FlacLongestFrame(const FlacFrame& frame) {
    return std::uint64_t{frame.blockSize} * FlacChannels(frame) * 33 / 8 + 1024;
}

// The length of the frame at `pos`, followed bit by bit through its
// subframes to the CRC that closes it; nothing when the bits do not make a
// frame. A CRC that comes to zero earlier by chance does not end it.
std::optional<std::uint64_t> FlacFrameLength(FileView& view, std::uint64_t pos, const FlacFrame& frame, int streamBits) {
    static constexpr int kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    const int bits = frame.bitsCode == 0 ? streamBits : kBits[frame.bitsCode];
    if (bits <= 0) return std::nullopt;
    const int channels = FlacChannels(frame);
    BitReader r(view, pos + frame.headerLength, pos + FlacLongestFrame(frame));
    for (int c = 0; c < channels; ++c) {
        // The side channel of a stereo pair carries one bit more.
        const bool side = (frame.channelCode == 8 && c == 1) || (frame.channelCode == 9 && c == 0) ||
                          (frame.channelCode == 10 && c == 1);
        int sampleBits = bits + (side ? 1 : 0);
        const std::optional<std::uint32_t> pad = r.Read(1);
        const std::optional<std::uint32_t> type = r.Read(6);
        const std::optional<std::uint32_t> wasted = r.Read(1);
        if (!pad || *pad != 0 || !type || !wasted) return std::nullopt;
        if (*wasted == 1) {
            const std::optional<std::uint32_t> k = r.Unary(32);
            if (!k) return std::nullopt;
            sampleBits -= static_cast<int>(*k) + 1;
            if (sampleBits <= 0) return std::nullopt;
        }
        if (*type == 0) {  // constant
            if (!r.Skip(sampleBits)) return std::nullopt;
        } else if (*type == 1) {  // verbatim
            if (!r.Skip(std::uint64_t{frame.blockSize} * sampleBits)) return std::nullopt;
        } else if (*type >= 8 && *type <= 12) {  // fixed predictor
            const std::uint32_t order = *type - 8;
            if (!r.Skip(std::uint64_t{order} * sampleBits) || !SkipFlacResidual(r, frame.blockSize, order)) {
                return std::nullopt;
            }
        } else if (*type >= 32) {  // linear predictor
            const std::uint32_t order = *type - 31;
            if (!r.Skip(std::uint64_t{order} * sampleBits)) return std::nullopt;
            const std::optional<std::uint32_t> precision = r.Read(4);
            if (!precision || *precision == 15 || !r.Skip(5) ||
                !r.Skip(std::uint64_t{order} * (*precision + 1)) || !SkipFlacResidual(r, frame.blockSize, order)) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    const std::uint64_t end = r.AlignedEnd() + 2;  // the CRC-16 after the padding
    if (end > view.Limit()) return std::nullopt;
    return end - pos;
}

}  // namespace

Extent MeasureFlac(FileView& view) {
    std::uint64_t pos = 4;
    std::uint64_t totalSamples = 0;
    int streamBits = 0;
    for (int blocks = 0;; ++blocks) {
        std::uint8_t head[4];
        if (blocks > 1024 || !view.Read(pos, head, 4)) return kUnknown;
        const int kind = head[0] & 0x7F;
        const std::uint32_t length = std::uint32_t{head[1]} << 16 | std::uint32_t{head[2]} << 8 | head[3];
        if (kind == 127 || (blocks == 0 && (kind != 0 || length != 34))) return kNotAFile;
        if (blocks == 0) {
            std::uint8_t info[34];
            if (!view.Read(pos + 4, info, 34)) return kUnknown;
            totalSamples = (std::uint64_t{info[13]} & 0x0F) << 32 | Be32At(info + 14);
            streamBits = ((info[12] & 1) << 4 | info[13] >> 4) + 1;
        }
        pos += 4 + std::uint64_t{length};
        if (head[0] & 0x80) break;
    }
    if (totalSamples == 0) return kUnknown;

    const std::optional<std::uint8_t> blocking = view.U8(pos + 1);
    if (!blocking) return kUnknown;
    const bool variable = *blocking & 1;
    std::optional<FlacFrame> frame = FlacFrameAt(view, pos, variable);
    if (!frame) return kUnknown;
    std::uint64_t samples = 0;
    const auto& table = Crc16Table();
    for (int frames = 0; frames < kMaxPieces; ++frames) {
        const std::uint64_t expected = variable ? samples + frame->blockSize : std::uint64_t(frames) + 1;
        const bool last = samples + frame->blockSize >= totalSamples;
        // The last frame has no next header to confirm where it ends: it is
        // followed through its bits, and taken when its CRC holds there.
        if (last) {
            const std::optional<std::uint64_t> length = FlacFrameLength(view, pos, *frame, streamBits);
            if (length && Crc16Over(view, pos, *length) == 0) return Exact(SkipTrailingTags(view, pos + *length));
        }
        // Otherwise the frame ends where the running CRC-16 over it (its stored
        // CRC included) comes to zero, and, unless it is the last, the next
        // frame's header follows with the next number.
        std::uint16_t crc = 0;
        std::uint64_t q = pos;
        // A CRC that comes to zero further on cannot end this frame: a
        // stream cut or overwritten here ends the walk after one frame's
        // bytes, not at the end of the range.
        const std::uint64_t frameEnd = pos + FlacLongestFrame(*frame);
        bool ended = false;
        while (!ended) {
            if (q >= frameEnd) return kUnknown;
            Bytes span = view.Span(q);
            if (span.empty()) return kUnknown;
            if (span.size() > frameEnd - q) span = span.first(static_cast<std::size_t>(frameEnd - q));
            std::size_t used = 0;
            bool looked = false;
            while (used < span.size() && !looked) {
                crc = Crc16Step(table, crc, span[used]);
                const std::uint64_t after = q + ++used;
                if (crc != 0 || after - pos <= frame->headerLength + 1) continue;
                if (last) return Exact(SkipTrailingTags(view, after));
                // Reading the next header may move the view on to another
                // block and take the span's bytes with it: the CRC goes on
                // from a fresh span.
                looked = true;
                const std::optional<FlacFrame> following = FlacFrameAt(view, after, variable);
                if (following && following->number == expected) {
                    samples += frame->blockSize;
                    frame = following;
                    pos = after;
                    ended = true;
                }
            }
            q += used;
        }
    }
    return kUnknown;
}

FormatMatch DetectFlac(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "fLaC")) return {FormatFamily::Flac, "FLAC"};
    return {};
}

}  // namespace zt::formats
