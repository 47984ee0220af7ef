#include "recovery/file_copy.h"

#include <algorithm>
#include <cerrno>

namespace zt {

FileSectorCopy::FileSectorCopy(SectorReader& reader) : reader_(reader) {}

int FileSectorCopy::Copy(const FileInfo& file, const ChunkWriter& write, PauseGate* gate) {
    if (file.sectorCount < 0) return EINVAL;
    const std::uint64_t first = file.startSector;
    // Where the scan knows the file's exact length, just that many bytes;
    // otherwise the sectors through the last, and never a sector past it,
    // so a bad sector past the file's end is never put to the user.
    const std::uint64_t exactBytes = file.byteLength;
    const std::uint64_t sectors =
        exactBytes > 0 ? (exactBytes - 1) / kSectorBytes + 1 : static_cast<std::uint64_t>(file.sectorCount) + 1;
    return CopySpan(first, sectors, 0, exactBytes > 0 ? exactBytes : sectors * kSectorBytes, write, gate);
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
        if (offset >= byteLength) break;
        const std::uint64_t sectorsLeft = (byteLength - offset + kSectorBytes - 1) / kSectorBytes;
        const std::uint64_t sectors = std::min(run.count, sectorsLeft);
        const std::uint64_t bytes = std::min(sectors * kSectorBytes, byteLength - offset);
        if (const int error = CopySpan(run.first, sectors, offset, bytes, write, gate); error != 0) return error;
        offset += bytes;
    }
    return 0;
}

int FileSectorCopy::CopySpan(std::uint64_t first, std::uint64_t sectors, std::uint64_t offset, std::uint64_t bytes,
                             const ChunkWriter& write, PauseGate* gate) {
    const std::size_t bufferBytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(FileCopyPieceSectors, sectors) * kSectorBytes);
    if (buffer_.size() < bufferBytes) buffer_.resize(bufferBytes);
    for (std::uint64_t done = 0; done < sectors;) {
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(FileCopyPieceSectors, sectors - done));
        if (gate != nullptr) gate->PassThrough();
        // Written straight from the blocks read where they hold the piece.
        ReadWindow::View view;
        const std::uint8_t* held = reader_.ViewHeld(first + done, piece, view);
        if (held != nullptr || reader_.ReadHeld(first + done, piece, buffer_.data())) {
            const std::uint64_t at = done * kSectorBytes;
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{piece} * kSectorBytes, bytes - at));
            if (const int error = write(held != nullptr ? held : buffer_.data(), length, offset + at); error != 0)
                return error;
            done += piece;
            continue;
        }
        const std::uint64_t pieceEnd = done + piece;
        for (bool firstChunk = true; done < pieceEnd; firstChunk = false) {
            if (gate != nullptr && !firstChunk) gate->PassThrough();
            const auto count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(FileCopyChunkSectors, pieceEnd - done));
            const std::uint64_t at = done * kSectorBytes;
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{count} * kSectorBytes, bytes - at));
            reader_.ReadSectors(first + done, count, buffer_.data());
            if (const int error = write(buffer_.data(), length, offset + at); error != 0) return error;
            done += count;
        }
    }
    return 0;
}

}  // namespace zt
