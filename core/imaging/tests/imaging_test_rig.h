// A source device, a destination and the shared flags of one imaging setup,
// with in-memory fakes in place of the system.
#pragma once

#include <atomic>
#include <cstring>
#include <functional>

#include "core/imaging/imaging_copy.h"
#include "core/source/testing/scripted_prompt.h"
#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"

namespace zt::testing {

inline constexpr char kDevicePath[] = "/dev/fake";
inline constexpr std::uint8_t kDeviceSeed = 5;

// The bytes of count device sectors from first, as the fake device holds them.
inline std::vector<std::uint8_t> DeviceSectors(std::uint64_t first, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(count * kSectorBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = PatternByte(kDeviceSeed, first * kSectorBytes + i);
    return bytes;
}

// The first eight bytes of a device sector, as FakeDestination keeps them.
inline std::uint64_t DeviceSectorTag(std::uint64_t sector) {
    std::uint64_t tag = 0;
    std::vector<std::uint8_t> head = DeviceSectors(sector, 1);
    std::memcpy(&tag, head.data(), sizeof tag);
    return tag;
}

struct ImagingRig {
    explicit ImagingRig(std::uint64_t deviceSectors, BadSectorPrompt* prompt = nullptr) : policy(prompt) {
        device.AddPatternFile(kDevicePath, deviceSectors * kSectorBytes, kDeviceSeed);
        source.DeviceNames[0] = kDevicePath;
    }

    ImagingOutcome Run(std::uint64_t start, std::uint64_t end, bool multiFile) {
        source.RangeStart = start;
        source.RangeEnd = end;
        slot.ClearStop();
        device.ClearRequests();
        SectorReader reader(source, policy, device);
        ImagingCopy copy(reader, destination, progress, slot);
        return copy.Run({MakeImageBaseName("/dest"), multiFile});
    }

    static std::string PartPath(int n) { return "/dest/Image" + std::to_string(n) + ".img"; }
    const FakeDestination::File& Part(int n) const {
        static const FakeDestination::File kMissing;
        auto it = destination.files.find(PartPath(n));
        return it == destination.files.end() ? kMissing : it->second;
    }
    bool HasPart(int n) const { return destination.files.count(PartPath(n)) != 0; }

    SourceDescriptor source;
    BadSectorPolicyState policy;
    FakeRawIo device;
    FakeDestination destination;
    ImagingProgress progress;
    WorkerSlot slot;  // the copy's stop flag and gate; Run() works on the calling thread
};

}  // namespace zt::testing
