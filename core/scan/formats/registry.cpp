#include "core/scan/formats/registry.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt {

namespace {

using namespace formats;

constexpr std::string_view kJpegTypes[] = {"JPEG"};
constexpr std::string_view kPngTypes[] = {"PNG"};
constexpr std::string_view kGifTypes[] = {"GIF"};
constexpr std::string_view kBmpTypes[] = {"BMP"};
// The maker's RAW type comes from the Make text. RAW and SR2 are the
// catalogue's older rows for Panasonic's and Sony's files, which stand in
// for RW2 and ARW when those are not selected.
constexpr std::string_view kTiffTypes[] = {"TIFF", "CR2", "NEF", "PEF", "ARW", "ERF", "MEF",
                                           "DCR",  "DNG", "ORF", "RW2", "RAW", "SR2"};
constexpr std::string_view kIsoTypes[] = {"MP4", "MOV", "M4V", "M4A", "3GP", "3G2", "HEIC", "CR3"};
constexpr std::string_view kEbmlTypes[] = {"MKV", "WEBM"};
constexpr std::string_view kRiffTypes[] = {"WAV", "AVI", "WEBP"};
constexpr std::string_view kAiffTypes[] = {"AIFF"};
constexpr std::string_view kAuTypes[] = {"AU"};
constexpr std::string_view kPsdTypes[] = {"PSD"};
constexpr std::string_view kMidiTypes[] = {"MIDI"};
constexpr std::string_view kOggTypes[] = {"OGG"};
constexpr std::string_view kFlacTypes[] = {"FLAC"};
constexpr std::string_view kMp3Types[] = {"MP3"};
constexpr std::string_view kProgramTypes[] = {"MPEG", "VOB"};
// An elementary stream is typed as the program streams' row is.
constexpr std::string_view kVideoTypes[] = {"MPEG"};
constexpr std::string_view kTransportTypes[] = {"MTS"};
constexpr std::string_view kDvTypes[] = {"DV"};
constexpr std::string_view kAsfTypes[] = {"WMA", "ASF"};
constexpr std::string_view kRealMediaTypes[] = {"RM"};
constexpr std::string_view kJp2Types[] = {"JP2"};

// In the order of the FormatFamily values, from Jpeg on.
constexpr FormatEntry kFormats[] = {
    {FormatFamily::Jpeg, "JPEG", kJpegTypes, MeasureJpeg},
    {FormatFamily::Png, "PNG", kPngTypes, MeasurePng},
    {FormatFamily::Gif, "GIF", kGifTypes, MeasureGif},
    {FormatFamily::Bmp, "BMP", kBmpTypes, MeasureBmp},
    {FormatFamily::Tiff, "TIFF and TIFF-based RAW", kTiffTypes, MeasureTiff},
    {FormatFamily::IsoMedia, "ISO base media", kIsoTypes, MeasureIso},
    {FormatFamily::Ebml, "EBML (Matroska)", kEbmlTypes, MeasureEbml},
    {FormatFamily::Riff, "RIFF", kRiffTypes, MeasureRiff},
    {FormatFamily::Aiff, "AIFF", kAiffTypes, MeasureAiff},
    {FormatFamily::Au, "AU", kAuTypes, MeasureAu},
    {FormatFamily::Psd, "Photoshop", kPsdTypes, MeasurePsd},
    {FormatFamily::Midi, "MIDI", kMidiTypes, MeasureMidi},
    {FormatFamily::Ogg, "Ogg", kOggTypes, MeasureOgg},
    {FormatFamily::Flac, "FLAC", kFlacTypes, MeasureFlac},
    {FormatFamily::Mp3, "MPEG audio", kMp3Types, MeasureMp3},
    {FormatFamily::MpegProgram, "MPEG program stream", kProgramTypes, MeasureMpegProgram},
    {FormatFamily::MpegVideo, "MPEG video stream", kVideoTypes, MeasureMpegVideo},
    {FormatFamily::MpegTransport, "MPEG transport stream", kTransportTypes, MeasureTransport},
    {FormatFamily::Dv, "DV", kDvTypes, MeasureDv},
    {FormatFamily::Asf, "ASF", kAsfTypes, MeasureAsf},
    {FormatFamily::RealMedia, "RealMedia", kRealMediaTypes, MeasureRealMedia},
    {FormatFamily::Jp2, "JPEG 2000", kJp2Types, MeasureJp2},
};

constexpr bool InFamilyOrder() {
    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        if (static_cast<std::size_t>(kFormats[i].family) != i + 1) return false;
    }
    return true;
}
static_assert(InFamilyOrder(), "kFormats lists every family once, in the order of their values");

// A header a sector may start with. `leads` holds the first bytes it can
// begin with; an empty one is tried on sectors whose first byte no other
// header leads with (box sizes, start codes, time stamps).
struct HeaderRule {
    std::string_view leads;
    Detector detect;
};

// In the order they are tried: where two could match the same bytes, the
// earlier one wins (a pack header whose next byte passes for a box type is a
// pack; an M2TS time stamp ahead of a pack's bytes is not).
constexpr HeaderRule kHeaders[] = {
    {"\xFF", DetectJpeg},
    {"\xFF" "I", DetectMp3},  // a frame, or an ID3v2 tag
    {"\x89", DetectPng},
    {"G", DetectGif},
    {"G", DetectTransport},  // 0x47, the sync byte of a packet
    {"B", DetectBmp},
    {"IM", DetectTiff},
    {"M", DetectMidi},
    {"\x1A", DetectEbml},
    {"RB", DetectRiff},  // RIFF, RF64, BW64
    {"F", DetectAiff},
    {".", DetectAu},
    {".", DetectRealMedia},
    {"8", DetectPsd},
    {"O", DetectOgg},
    {"f", DetectFlac},
    {"0", DetectAsf},
    {"\x1F", DetectDv},
    {"", DetectMpegProgram},
    {"", DetectMpegVideo},
    {"", DetectJp2},
    {"", DetectIso},
    {"", DetectTimestampedTransport},
};

constexpr std::size_t kMostRulesPerLead = 8;

// For each first byte, the rules to try, in order; a short list ends with null.
struct LeadTable {
    std::array<std::array<Detector, kMostRulesPerLead>, 256> rules{};
};

constexpr LeadTable BuildLeadTable() {
    LeadTable t;
    for (std::size_t b = 0; b < 256; ++b) {
        const char lead = static_cast<char>(static_cast<unsigned char>(b));
        bool led = false;
        for (const HeaderRule& r : kHeaders) led = led || r.leads.find(lead) != std::string_view::npos;
        std::size_t n = 0;
        for (const HeaderRule& r : kHeaders) {
            const bool applies = led ? r.leads.find(lead) != std::string_view::npos : r.leads.empty();
            if (applies) t.rules[b][n++] = r.detect;
        }
    }
    return t;
}

constexpr LeadTable kLeadTable = BuildLeadTable();

}  // namespace

std::span<const FormatEntry> FormatRegistry() { return kFormats; }

const FormatEntry* FindFormat(FormatFamily family) {
    const std::size_t i = static_cast<std::size_t>(family);
    if (i == 0 || i > std::size(kFormats)) return nullptr;
    return &kFormats[i - 1];
}

bool IsWalkedType(std::string_view type) {
    return std::any_of(std::begin(kFormats), std::end(kFormats), [&](const FormatEntry& f) {
        return std::find(f.types.begin(), f.types.end(), type) != f.types.end();
    });
}

FormatMatch DetectFormat(const std::uint8_t* s, std::size_t available) {
    if (available < 512) return {};
    for (const Detector detect : kLeadTable.rules[s[0]]) {
        if (detect == nullptr) break;
        if (const FormatMatch m = detect(s, available); m.family != FormatFamily::None) return m;
    }
    return {};
}

Extent MeasureFormat(FormatFamily family, FileView& view) {
    if (const FormatEntry* f = FindFormat(family)) return f->measure(view);
    return formats::kNotAFile;
}

}  // namespace zt
