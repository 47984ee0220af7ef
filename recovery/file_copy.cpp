#include "recovery/file_copy.h"

#include <algorithm>
#include <cerrno>

namespace zt {

FileSectorCopy::FileSectorCopy(SectorReader& reader)
    : reader_(reader), buffer_(std::size_t{FileCopyChunkSectors} * kSectorBytes) {}

int FileSectorCopy::Copy(const FileInfo& file, const ChunkWriter& write, PauseGate* gate) {
    if (file.sectorCount < 0) return EINVAL;
    const std::uint64_t first = file.startSector;
    const std::uint64_t last = first + static_cast<std::uint64_t>(file.sectorCount);
    for (std::uint64_t current = first; current <= last; current += FileCopyChunkSectors) {
        if (gate != nullptr) gate->PassThrough();
        // The last chunk reads only the file's own sectors, so a bad sector
        // past the file's end is never put to the user.
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(FileCopyChunkSectors, last - current + 1));
        reader_.ReadSectors(current, count, buffer_.data());
        if (const int error = write(buffer_.data(), std::size_t{count} * kSectorBytes, (current - first) * kSectorBytes);
            error != 0) {
            return error;
        }
    }
    return 0;
}

}  // namespace zt
