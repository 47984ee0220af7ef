#include "tools/demo-image/media_writers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace zt::demo {

namespace {

void Put(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
void Le16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(Bytes& out, std::uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}
void Be16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void Be32(Bytes& out, std::uint32_t v) {
    Be16(out, v >> 16);
    Be16(out, v & 0xFFFF);
}
void SetLe32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Size32(const Bytes& b) { return static_cast<std::uint32_t>(b.size()); }

// A smooth grey level in 16..239 for pixel (x, y): never 0, so no picture
// holds a long run of zero bytes by accident.
std::uint8_t Shade(int x, int y, int seed) {
    const double v = 128 + 100 * std::sin((x + seed * 7) * 0.11) * std::cos((y + seed * 3) * 0.07);
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 16, 239));
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void Write(std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>(acc_ << 1 | ((bits >> i) & 1));
            if (++filled_ == 8) Flush();
        }
    }
    // Pads with one bits, as the format asks.
    void Finish() {
        while (filled_ != 0) Write(1, 1);
    }

private:
    void Flush() {
        out_.push_back(acc_);
        if (acc_ == 0xFF) out_.push_back(0x00);  // a data FF never reads as a marker
        acc_ = 0;
        filled_ = 0;
    }
    Bytes& out_;
    std::uint8_t acc_ = 0;
    int filled_ = 0;
};

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PngChunk(Bytes& out, std::string_view type, const Bytes& data) {
    Be32(out, Size32(data));
    const std::size_t from = out.size();
    Put(out, type);
    out.insert(out.end(), data.begin(), data.end());
    Be32(out, Crc32(out.data() + from, out.size() - from));
}

constexpr std::uint32_t kSampleRate = 8000;

// A sine tone as 16-bit samples at kSampleRate.
std::vector<std::int16_t> Tone(int milliseconds, int hertz) {
    std::vector<std::int16_t> samples(kSampleRate * static_cast<std::uint32_t>(milliseconds) / 1000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(2 * 3.14159265358979 * hertz * static_cast<double>(i) /
                                                                kSampleRate));
    }
    return samples;
}

std::uint32_t SampleBits(std::int16_t v) { return static_cast<std::uint16_t>(v); }

}  // namespace

Bytes MakeJpeg(int width, int height, int seed) {
    // Every 8x8 block is one flat grey, so each block is its DC value and an
    // end-of-block code; the pictures decode with any reader.
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    Put(out, std::string_view("JFIF\0", 5));
    out.insert(out.end(), {0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
    out.insert(out.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    out.insert(out.end(), 64, 8);  // quantiser 8 everywhere
    out.insert(out.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08});
    Be16(out, static_cast<std::uint32_t>(height));
    Be16(out, static_cast<std::uint32_t>(width));
    out.insert(out.end(), {0x01, 0x01, 0x11, 0x00});
    // The usual luminance DC table, and an AC table with end-of-block only.
    out.insert(out.end(), {0xFF, 0xC4, 0x00, 0x1F, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    for (std::uint8_t v = 0; v < 12; ++v) out.push_back(v);
    out.insert(out.end(), {0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});

    static constexpr std::array<std::uint16_t, 12> kDcCodes = {0x0, 0x2, 0x3, 0x4, 0x5, 0x6,
                                                                0xE, 0x1E, 0x3E, 0x7E, 0xFE, 0x1FE};
    static constexpr std::array<int, 12> kDcLengths = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    BitWriter bits(out);
    int previous = 0;
    for (int by = 0; by < (height + 7) / 8; ++by) {
        for (int bx = 0; bx < (width + 7) / 8; ++bx) {
            // DC of a flat block is 8 x (grey - 128), divided by the quantiser.
            const int dc = Shade(bx * 8, by * 8, seed) - 128;
            const int diff = dc - previous;
            previous = dc;
            int magnitude = diff < 0 ? -diff : diff;
            int category = 0;
            while (magnitude > 0) {
                ++category;
                magnitude >>= 1;
            }
            bits.Write(kDcCodes[category], kDcLengths[category]);
            if (category > 0) {
                const int value = diff < 0 ? diff + (1 << category) - 1 : diff;
                bits.Write(static_cast<std::uint32_t>(value), category);
            }
            bits.Write(0, 1);  // end of block
        }
    }
    bits.Finish();
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes MakePng(int width, int height, int seed) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    Be32(header, static_cast<std::uint32_t>(width));
    Be32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 0, 0, 0, 0});
    PngChunk(out, "IHDR", header);

    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) raw.push_back(Shade(x, y, seed));
    }
    Bytes z = {0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        Le16(z, static_cast<std::uint32_t>(n));
        Le16(z, static_cast<std::uint32_t>(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (at == raw.size()) break;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Be32(z, b << 16 | a);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", {});
    return out;
}

Bytes MakeGif(int width, int height, int seed) {
    Bytes out;
    Put(out, "GIF89a");
    Le16(out, static_cast<std::uint32_t>(width));
    Le16(out, static_cast<std::uint32_t>(height));
    out.insert(out.end(), {0xF6, 0x00, 0x00});  // 128-colour global table
    for (int i = 0; i < 128; ++i) out.insert(out.end(), 3, static_cast<std::uint8_t>(i * 2));
    out.push_back(0x2C);
    Le32(out, 0);
    Le16(out, static_cast<std::uint32_t>(width));
    Le16(out, static_cast<std::uint32_t>(height));
    out.push_back(0x00);
    out.push_back(7);  // minimum code size: codes stay 8 bits wide between clears

    // Literal codes only, with a clear code often enough that the code width
    // never grows: the picture needs no real compressor.
    Bytes codes;
    int sinceClear = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (sinceClear == 0) codes.push_back(128);
            codes.push_back(static_cast<std::uint8_t>(1 + Shade(x, y, seed) / 2 % 127));
            if (++sinceClear == 100) sinceClear = 0;
        }
    }
    codes.push_back(129);  // end of information
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), codes.begin() + static_cast<std::ptrdiff_t>(at), codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.insert(out.end(), {0x00, 0x3B});
    return out;
}

Bytes MakeBmp(int width, int height, int seed) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) / 4 * 4;
    const std::uint32_t pixels = rowBytes * static_cast<std::uint32_t>(height);
    Bytes out;
    Put(out, "BM");
    Le32(out, 54 + pixels);
    Le32(out, 0);
    Le32(out, 54);
    Le32(out, 40);
    Le32(out, static_cast<std::uint32_t>(width));
    Le32(out, static_cast<std::uint32_t>(height));
    Le16(out, 1);
    Le16(out, 24);
    Le32(out, 0);
    Le32(out, pixels);
    Le32(out, 2835);
    Le32(out, 2835);
    Le32(out, 0);
    Le32(out, 0);
    for (int y = 0; y < height; ++y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < width; ++x) {
            const std::uint8_t g = Shade(x, y, seed);
            out.insert(out.end(), {static_cast<std::uint8_t>(255 - g), g, static_cast<std::uint8_t>(g / 2 + 64)});
        }
        out.resize(rowStart + rowBytes, 0);
    }
    return out;
}

Bytes MakeTiff(int width, int height, int seed) {
    // Pixels first, the directory last: its closing zero offset and the
    // padding after it are the file's only long run of zeros.
    Bytes out = {'I', 'I', 42, 0};
    Le32(out, 0);  // directory offset, set below
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) out.push_back(Shade(x, y, seed));
    }
    if (out.size() % 2 != 0) out.push_back(1);
    const std::uint32_t directory = Size32(out);
    SetLe32(out, 4, directory);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const Entry entries[] = {
        {256, 4, 1, static_cast<std::uint32_t>(width)}, {257, 4, 1, static_cast<std::uint32_t>(height)},
        {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 8}, {277, 3, 1, 1},
        {278, 4, 1, static_cast<std::uint32_t>(height)},
        {279, 4, 1, static_cast<std::uint32_t>(width * height)},
    };
    Le16(out, static_cast<std::uint32_t>(std::size(entries)));
    for (const Entry& e : entries) {
        Le16(out, e.tag);
        Le16(out, e.type);
        Le32(out, e.count);
        Le32(out, e.value);
    }
    Le32(out, 0);              // no further directory
    out.insert(out.end(), 12, 0);
    return out;
}

Bytes MakeWav(int milliseconds, int hertz) {
    const std::vector<std::int16_t> samples = Tone(milliseconds, hertz);
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    Bytes out;
    Put(out, "RIFF");
    Le32(out, 0);  // set below
    Put(out, "WAVEfmt ");
    Le32(out, 16);
    Le16(out, 1);
    Le16(out, 1);
    Le32(out, kSampleRate);
    Le32(out, kSampleRate * 2);
    Le16(out, 2);
    Le16(out, 16);
    Put(out, "data");
    Le32(out, dataBytes);
    for (std::int16_t v : samples) Le16(out, SampleBits(v));
    // The creation date closes the file.
    Put(out, "LIST");
    Le32(out, 4 + 8 + 12);
    Put(out, "INFOICRD");
    Le32(out, 11);
    Put(out, std::string_view("2026-12-08\0\0", 12));
    SetLe32(out, 4, Size32(out) - 8);
    return out;
}

Bytes MakeAu(int milliseconds, int hertz) {
    const std::vector<std::int16_t> samples = Tone(milliseconds, hertz);
    Bytes out;
    Put(out, ".snd");
    Be32(out, 28);  // header with an empty annotation
    Be32(out, static_cast<std::uint32_t>(samples.size() * 2));
    Be32(out, 3);  // 16-bit linear
    Be32(out, kSampleRate);
    Be32(out, 1);
    Be32(out, 0);
    for (std::int16_t v : samples) Be16(out, SampleBits(v));
    return out;
}

Bytes MakeMidi(int notes) {
    Bytes track;
    for (int i = 0; i < notes; ++i) {
        const std::uint8_t key = static_cast<std::uint8_t>(60 + (i * 5) % 12);
        track.insert(track.end(), {0x00, 0x90, key, 0x50, 0x60, 0x80, key, 0x40});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes out;
    Put(out, "MThd");
    Be32(out, 6);
    Be16(out, 0);
    Be16(out, 1);
    Be16(out, 96);
    Put(out, "MTrk");
    Be32(out, Size32(track));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

}  // namespace zt::demo
