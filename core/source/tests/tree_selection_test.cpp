#include "core/source/source_ref.h"

#include <gtest/gtest.h>

#include "core/source/testing/fake_device_registry.h"
#include "platform/testing/fake_raw_io.h"
#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

using testing::FakeDeviceRegistry;
using testing::FakeDriveProbe;
using testing::FakeRawIo;

constexpr std::uint64_t kGiB = 1'073'741'824;

class SelectionTest : public ::testing::Test {
protected:
    SelectionTest() {
        platform::LogicalDriveEntry drive;
        drive.name = "sdb1";
        drive.devicePath = "/dev/sdb1";
        drive.sizeBytes = kGiB;
        drive.fsType = "vfat";
        drives.drives = {drive};
        io.AddPatternFile("/dev/sdb1", kGiB, 1);
        // devquery reported disks 0 and 2.
        for (auto [j, path] : {std::pair{0, "/dev/sda"}, std::pair{2, "/dev/sdc"}}) {
            EXPECT_TRUE(registry.WriteValue(DeviceRegistryKey, DiskValueName(j), path));
            EXPECT_TRUE(registry.WriteValue(SizeKey, DiskValueName(j), std::to_string(kGiB * 4)));
            EXPECT_TRUE(registry.WriteValue(MediaTypeKey, DiskValueName(j), "Fixed Media"));
            io.AddPatternFile(path, kGiB * 4, 2);
        }
    }

    ChooseOutcome Next(const SourceRef& ref, std::string_view start = "0", std::string_view end = "2097152") {
        SourceDescription shown;
        shown.info.lines = {"line one", "line two"};
        return ChooseSourceRef(ref, shown, SourceRange::Typed(start, end), true, context, source);
    }

    FakeDeviceRegistry registry;
    FakeDriveProbe drives;
    FakeRawIo io;
    SelectionContext context{registry, drives, io};
    SourceDescriptor source;
};

TEST_F(SelectionTest, WholeDriveByDefaultGoesIntoSlotZero) {
    source.ImageMode = true;  // an image was chosen before
    const LogicalDriveRef drive{"sdb1"};
    SourceDescription s = DescribeSource(drive, context, source);
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(s.info.startText, "0");
    EXPECT_EQ(s.info.endText, "2097152");

    ChooseOutcome next = ChooseSourceRef(drive, s, SourceRange::Whole(), true, context, source);
    ASSERT_TRUE(next.Ok());
    EXPECT_EQ(source.RangeStart, 0u);
    EXPECT_EQ(source.RangeEnd, 2'097'152u);
    EXPECT_EQ(source.DeviceIndex, 0);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdb1");
    EXPECT_EQ(next.chosen.ref, SourceRef(drive));
    EXPECT_EQ(next.chosen.infoLines, (std::vector<std::string>{"Volume Name : Local Disk ", "File System : vfat",
                                                               "Capacity : 1.0 GB", "Used Space : Unknown",
                                                               "Free Space : Unknown"}));
    EXPECT_EQ(next.chosen.rangeEnd, "2097152");
}

TEST_F(SelectionTest, ChoosingDiskTwoReadsTheDeviceDevqueryNamedForIt) {
    SourceDescription s = DescribeSource(DiskRef{2}, context, source);
    EXPECT_EQ(s.info.lines[0], "Physical Disk Number : 2");
    EXPECT_EQ(s.info.endText, std::to_string(kGiB * 4 / 512));
    ChooseOutcome next = Next(DiskRef{2});
    ASSERT_TRUE(next.Ok());
    EXPECT_EQ(source.DeviceIndex, 2);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdc");
    EXPECT_EQ(source.DeviceNames[0], "/dev/sda");
    EXPECT_EQ(next.chosen.ref, SourceRef(DiskRef{2}));
}

TEST_F(SelectionTest, RangeIsStoredAsTypedThenChecked) {
    EXPECT_EQ(Next(DiskRef{0}, "2048", "2048").range, RangeProblem::EndNotAfterStart);
    EXPECT_EQ(source.RangeStart, 2048u);
    EXPECT_EQ(source.RangeEnd, 2048u);
    // A range may lie beyond 2 TiB.
    EXPECT_TRUE(Next(DiskRef{0}, "4999999000", "5000001000").Ok());
    EXPECT_EQ(source.RangeStart, 4999999000u);
    EXPECT_EQ(source.RangeEnd, 5000001000u);
    EXPECT_EQ(Next(DiskRef{0}, "0", "18014398509481984").range, RangeProblem::EndInvalid);
    EXPECT_EQ(Next(DiskRef{0}, "", "10").range, RangeProblem::StartInvalid);
    // A drive that could not be described left the edits empty.
    EXPECT_EQ(Next(LogicalDriveRef{"sdz9"}, "", "").range, RangeProblem::StartInvalid);
}

TEST_F(SelectionTest, UnreadableOrVanishedSourcesAreRefusedAtNext) {
    io.FailOpen("/dev/sdc", EACCES);
    source.DeviceIndex = 0;
    source.DeviceNames[0] = "/dev/sda";
    ChooseOutcome next = Next(DiskRef{2});
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::CannotOpen);
    EXPECT_EQ(next.readProblem->errnoValue, EACCES);
    EXPECT_EQ(next.readProblem->problemPath, "/dev/sdc");
    EXPECT_EQ(source.SelectedDevice(), "/dev/sda");  // the slot is left as it was
    EXPECT_EQ(ServiceRefusalText(*next.readProblem), "");  // the disk service was not asked

    // The page shows what the disk service answered for a device the user may not read.
    io.FailOpenThroughService("/dev/sdc", platform::ServiceAccess::Refused, "Not authorized");
    next = Next(DiskRef{2});
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(ServiceRefusalText(*next.readProblem), "reading /dev/sdc needs administrator rights; access was not granted");
    io.FailOpenThroughService("/dev/sdc", platform::ServiceAccess::Failed, "No such object");
    next = Next(DiskRef{2});
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(ServiceRefusalText(*next.readProblem),
              "reading /dev/sdc needs administrator rights; the system's disk service could not open it read-only: "
              "No such object");
    EXPECT_EQ(source.SelectedDevice(), "/dev/sda");

    next = Next(DiskRef{1});  // devquery reported no disk 1
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
    next = Next(LogicalDriveRef{"sdq1"});
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
}

class ImageSelectionTest : public SelectionTest {
protected:
    std::string Item() const { return folder.Path() + "/Image0.img"; }
    ImageSetRef Set() const { return ImageSetRef{Item()}; }
    testing::TempFolder folder;
};

TEST_F(ImageSelectionTest, OneLargePartIsReadAsASingleFile) {
    io.AddPatternFile(folder / "Image0.img", 700ull << 20, 3);
    SourceDescription s = DescribeSource(Set(), context, source);
    ASSERT_FALSE(s.problem.has_value());
    EXPECT_TRUE(source.ImageMode);
    EXPECT_FALSE(source.ImageMultiFile);
    EXPECT_EQ(source.ImageFolder, folder.Path() + "/");
    // Registered after Disk0 and next to Disk2: the first free number, 1.
    EXPECT_EQ(s.info.lines[0], "Physical Disk Number : 1");
    EXPECT_EQ(s.info.lines[1], "Model   : " + Item());
    EXPECT_EQ(s.info.lines[2], "Media Type   : Image");
    EXPECT_EQ(s.info.endText, std::to_string((700ull << 20) / 512));
    EXPECT_EQ(registry.ReadValue(MediaTypeKey, "Disk2"), "Fixed Media");
    ChooseOutcome next = ChooseSourceRef(Set(), s, SourceRange::Whole(), true, context, source);
    ASSERT_TRUE(next.Ok());
    EXPECT_EQ(next.chosen.infoLines, s.info.lines);

    // Then a drive: the reader reads the drive, not the image.
    ASSERT_TRUE(Next(LogicalDriveRef{"sdb1"}).Ok());
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdb1");
}

TEST_F(ImageSelectionTest, NumberedPartsAreCountedAndAGapIsRefused) {
    io.AddPatternFile(folder / "Image0.img", ImagePartBytes, 3);
    io.AddPatternFile(folder / "image1.img", 1000 * 512, 4);
    SourceDescription s = DescribeSource(Set(), context, source);
    EXPECT_TRUE(source.ImageMultiFile);
    EXPECT_EQ(s.info.endText, std::to_string(ImagePartSectors + 1000));

    io.AddPatternFile(folder / "Image3.img", 1000 * 512, 5);  // after a gap: its sectors would be lost
    ChooseOutcome gap = Next(Set());
    ASSERT_TRUE(gap.readProblem.has_value());
    EXPECT_EQ(gap.readProblem->problem, SourceProblem::PartMissing);
    io.RemoveFile(folder / "Image3.img");

    io.FailOpen(folder / "image1.img", EACCES);
    ChooseOutcome next = Next(Set());
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problemPath, folder / "image1.img");
}

TEST_F(ImageSelectionTest, FolderWithoutAFirstPartHasNoImageItem) {
    EXPECT_EQ(ImageSetInFolder(folder.Path(), io), std::nullopt);
    SourceDescription s = DescribeSource(Set(), context, source);
    ASSERT_TRUE(s.problem.has_value());
    EXPECT_EQ(s.problem->problem, SourceProblem::NoImageInFolder);
    EXPECT_TRUE(s.info.lines.empty());
    io.AddPatternFile(folder / "image0.IMG", 512, 3);
    EXPECT_EQ(ImageSetInFolder(folder.Path(), io), Set());
    EXPECT_EQ(ImageSetInFolder(folder.Path() + "/", io), Set());
}

TEST_F(ImageSelectionTest, ARawImageFileIsDescribedAsADiskOfItsSizeAndReadAsOne) {
    const std::string card = folder / "card.dd";
    testing::WriteBytes(card, std::string(64 * 512, '\0'));
    io.AddPatternFile(card, 64ull << 20, 6);
    source.ImageMode = true;  // an image set was chosen before
    SourceDescription s = DescribeSource(RawImageRef{card}, context, source);
    ASSERT_FALSE(s.problem.has_value());
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(s.info.lines, (std::vector<std::string>{"Physical Disk Number : 1", "Model   : " + card,
                                                      "Media Type   : Image", "Cylinder   : 8", "Head   : 255",
                                                      "Sectors Per Track   : 63", "Disk Size  : 64 MB"}));
    EXPECT_EQ(s.info.endText, "131072");

    ChooseOutcome next =
        ChooseSourceRef(RawImageRef{card}, s, SourceRange::Typed("0", "131072"), false, context, source);
    ASSERT_TRUE(next.Ok());
    EXPECT_EQ(source.SelectedDevice(), card);
    EXPECT_FALSE(source.ImageMode);
    EXPECT_FALSE(next.chosen.mediaRecovery);
    EXPECT_EQ(next.chosen.ref, SourceRef(RawImageRef{card}));
    EXPECT_EQ(next.chosen.infoLines, s.info.lines);
    EXPECT_EQ(next.chosen.rangeEnd, "131072");

    // Gone by the time Next is pressed: refused, and the slot stays.
    io.RemoveFile(card);
    std::filesystem::remove(card);
    next = ChooseSourceRef(RawImageRef{card}, s, SourceRange::Typed("0", "131072"), true, context, source);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
}

TEST_F(ImageSelectionTest, APathStandsForTheItemThePageWouldHaveSelected) {
    using platform::PathKind;
    auto item = [&](const std::string& path, PathKind kind) { return SourceRefForPath(path, kind, context); };
    EXPECT_EQ(item(folder.Path(), PathKind::Folder), SourceRef(Set()));
    EXPECT_EQ(item(folder.Path() + "/", PathKind::Folder), SourceRef(Set()));
    EXPECT_EQ(item("/tmp/card.dd", PathKind::RegularFile), SourceRef(RawImageRef{"/tmp/card.dd"}));
    EXPECT_EQ(item("/dev/sdc", PathKind::BlockDevice), SourceRef(DiskRef{2}));
    EXPECT_EQ(item("/dev/sdb1", PathKind::BlockDevice), SourceRef(LogicalDriveRef{"sdb1"}));
    // A whole disk with a file system and no partition table is listed as both: it is the disk.
    platform::LogicalDriveEntry whole;
    whole.name = "sda";
    whole.devicePath = "/dev/sda";
    whole.label = "CARD";
    drives.drives.push_back(whole);
    EXPECT_EQ(item("/dev/sda", PathKind::BlockDevice), SourceRef(DiskRef{0}));

    // A device neither list reports (a file stands in for it here) is read
    // by its path and logged as a disk.
    const std::string device = folder / "sdx";
    testing::WriteBytes(device, std::string(512, '\0'));
    io.AddPatternFile(device, 8ull << 20, 7);
    const SourceRef unlisted = SourceRefForPath(device, PathKind::BlockDevice, context);
    EXPECT_EQ(unlisted, SourceRef(DevicePathRef{device}));
    ChooseOutcome next = ChooseSourceRef(unlisted, {}, SourceRange::Typed("0", "16384"), true, context, source);
    ASSERT_TRUE(next.Ok());
    EXPECT_EQ(source.SelectedDevice(), device);
}

}  // namespace
}  // namespace zt
