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
        walkBlocks_ = std::make_unique<WalkBlocks>(std::size_t{WalkBlockSectors} * kSectorBytes);
    }
    traits_.reserve(types_.size());
    for (std::size_t t = 0; t < types_.size(); ++t) {
        const stExtInfo& d = types_[t];
        const TypeTraits row = TraitsOf(d.type);
        RunTraits traits;
        // A length field the definition does not have is never read.
        if (d.HasSizeField()) traits.lengthRule = row.lengthRule;
        traits.trailingMarker = row.trailingMarker;
        // The pictures the page shows from the start are offered while the scan runs.
        traits.previewable = row.shownBy == PreviewSource::FromStart && row.medium == TypeMedium::Picture;
        traits.isMkv = row.footerFromHeader;
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
            reader_.UnreadableSectors(),
            reader_.SourceEndedAt()};
}

void ScanDriver::Scan() {
    startTime_ = std::time(nullptr);
    const SourceDescriptor& source = reader_.Source();
    const std::uint64_t rangeEnd = source.RangeEnd;
    scanEndSector_.store(rangeEnd, std::memory_order_relaxed);

    reader_.StartRun();
    if (callbacks_.beforeChunks) callbacks_.beforeChunks();

    OpenFile open;
    std::uint64_t base = source.RangeStart;
    bool stopped = false;
    bool sourceEnded = false;
    while (base < rangeEnd) {
        std::uint32_t count = ChunkCountAt(base, rangeEnd);
        // Looked at where the reader holds it when it can, else read into chunk_.
        chunkData_ = reader_.ViewSectors(base, count, chunk_.data(), chunkView_);
        // A source that ended early ends the scan, a failure: the sectors
        // read before its end are still looked at, the zeros after it never.
        if (const std::optional<std::uint64_t> endedAt = reader_.SourceEndedAt()) {
            sourceEnded = true;
            if (*endedAt <= base) break;
            count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, *endedAt - base));
        }
        if (callbacks_.examineChunk) callbacks_.examineChunk(base, count, chunkData_);
        const std::uint64_t rescanFrom =
            extended_ ? ScanChunkExtended(base, count, open) : ScanChunk(base, count, open);
        // A look past the chunk (an end marker run, a format walk) may find the end too.
        if (sourceEnded || reader_.SourceEndedAt()) {
            sourceEnded = true;
            break;
        }
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

    chunkView_.Reset();
    chunkData_ = nullptr;

    // A scan cut short by its source keeps where it got to: the range was not covered.
    if (stopped) {
        endedByStop_.store(true, std::memory_order_release);
        if (callbacks_.selectFirstTypeAtStop) callbacks_.selectFirstTypeAtStop();
    } else if (!sourceEnded) {
        // A file still open at the end of the range has no end: it is dropped,
        // unless its walk was sure of its start; then what the range holds of
        // it is kept, marked cut.
        if (extended_ && open.type >= 0 && open.quietUntil > open.start + 1) {
            RecordExtended(open.type, CountFound(open.type), open.start, (rangeEnd - open.start) * kSectorBytes,
                           Ends::NotFound);
        }
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
        const std::uint8_t* sector = chunkData_ + std::size_t{j} * kSectorBytes;
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
            RecordFound(open.type, end.number, open.start, end.sectorCount);
            open = OpenFile{};
            currentSector_.store(cur, std::memory_order_relaxed);
            break;
        case EndKind::NotYet:
            if (++open.examined >= open.limit) {
                // No end within the search limit: keep it at the user's
                // maximum size (extended signatures: what was searched) and
                // look at the sectors after its header again (or after the
                // part its walk was sure of).
                RecordAtLimit(open, cur);
                const std::uint64_t from = ResumeAfter(open);
                open = OpenFile{};
                return from;
            }
            currentSector_.store(cur, std::memory_order_relaxed);
            break;
        case EndKind::Reject: {
            const std::uint64_t from = ResumeAfter(open);
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
        const std::uint8_t* sector = chunkData_ + std::size_t{j} * kSectorBytes;
        const std::size_t available = std::size_t{count - j} * kSectorBytes;

        if (open.type >= 0 && cur < open.blindUntil) {
            // The part its walk was sure of holds no header and no end: it is
            // not looked at, nor read where it reaches past this chunk, and the
            // search limit counts from after it.
            currentSector_.store(cur, std::memory_order_relaxed);
            if (open.blindUntil >= base + count) return open.blindUntil;
            j = static_cast<std::uint32_t>(open.blindUntil - base - 1);
            continue;
        }
        const bool quiet = open.type >= 0 && cur < open.quietUntil;
        ExtendedDetector::Match m = quiet ? ExtendedDetector::Match{} : extended_->Detect(sector, available);
        // A TIFF's pieces may be JPEG previews at sector starts; they belong
        // to it. Other files inside it have overwritten it.
        if (cur < container_.end && container_.family == FormatFamily::Tiff && m.family == FormatFamily::Jpeg) m = {};
        int r = m.definition;
        if (m.family != FormatFamily::None) {
            // The walk follows the whole file whatever size is kept of it, so
            // that nothing inside a file longer than that is a file of its own.
            SourceFileView view(reader_, cur, rangeEnd, WalkBound(m.family), {chunkData_, base, count},
                                *walkBlocks_);
            view.WatchStop(&slot_.StopFlag());
            const Extent extent = MeasureFormat(m.family, view);
            if (view.Stopped()) {
                // The walk was cut short: what it says is not the file's extent.
                open = OpenFile{};
                return kStopped;
            }
            // A cut file's walk may still tell its type where the header
            // alone did not (a RIFF that is a picture or a movie).
            if (extent.kind == ExtentKind::Unknown && !extent.type.empty()) r = extended_->DefinitionOf(extent.type);
            if (extent.kind == ExtentKind::NotAFile) {
                r = -1;
            } else if (extent.kind == ExtentKind::Exact && extent.bytes > 0) {
                // The format gave the file's extent: whatever lies inside it
                // belongs to it, so the scan goes on after its last sector.
                if (open.type >= 0) RecordClosedByHeader(open, cur);
                open = OpenFile{};
                const int type = extent.type.empty() ? m.definition : extended_->DefinitionOf(extent.type);
                const std::uint64_t sectors = (extent.bytes + kSectorBytes - 1) / kSectorBytes;
                if (type >= 0) RecordExtended(type, CountFound(type), cur, extent.bytes, Ends::Exact);
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
            } else if (r < 0 && open.type < 0 && extent.bytes > kSectorBytes) {
                // A file of a type not looked for: what its walk was sure of
                // holds no file of its own either.
                currentSector_.store(cur, std::memory_order_relaxed);
                const std::uint64_t next = cur + (extent.bytes + kSectorBytes - 1) / kSectorBytes;
                if (next >= base + count) return next;
                j = static_cast<std::uint32_t>(next - base - 1);
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
    if (extended_) {
        // Its end was not found: it is kept up to the next file's header.
        RecordExtended(open.type, number, open.start, (cur - open.start) * kSectorBytes, Ends::NotFound);
        return;
    }
    // cur > start always holds here, so the count is at least -1 + 1 = 0.
    Record(open.type, number, open.start, SaturatedCount(cur - open.start - 1));
}

void ScanDriver::RecordAtLimit(const OpenFile& open, std::uint64_t cur) {
    const std::int32_t number = CountFound(open.type);
    if (extended_) {
        // Its end was not found: what was searched is kept. The maximum size
        // of a type is large here, and no file is made longer than it was seen.
        RecordExtended(open.type, number, open.start, (cur - open.start + 1) * kSectorBytes, Ends::NotFound);
        return;
    }
    const stExtInfo& d = types_[static_cast<std::size_t>(open.type)];
    Record(open.type, number, open.start, static_cast<std::int32_t>(d.maxSizeBytes / kSectorSize));
}

std::uint64_t ScanDriver::ResumeAfter(const OpenFile& open) { return std::max(open.start + 1, open.quietUntil); }

void ScanDriver::RecordExtended(int type, std::int32_t number, std::uint64_t start, std::uint64_t bytes, Ends ends) {
    const std::uint64_t kept = std::min(bytes, extended_->KeptBytes(type));
    const std::uint64_t sectors = (kept + kSectorBytes - 1) / kSectorBytes;
    // Only a walk knows the length in bytes; the marker rules count the
    // sectors after the header, as the standard scan does.
    const bool exact = ends == Ends::Exact;
    FileInfo info = MakeFileInfo(types_[static_cast<std::size_t>(type)].Name(), number, start,
                                 SaturatedCount(exact || sectors == 0 ? sectors : sectors - 1));
    info.byteLength = exact ? kept : 0;
    info.cut = ends == Ends::NotFound || kept < bytes ? 1 : 0;
    Publish(type, number, info);
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

void ScanDriver::RecordFound(int type, std::int32_t number, std::uint64_t start, std::int32_t sectorCount) {
    if (extended_) {
        // An end found by the marker rules: kept whole when the type keeps that much.
        RecordExtended(type, number, start, (std::uint64_t{static_cast<std::uint32_t>(sectorCount)} + 1) * kSectorBytes,
                       Ends::AtSector);
        return;
    }
    Publish(type, number, MakeFileInfo(types_[static_cast<std::size_t>(type)].Name(), number, start, sectorCount));
}

void ScanDriver::Publish(int type, std::int32_t number, const FileInfo& info) {
    found_.Append(info);
    if (traits_[static_cast<std::size_t>(type)].previewable && number % PreviewEvery == 1 &&
        callbacks_.previewFoundPicture) {
        callbacks_.previewFoundPicture(info);
    }
}

ScanDriver::EndResult ScanDriver::FindEnd(const OpenFile& open, const std::uint8_t* sector, std::size_t available,
                                          std::uint64_t cur) {
    const std::size_t t = static_cast<std::size_t>(open.type);
    const RunTraits& traits = traits_[t];
    // The sectors after cur in this chunk are those the chunk was read with.
    if (traits.trailingMarker) return TrailingMarkerRun(open, sector, cur, cur + available / kSectorBytes);

    const stExtInfo& d = types_[t];
    EndResult result;
    if (traits.lengthRule != LengthRule::None) {
        // With extended signatures the header's field was the walk's to read;
        // a sector after it is the file's data, not a header to take one from.
        if (extended_ && cur != open.start) return result;
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
            if (tooLarge) v = static_cast<std::uint32_t>(std::clamp<std::int64_t>(d.maxSizeBytes, 0, UINT32_MAX));
            break;
    }
    if (result.kind == EndKind::Reject) return result;
    result.kind = EndKind::EndFound;
    result.sectorCount = static_cast<std::int32_t>(v / kSectorSize + 1);
    return result;
}

ScanDriver::EndResult ScanDriver::TrailingMarkerRun(const OpenFile& open, const std::uint8_t* fromSector,
                                                    std::uint64_t from, std::uint64_t chunkEnd) {
    const stExtInfo& d = types_[static_cast<std::size_t>(open.type)];
    const int footers = std::clamp(d.footerCount, 0, kMaxPatterns);
    // From the header sector; with extended signatures from the first sector
    // after the part of the file its walk was sure of.
    std::uint64_t s = from;
    std::uint64_t last = from;
    std::int32_t quiet = 0;
    // The run looks at one sector at a time, past the chunk and even past the
    // range; the main loop examines those sectors again afterwards. Sectors of
    // the chunk in hand are taken from it, the others read one by one.
    while (quiet < TrailingMarkerQuietSectors) {
        const std::uint8_t* sector = markerSector_.data();
        if (s < chunkEnd) {
            sector = fromSector + (s - from) * kSectorBytes;
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
