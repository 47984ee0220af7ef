#include "core/scan/extended_detection.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/scan/formats/registry.h"

namespace zt {

namespace {

// A walk's first read outside the chunk: enough for the headers of most files.
constexpr std::uint64_t kFirstReadSectors = 128;

// Where a walk settles a type that is not selected, the catalogue's older
// row for the same files takes it.
struct StandIn {
    std::string_view type;
    std::string_view standIn;
};
constexpr StandIn kStandIns[] = {{"RW2", "RAW"}, {"ARW", "SR2"}, {"CR2", "CRW"}};

TypeDefinitionList Unwalked(const TypeDefinitionList& list, std::vector<int>& positions) {
    TypeDefinitionList others;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (IsWalkedType(list[i].Name())) continue;
        others.push_back(list[i]);
        positions.push_back(static_cast<int>(i));
    }
    return others;
}

}  // namespace

ExtendedDetector::ExtendedDetector(TypeDefinitionList& list)
    : list_(list), otherPositions_(), others_(Unwalked(list, otherPositions_)), othersDetector_(others_) {}

int ExtendedDetector::DefinitionOf(std::string_view type) const {
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < list_.size(); ++i) {
            if (list_[i].Name() == type) return static_cast<int>(i);
        }
        const auto standIn = std::find_if(std::begin(kStandIns), std::end(kStandIns),
                                          [&](const StandIn& s) { return s.type == type; });
        if (standIn == std::end(kStandIns)) break;
        type = standIn->standIn;
    }
    return -1;
}

std::uint64_t ExtendedDetector::KeptBytes(int definition) const {
    if (definition < 0) return 0;
    const std::int64_t bytes = list_[static_cast<std::size_t>(definition)].maxSizeBytes;
    const auto kept = static_cast<std::uint64_t>(std::max<std::int64_t>(bytes, 0));
    return kept >= kLargestFileBytes ? std::numeric_limits<std::uint64_t>::max() : kept;
}

std::uint64_t WalkBound(FormatFamily family) {
    if (family == FormatFamily::IsoMedia || family == FormatFamily::Ebml || family == FormatFamily::Riff)
        return std::numeric_limits<std::uint64_t>::max();
    return kLargestFileBytes;
}

ExtendedDetector::Match ExtendedDetector::Detect(const std::uint8_t* sector, std::size_t available) {
    Match m;
    const FormatMatch format = DetectFormat(sector, available);
    if (format.family != FormatFamily::None) {
        m.family = format.family;
        m.type = format.type;
        m.definition = DefinitionOf(format.type);
        return m;
    }
    std::string_view name;
    std::int32_t limit = 0;
    const int other = othersDetector_.MatchType(sector, available, name, limit);
    if (other >= 0) {
        m.type = list_[static_cast<std::size_t>(otherPositions_[static_cast<std::size_t>(other)])].Name();
        m.definition = otherPositions_[static_cast<std::size_t>(other)];
    }
    return m;
}

WalkBlocks::WalkBlocks(std::size_t blockBytes) {
    for (Block& b : blocks_) b.bytes.resize(blockBytes);
}

SourceFileView::SourceFileView(SectorReader& reader, std::uint64_t startSector, std::uint64_t rangeEnd,
                               std::uint64_t bound, Chunk chunk, WalkBlocks& blocks)
    : FileView(std::min(bound, rangeEnd > startSector ? (rangeEnd - startSector) * kSectorBytes : 0)),
      reader_(reader),
      startByte_(startSector * kSectorBytes),
      rangeEndByte_(rangeEnd * kSectorBytes),
      chunk_(chunk),
      blocks_(blocks) {}

std::span<const std::uint8_t> SourceFileView::Fetch(std::uint64_t offset) {
    const std::uint64_t at = startByte_ + offset;
    const std::uint64_t chunkStart = chunk_.firstSector * kSectorBytes;
    const std::uint64_t chunkEnd = chunkStart + std::uint64_t{chunk_.sectors} * kSectorBytes;
    if (at >= chunkStart && at < chunkEnd) {
        return {chunk_.data + (at - chunkStart), static_cast<std::size_t>(chunkEnd - at)};
    }
    WalkBlocks::Block* block = nullptr;
    for (WalkBlocks::Block& b : blocks_.blocks_) {
        if (b.held != 0 && at >= b.start && at < b.start + b.held) block = &b;
    }
    if (block == nullptr) {
        // The one used longer ago makes room.
        block = &*std::min_element(blocks_.blocks_.begin(), blocks_.blocks_.end(),
                                   [](const WalkBlocks::Block& a, const WalkBlocks::Block& b) { return a.used < b.used; });
        const std::uint64_t sector = at / kSectorBytes;
        // A read that goes on where this walk's last one ended is twice as
        // long as that one: a walk along a stream reads it in large pieces.
        const bool onward = lastReadSectors_ != 0 && sector * kSectorBytes == lastReadEnd_;
        const std::uint64_t capacity = block->bytes.size() / kSectorBytes;
        lastReadSectors_ = onward ? std::min<std::uint64_t>(lastReadSectors_ * 2, capacity)
                                  : std::min<std::uint64_t>(kFirstReadSectors, capacity);
        const std::uint64_t sectors = std::min<std::uint64_t>(lastReadSectors_, rangeEndByte_ / kSectorBytes - sector);
        reader_.ReadSectors(sector, static_cast<std::uint32_t>(sectors), block->bytes.data());
        block->start = sector * kSectorBytes;
        block->held = static_cast<std::size_t>(sectors * kSectorBytes);
        lastReadEnd_ = block->start + block->held;
    }
    block->used = ++blocks_.clock_;
    return {block->bytes.data() + (at - block->start), static_cast<std::size_t>(block->start + block->held - at)};
}

}  // namespace zt
