#include "platform/source_medium.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/testing/temp_folder.h"

namespace zt::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A sysfs tree as the kernel lays it out: disk sda with partitions sda1 and
// sda2, disk sdb, dm-0 on sda2, loop0 (with partition loop0p1) backed by an
// image file, and loop1 backed by a file that lies on sdb.
class FakeSysfs : public ::testing::Test {
protected:
    FakeSysfs() {
        Device("devices/pci/block/sda", "8:0");
        Device("devices/pci/block/sda/sda1", "8:1", true);
        Device("devices/pci/block/sda/sda2", "8:2", true);
        Device("devices/pci/block/sdb", "8:16");
        Device("devices/virtual/block/dm-0", "253:0");
        fs::create_directories(root / "devices/virtual/block/dm-0/slaves");
        fs::create_symlink("../../../../pci/block/sda/sda2", root / "devices/virtual/block/dm-0/slaves/sda2");

        testing::WriteBytes(files / "card.dd", std::string(4096, '\0'));
        testing::WriteBytes(files / "other.dd", std::string(4096, '\0'));
        Device("devices/virtual/block/loop0", "7:0");
        Device("devices/virtual/block/loop0/loop0p1", "259:0", true);
        Backing("devices/virtual/block/loop0", files / "card.dd");
        // The folder of the image files plays a folder on sdb.
        struct stat st {};
        EXPECT_EQ(::stat(files.Path().c_str(), &st), 0);
        fs::create_symlink("../../devices/pci/block/sdb",
                           root / ("dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))));
        Device("devices/virtual/block/loop1", "7:1");
        Backing("devices/virtual/block/loop1", files / "other.dd");
        // dm-1 maps loop1; loop2's file was deleted after it was attached.
        Device("devices/virtual/block/dm-1", "253:1");
        fs::create_directories(root / "devices/virtual/block/dm-1/slaves");
        fs::create_symlink("../../loop1", root / "devices/virtual/block/dm-1/slaves/loop1");
        Device("devices/virtual/block/loop2", "7:2");
        Backing("devices/virtual/block/loop2", files / "gone.dd (deleted)");
    }

    void Device(const std::string& folder, const std::string& number, bool partition = false) {
        fs::create_directories(root / folder);
        if (partition) testing::WriteBytes(root / (folder + "/partition"), "1\n");
        fs::create_directories(root / "dev/block");
        fs::create_symlink("../../" + folder, root / ("dev/block/" + number));
    }
    void Backing(const std::string& loop, const std::string& file) {
        fs::create_directories(root / (loop + "/loop"));
        testing::WriteBytes(root / (loop + "/loop/backing_file"), file + "\n");
    }
    static SourceIdentity Disk(unsigned major, unsigned minor) {
        return {SourceIdentity::Kind::BlockDevice, {major, minor}};
    }
    bool On(DeviceNumber fileSystem, const SourceIdentity& source) const {
        return FileSystemOnSource(fileSystem, source, root.Path());
    }

    TempFolder root;
    TempFolder files;
};

TEST_F(FakeSysfs, TheDeviceItsPartitionsAndTheDiskOfAPartitionAreTheMedium) {
    EXPECT_TRUE(On({8, 1}, Disk(8, 1)));   // the scanned partition itself
    EXPECT_TRUE(On({8, 1}, Disk(8, 0)));   // a partition of the scanned disk
    EXPECT_TRUE(On({8, 0}, Disk(8, 1)));   // the disk holding the scanned partition
    EXPECT_FALSE(On({8, 2}, Disk(8, 1)));  // a sibling partition
    EXPECT_FALSE(On({8, 16}, Disk(8, 0)));
    EXPECT_FALSE(On({8, 1}, Disk(8, 16)));
}

TEST_F(FakeSysfs, MappedAndLoopDevicesAreTracedToWhatHoldsThem) {
    EXPECT_TRUE(On({253, 0}, Disk(8, 0)));   // LVM or dm-crypt on the scanned disk
    EXPECT_TRUE(On({253, 0}, Disk(8, 2)));
    EXPECT_FALSE(On({253, 0}, Disk(8, 16)));
    EXPECT_TRUE(On({7, 1}, Disk(8, 16)));    // a mounted image whose file lies on the scanned disk
    EXPECT_FALSE(On({7, 1}, Disk(8, 0)));
}

TEST_F(FakeSysfs, AnImageFileIsTheMediumOnlyWhenItsOwnFileSystemIsTheDestination) {
    const std::optional<SourceIdentity> card = IdentifySource(files / "card.dd");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->kind, SourceIdentity::Kind::File);
    EXPECT_TRUE(On({7, 0}, *card));    // the image mounted through loop0
    EXPECT_TRUE(On({259, 0}, *card));  // ... or a partition of it
    EXPECT_FALSE(On({7, 1}, *card));   // another image
    EXPECT_FALSE(On({8, 16}, *card));  // the disk the image lies on: saving beside it is fine
}

TEST_F(FakeSysfs, ADeviceIsFollowedDownToTheFilesItIsReadFrom) {
    const std::vector<std::string> card{files / "card.dd"};
    const std::vector<std::string> other{files / "other.dd"};
    struct Case {
        DeviceNumber device;
        std::vector<std::string> expected;
        const char* what;
    };
    const Case cases[] = {
        {{7, 0}, card, "a loop device"},
        {{259, 0}, card, "a partition of a loop device"},
        {{253, 1}, other, "a mapped device over a loop device"},
        {{253, 0}, {}, "a mapped device over a disk partition"},
        {{8, 1}, {}, "a disk partition"},
        {{7, 2}, {}, "a loop device whose file was deleted"},
        {{99, 0}, {}, "a device sysfs does not know"},
    };
    for (const Case& c : cases) EXPECT_EQ(FilesUnderDevice(c.device, root.Path()), c.expected) << c.what;
    // Files and folders have nothing under them.
    EXPECT_TRUE(FilesUnderSource(files / "card.dd", root.Path()).empty());
    EXPECT_TRUE(FilesUnderSource(files.Path(), root.Path()).empty());
}

TEST_F(FakeSysfs, UntraceableFileSystemsAndFoldersAreNotTheMedium) {
    EXPECT_FALSE(On({0, 45}, Disk(8, 0)));  // tmpfs: no block device
    EXPECT_FALSE(On({8, 1}, SourceIdentity{}));
    EXPECT_FALSE(On({8, 1}, Disk(99, 0)));  // a source sysfs does not know
    const std::optional<SourceIdentity> folder = IdentifySource(files.Path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->kind, SourceIdentity::Kind::Other);
    // An image file and the folder beside it, on the real system.
    EXPECT_FALSE(FolderOnSourceMedium(files.Path(), files / "card.dd"));
    EXPECT_FALSE(FolderOnSourceMedium(files / "missing", files / "card.dd"));
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

TEST(RealLoopDevice, AFileSystemOnTheScannedDeviceIsRecognised) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up a loop device";
    TempFolder scratch;
    const std::string image = scratch / "card.img";
    const std::string mountPoint = scratch / "mnt";
    fs::create_directory(mountPoint);
    if (Shell("truncate -s 8M " + image + " && mkfs.ext4 -q -F " + image) != 0) GTEST_SKIP() << "no mkfs.ext4";
    char device[64] = {};
    FILE* p = ::popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) GTEST_SKIP() << "no losetup";
    const bool attached = std::fgets(device, sizeof device, p) != nullptr;
    ::pclose(p);
    if (!attached) GTEST_SKIP() << "no free loop device";
    std::string loop(device);
    loop.erase(loop.find_last_not_of('\n') + 1);
    if (Shell("mount " + loop + " " + mountPoint) != 0) {
        Shell("losetup -d " + loop);
        GTEST_SKIP() << "cannot mount here";
    }
    EXPECT_TRUE(FolderOnSourceMedium(mountPoint, loop));
    EXPECT_TRUE(FolderOnSourceMedium(mountPoint, image));  // the image itself, mounted
    EXPECT_FALSE(FolderOnSourceMedium(scratch.Path(), loop));
    EXPECT_FALSE(FolderOnSourceMedium(scratch.Path(), image));
    Shell("umount " + mountPoint);
    Shell("losetup -d " + loop);
}

}  // namespace
}  // namespace zt::platform
