// EBML (MKV, WEBM): the segment and its level-one elements.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

struct Vint {
    std::uint64_t value = 0;
    int length = 0;
    bool unknown = false;
};

// keepMarker: element IDs keep their length marker bit; sizes drop it.
std::optional<Vint> ReadVint(FileView& view, std::uint64_t at, bool keepMarker, int maxLength) {
    const std::optional<std::uint8_t> first = view.U8(at);
    if (!first || *first == 0) return std::nullopt;
    const int length = std::countl_zero(*first) + 1;
    if (length > maxLength) return std::nullopt;
    Vint v;
    v.length = length;
    std::uint64_t mask = (0xFFu >> length);
    v.value = keepMarker ? *first : (*first & mask);
    bool allOnes = (*first & mask) == mask;
    for (int i = 1; i < length; ++i) {
        const std::optional<std::uint8_t> b = view.U8(at + static_cast<std::uint64_t>(i));
        if (!b) return std::nullopt;
        v.value = (v.value << 8) | *b;
        allOnes = allOnes && *b == 0xFF;
    }
    v.unknown = !keepMarker && allOnes;
    return v;
}

bool IsLevelOneId(std::uint64_t id) {
    return id == 0x114D9B74 || id == 0x1549A966 || id == 0x1654AE6B || id == 0x1F43B675 || id == 0x1C53BB6B ||
           id == 0x1941A469 || id == 0x1043A770 || id == 0x1254C367 || id == 0xEC || id == 0xBF;
}

bool IsClusterChildId(std::uint64_t id) {
    return id == 0xE7 || id == 0xA3 || id == 0xA0 || id == 0xA7 || id == 0xAB || id == 0x5854 || id == 0xAF ||
           id == 0xEC || id == 0xBF;
}

// Whether an element of this ID may have this size: the integers a cluster
// holds (its timestamp, position, previous size) take at most eight bytes, a
// CRC-32 four, a block at least its track, timestamp and flags. What follows
// a live recording's last cluster may begin like one of its children; bytes
// of no such size end the cluster there.
bool FitsElement(std::uint64_t id, std::uint64_t size) {
    switch (id) {
        case 0xE7: case 0xA7: case 0xAB: return size <= 8;
        case 0xBF: return size == 4;
        case 0xA3: case 0xAF: return size >= 4;
        default: return true;
    }
}

// Walks elements from pos while `belongs` accepts their IDs, and no further
// than `until` (where a parent of known size ends: what follows it may start
// like an element, a Void's 0xEC say, and is not the parent's); elements of
// unknown size are walked into with `inner`. Returns where the walk stopped.
std::optional<std::uint64_t> WalkEbml(FileView& view, std::uint64_t pos, std::uint64_t until,
                                      bool (*belongs)(std::uint64_t), bool (*inner)(std::uint64_t), int depth) {
    for (int elements = 0; elements < kMaxPieces; ++elements) {
        if (pos >= until) return pos;
        const std::optional<Vint> id = ReadVint(view, pos, true, 4);
        if (!id || !belongs(id->value)) return pos;
        const std::optional<Vint> size = ReadVint(view, pos + static_cast<std::uint64_t>(id->length), false, 8);
        if (!size || (!size->unknown && !FitsElement(id->value, size->value))) return pos;
        const std::uint64_t data = pos + static_cast<std::uint64_t>(id->length + size->length);
        if (size->unknown) {
            if (depth > 0 || inner == nullptr) return std::nullopt;
            const std::optional<std::uint64_t> end = WalkEbml(view, data, until, inner, nullptr, depth + 1);
            if (!end) return std::nullopt;
            pos = *end;
            continue;
        }
        if (size->value > view.Limit() - data) return std::nullopt;
        pos = data + size->value;
    }
    return std::nullopt;
}

}  // namespace

Extent MeasureEbml(FileView& view) {
    const std::optional<Vint> headerSize = ReadVint(view, 4, false, 8);
    if (!headerSize || headerSize->unknown || headerSize->value > 4096) return kNotAFile;
    const std::uint64_t headerData = 4 + static_cast<std::uint64_t>(headerSize->length);
    const std::uint64_t headerEnd = headerData + headerSize->value;
    std::string_view type = "MKV";
    for (std::uint64_t at = headerData; at < headerEnd;) {
        const std::optional<Vint> id = ReadVint(view, at, true, 4);
        if (!id) return kUnknown;
        const std::optional<Vint> size = ReadVint(view, at + static_cast<std::uint64_t>(id->length), false, 8);
        if (!size || size->unknown) return kUnknown;
        const std::uint64_t data = at + static_cast<std::uint64_t>(id->length + size->length);
        if (id->value == 0x4282 && size->value == 4 && view.Equals(data, Text("webm"))) type = "WEBM";
        if (size->value > headerEnd - std::min(headerEnd, data)) return kUnknown;
        at = data + size->value;
    }
    const std::optional<Vint> segment = ReadVint(view, headerEnd, true, 4);
    if (!segment || segment->value != 0x18538067) return kUnknown;
    const std::optional<Vint> size = ReadVint(view, headerEnd + 4, false, 8);
    if (!size) return kUnknown;
    const std::uint64_t data = headerEnd + 4 + static_cast<std::uint64_t>(size->length);
    if (!size->unknown) {
        if (size->value > view.Limit() - data) return kUnknown;
        // The segment's children must fill it: a cut file ends in noise.
        const std::optional<std::uint64_t> end =
            WalkEbml(view, data, data + size->value, IsLevelOneId, IsClusterChildId, 0);
        if (!end || *end != data + size->value) return kUnknown;
        return Exact(data + size->value, type);
    }
    // A live recording: the segment's size was never written; its children say where it ends.
    const std::optional<std::uint64_t> end = WalkEbml(view, data, UINT64_MAX, IsLevelOneId, IsClusterChildId, 0);
    if (!end || *end == data) return kUnknown;
    return Exact(*end, type);
}

FormatMatch DetectEbml(const std::uint8_t* s, std::size_t) {
    if (Be32At(s) == 0x1A45DFA3) return {FormatFamily::Ebml, "MKV"};
    return {};
}

}  // namespace zt::formats
