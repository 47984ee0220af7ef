#include "core/scan/type_selection.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

std::vector<std::string> Names(const TypeDefinitionList& list) {
    std::vector<std::string> names;
    for (const stExtInfo& d : list) names.emplace_back(d.Name());
    return names;
}

TEST(TypeSelectionTest, AllRowsGiveFortyDefinitionsInCatalogueOrder) {
    std::vector<TypeRow> rows = DefaultTypeRows();
    ASSERT_EQ(rows.size(), 41u);
    for (TypeRow& r : rows) r.ticked = true;
    const TypeSelection s = BuildTypeDefinitionList(rows);
    EXPECT_EQ(s.tickedRows, 41);
    ASSERT_EQ(s.definitions.size(), 40u);  // DIVX has no definition
    EXPECT_EQ(s.definitions.front().Name(), "CR2");
    EXPECT_EQ(s.definitions[29].Name(), "DV");  // straight after MKV
    EXPECT_EQ(s.definitions.back().Name(), "PSD");
    for (const stExtInfo& d : s.definitions) {
        EXPECT_EQ(d.maxSizeBytes, 2000 * 1024);
        EXPECT_EQ(d.foundCount, 0);
    }
}

TEST(TypeSelectionTest, SizeTextsOutsideTheAllowedRangeBecomeTheDefault) {
    std::vector<TypeRow> rows = {
        {"JPEG", "250000", true}, {"PNG", "250001", true}, {"GIF", "1", true},   {"BMP", "2", true},
        {"TIFF", "", true},       {"MP3", "64kb", true},   {"WAV", "99999999999999", true},
        {"AVI", "0", false},
    };
    const TypeSelection s = BuildTypeDefinitionList(rows);
    EXPECT_EQ(s.sizeTexts, (std::vector<std::string>{"250000", "2000", "2000", "2", "2000", "64kb", "2000", "0"}));
    EXPECT_EQ(s.sizeCorrected, (std::vector<bool>{false, true, true, false, true, false, true, false}));
    ASSERT_EQ(Names(s.definitions), (std::vector<std::string>{"JPEG", "PNG", "GIF", "BMP", "TIFF", "MP3", "WAV"}));
    const std::int32_t expected[] = {250000 * 1024, 2000 * 1024, 2000 * 1024, 2048, 2000 * 1024, 64 * 1024,
                                     2000 * 1024};
    for (std::size_t i = 0; i < s.definitions.size(); ++i) EXPECT_EQ(s.definitions[i].maxSizeBytes, expected[i]);
}

TEST(TypeSelectionTest, ExtendedSizesKeepPicturesTo256MbAndSoundAndVideoTo4Gib) {
    // Type, size text, the size kept in KB, the text shown after Next.
    struct Case {
        std::string type, text;
        std::int64_t kb;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"JPEG", DefaultMaxSizeText("JPEG", SignatureMode::Extended), 262144, "262144"},
        {"CR3", DefaultMaxSizeText("CR3", SignatureMode::Extended), 262144, "262144"},
        {"MP4", DefaultMaxSizeText("MP4", SignatureMode::Extended), 4194304, "4194304"},
        {"FLAC", DefaultMaxSizeText("FLAC", SignatureMode::Extended), 4194304, "4194304"},
        {"MOV", "2000", 2000, "2000"},            // a size the user set caps the type
        {"MKV", "4194304", 4194304, "4194304"},   // the largest
        {"DV", "4194305", 4194304, "4194304"},    // past it: the type's default
        {"PNG", "1", 262144, "262144"},
        {"MTS", "99999999999999", 4194304, "4194304"},
    };
    std::vector<TypeRow> rows;
    for (const Case& c : cases) rows.push_back({c.type, c.text, true});
    const TypeSelection s = BuildTypeDefinitionList(rows, SignatureMode::Extended);
    ASSERT_EQ(s.definitions.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(s.definitions[i].maxSizeBytes, cases[i].kb * 1024) << cases[i].type << ' ' << cases[i].text;
        EXPECT_EQ(s.sizeTexts[i], cases[i].shown) << cases[i].type;
    }
    // Every row of the extended catalogue starts with one of the two sizes;
    // the standard rows keep "2000".
    for (const TypeRow& row : DefaultTypeRows(SignatureMode::Extended)) {
        EXPECT_TRUE(row.sizeText == "262144" || row.sizeText == "4194304") << row.fileType;
    }
    for (const TypeRow& row : DefaultTypeRows(SignatureMode::Standard)) EXPECT_EQ(row.sizeText, "2000");
    EXPECT_EQ(LargestMaxSizeKB(SignatureMode::Standard), 250000);
}

TEST(TypeSelectionTest, RowsWithoutDefinitionCountAsTickedButAddNothing) {
    const std::vector<TypeRow> rows = {{"DIVX", "2000", true}, {"jpeg", "2000", true}, {"JPEGX", "2000", true},
                                       {"MKV", "2000", false}};
    const TypeSelection s = BuildTypeDefinitionList(rows);
    EXPECT_EQ(s.tickedRows, 3);
    // The cell is read to four characters, so an edited "JPEGX" still reads JPEG;
    // the lookup is case-sensitive, so "jpeg" finds nothing.
    EXPECT_EQ(Names(s.definitions), (std::vector<std::string>{"JPEG"}));

    const TypeSelection none = BuildTypeDefinitionList(DefaultTypeRows());
    EXPECT_EQ(none.tickedRows, 0);
    EXPECT_TRUE(none.definitions.empty());
    EXPECT_TRUE(none.Refused());
    EXPECT_FALSE(s.Refused());
}

TEST(TypeSelectionTest, TheLogNamesTheTickedRowsOrAllExtensions) {
    const std::vector<TypeRow> rows = {{"DIVX", "2000", true}, {"JPEGX", "2000", true}, {"PNG", "2000", false},
                                       {"MKV", "1", true}};
    const TypeSelection s = BuildTypeDefinitionList(rows);
    // Unknown names are logged as ticked, read to four characters as the list does.
    ASSERT_EQ(s.tickedTypes, (std::vector<std::string>{"DIVX", "JPEG", "MKV"}));
    using Entries = std::vector<std::string>;
    EXPECT_EQ(SelectedTypesEntries(false, s.tickedTypes),
              (Entries{"\r\nSelected Extensions Information : ", "DIVX", "JPEG", "MKV"}));
    EXPECT_EQ(SelectedTypesEntries(true, s.tickedTypes),
              (Entries{"\r\nSelected Extensions Information : ", "All Extensions"}));
    // A refused choice still logs its heading, as the page writes it before it checks.
    EXPECT_EQ(SelectedTypesEntries(false, {}), (Entries{"\r\nSelected Extensions Information : "}));
}

}  // namespace
}  // namespace zt
