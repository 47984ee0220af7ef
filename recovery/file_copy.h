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

// Sectors copied per read and write.
inline constexpr std::uint32_t FileCopyChunkSectors = 8;

// Takes one chunk: its bytes and where they go in the file; 0, or the errno of a failed write.
using ChunkWriter = std::function<int(const std::uint8_t* bytes, std::size_t length, std::uint64_t offset)>;

class FileSectorCopy {
public:
    // The reader must outlive the copy.
    explicit FileSectorCopy(SectorReader& reader);

    // Hands write the file's sectors startSector through startSector +
    // sectorCount (only its byteLength bytes when the scan knew its exact
    // length), FileCopyChunkSectors at a time; gate, when given, is
    // passed before each chunk. Returns 0 when every chunk was written, the
    // first write's error otherwise (no chunk after it is read), and EINVAL
    // for a negative sector count.
    int Copy(const FileInfo& file, const ChunkWriter& write, PauseGate* gate = nullptr);
    // The same for a file in pieces: byteLength bytes taken from the runs in
    // their order, the last sector read only as far as the file goes.
    // EINVAL, with nothing written, when the runs hold fewer bytes.
    int CopyRuns(std::span<const SectorRun> runs, std::uint64_t byteLength, const ChunkWriter& write,
                 PauseGate* gate = nullptr);

private:
    SectorReader& reader_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace zt
