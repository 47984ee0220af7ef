#include "core/source/sector_reader.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/source/testing/scripted_prompt.h"
#include "platform/testing/fake_raw_io.h"

namespace zt {
namespace {

using testing::FakeRawIo;
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
