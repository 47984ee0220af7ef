#include "core/scan/detection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace zt {
namespace {

TypeDefinitionList ListOf(std::initializer_list<std::string_view> names) {
    TypeDefinitionList list;
    for (auto n : names) list.push_back(*LookupDefinition(n));
    return list;
}

TypeDefinitionList FullList() {
    TypeDefinitionList list;
    for (const auto& row : CatalogueRows())
        if (auto d = LookupDefinition(row.fileType)) list.push_back(*d);
    return list;
}

// A chunk of sectors to plant bytes in; detection sees it from a sector to its end.
struct Chunk {
    explicit Chunk(std::size_t sectors = 2) : bytes(sectors * 512, 0x11) {}
    Chunk& Put(std::size_t at, std::initializer_list<std::uint8_t> b) {
        std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        return *this;
    }
    Chunk& Put(std::size_t at, std::string_view text) {
        std::memcpy(bytes.data() + at, text.data(), text.size());
        return *this;
    }
    std::vector<std::uint8_t> bytes;
};

std::string Match(TypeDefinitionList& list, const Chunk& c, std::size_t sector = 0) {
    SignatureDetector detector(list);
    std::string_view name = "untouched";
    std::int32_t limit = -7;
    int r = detector.MatchType(c.bytes.data() + sector * 512, c.bytes.size() - sector * 512, name, limit);
    if (r < 0) {
        EXPECT_EQ(name, "untouched");
        EXPECT_EQ(limit, -7);
        return "-";
    }
    EXPECT_EQ(name, list[static_cast<std::size_t>(r)].Name());
    EXPECT_EQ(limit, list[static_cast<std::size_t>(r)].searchLimit);
    return std::string(name);
}

TEST(DetectionTest, LittleEndianTiffFamilyIsDecidedByOrderAndMakerText) {
    auto all = FullList();
    Chunk ii;
    ii.Put(0, {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00});
    EXPECT_EQ(Match(all, ii), "TIFF");
    EXPECT_EQ(Match(all, Chunk(ii).Put(300, "Canon")), "CR2");
    EXPECT_EQ(Match(all, Chunk(ii).Put(300, "SONY")), "SR2");
    EXPECT_EQ(Match(all, Chunk(ii).Put(4, {0xD6, 0x4E, 0x36})), "DNG");
    EXPECT_EQ(Match(all, Chunk().Put(0, {0x49, 0x49, 0x52, 0x4F})), "ORF");
    EXPECT_EQ(Match(all, Chunk().Put(0, {0x49, 0x49, 0x55, 0x00})), "RAW");
    // Without the Canon check CR2's two bytes would take every 49 49 sector.
    EXPECT_EQ(Match(all, Chunk().Put(0, {0x49, 0x49, 0x00, 0x00})), "-");

    auto tiffOnly = ListOf({"TIFF"});
    EXPECT_EQ(Match(tiffOnly, Chunk(ii).Put(300, "Canon")), "TIFF");
    auto cr2AndTiff = ListOf({"CR2", "TIFF"});
    EXPECT_EQ(Match(cr2AndTiff, Chunk(ii).Put(300, "Canon")), "CR2");
}

TEST(DetectionTest, BigEndianTiffFamilyIsDecidedByMakerTextAndDcrTakesTheRest) {
    auto all = FullList();
    Chunk mm;
    mm.Put(0, {0x4D, 0x4D, 0x00, 0x2A});
    EXPECT_EQ(Match(all, mm), "DCR");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "Canon")), "CRW");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "NIKON")), "NEF");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "PENTAX")), "PEF");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "EPSON")), "ERF");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "MAMIYA")), "MEF");
    EXPECT_EQ(Match(all, Chunk(mm).Put(100, "nikon")), "DCR") << "the maker text is case-sensitive";
    // TIFF never matches a big-endian file.
    auto tiffOnly = ListOf({"TIFF"});
    EXPECT_EQ(Match(tiffOnly, mm), "-");
}

TEST(DetectionTest, RiffIsWavOrAviOrNothing) {
    auto all = FullList();
    Chunk riff;
    riff.Put(0, "RIFF").Put(4, {0x24, 0x10, 0x00, 0x00});
    EXPECT_EQ(Match(all, Chunk(riff).Put(8, "WAVEfmt ")), "WAV");
    EXPECT_EQ(Match(all, Chunk(riff).Put(8, "AVI LIST")), "AVI");
    EXPECT_EQ(Match(all, Chunk(riff).Put(8, "WEBPVP8 ")), "-");
    EXPECT_EQ(Match(all, Chunk(riff).Put(8, "AVI JUNK")), "-");
}

TEST(DetectionTest, WmaHidesAsfUnlessWmaIsNotSelected) {
    Chunk asf;
    asf.Put(0, {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11});
    auto all = FullList();
    EXPECT_EQ(Match(all, asf), "WMA");
    auto asfOnly = ListOf({"ASF", "JPEG"});
    EXPECT_EQ(Match(asfOnly, asf), "ASF");
}

TEST(DetectionTest, HeadersOnlyMatchAtTheirOffset) {
    auto all = FullList();
    EXPECT_EQ(Match(all, Chunk().Put(0, {0xFF, 0xD8, 0xFF, 0xE0}).Put(6, "JFIF")), "JPEG");
    EXPECT_EQ(Match(all, Chunk().Put(7, "JFIF")), "-");
    EXPECT_EQ(Match(all, Chunk().Put(0, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00})), "JPEG");
    EXPECT_EQ(Match(all, Chunk().Put(0, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x84, 0x00})), "-");
    EXPECT_EQ(Match(all, Chunk().Put(0, {0xFF, 0xD8, 0xFF, 0xE1, 0x01, 0x9A}).Put(6, "Ex")), "JPEG");
    EXPECT_EQ(Match(all, Chunk().Put(2, {0x01, 0xBA, 0x21, 0x00, 0x01, 0x62})), "MPEG");
    EXPECT_EQ(Match(all, Chunk().Put(3, {0x08, 0x77, 0x69, 0x64, 0x65})), "MOV");
    EXPECT_EQ(Match(all, Chunk().Put(3, {0x0C, 0x6A, 0x50, 0x20, 0x20})), "JP2");
    EXPECT_EQ(Match(all, Chunk().Put(0, "Paint Shop Pro")), "PSP");
    EXPECT_EQ(Match(all, Chunk().Put(0, "Paint Shop Pr")), "-");
    // OGG's header itself holds its confirmation text.
    EXPECT_EQ(Match(all, Chunk().Put(0, {0x4F, 0x67, 0x67, 0x53, 0x00, 0x02})), "OGG");
    // A zero sector starts no file, though several headers begin with 00.
    EXPECT_EQ(Match(all, Chunk().Put(0, std::string(512, '\0'))), "-");
}

TEST(DetectionTest, EmptyListMatchesNothing) {
    TypeDefinitionList empty;
    EXPECT_EQ(Match(empty, Chunk().Put(0, {0x42, 0x4D})), "-");
}

TEST(DetectionTest, ConfirmationMayRunIntoTheNextSectorButNotPastTheData) {
    auto list = ListOf({"WAV"});
    Chunk riff(2);
    riff.Put(0, "RIFF").Put(510, "WAVE");
    EXPECT_EQ(Match(list, riff), "WAV");
    // The same sector as the last of the chunk: the text would lie past the data.
    Chunk last(1);
    last.Put(0, "RIFF").Put(510, "WA");
    EXPECT_EQ(Match(list, last), "-");
    // A text starting at 512 belongs to the next sector only.
    Chunk next(2);
    next.Put(0, "RIFF").Put(512, "WAVE");
    EXPECT_EQ(Match(list, next), "-");
}

TEST(DetectionTest, MatroskaHeaderAdoptsTheLastCandidateAsItsEndMarker) {
    auto list = ListOf({"JPEG", "MKV"});
    const std::uint8_t mkvHeader[] = {0x1A, 0x45, 0xDF, 0xA3, 0x93, 0x42, 0x82, 0x88};
    Chunk c;
    c.Put(0, {mkvHeader[0], mkvHeader[1], mkvHeader[2], mkvHeader[3], mkvHeader[4], mkvHeader[5], mkvHeader[6],
              mkvHeader[7]});
    c.Put(40, {0x4D, 0x11, 0x22, 0x53}).Put(200, {0x4D, 0x7B, 0xA9, 0x53});
    SignatureDetector detector(list);
    std::string_view name;
    std::int32_t limit = 0;
    ASSERT_EQ(detector.MatchType(c.bytes.data(), c.bytes.size(), name, limit), 1);
    EXPECT_EQ(name, "MKV");
    auto footer = list[1].footers[0];
    EXPECT_EQ(footer.length, 4);
    EXPECT_EQ(std::vector<std::uint8_t>(footer.bytes.begin(), footer.bytes.begin() + 4),
              (std::vector<std::uint8_t>{0x4D, 0x7B, 0xA9, 0x53}));

    // A later MKV header without a candidate keeps the marker the previous file left.
    Chunk bare;
    bare.Put(0, {mkvHeader[0], mkvHeader[1], mkvHeader[2], mkvHeader[3], mkvHeader[4], mkvHeader[5], mkvHeader[6],
                 mkvHeader[7]});
    ASSERT_EQ(detector.MatchType(bare.bytes.data(), bare.bytes.size(), name, limit), 1);
    EXPECT_EQ(list[1].footers[0].bytes[1], 0x7B);

    // A candidate at 510 needs bytes of the next sector: taken inside a chunk only.
    Chunk edge(2);
    edge.bytes = bare.bytes;
    edge.Put(510, {0x4D, 0x01}).Put(512, {0x02, 0x53});
    ASSERT_EQ(detector.MatchType(edge.bytes.data(), edge.bytes.size(), name, limit), 1);
    EXPECT_EQ(list[1].footers[0].bytes[1], 0x01);
    EXPECT_EQ(list[1].footers[0].bytes[2], 0x02);
}

TEST(DetectionTest, FootersAreFoundAnywhereInTheSectorWithinTheData) {
    SignaturePattern ffd9 = LookupDefinition("JPEG")->footers[0];
    Chunk c(2);
    c.Put(511, {0xFF}).Put(512, {0xD9});
    EXPECT_TRUE(FindPatternInSector(ffd9, c.bytes.data(), c.bytes.size()));
    EXPECT_FALSE(FindPatternInSector(ffd9, c.bytes.data(), 512));
    EXPECT_FALSE(FindPatternInSector(ffd9, c.bytes.data() + 512, 512)) << "a footer begins inside its sector";
    Chunk start;
    start.Put(0, {0xFF, 0xD9});
    EXPECT_TRUE(FindPatternInSector(ffd9, start.bytes.data(), 512));
}

// The naive reading of detection: every pattern of every definition in list
// order, the maker text searched at each of 512 positions. The dispatching
// detector must give the same answer on every sector.
int NaiveMatch(TypeDefinitionList& list, const std::uint8_t* sector, std::size_t available) {
    for (std::size_t d = 0; d < list.size(); ++d) {
        const stExtInfo& def = list[d];
        for (int k = 0; k < def.headerCount; ++k) {
            const SignaturePattern& p = def.headers[static_cast<std::size_t>(k)];
            bool equal = true;
            for (int i = 0; i < p.length && equal; ++i)
                equal = sector[p.offset + i] == p.bytes[static_cast<std::size_t>(i)];
            if (!equal) continue;
            std::string_view text = ConfirmationText(def.Name());
            if (!text.empty()) {
                bool found = false;
                for (std::size_t pos = 0; pos < 512 && !found; ++pos) {
                    if (pos + text.size() > available) break;
                    found = std::memcmp(sector + pos, text.data(), text.size()) == 0;
                }
                if (!found) continue;
            }
            return static_cast<int>(d);
        }
    }
    return -1;
}

TEST(DetectionTest, DispatchAgreesWithTheNaiveSearchOnRandomAndPlantedSectors) {
    std::mt19937 rng(12345);
    auto full = FullList();
    std::vector<TypeDefinitionList> lists{full};
    for (int i = 0; i < 6; ++i) {
        TypeDefinitionList subset;
        for (const auto& d : full)
            if (rng() % 2 == 0) subset.push_back(d);
        lists.push_back(subset);
    }
    // Headers and maker texts to plant, so that matches, near misses and
    // tie-breaks all occur often.
    std::vector<std::vector<std::uint8_t>> pieces;
    for (const auto& d : full)
        for (int k = 0; k < d.headerCount; ++k) {
            const auto& h = d.headers[static_cast<std::size_t>(k)];
            pieces.emplace_back(h.bytes.begin(), h.bytes.begin() + h.length);
        }
    for (const char* t : {"Canon", "NIKON", "PENTAX", "EPSON", "MAMIYA", "SONY", "WAVE", "AVI LIST", "Ogg"})
        pieces.emplace_back(t, t + std::strlen(t));

    std::vector<std::uint8_t> chunk(4 * 512);
    int matches = 0;
    for (int round = 0; round < 20000; ++round) {
        for (auto& b : chunk) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
        const auto& head = pieces[rng() % pieces.size()];
        const std::size_t at = std::vector<std::size_t>{0, 2, 3, 6}[rng() % 4];
        std::copy(head.begin(), head.end(), chunk.begin() + static_cast<std::ptrdiff_t>(at));
        if (rng() % 2 != 0) {
            const auto& text = pieces[pieces.size() - 1 - rng() % 9];
            std::copy(text.begin(), text.end(), chunk.begin() + static_cast<std::ptrdiff_t>(8 + rng() % 520));
        }
        if (rng() % 3 == 0) chunk[1 + rng() % 7] ^= 0x01;  // near misses
        const std::size_t available = std::vector<std::size_t>{512, 515, 2048}[rng() % 3];
        for (auto& list : lists) {
            SignatureDetector detector(list);
            std::string_view name;
            std::int32_t limit = 0;
            const int expected = NaiveMatch(list, chunk.data(), available);
            ASSERT_EQ(detector.MatchType(chunk.data(), available, name, limit), expected) << "round " << round;
            matches += expected >= 0;
        }
    }
    EXPECT_GT(matches, 5000) << "the planted sectors should match often";
}

}  // namespace
}  // namespace zt
