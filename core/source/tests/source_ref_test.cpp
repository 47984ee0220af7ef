// Describing and choosing every kind of source, readable, unreadable or gone,
// with a range that is acceptable, one that is not, and the whole source.
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

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::string_view kPrevious = "/dev/previous";

enum class Kind { Drive, Disk, ImageSet, RawImage, DevicePath };
enum class State { Readable, Unreadable, Missing };

struct Expected {
    RangeProblem range = RangeProblem::None;
    std::optional<SourceProblem> read;
    // After an accepted choice: the device read (a bare name is a file in the
    // rig's folder), or empty for an image set.
    std::string device;
    std::uint64_t rangeEnd = 0;
};

struct Row {
    Kind kind;
    State state;
    SourceRange range;
    // What the description shows first, or the reason it shows nothing.
    std::string firstLine;
    std::optional<SourceProblem> describeProblem;
    Expected next;
};

// A drive, a listed disk, an image set, a raw image file and an unlisted
// device, each readable until a row says otherwise.
struct Rig {
    Rig() {
        platform::LogicalDriveEntry drive;
        drive.name = "sdb1";
        drive.devicePath = "/dev/sdb1";
        drive.sizeBytes = 2 * kMiB;
        drive.fsType = "vfat";
        drives.drives = {drive};
        io.AddPatternFile("/dev/sdb1", 2 * kMiB, 1);
        EXPECT_TRUE(registry.WriteValue(DeviceRegistryKey, DiskValueName(0), "/dev/sda"));
        EXPECT_TRUE(registry.WriteValue(SizeKey, DiskValueName(0), std::to_string(8 * kMiB)));
        io.AddPatternFile("/dev/sda", 8 * kMiB, 2);
        // The image set, the raw image file and the unlisted device exist on
        // disk (their kind is read from the file system) and read through io.
        testing::WriteBytes(folder / "Image0.img", std::string(512, '\0'));
        io.AddPatternFile(folder / "Image0.img", 3 * kMiB, 3);
        testing::WriteBytes(folder / "card.dd", std::string(512, '\0'));
        io.AddPatternFile(folder / "card.dd", 4 * kMiB, 4);
        testing::WriteBytes(folder / "sdx", std::string(512, '\0'));
        io.AddPatternFile(folder / "sdx", 5 * kMiB, 5);
        source.DeviceNames[0] = kPrevious;
    }

    // The source of that kind in that state, and the path whose open fails
    // when it is unreadable.
    SourceRef Make(Kind kind, State state) {
        const bool gone = state == State::Missing;
        std::string path;
        SourceRef ref;
        switch (kind) {
            case Kind::Drive:
                path = "/dev/sdb1";
                ref = LogicalDriveRef{gone ? "sdq1" : "sdb1"};
                break;
            case Kind::Disk:
                path = "/dev/sda";
                ref = DiskRef{gone ? 1 : 0};
                break;
            case Kind::ImageSet:
                path = folder / "Image0.img";
                ref = ImageSetRef{(gone ? empty.Path() : folder.Path()) + "/Image0.img"};
                break;
            case Kind::RawImage:
                path = folder / "card.dd";
                ref = RawImageRef{gone ? folder / "lost.dd" : path};
                break;
            case Kind::DevicePath:
                path = folder / "sdx";
                ref = DevicePathRef{gone ? folder / "sdy" : path};
                break;
        }
        if (state == State::Unreadable) io.FailOpen(path, EACCES);
        return ref;
    }

    FakeDeviceRegistry registry;
    FakeDriveProbe drives;
    FakeRawIo io;
    SelectionContext context{registry, drives, io};
    SourceDescriptor source;
    testing::TempFolder folder;
    testing::TempFolder empty;
};

TEST(SourceRefTable, EveryKindIsDescribedAndChosenOrRefused) {

    const SourceRange ok = SourceRange::Typed("0", "2048");
    const SourceRange bad = SourceRange::Typed("10", "5");
    const SourceRange whole = SourceRange::Whole();
    const std::string driveLine = "Volume Name : Local Disk ";
    // Images are registered after the one listed disk.
    const std::string imageLine = "Physical Disk Number : 1";
    using enum Kind;
    using enum State;
    using P = SourceProblem;
    using R = RangeProblem;
    const Row rows[] = {
        // Readable: the typed range or the described one, in the right slot.
        {Drive, Readable, ok, driveLine, {}, {R::None, {}, "/dev/sdb1", 2048}},
        {Drive, Readable, whole, driveLine, {}, {R::None, {}, "/dev/sdb1", 4096}},
        {Disk, Readable, whole, "Physical Disk Number : 0", {}, {R::None, {}, "/dev/sda", 16384}},
        {ImageSet, Readable, whole, imageLine, {}, {R::None, {}, "", 6144}},
        {RawImage, Readable, ok, imageLine, {}, {R::None, {}, "card.dd", 2048}},
        {RawImage, Readable, whole, imageLine, {}, {R::None, {}, "card.dd", 8192}},
        {DevicePath, Readable, whole, imageLine, {}, {R::None, {}, "sdx", 10240}},
        // A bad range is refused before the source is opened, whatever its state.
        {Drive, Readable, bad, driveLine, {}, {R::EndNotAfterStart, {}, "", 0}},
        {Disk, Unreadable, bad, "Physical Disk Number : 0", {}, {R::EndNotAfterStart, {}, "", 0}},
        {ImageSet, Missing, bad, "", P::NoImageInFolder, {R::EndNotAfterStart, {}, "", 0}},
        // Unreadable: a drive or disk is still described, then refused at Next;
        // an image cannot even be described, so its whole range is unknown.
        {Drive, Unreadable, ok, driveLine, {}, {R::None, P::CannotOpen, "", 0}},
        {Disk, Unreadable, whole, "Physical Disk Number : 0", {}, {R::None, P::CannotOpen, "", 0}},
        {ImageSet, Unreadable, ok, "", P::CannotOpen, {R::None, P::CannotOpen, "", 0}},
        {RawImage, Unreadable, whole, "", P::CannotOpen, {R::StartInvalid, {}, "", 0}},
        {DevicePath, Unreadable, ok, "", P::CannotOpen, {R::None, P::CannotOpen, "", 0}},
        // Gone: nothing to describe, and Next says why.
        {Drive, Missing, ok, "", {}, {R::None, P::Missing, "", 0}},
        {Drive, Missing, whole, "", {}, {R::StartInvalid, {}, "", 0}},
        {Disk, Missing, ok, "Physical Disk Number : 1", {}, {R::None, P::Missing, "", 0}},
        {ImageSet, Missing, ok, "", P::NoImageInFolder, {R::None, P::NoImageInFolder, "", 0}},
        {RawImage, Missing, ok, "", P::Missing, {R::None, P::Missing, "", 0}},
        {DevicePath, Missing, whole, "", P::Missing, {R::StartInvalid, {}, "", 0}},
    };
    for (const Row& row : rows) {
        const std::string range = row.range.whole ? "whole" : row.range.startText + ":" + row.range.endText;
        SCOPED_TRACE(::testing::Message() << "kind " << static_cast<int>(row.kind) << ", state "
                                          << static_cast<int>(row.state) << ", range " << range);
        Rig fresh;
        const SourceRef ref = fresh.Make(row.kind, row.state);
        const SourceDescription shown = DescribeSource(ref, fresh.context, fresh.source);
        EXPECT_EQ(shown.info.lines.empty() ? "" : shown.info.lines.front(), row.firstLine);
        EXPECT_EQ(shown.problem ? std::optional(shown.problem->problem) : std::nullopt, row.describeProblem);
        EXPECT_EQ(fresh.source.SelectedDevice(), kPrevious);  // the slots are Next's

        const ChooseOutcome next = ChooseSourceRef(ref, shown, row.range, true, fresh.context, fresh.source);
        EXPECT_EQ(next.range, row.next.range);
        EXPECT_EQ(next.readProblem ? std::optional(next.readProblem->problem) : std::nullopt, row.next.read);
        if (!next.Ok()) {
            // Refused: the reader is still pointed where it was.
            EXPECT_EQ(fresh.source.SelectedDevice(), kPrevious);
            EXPECT_FALSE(fresh.source.ImageMode);
            continue;
        }
        EXPECT_EQ(next.chosen.ref, ref);
        EXPECT_EQ(next.chosen.infoLines, shown.info.lines);
        EXPECT_EQ(fresh.source.RangeEnd, row.next.rangeEnd);
        EXPECT_EQ(next.chosen.rangeEnd, std::to_string(row.next.rangeEnd));
        if (row.next.device.empty()) {
            EXPECT_TRUE(fresh.source.ImageMode);
            EXPECT_EQ(fresh.source.ImageFolder, fresh.folder.Path() + "/");
        } else {
            EXPECT_FALSE(fresh.source.ImageMode);
            const std::string& device = row.next.device;
            EXPECT_EQ(fresh.source.SelectedDevice(), device.starts_with('/') ? device : fresh.folder / device);
        }
    }
}

}  // namespace
}  // namespace zt
