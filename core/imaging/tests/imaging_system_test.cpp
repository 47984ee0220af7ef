// Imaging through the real file system: a raw image file as the source and a
// temporary folder as the destination.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "core/imaging/imaging_destination.h"
#include "core/imaging/imaging_thread.h"
#include "core/source/pause_gate.h"
#include "core/imaging/tests/imaging_test_rig.h"

namespace zt::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ImagingOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("zt-imaging-" + std::to_string(random()));
        fs::create_directories(root_ / "dest");
        const std::vector<std::uint8_t> bytes = DeviceSectors(0, 64);
        std::ofstream(root_ / "card.dd", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        source_.DeviceNames[0] = (root_ / "card.dd").string();
    }
    void TearDown() override { fs::remove_all(root_); }

    ImagingOutcome Run(std::uint64_t start, std::uint64_t end) {
        source_.RangeStart = start;
        source_.RangeEnd = end;
        SectorReader reader(source_, policy_);
        ImagingCopy copy(reader, platform::SystemDestinationIo(), progress_, slot_);
        return copy.Run({MakeImageBaseName(Dest()), false});
    }
    std::string Dest() const { return (root_ / "dest").string(); }

    fs::path root_;
    SourceDescriptor source_;
    BadSectorPolicyState policy_;
    ImagingProgress progress_;
    WorkerSlot slot_;
};

TEST_F(ImagingOnDisk, ReplacesAReadOnlyPartWithAByteExactCopy) {
    const fs::path part = root_ / "dest" / "Image0.img";
    std::ofstream(part) << std::string(9000, 'x');
    ::chmod(part.c_str(), 0444);

    ASSERT_EQ(Run(4, 24).result, ImagingResult::Completed);
    EXPECT_EQ(ReadFile(part), DeviceSectors(4, 20));
}

TEST_F(ImagingOnDisk, FileSizeLimitIsReportedAsAFailedWriteAndTheDataStays) {
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 8192;
    ::setrlimit(RLIMIT_FSIZE, &limit);

    ImagingOutcome outcome = Run(0, 40);

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(outcome.result, ImagingResult::Failed);
    EXPECT_EQ(outcome.failure, ImagingFailure::WritePart);
    EXPECT_EQ(outcome.error, EFBIG);
    EXPECT_EQ(ReadFile(root_ / "dest" / "Image0.img"), DeviceSectors(0, 16));
}

TEST_F(ImagingOnDisk, PartThatCannotBeCreatedIsReported) {
    fs::create_directory(root_ / "dest" / "Image0.img");
    ImagingOutcome outcome = Run(0, 8);
    EXPECT_EQ(outcome.failure, ImagingFailure::CreatePart);
    EXPECT_EQ(outcome.error, EISDIR);
}

TEST_F(ImagingOnDisk, DestinationChecksUseTheRealFolder) {
    source_.RangeEnd = 64;
    platform::DestinationIo& io = platform::SystemDestinationIo();
    EXPECT_EQ(CheckImagingDestination(io, Dest(), source_), DestinationCheck::Ok);
    EXPECT_EQ(CheckImagingDestination(io, Dest() + "/", source_), DestinationCheck::Ok);
    EXPECT_EQ(CheckImagingDestination(io, (root_ / "missing").string(), source_), DestinationCheck::PathNotFound);
    // A card image named like a part, imaged into its own folder, would be emptied.
    fs::rename(root_ / "card.dd", root_ / "dest" / "Image0.img");
    source_.DeviceNames[0] = (root_ / "dest" / "Image0.img").string();
    EXPECT_EQ(CheckImagingDestination(io, Dest(), source_), DestinationCheck::HoldsSource);
}

TEST(ImagingThreadSlot, PublishesProgressWhileRunningAndStopsOnRequest) {
    ImagingRig rig(ImagePartSectors);
    rig.source.RangeEnd = ImagePartSectors;
    SectorReader reader(rig.source, rig.policy, rig.device);
    ImagingThread slot;
    ImagingCopy copy(reader, rig.destination, rig.progress, slot.Slot());

    ASSERT_TRUE(slot.Start(copy, {MakeImageBaseName("/dest"), false}));
    EXPECT_FALSE(slot.Start(copy, {MakeImageBaseName("/dest"), false}) && slot.Running());
    while (slot.Running() && rig.progress.CurrentSector.load() == 0) std::this_thread::yield();
    std::string seen = rig.progress.LastFileName();
    slot.Slot().RequestStop();
    slot.Join();

    EXPECT_FALSE(slot.Running());
    EXPECT_EQ(slot.Outcome().result, ImagingResult::Aborted);
    EXPECT_EQ(seen, "/dest/Image0.img");
    EXPECT_LT(rig.progress.CurrentSector.load(), ImagePartSectors);
}

TEST(ImagingThreadSlot, GateHoldsTheCopyWhileTheUserIsAskedToConfirmAStop) {
    ImagingRig rig(1000);
    rig.source.RangeEnd = 1000;
    SectorReader reader(rig.source, rig.policy, rig.device);
    ImagingThread slot;
    ImagingCopy copy(reader, rig.destination, rig.progress, slot.Slot());
    // Stop confirmed: the copy ends after the one chunk it was writing.
    slot.Slot().Gate().Pause();  // held from the start, so the question finds it running
    ASSERT_TRUE(slot.Start(copy, {MakeImageBaseName("/dest"), false}));
    EXPECT_TRUE(AskToStop(slot.Slot(), [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(slot.Running());
        EXPECT_EQ(rig.progress.CurrentSector.load(), 0u);
        return true;
    }));
    slot.Join();
    EXPECT_EQ(slot.Outcome().result, ImagingResult::Aborted);
    EXPECT_EQ(rig.Part(0).size, 4096u);

    // Stop answered with Cancel: the copy goes on unchanged.
    slot.Slot().Gate().Pause();
    ASSERT_TRUE(slot.Start(copy, {MakeImageBaseName("/dest"), false}));
    EXPECT_FALSE(AskToStop(slot.Slot(), [] { return false; }));
    slot.Join();
    EXPECT_EQ(slot.Outcome().result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).bytes, DeviceSectors(0, 1000));
}

}  // namespace
}  // namespace zt::testing
