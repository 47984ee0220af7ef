// One fuzz input given to the format walks of the extended signatures and to
// a scan with them, from memory. The first bytes choose a family to walk
// besides the one the data's header points to, how the view serves its
// bytes, where the view's bound lies and the types' maximum size; the rest is
// the file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/scan/scan_driver.h"
#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"

namespace zt::fuzz {

inline constexpr std::size_t kWalkConfigBytes = 5;

// The bytes below the bound in one allocation of exactly that size, so a
// walk that indexes past what it was handed reads a redzone.
class WholeView final : public FileView {
public:
    WholeView(const std::uint8_t* data, std::uint64_t limit)
        : FileView(limit), bytes_(std::make_unique<std::uint8_t[]>(limit)) {
        std::memcpy(bytes_.get(), data, limit);
    }

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        if (offset >= Limit()) __builtin_trap();
        return {bytes_.get() + offset, static_cast<std::size_t>(Limit() - offset)};
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

// Serves the bytes as the scan's view of the source does: one block at a
// time, and the block held before is gone once another is fetched. A walk
// that keeps using a span after a later read moved the view on reads freed
// memory, which the scan would see as other bytes of the source.
class BlockView final : public FileView {
public:
    BlockView(const std::uint8_t* data, std::uint64_t limit, std::size_t block)
        : FileView(limit), data_(data), block_(block) {}

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        if (offset >= Limit()) __builtin_trap();
        if (!held_ || offset < start_ || offset >= start_ + size_) {
            held_.reset();
            start_ = offset / block_ * block_;
            size_ = static_cast<std::size_t>(std::min<std::uint64_t>(block_, Limit() - start_));
            held_ = std::make_unique<std::uint8_t[]>(size_);
            std::memcpy(held_.get(), data_ + start_, size_);
        }
        return {held_.get() + (offset - start_), size_ - static_cast<std::size_t>(offset - start_)};
    }

private:
    const std::uint8_t* data_;
    std::size_t block_;
    std::unique_ptr<std::uint8_t[]> held_;
    std::uint64_t start_ = 0;
    std::size_t size_ = 0;
};

inline bool SameExtent(const Extent& a, const Extent& b) {
    return a.kind == b.kind && a.bytes == b.bytes && a.type == b.type && a.opaque == b.opaque;
}

// Why the walk of one family over the data broke its promises; empty when it kept them.
inline std::string_view WalkFailure(FormatFamily family, const std::uint8_t* data, std::uint64_t limit,
                                    std::size_t block) {
    WholeView whole(data, limit);
    const Extent e = MeasureFormat(family, whole);
    if (!SameExtent(e, MeasureFormat(family, whole))) return "a second walk over the same view differs";
    BlockView blocks(data, limit, block);
    if (!SameExtent(e, MeasureFormat(family, blocks))) return "the walk depends on how the view serves its bytes";
    if (e.kind == ExtentKind::Exact && (e.bytes == 0 || e.bytes > limit)) return "an exact extent outside the view";
    if (e.kind == ExtentKind::Unknown && e.bytes > limit) return "an unknown extent sure of bytes past the view";
    if (e.kind != ExtentKind::Exact || e.bytes == limit) return {};

    // The file alone, without what followed it, must measure the same. A
    // stream whose length nothing records (program and transport streams,
    // DV, MPEG audio, a RIFF its writer left unsized) ends where the next
    // bytes are not a unit of it; once it is cut right there nothing shows
    // whether more would have followed, so it may come out unknown instead.
    // One whose last unit ran into a next file's first sector ended at that
    // sector; cut there, its last unit is no longer whole. Unknown, it is
    // sure of no more than it measured; it must still never give another end.
    WholeView file(data, e.bytes);
    const Extent cut = MeasureFormat(family, file);
    const bool stream = family == FormatFamily::MpegProgram || family == FormatFamily::MpegTransport ||
                        family == FormatFamily::Dv || family == FormatFamily::Mp3 || family == FormatFamily::Riff;
    if (stream && cut.kind == ExtentKind::Unknown && cut.bytes <= e.bytes) return {};
    if (!SameExtent(e, cut)) return "the file cut at its own end measures otherwise";
    return {};
}

// Why a scan with every extended type selected went wrong; empty when it did not.
inline std::string_view ScanFailure(const std::uint8_t* data, std::size_t size, std::uint64_t limit,
                                    std::uint8_t sizeChoice) {
    static constexpr std::int32_t kMaxSizesKB[] = {MinMaxSizeKB, 3, 16, 64, DefaultMaxSizeKB};
    const std::int32_t maxSizeKB = kMaxSizesKB[sizeChoice % std::size(kMaxSizesKB)];
    const std::uint64_t rangeEnd = (limit + kSectorBytes - 1) / kSectorBytes;
    if (rangeEnd == 0) return {};

    // The data goes on past the range, so a scan that overshoots it finds more.
    thread_local std::vector<std::uint8_t> image;
    image.assign(data, data + size);
    image.resize((size + kSectorBytes - 1) / kSectorBytes * kSectorBytes, 0);

    thread_local std::map<std::int32_t, TypeDefinitionList> built;
    auto [cached, fresh] = built.try_emplace(maxSizeKB);
    if (fresh) {
        std::vector<TypeRow> rows = DefaultTypeRows(SignatureMode::Extended);
        for (TypeRow& row : rows) {
            row.ticked = true;
            row.sizeText = std::to_string(maxSizeKB);
        }
        cached->second = BuildTypeDefinitionList(rows, SignatureMode::Extended).definitions;
    }
    TypeDefinitionList types = cached->second;

    SourceDescriptor source;
    source.DeviceNames[0] = "memory";
    source.RangeStart = 0;
    source.RangeEnd = rangeEnd;
    BadSectorPolicyState policy;
    testing::MemoryRawIo io(image);
    SectorReader reader(source, policy, io);
    FoundFileList found;
    ScanDriver driver(reader, types, found, {}, SignatureMode::Extended);
    driver.Run();
    if (driver.CurrentSector() != rangeEnd) return "the scan did not reach the range's end";
    for (const FileInfo& f : found.Snapshot()) {
        if (f.startSector >= rangeEnd || f.sectorCount < 0) return "a file recorded outside the range";
        if (f.byteLength == 0) continue;
        if (f.byteLength > std::uint64_t(maxSizeKB) * 1024) return "a measured file larger than its type allows";
        const std::uint64_t sectors = (f.byteLength + kSectorBytes - 1) / kSectorBytes;
        if (std::uint64_t(f.sectorCount) != sectors) return "a measured file's sectors disagree with its bytes";
        if (f.startSector + sectors > rangeEnd) return "a measured file reaching past the range";
    }
    return {};
}

// Why this input broke a walk or the scan; empty when nothing did.
inline std::string_view FormatWalksFailure(const std::uint8_t* input, std::size_t size) {
    if (size < kWalkConfigBytes) return {};
    constexpr int kFamilies = static_cast<int>(FormatFamily::Jp2);
    const auto chosen = static_cast<FormatFamily>(1 + input[0] % kFamilies);
    // Tiny blocks put block ends everywhere; whole sectors are what the scan reads.
    const std::size_t block = input[1] & 0x80 ? kSectorBytes * (1u + (input[1] & 7u)) : 1u + input[1];
    const std::uint32_t trim = input[2] | std::uint32_t{input[3]} << 8;
    const std::uint8_t sizeChoice = input[4];
    const std::uint8_t* data = input + kWalkConfigBytes;
    const std::size_t n = size - kWalkConfigBytes;
    const std::uint64_t limit = n - trim % (n + 1);

    // The header as the scan sees it: at least a sector, zeros after the bound.
    std::vector<std::uint8_t> sector(data, data + limit);
    sector.resize(std::max<std::size_t>(sector.size(), kSectorBytes), 0);
    const std::unique_ptr<std::uint8_t[]> exact = std::make_unique<std::uint8_t[]>(sector.size());
    std::memcpy(exact.get(), sector.data(), sector.size());
    const FormatFamily detected = DetectFormat(exact.get(), sector.size()).family;

    if (detected != FormatFamily::None) {
        if (std::string_view why = WalkFailure(detected, data, limit, block); !why.empty()) return why;
    }
    if (chosen != detected) {
        if (std::string_view why = WalkFailure(chosen, data, limit, block); !why.empty()) return why;
    }
    return ScanFailure(data, n, limit, sizeChoice);
}

}  // namespace zt::fuzz
