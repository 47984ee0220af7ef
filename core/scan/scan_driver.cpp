#include "core/scan/scan_driver.h"

#include <algorithm>
#include <limits>

namespace zt {

namespace {

std::uint32_t ChunkCountAt(std::uint64_t base, std::uint64_t rangeEnd) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ChunkSectors, rangeEnd - base));
}

std::int32_t SaturatedCount(std::uint64_t sectors) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(sectors, std::numeric_limits<std::int32_t>::max()));
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

ScanDriver::ScanDriver(SectorReader& reader, TypeDefinitionList& types, FoundFileList& found, ScanCallbacks callbacks,
                       SignatureMode mode)
    : reader_(reader),
      types_(types),
      found_(found),
      callbacks_(std::move(callbacks)),
      detector_(types),
      foundCounts_(std::make_unique<std::atomic<std::int32_t>[]>(types.size())),
      chunk_(std::size_t{ChunkSectors} * kSectorBytes) {
    if (mode == SignatureMode::Extended) {
        extended_ = std::make_unique<ExtendedDetector>(types_);
        walkBlock_.resize(std::size_t{WalkBlockSectors} * kSectorBytes);
    }
    traits_.reserve(types_.size());
    for (std::size_t t = 0; t < types_.size(); ++t) {
        const stExtInfo& d = types_[t];
        const std::string_view name = d.Name();
        TypeTraits traits;
        if (d.HasSizeField()) {
            if (IsOneOf(name, {"BMP", "WMA"})) {
                traits.lengthRule = LengthRule::RejectNonPositive;
            } else if (name == "AU") {
                traits.lengthRule = LengthRule::BigEndianAu;
            } else {
                traits.lengthRule = LengthRule::CapAtMaxSize;
            }
        }
        traits.trailingMarker = IsOneOf(name, {"PSP", "MP3"});
        traits.previewable = IsOneOf(name, {"JPEG", "BMP", "PNG", "GIF", "TIFF"});
        traits.isMkv = name == "MKV";
        traits_.push_back(traits);
        foundCounts_[t].store(d.foundCount, std::memory_order_relaxed);
    }
}

ScanDriver::~ScanDriver() { slot_.StopAndJoin(); }

void ScanDriver::Start() {
    if (started_.exchange(true)) return;  // a driver scans once
    (void)slot_.Start([this] { Scan(); });
}

void ScanDriver::Run() {
    if (started_.exchange(true)) return;
    slot_.RunHere([this] { Scan(); });
}

std::int32_t ScanDriver::FoundCount(std::size_t typeIndex) const {
    if (typeIndex >= types_.size()) return 0;
    return foundCounts_[typeIndex].load(std::memory_order_relaxed);
}

ScanSummary ScanDriver::Summary() const {
    return {static_cast<std::int64_t>(CurrentSector()),
            static_cast<std::int64_t>(ScanEndSector()),
            static_cast<std::int64_t>(found_.Count()),
            startTime_,
            endTime_,
            EndedByStop(),
            reader_.UnreadableSectors()};
}

void ScanDriver::Scan() {
    startTime_ = std::time(nullptr);
    const SourceDescriptor& source = reader_.Source();
    const std::uint64_t rangeEnd = source.RangeEnd;
    scanEndSector_.store(rangeEnd, std::memory_order_relaxed);

    reader_.ResetUnreadableSectors();
    if (callbacks_.beforeChunks) callbacks_.beforeChunks();

    OpenFile open;
    std::uint64_t base = source.RangeStart;
    bool stopped = false;
    while (base < rangeEnd) {
        const std::uint32_t count = ChunkCountAt(base, rangeEnd);
        reader_.ReadSectors(base, count, chunk_.data());
        if (callbacks_.examineChunk) callbacks_.examineChunk(base, count, chunk_.data());
        const std::uint64_t rescanFrom =
            extended_ ? ScanChunkExtended(base, count, open) : ScanChunk(base, count, open);
        // Looked at after every pass over a chunk, a rescan included: data
        // made of rejected headers rescans every sector's chunk again. The
        // scan is held here while the user is asked whether to stop.
        if (rescanFrom == kStopped || slot_.PassBoundary()) {
            stopped = true;
            break;
        }
        if (rescanFrom != kNoRescan) {
            // A fresh chunk starts at the sector after the abandoned header,
            // or after a file whose extent its format gave.
            base = rescanFrom;
            continue;
        }
        base += count;
    }

    if (stopped) {
        endedByStop_.store(true, std::memory_order_release);
        if (callbacks_.selectFirstTypeAtStop) callbacks_.selectFirstTypeAtStop();
    } else {
        // A file still open at the end of the range has no end: it is dropped.
        currentSector_.store(rangeEnd, std::memory_order_relaxed);
    }
    if (callbacks_.afterChunks) callbacks_.afterChunks(stopped);
    endTime_ = std::time(nullptr);
}

std::uint64_t ScanDriver::ScanChunk(std::uint64_t base, std::uint32_t count, OpenFile& open) {
    std::string_view name;
    std::int32_t limit = 0;
    for (std::uint32_t j = 0; j < count; ++j) {
        const std::uint64_t cur = base + j;
        const std::uint8_t* sector = chunk_.data() + std::size_t{j} * kSectorBytes;
        // Patterns may run into the following sectors of this chunk, never past it.
        const std::size_t available = std::size_t{count - j} * kSectorBytes;

        const int r = detector_.MatchType(sector, available, name, limit);
        const std::uint64_t from = StepMarkerRules(open, r, limit, sector, available, cur);
        if (from != kNoRescan) return from;
    }
    return kNoRescan;
}

std::uint64_t ScanDriver::StepMarkerRules(OpenFile& open, int r, std::int32_t limit, const std::uint8_t* sector,
                                          std::size_t available, std::uint64_t cur) {
    if (open.type < 0) {
        if (r < 0) {
            currentSector_.store(cur, std::memory_order_relaxed);
            return kNoRescan;
        }
        if (!OpenAt(open, r, limit, cur)) return kNoRescan;
    } else if (r >= 0) {
        // A header inside an open file ends that file just before it.
        RecordClosedByHeader(open, cur);
        if (!OpenAt(open, r, limit, cur)) return kNoRescan;
    }

    const EndResult end = FindEnd(open, sector, available, cur);
    switch (end.kind) {
        case EndKind::EndFound:
            RecordFound(open.type, end.number, open.start, end.sectorCount, 0);
            open = OpenFile{};
            currentSector_.store(cur, std::memory_order_relaxed);
            break;
        case EndKind::NotYet:
            if (++open.examined >= open.limit) {
                // No end within the search limit: keep it at the user's
                // maximum size and look at the sectors after its header again.
                RecordAtLimit(open);
                const std::uint64_t from = open.start + 1;
                open = OpenFile{};
                return from;
            }
            currentSector_.store(cur, std::memory_order_relaxed);
            break;
        case EndKind::Reject: {
            const std::uint64_t from = open.start + 1;
            open = OpenFile{};
            return from;
        }
        case EndKind::Stopped:
            // The file in hand has no end yet: it is not recorded.
            open = OpenFile{};
            return kStopped;
    }
    return kNoRescan;
}

std::uint64_t ScanDriver::ScanChunkExtended(std::uint64_t base, std::uint32_t count, OpenFile& open) {
    const std::uint64_t rangeEnd = reader_.Source().RangeEnd;
    for (std::uint32_t j = 0; j < count; ++j) {
        const std::uint64_t cur = base + j;
        const std::uint8_t* sector = chunk_.data() + std::size_t{j} * kSectorBytes;
        const std::size_t available = std::size_t{count - j} * kSectorBytes;

        if (open.type >= 0 && cur < open.blindUntil) {
            if (++open.examined >= open.limit) {
                RecordAtLimit(open);
                const std::uint64_t from = open.start + 1;
                open = OpenFile{};
                return from;
            }
            currentSector_.store(cur, std::memory_order_relaxed);
            continue;
        }
        const bool quiet = open.type >= 0 && cur < open.quietUntil;
        ExtendedDetector::Match m = quiet ? ExtendedDetector::Match{} : extended_->Detect(sector, available);
        // A TIFF's pieces may be JPEG previews at sector starts; they belong
        // to it. Other files inside it have overwritten it.
        if (cur < container_.end && container_.family == FormatFamily::Tiff && m.family == FormatFamily::Jpeg) m = {};
        int r = m.definition;
        if (m.family != FormatFamily::None) {
            SourceFileView view(reader_, cur, rangeEnd, extended_->SizeBound(m),
                                {chunk_.data(), base, count}, walkBlock_);
            const Extent extent = MeasureFormat(m.family, view);
            if (extent.kind == ExtentKind::NotAFile) {
                r = -1;
            } else if (extent.kind == ExtentKind::Exact && extent.bytes > 0) {
                // The format gave the file's extent: whatever lies inside it
                // belongs to it, so the scan goes on after its last sector.
                if (open.type >= 0) RecordClosedByHeader(open, cur);
                open = OpenFile{};
                const int type = extent.type.empty() ? m.definition : extended_->DefinitionOf(extent.type);
                const std::uint64_t sectors = (extent.bytes + kSectorBytes - 1) / kSectorBytes;
                if (type >= 0) RecordFound(type, CountFound(type), cur, SaturatedCount(sectors), extent.bytes);
                currentSector_.store(cur, std::memory_order_relaxed);
                if (extent.opaque) {
                    // Its data cannot be checked, so the sectors inside are
                    // still looked at for files that overwrote its rest.
                    container_ = {cur + sectors, m.family};
                    continue;
                }
                const std::uint64_t next = cur + sectors;
                if (next >= base + count) return next;
                j = static_cast<std::uint32_t>(next - base - 1);
                continue;
            } else if (r >= 0 && extent.bytes > kSectorBytes && !traits_[static_cast<std::size_t>(r)].isMkv) {
                // The walk was sure of the file's first part: the marker rules
                // take over after it.
                if (open.type >= 0) RecordClosedByHeader(open, cur);
                OpenAt(open, r, types_[static_cast<std::size_t>(r)].searchLimit, cur);
                open.examined = 1;
                open.blindUntil = cur + extent.bytes / kSectorBytes;
                open.quietUntil = cur + (extent.bytes + kSectorBytes - 1) / kSectorBytes;
                currentSector_.store(cur, std::memory_order_relaxed);
                continue;
            } else if (r >= 0 && traits_[static_cast<std::size_t>(r)].isMkv && open.type < 0) {
                AdoptMatroskaFooter(types_[static_cast<std::size_t>(r)], sector, available);
            }
        }
        const std::int32_t limit = r >= 0 ? types_[static_cast<std::size_t>(r)].searchLimit : 0;
        const std::uint64_t from = StepMarkerRules(open, r, limit, sector, available, cur);
        if (from != kNoRescan) return from;
    }
    return kNoRescan;
}

bool ScanDriver::OpenAt(OpenFile& open, int type, std::int32_t limit, std::uint64_t cur) {
    open.type = type;
    open.start = cur;
    open.limit = limit;
    open.examined = 0;
    if (!traits_[static_cast<std::size_t>(type)].isMkv) return true;
    // The MKV header sector carries the bytes its end marker was taken from.
    open.examined = 1;
    return false;
}

void ScanDriver::RecordClosedByHeader(const OpenFile& open, std::uint64_t cur) {
    const std::int32_t number = CountFound(open.type);
    // cur > start always holds here, so the count is at least -1 + 1 = 0.
    Record(open.type, number, open.start, SaturatedCount(cur - open.start - 1));
}

void ScanDriver::RecordAtLimit(const OpenFile& open) {
    const std::int32_t number = CountFound(open.type);
    const stExtInfo& d = types_[static_cast<std::size_t>(open.type)];
    Record(open.type, number, open.start, d.maxSizeBytes / static_cast<std::int32_t>(kSectorSize));
}

std::int32_t ScanDriver::CountFound(int type) {
    stExtInfo& d = types_[static_cast<std::size_t>(type)];
    ++d.foundCount;
    foundCounts_[static_cast<std::size_t>(type)].store(d.foundCount, std::memory_order_relaxed);
    return d.foundCount;
}

void ScanDriver::Record(int type, std::int32_t number, std::uint64_t start, std::int32_t sectorCount) {
    found_.Append(MakeFileInfo(types_[static_cast<std::size_t>(type)].Name(), number, start, sectorCount));
}

void ScanDriver::RecordFound(int type, std::int32_t number, std::uint64_t start, std::int32_t sectorCount,
                             std::uint64_t byteLength) {
    FileInfo info = MakeFileInfo(types_[static_cast<std::size_t>(type)].Name(), number, start, sectorCount);
    info.byteLength = byteLength;
    found_.Append(info);
    if (traits_[static_cast<std::size_t>(type)].previewable && number % PreviewEvery == 1 &&
        callbacks_.previewFoundPicture) {
        callbacks_.previewFoundPicture(info);
    }
}

ScanDriver::EndResult ScanDriver::FindEnd(const OpenFile& open, const std::uint8_t* sector, std::size_t available,
                                          std::uint64_t cur) {
    const std::size_t t = static_cast<std::size_t>(open.type);
    const TypeTraits& traits = traits_[t];
    // The sectors after cur in this chunk are those the chunk was read with.
    if (traits.trailingMarker) return TrailingMarkerRun(open, sector, cur + available / kSectorBytes);

    const stExtInfo& d = types_[t];
    EndResult result;
    if (traits.lengthRule != LengthRule::None) {
        result = LengthFieldEnd(d, traits.lengthRule, sector, available);
    } else {
        const int footers = std::clamp(d.footerCount, 0, kMaxPatterns);
        for (int k = 0; k < footers; ++k) {
            if (FindPatternInSector(d.footers[static_cast<std::size_t>(k)], sector, available)) {
                result.kind = EndKind::EndFound;
                result.sectorCount = SaturatedCount(cur - open.start + 1);
                break;
            }
        }
    }
    if (result.kind == EndKind::EndFound) result.number = CountFound(open.type);
    return result;
}

ScanDriver::EndResult ScanDriver::LengthFieldEnd(const stExtInfo& d, LengthRule rule, const std::uint8_t* sector,
                                                 std::size_t available) const {
    // Bytes of the field that lie outside the data count as zero.
    const int width = std::clamp(d.sizeFieldWidth, 0, 4);
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        const std::int64_t at = std::int64_t{d.sizeFieldOffset} + i;
        const std::uint32_t byte = at >= 0 && static_cast<std::uint64_t>(at) < available ? sector[at] : 0;
        if (rule == LengthRule::BigEndianAu) {
            v = (v << 8) | byte;
        } else {
            v |= byte << (8 * i);
        }
    }
    const bool nonPositive = static_cast<std::int32_t>(v) <= 0;
    const bool tooLarge = v > d.sizeFieldLimit;

    EndResult result;
    switch (rule) {
        case LengthRule::RejectNonPositive:
            if (nonPositive || tooLarge) result.kind = EndKind::Reject;
            break;
        case LengthRule::BigEndianAu:
            if (nonPositive) return result;
            if (tooLarge) result.kind = EndKind::Reject;
            break;
        case LengthRule::CapAtMaxSize:
        case LengthRule::None:
            if (nonPositive) return result;
            if (tooLarge) v = static_cast<std::uint32_t>(std::max(d.maxSizeBytes, 0));
            break;
    }
    if (result.kind == EndKind::Reject) return result;
    result.kind = EndKind::EndFound;
    result.sectorCount = static_cast<std::int32_t>(v / kSectorSize + 1);
    return result;
}

ScanDriver::EndResult ScanDriver::TrailingMarkerRun(const OpenFile& open, const std::uint8_t* headerSector,
                                                    std::uint64_t chunkEnd) {
    const stExtInfo& d = types_[static_cast<std::size_t>(open.type)];
    const int footers = std::clamp(d.footerCount, 0, kMaxPatterns);
    std::uint64_t s = open.start;
    std::uint64_t last = open.start;
    std::int32_t quiet = 0;
    // The run looks at one sector at a time, past the chunk and even past the
    // range; the main loop examines those sectors again afterwards. Sectors of
    // the chunk in hand are taken from it, the others read one by one.
    while (quiet < TrailingMarkerQuietSectors) {
        const std::uint8_t* sector = markerSector_.data();
        if (s < chunkEnd) {
            sector = headerSector + (s - open.start) * kSectorBytes;
        } else {
            // A run through sectors that all carry the marker could reach the
            // end of the medium: a stop request must not wait for it.
            if (StopRequested()) return {EndKind::Stopped, 0, 0};
            reader_.ReadSectors(s, 1, markerSector_.data());
        }
        bool marker = false;
        for (int k = 0; k < footers && !marker; ++k) {
            marker = FindPatternInSector(d.footers[static_cast<std::size_t>(k)], sector, kSectorBytes);
        }
        if (marker) last = s;
        quiet = marker ? 1 : quiet + 1;
        ++s;
    }
    EndResult result;
    result.kind = EndKind::EndFound;
    result.sectorCount = SaturatedCount(last - open.start + TrailingMarkerTailSectors);
    result.number = CountFound(open.type);
    return result;
}

}  // namespace zt
