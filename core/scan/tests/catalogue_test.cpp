#include "core/scan/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zt {
namespace {

std::vector<std::uint8_t> Bytes(const SignaturePattern& p) { return {p.bytes.begin(), p.bytes.begin() + p.length}; }

TEST(CatalogueTest, RowsAreTheFortyOneTypesInDisplayOrder) {
    auto rows = CatalogueRows();
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows[0].fileType, "CR2");
    EXPECT_EQ(rows[0].description, "Canon");
    EXPECT_EQ(rows[11].description, "Panasonic RAW");
    EXPECT_EQ(rows[14].fileType, "WAV");
    EXPECT_EQ(rows[29].fileType, "DIVX");
    EXPECT_EQ(rows[29].description, "DIVX Encoded Files");
    EXPECT_EQ(rows[34].fileType, "JPEG");
    EXPECT_EQ(rows[40].fileType, "PSD");
    EXPECT_EQ(rows[40].description, "Adobe Photoshop");
    EXPECT_EQ(MaxSizeDefaultKB, "2000");

    std::set<std::string_view> names;
    for (const auto& row : rows) {
        EXPECT_TRUE(names.insert(row.fileType).second) << row.fileType;
        EXPECT_LE(row.fileType.size(), 4u);
        // Every row but DIVX has a definition, and it carries the row's name.
        auto def = LookupDefinition(row.fileType);
        EXPECT_EQ(def.has_value(), row.fileType != "DIVX") << row.fileType;
        if (def) {
            EXPECT_EQ(def->Name(), row.fileType);
            EXPECT_EQ(def->foundCount, 0);
            EXPECT_GE(def->headerCount, 1);
            for (int k = 0; k < def->headerCount; ++k) {
                const auto& h = def->headers[static_cast<std::size_t>(k)];
                EXPECT_GE(h.length, 1);
                EXPECT_LE(h.offset + h.length, 512);
            }
            // The length field and the footers are exclusive ways to find the end.
            EXPECT_EQ(def->HasSizeField(), def->footerCount == 0) << row.fileType;
            for (int k = 0; k < def->footerCount; ++k) EXPECT_EQ(def->footers[static_cast<std::size_t>(k)].offset, -1);
        }
    }
}

TEST(CatalogueTest, LookupIsExactAndCaseSensitive) {
    EXPECT_FALSE(LookupDefinition("jpeg").has_value());
    EXPECT_FALSE(LookupDefinition("JPG").has_value());
    EXPECT_FALSE(LookupDefinition("").has_value());
    EXPECT_TRUE(LookupDefinition("JPEG").has_value());
}

TEST(CatalogueTest, DefinitionsWithSeveralPatternsOffsetsAndLengthFields) {
    auto jpeg = *LookupDefinition("JPEG");
    ASSERT_EQ(jpeg.headerCount, 3);
    EXPECT_EQ(jpeg.headers[0].offset, 6);
    EXPECT_EQ(Bytes(jpeg.headers[0]), (std::vector<std::uint8_t>{0x4A, 0x46, 0x49, 0x46}));
    EXPECT_EQ(Bytes(jpeg.headers[1]), (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00}));
    EXPECT_EQ(Bytes(jpeg.headers[2]), (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xE1, 0x01, 0x9A, 0x45, 0x78}));
    EXPECT_EQ(Bytes(jpeg.footers[0]), (std::vector<std::uint8_t>{0xFF, 0xD9}));
    EXPECT_EQ(jpeg.searchLimit, 20480);

    auto mpeg = *LookupDefinition("MPEG");
    ASSERT_EQ(mpeg.headerCount, 2);
    ASSERT_EQ(mpeg.footerCount, 2);
    EXPECT_EQ(mpeg.headers[1].offset, 2);
    EXPECT_EQ(Bytes(mpeg.footers[1]), (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0xB9}));

    for (const char* name : {"MOV", "3G2", "JP2"}) EXPECT_EQ(LookupDefinition(name)->headers[0].offset, 3) << name;
    EXPECT_EQ(LookupDefinition("PSP")->headers[0].length, 14);
    EXPECT_EQ(LookupDefinition("DV")->footers[0].length, 16);
    EXPECT_EQ(Bytes(LookupDefinition("PSD")->footers[0])[0], 0xFF);
    EXPECT_EQ(LookupDefinition("MEF")->searchLimit, 102400);
    EXPECT_EQ(LookupDefinition("VOB")->searchLimit, 204800);

    struct Field {
        const char* name;
        int offset;
        std::uint32_t limit;
    };
    for (Field f : {Field{"RAW", 414, 26214400}, Field{"WMA", 70, 10485760}, Field{"AU", 8, 10485760},
                    Field{"AVI", 4, 104857600}, Field{"ASF", 70, 10485760}, Field{"BMP", 2, 10485760}}) {
        auto d = *LookupDefinition(f.name);
        EXPECT_EQ(d.sizeFieldOffset, f.offset) << f.name;
        EXPECT_EQ(d.sizeFieldWidth, 4) << f.name;
        EXPECT_EQ(d.sizeFieldLimit, f.limit) << f.name;
    }
}

TEST(CatalogueTest, WmaAndAsfDifferOnlyInName) {
    auto wma = *LookupDefinition("WMA");
    auto asf = *LookupDefinition("ASF");
    EXPECT_EQ(Bytes(wma.headers[0]), Bytes(asf.headers[0]));
    EXPECT_EQ(wma.headerCount, asf.headerCount);
    EXPECT_EQ(wma.headers[0].offset, asf.headers[0].offset);
    EXPECT_EQ(wma.sizeFieldOffset, asf.sizeFieldOffset);
    EXPECT_EQ(wma.sizeFieldLimit, asf.sizeFieldLimit);
    EXPECT_EQ(wma.footerCount, asf.footerCount);
    EXPECT_EQ(wma.searchLimit, asf.searchLimit);
    EXPECT_NE(wma.Name(), asf.Name());
}

TEST(CatalogueTest, ConfirmationTexts) {
    EXPECT_EQ(ConfirmationText("CR2"), "Canon");
    EXPECT_EQ(ConfirmationText("CRW"), "Canon");
    EXPECT_EQ(ConfirmationText("AVI"), "AVI LIST");
    EXPECT_EQ(ConfirmationText("SR2"), "SONY");
    EXPECT_EQ(ConfirmationText("OGG"), "Ogg");
    EXPECT_TRUE(ConfirmationText("TIFF").empty());
    EXPECT_TRUE(ConfirmationText("DCR").empty());
}

}  // namespace
}  // namespace zt
