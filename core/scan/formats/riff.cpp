// RIFF (WAV, AVI, WEBP): the declared size, checked against the chunks.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

// A sound's samples and a picture's coded image are data no walk checks: a
// header inside may be a file that overwrote the rest of this one. A movie's
// frames are chunks of their own, followed to the end.
bool HoldsUncheckedData(std::string_view type) { return type == "WAV" || type == "WEBP"; }

bool IsChunkId(const std::uint8_t* id) {
    return std::all_of(id, id + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// How far a run of chunks from pos goes: to `end` when they fill it exactly,
// else to the start of the first chunk that is not whole before it (or that
// is no chunk at all).
std::uint64_t RiffChunksReach(FileView& view, std::uint64_t pos, std::uint64_t end, int depth) {
    for (int chunks = 0; pos < end && chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (end - pos < 8 || !view.Read(pos, h, 8) || !IsChunkId(h)) return pos;
        const std::uint64_t size = Le32At(h + 4);
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > end + (size & 1)) return pos;
        // The movie list holds the frames: each of them is a chunk too.
        if (depth == 0 && std::memcmp(h, "LIST", 4) == 0 && size >= 4 && view.Read(pos + 8, h + 8, 4) &&
            std::memcmp(h + 8, "movi", 4) == 0 && RiffChunksReach(view, pos + 12, pos + 8 + size, 1) < pos + 8 + size)
            return pos;
        pos = std::min(next, end);
    }
    return pos;
}

// A RIFF whose size a streaming writer left at 0 or 0xFFFFFFFF: its chunks
// are followed one by one for as long as they are chunks. The sound's or
// movie's data chunk may carry no size either; then its end is not recorded.
Extent MeasureStreamedRiff(FileView& view, std::string_view type) {
    std::uint64_t pos = 12;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (!view.Read(pos, h, 8)) return Sure(pos);
        if (!IsChunkId(h)) break;
        const std::uint64_t size = Le32At(h + 4);
        const bool data = std::memcmp(h, "data", 4) == 0 ||
                          (std::memcmp(h, "LIST", 4) == 0 && view.Read(pos + 8, h + 8, 4) &&
                           std::memcmp(h + 8, "movi", 4) == 0);
        if (data && (size == 0 || size == 0xFFFFFFFF)) return Sure(pos + (h[0] == 'L' ? 12 : 8));
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > view.Limit()) return Sure(pos);
        pos = next;
    }
    if (pos == 12) return kUnknown;
    return HoldsUncheckedData(type) ? Opaque(pos, type) : Exact(pos, type);
}

}  // namespace

Extent MeasureRiff(FileView& view) {
    std::uint8_t head[12];
    if (!view.Read(0, head, 12)) return kUnknown;
    const std::string_view form(reinterpret_cast<const char*>(head + 8), 4);
    std::string_view type;
    if (form == "WAVE") type = "WAV";
    else if (form == "AVI ") type = "AVI";
    else if (form == "WEBP") type = "WEBP";
    else return kNotAFile;
    std::uint64_t size = Le32At(head + 4);
    if (size == 0 || size == 0xFFFFFFFF) return MeasureStreamedRiff(view, type);
    if (size < 4) return kUnknown;
    std::uint64_t end = 8 + size;
    if (end > view.Limit()) {
        // Sure of the chunks that lie whole before the bound; a sound's
        // samples cannot be checked, so only of its headers.
        return Sure(RiffChunksReach(view, 12, view.Limit(), 0));
    }
    // A movie's or picture's chunks are followed to the declared end, so a
    // cut file is noticed; a sound's samples cannot be checked.
    if (type != "WAV") {
        const std::uint64_t reached = RiffChunksReach(view, 12, end, 0);
        if (reached < end) return Sure(reached);
    }
    // An AVI beyond the first gigabyte goes on in further RIFF AVIX lists.
    while (type == "AVI") {
        std::uint8_t more[12];
        if (!view.Read(end, more, 12) || std::memcmp(more, "RIFF", 4) != 0 || std::memcmp(more + 8, "AVIX", 4) != 0)
            break;
        const std::uint64_t extra = 8 + std::uint64_t{Le32At(more + 4)};
        if (extra > view.Limit() - end) return Sure(end);
        end += extra;
    }
    return HoldsUncheckedData(type) ? Opaque(end, type) : Exact(end, type);
}

FormatMatch DetectRiff(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "RIFF")) return {FormatFamily::Riff, "WAV"};
    return {};
}

}  // namespace zt::formats
