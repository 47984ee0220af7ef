// RIFF (WAV, AVI, WEBP) and RF64 (WAV): the declared size, checked against the chunks.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

// A sound's samples and a picture's coded image are data no walk checks: a
// header inside may be a file that overwrote the rest of this one. A movie's
// frames are chunks of their own, followed to the end.
bool HoldsUncheckedData(std::string_view type) { return type == "WAV" || type == "WEBP"; }

// Beyond this an RF64 size is no size at all, and 8 more would overflow.
constexpr std::uint64_t kMaxRf64Bytes = std::uint64_t{1} << 60;

bool IsChunkId(const std::uint8_t* id) {
    return std::all_of(id, id + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// The chunks a movie list holds: a stream's frames or sound ("00dc", "01wb"),
// its index ("ix00"), padding and grouping lists, and the old index after it.
bool IsMovieChunkId(const std::uint8_t* id) {
    const auto hex = [](std::uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    const auto lower = [](std::uint8_t c) { return c >= 'a' && c <= 'z'; };
    if (hex(id[0]) && hex(id[1]) && lower(id[2]) && lower(id[3])) return true;
    if (id[0] == 'i' && id[1] == 'x' && hex(id[2]) && hex(id[3])) return true;
    const std::string_view name(reinterpret_cast<const char*>(id), 4);
    return name == "JUNK" || name == "LIST" || name == "idx1";
}

// Whether a RIFF file of one of our forms (any of them when `form` is empty) begins at `at`.
bool StartsRiff(FileView& view, std::uint64_t at, std::string_view form = {}) {
    std::uint8_t h[12];
    if (!view.Read(at, h, sizeof h) || std::memcmp(h, "RIFF", 4) != 0) return false;
    const std::string_view found(reinterpret_cast<const char*>(h + 8), 4);
    return form.empty() ? IsOneOf(found, {"WAVE", "AVI ", "WEBP"}) : found == form;
}

// How far the chunks from pos are known to go: to `end` when they fill it
// exactly, else to the start of the last chunk that a next chunk's header
// does not confirm. A copy cut inside a chunk leaves that chunk's size
// running into whatever overwrote the rest; only a header at its end, whose
// size fits too, shows the chunk is whole. `dataSize` stands for a sound
// data chunk's size field of 0xFFFFFFFF (RF64 keeps the true one apart).
std::uint64_t RiffChunksReach(FileView& view, std::uint64_t pos, std::uint64_t end, int depth,
                              std::uint64_t dataSize = 0) {
    std::uint64_t last = pos;
    bool lastIsMovie = false;
    for (int chunks = 0; pos < end && chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (end - pos < 8 || !view.Read(pos, h, 8) || !IsChunkId(h)) return last;
        std::uint64_t size = Le32At(h + 4);
        if (size == 0xFFFFFFFF && dataSize != 0 && std::memcmp(h, "data", 4) == 0) size = dataSize;
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > end + (size & 1)) return last;
        // The movie list holds the frames: each of them is a chunk too.
        lastIsMovie = depth == 0 && std::memcmp(h, "LIST", 4) == 0 && size >= 4 && view.Read(pos + 8, h + 8, 4) &&
                      std::memcmp(h + 8, "movi", 4) == 0;
        if (lastIsMovie && RiffChunksReach(view, pos + 12, pos + 8 + size, 1) < pos + 8 + size) return pos;
        last = pos;
        pos = std::min(next, end);
    }
    // The last chunk is borne out only by the declared sizes, written before
    // it: where its end is out of view, or another RIFF file begins at a
    // sector inside it, the copy was cut in it. (A movie list's last frame
    // has been looked at already.)
    if (pos < end || end > view.Limit()) return last;
    if (!lastIsMovie && NextFileWithin(last, end, [&](std::uint64_t at) { return StartsRiff(view, at); })) return last;
    return end;
}

// A movie written to a pipe leaves its movie list's size open as well: its
// frames, indexes and padding are followed chunk by chunk to the first bytes
// that are none. A copy cut inside its last chunk, with another movie from
// the next sector on, ends where that movie begins.
Extent MeasureStreamedMovie(FileView& view, std::uint64_t pos) {
    const std::uint64_t first = pos;
    std::uint64_t last = pos;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[8];
        if (!view.Read(pos, h, 8)) return Sure(last, "AVI");
        if (!IsMovieChunkId(h)) break;
        const std::uint64_t size = Le32At(h + 4);
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > view.Limit()) return Sure(pos, "AVI");
        last = pos;
        pos = next;
    }
    if (pos == first) return Sure(first, "AVI");
    const auto other = NextFileWithin(last, pos, [&](std::uint64_t at) { return StartsRiff(view, at, "AVI "); });
    return Exact(other.value_or(pos), "AVI");
}

// A RIFF whose size a streaming writer left at 0 or 0xFFFFFFFF: its chunks
// are followed one by one for as long as they are chunks. A sound's data
// chunk may carry no size either; then its end is not recorded.
Extent MeasureStreamedRiff(FileView& view, std::string_view type) {
    std::uint64_t pos = 12;
    std::uint64_t last = pos;
    for (int chunks = 0; chunks < kMaxPieces; ++chunks) {
        std::uint8_t h[12];
        if (!view.Read(pos, h, 8)) return Sure(last, type);
        if (!IsChunkId(h)) break;
        const std::uint64_t size = Le32At(h + 4);
        const bool movie = std::memcmp(h, "LIST", 4) == 0 && view.Read(pos + 8, h + 8, 4) &&
                           std::memcmp(h + 8, "movi", 4) == 0;
        if ((movie || std::memcmp(h, "data", 4) == 0) && (size == 0 || size == 0xFFFFFFFF)) {
            if (movie && type == "AVI") return MeasureStreamedMovie(view, pos + 12);
            return Sure(pos + (movie ? 12 : 8), type);
        }
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next > view.Limit()) return Sure(pos, type);
        last = pos;
        pos = next;
    }
    if (pos == 12) return kUnknown;
    return HoldsUncheckedData(type) ? Opaque(pos, type) : Exact(pos, type);
}

// The declared end, when the chunks bear it out; how much of the start is
// certain when they do not.
Extent MeasureDeclaredRiff(FileView& view, std::string_view type, std::uint64_t end, std::uint64_t dataSize) {
    if (end > view.Limit()) {
        // Sure of the chunks confirmed before the bound; a sound's samples
        // cannot be checked, so only of its headers.
        return Sure(RiffChunksReach(view, 12, end, 0, dataSize), type);
    }
    // A movie's or picture's chunks are followed to the declared end, so a
    // cut file is noticed; a sound's samples cannot be checked.
    if (type != "WAV") {
        const std::uint64_t reached = RiffChunksReach(view, 12, end, 0);
        if (reached < end) return Sure(reached, type);
    }
    // An AVI beyond the first gigabyte goes on in further RIFF AVIX lists.
    while (type == "AVI") {
        std::uint8_t more[12];
        if (!view.Read(end, more, 12) || std::memcmp(more, "RIFF", 4) != 0 || std::memcmp(more + 8, "AVIX", 4) != 0)
            break;
        const std::uint64_t extra = 8 + std::uint64_t{Le32At(more + 4)};
        if (extra > view.Limit() - end) return Sure(end, type);
        end += extra;
    }
    return HoldsUncheckedData(type) ? Opaque(end, type) : Exact(end, type);
}

// RF64, and BW64 as broadcasters name it: a sound that may pass 4 GiB, its
// 32-bit sizes left at 0xFFFFFFFF and the true ones in a ds64 chunk first.
Extent MeasureWave64(FileView& view) {
    std::uint8_t ds[36];
    if (!view.Read(12, ds, sizeof ds)) return kUnknown;
    if (std::memcmp(ds, "ds64", 4) != 0 || Le32At(ds + 4) < 24) return kNotAFile;
    const std::uint64_t riffSize = Le64At(ds + 8);
    const std::uint64_t dataSize = Le64At(ds + 16);
    // A writer that could not go back leaves them at 0, as RIFF's own.
    if (riffSize == 0) return MeasureStreamedRiff(view, "WAV");
    if (riffSize < 4 + 8 + 24 || riffSize > kMaxRf64Bytes) return kUnknown;
    return MeasureDeclaredRiff(view, "WAV", 8 + riffSize, dataSize);
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
    if (std::memcmp(head, "RIFF", 4) != 0) return type == "WAV" ? MeasureWave64(view) : kNotAFile;
    const std::uint64_t size = Le32At(head + 4);
    if (size == 0 || size == 0xFFFFFFFF) return MeasureStreamedRiff(view, type);
    if (size < 4) return kUnknown;
    return MeasureDeclaredRiff(view, type, 8 + size, 0);
}

FormatMatch DetectRiff(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "RIFF")) return {FormatFamily::Riff, "WAV"};
    if ((Starts(s, available, 0, "RF64") || Starts(s, available, 0, "BW64")) && Le32At(s + 4) == 0xFFFFFFFF &&
        Starts(s, available, 8, "WAVEds64"))
        return {FormatFamily::Riff, "WAV"};
    return {};
}

}  // namespace zt::formats
