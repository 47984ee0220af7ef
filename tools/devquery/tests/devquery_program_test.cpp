// The listing with the real devquery program and the settings file, as the
// source page runs them: the disks listed are the disks of this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

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

    // Loop devices may come and go while the tool runs (other tests attach
    // them): compare with the disks seen before and after.
    std::vector<platform::DiskEntry> before = platform::ListDisks();
    SourceTreeModel model = BuildSourceTree(context, true);
    std::vector<platform::DiskEntry> after = platform::ListDisks();
    ASSERT_EQ(model.error, DeviceListError::None);
    EXPECT_EQ(model.toolRuns, model.disks.empty() ? 3 : 1);

    std::map<std::string, std::uint64_t> seen;
    for (const auto* list : {&before, &after})
        for (const platform::DiskEntry& d : *list) seen[d.devicePath] = d.sizeBytes;
    std::set<std::string> reported;
    for (std::size_t j = 0; j < model.disks.size(); ++j) {
        EXPECT_EQ(model.disks[j], DiskValueName(static_cast<int>(j)));  // numbered without gaps
        std::string device = registry.ReadValue(DeviceRegistryKey, model.disks[j]);
        ASSERT_EQ(seen.count(device), 1u) << device;
        reported.insert(device);
        SourceInformation info = ShowDiskInformation(static_cast<int>(j), registry);
        EXPECT_EQ(info.endText, std::to_string(seen[device] / 512));
    }
    for (const platform::DiskEntry& d : before) {
        bool stable = std::any_of(after.begin(), after.end(), [&](const auto& a) { return a.devicePath == d.devicePath; });
        if (stable && d.backingFile.empty() && model.disks.size() < kMaxDisks) {
            EXPECT_EQ(reported.count(d.devicePath), 1u) << d.devicePath;
        }
    }
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk25").empty(), model.disks.size() < kMaxDisks);
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
