// Scans with extended signatures: files whose extent their format gives are
// recorded once at their exact length, nothing inside them is reported, and
// what cannot be followed falls back to the catalogue's end rules.
#include <gtest/gtest.h>

#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"

namespace zt::testing {
namespace {

TypeDefinitionList ExtendedDefinitions(std::initializer_list<std::string_view> names, std::int32_t maxSizeKB = 2000) {
    std::vector<TypeRow> rows = DefaultTypeRows(SignatureMode::Extended);
    for (TypeRow& row : rows) {
        for (std::string_view n : names) row.ticked = row.ticked || n == row.fileType;
        row.sizeText = std::to_string(maxSizeKB);
    }
    return BuildTypeDefinitionList(rows, SignatureMode::Extended).definitions;
}

std::vector<FileInfo> ScanExtended(const Image& image, TypeDefinitionList types, std::uint64_t rangeEnd = 0) {
    SourceDescriptor source;
    source.DeviceNames[0] = "memory";
    source.RangeStart = 0;
    source.RangeEnd = rangeEnd ? rangeEnd : image.Sectors();
    BadSectorPolicyState policy;
    MemoryRawIo io(image.Bytes());
    SectorReader reader(source, policy, io);
    FoundFileList found;
    ScanDriver driver(reader, types, found, {}, SignatureMode::Extended);
    driver.Run();
    return found.Snapshot();
}

// A JPEG of `bytes` bytes: an APP1 segment of filler with a whole JPEG
// (a thumbnail) placed so that it begins on a sector boundary of the image.
std::vector<std::uint8_t> CameraJpeg(std::size_t bytes, bool withEnd = true) {
    std::vector<std::uint8_t> j = {0xFF, 0xD8, 0xFF, 0xE1, 0x04, 0x02};  // APP1 of 1026 bytes
    j.resize(4 + 0x402, 0x20);
    std::vector<std::uint8_t> thumb = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    thumb.resize(thumb.size() + 64, 0x01);
    thumb.insert(thumb.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x11, 0xFF, 0xD9});
    std::copy(thumb.begin(), thumb.end(), j.begin() + 512);
    j.insert(j.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    while (j.size() + (withEnd ? 2 : 0) < bytes) j.push_back(static_cast<std::uint8_t>(j.size() % 251));
    for (std::size_t i = 1; i < j.size(); ++i) {
        if (i > 1040 && j[i - 1] == 0xFF) j[i] = 0x00;  // stuffed in the entropy-coded data
    }
    if (withEnd) j.insert(j.end(), {0xFF, 0xD9});
    return j;
}

TEST(ExtendedScanTest, AFileIsRecordedOnceAtItsExactLengthWithNothingInsideReported) {
    Image image(40);
    const auto jpeg = CameraJpeg(5000);
    image.Put(2, 0, jpeg);
    image.Put(30, 0, CameraJpeg(1500));
    const std::vector<FileInfo> files = ScanExtended(image, ExtendedDefinitions({"JPEG"}));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].FileName(), "File1.JPEG");
    EXPECT_EQ(files[0].startSector, 2u);
    EXPECT_EQ(files[0].byteLength, 5000u);
    EXPECT_EQ(files[0].sectorCount, 10);  // 5000 bytes take 10 sectors
    EXPECT_EQ(files[1].startSector, 30u);
    EXPECT_EQ(files[1].byteLength, 1500u);

    // The standard signatures see only the thumbnail's header at sector 3.
    Image plain = image;
    TypeDefinitionList standard = Definitions({"JPEG"});
    SourceDescriptor source;
    source.DeviceNames[0] = "memory";
    source.RangeEnd = plain.Sectors();
    BadSectorPolicyState policy;
    MemoryRawIo io(plain.Bytes());
    SectorReader reader(source, policy, io);
    FoundFileList found;
    ScanDriver(reader, standard, found).Run();
    for (const FileInfo& f : found.Snapshot()) EXPECT_EQ(f.byteLength, 0u);
}

TEST(ExtendedScanTest, TheExtentOfAnUnselectedTypeStillHidesWhatIsInsideIt) {
    // A PNG whose data holds a JPEG header at a sector start, with only JPEG selected.
    Image image(20);
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png.resize(png.size() + 17, 1);
    const std::uint32_t idat = 3000;
    png.insert(png.end(), {0, 0, static_cast<std::uint8_t>(idat >> 8), static_cast<std::uint8_t>(idat & 0xFF), 'I',
                           'D', 'A', 'T'});
    png.resize(png.size() + idat + 4, 0x42);
    png.insert(png.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    image.Put(1, 0, png);
    image.Put(3, 0, CameraJpeg(1200));  // inside the PNG's data
    EXPECT_TRUE(ScanExtended(image, ExtendedDefinitions({"JPEG"})).empty());
    const std::vector<FileInfo> both = ScanExtended(image, ExtendedDefinitions({"JPEG", "PNG"}));
    ASSERT_EQ(both.size(), 1u);
    EXPECT_EQ(both[0].FileName(), "File1.PNG");
    EXPECT_EQ(both[0].byteLength, png.size());
}

TEST(ExtendedScanTest, AFileThatCannotBeFollowedFallsBackToTheMarkerRules) {
    // No EOI: the JPEG runs into the next file's header, which ends it as the
    // catalogue's rule does, and the next file is still found exactly. The
    // thumbnail in its Exif segment, which the walk was sure of, does not.
    Image image(60);
    image.Put(0, 0, CameraJpeg(6000, false));
    image.Put(40, 0, CameraJpeg(1900));
    const std::vector<FileInfo> files = ScanExtended(image, ExtendedDefinitions({"JPEG"}));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].startSector, 0u);
    EXPECT_EQ(files[0].byteLength, 0u);
    EXPECT_EQ(files[0].sectorCount, 39);
    EXPECT_EQ(files[1].startSector, 40u);
    EXPECT_EQ(files[1].byteLength, 1900u);

    // A file reaching past the range is not followed past it either.
    const std::vector<FileInfo> cut = ScanExtended(image, ExtendedDefinitions({"JPEG"}), 5);
    for (const FileInfo& f : cut) EXPECT_EQ(f.byteLength, 0u);
}

// A HEIF picture of `bytes` bytes: file type, metadata, then its data.
std::vector<std::uint8_t> Heif(std::uint32_t bytes) {
    std::vector<std::uint8_t> h;
    auto box = [&](std::uint32_t size, std::string_view type) {
        for (int shift = 24; shift >= 0; shift -= 8) h.push_back(static_cast<std::uint8_t>(size >> shift));
        for (char c : type) h.push_back(static_cast<std::uint8_t>(c));
    };
    box(24, "ftyp");
    for (char c : std::string_view("heic\0\0\0\0mif1heic", 16)) h.push_back(static_cast<std::uint8_t>(c));
    box(100, "meta");
    h.resize(24 + 100, 0);
    box(bytes - 124, "mdat");
    while (h.size() < bytes) h.push_back(static_cast<std::uint8_t>(h.size() % 251));
    return h;
}

TEST(ExtendedScanTest, AFileInsideTheDeclaredDataOfACutPictureIsStillFound) {
    // The first half of a 12000-byte HEIF picture, then another whole one
    // where the first one's data would still run: the second is found at its
    // exact length, and so is a whole picture on its own.
    Image image(60);
    std::vector<std::uint8_t> cut = Heif(12000);
    cut.resize(6000);
    image.Put(0, 0, cut);
    image.Put(16, 0, Heif(3000));
    image.Put(40, 0, Heif(5000));
    const std::vector<FileInfo> files = ScanExtended(image, ExtendedDefinitions({"HEIC"}));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].startSector, 0u);
    EXPECT_EQ(files[1].startSector, 16u);
    EXPECT_EQ(files[1].byteLength, 3000u);
    EXPECT_EQ(files[2].startSector, 40u);
    EXPECT_EQ(files[2].byteLength, 5000u);
}

TEST(ExtendedScanTest, TheCatalogueKeepsItsRowsAndAddsTheNewFormatsAfterThem) {
    const auto standard = CatalogueRows(SignatureMode::Standard);
    const auto extended = CatalogueRows(SignatureMode::Extended);
    ASSERT_EQ(standard.size(), 41u);
    ASSERT_EQ(extended.size(), 51u);
    for (std::size_t i = 0; i < standard.size(); ++i) EXPECT_EQ(extended[i].fileType, standard[i].fileType);
    for (std::size_t i = standard.size(); i < extended.size(); ++i) {
        EXPECT_LE(extended[i].fileType.size(), 4u);
        EXPECT_FALSE(LookupDefinition(extended[i].fileType, SignatureMode::Standard)) << extended[i].fileType;
        EXPECT_TRUE(LookupDefinition(extended[i].fileType, SignatureMode::Extended)) << extended[i].fileType;
    }
    EXPECT_EQ(extended[41].fileType, "HEIC");
    EXPECT_EQ(extended[50].fileType, "MTS");
}

}  // namespace
}  // namespace zt::testing
