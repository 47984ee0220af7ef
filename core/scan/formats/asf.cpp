// ASF (WMA, WMV): the header object and the objects after it.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

constexpr std::uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kAsfObjects[][16] = {
    {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C},  // data
    {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB},  // simple index
    {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11, 0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE},  // index
    {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C, 0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C},  // media object index
    {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48, 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C},  // timecode index
};
constexpr std::uint8_t kAsfVideoMedia[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                             0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr std::uint8_t kAsfStreamProperties[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::uint8_t kAsfHeaderExtension[16] = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::uint8_t kAsfFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// The data object's own fields before its packets: file ID, packet count, reserved.
constexpr std::uint64_t kAsfDataHeader = 24 + 16 + 8 + 2;
// A header of more objects than this is not one a writer made.
constexpr int kAsfMaxHeaderObjects = 256;

// What the header's objects tell the walk: whether a stream properties
// object declares a video stream, and the size of every data packet, where
// the file properties give one for all (their least and largest sizes equal,
// as every writer makes them; 0 otherwise).
struct AsfHeaderFacts {
    bool video = false;
    std::uint32_t packet = 0;
    bool sawFileProperties = false;
};

// Reads the objects in [pos, end), and those of a header extension there,
// into facts until both are known. Reads only the objects' own headers, one
// after another by their sizes, never the bytes in between; stops at the
// first that is no object.
void ReadHeaderObjects(FileView& view, std::uint64_t pos, std::uint64_t end, int& objects, AsfHeaderFacts& facts) {
    while (end - pos >= 24 && objects++ < kAsfMaxHeaderObjects && !(facts.video && facts.sawFileProperties)) {
        std::uint8_t h[40];
        const std::optional<std::uint64_t> size = view.Le64(pos + 16);
        if (!view.Read(pos, h, 16) || !size || *size < 24 || *size > end - pos) return;
        if (std::memcmp(h, kAsfStreamProperties, 16) == 0) {
            facts.video = facts.video || (*size >= 40 && view.Read(pos + 24, h + 24, 16) &&
                                          std::memcmp(h + 24, kAsfVideoMedia, 16) == 0);
        } else if (std::memcmp(h, kAsfHeaderExtension, 16) == 0 && *size >= 46) {
            ReadHeaderObjects(view, pos + 46, pos + *size, objects, facts);
        } else if (std::memcmp(h, kAsfFileProperties, 16) == 0 && !facts.sawFileProperties) {
            facts.sawFileProperties = true;
            const std::optional<std::uint32_t> least = view.Le32(pos + 92), largest = view.Le32(pos + 96);
            if (*size >= 104 && least && largest && *least == *largest) facts.packet = *least;
        }
        pos += *size;
    }
}

// Where the packets of a data object whose size was left open end: a writer
// to a pipe or a broadcast cannot go back to write it, and leaves it at the
// object's own header (or at 0). Packets of the fixed size are followed while
// each opens as the first does (its error correction flags, or its length
// flags); what no packet begins like ends them.
std::uint64_t OpenPacketsEnd(FileView& view, std::uint64_t first, std::uint32_t packet) {
    // A packet opens with error correction flags (two bytes of it, 0x82) or
    // with length flags, whose top bit is clear; an index object's GUID, as
    // after a data object that holds no packet, does neither.
    std::uint8_t lead[3];
    if (packet < 3 || !view.Read(first, lead, 3) || (lead[0] != 0x82 && (lead[0] & 0x80))) return first;
    std::uint64_t pos = first;
    for (int packets = 0; packets < kMaxPieces; ++packets) {
        std::uint8_t h[3];
        if (pos + packet > view.Limit() || !view.Read(pos, h, 3) || h[0] != lead[0]) break;
        // Error correction data of two bytes, as written, is two zeros.
        if (h[0] == 0x82 && (h[1] | h[2]) != 0) break;
        pos += packet;
    }
    return pos;
}

}  // namespace

Extent MeasureAsf(FileView& view) {
    const std::optional<std::uint64_t> headerSize = view.Le64(16);
    if (!headerSize || *headerSize < 30 || *headerSize > (1u << 24)) return kNotAFile;
    std::uint64_t pos = *headerSize;
    if (pos > view.Limit()) return kUnknown;
    int headerObjects = 0;
    AsfHeaderFacts facts;
    ReadHeaderObjects(view, 30, pos, headerObjects, facts);
    const std::string_view type = facts.video ? "ASF" : "WMA";
    for (int objects = 0; objects < 64; ++objects) {
        std::uint8_t h[24];
        if (!view.Read(pos, h, 24)) break;
        const bool known = std::any_of(std::begin(kAsfObjects), std::end(kAsfObjects),
                                       [&](const std::uint8_t (&g)[16]) { return std::memcmp(h, g, 16) == 0; });
        if (!known) break;
        std::uint64_t size = 0;
        for (int i = 7; i >= 0; --i) size = (size << 8) | h[16 + i];
        if (objects == 0 && std::memcmp(h, kAsfObjects[0], 16) == 0 && (size == 0 || size == kAsfDataHeader)) {
            if (facts.packet == 0 || kAsfDataHeader > view.Limit() - pos) return kUnknown;
            pos = OpenPacketsEnd(view, pos + kAsfDataHeader, facts.packet);
            continue;
        }
        if (size < 24 || size > view.Limit() - pos) return kUnknown;
        pos += size;
    }
    return Opaque(pos, type);
}

FormatMatch DetectAsf(const std::uint8_t* s, std::size_t) {
    if (std::memcmp(s, kAsfHeader, 16) == 0) return {FormatFamily::Asf, "WMA"};
    return {};
}

}  // namespace zt::formats
