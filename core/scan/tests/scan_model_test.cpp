// Compares the scan with the reference model on many generated images:
// headers, footers, length fields and marker runs planted at random places,
// across chunk boundaries, with rescans.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/scan/detection.h"
#include "core/scan/tests/reference_scan.h"
#include "core/scan/tests/scan_fixture.h"

namespace zt::testing {
namespace {

// Plants things the scan reacts to at random places.
class Planter {
public:
    Planter(Image& image, const TypeDefinitionList& defs, std::mt19937& rng) : image_(image), defs_(defs), rng_(rng) {}

    void Header(std::uint64_t sector) {
        const stExtInfo& d = defs_[Pick(defs_.size())];
        const SignaturePattern& h = d.headers[Pick(static_cast<std::size_t>(d.headerCount))];
        image_.Put(sector, static_cast<std::size_t>(h.offset), Bytes(h));
        const std::string name(d.name.data());
        const std::string maker = MakerText(name);
        if (!maker.empty() && Pick(5) != 0) image_.PutText(sector, 16 + Pick(480), maker);
        if (d.sizeFieldOffset >= 0) {
            const std::uint32_t choices[] = {0u, 0x80000000u, Small(5000), Small(2000000),
                                             d.sizeFieldLimit, d.sizeFieldLimit + 1, 0xFFFFFFFFu};
            const std::uint32_t v = choices[Pick(std::size(choices))];
            if (name == "AU") {
                image_.PutBe32(sector, static_cast<std::size_t>(d.sizeFieldOffset), v);
            } else {
                image_.PutLe32(sector, static_cast<std::size_t>(d.sizeFieldOffset), v);
            }
        }
        if (name == "MKV" && Pick(2) == 0) image_.Put(sector, 20 + Pick(480), {0x4D, Byte(), Byte(), 0x53});
    }

    // A footer (or marker) anywhere, also across sector and chunk ends.
    void Footer(std::uint64_t sector) {
        const stExtInfo& d = defs_[Pick(defs_.size())];
        if (d.footerCount == 0) return;
        const SignaturePattern& f = d.footers[Pick(static_cast<std::size_t>(d.footerCount))];
        const std::size_t offset = Pick(3) == 0 ? 512 - 1 - Pick(static_cast<std::size_t>(f.length)) : Pick(512);
        image_.Put(sector, offset, Bytes(f));
    }

    // A run of markers spaced near the quiet length that ends the run.
    void MarkerRun(std::uint64_t sector, std::string_view marker) {
        const int markers = 1 + static_cast<int>(Pick(3));
        for (int m = 0; m < markers; ++m) {
            sector += 340 + Pick(20);
            image_.PutText(sector, Pick(510), marker);
        }
    }

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Pick(256)); }
    std::uint32_t Small(std::size_t n) { return 1 + static_cast<std::uint32_t>(Pick(n)); }

private:
    static std::vector<std::uint8_t> Bytes(const SignaturePattern& p) {
        return {p.bytes.begin(), p.bytes.begin() + p.length};
    }

    Image& image_;
    const TypeDefinitionList& defs_;
    std::mt19937& rng_;
};

std::vector<ModelFile> FromDriver(const std::vector<FileInfo>& files) {
    std::vector<ModelFile> out;
    for (const FileInfo& f : files) out.push_back({std::string(f.FileName()), f.startSector, f.sectorCount});
    return out;
}

TEST(ScanModelTest, DriverMatchesReferenceModelOnGeneratedImages) {
    TempDir dir;
    const auto path = dir.Path() / "card.dd";
    std::mt19937 rng(20261208);
    int filesCompared = 0;
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Short search limits make limits and rescans common in small images.
        TypeDefinitionList defs = Definitions({}, 2 + static_cast<std::int32_t>(rng() % 600));
        if (round % 3 == 1) {
            // A few types only, so other types' headers do not cut files short.
            std::shuffle(defs.begin(), defs.end(), rng);
            defs.resize(1 + rng() % 6);
        }
        for (stExtInfo& d : defs) d.searchLimit = 1 + static_cast<std::int32_t>(rng() % 1500);

        Image image(1200 + rng() % 3500);
        Planter plant(image, defs, rng);
        if (round % 2 == 0) {
            for (std::uint8_t& b : image.Bytes()) b = plant.Pick(4) == 0 ? plant.Byte() : 0;
        } else {
            for (std::uint8_t& b : image.Bytes()) b = plant.Byte();
        }
        const std::size_t sectors = image.Sectors();
        for (std::size_t i = 0, n = 5 + plant.Pick(60); i < n; ++i) plant.Header(plant.Pick(sectors));
        // Runs of headers in consecutive sectors (rejected length fields among them).
        for (std::size_t i = 0, n = plant.Pick(12); i < n; ++i) {
            const std::uint64_t at = plant.Pick(sectors);
            for (std::uint64_t k = 0, len = 2 + plant.Pick(3); k < len; ++k) plant.Header(at + k);
        }
        for (std::size_t i = 0, n = 5 + plant.Pick(80); i < n; ++i) plant.Footer(plant.Pick(sectors));
        // Headers next to chunk ends and right after each other.
        for (std::uint64_t c = 1000; c < sectors; c += 1000) {
            if (plant.Pick(2) == 0) plant.Header(c - 1 - plant.Pick(3));
            if (plant.Pick(2) == 0) plant.Footer(c - 1);
        }
        plant.MarkerRun(plant.Pick(sectors), "LAME");
        plant.MarkerRun(plant.Pick(sectors), "~BK");

        std::uint64_t rangeStart = plant.Pick(4) == 0 ? plant.Pick(sectors) : 0;
        std::uint64_t rangeEnd = sectors;
        switch (plant.Pick(4)) {
            case 0: rangeEnd = rangeStart + 1 + plant.Pick(1500); break;  // may run past the end
            case 1: rangeEnd = rangeStart + 1 + plant.Pick(sectors); break;
            default: break;
        }

        WriteFile(path, image.Bytes());
        ReferenceScan model(image.Bytes(), defs, rangeStart, rangeEnd);
        const std::vector<ModelFile> expected = model.Run();
        TypeDefinitionList scanned = defs;
        const ScanRun run = ScanFile(path, scanned, rangeStart, rangeEnd);
        ASSERT_EQ(FromDriver(run.files), expected) << "range " << rangeStart << ".." << rangeEnd;
        EXPECT_EQ(run.currentSector, rangeEnd);
        filesCompared += static_cast<int>(expected.size());
    }
    // The generator must actually produce files to compare.
    EXPECT_GT(filesCompared, 1000);
}

TEST(PatternSearchTest, FindsExactlyWhatAPlainSearchFinds) {
    // Small alphabets make near misses and overlapping candidates common.
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        const int alphabet = 2 + static_cast<int>(rng() % 3);
        std::vector<std::uint8_t> buffer(512 + 40);
        for (std::uint8_t& b : buffer) b = static_cast<std::uint8_t>(rng() % alphabet);
        SignaturePattern pattern;
        pattern.length = 1 + static_cast<std::int32_t>(rng() % 16);
        for (int i = 0; i < pattern.length; ++i) pattern.bytes[i] = static_cast<std::uint8_t>(rng() % alphabet);
        const std::size_t available = rng() % 3 == 0 ? buffer.size() : 1 + rng() % buffer.size();
        bool plain = false;
        for (std::size_t p = 0; p < 512 && p + pattern.length <= available && !plain; ++p)
            plain = std::equal(pattern.bytes.begin(), pattern.bytes.begin() + pattern.length, buffer.begin() + p);
        ASSERT_EQ(FindPatternInSector(pattern, buffer.data(), available), plain) << "round " << round;
    }
}

}  // namespace
}  // namespace zt::testing
