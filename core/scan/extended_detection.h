// Detection and measuring for a scan with extended signatures, over the
// scan's TypeDefinitionList. Formats with a known structure are recognised
// by their own headers whether or not their type is selected, so that the
// extent of every such file is known and nothing inside it is reported on
// its own; types without one are matched by their catalogue patterns.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/detection.h"
#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/source/block_memory.h"
#include "core/source/sector_reader.h"

namespace zt {

// However long a file's structure says it is, a walk follows it no further
// than this (FAT32's own limit on a file), unless its format records sizes
// of 64 bits that its walk hops along (see WalkBound).
inline constexpr std::uint64_t kLargestFileBytes = std::uint64_t{4} << 30;

// How far a walk of this family may follow a file. MP4 and its kin, and MKV,
// record every box's or element's size in up to 64 bits, RF64 sound its
// sizes in 64 bits and an AVI its further gigabytes in more RIFF lists, and
// cameras and recorders write files past 4 GiB in them; their walks read a
// header per box, cluster or chunk, so following such a file to its end
// costs little. Streams are read unit by unit and keep to kLargestFileBytes.
std::uint64_t WalkBound(FormatFamily family);

class ExtendedDetector {
public:
    // Keeps a reference to the list, which must not change in size.
    explicit ExtendedDetector(TypeDefinitionList& list);
    ExtendedDetector(const ExtendedDetector&) = delete;
    ExtendedDetector& operator=(const ExtendedDetector&) = delete;

    struct Match {
        FormatFamily family = FormatFamily::None;  // a format with a structure to follow
        std::string_view type;                     // the type its header points to
        int definition = -1;                       // position in the list, -1 when not selected
    };
    // No allocation; `available` as for SignatureDetector::MatchType.
    Match Detect(const std::uint8_t* sector, std::size_t available);

    // Position in the list of the type with this name, or of the type that
    // stands in for it when it is not selected; -1 when neither is.
    int DefinitionOf(std::string_view type) const;
    // The most bytes kept of a file of the type at this position of the list:
    // its maximum size. A size of kLargestFileBytes or more (the default for
    // sound and video) keeps all a walk could follow: a file whose own size
    // fields take it past 4 GiB comes back whole.
    std::uint64_t KeptBytes(int definition) const;

private:
    TypeDefinitionList& list_;
    std::vector<int> otherPositions_;  // where each of others_ stands in list_
    TypeDefinitionList others_;        // the selected types that no format walk covers
    SignatureDetector othersDetector_;
};

// The blocks format walks have read outside the scan's chunk. Two are held,
// so a walk that goes back and forth between two tables far apart (a TIFF's
// strip offsets and byte counts) reads each block once, and they are kept
// from one walk to the next: headers close together point into the same
// blocks. The source is only read, so a block read once stays true.
class WalkBlocks {
public:
    explicit WalkBlocks(std::size_t blockBytes);

private:
    friend class SourceFileView;
    struct Block {
        UnzeroedBytes bytes;
        std::uint64_t start = 0;  // absolute byte of bytes[0]
        std::size_t held = 0;     // 0: nothing held yet
        std::uint64_t used = 0;   // when it last served a read
    };
    std::array<Block, 2> blocks_;
    std::uint64_t clock_ = 0;
};

// Reads the file being measured through the sector reader, serving what the
// scan's chunk already holds from the chunk and the rest from the walk
// blocks, never at or past rangeEnd. A read that goes on where the walk's
// last one ended is twice as long as it, so a walk along a stream reads it in
// large pieces while one that hops from header to header reads little.
class SourceFileView final : public FileView {
public:
    struct Chunk {
        const std::uint8_t* data;
        std::uint64_t firstSector;
        std::uint32_t sectors;
    };
    SourceFileView(SectorReader& reader, std::uint64_t startSector, std::uint64_t rangeEnd, std::uint64_t bound,
                   Chunk chunk, WalkBlocks& blocks);

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override;

private:
    SectorReader& reader_;
    std::uint64_t startByte_;
    std::uint64_t rangeEndByte_;
    Chunk chunk_;
    WalkBlocks& blocks_;
    std::uint64_t lastReadEnd_ = 0;      // absolute byte where this walk's last read ended
    std::uint64_t lastReadSectors_ = 0;  // its length, 0 before the first
};

}  // namespace zt
