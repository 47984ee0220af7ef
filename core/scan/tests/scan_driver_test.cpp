#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "core/scan/tests/scan_fixture.h"
#include "platform/testing/fake_raw_io.h"

namespace zt::testing {
namespace {

const std::vector<std::uint8_t> kJfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
const std::vector<std::uint8_t> kJpegEnd = {0xFF, 0xD9};
const std::vector<std::uint8_t> kPng = {0x89, 'P', 'N', 'G'};
const std::vector<std::uint8_t> kPngEnd = {0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

struct Found {
    std::string name;
    std::uint64_t start;
    std::int32_t count;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) { return os << f.name << "@" << f.start << "+" << f.count; }

std::vector<Found> Summary(const std::vector<FileInfo>& files) {
    std::vector<Found> out;
    for (const FileInfo& f : files) out.push_back({std::string(f.FileName()), f.startSector, f.sectorCount});
    return out;
}

class ScanDriverTest : public ::testing::Test {
protected:
    ScanRun Scan(const Image& image, TypeDefinitionList types, std::uint64_t rangeStart = 0,
                 std::uint64_t rangeEnd = 0, ScanCallbacks callbacks = {}) {
        WriteFile(path_, image.Bytes());
        types_ = std::move(types);
        return ScanFile(path_, types_, rangeStart, rangeEnd == 0 ? image.Sectors() : rangeEnd, std::move(callbacks));
    }

    // A driver over the image file, for tests that drive it themselves.
    struct Rig {
        Rig(const std::filesystem::path& file, std::uint64_t sectors, TypeDefinitionList list,
            ScanCallbacks callbacks = {})
            : types(std::move(list)) {
            source.DeviceNames[0] = file.string();
            source.RangeEnd = sectors;
            driver = std::make_unique<ScanDriver>(reader, types, found, std::move(callbacks));
        }
        SourceDescriptor source;
        BadSectorPolicyState policy;
        SectorReader reader{source, policy, platform::SystemRawIo()};  // the test's own image file
        FoundFileList found;
        TypeDefinitionList types;
        std::unique_ptr<ScanDriver> driver;
    };

    TempDir dir_;
    std::filesystem::path path_ = dir_.Path() / "card.dd";
    TypeDefinitionList types_;
};

TEST_F(ScanDriverTest, FooterAndHeaderRulesDecideSectorCounts) {
    Image image(40);
    image.Put(2, 0, kJfif);
    image.Put(2, 300, kJpegEnd);  // ends in its own header sector
    image.Put(5, 0, kJfif);       // ended by the next header one sector later
    image.Put(6, 0, kJfif);       // ended by the PNG header four sectors later
    image.Put(10, 0, kPng);
    image.Put(12, 510, kPngEnd);  // runs across the sector end
    image.Put(20, 0, kJfif);
    image.Put(23, 100, kJpegEnd);
    const ScanRun run = Scan(image, Definitions({"JPEG", "PNG"}));
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.JPEG", 2, 1},
                                                      {"File2.JPEG", 5, 0},
                                                      {"File3.JPEG", 6, 3},
                                                      {"File1.PNG", 10, 3},
                                                      {"File4.JPEG", 20, 4}}));
    EXPECT_EQ(types_[0].foundCount, 4);  // JPEG comes before PNG in the catalogue
    EXPECT_EQ(run.currentSector, 40u);
}

TEST_F(ScanDriverTest, LengthFieldsRejectCapOrWait) {
    Image image(60);
    image.PutText(1, 0, "BM");  // length 0: rejected, the next sector is examined next
    image.Put(2, 0, kJfif);
    image.Put(2, 50, kJpegEnd);
    image.PutText(4, 0, "RIFF");
    image.PutLe32(4, 4, 104857601);  // AVI beyond its limit: the user's maximum size
    image.PutText(4, 8, "AVI LIST");
    image.PutText(8, 0, ".snd");  // AU: length 0 waits for a later sector's field
    image.PutBe32(9, 8, 5000);
    image.PutText(12, 0, "BM");
    image.PutLe32(12, 2, 1024);
    const ScanRun run = Scan(image, Definitions({"AU", "AVI", "BMP", "JPEG"}, 3000));
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.JPEG", 2, 1},
                                                      {"File1.AVI", 4, 3000 * 1024 / 512 + 1},
                                                      {"File1.AU", 8, 5000 / 512 + 1},
                                                      {"File1.BMP", 12, 3}}));
}

TEST_F(ScanDriverTest, SearchLimitRecordsMaximumSizeAndRescansAfterTheHeader) {
    // The JPEG's 20480th sector is 20482; its end one sector later is too late.
    // It is kept with 2000 KB, and the rescan after its header finds the PNG.
    Image image(20600);
    image.Put(3, 0, kJfif);
    image.Put(20483, 0, kJpegEnd);
    image.Put(20490, 0, kPng);
    image.Put(20491, 0, kPngEnd);
    const ScanRun run = Scan(image, Definitions({"JPEG", "PNG"}));
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.JPEG", 3, 4000}, {"File1.PNG", 20490, 2}}));

    image.Put(20482, 0, kJpegEnd);  // the last sector of the window still ends it
    const ScanRun inTime = Scan(image, Definitions({"JPEG"}));
    EXPECT_EQ(Summary(inTime.files), (std::vector<Found>{{"File1.JPEG", 3, 20480}}));
}

TEST_F(ScanDriverTest, TrailingMarkerRunEndsTenSectorsAfterTheLastMarker) {
    Image image(2000);
    image.PutText(0, 0, "Paint Shop Pro");  // no marker at all: 10 sectors
    image.PutText(100, 0, "ID3\x03");
    image.PutText(100 + 349, 7, "LAME");  // 349 sectors after the header: still seen
    image.PutText(100 + 349 + 350, 7, "LAME");  // 350 after the last one: not seen
    image.PutText(1200, 0, "ID3\x03");
    image.PutText(1200, 100, "LAME");
    image.PutText(1200 + 1, 509, "LAME");  // across the end of the copied sector: not seen
    const ScanRun run = Scan(image, Definitions({"MP3", "PSP"}));
    EXPECT_EQ(Summary(run.files),
              (std::vector<Found>{{"File1.PSP", 0, 10}, {"File1.MP3", 100, 359}, {"File2.MP3", 1200, 10}}));
}

TEST_F(ScanDriverTest, MatroskaSkipsItsHeaderSectorAndTakesItsMarkerFromIt) {
    Image image(30);
    image.Put(1, 0, {0x1A, 0x45, 0xDF, 0xA3, 0x93, 0x42, 0x82, 0x88});
    image.Put(1, 100, {0x4D, 0x11, 0x22, 0x53});  // this file's marker, in the header sector itself
    image.Put(4, 9, {0x4D, 0x00, 0x00, 0x53});    // the initial marker no longer ends it
    image.Put(6, 400, {0x4D, 0x11, 0x22, 0x53});
    const ScanRun run = Scan(image, Definitions({"MKV"}));
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.MKV", 1, 6}}));
}

TEST_F(ScanDriverTest, ShortRangeDropsTheFileStillOpenAtItsEnd) {
    Image image(3000);
    image.Put(1500, 0, kJfif);
    image.Put(1502, 0, kJfif);
    image.Put(1504, 0, kJpegEnd);  // past the range end
    const ScanRun run = Scan(image, Definitions({"JPEG"}), 1400, 1504);
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.JPEG", 1500, 1}}));
    EXPECT_EQ(run.currentSector, 1504u);
}

// A source that ends early ends the scan as a failure: the files found
// before its end stay, nothing is made of the zeros after it.
TEST(ScanSourceEndTest, TheScanEndsWhereTheSourceEndedWithWhatItFound) {
    const std::string path = "/dev/fake";
    struct Case {
        const char* what;
        std::uint64_t imageBytes;
        std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> marks;
        std::optional<std::uint64_t> dataEnd;  // bytes; the size stays
        std::vector<Found> found;
        std::optional<std::uint64_t> endedAt;
        std::uint64_t unreadable;
    };
    const Case cases[] = {
        {"data ends inside a chunk",
         3000 * 512,
         {{100, kJfif}, {102, kJpegEnd}, {1500, kJfif}, {1502, kJpegEnd}},
         1200 * 512,
         {{"File1.JPEG", 100, 3}},
         1200,
         800},
        {"data ends at a chunk boundary",
         3000 * 512,
         {{100, kJfif}, {102, kJpegEnd}, {1500, kJfif}, {1502, kJpegEnd}},
         1000 * 512,
         {{"File1.JPEG", 100, 3}},
         1000,
         1000},
        {"a file open where the data ends is dropped",
         3000 * 512,
         {{100, kJfif}, {102, kJpegEnd}, {1150, kJfif}, {1250, kJpegEnd}},
         1200 * 512,
         {{"File1.JPEG", 100, 3}},
         1200,
         800},
        {"the whole source read", 3000 * 512, {{1500, kJfif}, {1502, kJpegEnd}}, std::nullopt,
         {{"File1.JPEG", 1500, 3}}, std::nullopt, 0},
        {"a picture in the last partial sector", 6336, {{12, kJfif}, {12, kJpegEnd}}, std::nullopt,
         {{"File1.JPEG", 12, 1}}, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes(c.imageBytes);
        for (const auto& [sector, mark] : c.marks) {
            // A header opens its sector; an end marker in the same sector follows it.
            const std::size_t at = sector * 512 + (mark == kJpegEnd && c.imageBytes % 512 != 0 ? 100 : 0);
            std::copy(mark.begin(), mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        FakeRawIo io;
        io.AddFile(path, bytes);
        if (c.dataEnd) io.EndDataAt(path, *c.dataEnd);
        SourceDescriptor source;
        source.DeviceNames[0] = path;
        source.RangeEnd = (c.imageBytes + 511) / 512;
        BadSectorPolicyState policy;
        SectorReader reader(source, policy, io);
        TypeDefinitionList types = Definitions({"JPEG"});
        FoundFileList found;
        ScanDriver driver(reader, types, found);
        driver.Run();
        const ScanSummary summary = driver.Summary();
        EXPECT_EQ(Summary(found.Snapshot()), c.found);
        EXPECT_EQ(summary.sourceEndedAt, c.endedAt);
        EXPECT_EQ(summary.unreadableSectors, c.unreadable);
        EXPECT_FALSE(summary.aborted);
        if (c.endedAt) {
            EXPECT_LT(static_cast<std::uint64_t>(summary.currentSector), *c.endedAt);
        } else {
            EXPECT_EQ(static_cast<std::uint64_t>(summary.currentSector), source.RangeEnd);
        }
    }
}

TEST_F(ScanDriverTest, ReadsOnlyTheRangeInChunksOfFortySectorRequests) {
    Image image(3000);
    image.Put(2100, 0, kJfif);
    image.Put(2101, 0, kJpegEnd);
    TypeDefinitionList types = Definitions({"JPEG"});
    SourceDescriptor source;
    source.DeviceNames[0] = "card";
    source.RangeStart = 1000;
    source.RangeEnd = 2104;
    BadSectorPolicyState policy;
    MemoryRawIo io(image.Bytes());
    SectorReader reader(source, policy, io);
    FoundFileList found;
    ScanDriver driver(reader, types, found);
    driver.Run();
    EXPECT_EQ(found.Count(), 1u);

    // A full chunk is 25 requests of 40 sectors; the last, short one is
    // 2 x 40 + 24 sectors; nothing outside sectors 1000..2103 is asked for.
    ASSERT_EQ(io.requests.size(), 25u + 3u);
    std::uint64_t next = 1000 * 512;
    for (const MemoryRawIo::Request& r : io.requests) {
        EXPECT_EQ(r.offset, next);
        next += r.length;
    }
    EXPECT_EQ(io.requests[24].length, 40u * 512);
    EXPECT_EQ(io.requests.back().length, 24u * 512);
    EXPECT_EQ(next, 2104u * 512);
}

TEST_F(ScanDriverTest, FooterAtTheChunkEndIsNotMatchedAcrossIt) {
    // The chunk holds sectors 0..999: a footer cut by its end is not seen, a
    // footer cut by a sector end inside the chunk is.
    Image image(1100);
    image.Put(990, 0, kJfif);
    image.Put(999, 511, kJpegEnd);
    image.Put(1000, 200, kJpegEnd);
    const ScanRun run = Scan(image, Definitions({"JPEG"}));
    EXPECT_EQ(Summary(run.files), (std::vector<Found>{{"File1.JPEG", 990, 11}}));
}

TEST_F(ScanDriverTest, PreviewIsOfferedForEveryEleventhPictureFoundByItsEnd) {
    Image image(200);
    for (std::uint64_t s = 0; s < 13; ++s) {
        image.Put(s * 2, 0, kJfif);
        image.Put(s * 2, 40, kJpegEnd);
    }
    image.Put(100, 0, kPng);  // ended by a header: no preview
    image.Put(101, 0, kJfif);
    std::vector<std::string> previewed;
    ScanCallbacks callbacks;
    callbacks.previewFoundPicture = [&](const FileInfo& f) { previewed.emplace_back(f.FileName()); };
    Scan(image, Definitions({"JPEG", "PNG"}), 0, 0, callbacks);
    EXPECT_EQ(previewed, (std::vector<std::string>{"File1.JPEG", "File12.JPEG"}));
}

TEST_F(ScanDriverTest, StopEndsAtTheChunkBoundaryAndKeepsThePosition) {
    Image image(5000);
    image.Put(10, 0, kJfif);
    image.Put(11, 0, kJpegEnd);
    image.Put(2500, 0, kJfif);
    image.Put(2501, 0, kJpegEnd);
    WriteFile(path_, image.Bytes());
    int selections = 0;
    ScanCallbacks callbacks;
    callbacks.selectFirstTypeAtStop = [&] { ++selections; };
    Rig rig(path_, image.Sectors(), Definitions({"JPEG"}), callbacks);
    ScanDriver& driver = *rig.driver;
    driver.RequestStop();
    driver.Run();
    EXPECT_TRUE(driver.EndedByStop());
    EXPECT_FALSE(driver.Running());
    EXPECT_EQ(driver.CurrentSector(), 999u);
    EXPECT_EQ(driver.ScanEndSector(), 5000u);
    EXPECT_EQ(rig.found.Count(), 1u);
    EXPECT_EQ(selections, 1);
    // The summary tells what the log says of the stopped scan.
    const ScanSummary summary = driver.Summary();
    EXPECT_EQ(summary.currentSector, 999);
    EXPECT_EQ(summary.endSector, 5000);
    EXPECT_EQ(summary.filesFound, 1);
    EXPECT_TRUE(summary.aborted);
    EXPECT_NE(summary.startTime, 0);
    EXPECT_LE(summary.startTime, summary.endTime);
}

TEST_F(ScanDriverTest, AHeldScanStandsStillAtItsChunkBoundaryAndEndsAsAnUnheldOne) {
    Image image(12000);
    for (std::uint64_t s = 0; s < image.Sectors(); s += 450) {
        image.Put(s, 0, kJfif);
        image.Put(s + 40, 0, kJpegEnd);
        image.Put(s + 200, 0, kPng);
        image.Put(s + 203, 0, kPngEnd);
    }
    // One file open across the first chunk boundary, where the scan is held.
    image.Put(980, 0, kJfif);
    image.Put(1030, 0, kJpegEnd);
    const ScanRun unheld = Scan(image, Definitions({"JPEG", "PNG"}));
    ASSERT_GT(unheld.files.size(), 40u);

    Rig rig(path_, image.Sectors(), Definitions({"JPEG", "PNG"}));
    ScanDriver& driver = *rig.driver;
    {
        PauseGate::Hold hold(driver.Slot().Gate());
        driver.Start();
        for (int i = 0; i < 10000 && !driver.Slot().Gate().Holding(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(driver.Slot().Gate().Holding());
        const std::uint64_t position = driver.CurrentSector();
        const std::size_t count = rig.found.Count();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_TRUE(driver.Running());
        EXPECT_EQ(driver.CurrentSector(), position);
        EXPECT_EQ(rig.found.Count(), count);
        EXPECT_LT(count, unheld.files.size());
    }
    driver.Join();
    EXPECT_FALSE(driver.EndedByStop());
    EXPECT_EQ(driver.CurrentSector(), image.Sectors());
    EXPECT_EQ(Summary(rig.found.Snapshot()), Summary(unheld.files));
    // A hold is no stop: the summary reads as a completed scan's.
    const ScanSummary summary = driver.Summary();
    EXPECT_FALSE(summary.aborted);
    EXPECT_EQ(summary.currentSector, static_cast<std::int64_t>(image.Sectors()));
    EXPECT_EQ(summary.filesFound, static_cast<std::int64_t>(unheld.files.size()));
}

TEST_F(ScanDriverTest, AStopAnsweredYesWhileHeldEndsTheScanAtThatBoundary) {
    Image image(5000);
    image.Put(10, 0, kJfif);
    image.Put(11, 0, kJpegEnd);
    image.Put(2500, 0, kJfif);
    image.Put(2501, 0, kJpegEnd);
    WriteFile(path_, image.Bytes());
    Rig rig(path_, image.Sectors(), Definitions({"JPEG"}));
    ScanDriver& driver = *rig.driver;
    // Held from the start, so the question is open while the scan stands at its first boundary.
    driver.Slot().Gate().Pause();
    driver.Start();
    EXPECT_TRUE(AskToStop(driver.Slot(), [] { return true; }));
    driver.Join();
    EXPECT_TRUE(driver.EndedByStop());
    EXPECT_EQ(driver.CurrentSector(), 999u);
    EXPECT_EQ(rig.found.Count(), 1u);
}

TEST_F(ScanDriverTest, CountsCanBeReadWhileTheScanThreadAppends) {
    Image image(60000);
    for (std::uint64_t s = 0; s < image.Sectors(); s += 3) {
        image.Put(s, 0, kJfif);
        image.Put(s + 1, 0, kJpegEnd);
    }
    WriteFile(path_, image.Bytes());
    Rig rig(path_, image.Sectors(), Definitions({"JPEG"}));
    ScanDriver& driver = *rig.driver;
    const FoundFileList& found = rig.found;
    driver.Start();
    std::size_t lastCount = 0;
    std::int32_t lastTypeCount = 0;
    while (driver.Running()) {
        const std::size_t count = found.Count();
        const std::int32_t typeCount = driver.FoundCount(0);
        EXPECT_GE(count, lastCount);
        EXPECT_GE(typeCount, lastTypeCount);
        EXPECT_LE(driver.CurrentSector(), driver.ScanEndSector());
        lastCount = count;
        lastTypeCount = typeCount;
        std::this_thread::yield();
    }
    driver.Join();
    EXPECT_EQ(found.Count(), 20000u);
    EXPECT_EQ(driver.FoundCount(0), 20000);
    EXPECT_EQ(rig.types[0].foundCount, 20000);
    EXPECT_EQ(driver.CurrentSector(), 60000u);
}

TEST_F(ScanDriverTest, EmptyTypeListAndEmptyRangeFindNothing) {
    Image image(50);
    image.Put(0, 0, kJfif);
    EXPECT_TRUE(Scan(image, {}).files.empty());
    const ScanRun empty = Scan(image, Definitions({"JPEG"}), 20, 20);
    EXPECT_TRUE(empty.files.empty());
    EXPECT_EQ(empty.currentSector, 20u);
}

}  // namespace
}  // namespace zt::testing
