// The bad-sector answers seen end to end through imaging runs: what lands in
// the image, how often the user is asked, and that an answer for all holds
// for later runs of the same process.
#include <gtest/gtest.h>

#include "core/imaging/tests/imaging_test_rig.h"

namespace zt::testing {
namespace {

std::vector<std::uint8_t> WithZeros(std::vector<std::uint8_t> bytes, std::uint64_t first, std::uint64_t count) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(first * kSectorBytes), count * kSectorBytes, 0);
    return bytes;
}

TEST(BadSectorsWhileImaging, RetryRereadsTheChunkSectorBySectorAndZeroesOnlyTheBadOne) {
    ScriptedPrompt prompt({Retry});
    ImagingRig rig(100, &prompt);
    rig.device.AddBadSector(kDevicePath, 13);

    ASSERT_EQ(rig.Run(0, 40, false).result, ImagingResult::Completed);

    EXPECT_EQ(prompt.Asked(), 1);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(DeviceSectors(0, 40), 13, 1));
    // Five chunk requests plus eight single-sector re-reads of the failed one.
    EXPECT_EQ(rig.device.Requests().size(), 13u);
}

TEST(BadSectorsWhileImaging, SkipZeroesTheChunkAndAsksAgainAtTheNextFailedChunk) {
    ScriptedPrompt prompt({Skip, Skip});
    ImagingRig rig(100, &prompt);
    rig.device.AddBadSector(kDevicePath, 13);
    rig.device.AddBadSector(kDevicePath, 30);

    ASSERT_EQ(rig.Run(0, 40, false).result, ImagingResult::Completed);

    EXPECT_EQ(prompt.Asked(), 2);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(WithZeros(DeviceSectors(0, 40), 8, 8), 24, 8));
    EXPECT_EQ(rig.device.Requests().size(), 5u);
}

TEST(BadSectorsWhileImaging, RetryAllIsAskedOnceAndHoldsForLaterRuns) {
    ScriptedPrompt prompt({RetryAll});
    ImagingRig rig(100, &prompt);
    rig.device.AddBadSector(kDevicePath, 3);
    rig.device.AddBadSector(kDevicePath, 21);

    ASSERT_EQ(rig.Run(0, 40, false).result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(WithZeros(DeviceSectors(0, 40), 3, 1), 21, 1));

    rig.device.AddBadSector(kDevicePath, 50);
    ASSERT_EQ(rig.Run(40, 80, false).result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(DeviceSectors(40, 40), 10, 1));
    EXPECT_EQ(prompt.Asked(), 1);
}

TEST(BadSectorsWhileImaging, SkipAllIsAskedOnceAndHoldsForLaterRuns) {
    ScriptedPrompt prompt({SkipAll});
    ImagingRig rig(100, &prompt);
    rig.device.AddBadSector(kDevicePath, 3);
    rig.device.AddBadSector(kDevicePath, 21);

    ASSERT_EQ(rig.Run(0, 40, false).result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(WithZeros(DeviceSectors(0, 40), 0, 8), 16, 8));

    rig.device.AddBadSector(kDevicePath, 50);
    ASSERT_EQ(rig.Run(40, 80, false).result, ImagingResult::Completed);
    EXPECT_EQ(rig.Part(0).bytes, WithZeros(DeviceSectors(40, 40), 8, 8));
    EXPECT_EQ(prompt.Asked(), 1);
    // Skipped chunks are not re-read.
    EXPECT_EQ(rig.device.Requests().size(), 5u);
}

}  // namespace
}  // namespace zt::testing
