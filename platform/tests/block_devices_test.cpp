#include "platform/block_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/testing/fake_block_tree.h"

namespace zt::platform {
namespace {

using testing::FakeBlockTree;

std::vector<std::string> Names(const std::vector<DiskEntry>& disks) {
    std::vector<std::string> names;
    for (const DiskEntry& d : disks) names.push_back(d.name);
    return names;
}

TEST(NaturalLess, ComparesDigitRunsAsNumbers) {
    EXPECT_TRUE(NaturalLess("sdb2", "sdb10"));
    EXPECT_FALSE(NaturalLess("sdb10", "sdb2"));
    EXPECT_FALSE(NaturalLess("sdz", "sdaa"));  // letters compare as text
    EXPECT_TRUE(NaturalLess("sdb", "sdb1"));
    EXPECT_TRUE(NaturalLess("nvme0n1p2", "nvme0n1p10"));
    EXPECT_TRUE(NaturalLess("loop2", "loop10"));
    EXPECT_FALSE(NaturalLess("sda", "sda"));
}

class FakeTreeTest : public ::testing::Test {
protected:
    FakeBlockTree tree;
};

TEST_F(FakeTreeTest, ListsOnlyReadableWholeDisksInKindOrder) {
    tree.AddDisk("sdb", 2048, "8:16", true).AddDisk("sda", 4096, "8:0");
    tree.AddDisk("nvme0n1", 8192, "259:0").AddDisk("mmcblk0", 1024, "179:0", true);
    tree.AddDisk("vda", 100, "254:0").AddDisk("xvda", 100, "202:0").AddDisk("hda", 100, "3:0");
    tree.AddDisk("loop0", 64, "7:0").SetAttribute("loop0", "loop/backing_file", "/tmp/card.img");
    tree.AddDisk("loop1", 64, "7:1");  // attached to nothing: size but no backing file
    tree.AddDisk("loop10", 64, "7:10").SetAttribute("loop10", "loop/backing_file", "/tmp/b.img");
    // Never listed: floppy, optical, ram disks, eMMC boot areas, multipath legs, empty readers.
    tree.AddDisk("fd0", 2880, "2:0", true).AddDisk("sr0", 100, "11:0", true);
    tree.AddDisk("ram0", 100, "1:0").AddDisk("zram0", 100, "253:0");
    tree.AddDisk("mmcblk0boot0", 100, "179:8").AddDisk("mmcblk0rpmb", 100, "179:16");
    tree.AddDisk("nvme0c0n1", 8192, "259:9").SetAttribute("nvme0c0n1", "hidden", "1");
    tree.AddDisk("sdc", 0, "8:32", true);
    tree.AddDisk("dm-0", 100, "252:0").AddDisk("md0", 100, "9:0");

    std::vector<DiskEntry> disks = ListDisks(tree.Roots());
    EXPECT_EQ(Names(disks), (std::vector<std::string>{"sda", "sdb", "hda", "vda", "xvda", "nvme0n1", "mmcblk0",
                                                      "loop0", "loop10"}));
    EXPECT_EQ(disks[0].sizeBytes, 4096u * 512);
    EXPECT_EQ(disks[0].devicePath, tree.Roots().dev + "/sda");
    EXPECT_EQ(disks[0].majorMinor, "8:0");
    EXPECT_FALSE(disks[0].removable);
    EXPECT_TRUE(disks[1].removable);
    EXPECT_EQ(disks[7].backingFile, "/tmp/card.img");
}

TEST_F(FakeTreeTest, ReadsModelTextsAndPartitionsInNaturalOrder) {
    tree.AddDisk("sdb", 1'000'000, "8:16", true).SetModel("sdb", "Generic ", "  STORAGE DEVICE  ");
    tree.AddPartition("sdb", "sdb10", 100, "8:26").AddPartition("sdb", "sdb2", 300, "8:18");
    tree.AddPartition("sdb", "sdb1", 200, "8:17");
    tree.AddDisk("mmcblk0", 4096, "179:0", true).SetAttribute("mmcblk0", "device/name", "SD32G");

    std::vector<DiskEntry> disks = ListDisks(tree.Roots());
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].vendor, "Generic");
    EXPECT_EQ(disks[0].model, "STORAGE DEVICE");
    ASSERT_EQ(disks[0].partitions.size(), 3u);
    EXPECT_EQ(disks[0].partitions[0].name, "sdb1");
    EXPECT_EQ(disks[0].partitions[1].name, "sdb2");
    EXPECT_EQ(disks[0].partitions[2].name, "sdb10");
    EXPECT_EQ(disks[0].partitions[1].sizeBytes, 300u * 512);
    EXPECT_EQ(disks[0].partitions[0].devicePath, tree.Roots().dev + "/sdb1");
    EXPECT_EQ(disks[0].partitions[0].majorMinor, "8:17");
    EXPECT_EQ(disks[1].model, "SD32G");  // memory cards name themselves in device/name
}

TEST_F(FakeTreeTest, MissingSysfsFolderListsNothing) {
    BlockDeviceRoots roots = tree.Roots();
    roots.sysBlock += "/absent";
    EXPECT_TRUE(ListDisks(roots).empty());
    EXPECT_TRUE(ListLogicalDrives(roots).empty());
}

TEST(Geometry, FollowsTheConventionWhenTheDriveCannotBeAsked) {
    DiskGeometry g = ReadGeometry("/nonexistent/sdz", 1'073'741'824);
    EXPECT_EQ(g.heads, 255u);
    EXPECT_EQ(g.sectorsPerTrack, 63u);
    EXPECT_EQ(g.cylinders, 2'097'152u / 16'065u);
    // A regular file is no drive: the convention again, never its own numbers.
    EXPECT_EQ(ReadGeometry("/proc/self/exe", 16'065u * 512 * 3).cylinders, 3u);
    EXPECT_EQ(GeometryFromSize(16'065u * 512 * 2 - 1, 255, 63).cylinders, 1u);
    EXPECT_EQ(GeometryFromSize(1 << 20, 0, 63).cylinders, 0u);
}

TEST(MountInfo, ParsesFieldsAroundOptionalTagsAndDecodesEscapes) {
    std::vector<MountEntry> mounts = ParseMountInfo(
        "36 35 98:0 / /mnt1 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "40 27 8:17 / /media/user/MY\\040CARD rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
        "41 27 8:18 / /plain rw - exfat /dev/sdb2 rw\n"
        "garbage line\n"
        "42 27 8:19 / /cut rw -\n");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].majorMinor, "98:0");
    EXPECT_EQ(mounts[0].fsType, "ext3");
    EXPECT_EQ(mounts[1].mountPoint, "/media/user/MY CARD");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].mountPoint, "/plain");
}

TEST(MountInfo, TheRunningSystemHasARoot) {
    std::vector<MountEntry> mounts = ReadMountInfo("/proc/self/mountinfo");
    EXPECT_TRUE(std::any_of(mounts.begin(), mounts.end(), [](const MountEntry& m) { return m.mountPoint == "/"; }));
    std::optional<FileSystemSpace> space = QueryFileSystemSpace("/");
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->freeBytes, space->totalBytes);
    EXPECT_FALSE(QueryFileSystemSpace("/nonexistent/mount").has_value());
}

TEST_F(FakeTreeTest, LogicalDrivesCarryFileSystemLabelAndSpaceWhenMounted) {
    if (!testing::MakeFatImage(tree.NodePath("sdb1"), 2048, "HOLIDAY")) GTEST_SKIP() << "mkfs.vfat is missing";
    tree.AddDisk("sdb", 100'000, "8:16", true);
    tree.AddPartition("sdb", "sdb1", 4096, "8:17").AddPartition("sdb", "sdb2", 2048, "8:18");
    tree.AddPartition("sdb", "sdb3", 2, "8:19");  // extended-partition container
    tree.AppendMount("50 27 8:18 / " + tree.Root() + " rw - ext4 /dev/sdb2 rw");
    // An unpartitioned disk holding a file system is a drive of its own...
    ASSERT_TRUE(testing::MakeFatImage(tree.NodePath("sdc"), 1024, "NO NAME"));
    tree.AddDisk("sdc", 2048, "8:32", true);
    // ...one without a recognised file system is only a disk.
    tree.AddDisk("sdd", 2048, "8:48", true);

    std::vector<LogicalDriveEntry> drives = ListLogicalDrives(tree.Roots());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].name, "sdb1");
    EXPECT_EQ(drives[0].fsType, "vfat");
    EXPECT_EQ(drives[0].label, "HOLIDAY");
    EXPECT_EQ(drives[0].sizeBytes, 4096u * 512);  // the partition's size, not the file's
    EXPECT_FALSE(drives[0].space.has_value());
    EXPECT_EQ(drives[1].name, "sdb2");
    EXPECT_TRUE(drives[1].fsType.empty());  // no node to probe, no udev record
    ASSERT_TRUE(drives[1].space.has_value());
    EXPECT_GT(drives[1].space->totalBytes, 0u);
    EXPECT_EQ(drives[2].name, "sdc");
    EXPECT_EQ(drives[2].fsType, "vfat");
}

TEST_F(FakeTreeTest, UdevRecordNamesTheFileSystemWhenTheDeviceCannotBeOpened) {
    tree.AddDisk("sdb", 100'000, "8:16", true).AddPartition("sdb", "sdb1", 4096, "8:17");
    tree.SetUdevRecord("8:17", "S:disk/by-label/MY\\x20CARD\nE:ID_FS_TYPE=exfat\nE:ID_FS_LABEL=MY_CARD\n"
                               "E:ID_FS_LABEL_ENC=MY\\x20CARD\n");
    std::vector<LogicalDriveEntry> drives = ListLogicalDrives(tree.Roots());
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].fsType, "exfat");
    EXPECT_EQ(drives[0].label, "MY CARD");

    EXPECT_FALSE(UdevFileSystem(tree.Roots(), "8:99").has_value());
    tree.SetUdevRecord("8:20", "E:ID_PART_ENTRY_TYPE=0x83\n");
    EXPECT_FALSE(UdevFileSystem(tree.Roots(), "8:20").has_value());
}

TEST(ProbeFileSystem, RecognisesNothingInZerosOrAMissingFile) {
    FakeBlockTree tree;
    FakeBlockTree::Write(tree.NodePath("zeros"), std::string(1 << 20, '\0'));
    EXPECT_FALSE(ProbeFileSystem(tree.NodePath("zeros")).has_value());
    EXPECT_FALSE(ProbeFileSystem(tree.NodePath("missing")).has_value());
}

}  // namespace
}  // namespace zt::platform
