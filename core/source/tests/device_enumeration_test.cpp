#include "core/source/device_enumeration.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "core/source/device_registry.h"

#include "core/source/testing/fake_device_registry.h"

namespace zt {
namespace {

using testing::FakeDeviceRegistry;
using testing::FakeDriveProbe;
using testing::FakeToolLauncher;

platform::LogicalDriveEntry Drive(std::string name, std::uint64_t size, std::string fsType = "vfat",
                                  std::string label = {}) {
    platform::LogicalDriveEntry d;
    d.name = std::move(name);
    d.devicePath = "/dev/" + d.name;
    d.sizeBytes = size;
    d.fsType = std::move(fsType);
    d.label = std::move(label);
    return d;
}

class ListingTest : public ::testing::Test {
protected:
    FakeDeviceRegistry registry;
    FakeDriveProbe drives;
    FakeToolLauncher tool;
    DeviceListingContext context{registry, drives, tool, "/opt/zentrix"};

    // What devquery would write for a disk.
    void Report(int j, const std::string& device) {
        ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, DiskValueName(j), device));
        ASSERT_TRUE(registry.WriteValue(SizeKey, DiskValueName(j), "1073741824"));
    }
};

TEST_F(ListingTest, ListsDrivesAndTheDisksTheToolReports) {
    drives.drives = {Drive("sda1", 1 << 30, "ext4"), Drive("sdb1", 1 << 30, "vfat", "HOLIDAY")};
    tool.onRun = [&] {
        Report(0, "/dev/sda");
        Report(2, "/dev/sdb");
    };
    SourceTreeModel model = BuildSourceTree(context, true);
    EXPECT_EQ(model.error, DeviceListError::None);
    EXPECT_TRUE(model.hasImageGroup);
    EXPECT_EQ(model.logicalDrives, (std::vector<std::string>{"Local Disk (sda1)", "HOLIDAY (sdb1)"}));
    EXPECT_EQ(model.disks, (std::vector<std::string>{"Disk0", "Disk2"}));
    // The tree's items carry these, not their labels, to the selection.
    EXPECT_EQ(model.driveNames, (std::vector<std::string>{"sda1", "sdb1"}));
    EXPECT_EQ(model.diskNumbers, (std::vector<int>{0, 2}));
    ASSERT_EQ(tool.runs.size(), 1u);
    EXPECT_EQ(tool.runs[0].first, "/opt/zentrix/devquery");
    EXPECT_EQ(tool.runs[0].second, std::vector<std::string>{""});
    EXPECT_FALSE(BuildSourceTree(context, false).hasImageGroup);
}

TEST_F(ListingTest, WhatTheLastListingLeftIsRemovedBeforeTheToolRuns) {
    Report(5, "/dev/sdf");
    ASSERT_TRUE(registry.WriteValue(ModelKey, "Disk5", "Old card"));
    ASSERT_TRUE(registry.CreateKey(DisplayDeviceKey));
    tool.onRun = [&] {
        EXPECT_EQ(registry.ValueCount(DeviceRegistryKey), 0u);
        EXPECT_EQ(registry.ReadValue(ModelKey, "Disk5"), "");
        EXPECT_FALSE(registry.KeyExists(DisplayDeviceKey));
        for (std::string_view key : DevicePropertyKeys) EXPECT_TRUE(registry.KeyExists(key)) << key;
        Report(0, "/dev/sda");
    };
    EXPECT_EQ(BuildSourceTree(context, true).disks, std::vector<std::string>{"Disk0"});
}

TEST_F(ListingTest, NoDiskReportedGivesTheToolASecondTry) {
    int runs = 0;
    tool.onRun = [&] {
        if (++runs == 3) Report(1, "/dev/sdb");  // the listing after the extra start
    };
    SourceTreeModel model = BuildSourceTree(context, true);
    EXPECT_EQ(model.toolRuns, 3);  // first listing, the extra start, the second listing
    EXPECT_EQ(model.disks, std::vector<std::string>{"Disk1"});

    runs = -10;  // never reports
    model = BuildSourceTree(context, true);
    EXPECT_EQ(model.toolRuns, 3);
    EXPECT_TRUE(model.disks.empty());
    EXPECT_EQ(model.error, DeviceListError::None);
}

TEST_F(ListingTest, MissingToolStillListsTheDrives) {
    tool.exists = false;
    drives.drives = {Drive("mmcblk0p1", 1 << 25)};
    SourceTreeModel model = BuildSourceTree(context, false);
    EXPECT_EQ(model.error, DeviceListError::None);
    EXPECT_EQ(model.logicalDrives, std::vector<std::string>{"Local Disk (mmcblk0p1)"});
    EXPECT_TRUE(model.disks.empty());
    EXPECT_EQ(tool.runs.size(), 1u);  // only the unconditional second try, which fails to start
    EXPECT_EQ(model.toolRuns, 0);
}

TEST_F(ListingTest, KeysThatCannotBeKeptAreReportedNotFatal) {
    registry.Refuse(DeviceRegistryKey);
    SourceTreeModel model = BuildSourceTree(context, true);
    EXPECT_EQ(model.error, DeviceListError::DeviceKeyNotCreated);
    EXPECT_TRUE(tool.runs.empty());
    EXPECT_FALSE(DescribeDeviceListError(model.error).empty());

    registry.Allow(DeviceRegistryKey);
    registry.Refuse(HeadKey);
    model = BuildSourceTree(context, true);
    EXPECT_EQ(model.error, DeviceListError::PropertyKeyNotCreated);
    EXPECT_TRUE(tool.runs.empty());

    registry.Allow(HeadKey);
    tool.onRun = [&] { registry.DeleteKey(DeviceRegistryKey); };
    model = BuildSourceTree(context, true);
    EXPECT_EQ(model.error, DeviceListError::DeviceKeyMissing);
    EXPECT_EQ(model.toolRuns, 1);  // no second try after a failure
}

TEST(SizeText, PicksTheLargestFittingUnit) {
    EXPECT_EQ(SizeText(1'073'741'824), "1.0 GB");
    EXPECT_EQ(SizeText(1'048'575), "1024.0 KB");
    EXPECT_EQ(SizeText(1'048'576), "1.0 MB");
    EXPECT_EQ(SizeText(1536), "1.5 KB");
    EXPECT_EQ(SizeText(1), "0.0 KB");
    EXPECT_EQ(SizeText(0), "0");
    EXPECT_EQ(SizeText(4'000'787'030'016), "3726.0 GB");
}

TEST(DriveLabels, KeepTheKernelNameInParentheses) {
    EXPECT_EQ(DriveLabel(Drive("sdb1", 1, "vfat")), "Local Disk (sdb1)");
    EXPECT_EQ(DriveLabel(Drive("sdb1", 1, "vfat", "DATA")), "DATA (sdb1)");
}

TEST(DriveInformation, UnmountedDriveTakesItsRangeFromTheDevice) {
    FakeDriveProbe drives;
    drives.drives = {Drive("sdb1", 1'073'741'824, "vfat")};
    SourceInformation info = ShowDriveInformation("sdb1", drives);
    EXPECT_EQ(info.header, std::string(DriveInformationHeader));
    EXPECT_EQ(info.lines, (std::vector<std::string>{"Volume Name : Local Disk ", "File System : vfat",
                                                    "Capacity : 1.0 GB", "Used Space : Unknown", "Free Space : Unknown"}));
    EXPECT_EQ(info.startText, "0");
    EXPECT_EQ(info.endText, "2097152");
}

TEST(DriveInformation, MountedDriveShowsItsSpaceAndUnknownFileSystemsStayScannable) {
    platform::LogicalDriveEntry d = Drive("sdc1", 1'048'575, "", "CARD");
    d.space = platform::FileSystemSpace{1'048'576, 524'288};
    SourceInformation info = DriveInformation(d);
    EXPECT_EQ(info.lines, (std::vector<std::string>{"Volume Name : CARD ", "File System : Unknown",
                                                    "Capacity : 1024.0 KB", "Used Space : 512.0 KB",
                                                    "Free Space : 512.0 KB"}));
    // The last 511 bytes are a sector of their own, read padded with zeros.
    EXPECT_EQ(info.endText, "2048");
}

TEST(DriveInformation, VanishedDriveGivesNoLinesAndNoRange) {
    FakeDriveProbe drives;
    SourceInformation info = ShowDriveInformation("sdz1", drives);
    EXPECT_TRUE(info.lines.empty());
    EXPECT_TRUE(info.startText.empty());
    EXPECT_TRUE(info.endText.empty());
}

TEST(DiskInformation, SevenLinesFromThePropertyValues) {
    FakeDeviceRegistry registry;
    const std::pair<std::string_view, std::string> values[] = {
        {ModelKey, "Generic STORAGE DEVICE"}, {MediaTypeKey, "Removable Media"}, {CylinderKey, "130"},
        {HeadKey, "255"}, {SectorsPerTrackKey, "63"}, {SizeKey, "1073741824"}};
    for (const auto& [key, value] : values) ASSERT_TRUE(registry.WriteValue(key, "Disk1", value));
    SourceInformation info = ShowDiskInformation(1, registry);
    EXPECT_FALSE(info.header.has_value());
    EXPECT_EQ(info.lines, (std::vector<std::string>{"Physical Disk Number : 1", "Model   : Generic STORAGE DEVICE",
                                                    "Media Type   : Removable Media", "Cylinder   : 130",
                                                    "Head   : 255", "Sectors Per Track   : 63",
                                                    "Disk Size  : 1024 MB"}));
    EXPECT_EQ(info.startText, "0");
    EXPECT_EQ(info.endText, "2097152");

    ASSERT_TRUE(registry.WriteValue(SizeKey, "Disk1", "1048575"));
    info = ShowDiskInformation(1, registry);
    EXPECT_EQ(info.lines.back(), "Disk Size  : 0 MB");
    EXPECT_EQ(info.endText, "2048");
    // Beyond 2 TiB the range still reaches the last sector.
    ASSERT_TRUE(registry.WriteValue(SizeKey, "Disk1", "3000000000000"));
    EXPECT_EQ(ShowDiskInformation(1, registry).endText, "5859375000");
    // A disk nobody described reads as empty values and size 0.
    info = ShowDiskInformation(7, registry);
    EXPECT_EQ(info.lines[1], "Model   : ");
    EXPECT_EQ(info.endText, "0");
}

TEST(RegisterImageAsDisk, TakesTheFirstFreeNumberAndWritesThePseudoDisk) {
    FakeDeviceRegistry registry;
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk0", "/dev/sda"));
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk1", "/dev/sdb"));
    std::uint64_t total = 2 * 681'574'400ull;
    EXPECT_EQ(RegisterImageAsDisk(registry, "/home/u/set/Image0.img", total), 2);
    SourceInformation info = ShowDiskInformation(2, registry);
    EXPECT_EQ(info.lines[1], "Model   : /home/u/set/Image0.img");
    EXPECT_EQ(info.lines[2], "Media Type   : Image");
    EXPECT_EQ(info.lines[3], "Cylinder   : " + std::to_string(total / 512 / 16065));
    EXPECT_EQ(info.lines[4], "Head   : 255");
    EXPECT_EQ(info.lines[5], "Sectors Per Track   : 63");
    EXPECT_EQ(info.endText, std::to_string(total / 512));
    // The image is not listed as a disk itself.
    EXPECT_EQ(registry.ReadValue(DeviceRegistryKey, "Disk2"), "");
}

TEST(RegisterImageAsDisk, NeverOverwritesAReportedDisk) {
    FakeDeviceRegistry registry;
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk0", "/dev/sda"));
    ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, "Disk2", "/dev/sdc"));
    ASSERT_TRUE(registry.WriteValue(ModelKey, "Disk2", "Card reader"));
    EXPECT_EQ(RegisterImageAsDisk(registry, "/x/Image0.img", 1024), 1);
    EXPECT_EQ(registry.ReadValue(ModelKey, "Disk2"), "Card reader");

    for (int j = 0; j < kMaxDisks; ++j) ASSERT_TRUE(registry.WriteValue(DeviceRegistryKey, DiskValueName(j), "d"));
    EXPECT_EQ(RegisterImageAsDisk(registry, "/x/Image0.img", 1024), std::nullopt);

    FakeDeviceRegistry refusing;
    refusing.Refuse(SizeKey);
    EXPECT_EQ(RegisterImageAsDisk(refusing, "/x/Image0.img", 1024), std::nullopt);
}

TEST(LeadingDecimal, ReadsDigitsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(LeadingDecimal("1073741824"), 1'073'741'824u);
    EXPECT_EQ(LeadingDecimal("512 bytes"), 512u);
    EXPECT_EQ(LeadingDecimal(""), 0u);
    EXPECT_EQ(LeadingDecimal("x1"), 0u);
    EXPECT_EQ(LeadingDecimal("99999999999999999999999"), UINT64_MAX);
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

// A store in memory that counts its changes and can refuse them, as a
// settings file that cannot be written does.
class CountingStore final : public platform::SettingsStore {
public:
    platform::SettingsTree Load() const override { return memory.Load(); }
    bool Update(const std::function<bool(platform::SettingsTree&)>& edit) override {
        ++updates;
        if (refuse) return false;
        if (beforeUpdate) std::exchange(beforeUpdate, {})();
        const platform::SettingsTree before = memory.Load();
        const bool stored = memory.Update(edit);
        if (stored && !(memory.Load() == before)) ++changes;
        return stored;
    }
    platform::MemorySettingsStore memory;
    int updates = 0;  // changes asked for
    int changes = 0;  // of those, the ones that changed the content: a write of a settings file
    bool refuse = false;
    std::function<void()> beforeUpdate;  // once, as another writer would
};

// The results of a sequence of edits, made through the registry.
std::vector<std::string> Edits(DeviceRegistry& registry) {
    std::vector<std::string> seen;
    auto said = [&seen](bool ok) { seen.push_back(ok ? "yes" : "no"); };
    said(registry.DeleteKey(SizeKey));
    said(registry.CreateKey(DeviceRegistryKey));
    said(registry.KeyExists(ModelKey));
    said(registry.CreateKey(ModelKey));
    said(registry.KeyExists(ModelKey));
    said(registry.WriteValue(ModelKey, "Disk0", "Card reader"));
    seen.push_back(registry.ReadValue(ModelKey, "Disk0"));
    said(registry.WriteValue(ModelKey, "Disk1", "two\nlines"));  // refused
    said(registry.CreateKey("Bad\\[key]"));                      // refused
    said(registry.DeleteValue(DeviceRegistryKey, "Disk3"));
    said(registry.WriteValue(SizeKey, "Disk0", "1024"));
    return seen;
}

TEST(StoreDeviceRegistryBatch, GivesTheResultsAndContentOfSingleEditsInOneChange) {
    struct Row {
        const char* what;
        bool refuse;              // the store cannot be written
        bool otherWriter;         // a value is stored by another writer meanwhile
        int batchedUpdates;
    };
    const Row rows[] = {
        {"a writable store", false, false, 1},
        {"another writer's value is kept", false, true, 1},
        // One change tried, then every edit as before.
        {"a store that cannot be written", true, false, 1 + 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto prepare = [&row](CountingStore& store) {
            ASSERT_TRUE(store.memory.WriteValue(SizeKey, "Disk4", "old"));
            ASSERT_TRUE(store.memory.WriteValue(DeviceRegistryKey, "Disk3", "/dev/old"));
            store.refuse = row.refuse;
            if (row.otherWriter) {
                store.beforeUpdate = [&store] { (void)store.memory.WriteValue("Other", "kept", "1"); };
            }
        };
        CountingStore single;
        prepare(single);
        StoreDeviceRegistry one(single);
        const std::vector<std::string> expected = Edits(one);

        CountingStore batched;
        prepare(batched);
        StoreDeviceRegistry many(batched);
        std::vector<std::string> results;
        int runs = 0;
        many.Batch([&] {
            ++runs;
            results = Edits(many);
        });
        EXPECT_EQ(results, expected);
        EXPECT_EQ(batched.Load().Serialize(), single.Load().Serialize());
        EXPECT_EQ(batched.updates, row.batchedUpdates);
        EXPECT_EQ(runs, row.refuse ? 2 : 1);
        if (row.otherWriter) {
            EXPECT_EQ(batched.Load().Value("Other", "kept"), "1");
        }
    }
}

TEST(StoreDeviceRegistryBatch, AListingAndAnImageEachWriteTheSettingsOnce) {
    CountingStore store;
    StoreDeviceRegistry registry(store);
    FakeDriveProbe drives;
    FakeToolLauncher tool;
    const SourceTreeModel model = BuildSourceTree({registry, drives, tool, "/opt/zentrix"}, true);
    EXPECT_EQ(model.error, DeviceListError::None);
    EXPECT_EQ(store.changes, 1);
    for (std::string_view key : DevicePropertyKeys) EXPECT_TRUE(store.Load().HasKey(key)) << key;
    store.changes = 0;
    EXPECT_EQ(RegisterImageAsDisk(registry, "/media/card.dd", 1 << 20), std::optional<int>(0));
    EXPECT_EQ(store.changes, 1);
    EXPECT_EQ(store.Load().Value(ModelKey, "Disk0"), "/media/card.dd");
}

}  // namespace
}  // namespace zt
