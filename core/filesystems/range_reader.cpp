#include "core/filesystems/range_reader.h"

#include <algorithm>
#include <cstring>

namespace zt::fs {

RangeReader::RangeReader(SectorReader& reader)
    : reader_(reader),
      beginByte_(reader.Source().RangeStart * kSectorBytes),
      endByte_(std::max(reader.Source().RangeEnd, reader.Source().RangeStart) * kSectorBytes),
      block_(std::size_t{RangeReaderBlockSectors} * kSectorBytes) {}

bool RangeReader::Read(std::uint64_t at, std::span<std::uint8_t> out) {
    if (!Contains(at, out.size())) return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t pos = at + done;
        const std::uint64_t sector = pos / kSectorBytes;
        if (blockSectors_ == 0 || sector < blockSector_ || sector >= blockSector_ + blockSectors_) {
            const std::uint64_t endSector = endByte_ / kSectorBytes;
            blockSector_ = sector;
            blockSectors_ = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(RangeReaderBlockSectors, endSector - sector));
            reader_.ReadSectors(blockSector_, blockSectors_, block_.data());
        }
        const std::uint64_t offset = pos - blockSector_ * kSectorBytes;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(out.size() - done, std::uint64_t{blockSectors_} * kSectorBytes - offset));
        std::memcpy(out.data() + done, block_.data() + offset, n);
        done += n;
    }
    return true;
}

}  // namespace zt::fs
