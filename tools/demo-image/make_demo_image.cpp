// make-demo-image: writes a small disk image that looks like a memory card
// after its file system was lost: real pictures and sounds at sector
// boundaries, with random leftovers between them. The demo scans it.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "tools/demo-image/media_writers.h"

namespace {

constexpr std::size_t kSector = 512;

class Filler {
public:
    // Leftover data: random bytes, never the beginning of a known file.
    void Append(zt::demo::Bytes& image, std::size_t sectors) {
        for (std::size_t i = 0; i < sectors * kSector; ++i) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            image.push_back(static_cast<std::uint8_t>(state_ >> 32));
        }
        // A sector start of 00 00 keeps the leftovers from looking like a header.
        for (std::size_t s = image.size() / kSector - sectors; s < image.size() / kSector; ++s) {
            image[s * kSector] = 0;
            image[s * kSector + 1] = 0;
        }
    }
    std::size_t Next(std::size_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::size_t>(state_ % n);
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::cerr << "Usage: make-demo-image IMAGE\nWrites a demo disk image with pictures and sounds to IMAGE.\n";
        return argc == 2 ? 0 : 2;
    }
    using namespace zt::demo;
    const std::function<Bytes(int)> makers[] = {
        [](int i) { return MakeJpeg(320 + 64 * i, 240 + 48 * i, i); },
        [](int i) { return MakePng(200 + 40 * i, 150, i); },
        [](int i) { return MakeGif(120, 90 + 30 * i, i); },
        [](int i) { return MakeBmp(160 + 32 * i, 120, i); },
        [](int i) { return MakeTiff(128, 96 + 32 * i, i); },
        [](int i) { return MakeWav(400 + 300 * i, 440 + 110 * i); },
        [](int i) { return MakeMidi(16 + 8 * i); },
        [](int i) { return MakeAu(300 + 200 * i, 330 + 55 * i); },
    };
    Bytes image;
    Filler filler;
    filler.Append(image, 64);
    int files = 0;
    for (int round = 0; round < 3; ++round) {
        for (const auto& make : makers) {
            const Bytes file = make(round);
            image.insert(image.end(), file.begin(), file.end());
            // Zeros to the end of the sector and one more, as a card's slack.
            image.resize((image.size() + kSector - 1) / kSector * kSector + kSector, 0);
            filler.Append(image, 1 + filler.Next(24));
            ++files;
        }
    }
    filler.Append(image, 128);

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "make-demo-image: cannot write " << argv[1] << '\n';
        return 1;
    }
    std::cerr << "Wrote " << argv[1] << ": " << image.size() / kSector << " sectors holding " << files
              << " pictures and sounds.\n";
    return 0;
}
