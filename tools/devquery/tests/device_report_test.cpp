#include "tools/devquery/device_report.h"

#include <gtest/gtest.h>

#include "core/source/testing/fake_device_registry.h"
#include "platform/testing/fake_block_tree.h"

namespace zt::devquery {
namespace {

TEST(ModelText, NamesTheDiskAsAPersonKnowsIt) {
    platform::DiskEntry disk;
    disk.name = "sdb";
    EXPECT_EQ(ModelText(disk), "sdb");
    disk.vendor = "0x1af4";
    EXPECT_EQ(ModelText(disk), "sdb");
    disk.model = "QEMU HARDDISK";
    EXPECT_EQ(ModelText(disk), "QEMU HARDDISK");
    disk.vendor = "Generic";
    EXPECT_EQ(ModelText(disk), "Generic QEMU HARDDISK");
    disk.backingFile = "/home/u/card.img";
    EXPECT_EQ(ModelText(disk), "/home/u/card.img");
}

TEST(Devquery, ReportsEveryDiskOfTheTreeWithItsProperties) {
    testing::FakeBlockTree tree;
    tree.AddDisk("sda", 2'097'152, "8:0").SetModel("sda", "ATA", "Samsung SSD");
    tree.AddDisk("sdb", 62'333'952, "8:16", true).SetModel("sdb", "Generic", "STORAGE DEVICE");
    tree.AddDisk("sr0", 100, "11:0", true);
    testing::FakeDeviceRegistry registry;
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk4", "/dev/sde"));  // a disk since removed

    EXPECT_EQ(RunDevquery(registry, tree.Roots()), 0);
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk0"), tree.Roots().dev + "/sda");
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk1"), tree.Roots().dev + "/sdb");
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk2"), "");
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk4"), "");
    EXPECT_EQ(registry.ReadValue(ModelKey, "Disk0"), "ATA Samsung SSD");
    EXPECT_EQ(registry.ReadValue(MediaTypeKey, "Disk0"), "Fixed Media");
    EXPECT_EQ(registry.ReadValue(MediaTypeKey, "Disk1"), "Removable Media");
    EXPECT_EQ(registry.ReadValue(SizeKey, "Disk0"), "1073741824");
    EXPECT_EQ(registry.ReadValue(HeadKey, "Disk1"), "255");
    EXPECT_EQ(registry.ReadValue(SectorsPerTrackKey, "Disk1"), "63");
    EXPECT_EQ(registry.ReadValue(CylinderKey, "Disk1"), std::to_string(62'333'952 / 16'065));
}

TEST(Devquery, AtMostTwentySixDisksAndFailedWritesShowInTheStatus) {
    std::vector<DiskReport> many(30, DiskReport{"/dev/x", "m", FixedMedia, "1", "255", "63", "512"});
    testing::FakeDeviceRegistry registry;
    EXPECT_TRUE(WriteDeviceReport(registry, many));
    EXPECT_EQ(registry.ValueCount(DeviceRegistryKey), 26u);
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk25"), "/dev/x");

    testing::FakeDeviceRegistry refusing;
    refusing.Refuse(CylinderKey);
    EXPECT_FALSE(WriteDeviceReport(refusing, many));
    testing::FakeBlockTree tree;
    tree.AddDisk("sda", 100, "8:0");
    EXPECT_EQ(RunDevquery(refusing, tree.Roots()), 1);
}

}  // namespace
}  // namespace zt::devquery
