#include "tests/corpus/corpus_image.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace zt::corpus {

namespace {

constexpr std::uint64_t kSector = 512;

std::vector<char> ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ImageWriter {
public:
    ImageWriter(const std::string& path, std::mt19937& random) : out_(path, std::ios::binary | std::ios::trunc), random_(random) {
        if (!out_) throw std::runtime_error("cannot write " + path);
    }
    std::uint64_t Size() const { return size_; }
    void Put(const char* data, std::size_t n) {
        out_.write(data, static_cast<std::streamsize>(n));
        size_ += n;
    }
    void Noise(std::uint64_t n) {
        std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(n, 1 << 20)));
        while (n > 0) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, buffer.size()));
            for (std::size_t i = 0; i < take; ++i) buffer[i] = static_cast<char>(random_() & 0xFF);
            Put(buffer.data(), take);
            n -= take;
        }
    }
    void Zeros(std::uint64_t n) {
        const std::vector<char> zeros(static_cast<std::size_t>(std::min<std::uint64_t>(n, 1 << 20)), 0);
        while (n > 0) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, zeros.size()));
            Put(zeros.data(), take);
            n -= take;
        }
    }
    // Fills up to the next sector boundary.
    void EndSector(bool noise) {
        const std::uint64_t slack = (kSector - size_ % kSector) % kSector;
        noise ? Noise(slack) : Zeros(slack);
    }
    void Close() {
        out_.close();
        if (!out_) throw std::runtime_error("writing the image failed");
    }

private:
    std::ofstream out_;
    std::mt19937& random_;
    std::uint64_t size_ = 0;
};

}  // namespace

std::vector<Placement> BuildCorpusImage(const std::string& folder, const std::string& imagePath,
                                        const CorpusOptions& options) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::mt19937 random(options.seed);
    std::shuffle(files.begin(), files.end(), random);

    ImageWriter image(imagePath, random);
    std::vector<Placement> placements;
    auto gap = [&] {
        const std::uint64_t sectors = 1 + random() % std::max<std::uint64_t>(options.maxGapSectors, 1);
        (random() & 1) ? image.Noise(sectors * kSector) : image.Zeros(sectors * kSector);
    };
    gap();
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<char> data = ReadWhole(files[i]);
        if (data.empty()) continue;
        Placement p{files[i].filename().string(), image.Size() / kSector, data.size(), false};
        // Every seventh file also appears cut short (with adjacent cuts,
        // every file), every eleventh with a stretch of its middle
        // overwritten by zeros.
        const bool cut = i % 7 == 3 || (options.adjacentCuts && i % 11 != 5);
        if (options.addDamaged && data.size() > 4096 && (cut || i % 11 == 5)) {
            std::vector<char> copy = data;
            if (cut) {
                copy.resize(copy.size() / 2);
            } else {
                std::fill(copy.begin() + static_cast<std::ptrdiff_t>(copy.size() / 3),
                          copy.begin() + static_cast<std::ptrdiff_t>(copy.size() / 3 + 2048), 0);
            }
            Placement damaged{"damaged-" + p.name, p.startSector, copy.size(), true};
            image.Put(copy.data(), copy.size());
            image.EndSector(true);
            placements.push_back(damaged);
            if (!options.adjacentCuts || !cut) gap();
            p.startSector = image.Size() / kSector;
        }
        image.Put(data.data(), data.size());
        image.EndSector(random() & 1);
        placements.push_back(p);
        gap();
    }
    if (image.Size() < options.minImageBytes) {
        // Half filler, half zeros, in large runs.
        std::uint64_t rest = options.minImageBytes - image.Size();
        rest -= rest % kSector;
        image.Noise(rest / 2 - (rest / 2) % kSector);
        image.Zeros(options.minImageBytes - image.Size());
    }
    image.Close();
    return placements;
}

std::string ManifestText(const std::vector<Placement>& placements) {
    std::string text;
    for (const Placement& p : placements) {
        text += p.name + '\t' + std::to_string(p.startSector) + '\t' + std::to_string(p.bytes) + '\t' +
                (p.damaged ? "damaged" : "whole") + '\n';
    }
    return text;
}

}  // namespace zt::corpus
