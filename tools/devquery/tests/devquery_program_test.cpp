// The listing with the real devquery program and the settings file, as the
// source page runs them: the disks listed are the disks of this machine.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/source/device_enumeration.h"
#include "core/source/testing/fake_device_registry.h"
#include "platform/block_devices.h"
#include "platform/settings_store.h"
#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

TEST(DevqueryProgram, TheListingShowsTheDisksItReports) {
    testing::TempFolder folder;
    // The tool finds the store where the program does: through ZT_REGISTRY_DIR.
    ASSERT_EQ(::setenv("ZT_REGISTRY_DIR", folder.Path().c_str(), 1), 0);
    platform::FileSettingsStore store(folder / "registry.ini");
    StoreDeviceRegistry registry(store);
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk25", "/dev/gone"));  // left by a past run
    testing::FakeDriveProbe drives;
    SystemToolLauncher launcher;
    DeviceListingContext context{registry, drives, launcher, ZT_DEVQUERY_FOLDER};

    SourceTreeModel model = BuildSourceTree(context, true);
    ASSERT_EQ(model.error, DeviceListError::None);
    std::vector<platform::DiskEntry> disks = platform::ListDisks();
    std::size_t expected = std::min<std::size_t>(disks.size(), kMaxDisks);
    ASSERT_EQ(model.disks.size(), expected);
    EXPECT_EQ(model.toolRuns, expected == 0 ? 3 : 1);
    for (std::size_t j = 0; j < expected; ++j) {
        EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, model.disks[j]), disks[j].devicePath);
        SourceInformation info = ShowDiskInformation(static_cast<int>(j), registry);
        EXPECT_EQ(info.endText, std::to_string(disks[j].sizeBytes / 512));
    }
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk25").empty(), expected < 26);
}

TEST(DevqueryProgram, AMissingToolLeavesNoDisksAndNoError) {
    testing::TempFolder folder;
    platform::FileSettingsStore store(folder / "registry.ini");
    StoreDeviceRegistry registry(store);
    testing::FakeDriveProbe drives;
    SystemToolLauncher launcher;
    DeviceListingContext context{registry, drives, launcher, folder.Path()};
    SourceTreeModel model = BuildSourceTree(context, false);
    EXPECT_EQ(model.error, DeviceListError::None);
    EXPECT_TRUE(model.disks.empty());
    EXPECT_EQ(model.toolRuns, 0);
    EXPECT_TRUE(store.KeyExists(SizeKey));
}

}  // namespace
}  // namespace zt
