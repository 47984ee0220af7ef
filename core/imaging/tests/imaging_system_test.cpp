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
#include <set>

#include "core/imaging/imaging_destination.h"
#include "core/imaging/imaging_thread.h"
#include "core/source/pause_gate.h"
#include "core/imaging/tests/imaging_test_rig.h"
#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"

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
        SectorReader reader(source_, policy_, platform::SystemRawIo());
        ImagingCopy copy(reader, platform::SystemDestination(), progress_, slot_);
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
    // Root writes a read-only file without its permission, so the content
    // alone would pass even if the part were never made writable.
    struct stat st {};
    ASSERT_EQ(::stat(part.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
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

TEST_F(ImagingOnDisk, PartsThatAreNoPlainFilesAreRefusedBeforeAnythingIsWritten) {
    fs::create_directory(root_ / "dest" / "Image0.img");
    ImagingOutcome outcome = Run(0, 8);
    EXPECT_EQ(outcome.failure, ImagingFailure::PartNotAFile);
    fs::remove(root_ / "dest" / "Image0.img");

    // A FIFO would hold the open forever.
    ASSERT_EQ(::mkfifo((root_ / "dest" / "Image0.img").c_str(), 0644), 0);
    outcome = Run(0, 8);
    EXPECT_EQ(outcome.failure, ImagingFailure::PartNotAFile);
    EXPECT_EQ(ImagingOutcomeMessage(outcome), "Image creation failed: " + Dest() +
                                                  "/Image0.img is not a regular file; nothing was written.");
}

TEST_F(ImagingOnDisk, ALinkToTheSourceIsRefusedAndTheSourceStaysUnchanged) {
    // The source is an image set whose part a link (or a hard link) in the
    // destination names; imaging must not empty it through that name.
    fs::create_directories(root_ / "src");
    fs::rename(root_ / "card.dd", root_ / "src" / "Image0.img");
    const fs::path sourcePart = root_ / "src" / "Image0.img";
    ::chmod(sourcePart.c_str(), 0444);
    source_.ImageMode = true;
    source_.ImageFolder = (root_ / "src").string() + "/";
    source_.ImageMultiFile = true;
    const std::vector<std::uint8_t> before = ReadFile(sourcePart);

    fs::create_symlink(sourcePart, root_ / "dest" / "Image0.img");
    ImagingOutcome outcome = Run(0, 64);
    EXPECT_EQ(outcome.failure, ImagingFailure::PartIsSource);
    EXPECT_EQ(outcome.path, Dest() + "/Image0.img");

    fs::remove(root_ / "dest" / "Image0.img");
    fs::create_hard_link(sourcePart, root_ / "dest" / "Image0.img");
    EXPECT_EQ(Run(0, 64).failure, ImagingFailure::PartIsSource);

    // The stale part after the last would be removed: the source's name too.
    fs::remove(root_ / "dest" / "Image0.img");
    fs::create_symlink(sourcePart, root_ / "dest" / "Image1.img");
    EXPECT_EQ(Run(0, 64).failure, ImagingFailure::PartIsSource);

    EXPECT_EQ(ReadFile(sourcePart), before);
    struct stat st {};
    ASSERT_EQ(::stat(sourcePart.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(ImagingOnDisk, OtherLinksAreNeverWrittenThrough) {
    const fs::path other = root_ / "other.bin";
    testing::WriteBytes(other.string(), "not mine");

    // A file with a second name would change under that name too.
    fs::create_hard_link(other, root_ / "dest" / "Image0.img");
    ImagingOutcome outcome = Run(0, 8);
    EXPECT_EQ(outcome.failure, ImagingFailure::PartHasOtherNames);
    EXPECT_EQ(testing::ReadBytes(other.string()), "not mine");

    // A symbolic link is replaced by the part itself.
    fs::remove(root_ / "dest" / "Image0.img");
    fs::create_symlink(other, root_ / "dest" / "Image0.img");
    ASSERT_EQ(Run(0, 8).result, ImagingResult::Completed);
    EXPECT_FALSE(fs::is_symlink(root_ / "dest" / "Image0.img"));
    EXPECT_EQ(ReadFile(root_ / "dest" / "Image0.img"), DeviceSectors(0, 8));
    EXPECT_EQ(testing::ReadBytes(other.string()), "not mine");
}

TEST_F(ImagingOnDisk, DestinationChecksUseTheRealFolder) {
    source_.RangeEnd = 64;
    platform::Destination& io = platform::SystemDestination();
    platform::RawIo& sourceIo = platform::SystemRawIo();
    EXPECT_EQ(CheckImagingDestination(io, Dest(), source_, sourceIo), DestinationCheck::Ok);
    EXPECT_EQ(CheckImagingDestination(io, Dest() + "/", source_, sourceIo), DestinationCheck::Ok);
    EXPECT_EQ(CheckImagingDestination(io, (root_ / "missing").string(), source_, sourceIo),
              DestinationCheck::PathNotFound);
    // A card image named like a part, imaged into its own folder, would be emptied.
    fs::rename(root_ / "card.dd", root_ / "dest" / "Image0.img");
    source_.DeviceNames[0] = (root_ / "dest" / "Image0.img").string();
    EXPECT_EQ(CheckImagingDestination(io, Dest(), source_, sourceIo), DestinationCheck::HoldsSource);
}

TEST_F(ImagingOnDisk, ALoopDeviceOverAFileInTheDestinationIsRefusedAndTheFileStays) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to attach a loop device";
    // The card's image lies in the destination under the name of a part (or of
    // a stale part, in another letter case) and is read through a loop device.
    struct Case {
        const char* name;
        bool checkRefuses;  // the folder check sees it; the copy's own check always does
    };
    for (const Case& c : {Case{"Image0.img", true}, Case{"image1.img", false}, Case{"IMAGE0.IMG", false}}) {
        SCOPED_TRACE(c.name);
        const fs::path image = root_ / "dest" / c.name;
        fs::copy_file(root_ / "card.dd", image);
        const std::vector<std::uint8_t> before = ReadFile(image);
        AttachedLoop loop(image.string());
        if (!loop.Attached()) GTEST_SKIP() << "no free loop device";
        source_.DeviceNames[0] = loop.Device();
        source_.RangeEnd = 64;
        const DestinationCheck check =
            CheckImagingDestination(platform::SystemDestination(), Dest(), source_, platform::SystemRawIo());
        EXPECT_EQ(check, c.checkRefuses ? DestinationCheck::HoldsSource : DestinationCheck::Ok);
        const ImagingOutcome outcome = Run(0, 64);
        EXPECT_EQ(outcome.failure, ImagingFailure::PartIsSource);
        EXPECT_EQ(outcome.path, image.string());
        EXPECT_EQ(ReadFile(image), before);
        EXPECT_FALSE(fs::exists(root_ / "dest" / "Image1.img"));
        fs::remove(image);
    }
}

TEST_F(ImagingOnDisk, PartsOfAnEarlierSetInAnotherLetterCaseAreRemoved) {
    // The reader finds parts whatever their case: any such leftover would be
    // read as part of the new single-file copy, or in place of it.
    struct Case {
        std::vector<std::string> files;
        std::vector<std::string> folders;
        std::set<std::string> left;  // besides the new Image0.img
    };
    const Case cases[] = {
        {{"image1.img"}, {}, {}},
        {{"IMAGE1.IMG", "image1.img", "Image1.img"}, {}, {}},
        {{"image0.img", "IMAGE0.img"}, {}, {}},
        // A folder is never taken for a part; a part after the stale one is never read.
        {{"image2.img"}, {"iMaGe1.img"}, {"image2.img", "iMaGe1.img"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.front());
        for (const std::string& name : c.files) testing::WriteBytes((root_ / "dest" / name).string(), "old");
        for (const std::string& name : c.folders) fs::create_directory(root_ / "dest" / name);
        ASSERT_EQ(Run(0, 8).result, ImagingResult::Completed);
        std::set<std::string> left;
        for (const fs::directory_entry& entry : fs::directory_iterator(root_ / "dest")) {
            left.insert(entry.path().filename().string());
        }
        std::set<std::string> expected = c.left;
        expected.insert("Image0.img");
        EXPECT_EQ(left, expected);
        EXPECT_EQ(ReadFile(root_ / "dest" / "Image0.img"), DeviceSectors(0, 8));
        for (const std::string& name : left) fs::remove_all(root_ / "dest" / name);
    }
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
    // The summary is the stopped copy's final state against the range asked for.
    const ImagingSummary summary = ImagingRunSummary(slot, rig.progress, reader);
    EXPECT_TRUE(summary.aborted);
    EXPECT_EQ(summary.failure, "");
    EXPECT_EQ(summary.currentSector, rig.progress.CurrentSector.load());
    EXPECT_EQ(summary.totalSectors, ImagePartSectors);
    EXPECT_EQ(summary.lastFile, "/dest/Image0.img");
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
