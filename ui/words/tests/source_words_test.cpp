#include "ui/words/source_words.h"

#include <gtest/gtest.h>

#include "core/source/testing/fake_device_registry.h"

namespace zt {
namespace {

// What the command line accepts as a label, and what each names.
TEST(SourceWords, LabelsNameTheirDriveOrDiskAndPathsAreNotLabels) {
    struct Case {
        std::string_view text;
        std::optional<SourceRef> ref;
    };
    const Case cases[] = {
        {"Disk0", DiskRef{0}},
        {"Disk25", DiskRef{25}},
        {"Disk007", DiskRef{7}},
        {"Disk99", DiskRef{kMaxDisks}},  // past the last number: listed nowhere, so refused as unknown
        {"Disk", std::nullopt},
        {"Disk1a", std::nullopt},
        {"Local Disk (sdb1)", LogicalDriveRef{"sdb1"}},
        {"Trip (2019) (nvme0n1p3)", LogicalDriveRef{"nvme0n1p3"}},
        // A volume whose name begins with the disk word is still a drive.
        {"DiskOnKey (sdc1)", LogicalDriveRef{"sdc1"}},
        {"broken (sdb1", std::nullopt},
        {"/media/card (sdb1)", std::nullopt},
        {"card.dd", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(SourceRefForLabel(c.text), c.ref) << c.text;
    EXPECT_EQ(DiskNumberFromLabel("Disk"), 0);
}

// The run header's group and label for each kind, as the activity log shows them.
TEST(SourceWords, EveryKindHasTheGroupAndLabelOfItsTreeItem) {
    testing::FakeDriveProbe drives;
    platform::LogicalDriveEntry holiday;
    holiday.name = "sdb1";
    holiday.devicePath = "/dev/sdb1";
    holiday.label = "HOLIDAY";
    drives.drives = {holiday};
    struct Case {
        SourceRef ref;
        std::string_view group;
        std::string label;
    };
    const Case cases[] = {
        {LogicalDriveRef{"sdb1"}, "Selected Logical Drive", "HOLIDAY (sdb1)"},
        {LogicalDriveRef{"sdq1"}, "Selected Logical Drive", "sdq1"},  // gone since
        {DiskRef{2}, "Selected Disk", "Disk2"},
        {ImageSetRef{"/cards/set/Image0.img"}, "Selected Image", "/cards/set/Image0.img"},
        {RawImageRef{"/cards/card.dd"}, "Selected Image", "/cards/card.dd"},
        {DevicePathRef{"/dev/sdx"}, "Selected Disk", "/dev/sdx"},
    };
    for (const Case& c : cases) {
        const std::string label = SourceLabel(c.ref, drives);
        EXPECT_EQ(label, c.label);
        ChosenSource chosen{c.ref, false, {"line one", "line two"}, "0", "2048"};
        const RunHeader header = MakeRunHeader(chosen, label);
        EXPECT_EQ(header.group, c.group) << c.label;
        EXPECT_EQ(header.label, c.label);
        EXPECT_FALSE(header.mediaRecovery);
        EXPECT_EQ(header.InformationText(), "line one\r\nline two");
        EXPECT_EQ(header.rangeStart + ":" + header.rangeEnd, "0:2048");
    }
    EXPECT_EQ(SelectedGroupText("Select Select"), "Selected Selected");
    EXPECT_EQ(SelectedGroupText("Disks"), "Disks");
}

}  // namespace
}  // namespace zt
