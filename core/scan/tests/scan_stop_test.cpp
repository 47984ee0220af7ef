// Data crafted to make the scan do the most work per sector must still let
// a stop request end it within one chunk's work, and the reader's count of
// unreadable sectors must reach the end of the run.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "core/scan/tests/crafted_headers.h"
#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"
#include "fuzz/scan_check.h"
#include "platform/testing/fake_raw_io.h"

namespace zt::testing {
namespace {

// A memory source that counts the sectors asked of it and runs a hook after
// each read; a device, or an image file when regularFile is set.
class CountingIo final : public platform::RawIo {
public:
    explicit CountingIo(const std::vector<std::uint8_t>& bytes) : memory_(bytes) {}
    bool IsRegularFile(int) override { return regularFile; }
    platform::OpenResult Open(const std::string& path) override { return memory_.Open(path); }
    void Close(int handle) override { memory_.Close(handle); }
    std::optional<std::uint64_t> Size(int handle) override { return memory_.Size(handle); }
    platform::ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) override {
        const std::uint64_t n = ++reads;
        sectorsRead += length / kSectorBytes;
        platform::ReadResult r;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            r = memory_.ReadAt(handle, buffer, length, offset);
        }
        if (afterRead) afterRead(n);
        return r;
    }
    std::optional<std::string> FindEntryNoCase(const std::string&, const std::string&) override { return {}; }

    // An image file is also read ahead, on the reader's own thread.
    bool regularFile = false;
    std::atomic<std::uint64_t> reads{0};
    std::atomic<std::uint64_t> sectorsRead{0};
    std::function<void(std::uint64_t)> afterRead;

private:
    std::mutex mutex_;
    MemoryRawIo memory_;
};

struct StopRig {
    StopRig(const Image& image, TypeDefinitionList list, SignatureMode signatures = SignatureMode::Standard)
        : io(image.Bytes()), types(std::move(list)), mode(signatures) {
        source.DeviceNames[0] = "memory";
        source.RangeEnd = image.Sectors();
    }
    // Runs the scan, asking it to stop after the given read; returns the reads made after it.
    std::uint64_t RunStoppingAfter(std::uint64_t read) {
        ScanDriver driver(reader, types, found, {}, mode);
        io.afterRead = [&](std::uint64_t n) {
            if (n == read) driver.RequestStop();
        };
        driver.Run();
        EXPECT_TRUE(driver.EndedByStop());
        return io.reads - read;
    }
    CountingIo io;
    TypeDefinitionList types;
    SignatureMode mode;
    SourceDescriptor source;
    BadSectorPolicyState policy;
    SectorReader reader{source, policy, io};
    FoundFileList found;
};

TEST(ScanStop, RejectedHeadersInEverySectorStillLetAStopThrough) {
    // Every sector a bitmap header of length 0: each one is rejected and the
    // scan reads the chunk after it again, 1000 sectors for every sector.
    Image image(3000);
    for (std::uint64_t s = 0; s < image.Sectors(); ++s) image.PutText(s, 0, "BM");
    StopRig rig(image, Definitions({"BMP"}));
    const std::uint64_t chunkReads = ChunkSectors / DeviceChunkSectors;
    // The work per sector that makes a stop matter: a whole chunk's reads.
    EXPECT_LE(rig.RunStoppingAfter(10 * chunkReads), chunkReads);
    EXPECT_LE(rig.io.sectorsRead, 11 * std::uint64_t{ChunkSectors});
    EXPECT_EQ(rig.found.Count(), 0u);
}

TEST(ScanStop, ATrailingMarkerLookAheadThroughTheWholeMediumStopsAtOnce) {
    // An MP3 header, then the marker in every sector: the look-ahead would run
    // to the end of the medium one sector at a time.
    Image image(20000);
    image.Put(0, 0, {'I', 'D', '3', 0x03});
    for (std::uint64_t s = 1; s < image.Sectors(); ++s) image.PutText(s, 100, "LAME");
    image.Put(5, 0, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
    image.Put(6, 0, {0xFF, 0xD9});
    StopRig rig(image, Definitions({"MP3", "JPEG"}));
    // Sectors of the chunk in hand come from it: the look-ahead reads only past the chunk.
    const std::uint64_t chunkReads = ChunkSectors / DeviceChunkSectors;
    EXPECT_LE(rig.RunStoppingAfter(chunkReads + 50), 1u);
    EXPECT_LT(rig.io.sectorsRead, std::uint64_t{ChunkSectors} + 60);
    // The MP3 in hand has no end: nothing half-found is recorded.
    EXPECT_EQ(rig.found.Count(), 0u);
}

TEST(ScanStop, AFormatWalkThroughAMillionStripsStopsAtItsNextRead) {
    // A TIFF header in each of 1200 sectors, each naming tables of 250,000
    // strips that lie past the first chunk: every walk reads a megabyte of
    // them, so the first chunk alone holds a thousand such walks.
    const std::vector<std::uint8_t> tiff = CraftedTiff(1200, 16, 250'000, false);
    Image image((tiff.size() + kSectorBytes - 1) / kSectorBytes);
    image.Put(0, 0, tiff);
    std::vector<TypeRow> rows = DefaultTypeRows(SignatureMode::Extended);
    for (TypeRow& row : rows) row.ticked = row.fileType == "TIFF";
    StopRig rig(image, BuildTypeDefinitionList(rows, SignatureMode::Extended).definitions, SignatureMode::Extended);
    // Stopped in the middle of the walks of the first chunk's headers: the
    // block being read is finished, and nothing more is read.
    const std::uint64_t chunkReads = ChunkSectors / DeviceChunkSectors;
    const std::uint64_t blockReads = (WalkBlockSectors + DeviceChunkSectors - 1) / DeviceChunkSectors;
    EXPECT_LT(rig.RunStoppingAfter(chunkReads + 30 * blockReads), blockReads);
    // The files measured before the stop are kept, and no more.
    EXPECT_GT(rig.found.Count(), 0u);
    EXPECT_LT(rig.found.Count(), 100u);
}

TEST(ScanStop, AnImageFileStopsWithinTheBlocksReadAheadOfTheScan) {
    // Pictures all through a 16 MiB image file, which is read in blocks of
    // 1 MiB, some of them ahead of the scan on another thread.
    Image image(16 * LargeReadSectors);
    std::uint64_t placed = 0;
    for (std::uint64_t s = 0; s + 2 < image.Sectors(); s += 1500, ++placed) {
        image.Put(s, 0, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
        image.Put(s + 2, 0, {0xFF, 0xD9});
    }
    auto jpegOnly = [](SignatureMode mode) {
        std::vector<TypeRow> rows = DefaultTypeRows(mode);
        for (TypeRow& row : rows) row.ticked = row.fileType == "JPEG";
        return BuildTypeDefinitionList(rows, mode).definitions;
    };
    const struct Case {
        const char* what;
        SignatureMode mode;
        std::uint64_t stopAfter;  // block reads
    } cases[] = {
        {"standard, at the first block", SignatureMode::Standard, 1},
        {"standard, halfway", SignatureMode::Standard, 8},
        {"extended, halfway", SignatureMode::Extended, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CountingIo io(image.Bytes());
        io.regularFile = true;
        std::uint64_t found = 0;
        {
            SourceDescriptor source;
            source.DeviceNames[0] = "card.dd";
            source.RangeEnd = image.Sectors();
            BadSectorPolicyState policy;
            SectorReader reader(source, policy, io);
            TypeDefinitionList types = jpegOnly(c.mode);
            FoundFileList list;
            ScanDriver driver(reader, types, list, {}, c.mode);
            io.afterRead = [&](std::uint64_t n) {
                if (n == c.stopAfter) driver.RequestStop();
            };
            driver.Run();
            EXPECT_TRUE(driver.EndedByStop());
            found = list.Count();
        }  // the reader's thread ahead has ended with it
        EXPECT_EQ(io.sectorsRead.load(), io.reads.load() * LargeReadSectors);
        EXPECT_LE(io.reads.load(), c.stopAfter + ReadAheadBlocks + 1);
        EXPECT_LT(found, placed);
    }
}

TEST(ScanStop, FilesFinishedBeforeTheStopAreKept) {
    Image image(5000);
    image.Put(10, 0, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
    image.Put(12, 0, {0xFF, 0xD9});
    for (std::uint64_t s = 1500; s < image.Sectors(); ++s) image.PutText(s, 0, "BM");
    StopRig rig(image, Definitions({"JPEG", "BMP"}));
    rig.RunStoppingAfter(2 * ChunkSectors / DeviceChunkSectors + 5);
    ASSERT_EQ(rig.found.Count(), 1u);
    EXPECT_EQ(rig.found.Snapshot()[0].startSector, 10u);
}

TEST(ScanUnreadable, EveryFailedSectorIsCountedOnceAndEachRunStartsAtZero) {
    FakeRawIo io;
    io.AddPatternFile("/dev/card", 2000 * kSectorBytes, 1);
    for (std::uint64_t s = 0; s < 2000; ++s) io.AddBadSector("/dev/card", s);
    SourceDescriptor source;
    source.DeviceNames[0] = "/dev/card";
    source.RangeEnd = 2000;
    BadSectorPolicyState policy;
    policy.Set(SkipAll);
    SectorReader reader(source, policy, io);
    TypeDefinitionList types = Definitions();
    FoundFileList found;
    {
        ScanDriver driver(reader, types, found);
        driver.Run();
        EXPECT_EQ(driver.Summary().unreadableSectors, 2000u);
    }
    EXPECT_EQ(reader.UnreadableSectors(), 2000u);

    // Sectors past the end of the medium hold nothing: no failure to count.
    FakeRawIo good;
    good.AddPatternFile("/dev/card", 100 * kSectorBytes, 1);
    SectorReader fresh(source, policy, good);
    ScanDriver driver(fresh, types, found);
    driver.Run();
    EXPECT_EQ(fresh.UnreadableSectors(), 0u);
}

TEST(ScanModelAgreement, AnMkvHeaderCountedPastALimitOfOneIsRecordedByBoth) {
    // A fuzzing input: short search limits give MKV a limit of 1, which its
    // header sector (counted as examined) has already reached.
    const std::vector<std::uint8_t> input = {0xdd, 0x49, 0x43, 0x52, 0x44, 0x0b, 0x00, 0x49, 0x1a, 0x45, 0xdf,
                                             0xa3, 0x93, 0x42, 0x82, 0x88, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_TRUE(fuzz::ScanMatchesModel(input.data(), input.size()));
}

}  // namespace
}  // namespace zt::testing
