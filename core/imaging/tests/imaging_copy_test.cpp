#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "core/imaging/image_set.h"
#include "core/imaging/imaging_copy.h"
#include "core/imaging/imaging_destination.h"
#include "core/imaging/tests/imaging_test_rig.h"

namespace zt::testing {
namespace {

TEST(ImageSetNames, BaseNameAndPartsWithOrWithoutTrailingSeparator) {
    EXPECT_EQ(MakeImageBaseName("/media/usb"), "/media/usb/Image.img");
    EXPECT_EQ(MakeImageBaseName("/media/usb/"), "/media/usb/Image.img");
    EXPECT_EQ(ImagePartName("/media/usb/Image.img", 0), "/media/usb/Image0.img");
    EXPECT_EQ(ImagePartName("/media/usb/Image.img", 12), "/media/usb/Image12.img");
}

TEST(ImagingCopy, TwentySectorsGoInChunksOfEightEightAndFour) {
    ImagingRig rig(100);
    ImagingOutcome outcome = rig.Run(0, 20, false);

    EXPECT_EQ(outcome.result, ImagingResult::Completed);
    const auto requests = rig.device.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].length, 4096u);
    EXPECT_EQ(requests[1].offset, 4096u);
    EXPECT_EQ(requests[2].offset, 8192u);
    EXPECT_EQ(requests[2].length, 2048u);
    EXPECT_EQ(rig.Part(0).size, 10240u);
    EXPECT_EQ(rig.Part(0).bytes, DeviceSectors(0, 20));
    EXPECT_EQ(rig.progress.CurrentSector.load(), 20u);
    EXPECT_EQ(rig.progress.TotalSectors.load(), 20u);
    EXPECT_EQ(rig.progress.LastFileName(), "/dest/Image0.img");
    EXPECT_EQ(rig.destination.openHandles, 0);
}

TEST(ImagingCopy, ShortRangesAndLateStartsCopyExactlyTheirSectors) {
    ImagingRig rig(100);
    ASSERT_EQ(rig.Run(0, 5, false).result, ImagingResult::Completed);
    ASSERT_EQ(rig.device.Requests().size(), 1u);
    EXPECT_EQ(rig.device.Requests()[0].length, 2560u);
    EXPECT_EQ(rig.Part(0).bytes, DeviceSectors(0, 5));

    // The set holds no sector numbers: part 0 begins with the range's first sector.
    ASSERT_EQ(rig.Run(37, 58, false).result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).size, 21u * 512);
    EXPECT_EQ(rig.Part(0).bytes, DeviceSectors(37, 21));
    EXPECT_EQ(rig.progress.CurrentSector.load(), 58u);
}

TEST(ImagingCopy, MultiFileSplitsAtPartSizeAndRemovesOnlyTheNextStalePart) {
    ImagingRig rig(ImagePartSectors + 100);
    rig.destination.files["/dest/Image2.img"].size = 99;
    rig.destination.files["/dest/Image3.img"].size = 99;

    ImagingOutcome outcome = rig.Run(0, ImagePartSectors + 8, true);

    EXPECT_EQ(outcome.result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).size, 681'574'400u);
    EXPECT_EQ(rig.Part(0).tags.front(), DeviceSectorTag(0));
    EXPECT_EQ(rig.Part(0).tags.back(), DeviceSectorTag(ImagePartSectors - 1));
    for (std::uint64_t s = 0; s < ImagePartSectors; s += 4099) {
        ASSERT_EQ(rig.Part(0).tags[s], DeviceSectorTag(s)) << "sector " << s;
    }
    EXPECT_EQ(rig.Part(1).size, 4096u);
    EXPECT_EQ(rig.Part(1).bytes, DeviceSectors(ImagePartSectors, 8));
    EXPECT_FALSE(rig.HasPart(2));
    EXPECT_TRUE(rig.HasPart(3));
    EXPECT_EQ(rig.progress.LastFileName(), "/dest/Image1.img");
    EXPECT_EQ(rig.destination.openHandles, 0);
}

TEST(ImagingCopy, SingleFileKeepsEverythingInOnePartAndRemovesTheStalePartAfterIt) {
    ImagingRig rig(ImagePartSectors + 100);
    rig.destination.files["/dest/Image1.img"].size = 99;
    rig.destination.files["/dest/Image2.img"].size = 99;

    ASSERT_EQ(rig.Run(0, ImagePartSectors + 16, false).result, ImagingResult::Completed);

    EXPECT_EQ(rig.Part(0).size, (std::uint64_t{ImagePartSectors} + 16) * 512);
    EXPECT_EQ(rig.Part(0).tags.back(), DeviceSectorTag(ImagePartSectors + 15));
    // Left beside the new Image0.img, an old Image1.img would be read as the
    // set's second part.
    EXPECT_FALSE(rig.HasPart(1));
    EXPECT_TRUE(rig.HasPart(2));
}

TEST(ImagingCopy, ReadOnlyPartOfAnEarlierRunIsMadeWritableBeforeItIsEmptied) {
    ImagingRig rig(100);
    rig.destination.files["/dest/Image0.img"].ownerWritable = false;
    rig.destination.files["/dest/Image0.img"].size = 1 << 20;

    ASSERT_EQ(rig.Run(0, 16, false).result, ImagingResult::Completed);
    EXPECT_TRUE(rig.destination.truncatedWhileReadOnly.empty());
    EXPECT_EQ(rig.Part(0).size, 16u * 512);
}

TEST(ImagingCopy, ConfirmedStopEndsAfterTheChunkInProgressAndKeepsWhatWasWritten) {
    ImagingRig rig(100);
    // Asked during the second chunk's write: the copy ends once it is written.
    rig.destination.BeforeWrite([&](int write) {
        if (write == 1) rig.slot.RequestStop();
    });
    ImagingOutcome outcome = rig.Run(0, 80, false);

    EXPECT_EQ(outcome.result, ImagingResult::Aborted);
    EXPECT_EQ(rig.Part(0).bytes, DeviceSectors(0, 16));
    // The position is published after the stop check, so it lags one chunk.
    EXPECT_EQ(rig.progress.CurrentSector.load(), 8u);
    EXPECT_EQ(rig.destination.openHandles, 0);
    EXPECT_EQ(ImagingOutcomeMessage(outcome), "Image creation aborted.");
}

TEST(ImagingCopy, AStopRightAfterANewPartNamesThatPartAsTheLastFile) {
    ImagingRig rig(ImagePartSectors + 100);
    rig.destination.BeforeWrite([&](int write) {
        if (write == static_cast<int>(ImagePartSectors / ImagingChunkSectors)) rig.slot.RequestStop();
    });
    const ImagingOutcome outcome = rig.Run(0, ImagePartSectors + 80, true);
    EXPECT_EQ(outcome.result, ImagingResult::Aborted);
    EXPECT_EQ(rig.Part(1).size, 4096u);
    EXPECT_EQ(rig.progress.LastFileName(), "/dest/Image1.img");
}

TEST(ImagingCopy, UnreadableSectorsAreCountedPerRun) {
    ImagingRig rig(100);
    rig.policy.Set(SkipAll);
    rig.device.AddBadSector(kDevicePath, 3);  // its 8-sector request is given up whole
    SectorReader reader(rig.source, rig.policy, rig.device);
    ImagingCopy copy(reader, rig.destination, rig.progress, rig.slot);
    rig.source.RangeEnd = 16;
    ASSERT_EQ(copy.Run({MakeImageBaseName("/dest"), false}).result, ImagingResult::Completed);
    EXPECT_EQ(reader.UnreadableSectors(), 8u);
    rig.source.RangeStart = 8;
    ASSERT_EQ(copy.Run({MakeImageBaseName("/dest"), false}).result, ImagingResult::Completed);
    EXPECT_EQ(reader.UnreadableSectors(), 0u);
}

// The image ends where the source's bytes end, and a source that ends
// early during the copy fails the run with what was read before its end.
TEST(ImagingCopy, TheImageHoldsExactlyTheBytesTheSourceGave) {
    struct Case {
        const char* what;
        std::uint64_t deviceBytes;
        std::function<void(FakeRawIo&)> damage;
        std::uint64_t start, end;
        ImagingFailure failure;  // None: the copy completes
        std::uint64_t partBytes;
        std::uint64_t current;  // where the progress stops
        std::uint64_t unreadable;
    };
    const Case cases[] = {
        {"last partial sector copied to the byte", 6336, {}, 0, 13, ImagingFailure::None, 6336, 13, 0},
        {"a late start through the partial end", 6336, {}, 5, 13, ImagingFailure::None, 6336 - 5 * 512, 13, 0},
        {"a range ending before the partial sector", 6336, {}, 0, 12, ImagingFailure::None, 12 * 512, 12, 0},
        {"a range past the end keeps its zero sectors", 6336, {}, 0, 20, ImagingFailure::None, 20 * 512, 20, 0},
        {"a source whose data ends at sector 30", 100 * 512,
         [](FakeRawIo& io) { io.EndDataAt(kDevicePath, 30 * 512); }, 0, 100, ImagingFailure::SourceEnded, 30 * 512,
         30, 2},
        {"a source whose data ends inside sector 30", 100 * 512,
         [](FakeRawIo& io) { io.EndDataAt(kDevicePath, 30 * 512 + 7); }, 10, 100, ImagingFailure::SourceEnded,
         20 * 512, 30, 4},
        {"a device gone from the start", 100 * 512, [](FakeRawIo& io) { io.FailReads(kDevicePath, ENODEV); }, 0, 100,
         ImagingFailure::SourceEnded, 0, 0, 8},
    };
    // A device, and the same bytes as an image file read in large blocks.
    for (const bool image : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (image ? ", an image" : ", a device"));
        ImagingRig rig(0);
        rig.device.AddPatternFile(kDevicePath, c.deviceBytes, kDeviceSeed);
        if (image) rig.device.MarkRegularFile(kDevicePath);
        if (c.damage) c.damage(rig.device);
        rig.source.RangeStart = c.start;
        rig.source.RangeEnd = c.end;
        SectorReader reader(rig.source, rig.policy, rig.device);
        ImagingCopy copy(reader, rig.destination, rig.progress, rig.slot);
        const ImagingOutcome outcome = copy.Run({MakeImageBaseName("/dest"), false});

        EXPECT_EQ(outcome.result, c.failure == ImagingFailure::None ? ImagingResult::Completed : ImagingResult::Failed);
        EXPECT_EQ(outcome.failure, c.failure);
        std::vector<std::uint8_t> expected = DeviceSectors(c.start, c.end - c.start);
        for (std::size_t k = 0; k < expected.size(); ++k) {
            if (c.start * 512 + k >= c.deviceBytes) expected[k] = 0;
        }
        expected.resize(c.partBytes);
        EXPECT_EQ(rig.Part(0).size, c.partBytes);
        EXPECT_TRUE(rig.Part(0).bytes == expected);
        EXPECT_EQ(rig.progress.CurrentSector.load(), c.current);
        EXPECT_EQ(reader.UnreadableSectors(), c.unreadable);
        EXPECT_EQ(rig.destination.openHandles, 0);
        if (c.failure == ImagingFailure::SourceEnded) {
            EXPECT_EQ(ImagingOutcomeMessage(outcome),
                      "Image creation failed: the source became shorter or went away at sector " +
                          std::to_string(c.current) + "; the image holds what was copied before it.");
        }
    }
}

// From an image, whole 1 MiB pieces where its blocks read whole; the block
// with a bad sector goes chunk by chunk, with the questions a device gets.
TEST(ImagingCopy, AnImageIsWrittenInLargePiecesWithTheBytesAndQuestionsOfADevice) {
    struct Row {
        std::uint64_t start, end;
        std::optional<std::uint64_t> bad;
        int imageWrites;
    };
    const Row rows[] = {
        {0, 9000, {}, 3},        // 4096 + 4096 + 808 sectors
        {3, 8197, {}, 3},        // 4096 + 4096, then a tail of 2 sectors
        {0, 9000, 5000, 514},    // 4096, the bad block's 512 chunks, 808
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.start) + " to " + std::to_string(row.end));
        struct Copied {
            FakeDestination::File part;
            int writes = 0;
            int asked = 0;
            std::size_t requests = 0;
        };
        auto copy = [&row](bool image) {
            ScriptedPrompt asker({Retry});
            ImagingRig rig(10000, &asker);
            if (image) rig.device.MarkRegularFile(kDevicePath);
            if (row.bad) rig.device.AddBadSector(kDevicePath, *row.bad);
            EXPECT_EQ(rig.Run(row.start, row.end, false).result, ImagingResult::Completed);
            // Every byte of the part was given to the medium's writeback.
            std::uint64_t covered = 0;
            for (const auto& w : rig.destination.writebacks) covered = w.offset == covered ? covered + w.length : 0;
            EXPECT_EQ(covered, rig.Part(0).size);
            return Copied{rig.Part(0), rig.destination.Writes(), asker.Asked(), rig.device.Requests().size()};
        };
        const Copied device = copy(false);
        const Copied image = copy(true);
        const std::uint64_t sectors = row.end - row.start;
        EXPECT_EQ(device.writes, static_cast<int>((sectors + 7) / 8));
        EXPECT_EQ(image.writes, row.imageWrites);
        EXPECT_EQ(image.asked, device.asked);
        EXPECT_EQ(device.asked, row.bad ? 1 : 0);
        EXPECT_LT(image.requests, device.requests);
        std::vector<std::uint8_t> expected = DeviceSectors(row.start, sectors);
        if (row.bad) std::fill_n(expected.begin() + (*row.bad - row.start) * kSectorBytes, kSectorBytes, 0);
        for (const Copied* c : {&device, &image}) {
            EXPECT_EQ(c->part.size, expected.size());
            EXPECT_TRUE(std::equal(c->part.bytes.begin(), c->part.bytes.end(), expected.begin()));
            ASSERT_EQ(c->part.tags.size(), sectors);
            for (std::uint64_t k = 0; k < sectors; ++k) {
                std::uint64_t tag = 0;
                std::memcpy(&tag, expected.data() + k * kSectorBytes, sizeof tag);
                EXPECT_EQ(c->part.tags[k], tag) << "sector " << k;
            }
        }
    }
}

TEST(ImagingCopyFailures, WriteFailureEndsTheRunAndSaysWhy) {
    ImagingRig rig(ImagePartSectors + 100);
    // Part 0 fills, part 1 gets two chunks, then the disk is full.
    rig.destination.writeLimit = ImagePartBytes + 2 * 4096;

    ImagingOutcome outcome = rig.Run(0, ImagePartSectors + 80, true);

    EXPECT_EQ(outcome.result, ImagingResult::Failed);
    EXPECT_EQ(outcome.failure, ImagingFailure::WritePart);
    EXPECT_EQ(outcome.error, ENOSPC);
    EXPECT_EQ(outcome.path, "/dest/Image1.img");
    EXPECT_EQ(rig.Part(0).size, ImagePartBytes);
    EXPECT_EQ(rig.Part(1).bytes, DeviceSectors(ImagePartSectors, 16));
    EXPECT_EQ(rig.progress.CurrentSector.load(), ImagePartSectors + 16u);
    EXPECT_EQ(rig.destination.openHandles, 0);
    EXPECT_EQ(ImagingOutcomeMessage(outcome),
              "Image creation failed: No space left on device while writing /dest/Image1.img.");
}

TEST(ImagingCopyFailures, PartThatCannotBeCreatedEndsTheRunBeforeWritingIt) {
    ImagingRig rig(ImagePartSectors + 100);
    rig.destination.createErrors["/dest/Image1.img"] = EACCES;

    ImagingOutcome outcome = rig.Run(0, ImagePartSectors + 80, true);

    EXPECT_EQ(outcome.result, ImagingResult::Failed);
    EXPECT_EQ(outcome.failure, ImagingFailure::CreatePart);
    EXPECT_EQ(outcome.error, EACCES);
    EXPECT_EQ(rig.progress.LastFileName(), "/dest/Image0.img");
    EXPECT_EQ(rig.Part(0).size, ImagePartBytes);
    EXPECT_FALSE(rig.HasPart(1));
    EXPECT_EQ(rig.destination.openHandles, 0);
    EXPECT_EQ(ImagingOutcomeMessage(outcome),
              "Image creation failed: Permission denied while creating /dest/Image1.img.");
}

TEST(ImagingCopyFailures, FlushCreateAndStalePartFailuresAreNotReportedAsSuccess) {
    ImagingRig rig(100);
    ASSERT_EQ(rig.Run(0, 20, false).result, ImagingResult::Completed);
    // Nothing of that run shows in the next one, which fails before its first chunk is done.
    rig.destination.createErrors["/dest/Image0.img"] = EROFS;
    ASSERT_EQ(rig.Run(8, 20, false).failure, ImagingFailure::CreatePart);
    EXPECT_EQ(rig.progress.CurrentSector.load(), 8u);
    EXPECT_EQ(rig.progress.LastFileName(), "");
    rig.destination.createErrors.clear();

    rig.destination.flushError = EIO;
    ImagingOutcome flush = rig.Run(0, 20, false);
    EXPECT_EQ(flush.result, ImagingResult::Failed);
    EXPECT_EQ(flush.failure, ImagingFailure::ClosePart);
    EXPECT_EQ(flush.error, EIO);

    rig.destination.flushError = 0;
    rig.destination.removeError = EPERM;
    rig.destination.files["/dest/Image1.img"].size = 99;
    ImagingOutcome stale = rig.Run(0, 20, true);
    EXPECT_EQ(stale.result, ImagingResult::Failed);
    EXPECT_EQ(stale.failure, ImagingFailure::RemoveStalePart);
    EXPECT_EQ(stale.path, "/dest/Image1.img");
    EXPECT_EQ(rig.destination.openHandles, 0);
}

TEST(ImagingMessages, EachEndOfARunSaysWhatHappened) {
    EXPECT_EQ(ImagingOutcomeMessage({}), "Image creation completed successfully.");
    EXPECT_EQ(ImagingFailureReason({}), "");
    ImagingOutcome stale{ImagingResult::Failed, ImagingFailure::RemoveStalePart, EPERM, "/d/Image4.img"};
    EXPECT_EQ(ImagingOutcomeMessage(stale),
              "Image creation failed: Operation not permitted while removing the earlier part /d/Image4.img.");
}

struct DestinationRig {
    FakeDestination io;
    FakeRawIo sourceIo;
    SourceDescriptor source;
    DestinationRig() {
        source.DeviceNames[0] = "/dev/sdz";
        source.RangeStart = 100;
        source.RangeEnd = 300;  // 102,400 bytes
    }
    DestinationCheck Check(const std::string& destination) {
        return CheckImagingDestination(io, destination, source, sourceIo);
    }
};

TEST(ImagingDestination, MissingFolderAndTooLittleSpaceAreRefused) {
    DestinationRig rig;
    EXPECT_EQ(rig.Check("/nowhere"), DestinationCheck::PathNotFound);
    EXPECT_EQ(rig.Check(""), DestinationCheck::PathNotFound);
    rig.io.files["/dest/file"];
    EXPECT_EQ(rig.Check("/dest/file"), DestinationCheck::PathNotFound);

    rig.io.freeBytes = 102'400;  // exactly the need is not enough
    EXPECT_EQ(rig.Check("/dest"), DestinationCheck::InsufficientSpace);
    rig.io.freeBytes = 102'401;
    EXPECT_EQ(rig.Check("/dest"), DestinationCheck::Ok);

    EXPECT_EQ(DestinationCheckMessage(DestinationCheck::PathNotFound),
              "Image path not found. Please specify image path.");
    EXPECT_EQ(DestinationCheckMessage(DestinationCheck::InsufficientSpace),
              "Insufficient free space on destination. Please change destination path.");
    EXPECT_EQ(DestinationCheckMessage(DestinationCheck::Ok), "");
}

TEST(ImagingDestination, AFolderOnTheDiskBeingCopiedIsRefused) {
    DestinationRig rig;
    rig.io.folders.insert("/media/card");
    rig.io.sharedMedia.insert({"/media/card", "/dev/sdz"});
    EXPECT_EQ(rig.Check("/media/card"), DestinationCheck::OnSourceMedium);
    EXPECT_EQ(rig.Check("/dest"), DestinationCheck::Ok);
    EXPECT_NE(DestinationCheckMessage(DestinationCheck::OnSourceMedium).find("lies on the disk being copied"),
              std::string::npos);
}

TEST(ImagingDestination, CopyingASourceOntoItselfIsRefused) {
    DestinationRig rig;
    rig.io.folders.insert("/cards");
    rig.io.files["/cards/Image1.img"];
    rig.source.DeviceNames[0] = "/cards/Image1.img";
    EXPECT_EQ(rig.Check("/cards"), DestinationCheck::HoldsSource);
    EXPECT_EQ(rig.Check("/dest"), DestinationCheck::Ok);

    rig.source.ImageMode = true;
    rig.source.ImageFolder = "/cards";
    EXPECT_EQ(rig.Check("/cards"), DestinationCheck::HoldsSource);
    EXPECT_EQ(rig.Check("/dest"), DestinationCheck::Ok);
}

}  // namespace
}  // namespace zt::testing
