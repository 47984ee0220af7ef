// A source device, a destination and the shared flags of one imaging setup,
// with the fakes of imaging_fakes.h in place of the system.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "core/imaging/imaging_copy.h"
#include "core/imaging/tests/imaging_fakes.h"

namespace zt::testing {

inline constexpr char kDevicePath[] = "/dev/fake";

struct ImagingRig {
    explicit ImagingRig(std::uint64_t deviceSectors, BadSectorPrompt* prompt = nullptr)
        : policy(prompt), device(kDevicePath, deviceSectors) {
        source.DeviceNames[0] = kDevicePath;
    }

    ImagingOutcome Run(std::uint64_t start, std::uint64_t end, bool multiFile,
                       std::function<void()> chunkBoundary = {}) {
        source.RangeStart = start;
        source.RangeEnd = end;
        stop.store(false);
        SectorReader reader(source, policy, device);
        ImagingCopy copy(reader, destination, progress, stop);
        return copy.Run({MakeImageBaseName("/dest"), multiFile, std::move(chunkBoundary)});
    }

    const FakeDestination::File& Part(int n) const {
        static const FakeDestination::File kMissing;
        auto it = destination.files.find("/dest/Image" + std::to_string(n) + ".img");
        return it == destination.files.end() ? kMissing : it->second;
    }
    bool HasPart(int n) const { return destination.files.count("/dest/Image" + std::to_string(n) + ".img") != 0; }

    SourceDescriptor source;
    BadSectorPolicyState policy;
    FakeDevice device;
    FakeDestination destination;
    ImagingProgress progress;
    std::atomic<bool> stop{false};
};

// Sector s of the range as found in a part's kept bytes.
inline std::vector<std::uint8_t> KeptSector(const FakeDestination::File& file, std::uint64_t s) {
    auto first = file.bytes.begin() + static_cast<std::ptrdiff_t>(s * kSectorBytes);
    return {first, first + static_cast<std::ptrdiff_t>(kSectorBytes)};
}

}  // namespace zt::testing
