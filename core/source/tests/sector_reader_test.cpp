#include "core/source/sector_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "core/source/testing/scripted_prompt.h"
#include "platform/testing/fake_raw_io.h"

namespace zt {
namespace {

using testing::FakeRawIo;
using testing::PatternByte;
using testing::ScriptedPrompt;

constexpr std::uint8_t kStale = 0xAA;
const std::string kDisk = "/dev/sdz";

std::vector<std::uint8_t> StaleBuffer(std::uint32_t sectors) {
    return std::vector<std::uint8_t>(std::size_t{sectors} * 512, kStale);
}

bool SectorIsZero(const std::vector<std::uint8_t>& buf, std::uint32_t sector) {
    for (std::size_t i = 0; i < 512; ++i)
        if (buf[std::size_t{sector} * 512 + i] != 0) return false;
    return true;
}

class ReaderTest : public ::testing::Test {
protected:
    ReaderTest() : policy(&prompt), reader(source, policy, io) {
        source.DeviceNames[0] = kDisk;
        io.AddPatternFile(kDisk, 4000 * 512, 7);
    }

    // True when buffer sector i holds source sector first + i of path at part offset.
    bool SectorMatches(const std::vector<std::uint8_t>& buf, std::uint32_t i, const std::string& path,
                       std::uint64_t sourceSector) {
        for (std::size_t k = 0; k < 512; ++k)
            if (buf[std::size_t{i} * 512 + k] != io.ByteAt(path, sourceSector * 512 + k)) return false;
        return true;
    }

    std::vector<std::size_t> RequestLengths() {
        std::vector<std::size_t> lengths;
        for (const auto& r : io.Requests()) lengths.push_back(r.length / 512);
        return lengths;
    }

    FakeRawIo io;
    ScriptedPrompt prompt;
    SourceDescriptor source;
    BadSectorPolicyState policy;
    SectorReader reader;
};

TEST_F(ReaderTest, DeviceReadsAreSplitIntoFortySectorRequestsAndARemainder) {
    auto buf = StaleBuffer(100);
    EXPECT_EQ(reader.ReadSectors(kDisk, 10, 100, buf.data()), 1);
    EXPECT_EQ(RequestLengths(), (std::vector<std::size_t>{40, 40, 20}));
    auto requests = io.Requests();
    EXPECT_EQ(requests[0].offset, 10u * 512);
    EXPECT_EQ(requests[1].offset, 50u * 512);
    EXPECT_EQ(requests[2].offset, 90u * 512);
    for (std::uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(SectorMatches(buf, i, kDisk, 10 + i)) << i;

    io.ClearRequests();
    auto eighty = StaleBuffer(80);
    reader.ReadSectors(kDisk, 0, 80, eighty.data());
    EXPECT_EQ(RequestLengths(), (std::vector<std::size_t>{40, 40}));

    io.ClearRequests();
    auto small = StaleBuffer(7);
    reader.ReadSectors(kDisk, 0, 7, small.data());
    EXPECT_EQ(RequestLengths(), (std::vector<std::size_t>{7}));
}

TEST_F(ReaderTest, DeviceStaysOpenUntilAnotherPathIsRead) {
    auto buf = StaleBuffer(1);
    for (int i = 0; i < 5; ++i) reader.ReadSectors(kDisk, std::uint64_t(i), 1, buf.data());
    EXPECT_EQ(io.OpenCount(), 1);
    io.AddPatternFile("/dev/sdy", 100 * 512, 9);
    reader.ReadSectors("/dev/sdy", 0, 1, buf.data());
    EXPECT_EQ(io.OpenCount(), 2);
    EXPECT_EQ(io.OpenHandles(), 1) << "the previous device must be closed when replaced";
    EXPECT_TRUE(SectorMatches(buf, 0, "/dev/sdy", 0));
}

TEST_F(ReaderTest, BadSectorWithRetryIsReReadSectorBySectorAndOnlyItBecomesZeros) {
    io.AddBadSector(kDisk, 57);
    prompt.Script({Retry});
    auto buf = StaleBuffer(100);
    reader.ReadSectors(kDisk, 0, 100, buf.data());

    EXPECT_EQ(prompt.Asked(), 1);
    // 40 ok, 40 failed, 40 single re-reads, then the 20-sector remainder.
    std::vector<std::size_t> expected{40, 40};
    expected.insert(expected.end(), 40, 1);
    expected.push_back(20);
    EXPECT_EQ(RequestLengths(), expected);
    for (std::uint32_t i = 0; i < 100; ++i) {
        if (i == 57)
            EXPECT_TRUE(SectorIsZero(buf, i));
        else
            ASSERT_TRUE(SectorMatches(buf, i, kDisk, i)) << i;
    }
    EXPECT_EQ(policy.Get(), Retry);
}

TEST_F(ReaderTest, SkipGivesUpTheChunkAsZerosAndAsksAgainAtTheNextFailure) {
    io.AddBadSector(kDisk, 5);
    io.AddBadSector(kDisk, 45);
    prompt.Script({Skip, Skip});
    auto buf = StaleBuffer(120);
    reader.ReadSectors(kDisk, 0, 120, buf.data());

    EXPECT_EQ(prompt.Asked(), 2) << "one question per failed chunk";
    EXPECT_EQ(RequestLengths(), (std::vector<std::size_t>{40, 40, 40}));
    for (std::uint32_t i = 0; i < 80; ++i) ASSERT_TRUE(SectorIsZero(buf, i)) << "stale data must not survive " << i;
    for (std::uint32_t i = 80; i < 120; ++i) ASSERT_TRUE(SectorMatches(buf, i, kDisk, i)) << i;
}

TEST_F(ReaderTest, AnswersForAllAreNeverAskedAgainAndSurviveLaterRequests) {
    io.AddBadSector(kDisk, 3);
    io.AddBadSector(kDisk, 300);
    prompt.Script({SkipAll});
    auto buf = StaleBuffer(10);
    reader.ReadSectors(kDisk, 0, 10, buf.data());
    reader.ReadSectors(kDisk, 295, 10, buf.data());
    EXPECT_EQ(prompt.Asked(), 1);
    EXPECT_TRUE(SectorIsZero(buf, 5));

    policy.Set(RetryAll);
    io.ClearRequests();
    reader.ReadSectors(kDisk, 295, 10, buf.data());
    EXPECT_EQ(prompt.Asked(), 1);
    EXPECT_EQ(RequestLengths().size(), 11u) << "one failed request, then ten single re-reads";
    EXPECT_TRUE(SectorIsZero(buf, 5));
    EXPECT_TRUE(SectorMatches(buf, 4, kDisk, 299));
    EXPECT_TRUE(SectorMatches(buf, 6, kDisk, 301));
}

TEST_F(ReaderTest, FailedRemainderIsZerosWithoutAQuestion) {
    io.AddBadSector(kDisk, 85);
    auto buf = StaleBuffer(90);
    EXPECT_EQ(reader.ReadSectors(kDisk, 0, 90, buf.data()), 0);
    EXPECT_EQ(prompt.Asked(), 0);
    for (std::uint32_t i = 80; i < 90; ++i) EXPECT_TRUE(SectorIsZero(buf, i));
    EXPECT_TRUE(SectorMatches(buf, 79, kDisk, 79));
}

TEST_F(ReaderTest, UnopenableDeviceGivesZerosAndIsNotReopenedForTheSamePath) {
    io.FailOpen("/dev/locked");
    auto buf = StaleBuffer(3);
    EXPECT_EQ(reader.ReadSectors("/dev/locked", 0, 3, buf.data()), 0);
    EXPECT_EQ(reader.ReadSectors("/dev/locked", 3, 3, buf.data()), 0);
    EXPECT_EQ(io.OpenCount(), 1);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(SectorIsZero(buf, i));
    EXPECT_EQ(prompt.Asked(), 0);
}

TEST_F(ReaderTest, ReadingPastTheEndOfTheMediumGivesZerosForTheMissingSectors) {
    auto buf = StaleBuffer(10);
    EXPECT_EQ(reader.ReadSectors(kDisk, 3995, 10, buf.data()), 1);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_TRUE(SectorMatches(buf, i, kDisk, 3995 + i));
    for (std::uint32_t i = 5; i < 10; ++i) EXPECT_TRUE(SectorIsZero(buf, i));
}

TEST_F(ReaderTest, RangeGuardRefusesRequestsStartingBeyondTheRangeEnd) {
    source.RangeEnd = 1000;
    auto buf = StaleBuffer(4);
    EXPECT_EQ(reader.ReadSectors(kDisk, 1000, 4, buf.data()), 1) << "a request at the end is served in full";
    EXPECT_TRUE(SectorMatches(buf, 3, kDisk, 1003));
    io.ClearRequests();
    EXPECT_EQ(reader.ReadSectors(kDisk, 1001, 4, buf.data()), 0);
    EXPECT_TRUE(io.Requests().empty());
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(SectorIsZero(buf, i));

    source.RangeEnd = 0;
    EXPECT_EQ(reader.ReadSectors(kDisk, 3000, 4, buf.data()), 1);
    EXPECT_TRUE(SectorMatches(buf, 0, kDisk, 3000));
}

TEST_F(ReaderTest, ConcurrentReadersShareTheCachedDevice) {
    io.AddPatternFile("/dev/sdx", 4000 * 512, 3);
    auto work = [&](const std::string& path) {
        std::vector<std::uint8_t> buf(512 * 50);
        for (int i = 0; i < 200; ++i) {
            reader.ReadSectors(path, std::uint64_t(i * 7 % 3000), 50, buf.data());
            ASSERT_TRUE(SectorMatches(buf, 49, path, std::uint64_t(i * 7 % 3000) + 49));
        }
    };
    std::thread a(work, kDisk);
    std::thread b(work, std::string("/dev/sdx"));
    a.join();
    b.join();
}

// Image sets: parts of 1,331,200 sectors, names matched without regard to case.
class ImageTest : public ReaderTest {
protected:
    ImageTest() {
        source.ImageMode = true;
        source.ImageFolder = "/img";
        source.ImageMultiFile = true;
    }
    void AddPart(int p, std::uint64_t sectors = ImagePartSectors) {
        io.AddPatternFile("/img/Image" + std::to_string(p) + ".img", sectors * 512, static_cast<std::uint8_t>(p + 1));
    }
    std::string Part(int p) { return "/img/Image" + std::to_string(p) + ".img"; }
};

TEST_F(ImageTest, ReadSpanningTwoPartsTakesEachSectorFromItsPart) {
    AddPart(0);
    AddPart(1);
    auto buf = StaleBuffer(2);
    EXPECT_EQ(reader.ReadSectors(kDisk, ImagePartSectors - 1, 2, buf.data()), 1);
    EXPECT_TRUE(SectorMatches(buf, 0, Part(0), ImagePartSectors - 1));
    EXPECT_TRUE(SectorMatches(buf, 1, Part(1), 0));

    auto inPart1 = StaleBuffer(3);
    reader.ReadSectors(kDisk, ImagePartSectors + 10, 3, inPart1.data());
    EXPECT_TRUE(SectorMatches(inPart1, 2, Part(1), 12));
    EXPECT_EQ(io.OpenHandles(), 0) << "image parts are closed after every call";
}

TEST_F(ImageTest, ReadEndingExactlyAtAPartBoundaryNeedsNoNextPart) {
    AddPart(0);
    auto buf = StaleBuffer(4);
    EXPECT_EQ(reader.ReadSectors(kDisk, ImagePartSectors - 4, 4, buf.data()), 1);
    EXPECT_TRUE(SectorMatches(buf, 3, Part(0), ImagePartSectors - 1));
    EXPECT_EQ(prompt.Asked(), 0);
}

TEST_F(ImageTest, MissingNextPartOfASpanningReadLeavesZerosWithoutAQuestion) {
    AddPart(0);
    auto buf = StaleBuffer(3);
    reader.ReadSectors(kDisk, ImagePartSectors - 1, 3, buf.data());
    EXPECT_TRUE(SectorMatches(buf, 0, Part(0), ImagePartSectors - 1));
    EXPECT_TRUE(SectorIsZero(buf, 1));
    EXPECT_TRUE(SectorIsZero(buf, 2));
    EXPECT_EQ(prompt.Asked(), 0);
}

TEST_F(ImageTest, MissingPartIsAskedAboutThenRetriedOnceThenZeros) {
    AddPart(0);
    AddPart(1);
    prompt.Script({Retry, Retry});
    auto buf = StaleBuffer(5);
    const int lookupsBefore = io.LookupCount();
    EXPECT_EQ(reader.ReadSectors(kDisk, 2 * std::uint64_t{ImagePartSectors} + 5, 5, buf.data()), 0);
    EXPECT_EQ(prompt.Asked(), 2) << "the single retry fails and the question comes again";
    EXPECT_EQ(io.LookupCount() - lookupsBefore, 2);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_TRUE(SectorIsZero(buf, i));
}

TEST_F(ImageTest, AnswersForAllSilenceTheQuestionForMissingParts) {
    policy.Set(RetryAll);
    auto buf = StaleBuffer(2);
    const int before = io.LookupCount();
    reader.ReadSectors(kDisk, 2 * std::uint64_t{ImagePartSectors}, 2, buf.data());
    EXPECT_EQ(io.LookupCount() - before, 2) << "the part is tested twice";
    EXPECT_EQ(prompt.Asked(), 0);
    EXPECT_TRUE(SectorIsZero(buf, 0));

    policy.Set(SkipAll);
    const int before2 = io.LookupCount();
    reader.ReadSectors(kDisk, 2 * std::uint64_t{ImagePartSectors}, 2, buf.data());
    EXPECT_EQ(io.LookupCount() - before2, 1);
    EXPECT_EQ(prompt.Asked(), 0);
}

TEST_F(ImageTest, PartNamesAreMatchedWithoutRegardToCase) {
    io.AddPatternFile("/img/IMAGE0.IMG", 100 * 512, 4);
    auto buf = StaleBuffer(1);
    EXPECT_EQ(reader.ReadSectors(kDisk, 9, 1, buf.data()), 1);
    EXPECT_TRUE(SectorMatches(buf, 0, "/img/IMAGE0.IMG", 9));
}

TEST_F(ImageTest, PartShorterThanThePositionIsRetriedOnceThenZeros) {
    AddPart(0, 10);
    prompt.Script({Retry, Skip});
    auto buf = StaleBuffer(2);
    const int opensBefore = io.OpenCount();
    EXPECT_EQ(reader.ReadSectors(kDisk, 20, 2, buf.data()), 0);
    EXPECT_EQ(prompt.Asked(), 2);
    EXPECT_EQ(io.OpenCount() - opensBefore, 2) << "reopened once for the retry";
    EXPECT_TRUE(SectorIsZero(buf, 0));
    EXPECT_TRUE(SectorIsZero(buf, 1));
}

TEST_F(ImageTest, SingleFileReadAtItsEndSucceedsWithZeros) {
    source.ImageMultiFile = false;
    io.AddPatternFile("/img/Image0.img", 2 * std::uint64_t{ImagePartSectors} * 512, 5);
    auto buf = StaleBuffer(2);
    // A single file is not split into parts, however large.
    EXPECT_EQ(reader.ReadSectors(kDisk, ImagePartSectors + 3, 2, buf.data()), 1);
    EXPECT_TRUE(SectorMatches(buf, 1, "/img/Image0.img", ImagePartSectors + 4));

    EXPECT_EQ(reader.ReadSectors(kDisk, 2 * std::uint64_t{ImagePartSectors}, 2, buf.data()), 1);
    EXPECT_TRUE(SectorIsZero(buf, 0));
    EXPECT_TRUE(SectorIsZero(buf, 1));
    EXPECT_EQ(prompt.Asked(), 0);
}

TEST_F(ImageTest, UnreadablePartGivesZerosForTheWholeRequest) {
    AddPart(0);
    io.FailOpen(Part(0));
    auto buf = StaleBuffer(2);
    EXPECT_EQ(reader.ReadSectors(kDisk, 0, 2, buf.data()), 0);
    EXPECT_TRUE(SectorIsZero(buf, 0));
    EXPECT_TRUE(SectorIsZero(buf, 1));
}

// A source measured as a run starts and then found shorter, or gone, while
// it is read: every sector that lay inside it but did not arrive is counted,
// and the first of them is where the source ended. A last partial sector,
// and anything past the source's length, is no loss.
TEST(SourceEndTest, SectorsMissingInsideTheMeasuredSourceAreLostAndCounted) {
    const std::string part0 = "/img/Image0.img";
    const std::string part1 = "/img/image1.img";
    constexpr std::uint64_t P = ImagePartSectors;
    constexpr std::uint64_t kLarge = 4000 * 512;
    constexpr std::uint64_t kPartial = 6336;  // 12 sectors and 192 bytes
    struct Case {
        const char* what;
        int kind;            // 0: device, 1: multi-part image set, 2: single-file image
        std::uint64_t size;  // of the device, of the set's last part, or of the single file
        std::function<void(FakeRawIo&)> afterStart;
        std::uint64_t first;
        std::uint32_t count;
        std::optional<std::uint64_t> endedAt;
        std::uint64_t unreadable;
        std::size_t goodBytes;  // leading bytes that must be the source's; the rest must be zeros
        bool startRun = true;
    };
    const Case cases[] = {
        {"device data ending at a sector", 0, kLarge, [&](FakeRawIo& io) { io.EndDataAt(kDisk, 1000 * 512); }, 990,
         40, 1000, 30, 10 * 512},
        {"device data ending inside a sector", 0, kLarge,
         [&](FakeRawIo& io) { io.EndDataAt(kDisk, 1000 * 512 + 100); }, 1000, 2, 1000, 2, 100},
        {"device emptied, a chunked request", 0, kLarge, [&](FakeRawIo& io) { io.EndDataAt(kDisk, 0); }, 0, 100, 0,
         100, 0},
        {"device gone (ENODEV), no question", 0, kLarge, [&](FakeRawIo& io) { io.FailReads(kDisk, ENODEV); }, 50, 8,
         50, 8, 0},
        {"FUSE server gone (ENOTCONN)", 0, kLarge, [&](FakeRawIo& io) { io.FailReads(kDisk, ENOTCONN); }, 0, 4, 0, 4,
         0},
        {"device's last partial sector", 0, kPartial, {}, 12, 1, std::nullopt, 0, 192},
        {"past the device's end", 0, kPartial, {}, 13, 3, std::nullopt, 0, 0},
        {"short read before any run was measured", 0, kLarge, [&](FakeRawIo& io) { io.EndDataAt(kDisk, 512); }, 0,
         4, std::nullopt, 0, 512, false},
        {"second part shrank", 1, 40 * 512, [&](FakeRawIo& io) { io.EndDataAt(part1, 10 * 512); }, P + 5, 10,
         P + 10, 5, 5 * 512},
        {"second part vanished", 1, 40 * 512, [&](FakeRawIo& io) { io.RemoveFile(part1); }, P + 5, 10, P + 5, 10, 0},
        {"spanning read into a vanished part", 1, 40 * 512, [&](FakeRawIo& io) { io.RemoveFile(part1); }, P - 2, 4,
         P, 2, 2 * 512},
        {"last partial sector of the set", 1, kPartial, {}, P + 12, 1, std::nullopt, 0, 192},
        {"single file's last partial sector", 2, kPartial, {}, 12, 2, std::nullopt, 0, 192},
        {"single file shrank", 2, kPartial, [&](FakeRawIo& io) { io.EndDataAt(part0, 3 * 512); }, 0, 8, 3, 5,
         3 * 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRawIo io;
        SourceDescriptor source;
        BadSectorPolicyState policy;
        policy.Set(SkipAll);  // a missing part is given up without a question
        std::string path = kDisk;
        std::uint8_t seed = 7;
        if (c.kind == 0) {
            source.DeviceNames[0] = kDisk;
            io.AddPatternFile(kDisk, c.size, seed);
        } else {
            source.ImageMode = true;
            source.ImageFolder = "/img/";
            source.ImageMultiFile = c.kind == 1;
            io.AddPatternFile(part0, c.kind == 1 ? P * 512 : c.size, 1);
            if (c.kind == 1) io.AddPatternFile(part1, c.size, 2);
            const bool inSecond = c.kind == 1 && c.first >= P;
            path = inSecond ? part1 : part0;
            seed = inSecond ? 2 : 1;
        }
        const std::uint64_t offset = (c.kind == 1 ? c.first % P : c.first) * 512;
        SectorReader reader(source, policy, io);
        if (c.startRun) reader.StartRun();
        if (c.afterStart) c.afterStart(io);
        std::vector<std::uint8_t> buf(std::size_t{c.count} * 512, kStale);
        reader.ReadSectors(c.first, c.count, buf.data());
        EXPECT_EQ(reader.SourceEndedAt(), c.endedAt);
        EXPECT_EQ(reader.UnreadableSectors(), c.unreadable);
        for (std::size_t k = 0; k < buf.size(); ++k) {
            const std::uint8_t want = k < c.goodBytes ? PatternByte(seed, offset + k) : 0;
            ASSERT_EQ(buf[k], want) << "byte " << k;
        }
    }
}

TEST(SourceEndTest, ANewRunForgetsTheEndOfTheLastAndMeasuresAgain) {
    FakeRawIo io;
    SourceDescriptor source;
    source.DeviceNames[0] = kDisk;
    io.AddPatternFile(kDisk, 100 * 512, 7);
    BadSectorPolicyState policy;
    SectorReader reader(source, policy, io);
    reader.StartRun();
    EXPECT_EQ(reader.SourceBytes(), 100u * 512);
    io.EndDataAt(kDisk, 50 * 512);
    std::vector<std::uint8_t> buf(60 * 512);
    reader.ReadSectors(40, 20, buf.data());
    EXPECT_EQ(reader.SourceEndedAt(), 50u);
    // The earliest end found is the one kept, whatever the order of the reads.
    reader.ReadSectors(30, 30, buf.data());
    EXPECT_EQ(reader.SourceEndedAt(), 50u);

    // The medium now holds 50 sectors from the start: no loss in the next run.
    io.AddPatternFile(kDisk, 50 * 512, 7);
    reader.StartRun();
    EXPECT_EQ(reader.SourceEndedAt(), std::nullopt);
    EXPECT_EQ(reader.UnreadableSectors(), 0u);
    reader.ReadSectors(40, 20, buf.data());
    EXPECT_EQ(reader.SourceEndedAt(), std::nullopt);
    EXPECT_EQ(SourceEndedText(600), "the source became shorter or went away at sector 600");
}

TEST(BadSectorPolicyTest, OneQuestionAtATimeAndAnswersForAllStandForEveryThread) {
    class SlowPrompt final : public BadSectorPrompt {
    public:
        BadSectorPolicy Ask() override {
            int now = ++inside;
            maxInside = std::max(maxInside.load(), now);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            --inside;
            ++asked;
            return SkipAll;
        }
        std::atomic<int> inside{0}, maxInside{0}, asked{0};
    } prompt;
    BadSectorPolicyState policy(&prompt);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&] { EXPECT_EQ(policy.ConsultBadSectorPolicy(), SkipAll); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(prompt.asked.load(), 1);
    EXPECT_EQ(prompt.maxInside.load(), 1);
}

}  // namespace
}  // namespace zt
