// A real FAT32 card damaged on purpose, one kind of damage per row: the pass
// must end, read nothing outside the range, say what was wrong, and still
// give back every file the damage did not touch.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/filesystems/fat.h"
#include "core/filesystems/fs_text.h"
#include "core/filesystems/tests/card_fixture.h"

namespace zt::fs::testing {
namespace {

const std::string kA = "DCIM/100PHONE/A.jpg";
const std::string kC = "DCIM/100PHONE/C.jpg";
const std::string kFolder = "DCIM/100PHONE/";

struct Card {
    std::string bytes;
    FatGeometry geometry;
    std::map<std::string, std::vector<std::uint32_t>> clusters;  // of each file of the intact card
};

void PutLe32(std::string& b, std::uint64_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void SetNext(Card& card, std::uint32_t cluster, std::uint32_t next) {
    PutLe32(card.bytes, card.geometry.fatByte + std::uint64_t{cluster} * 4, next);
}

struct Outcome {
    std::map<std::string, std::string> files;  // path: bytes
    std::vector<std::string> notes;
    std::size_t fileSystems = 0;
};

struct Damage {
    std::string what;
    std::function<void(Card&)> apply;
    std::uint64_t rangeEndSector = 0;  // 0: the whole image
    WalkLimits limits;
    std::vector<std::string> lost;       // files that may not come back
    std::string note;                    // a note that must be given, empty for none
    std::size_t fileSystems = 1;
    std::function<void(const Outcome&)> extra;
};

TEST(DamagedCards, EveryDamageIsBoundedAndTold) {
    zt::testing::TempFolder tmp;
    const std::string folder = tmp / "fat32";
    if (!MakeCard("fat32", folder)) GTEST_SKIP() << "cannot write a FAT32 card here";
    const std::string image = folder + "/card.img";
    Card intact{zt::testing::ReadBytes(image), {}, {}};
    std::vector<std::string> all;
    {
        ImageReader reader(image);
        FileSystemPass pass(reader.Reader());
        RunPass(pass, reader.Reader());
        for (const auto& [path, file] : FilesByPath(pass)) all.push_back(path);
        std::array<std::uint8_t, kSectorBytes> boot{};
        std::memcpy(boot.data(), intact.bytes.data(), boot.size());
        intact.geometry = *ParseFatBootSector(boot, 0);
        for (const auto& [path, file] : FilesByPath(pass)) {
            for (const SectorRun& run : file.file->named.runs) {
                const std::uint64_t perCluster = intact.geometry.sectorsPerCluster;
                for (std::uint64_t s = run.first; s < run.first + run.count; s += perCluster) {
                    intact.clusters[path].push_back(
                        static_cast<std::uint32_t>((s * kSectorBytes - intact.geometry.heapByte) /
                                                   (perCluster * kSectorBytes) + 2));
                }
            }
        }
    }
    ASSERT_EQ(all.size(), 8u);
    const std::uint64_t sectors = intact.bytes.size() / kSectorBytes;

    const std::vector<Damage> damages = {
        {"a chain that loops back to its start",
         [](Card& c) { SetNext(c, c.clusters[kA][1], c.clusters[kA].front()); }, 0, {}, {kA}, "loops", 1, {}},
        {"a chain that points past the last cluster",
         [](Card& c) { SetNext(c, c.clusters[kA].front(), 0x0FFFFFF0); }, 0, {}, {kA}, "invalid cluster", 1, {}},
        {"a chain cross-linked into another file",
         [](Card& c) { SetNext(c, c.clusters[kC].front(), c.clusters[kA][1]); }, 0, {}, {kA, kC}, "cross-linked", 1, {}},
        {"a folder that lists its own parent",
         [](Card& c) {
             // 100PHONE's entry in DCIM is made to point at DCIM itself.
             const std::string name = "100PHONE   ";
             const std::size_t at = c.bytes.find(name, static_cast<std::size_t>(c.geometry.heapByte));
             ASSERT_NE(at, std::string::npos);
             const std::string dot = ".          ";
             const std::size_t self = c.bytes.rfind(dot, at);
             const auto dcimCluster = static_cast<std::uint16_t>(static_cast<std::uint8_t>(c.bytes[self + 26]) |
                                                                 static_cast<std::uint8_t>(c.bytes[self + 27]) << 8);
             c.bytes[at + 26] = static_cast<char>(dcimCluster & 0xFF);
             c.bytes[at + 27] = static_cast<char>(dcimCluster >> 8);
             c.bytes[at + 20] = c.bytes[at + 21] = 0;
         },
         0, {}, {kFolder}, "", 1, {}},
        {"a boot sector whose cluster size is not a power of two, backup too",
         [](Card& c) {
             c.bytes[13] = 3;
             c.bytes[6 * kSectorBytes + 13] = 3;
         },
         0, {}, {""}, "", 0, {}},
        {"a wiped boot sector with its backup intact",
         [](Card& c) { std::fill_n(c.bytes.begin(), kSectorBytes, '\0'); }, 0, {}, {}, "backup boot sector", 1, {}},
        {"a range that ends in the middle of the card", [](Card&) {}, sectors / 60, {}, {""}, "", 1, {}},
        {"a long name with a lone surrogate",
         [](Card& c) {
             const std::string units("r\0i\0c\0", 6);
             const std::size_t at = c.bytes.find(units);
             ASSERT_NE(at, std::string::npos);
             c.bytes[at] = '\0';
             c.bytes[at + 1] = static_cast<char>(0xD8);
         },
         0, {}, {"DCIM/100PHONE/Été à Zürich.jpg"}, "", 1,
         [](const Outcome& o) {
             EXPECT_TRUE(o.files.contains("DCIM/100PHONE/Été à Zü\xEF\xBF\xBDich.jpg"));
         }},
        {"more entries than the walk reads", [](Card&) {}, 0, WalkLimits{6, 32u << 20, 64, 20}, {""},
         "more than 6 entries", 1, {}},
    };

    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Card card = intact;
        d.apply(card);
        zt::testing::WriteBytes(image, card.bytes);
        ImageReader reader(image, 0, d.rangeEndSector);
        FileSystemPass pass(reader.Reader(), d.limits);
        RunPass(pass, reader.Reader());
        Outcome o;
        o.fileSystems = pass.FileSystems().size();
        for (const auto& [path, file] : FilesByPath(pass)) {
            o.files[path] = file.bytes;
            for (const SectorRun& run : file.file->named.runs) {
                EXPECT_LE(run.first + run.count, reader.Reader().Source().RangeEnd) << path;
            }
        }
        for (const FoundFileSystem& fs : pass.FileSystems()) o.notes = fs.listing.notes;
        EXPECT_EQ(o.fileSystems, d.fileSystems);
        // Files the damage did not touch come back whole. "" stands for any file.
        for (const std::string& path : all) {
            const bool mayLose = std::any_of(d.lost.begin(), d.lost.end(), [&](const std::string& l) {
                return l.empty() || path.starts_with(l);
            });
            if (mayLose) continue;
            const auto it = o.files.find(path);
            ASSERT_NE(it, o.files.end()) << path;
        }
        if (!d.note.empty()) {
            const bool told = std::any_of(o.notes.begin(), o.notes.end(),
                                          [&](const std::string& n) { return n.find(d.note) != std::string::npos; });
            EXPECT_TRUE(told) << "no note with '" << d.note << "'";
        }
        if (d.extra) d.extra(o);
    }
}

TEST(FileSystemText, Utf16NamesBecomeUtf8WithReplacements) {
    struct Case {
        std::vector<std::uint16_t> units;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {{'I', 'M', 'G'}, "IMG"},
        {{0x00C9, 't', 0x00E9}, "\xC3\x89t\xC3\xA9"},                 // Été
        {{0xD83D, 0xDCF7}, "\xF0\x9F\x93\xB7"},                         // a camera, from a surrogate pair
        {{0xD83D, 'a'}, "\xEF\xBF\xBD" "a"},                            // a high surrogate alone
        {{0xDCF7, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // the pair in the wrong order
        {{0x65E5, 0x672C}, "\xE6\x97\xA5\xE6\x9C\xAC"},                 // 日本
    };
    for (const Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.units), c.utf8);
}

}  // namespace
}  // namespace zt::fs::testing
