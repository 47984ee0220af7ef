#include "core/source/tree_selection.h"

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

    NextOutcome Next(std::string_view label, std::string_view parent, std::string_view start = "0",
                     std::string_view end = "2097152") {
        return PressNext({label, parent, {"line one", "line two"}, start, end}, context, source);
    }

    FakeDeviceRegistry registry;
    FakeDriveProbe drives;
    FakeRawIo io;
    SelectionContext context{registry, drives, io};
    SourceDescriptor source;
};

TEST_F(SelectionTest, RootAndGroupsOfferNoRangeAndNextNamesWhatToSelect) {
    for (std::string_view label : {RootLabel, DriveGroupLabel, DiskGroupLabel}) {
        SelectionOutcome s = HandleSelection(label, label == RootLabel ? "" : RootLabel, context, source);
        EXPECT_EQ(s.info.lines, std::vector<std::string>{" "}) << label;
        EXPECT_FALSE(s.rangeAvailable);
        EXPECT_TRUE(s.info.endText.empty());
    }
    EXPECT_EQ(HandleSelection(ImageGroupLabel, RootLabel, context, source).kind, TreeItemKind::ImageGroup);

    EXPECT_EQ(Next(DiskGroupLabel, RootLabel).message, "Select Hard Disk");
    EXPECT_EQ(Next(ImageGroupLabel, RootLabel).message, "Select Image");
    EXPECT_EQ(Next(RootLabel, "").message, "Select Logical Drive or Hard Disk");
    EXPECT_EQ(Next(DriveGroupLabel, RootLabel).message, "Select Logical Drive");
}

TEST_F(SelectionTest, WholeDriveByDefaultGoesIntoSlotZero) {
    source.ImageMode = true;  // an image was chosen before
    SelectionOutcome s = HandleSelection("Local Disk (sdb1)", DriveGroupLabel, context, source);
    EXPECT_EQ(s.kind, TreeItemKind::Drive);
    EXPECT_TRUE(s.rangeAvailable);
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(s.info.startText, "0");
    EXPECT_EQ(s.info.endText, "2097152");

    NextOutcome next = PressNext({"Local Disk (sdb1)", DriveGroupLabel, s.info.lines, s.info.startText,
                                  s.info.endText},
                                 context, source);
    ASSERT_TRUE(next.Ok()) << next.message;
    EXPECT_EQ(source.RangeStart, 0u);
    EXPECT_EQ(source.RangeEnd, 2'097'152u);
    EXPECT_EQ(source.DeviceIndex, 0);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdb1");
    EXPECT_EQ(next.header.group, "Selected Logical Drive");
    EXPECT_EQ(next.header.label, "Local Disk (sdb1)");
    EXPECT_EQ(next.header.InformationText(), "Volume Name : Local Disk \r\nFile System : vfat\r\nCapacity : 1.0 GB"
                                             "\r\nUsed Space : Unknown\r\nFree Space : Unknown");
    EXPECT_EQ(next.header.rangeEnd, "2097152");
}

TEST_F(SelectionTest, ChoosingDiskTwoReadsTheDeviceDevqueryNamedForIt) {
    SelectionOutcome s = HandleSelection("Disk2", DiskGroupLabel, context, source);
    EXPECT_EQ(s.kind, TreeItemKind::Disk);
    EXPECT_EQ(s.info.lines[0], "Physical Disk Number : 2");
    EXPECT_EQ(s.info.endText, std::to_string(kGiB * 4 / 512));
    NextOutcome next = Next("Disk2", DiskGroupLabel);
    ASSERT_TRUE(next.Ok()) << next.message;
    EXPECT_EQ(source.DeviceIndex, 2);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdc");
    EXPECT_EQ(source.DeviceNames[0], "/dev/sda");
    EXPECT_EQ(next.header.group, "Selected Disk");
    EXPECT_EQ(DiskNumberFromLabel("Disk"), 0);
    EXPECT_EQ(DiskNumberFromLabel("Disk25"), 25);
    EXPECT_EQ(DiskNumberFromLabel("Disk99"), kMaxDisks);
}

TEST_F(SelectionTest, RangeIsStoredAsTypedThenChecked) {
    EXPECT_EQ(Next("Disk0", DiskGroupLabel, "2048", "2048").message, "End sector should be bigger than start sector.");
    EXPECT_EQ(source.RangeStart, 2048u);
    EXPECT_EQ(source.RangeEnd, 2048u);
    // A range may lie beyond 2 TiB.
    EXPECT_TRUE(Next("Disk0", DiskGroupLabel, "4999999000", "5000001000").Ok());
    EXPECT_EQ(source.RangeStart, 4999999000u);
    EXPECT_EQ(source.RangeEnd, 5000001000u);
    EXPECT_EQ(Next("Disk0", DiskGroupLabel, "0", "18014398509481984").message, "End sector is not valid.");
    EXPECT_EQ(Next("Disk0", DiskGroupLabel, "", "10").message, "Start sector is not valid.");
    // A drive that could not be described left the edits empty.
    EXPECT_EQ(Next("Local Disk (sdz9)", DriveGroupLabel, "", "").message, "Start sector is not valid.");
}

TEST_F(SelectionTest, UnreadableOrVanishedSourcesAreRefusedAtNext) {
    io.FailOpen("/dev/sdc", EACCES);
    source.DeviceIndex = 0;
    source.DeviceNames[0] = "/dev/sda";
    NextOutcome next = Next("Disk2", DiskGroupLabel);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::CannotOpen);
    EXPECT_EQ(next.readProblem->errnoValue, EACCES);
    EXPECT_EQ(next.readProblem->problemPath, "/dev/sdc");
    EXPECT_EQ(source.SelectedDevice(), "/dev/sda");  // the slot is left as it was
    EXPECT_EQ(ServiceRefusalText(*next.readProblem), "");  // the disk service was not asked

    // The page shows what the disk service answered for a device the user may not read.
    io.FailOpenThroughService("/dev/sdc", platform::ServiceAccess::Refused, "Not authorized");
    next = Next("Disk2", DiskGroupLabel);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(ServiceRefusalText(*next.readProblem), "reading /dev/sdc needs administrator rights; access was not granted");
    io.FailOpenThroughService("/dev/sdc", platform::ServiceAccess::Failed, "No such object");
    next = Next("Disk2", DiskGroupLabel);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(ServiceRefusalText(*next.readProblem),
              "reading /dev/sdc needs administrator rights; the system's disk service could not open it read-only: "
              "No such object");
    EXPECT_EQ(source.SelectedDevice(), "/dev/sda");

    next = Next("Disk1", DiskGroupLabel);  // devquery reported no disk 1
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
    next = Next("HOLIDAY (sdq1)", DriveGroupLabel);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
}

class ImageSelectionTest : public SelectionTest {
protected:
    std::string Item() const { return folder.Path() + "/Image0.img"; }
    testing::TempFolder folder;
};

TEST_F(ImageSelectionTest, OneLargePartIsReadAsASingleFile) {
    io.AddPatternFile(folder / "Image0.img", 700ull << 20, 3);
    SelectionOutcome s = HandleSelection(Item(), ImageGroupLabel, context, source);
    ASSERT_FALSE(s.imageProblem.has_value());
    EXPECT_EQ(s.kind, TreeItemKind::Image);
    EXPECT_TRUE(source.ImageMode);
    EXPECT_FALSE(source.ImageMultiFile);
    EXPECT_EQ(source.ImageFolder, folder.Path() + "/");
    // Registered after Disk0 and next to Disk2: the first free number, 1.
    EXPECT_EQ(s.info.lines[0], "Physical Disk Number : 1");
    EXPECT_EQ(s.info.lines[1], "Model   : " + Item());
    EXPECT_EQ(s.info.lines[2], "Media Type   : Image");
    EXPECT_EQ(s.info.endText, std::to_string((700ull << 20) / 512));
    EXPECT_EQ(registry.ReadValue(MediaTypeKey, "Disk2"), "Fixed Media");
    NextOutcome next = Next(Item(), ImageGroupLabel);
    ASSERT_TRUE(next.Ok()) << next.message;
    EXPECT_EQ(next.header.group, "Selected Image");

    // Then a drive: the reader reads the drive, not the image.
    HandleSelection("Local Disk (sdb1)", DriveGroupLabel, context, source);
    ASSERT_TRUE(Next("Local Disk (sdb1)", DriveGroupLabel).Ok());
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(source.SelectedDevice(), "/dev/sdb1");
}

TEST_F(ImageSelectionTest, NumberedPartsAreCountedAndAGapIsRefused) {
    io.AddPatternFile(folder / "Image0.img", ImagePartBytes, 3);
    io.AddPatternFile(folder / "image1.img", 1000 * 512, 4);
    SelectionOutcome s = HandleSelection(Item(), ImageGroupLabel, context, source);
    EXPECT_TRUE(source.ImageMultiFile);
    EXPECT_EQ(s.info.endText, std::to_string(ImagePartSectors + 1000));

    io.AddPatternFile(folder / "Image3.img", 1000 * 512, 5);  // after a gap: its sectors would be lost
    NextOutcome gap = Next(Item(), ImageGroupLabel);
    ASSERT_TRUE(gap.readProblem.has_value());
    EXPECT_EQ(gap.readProblem->problem, SourceProblem::PartMissing);
    io.RemoveFile(folder / "Image3.img");

    io.FailOpen(folder / "image1.img", EACCES);
    NextOutcome next = Next(Item(), ImageGroupLabel);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problemPath, folder / "image1.img");
}

TEST_F(ImageSelectionTest, FolderWithoutAFirstPartHasNoImageItem) {
    EXPECT_EQ(ImageItemForFolder(folder.Path(), io), std::nullopt);
    SelectionOutcome s = HandleSelection(Item(), ImageGroupLabel, context, source);
    ASSERT_TRUE(s.imageProblem.has_value());
    EXPECT_EQ(s.imageProblem->problem, SourceProblem::NoImageInFolder);
    EXPECT_TRUE(s.info.lines.empty());
    io.AddPatternFile(folder / "image0.IMG", 512, 3);
    EXPECT_EQ(ImageItemForFolder(folder.Path(), io), Item());
    EXPECT_EQ(ImageItemForFolder(folder.Path() + "/", io), Item());
}

TEST_F(ImageSelectionTest, ARawImageFileIsDescribedAsADiskOfItsSizeAndReadAsOne) {
    const std::string card = folder / "card.dd";
    testing::WriteBytes(card, std::string(64 * 512, '\0'));
    io.AddPatternFile(card, 64ull << 20, 6);
    source.ImageMode = true;  // an image set was chosen before
    SelectionOutcome s = HandleSelection(card, ImageGroupLabel, context, source);
    ASSERT_FALSE(s.imageProblem.has_value());
    EXPECT_EQ(s.kind, TreeItemKind::RawImage);
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(s.info.lines, (std::vector<std::string>{"Physical Disk Number : 1", "Model   : " + card,
                                                      "Media Type   : Image", "Cylinder   : 8", "Head   : 255",
                                                      "Sectors Per Track   : 63", "Disk Size  : 64 MB"}));
    EXPECT_EQ(s.info.endText, "131072");

    NextOutcome next = PressNext({card, ImageGroupLabel, s.info.lines, "0", "131072", false}, context, source);
    ASSERT_TRUE(next.Ok()) << next.message;
    EXPECT_EQ(source.SelectedDevice(), card);
    EXPECT_FALSE(source.ImageMode);
    EXPECT_FALSE(next.header.mediaRecovery);
    EXPECT_EQ(next.header.group, "Selected Image");
    EXPECT_EQ(next.header.label, card);
    EXPECT_EQ(next.header.infoLines, s.info.lines);
    EXPECT_EQ(next.header.rangeEnd, "131072");

    // Gone by the time Next is pressed: refused, and the slot stays.
    io.RemoveFile(card);
    std::filesystem::remove(card);
    next = PressNext({card, ImageGroupLabel, s.info.lines, "0", "131072"}, context, source);
    ASSERT_TRUE(next.readProblem.has_value());
    EXPECT_EQ(next.readProblem->problem, SourceProblem::Missing);
}

TEST_F(ImageSelectionTest, APathStandsForTheItemThePageWouldHaveSelected) {
    using platform::PathKind;
    auto item = [&](const std::string& path, PathKind kind) {
        const TreeItem i = TreeItemForPath(path, kind, context);
        return i.label + " in " + i.parentLabel;
    };
    EXPECT_EQ(item(folder.Path(), PathKind::Folder), Item() + " in Select Image");
    EXPECT_EQ(item(folder.Path() + "/", PathKind::Folder), Item() + " in Select Image");
    EXPECT_EQ(item("/tmp/card.dd", PathKind::RegularFile), "/tmp/card.dd in Select Image");
    EXPECT_EQ(item("/dev/sdc", PathKind::BlockDevice), "Disk2 in Select Disk");
    EXPECT_EQ(item("/dev/sdb1", PathKind::BlockDevice), "Local Disk (sdb1) in Select Logical Drive");
    // A whole disk with a file system and no partition table is listed as both: it is the disk.
    platform::LogicalDriveEntry whole;
    whole.name = "sda";
    whole.devicePath = "/dev/sda";
    whole.label = "CARD";
    drives.drives.push_back(whole);
    EXPECT_EQ(item("/dev/sda", PathKind::BlockDevice), "Disk0 in Select Disk");

    // A device neither list reports (a file stands in for it here) is read
    // by its path and logged as a disk.
    const std::string device = folder / "sdx";
    testing::WriteBytes(device, std::string(512, '\0'));
    io.AddPatternFile(device, 8ull << 20, 7);
    const TreeItem unlisted = TreeItemForPath(device, PathKind::BlockDevice, context);
    EXPECT_EQ(unlisted.parentLabel, DiskGroupLabel);
    EXPECT_EQ(ClassifyTreeItem(unlisted.label, unlisted.parentLabel), TreeItemKind::RawImage);
    NextOutcome next = PressNext({unlisted.label, unlisted.parentLabel, {}, "0", "16384"}, context, source);
    ASSERT_TRUE(next.Ok()) << next.message;
    EXPECT_EQ(next.header.group, "Selected Disk");
    EXPECT_EQ(next.header.label, device);
    EXPECT_EQ(source.SelectedDevice(), device);
}

TEST(SelectedGroupText, EverySelectBecomesSelected) {
    EXPECT_EQ(SelectedGroupText("Select Logical Drive"), "Selected Logical Drive");
    EXPECT_EQ(SelectedGroupText("Select Disk"), "Selected Disk");
    EXPECT_EQ(SelectedGroupText("Select Select"), "Selected Selected");
    EXPECT_EQ(SelectedGroupText("Disks"), "Disks");
}

}  // namespace
}  // namespace zt
