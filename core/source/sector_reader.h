// Delivers runs of 512-byte sectors of the chosen source into a caller's
// buffer: a device (or a raw image file read like one) in requests of at most
// 40 sectors, or an image set of one file or numbered parts.
//
// Unreadable places are put to the bad-sector policy. Wherever a place is
// given up, its sectors come back as zeros: data left over from an earlier
// read must never reach a recovered file or an image.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/source/bad_sector_policy.h"
#include "core/source/source_descriptor.h"
#include "platform/raw_io.h"

namespace zt {

class SectorReader {
public:
    // The reader keeps references: the descriptor is filled by the source
    // page and lives until it is filled again; the policy lives for the process.
    SectorReader(const SourceDescriptor& source, BadSectorPolicyState& policy,
                 platform::RawIo& io = platform::SystemRawIo());
    ~SectorReader();
    SectorReader(const SectorReader&) = delete;
    SectorReader& operator=(const SectorReader&) = delete;

    // Reads count sectors from sector first into buffer (count x 512 bytes).
    // Returns nonzero when the last request made to the source succeeded.
    // Callers rely on the buffer's content, not on the result.
    std::int32_t ReadSectors(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                             std::uint8_t* buffer);

    // Convenience: reads from the descriptor's selected device slot.
    std::int32_t ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) {
        return ReadSectors(source_.SelectedDevice(), first, count, buffer);
    }

    const SourceDescriptor& Source() const { return source_; }

private:
    struct DeviceHandle;
    std::shared_ptr<DeviceHandle> CachedDeviceFor(const std::string& path);

    std::int32_t ReadImage(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer);
    std::int32_t ReadSpanning(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                              bool& retryUsed);
    std::int32_t ReadDevice(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                            std::uint8_t* buffer);
    // One device request; on failure the policy decides between sector-by-
    // sector re-reads and zeros. Returns the success of the request itself.
    bool ReadDeviceRequest(int fd, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                           bool consultPolicy);
    std::string PartName(std::uint64_t partIndex) const;

    const SourceDescriptor& source_;
    BadSectorPolicyState& policy_;
    platform::RawIo& io_;

    // The device stays open across calls (and threads) until another path is
    // read. A failed open is cached too, so it is not retried for that path.
    std::mutex cacheMutex_;
    std::shared_ptr<DeviceHandle> cachedDevice_;
};

}  // namespace zt
