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

TEST(ExtendedScanTest, ACutRiffIsNamedForItsFormAndHidesNoFileBehindIt) {
    // The first 5000 bytes of a picture or movie of four 3000-byte chunks,
    // then the same file whole from the next sector: the cut one is not
    // taken for a sound, and its chunks' sizes, running on into the copy,
    // do not hide the copy.
    for (const std::string_view form : {"WEBP", "AVI "}) {
        std::vector<std::uint8_t> file(12 + 4 * 3008, 0x07);
        std::copy_n("RIFF\x04\x2F\x00\x00", 8, file.begin());  // 12036 bytes follow
        std::copy(form.begin(), form.end(), file.begin() + 8);
        for (std::size_t at = 12; at < file.size(); at += 3008) {
            std::copy_n("JUNK\xB8\x0B\x00\x00", 8, file.begin() + static_cast<std::ptrdiff_t>(at));
        }
        Image image(60);
        image.Put(0, 0, std::vector<std::uint8_t>(file.begin(), file.begin() + 5000));
        image.Put(10, 0, file);
        const std::vector<FileInfo> files = ScanExtended(image, ExtendedDefinitions({"WAV", "WEBP", "AVI"}));
        ASSERT_EQ(files.size(), 2u) << form;
        EXPECT_EQ(files[0].FileName(), form == "WEBP" ? "File1.WEBP" : "File1.AVI");
        EXPECT_EQ(files[0].byteLength, 0u) << form;
        EXPECT_EQ(files[1].startSector, 10u) << form;
        EXPECT_EQ(files[1].byteLength, file.size()) << form;
    }
}

// A PNG of `bytes` bytes: its header, one data chunk and its end.
std::vector<std::uint8_t> Png(std::uint32_t bytes) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png.resize(png.size() + 17, 1);
    const std::uint32_t data = bytes - static_cast<std::uint32_t>(png.size()) - 24;
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(data >> shift));
    png.insert(png.end(), {'I', 'D', 'A', 'T'});
    png.resize(png.size() + data + 4, 0x42);
    png.insert(png.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    return png;
}

// A JPEG whose four Exif-sized segments come before its first scan, and whose
// scan data then runs on without an end; `sureBytes` is where its scan begins.
std::vector<std::uint8_t> JpegWithoutEnd(std::size_t bytes, std::size_t& sureBytes) {
    std::vector<std::uint8_t> j = {0xFF, 0xD8};
    for (int segment = 0; segment < 4; ++segment) {
        j.insert(j.end(), {0xFF, 0xE1, 0xFD, 0xE8});  // 65000 bytes with the length
        j.resize(j.size() + 64998, 0x20);
    }
    sureBytes = j.size();
    j.insert(j.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    while (j.size() < bytes) j.push_back(static_cast<std::uint8_t>(j.size() % 251));  // never a marker's 0xFF
    return j;
}

TEST(ExtendedScanTest, AFileOfAnySizeIsOneFileAndIsCutOnlyWhereItsSizeOrEndSaySo) {
    // A 3 MB PNG, far past the standard 2000 KB, with JPEGs inside its data;
    // a JPEG whose first 254 KB its walk is sure of, with JPEGs inside them,
    // and no end; then a whole JPEG.
    Image image(7010);
    const std::vector<std::uint8_t> png = Png(3'000'000);
    image.Put(0, 0, png);
    image.Put(1000, 0, CameraJpeg(1200));
    image.Put(3000, 0, CameraJpeg(1200));
    std::size_t sure = 0;
    image.Put(6000, 0, JpegWithoutEnd(1000 * kSectorBytes, sure));
    image.Put(6010, 0, CameraJpeg(1200));
    image.Put(6300, 0, CameraJpeg(1200));
    image.Put(7000, 0, CameraJpeg(1500));
    const std::uint64_t sureEnd = 6000 + (sure + kSectorBytes - 1) / kSectorBytes;
    constexpr std::int32_t kJpegSearch = 100;  // sectors: less than the part the walk is sure of

    struct Expected {
        std::uint64_t start;
        std::uint64_t bytes;           // 0: ended by the marker rules
        std::int32_t minSectors, maxSectors;
        std::uint8_t cut;
    };
    struct Case {
        const char* what;
        std::int32_t pngKB, jpegKB;  // 0: the extended default
        std::uint64_t rangeEnd;
        std::vector<Expected> files;
    };
    const auto lastSector = static_cast<std::int32_t>(sureEnd - 6000 + kJpegSearch);
    const auto sureSectors = static_cast<std::int32_t>(sureEnd - 6000 - 1);
    const std::vector<Case> cases = {
        {"defaults", 0, 0, 7010,
         {{0, 3'000'000, 5860, 5860, 0}, {6000, 0, sureSectors, lastSector, 1}, {7000, 1500, 3, 3, 0}}},
        {"the PNG capped by its size", 1000, 0, 7010,
         {{0, 1000 * 1024, 2000, 2000, 1}, {6000, 0, sureSectors, lastSector, 1}, {7000, 1500, 3, 3, 0}}},
        {"the searched JPEG capped by its size", 0, 100, 7010,
         {{0, 3'000'000, 5860, 5860, 0}, {6000, 0, 199, 199, 1}, {7000, 1500, 3, 3, 0}}},
        {"the range ends after the sure part", 0, 0, 6550,
         {{0, 3'000'000, 5860, 5860, 0}, {6000, 0, 549, 549, 1}}},
    };
    for (const Case& c : cases) {
        std::vector<TypeRow> rows = DefaultTypeRows(SignatureMode::Extended);
        for (TypeRow& row : rows) {
            row.ticked = row.fileType == "PNG" || row.fileType == "JPEG";
            if (row.fileType == "PNG" && c.pngKB > 0) row.sizeText = std::to_string(c.pngKB);
            if (row.fileType == "JPEG" && c.jpegKB > 0) row.sizeText = std::to_string(c.jpegKB);
        }
        TypeDefinitionList types = BuildTypeDefinitionList(rows, SignatureMode::Extended).definitions;
        for (stExtInfo& d : types) {
            if (d.Name() == "JPEG") d.searchLimit = kJpegSearch;
        }
        const std::vector<FileInfo> files = ScanExtended(image, types, c.rangeEnd);
        ASSERT_EQ(files.size(), c.files.size()) << c.what;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const Expected& e = c.files[i];
            EXPECT_EQ(files[i].startSector, e.start) << c.what << ' ' << i;
            EXPECT_EQ(files[i].byteLength, e.bytes) << c.what << ' ' << i;
            EXPECT_GE(files[i].sectorCount, e.minSectors) << c.what << ' ' << i;
            EXPECT_LE(files[i].sectorCount, e.maxSectors) << c.what << ' ' << i;
            EXPECT_EQ(files[i].cut, e.cut) << c.what << ' ' << i;
        }
    }
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
