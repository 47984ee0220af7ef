// Compares the scan with a deliberately plain reference model of the scan
// rules on many generated images: headers, footers, length fields and marker
// runs planted at random places, across chunk boundaries, with rescans.
// The model shares no code with the scan: it has its own pattern search, its
// own maker texts and its own loop over a whole-image buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/scan/tests/scan_fixture.h"

namespace zt::testing {
namespace {

struct ModelFile {
    std::string fileName;
    std::uint64_t start;
    std::int32_t count;
    bool operator==(const ModelFile&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ModelFile& f) {
    return os << f.fileName << "@" << f.start << "+" << f.count;
}

// Maker texts that some headers must also show in their sector.
std::string MakerText(const std::string& type) {
    if (type == "CR2" || type == "CRW") return "Canon";
    if (type == "NEF") return "NIKON";
    if (type == "PEF") return "PENTAX";
    if (type == "ERF") return "EPSON";
    if (type == "MEF") return "MAMIYA";
    if (type == "SR2") return "SONY";
    if (type == "WAV") return "WAVE";
    if (type == "AVI") return "AVI LIST";
    if (type == "OGG") return "Ogg";
    return "";
}

class ReferenceScan {
public:
    ReferenceScan(const std::vector<std::uint8_t>& image, TypeDefinitionList defs, std::uint64_t rangeStart,
                  std::uint64_t rangeEnd)
        : image_(image), defs_(std::move(defs)), rangeStart_(rangeStart), rangeEnd_(rangeEnd) {}

    std::vector<ModelFile> Run() {
        std::uint64_t base = rangeStart_;
        if (base >= rangeEnd_) return out_;
        std::uint64_t count = std::min<std::uint64_t>(1000, rangeEnd_ - base);
        for (;;) {
            Read(base, count, chunk_);
            bool rescan = false;
            for (std::uint64_t j = 0; j < count && !rescan; ++j) {
                const std::uint64_t cur = base + j;
                const std::uint8_t* sector = chunk_.data() + j * 512;
                const std::size_t avail = (count - j) * 512;
                const int r = Match(sector, avail);
                if (open_ == -1 && r == -1) continue;
                if (open_ != -1 && r != -1) {
                    Add(open_, start_, static_cast<std::int32_t>(cur - start_ - 1));
                    open_ = -1;
                }
                if (open_ == -1) {
                    open_ = r;
                    start_ = cur;
                    examined_ = 0;
                    if (Name(r) == "MKV") {
                        examined_ = 1;
                        continue;
                    }
                }
                const int outcome = EndRule(sector, avail, cur);  // 1 found, 0 not yet, -1 reject
                if (outcome == 1) {
                    open_ = -1;
                } else if (outcome == 0) {
                    ++examined_;
                    if (examined_ == defs_[open_].searchLimit) {
                        Add(open_, start_, defs_[open_].maxSizeBytes / 512);
                        rescan = true;
                    }
                } else {
                    rescan = true;
                }
            }
            if (rescan) {
                base = start_ + 1;
                open_ = -1;
            } else {
                base += count;
            }
            count = std::min<std::uint64_t>(1000, rangeEnd_ > base ? rangeEnd_ - base : 0);
            if (base >= rangeEnd_) break;
        }
        return out_;
    }

private:
    std::string Name(int t) const { return std::string(defs_[t].name.data()); }

    // What the reader delivers: the image, zeros past its end, and zeros for a
    // request that starts beyond the range end.
    void Read(std::uint64_t first, std::uint64_t count, std::vector<std::uint8_t>& buf) const {
        buf.assign(count * 512, 0);
        if (first > rangeEnd_) return;
        for (std::uint64_t i = 0; i < count * 512; ++i) {
            const std::uint64_t at = first * 512 + i;
            if (at < image_.size()) buf[i] = image_[at];
        }
    }

    static bool Anywhere(const std::uint8_t* sector, std::size_t avail, const std::uint8_t* pat, std::size_t len) {
        for (std::size_t p = 0; p < 512; ++p) {
            if (p + len > avail) return false;
            bool same = true;
            for (std::size_t i = 0; i < len && same; ++i) same = sector[p + i] == pat[i];
            if (same) return true;
        }
        return false;
    }

    int Match(const std::uint8_t* sector, std::size_t avail) {
        for (std::size_t t = 0; t < defs_.size(); ++t) {
            stExtInfo& d = defs_[t];
            for (int k = 0; k < d.headerCount; ++k) {
                const SignaturePattern& h = d.headers[k];
                bool same = static_cast<std::size_t>(h.offset + h.length) <= avail;
                for (int i = 0; i < h.length && same; ++i) same = sector[h.offset + i] == h.bytes[i];
                if (!same) continue;
                const std::string maker = MakerText(Name(static_cast<int>(t)));
                if (!maker.empty() &&
                    !Anywhere(sector, avail, reinterpret_cast<const std::uint8_t*>(maker.data()), maker.size()))
                    continue;
                if (Name(static_cast<int>(t)) == "MKV") {
                    int candidate = -1;
                    for (std::size_t p = 0; p < 512; ++p) {
                        if (p + 3 < avail && sector[p] == d.footers[0].bytes[0] && sector[p + 3] == d.footers[0].bytes[3])
                            candidate = static_cast<int>(p);
                    }
                    if (candidate >= 0) std::memcpy(d.footers[0].bytes.data(), sector + candidate, 4);
                }
                return static_cast<int>(t);
            }
        }
        return -1;
    }

    int EndRule(const std::uint8_t* sector, std::size_t avail, std::uint64_t cur) {
        stExtInfo& d = defs_[open_];
        const std::string name = Name(open_);
        if (name == "PSP" || name == "MP3") {
            std::vector<std::uint8_t> copy(sector, sector + 512);
            std::uint64_t s = start_, last = start_;
            int counter = 0;
            do {
                bool marker = false;
                for (int k = 0; k < d.footerCount; ++k)
                    marker = marker || Anywhere(copy.data(), 512, d.footers[k].bytes.data(), d.footers[k].length);
                if (marker) last = s;
                counter = marker ? 1 : counter + 1;
                ++s;
                Read(s, 1, copy);
            } while (counter < 350);
            Add(open_, start_, static_cast<std::int32_t>(last - start_ + 10));
            return 1;
        }
        if (d.sizeFieldOffset != -1) {
            const std::uint8_t* f = sector + d.sizeFieldOffset;
            std::uint32_t v = name == "AU" ? (std::uint32_t{f[0]} << 24 | std::uint32_t{f[1]} << 16 |
                                              std::uint32_t{f[2]} << 8 | f[3])
                                           : (std::uint32_t{f[3]} << 24 | std::uint32_t{f[2]} << 16 |
                                              std::uint32_t{f[1]} << 8 | f[0]);
            const bool notPositive = static_cast<std::int32_t>(v) <= 0;
            if (name == "BMP" || name == "WMA") {
                if (notPositive || v > d.sizeFieldLimit) return -1;
            } else if (name == "AU") {
                if (notPositive) return 0;
                if (v > d.sizeFieldLimit) return -1;
            } else {
                if (notPositive) return 0;
                if (v > d.sizeFieldLimit) v = static_cast<std::uint32_t>(d.maxSizeBytes);
            }
            Add(open_, start_, static_cast<std::int32_t>(v / 512 + 1));
            return 1;
        }
        for (int k = 0; k < d.footerCount; ++k) {
            if (Anywhere(sector, avail, d.footers[k].bytes.data(), d.footers[k].length)) {
                Add(open_, start_, static_cast<std::int32_t>(cur - start_ + 1));
                return 1;
            }
        }
        return 0;
    }

    void Add(int t, std::uint64_t start, std::int32_t count) {
        const int n = ++defs_[t].foundCount;
        out_.push_back({"File" + std::to_string(n) + "." + Name(t), start, count});
    }

    const std::vector<std::uint8_t>& image_;
    TypeDefinitionList defs_;
    std::uint64_t rangeStart_, rangeEnd_;
    std::vector<std::uint8_t> chunk_;
    int open_ = -1;
    std::uint64_t start_ = 0;
    int examined_ = 0;
    std::vector<ModelFile> out_;
};

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

}  // namespace
}  // namespace zt::testing
