// What the saving and preview tests share: a card of patterned sectors held
// in memory, the source over the whole of it with unreadable sectors given
// as zeros, and the bytes a copy of a found file must hold.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/source/sector_reader.h"
#include "platform/testing/fake_raw_io.h"

namespace zt::testing {

inline constexpr char kCard[] = "/media/card.dd";

class PatternCardTest : public ::testing::Test {
protected:
    PatternCardTest(std::uint64_t sectors, std::uint8_t seed) : cardSectors(sectors), cardSeed(seed) {
        io.AddPatternFile(kCard, cardSectors * kSectorSize, cardSeed);
        source.DeviceNames[0] = kCard;
        source.RangeStart = 0;
        source.RangeEnd = cardSectors;
        policy.Set(SkipAll);
    }

    // Sectors start through start + count, from the card's bytes alone:
    // zeros past its end and in the bad sectors.
    std::string Expected(std::uint64_t start, std::int32_t count, const std::set<std::uint64_t>& bad = {}) const {
        std::string bytes;
        for (std::uint64_t s = start; s <= start + static_cast<std::uint64_t>(count); ++s) {
            const bool present = s < cardSectors && bad.count(s) == 0;
            for (std::uint64_t k = s * kSectorSize; k < (s + 1) * kSectorSize; ++k) {
                bytes.push_back(static_cast<char>(present ? PatternByte(cardSeed, k) : 0));
            }
        }
        return bytes;
    }

    const std::uint64_t cardSectors;
    const std::uint8_t cardSeed;
    FakeRawIo io;
    SourceDescriptor source;
    BadSectorPolicyState policy;
};

}  // namespace zt::testing
