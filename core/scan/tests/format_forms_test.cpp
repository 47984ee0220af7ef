// Real files of the forms people's tools write, made here by ffmpeg, sox,
// lame and the picture encoders with their common options, and measured by
// the walks: whole and exact when other bytes follow, unknown but sure of
// their start when the bound cuts them, and, for streams that record no
// length, ended at their last whole unit when other data overwrote the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/scan/format_walk.h"
#include "core/scan/tests/scan_fixture.h"

namespace zt {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Form {
    const char* name;     // the file the command writes in the test's folder
    std::string command;  // run there
    FormatFamily family;
    std::string_view type;  // what the walk settles, empty to keep the header's
    // Turns the made file into the form under test, for forms no tool here writes.
    Bytes (*shape)(Bytes) = nullptr;
    // For a stream without a recorded length: its largest unit (packet,
    // pack, frame). A stream overwritten in its middle ends within one of
    // the point where the other data begins.
    std::size_t unit = 0;
    ExtentKind kind = ExtentKind::Exact;
};

const std::string kFf = "ffmpeg -nostdin -loglevel error -y ";
const std::string kVideo = "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:duration=2 ";
const std::string kExact = " -fflags +bitexact ";  // no random stream numbers

// Bytes that are no unit of any form here: no sync byte 0x47, no start
// code, no frame sync, no printable chunk name at a chunk's place.
Bytes Noise(std::size_t n) {
    Bytes b(n);
    std::uint32_t x = 12345;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(0x80 | ((x >> 16) & 0x3F));
    }
    return b;
}

Extent Walk(FormatFamily family, const Bytes& data, std::size_t limit) {
    MemoryFileView view(data.data(), limit);
    return MeasureFormat(family, view);
}

class FormatFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testing::TempDir();
        const std::string cd = "cd '" + dir_->Path().string() + "' && ";
        ASSERT_EQ(std::system((cd + "sox -R -n -r 44100 -c 2 -b 16 tone.wav synth 2 sine 440 sine 660").c_str()), 0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static Bytes Make(const Form& f) {
        const std::string cd = "cd '" + dir_->Path().string() + "' && ";
        EXPECT_EQ(std::system((cd + f.command + " </dev/null").c_str()), 0) << f.command;
        std::ifstream in(dir_->Path() / f.name, std::ios::binary);
        Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return f.shape ? f.shape(std::move(b)) : b;
    }

    // Measures one form every way it may lie on a medium.
    static void Check(const Form& f) {
        SCOPED_TRACE(f.name);
        const Bytes file = Make(f);
        ASSERT_GT(file.size(), 1024u);
        Bytes sector(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 4096));
        sector.resize(4096, 0);
        EXPECT_EQ(DetectFormat(sector.data(), sector.size()).family, f.family);

        Bytes followed = file;
        const Bytes noise = Noise(300000);
        followed.insert(followed.end(), noise.begin(), noise.end());
        const Extent whole = Walk(f.family, followed, followed.size());
        EXPECT_EQ(whole.kind, f.kind);
        if (f.kind == ExtentKind::Exact) {
            EXPECT_EQ(whole.bytes, file.size());
        } else {
            // Sure of all but its last unit.
            EXPECT_LE(whole.bytes, file.size());
            EXPECT_GT(whole.bytes + f.unit, file.size());
        }
        if (!f.type.empty()) {
            EXPECT_EQ(whole.type, f.type);
        }

        // The bound cuts it: never an end, and sure only of bytes before the bound.
        const std::size_t bound = file.size() * 3 / 4;
        const Extent cut = Walk(f.family, followed, bound);
        EXPECT_EQ(cut.kind, ExtentKind::Unknown);
        EXPECT_LE(cut.bytes, bound);
        if (f.unit != 0) {
            EXPECT_GT(cut.bytes + f.unit, bound);
        }

        // Overwritten from its middle on: a stream ends at its last whole unit.
        if (f.unit == 0 || f.kind != ExtentKind::Exact) return;
        const std::size_t half = file.size() / 2;
        Bytes overwritten(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(half));
        overwritten.insert(overwritten.end(), noise.begin(), noise.end());
        const Extent rest = Walk(f.family, overwritten, overwritten.size());
        EXPECT_EQ(rest.kind, ExtentKind::Exact);
        EXPECT_LE(rest.bytes, half + f.unit);
        EXPECT_GT(rest.bytes + f.unit, half);
    }

    static testing::TempDir* dir_;
};

testing::TempDir* FormatFormsTest::dir_ = nullptr;

void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
void Append(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }
void AppendLe32(Bytes& b, std::size_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

TEST_F(FormatFormsTest, ProgramStreamsAreFollowedPackAfterPack) {
    const Form forms[] = {
        {"a.vob", kFf + kVideo + "-c:v mpeg2video -c:a ac3 -shortest -f vob" + kExact + "a.vob",
         FormatFamily::MpegProgram, "VOB", nullptr, 2048},
        {"dvd.mpg", kFf + kVideo + "-target pal-dvd -shortest" + kExact + "dvd.mpg", FormatFamily::MpegProgram, "VOB",
         nullptr, 2048},
        {"one.mpg", kFf + kVideo + "-c:v mpeg1video -c:a mp2 -shortest -f mpeg" + kExact + "one.mpg",
         FormatFamily::MpegProgram, "MPEG", nullptr, 2048},
        {"vcd.mpg", kFf + kVideo + "-target pal-vcd -shortest" + kExact + "vcd.mpg", FormatFamily::MpegProgram,
         "MPEG", nullptr, 2324},
    };
    for (const Form& f : forms) Check(f);
}

TEST_F(FormatFormsTest, RiffFilesEndAfterTheirChunksInAnyOrder) {
    const Form forms[] = {
        // LIST INFO between fmt and data, as ffmpeg writes metadata.
        {"meta.wav", kFf + "-i tone.wav -metadata title=T -metadata artist=A -metadata date=2026" + kExact + "meta.wav",
         FormatFamily::Riff, "WAV"},
        {"bext.wav", kFf + "-i tone.wav -write_bext 1 -metadata encoded_by=me" + kExact + "bext.wav", FormatFamily::Riff,
         "WAV"},
        {"fact.wav", kFf + "-i tone.wav -c:a adpcm_ms" + kExact + "fact.wav", FormatFamily::Riff, "WAV"},
        // Samples of one byte, an odd count of them, and the padding byte after.
        {"odd.wav", "sox -R -n -r 8000 -c 1 -b 8 odd.wav synth 0.375125 sine 300", FormatFamily::Riff, "WAV"},
        // A cue chunk and an odd-sized list after the samples.
        {"after.wav", "cp tone.wav after.wav", FormatFamily::Riff, "WAV",
         [](Bytes b) {
             Append(b, "cue ");
             b.insert(b.end(), {28, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
             Append(b, "data");
             b.insert(b.end(), 8, 0);
             Append(b, "LIST");
             b.insert(b.end(), {9, 0, 0, 0});
             Append(b, "INFOabcde");
             b.push_back(0);
             PutLe32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
             return b;
         }},
        // A streaming writer's sizes left at 0 over a data chunk that has its own.
        {"streamed.wav", "cp tone.wav streamed.wav", FormatFamily::Riff, "WAV",
         [](Bytes b) {
             PutLe32(b, 4, 0);
             return b;
         }},
        {"movie.avi", kFf + kVideo + "-c:v mpeg4 -c:a libmp3lame -shortest -metadata title=T" + kExact + "movie.avi",
         FormatFamily::Riff, "AVI"},
        // An OpenDML movie goes on in a RIFF AVIX list after the first.
        {"opendml.avi", kFf + kVideo + "-c:v mjpeg -c:a pcm_s16le -shortest" + kExact + "opendml.avi",
         FormatFamily::Riff, "AVI",
         [](Bytes b) {
             Append(b, "RIFF");
             AppendLe32(b, 4 + 12 + 8 + 1000);
             Append(b, "AVIXLIST");
             AppendLe32(b, 4 + 8 + 1000);
             Append(b, "movi00dc");
             AppendLe32(b, 1000);
             b.insert(b.end(), 1000, 0x5A);
             return b;
         }},
        // RF64 as ffmpeg writes it when asked, and with the name BW64 that
        // broadcast recorders give the same layout.
        {"rf64.wav", kFf + "-i tone.wav -rf64 always" + kExact + "rf64.wav", FormatFamily::Riff, "WAV"},
        {"bw64.wav", "cp rf64.wav bw64.wav", FormatFamily::Riff, "WAV",
         [](Bytes b) {
             std::copy_n("BW64", 4, b.begin());
             return b;
         }},
        // Written to a pipe: neither the RIFF nor the movie list has a size.
        {"pipe.avi", "(" + kFf + kVideo + "-c:v mpeg4 -c:a libmp3lame -shortest -f avi" + kExact + "- | cat > pipe.avi)",
         FormatFamily::Riff, "AVI", nullptr, 64 * 1024},
        {"lossy.webp", "convert -size 320x240 plasma:fractal -seed 3 p.png && cwebp -quiet p.png -o lossy.webp",
         FormatFamily::Riff, "WEBP"},
        {"lossless.webp", "convert -size 320x240 plasma:fractal -seed 4 q.png && cwebp -quiet -lossless -metadata all q.png -o lossless.webp",
         FormatFamily::Riff, "WEBP"},
    };
    for (const Form& f : forms) Check(f);

    // Sizes a writer to a pipe leaves open on the samples too: nothing
    // records where they end, so the walk is sure only of the headers.
    // In RF64 its ds64 chunk is left at 0s, its data after 80 bytes.
    for (const std::string_view rf64 : {"", "-rf64 always "}) {
        const Form piped{"piped.wav", kFf + "-i tone.wav -f wav " + std::string(rf64) + kExact + "- > piped.wav",
                         FormatFamily::Riff, "WAV"};
        const Bytes file = Make(piped);
        ASSERT_GT(file.size(), 80u);
        const Extent e = Walk(FormatFamily::Riff, file, file.size());
        EXPECT_EQ(e.kind, ExtentKind::Unknown);
        EXPECT_EQ(e.bytes, rf64.empty() ? 44u : 80u);
    }
}

TEST_F(FormatFormsTest, ACutRiffCopyIsSureOfNothingItsChunksDoNotConfirm) {
    // Cut anywhere and followed from the next sector by a whole copy: the
    // walk names the cut one for what it is and claims none of the copy.
    const std::string frames = "for i in 1 2 3; do convert -size 160x120 plasma:fractal -seed $i f$i.png; done && ";
    const Form forms[] = {
        {"anim.webp", frames + "img2webp -loop 0 -lossy f1.png f2.png f3.png -o anim.webp >/dev/null",
         FormatFamily::Riff, "WEBP", nullptr, 0, ExtentKind::Unknown},
        {"meta.webp", frames + "cwebp -quiet f1.png -o p.webp && webpmux -set exif f2.png p.webp -o e.webp >/dev/null"
                               " && webpmux -set xmp f3.png e.webp -o meta.webp >/dev/null",
         FormatFamily::Riff, "WEBP", nullptr, 0, ExtentKind::Unknown},
        {"cut.avi", kFf + kVideo + "-c:v mpeg4 -c:a libmp3lame -shortest" + kExact + "cut.avi", FormatFamily::Riff, "AVI",
         nullptr, 0, ExtentKind::Unknown},
        {"cutpipe.avi", "(" + kFf + kVideo + "-c:v mpeg4 -c:a libmp3lame -shortest -f avi" + kExact +
                            "- | cat > cutpipe.avi)",
         FormatFamily::Riff, "AVI"},
    };
    for (const Form& f : forms) {
        const Bytes file = Make(f);
        for (const std::size_t kept : {file.size() / 4, file.size() / 2, file.size() * 3 / 4, file.size() - 600}) {
            SCOPED_TRACE(std::string(f.name) + " cut at " + std::to_string(kept));
            Bytes image(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(kept));
            const Bytes noise = Noise((512 - kept % 512) % 512);
            image.insert(image.end(), noise.begin(), noise.end());
            const std::size_t copy = image.size();
            image.insert(image.end(), file.begin(), file.end());
            const Extent e = Walk(f.family, image, image.size());
            EXPECT_EQ(e.kind, f.kind);
            EXPECT_EQ(e.type, f.type);
            // A movie from a pipe ends after the chunk it was cut in, at most where the copy begins.
            EXPECT_LE(e.bytes, f.kind == ExtentKind::Exact ? copy : kept);
            if (f.kind == ExtentKind::Exact) {
                EXPECT_GE(e.bytes, kept);
            }
        }
    }
}

// Rewrites the media data box's header in the 16-byte form with a 64-bit
// size, as writers do for media data over 4 GiB.
Bytes WithLargeSize(Bytes b) {
    std::size_t at = 0;
    while (at + 8 <= b.size() && std::string_view(reinterpret_cast<const char*>(&b[at + 4]), 4) != "mdat")
        at += Be32(b, at);
    const std::uint32_t size = Be32(b, at);
    Bytes h = {0, 0, 0, 1, b[at + 4], b[at + 5], b[at + 6], b[at + 7], 0, 0, 0, 0};
    for (int i = 3; i >= 0; --i) h.push_back(static_cast<std::uint8_t>((size + 8) >> (8 * i)));
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 8));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), h.begin(), h.end());
    return b;
}

TEST_F(FormatFormsTest, IsoMediaEndsAfterItsLastBoxInEitherOrder) {
    const std::string h264 = "-c:v libx264 -preset ultrafast -c:a aac -shortest ";
    const Form forms[] = {
        {"movie.mp4", kFf + kVideo + h264 + kExact + "movie.mp4", FormatFamily::IsoMedia, "MP4"},
        {"fast.mp4", kFf + kVideo + h264 + "-movflags +faststart" + kExact + "fast.mp4", FormatFamily::IsoMedia, "MP4"},
        // ftyp qt, then wide, then mdat, then moov.
        {"movie.mov", kFf + kVideo + h264 + kExact + "movie.mov", FormatFamily::IsoMedia, "MOV"},
        {"fast.mov", kFf + kVideo + h264 + "-movflags +faststart" + kExact + "fast.mov", FormatFamily::IsoMedia, "MOV"},
        {"sound.m4a", kFf + "-i tone.wav -c:a aac -b:a 96k" + kExact + "sound.m4a", FormatFamily::IsoMedia, "M4A"},
        {"fast.m4a", kFf + "-i tone.wav -c:a aac -movflags +faststart -metadata title=T" + kExact + "fast.m4a",
         FormatFamily::IsoMedia, "M4A"},
        {"movie.3gp", kFf + kVideo + "-c:v mpeg4 -c:a aac -ar 16000 -ac 1 -shortest" + kExact + "movie.3gp",
         FormatFamily::IsoMedia, "3GP"},
        {"picture.heic", "convert -size 320x240 plasma:fractal -seed 5 h.png && heif-enc -q 50 -o picture.heic h.png",
         FormatFamily::IsoMedia, "HEIC"},
        // Old QuickTime: no ftyp, the wide atom first.
        {"old.mov", kFf + kVideo + h264 + kExact + "old.mov", FormatFamily::IsoMedia, "MOV",
         [](Bytes b) { return Bytes(b.begin() + Be32(b, 0), b.end()); }},
        {"large.mp4", kFf + kVideo + h264 + kExact + "large.mp4", FormatFamily::IsoMedia, "MP4", WithLargeSize},
    };
    for (const Form& f : forms) Check(f);
}

// Puts a Multi-Picture index (APP2 "MPF": a TIFF IFD whose MP Entry tag lists
// each picture's size and its offset from the index's TIFF header) after the
// first picture's SOI and writes the others after its EOI, as cameras store
// a preview and phones an HDR gain map; no tool here writes one. The deltas
// move the last entry, as a damaged index would have it.
Bytes MultiPicture(const Bytes& first, const std::vector<Bytes>& more, bool little, std::uint32_t sizeDelta = 0,
                   std::uint32_t offsetDelta = 0) {
    Bytes tiff;
    auto put = [&](std::size_t v, int n) {
        for (int i = 0; i < n; ++i) tiff.push_back(static_cast<std::uint8_t>(v >> 8 * (little ? i : n - 1 - i)));
    };
    Append(tiff, little ? std::string_view("II*\0", 4) : std::string_view("MM\0*", 4));
    const std::size_t table = 16 * (more.size() + 1);
    put(8, 4), put(1, 2), put(0xB002, 2), put(7, 2), put(table, 4), put(26, 4), put(0, 4);
    // The first picture grows by its index; the TIFF header is 10 bytes in.
    std::size_t at = first.size() + 8 + tiff.size() + table;
    put(0x20030000, 4), put(at, 4), put(0, 8);
    at -= 10;
    for (const Bytes& p : more) {
        const bool last = &p == &more.back();
        put(0x00010002, 4), put(p.size() + (last ? sizeDelta : 0), 4), put(at + (last ? offsetDelta : 0), 4), put(0, 4);
        at += p.size();
    }
    Bytes file = {0xFF, 0xD8, 0xFF, 0xE2, static_cast<std::uint8_t>((tiff.size() + 6) >> 8),
                  static_cast<std::uint8_t>(tiff.size() + 6)};
    Append(file, std::string_view("MPF\0", 4));
    file.insert(file.end(), tiff.begin(), tiff.end());
    file.insert(file.end(), first.begin() + 2, first.end());
    for (const Bytes& p : more) file.insert(file.end(), p.begin(), p.end());
    return file;
}

Bytes Joined(Bytes a, const Bytes& b, std::size_t bBytes = SIZE_MAX) {
    a.insert(a.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(bBytes, b.size())));
    return a;
}

// Another file written over the file from its last sector start on.
Bytes Overwritten(Bytes file, const Bytes& by) {
    file.resize((file.size() - 1) / 512 * 512);
    return Joined(file, by);
}

TEST_F(FormatFormsTest, JpegEndsAfterThePicturesAndTheMovieBehindItsFirst) {
    const Bytes photo = Make({"photo.jpg", "convert -size 640x480 plasma:fractal -seed 6 -quality 90 photo.jpg",
                              FormatFamily::Jpeg, {}});
    const Bytes preview = Make({"preview.jpg", "convert photo.jpg -resize 160x120 preview.jpg", FormatFamily::Jpeg, {}});
    const std::string movie = kFf + "-f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v libx264 -preset ultrafast";
    const Bytes tail = Make({"tail.mp4", movie + kExact + "tail.mp4", FormatFamily::IsoMedia, {}});
    const Bytes front = Make({"front.mp4", movie + " -movflags +faststart" + kExact + "front.mp4", FormatFamily::IsoMedia, {}});
    const Bytes one = MultiPicture(photo, {preview}, true), two = MultiPicture(photo, {preview, preview}, false);
    const std::size_t first = one.size() - preview.size();
    struct Case {
        const char* name;
        Bytes file;
        std::size_t end, endBefore;  // whole, and when the bound cuts the file's last byte
    };
    const Case cases[] = {
        {"preview", one, one.size(), first},
        {"two more, big-endian index", two, two.size(), two.size() - preview.size()},
        {"motion photo", Joined(photo, tail), photo.size() + tail.size(), photo.size()},
        {"motion photo, movie index first", Joined(photo, front), photo.size() + front.size(), photo.size()},
        {"HDR motion photo", Joined(one, tail), one.size() + tail.size(), one.size()},
        // Copies cut short, and indexes that do not match what follows.
        {"preview cut", Bytes(one.begin(), one.end() - 100), first, first},
        {"second of two cut", Bytes(two.begin(), two.end() - 100), two.size() - preview.size(),
         two.size() - preview.size()},
        {"movie cut", Joined(one, tail, tail.size() / 2), one.size(), one.size()},
        // A new file over the rest, where the sizes the movie declares reach.
        {"movie overwritten in its index", Overwritten(Joined(photo, tail), preview), photo.size(), photo.size()},
        {"movie overwritten in its data", Overwritten(Joined(photo, front), preview), photo.size(), photo.size()},
        {"size one byte long", MultiPicture(photo, {preview}, true, 1), first, first},
        {"offset one byte off", MultiPicture(photo, {preview}, true, 0, 1), first, first},
        {"offset far past", MultiPicture(photo, {preview}, false, 0, 0x40000000), first, first},
        {"offset inside the first", MultiPicture(photo, {preview}, true, 0, 0u - 200), first, first},
    };
    const Bytes noise = Noise(3000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes followed = Joined(c.file, noise);
        const Extent e = Walk(FormatFamily::Jpeg, followed, followed.size());
        EXPECT_EQ(e.kind, ExtentKind::Exact);
        EXPECT_EQ(e.bytes, c.end);
        EXPECT_FALSE(e.opaque);
        EXPECT_TRUE(e.type.empty());
        const Extent bound = Walk(FormatFamily::Jpeg, followed, c.file.size() - 1);
        EXPECT_EQ(bound.kind, ExtentKind::Exact);
        EXPECT_EQ(bound.bytes, c.endBefore);
    }
}

Bytes WithoutId3v2(const Bytes& b) {
    const std::size_t size = 10 + (std::size_t{b[6]} << 21 | std::size_t{b[7]} << 14 | std::size_t{b[8]} << 7 | b[9]);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(size), b.end());
}

// A tag of one text frame in the given version and flags before the frames.
Bytes Id3v2(std::uint8_t version, std::uint8_t flags, std::string_view frameId, Bytes frames) {
    Bytes tag = {'I', 'D', '3', version, 0, flags};
    Bytes body;
    Append(body, frameId);
    const std::uint8_t text[] = {3, 'S', 'o', 'n', 'g', 0xFF, 0x00};  // an unsynchronised FF
    if (frameId.size() == 3) {
        body.insert(body.end(), {0, 0, static_cast<std::uint8_t>(sizeof text)});
    } else {
        body.insert(body.end(), {0, 0, 0, static_cast<std::uint8_t>(sizeof text), 0, 0});
    }
    body.insert(body.end(), std::begin(text), std::end(text));
    body.insert(body.end(), 30, 0);  // padding
    const std::size_t n = body.size();
    tag.insert(tag.end(), {static_cast<std::uint8_t>(n >> 21 & 0x7F), static_cast<std::uint8_t>(n >> 14 & 0x7F),
                           static_cast<std::uint8_t>(n >> 7 & 0x7F), static_cast<std::uint8_t>(n & 0x7F)});
    tag.insert(tag.end(), body.begin(), body.end());
    if (flags & 0x10) {  // the footer repeats the header as "3DI"
        tag.insert(tag.end(), {'3', 'D', 'I'});
        tag.insert(tag.end(), tag.begin() + 3, tag.begin() + 10);
    }
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

TEST_F(FormatFormsTest, Mp3EndsAtItsLastFrameOrTagWhateverItsTags) {
    const std::string mp3 = "-c:a libmp3lame -b:a 128k ";
    const Form forms[] = {
        // LAME's own: ID3v2.3 and ID3v1, an Info frame with the byte count.
        {"cbr.mp3", "lame --quiet -b 128 --tt T --ta A --add-id3v2 tone.wav cbr.mp3", FormatFamily::Mp3, {}, nullptr,
         1441},
        {"vbr.mp3", "lame --quiet -V 4 tone.wav vbr.mp3", FormatFamily::Mp3, {}, nullptr, 1441},
        {"v2only.mp3", "lame --quiet -V 2 --id3v2-only --tt T tone.wav v2only.mp3", FormatFamily::Mp3, {}, nullptr, 1441},
        {"v1only.mp3", "lame --quiet -b 96 --id3v1-only --tt T tone.wav v1only.mp3", FormatFamily::Mp3, {}, nullptr,
         1441},
        {"plain.mp3", "lame --quiet -b 64 -t tone.wav plain.mp3", FormatFamily::Mp3, {}, nullptr, 1441},
        {"mono8k.mp3", "lame --quiet -m m --resample 8 -b 16 tone.wav mono8k.mp3", FormatFamily::Mp3, {}, nullptr, 1441},
        {"v24.mp3", kFf + "-i tone.wav " + mp3 + "-id3v2_version 4 -metadata title=S" + kExact + "v24.mp3",
         FormatFamily::Mp3, {}, nullptr, 1441},
        {"v23v1.mp3", kFf + "-i tone.wav " + mp3 + "-id3v2_version 3 -write_id3v1 1 -metadata title=S" + kExact +
                          "v23v1.mp3",
         FormatFamily::Mp3, {}, nullptr, 1441},
        {"bare.mp3", kFf + "-i tone.wav " + mp3 + "-write_id3v2 0 -write_xing 0 -f mp3" + kExact + "bare.mp3",
         FormatFamily::Mp3, {}, nullptr, 1441},
        {"layer2.mp2", kFf + "-i tone.wav -c:a mp2" + kExact + "layer2.mp2", FormatFamily::Mp3, {}, nullptr, 1441},
        // Tags no tool here writes: ID3v2.2, ID3v2.4 with its footer,
        // ID3v2.3 unsynchronised, and an APE tag before an ID3v1 one.
        {"v22.mp3", "cp cbr.mp3 v22.mp3", FormatFamily::Mp3, {},
         [](Bytes b) { return Id3v2(2, 0, "TT2", WithoutId3v2(b)); }, 1441},
        {"footer.mp3", "cp cbr.mp3 footer.mp3", FormatFamily::Mp3, {},
         [](Bytes b) { return Id3v2(4, 0x10, "TIT2", WithoutId3v2(b)); }, 1441},
        {"unsync.mp3", "cp cbr.mp3 unsync.mp3", FormatFamily::Mp3, {},
         [](Bytes b) { return Id3v2(3, 0x80, "TIT2", WithoutId3v2(b)); }, 1441},
        {"ape.mp3", "cp plain.mp3 ape.mp3", FormatFamily::Mp3, {},
         [](Bytes b) {
             Bytes ape;
             Append(ape, "APETAGEX");
             const std::uint8_t item[] = {5, 0, 0, 0, 0, 0, 0, 0, 'T', 'i', 't', 'l', 'e', 0, 'S', 'o', 'n', 'g', '!'};
             for (const std::uint32_t flags : {0xA0000000u, 0x80000000u}) {
                 if (flags == 0x80000000u) {
                     ape.insert(ape.end(), std::begin(item), std::end(item));
                     Append(ape, "APETAGEX");
                 }
                 AppendLe32(ape, 2000);  // the version
                 AppendLe32(ape, 32 + sizeof item);
                 AppendLe32(ape, 1);  // items
                 AppendLe32(ape, flags);
                 ape.insert(ape.end(), 8, 0);
             }
             b.insert(b.end(), ape.begin(), ape.end());
             Append(b, "TAG");
             b.insert(b.end(), 125, 0x20);
             return b;
         },
         1441},
        // A FLAC stream behind an ID3v2 tag, as some taggers write it.
        {"id3.flac", "flac --silent -f -o id3.flac tone.wav", FormatFamily::Mp3, "FLAC",
         [](Bytes b) { return Id3v2(3, 0, "TIT2", b); }},
        // An ID3v2.4 tag appended after the frames, before an ID3v1 one.
        {"appended.mp3", "cp plain.mp3 appended.mp3", FormatFamily::Mp3, {},
         [](Bytes b) {
             const Bytes tag = Id3v2(4, 0x10, "TIT2", {});
             b.insert(b.end(), tag.begin(), tag.end());
             Append(b, "TAG");
             b.insert(b.end(), 125, 0x20);
             return b;
         },
         1441},
    };
    for (const Form& f : forms) Check(f);

    // Two untagged VBR files back to back, of one kind: the frames run on
    // from one into the other, the first's info frame says where it ends.
    const Bytes vbr = Make(forms[1]);
    Bytes pair = vbr;
    pair.insert(pair.end(), vbr.begin(), vbr.end());
    const Extent e = Walk(FormatFamily::Mp3, pair, pair.size());
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, vbr.size());
}

TEST_F(FormatFormsTest, UnsizedStreamsEndAtTheirLastWholeUnit) {
    auto dv = [](const char* name, const char* size, const char* rate, const char* pixels) {
        return kFf + "-f lavfi -i testsrc=size=" + size + ":rate=" + rate +
               ":duration=0.3 -f lavfi -i sine=sample_rate=48000:duration=0.3 -c:v dvvideo -pix_fmt " + pixels +
               " -c:a pcm_s16le -ac 2 -shortest -f dv" +
               kExact + name;
    };
    const Form forms[] = {
        {"movie.ts", kFf + kVideo + "-c:v mpeg2video -c:a mp2 -shortest -f mpegts" + kExact + "movie.ts",
         FormatFamily::MpegTransport, {}, nullptr, 188},
        {"movie.m2ts",
         kFf + kVideo + "-c:v libx264 -preset ultrafast -c:a ac3 -shortest -mpegts_m2ts_mode 1 -f mpegts" + kExact +
             "movie.m2ts",
         FormatFamily::MpegTransport, {}, nullptr, 192},
        {"pal.dv", dv("pal.dv", "720x576", "25", "yuv420p"), FormatFamily::Dv, {}, nullptr, 144000},
        {"ntsc.dv", dv("ntsc.dv", "720x480", "30000/1001", "yuv411p"), FormatFamily::Dv, {}, nullptr, 120000},
        // No end code and no length: sure of all but its last slice.
        {"video.m2v", kFf + kVideo + "-map 0:v -c:v mpeg2video -f mpeg2video" + kExact + "video.m2v",
         FormatFamily::MpegVideo, {}, nullptr, 256 * 1024, ExtentKind::Unknown},
    };
    for (const Form& f : forms) Check(f);

    // What follows an elementary stream never becomes part of what the walk
    // is sure of: not a movie whose box sizes read as start codes, nor a next
    // stream at the following sector.
    const Bytes video = Make(forms[4]);
    const Bytes movie = Make({"next.mp4", kFf + kVideo + "-c:v libx264 -preset ultrafast -c:a aac -shortest" + kExact +
                                             "next.mp4",
                              FormatFamily::IsoMedia, "MP4"});
    for (const Bytes* next : {&movie, &video}) {
        Bytes pair = video;
        pair.resize((pair.size() + 511) / 512 * 512, 0);
        pair.insert(pair.end(), next->begin(), next->end());
        const Extent e = Walk(FormatFamily::MpegVideo, pair, pair.size());
        EXPECT_EQ(e.kind, ExtentKind::Unknown);
        EXPECT_LE(e.bytes, video.size());
    }
}

}  // namespace
}  // namespace zt
