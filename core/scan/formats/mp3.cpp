// MPEG audio (MP3, MP2): tags and frames.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

struct AudioFrame {
    std::uint32_t length = 0;
    std::uint8_t version = 0, layer = 0, rateIndex = 0;
};

std::optional<AudioFrame> ParseAudioFrame(const std::uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    const int version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    static constexpr std::uint16_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static constexpr std::uint16_t kV1[3][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static constexpr std::uint16_t kV2[2][15] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    const bool v1 = version == 3;
    const int row = version == 3 ? 0 : (version == 2 ? 1 : 2);
    const std::uint32_t rate = kRates[row][rateIndex];
    const int layerNumber = 4 - layer;  // 1, 2 or 3
    const std::uint32_t kbps = v1 ? kV1[layerNumber - 1][bitrateIndex] : kV2[layerNumber == 1 ? 0 : 1][bitrateIndex];
    AudioFrame f;
    if (layerNumber == 1) {
        f.length = (12 * kbps * 1000 / rate + padding) * 4;
    } else {
        const std::uint32_t factor = (layerNumber == 3 && !v1) ? 72 : 144;
        f.length = factor * kbps * 1000 / rate + padding;
    }
    f.version = static_cast<std::uint8_t>(version);
    f.layer = static_cast<std::uint8_t>(layer);
    f.rateIndex = static_cast<std::uint8_t>(rateIndex);
    if (f.length < 4) return std::nullopt;
    return f;
}

bool SameStream(const AudioFrame& a, const AudioFrame& b) {
    return a.version == b.version && a.layer == b.layer && a.rateIndex == b.rateIndex;
}

// Frames needed in a row before a file without a tag counts as MP3.
constexpr int kMp3RunFrames = 8;

// The byte count of the stream, from the start of its first frame, that an
// encoder's info frame (Xing or Info from LAME and ffmpeg, VBRI from
// Fraunhofer's) records; nothing when the first frame is not one.
std::optional<std::uint64_t> InfoFrameBytes(FileView& view, std::uint64_t frame, const AudioFrame& f,
                                            std::uint8_t channelMode) {
    if (f.layer != 1) return std::nullopt;  // layer III only
    const bool mono = channelMode == 3;
    const std::uint64_t sideInfo = f.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::uint8_t x[16];
    if (f.length >= 4 + sideInfo + 16 && view.Read(frame + 4 + sideInfo, x, 16) &&
        (std::memcmp(x, "Xing", 4) == 0 || std::memcmp(x, "Info", 4) == 0)) {
        if (!(Be32At(x + 4) & 0x2)) return std::nullopt;  // no byte count
        // The frame count comes first when it is there.
        return Be32At(x + ((Be32At(x + 4) & 0x1) ? 12 : 8));
    }
    if (f.length >= 36 + 18 && view.Read(frame + 36, x, 14) && std::memcmp(x, "VBRI", 4) == 0) return Be32At(x + 10);
    return std::nullopt;
}

// An MP3 file from `at` on: its tag, or two frames of one stream in a row.
bool StartsMp3(FileView& view, std::uint64_t at) {
    // The longest frame (MPEG-2.5 layer II, 160 kbit/s at 8 kHz, padded) and
    // the next frame's header.
    std::uint8_t s[2881 + 4];
    for (const std::size_t n : {sizeof s, std::size_t{10}}) {
        if (view.Read(at, s, n)) return DetectMp3(s, n).family == FormatFamily::Mp3;
    }
    return false;
}

}  // namespace

Extent MeasureMp3(FileView& view) {
    std::uint64_t pos = 0;
    bool tagged = false;
    std::uint8_t h[10];
    if (!view.Read(0, h, 10)) return kUnknown;
    if (std::memcmp(h, "ID3", 3) == 0) {
        const std::optional<std::uint64_t> length = Id3v2Length(h);
        if (!length) return kNotAFile;
        pos = *length;
        tagged = true;
        // Some writers pad past the tag's own size with zeros.
        for (int skipped = 0; skipped < 65536; ++skipped) {
            const std::optional<std::uint8_t> b = view.U8(pos);
            if (!b) return pos <= view.Limit() ? Sure(pos) : kUnknown;
            if (*b != 0) break;
            ++pos;
        }
        // Some taggers put an ID3v2 tag in front of a FLAC stream too.
        if (view.Equals(pos, Text("fLaC"))) {
            OffsetFileView flac(view, pos);
            const Extent e = MeasureFlac(flac);
            if (e.kind == ExtentKind::Exact) return Exact(pos + e.bytes, "FLAC");
            return e.kind == ExtentKind::NotAFile ? kNotAFile : Sure(pos + e.bytes, "FLAC");
        }
    }
    std::optional<AudioFrame> first;
    // Where the info frame says the frames end: a next file of the same kind
    // may follow at once, and frames alone would run on into it.
    std::uint64_t declaredEnd = UINT64_MAX;
    int frames = 0;
    std::uint64_t lastFrame = pos;
    for (;; ++frames) {
        if (frames == kMaxPieces * 16) return Sure(pos);
        if (pos >= declaredEnd) break;
        std::uint8_t fh[4];
        // At the bound more frames may follow.
        const Extent atBound = tagged || frames >= kMp3RunFrames ? Sure(pos) : kUnknown;
        if (!view.Read(pos, fh, 4)) return atBound;
        const std::optional<AudioFrame> f = ParseAudioFrame(fh);
        if (!f || (first && !SameStream(*first, *f))) break;
        if (f->length > view.Limit() - pos) return atBound;
        if (!first) {
            first = f;
            if (const std::optional<std::uint64_t> bytes = InfoFrameBytes(view, pos, *f, fh[3] >> 6);
                bytes && *bytes >= f->length)
                declaredEnd = pos + *bytes;
        }
        lastFrame = pos;
        pos += f->length;
    }
    if (frames == 0) return tagged ? kUnknown : kNotAFile;
    if (!tagged && frames < kMp3RunFrames) return kNotAFile;
    // A copy cut short with another MP3 file right behind it: the copy's last
    // frame runs into that file's tag or frames, whose sector is left for it
    // rather than taken into the copy.
    if (const auto next = NextFileWithin(lastFrame, pos, [&](std::uint64_t at) { return StartsMp3(view, at); }))
        return Exact(*next);
    return Exact(SkipTrailingTags(view, pos));
}

// An ID3v2 tag, or two frames of one stream in a row.
FormatMatch DetectMp3(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "ID3") && s[3] >= 2 && s[3] <= 4) return {FormatFamily::Mp3, "MP3"};
    if (std::optional<AudioFrame> f = ParseAudioFrame(s)) {
        if (f->length + 4 <= available && ParseAudioFrame(s + f->length)) return {FormatFamily::Mp3, "MP3"};
    }
    return {};
}

}  // namespace zt::formats
