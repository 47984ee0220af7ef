// The registry's dispatch: a sector that starts as each registered header
// does is handed to that family, typed as one of the types it lists, whichever
// first byte the header has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/scan/formats/registry.h"

namespace zt {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A 512-byte sector holding `parts` at their offsets, zeros elsewhere.
Bytes Sector(std::initializer_list<std::pair<std::size_t, Bytes>> parts) {
    Bytes s(512, 0);
    for (const auto& [at, bytes] : parts) std::copy(bytes.begin(), bytes.end(), s.begin() + static_cast<long>(at));
    return s;
}

Bytes Ascii(std::string_view t) { return {t.begin(), t.end()}; }

TEST(FormatRegistry, EachHeaderReachesItsFamilyWithATypeItLists) {
    const struct Case {
        const char* what;
        Bytes sector;
        FormatFamily family;
        std::string_view type;
    } cases[] = {
        {"JFIF JPEG",
         Sector({{0, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}}, {6, Ascii("JFIF")}, {20, {0xFF, 0xDA, 0x00, 0x0C}}}),
         FormatFamily::Jpeg, "JPEG"},
        {"MP3 with an ID3v2.3 tag", Sector({{0, Ascii("ID3\x03")}}), FormatFamily::Mp3, "MP3"},
        {"MP3 frames without a tag (128 kbit/s, 44.1 kHz: 417 bytes)",
         Sector({{0, {0xFF, 0xFB, 0x90, 0x00}}, {417, {0xFF, 0xFB, 0x90, 0x00}}}), FormatFamily::Mp3, "MP3"},
        {"PNG", Sector({{0, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}}}), FormatFamily::Png, "PNG"},
        {"GIF", Sector({{0, Ascii("GIF89a")}}), FormatFamily::Gif, "GIF"},
        {"transport stream", Sector({{0, {0x47, 0x40, 0, 0x10}}, {188, {0x47, 0x01, 0, 0x11}}, {376, {0x47, 0x01, 0, 0x12}}}),
         FormatFamily::MpegTransport, "MTS"},
        // Adaptation fields: all of a packet without payload, room for one byte with it.
        {"transport stream with adaptation fields",
         Sector({{0, {0x47, 0x40, 0, 0x20, 183}}, {188, {0x47, 0x01, 0, 0x30, 7}}, {376, {0x47, 0x01, 0, 0x31, 182}}}),
         FormatFamily::MpegTransport, "MTS"},
        // Pixels that repeat bytes near 0x47 (an uncompressed TIFF's) give a
        // run of sync bytes; their fourth bytes hold the reserved value, or an
        // adaptation field that does not fit the packet.
        {"sync bytes without a payload or an adaptation field",
         Sector({{4, {0x47, 0x10, 0x5A, 0x46}}, {196, {0x47, 0x18, 0x63, 0x46}}, {388, {0x47, 0x0C, 0x58, 0x45}}}),
         FormatFamily::None, {}},
        {"adaptation fields too long",
         Sector({{0, {0x47, 0x40, 0, 0x20, 182}}, {188, {0x47, 0x01, 0, 0x30, 183}}, {376, {0x47, 0x01, 0, 0x31, 7}}}),
         FormatFamily::None, {}},
        {"BMP", Sector({{0, Ascii("BM")}, {2, {0xE8, 0x03}}, {10, {54}}, {14, {40}}}), FormatFamily::Bmp, "BMP"},
        {"little-endian TIFF", Sector({{0, {'I', 'I', 42, 0, 8}}, {8, {1}}}), FormatFamily::Tiff, "TIFF"},
        {"big-endian TIFF", Sector({{0, {'M', 'M', 0, 42, 0, 0, 0, 8}}, {8, {0, 1}}}), FormatFamily::Tiff, "TIFF"},
        {"MIDI", Sector({{0, Ascii("MThd")}}), FormatFamily::Midi, "MIDI"},
        {"Matroska", Sector({{0, {0x1A, 0x45, 0xDF, 0xA3}}}), FormatFamily::Ebml, "MKV"},
        {"RIFF", Sector({{0, Ascii("RIFF")}, {8, Ascii("WAVE")}}), FormatFamily::Riff, "WAV"},
        {"AIFF", Sector({{0, Ascii("FORM")}, {8, Ascii("AIFF")}}), FormatFamily::Aiff, "AIFF"},
        {"AU", Sector({{0, Ascii(".snd")}}), FormatFamily::Au, "AU"},
        {"RealMedia", Sector({{0, Ascii(".RMF")}}), FormatFamily::RealMedia, "RM"},
        {"PSD", Sector({{0, Ascii("8BPS")}}), FormatFamily::Psd, "PSD"},
        {"Ogg", Sector({{0, Ascii("OggS")}, {5, {2}}}), FormatFamily::Ogg, "OGG"},
        {"FLAC", Sector({{0, Ascii("fLaC")}}), FormatFamily::Flac, "FLAC"},
        {"ASF", Sector({{0, {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE,
                             0x6C}}}),
         FormatFamily::Asf, "WMA"},
        {"DV", Sector({{0, {0x1F, 0x07, 0x00, 0x3F}}}), FormatFamily::Dv, "DV"},
        {"MPEG-2 pack", Sector({{0, {0, 0, 1, 0xBA, 0x44}}}), FormatFamily::MpegProgram, "MPEG"},
        {"MPEG-1 pack", Sector({{0, {0, 0, 1, 0xBA, 0x21}}}), FormatFamily::MpegProgram, "MPEG"},
        {"MPEG sequence header", Sector({{0, {0, 0, 1, 0xB3, 0x16, 0x00, 0xF0, 0x13}}}), FormatFamily::MpegVideo,
         "MPEG"},
        // A pack whose next bytes pass for a QuickTime box stays a pack.
        {"pack before box", Sector({{0, {0, 0, 1, 0xBA}}, {4, Ascii("moov")}}), FormatFamily::MpegProgram, "MPEG"},
        {"JPEG 2000", Sector({{0, {0, 0, 0, 12}}, {4, Ascii("jP  \r\n\x87\n")}}), FormatFamily::Jp2, "JP2"},
        {"MP4", Sector({{0, {0, 0, 0, 24}}, {4, Ascii("ftypisom")}}), FormatFamily::IsoMedia, "MP4"},
        {"HEIC", Sector({{0, {0, 0, 0, 24}}, {4, Ascii("ftypheic")}}), FormatFamily::IsoMedia, "HEIC"},
        {"QuickTime from its wide box", Sector({{0, {0, 0, 0, 8}}, {4, Ascii("wide")}}), FormatFamily::IsoMedia, "MOV"},
        {"M2TS", Sector({{4, {0x47, 0x40, 0, 0x10}}, {196, {0x47, 0x01, 0, 0x11}}, {388, {0x47, 0x01, 0, 0x12}}}),
         FormatFamily::MpegTransport, "MTS"},
        {"zeros", Sector({}), FormatFamily::None, {}},
    };
    for (const Case& c : cases) {
        const FormatMatch m = DetectFormat(c.sector.data(), c.sector.size());
        EXPECT_EQ(m.family, c.family) << c.what;
        EXPECT_EQ(m.type, c.type) << c.what;
        if (const FormatEntry* entry = FindFormat(c.family)) {
            EXPECT_NE(std::find(entry->types.begin(), entry->types.end(), m.type), entry->types.end()) << c.what;
        }
        // Fewer than a sector at hand: nothing is read, nothing detected.
        EXPECT_EQ(DetectFormat(c.sector.data(), 511).family, FormatFamily::None) << c.what;
    }
}

TEST(FormatRegistry, EveryFamilyIsListedOnceAndMeasuresThroughItsEntry) {
    std::vector<FormatFamily> seen;
    for (const FormatEntry& entry : FormatRegistry()) {
        EXPECT_EQ(FindFormat(entry.family), &entry) << entry.name;
        EXPECT_FALSE(entry.types.empty()) << entry.name;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), entry.family), 0) << entry.name;
        seen.push_back(entry.family);
        for (std::string_view type : entry.types) EXPECT_TRUE(IsWalkedType(type)) << type;
    }
    EXPECT_EQ(FindFormat(FormatFamily::None), nullptr);
    EXPECT_FALSE(IsWalkedType("PSP"));  // found by the catalogue's markers
    EXPECT_FALSE(IsWalkedType("CRW"));  // a stand-in for CR2, walked by no family
    // A sector of zeros is no whole file of any family; measuring through
    // None is refused.
    const Bytes zeros(512, 0);
    for (const FormatEntry& entry : FormatRegistry()) {
        MemoryFileView view(zeros.data(), zeros.size());
        EXPECT_NE(MeasureFormat(entry.family, view).kind, ExtentKind::Exact) << entry.name;
    }
    MemoryFileView view(zeros.data(), zeros.size());
    EXPECT_EQ(MeasureFormat(FormatFamily::None, view).kind, ExtentKind::NotAFile);
}

}  // namespace
}  // namespace zt
