#include "recovery/file_copy.h"

#include <algorithm>
#include <cerrno>

namespace zt {

FileSectorCopy::FileSectorCopy(SectorReader& reader)
    : reader_(reader), buffer_(std::size_t{FileCopyChunkSectors} * kSectorBytes) {}

int FileSectorCopy::Copy(const FileInfo& file, const ChunkWriter& write, PauseGate* gate) {
    if (file.sectorCount < 0) return EINVAL;
    const std::uint64_t first = file.startSector;
    // Where the scan knows the file's exact length, just that many bytes.
    const std::uint64_t exactBytes = file.byteLength;
    const std::uint64_t last =
        exactBytes > 0 ? first + (exactBytes - 1) / kSectorBytes : first + static_cast<std::uint64_t>(file.sectorCount);
    for (std::uint64_t current = first; current <= last; current += FileCopyChunkSectors) {
        if (gate != nullptr) gate->PassThrough();
        // The last chunk reads only the file's own sectors, so a bad sector
        // past the file's end is never put to the user.
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(FileCopyChunkSectors, last - current + 1));
        const std::uint64_t offset = (current - first) * kSectorBytes;
        std::size_t bytes = std::size_t{count} * kSectorBytes;
        if (exactBytes > 0) bytes = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, exactBytes - offset));
        reader_.ReadSectors(current, count, buffer_.data());
        if (const int error = write(buffer_.data(), bytes, offset); error != 0) {
            return error;
        }
    }
    return 0;
}

int FileSectorCopy::CopyRuns(std::span<const SectorRun> runs, std::uint64_t byteLength, const ChunkWriter& write,
                             PauseGate* gate) {
    // Counted without overflow however large the runs claim to be.
    const std::uint64_t needed = (byteLength + kSectorBytes - 1) / kSectorBytes;
    std::uint64_t held = 0;
    for (const SectorRun& run : runs) held = std::min(needed, held + std::min(run.count, needed));
    if (held < needed) return EINVAL;
    std::uint64_t offset = 0;
    for (const SectorRun& run : runs) {
        for (std::uint64_t done = 0; done < run.count && offset < byteLength; done += FileCopyChunkSectors) {
            if (gate != nullptr) gate->PassThrough();
            const std::uint64_t sectorsLeft = (byteLength - offset + kSectorBytes - 1) / kSectorBytes;
            const auto count = static_cast<std::uint32_t>(
                std::min<std::uint64_t>({FileCopyChunkSectors, run.count - done, sectorsLeft}));
            const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{count} * kSectorBytes,
                                                                               byteLength - offset));
            reader_.ReadSectors(run.first + done, count, buffer_.data());
            if (const int error = write(buffer_.data(), bytes, offset); error != 0) return error;
            offset += bytes;
        }
    }
    return 0;
}

}  // namespace zt
