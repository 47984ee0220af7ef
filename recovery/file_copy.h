// The copy of a found file's sectors that both saving and the preview make,
// so that a preview holds exactly the bytes a save writes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/scan/found_file_list.h"
#include "core/source/pause_gate.h"
#include "core/source/sector_reader.h"

namespace zt {

// Sectors read and written at a time where the source is not read in large
// blocks (a device), or a block of an image could not be read whole.
inline constexpr std::uint32_t FileCopyChunkSectors = 8;
// Sectors handed on at a time where the reader holds them all: 1 MiB, a
// whole number of chunks.
inline constexpr std::uint32_t FileCopyPieceSectors = LargeReadSectors;
static_assert(FileCopyPieceSectors % FileCopyChunkSectors == 0);

// Takes one chunk: its bytes and where they go in the file; 0, or the errno of a failed write.
using ChunkWriter = std::function<int(const std::uint8_t* bytes, std::size_t length, std::uint64_t offset)>;

class FileSectorCopy {
public:
    // The reader must outlive the copy.
    explicit FileSectorCopy(SectorReader& reader);

    // Hands write the file's sectors startSector through startSector +
    // sectorCount (only its byteLength bytes when the scan knew its exact
    // length): a piece of up to FileCopyPieceSectors at once where the
    // reader holds every sector of it from an image read whole, otherwise
    // FileCopyChunkSectors at a time, each chunk read and written before the
    // next is read, so that a device gets the requests and the bad-sector
    // questions it always got. gate, when given, is passed before each piece
    // or chunk. Returns 0 when every piece was written, the first write's
    // error otherwise (nothing after it is read), and EINVAL for a negative
    // sector count.
    int Copy(const FileInfo& file, const ChunkWriter& write, PauseGate* gate = nullptr);
    // The same for a file in pieces: byteLength bytes taken from the runs in
    // their order, the last sector read only as far as the file goes.
    // EINVAL, with nothing written, when the runs hold fewer bytes.
    int CopyRuns(std::span<const SectorRun> runs, std::uint64_t byteLength, const ChunkWriter& write,
                 PauseGate* gate = nullptr);

private:
    // Hands write sectors [first, first + sectors) as the file's bytes from
    // offset on, bytes of them (the last sector only as far as they go).
    int CopySpan(std::uint64_t first, std::uint64_t sectors, std::uint64_t offset, std::uint64_t bytes,
                 const ChunkWriter& write, PauseGate* gate);

    SectorReader& reader_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace zt
