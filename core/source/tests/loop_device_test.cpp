// The listing against a real loop device attached to a small FAT image.
// Needs root (CI runs as root); skipped where loop devices cannot be attached.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/source/device_enumeration.h"
#include "core/source/testing/fake_device_registry.h"
#include "platform/block_devices.h"
#include "platform/raw_io.h"
#include "platform/testing/fake_block_tree.h"
#include "platform/testing/loop_device.h"
#include "tools/devquery/device_report.h"

namespace zt {
namespace {

using testing::AttachedLoop;
using testing::RunQuietly;

constexpr std::uint64_t kImageBytes = 8ull << 20;
constexpr std::uint64_t kPartitionStart = 2048;  // sectors
constexpr std::uint64_t kPartitionSectors = kImageBytes / 512 - kPartitionStart;

// An MBR with one FAT32 (LBA) partition from sector 2048 to the end.
void WritePartitionTable(const std::string& path) {
    std::vector<char> mbr(512, 0);
    auto put32 = [&](std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 4; ++i) mbr[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    mbr[446 + 4] = 0x0C;
    put32(446 + 8, kPartitionStart);
    put32(446 + 12, kPartitionSectors);
    mbr[510] = 0x55;
    mbr[511] = static_cast<char>(0xAA);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.write(mbr.data(), 512);
}

class LoopDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RunQuietly("command -v losetup && command -v mkfs.vfat && command -v mcopy"))
            GTEST_SKIP() << "losetup, mkfs.vfat or mcopy is missing";
        image_ = std::filesystem::canonical(tree_.Root()).string() + "/card.img";
    }

    std::string Image() const { return image_; }
    std::string Photo() const { return tree_.Root() + "/photo.jpg"; }

    void PutPhoto(const std::string& target) {
        testing::FakeBlockTree::Write(Photo(), std::string("\xFF\xD8\xFF\xE0", 4) + std::string(3000, 'p') + "\xFF\xD9");
        ASSERT_TRUE(RunQuietly("mcopy -i '" + target + "' '" + Photo() + "' ::DSC0001.JPG"));
    }

    testing::FakeBlockTree tree_;  // only its temporary folder is used
    std::string image_;
};

const platform::DiskEntry* FindDisk(const std::vector<platform::DiskEntry>& disks, const std::string& name) {
    auto it = std::find_if(disks.begin(), disks.end(), [&](const platform::DiskEntry& d) { return d.name == name; });
    return it == disks.end() ? nullptr : &*it;
}

TEST_F(LoopDeviceTest, UnpartitionedCardIsADiskAndADrive) {
    ASSERT_TRUE(RunQuietly("truncate -s " + std::to_string(kImageBytes) + " '" + Image() + "'"));
    ASSERT_TRUE(RunQuietly("mkfs.vfat -n ZTWHOLE '" + Image() + "'"));
    PutPhoto(Image());
    AttachedLoop loop(Image());
    if (!loop.Attached()) GTEST_SKIP() << "loop devices cannot be attached here (not root?)";

    std::vector<platform::DiskEntry> disks = platform::ListDisks();
    const platform::DiskEntry* disk = FindDisk(disks, loop.Name());
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->sizeBytes, kImageBytes);
    EXPECT_EQ(disk->backingFile, Image());
    EXPECT_TRUE(disk->partitions.empty());

    SystemDriveProbe probe;
    std::string label = "ZTWHOLE (" + loop.Name() + ")";
    std::vector<std::string> labels = ListLogicalDriveLabels(probe);
    EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end());
    SourceInformation info = ShowDriveInformation(loop.Name(), probe);
    ASSERT_EQ(info.lines.size(), 5u);
    EXPECT_EQ(info.lines[0], "Volume Name : ZTWHOLE ");
    EXPECT_EQ(info.lines[1], "File System : vfat");
    EXPECT_EQ(info.lines[2], "Capacity : 8.0 MB");
    EXPECT_EQ(info.endText, std::to_string(kImageBytes / 512));

    // devquery reports it with its size, and the disk information reads it back.
    testing::FakeDeviceRegistry registry;
    ASSERT_EQ(devquery::RunDevquery(registry, {}), 0);
    int j = 0;
    while (j < kMaxDisks && registry.ReadValue(DeviceRegistryKey, DiskValueName(j)) != loop.Device()) ++j;
    ASSERT_LT(j, kMaxDisks);
    SourceInformation diskInfo = ShowDiskInformation(j, registry);
    EXPECT_EQ(diskInfo.lines[1], "Model   : " + Image());
    EXPECT_EQ(diskInfo.lines[6], "Disk Size  : 8 MB");
    EXPECT_EQ(diskInfo.endText, std::to_string(kImageBytes / 512));
}

TEST_F(LoopDeviceTest, PartitionOfACardIsADriveWithItsLabel) {
    ASSERT_TRUE(RunQuietly("truncate -s " + std::to_string(kImageBytes) + " '" + Image() + "'"));
    WritePartitionTable(Image());
    ASSERT_TRUE(RunQuietly("mkfs.vfat --offset " + std::to_string(kPartitionStart) + " -n CARDPART '" + Image() + "' " +
                           std::to_string(kPartitionSectors / 2)));
    PutPhoto(Image() + "@@" + std::to_string(kPartitionStart * 512));
    AttachedLoop loop(Image());
    if (!loop.Attached()) GTEST_SKIP() << "loop devices cannot be attached here (not root?)";
    std::string partition = loop.Name() + "p1";
    if (!loop.WaitForPartition(partition)) GTEST_SKIP() << "the kernel does not show loop partitions here";

    const platform::DiskEntry* disk = nullptr;
    std::vector<platform::DiskEntry> disks = platform::ListDisks();
    disk = FindDisk(disks, loop.Name());
    ASSERT_NE(disk, nullptr);
    ASSERT_EQ(disk->partitions.size(), 1u);
    EXPECT_EQ(disk->partitions[0].sizeBytes, kPartitionSectors * 512);

    SystemDriveProbe probe;
    std::optional<platform::LogicalDriveEntry> drive = probe.FindLogicalDrive(partition);
    ASSERT_TRUE(drive.has_value());
    EXPECT_EQ(DriveLabel(*drive), "CARDPART (" + partition + ")");
    EXPECT_EQ(drive->fsType, "vfat");
    EXPECT_FALSE(drive->space.has_value());  // not mounted: used and free read 0
    EXPECT_EQ(DriveInformation(*drive).endText, std::to_string(kPartitionSectors));

    // The partition's first sector is the image's sector 2048.
    platform::RawIo& io = platform::SystemRawIo();
    platform::OpenResult opened = io.Open(drive->devicePath);
    ASSERT_GE(opened.handle, 0);
    std::string fromDevice(512, '\0');
    EXPECT_EQ(io.ReadAt(opened.handle, fromDevice.data(), 512, 0).bytes, 512u);
    io.Close(opened.handle);
    std::string fromImage;
    std::ifstream in(Image(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(kPartitionStart * 512));
    fromImage.resize(512);
    in.read(fromImage.data(), 512);
    EXPECT_EQ(fromDevice, fromImage);
}

}  // namespace
}  // namespace zt
