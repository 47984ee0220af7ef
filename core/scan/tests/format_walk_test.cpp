// The format walks on small files built here byte by byte: where each one
// decides a file ends, what it takes for a header that is not a file, and
// that nothing past the view's bound is ever used.
#include "core/scan/format_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zt {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Builder {
    Bytes b;
    Builder& Raw(std::initializer_list<int> v) {
        for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Builder& Text(std::string_view t) {
        b.insert(b.end(), t.begin(), t.end());
        return *this;
    }
    Builder& Be16(std::uint32_t v) { return Raw({int(v >> 8 & 0xFF), int(v & 0xFF)}); }
    Builder& Be32(std::uint32_t v) { return Raw({int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)}); }
    Builder& Le16(std::uint32_t v) { return Raw({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
    Builder& Le32(std::uint32_t v) { return Raw({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)}); }
    Builder& Fill(std::size_t n, std::uint8_t v) {
        b.insert(b.end(), n, v);
        return *this;
    }
    Builder& Append(const Bytes& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};

// The file followed by noise, so a walk that overshoots its end is caught.
Extent Measure(FormatFamily family, const Bytes& file, std::size_t limit = 0) {
    Bytes data = file;
    for (int i = 0; i < 3000; ++i) data.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    MemoryFileView view(data.data(), limit ? limit : data.size());
    return MeasureFormat(family, view);
}

FormatMatch Detect(const Bytes& file) {
    Bytes sector = file;
    sector.resize(std::max<std::size_t>(sector.size(), 1024), 0);
    return DetectFormat(sector.data(), sector.size());
}

Bytes Jpeg(const Bytes& app1Payload) {
    Builder j;
    j.Raw({0xFF, 0xD8, 0xFF, 0xE1}).Be16(static_cast<std::uint32_t>(app1Payload.size() + 2)).Append(app1Payload);
    j.Raw({0xFF, 0xDB}).Be16(67).Fill(65, 1).b[j.b.size() - 65] = 0;
    j.Raw({0xFF, 0xDA}).Be16(8).Raw({1, 1, 0, 0, 63, 0});
    // Entropy-coded data with a stuffed FF 00 and a restart marker inside.
    j.Raw({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56}).Raw({0xFF, 0xD9});
    return j.b;
}

TEST(FormatWalkTest, JpegEndsAtItsOwnEoiNotAtTheThumbnailsInside) {
    const Bytes thumbnail = Jpeg({'E', 'x', 'i', 'f', 0, 0});
    Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
    exif.insert(exif.end(), thumbnail.begin(), thumbnail.end());
    const Bytes camera = Jpeg(exif);
    EXPECT_EQ(Detect(camera).family, FormatFamily::Jpeg);
    const Extent e = Measure(FormatFamily::Jpeg, camera);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, camera.size());

    // Cut before its EOI: the walk cannot follow it and says so.
    const Bytes cut(camera.begin(), camera.end() - 2);
    MemoryFileView view(cut.data(), cut.size());
    EXPECT_EQ(MeasureFormat(FormatFamily::Jpeg, view).kind, ExtentKind::Unknown);
}

TEST(FormatWalkTest, JpegHeadersThatAreNotFilesAreNotDetected) {
    EXPECT_EQ(Detect({0xFF, 0xD8, 0xFF, 0x00}).family, FormatFamily::None);
    // A first segment whose length leads to something that is not a marker.
    EXPECT_EQ(Detect(Builder().Raw({0xFF, 0xD8, 0xFF, 0xE0}).Be16(4).Raw({0, 0, 0x12, 0x34}).b).family,
              FormatFamily::None);
}

TEST(FormatWalkTest, LengthsPointingPastTheBoundAreNeverTaken) {
    // A BMP announcing more bytes than the view may reach.
    Builder bmp;
    bmp.Text("BM").Le32(100000).Le32(0).Le32(54).Le32(40).Fill(200, 7);
    EXPECT_EQ(Detect(bmp.b).family, FormatFamily::Bmp);
    EXPECT_EQ(Measure(FormatFamily::Bmp, bmp.b, 4096).kind, ExtentKind::Unknown);
    EXPECT_EQ(Measure(FormatFamily::Bmp, bmp.b, 100000).bytes, 100000u);
    // A size field shorter than the headers themselves (a fuzzing input: all
    // zeros) is no length at all.
    EXPECT_EQ(Measure(FormatFamily::Bmp, Bytes(64, 0)).kind, ExtentKind::NotAFile);
    EXPECT_EQ(Measure(FormatFamily::Bmp, Builder().Text("BM").Le32(25).Fill(40, 0).b).kind, ExtentKind::NotAFile);

    // A RIFF whose size runs past the bound, and one with a form that is not ours.
    Builder riff;
    riff.Text("RIFF").Le32(0x7FFFFFF0).Text("WAVE");
    EXPECT_EQ(Measure(FormatFamily::Riff, riff.b).kind, ExtentKind::Unknown);
    Builder other;
    other.Text("RIFF").Le32(100).Text("RMID");
    EXPECT_EQ(Measure(FormatFamily::Riff, other.b).kind, ExtentKind::NotAFile);
    // RF64 keeps its sizes in a first ds64 chunk; without one it is no file.
    Builder rf64;
    rf64.Text("RF64").Le32(0xFFFFFFFF).Text("WAVEfmt ").Le32(16).Fill(16, 1);
    EXPECT_EQ(Measure(FormatFamily::Riff, rf64.b).kind, ExtentKind::NotAFile);
    EXPECT_EQ(Detect(rf64.b).family, FormatFamily::None);

    Bytes data(64, 0xAB);
    MemoryFileView view(data.data(), 16);
    std::uint8_t out[8];
    EXPECT_TRUE(view.Read(8, out, 8));
    EXPECT_FALSE(view.Read(9, out, 8));
    EXPECT_TRUE(view.Span(16).empty());
}

TEST(FormatWalkTest, PngAndGifEndAtTheirLastBlockNotAtALookAlikeMarker) {
    Builder png;
    png.Raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    png.Be32(13).Text("IHDR").Fill(13, 1).Be32(0);
    // Image data holding the bytes of an IEND chunk.
    png.Be32(12).Text("IDAT").Text("IEND").Raw({0xAE, 0x42, 0x60, 0x82}).Fill(4, 0).Be32(0);
    png.Be32(0).Text("IEND").Raw({0xAE, 0x42, 0x60, 0x82});
    EXPECT_EQ(Detect(png.b).type, "PNG");
    EXPECT_EQ(Measure(FormatFamily::Png, png.b).bytes, png.b.size());
    Builder notPng;
    notPng.Raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}).Be32(0).Text("IEND").Be32(0);
    EXPECT_EQ(Measure(FormatFamily::Png, notPng.b).kind, ExtentKind::NotAFile);

    Builder gif;
    gif.Text("GIF89a").Le16(2).Le16(2).Raw({0x80, 0, 0}).Fill(6, 0);  // 2-colour table
    gif.Raw({0x21, 0xF9, 4, 0, 0, 0, 0, 0});
    gif.Raw({0x2C}).Le16(0).Le16(0).Le16(2).Le16(2).Raw({0});
    gif.Raw({2, 3, 0x00, 0x3B, 0x00, 0});  // LZW data that contains 00 3B 00
    gif.Raw({0x3B});
    EXPECT_EQ(Measure(FormatFamily::Gif, gif.b).bytes, gif.b.size());

    // A cut GIF whose blocks seem to run on into the next GIF at a sector
    // start: the walk is sure only of what lies before that header.
    Builder cut;
    cut.Text("GIF89a").Le16(2).Le16(2).Raw({0x80, 0, 0}).Fill(6, 0);
    cut.Raw({0x2C}).Le16(0).Le16(0).Le16(2).Le16(2).Raw({0}).Raw({2});
    for (int block = 0; block < 4; ++block) cut.Raw({255}).Fill(255, 0x11);
    cut.Raw({0, 0x3B});
    std::copy_n("GIF89a", 6, cut.b.begin() + 512);
    const Extent e = Measure(FormatFamily::Gif, cut.b);
    EXPECT_EQ(e.kind, ExtentKind::Unknown);
    EXPECT_EQ(e.bytes, 512u);
}

Bytes Tiff(bool little, std::string_view make, bool dng) {
    Builder t;
    auto u16 = [&](std::uint32_t v) -> Builder& { return little ? t.Le16(v) : t.Be16(v); };
    auto u32 = [&](std::uint32_t v) -> Builder& { return little ? t.Le32(v) : t.Be32(v); };
    t.Text(little ? "II" : "MM");
    u16(42);
    u32(8);
    const std::uint16_t entries = dng ? 4 : 3;
    const std::uint32_t valuesAt = 8 + 2 + 12u * entries + 4;
    u16(entries);
    u16(0x010F), u16(2), u32(static_cast<std::uint32_t>(make.size() + 1)), u32(valuesAt);
    u16(0x0111), u16(4), u32(1), u32(valuesAt + 32);
    u16(0x0117), u16(4), u32(1), u32(1001);
    if (dng) u16(0xC612), u16(1), u32(4), u32(0x01040000);
    u32(0);
    t.Text(make).Raw({0});
    t.Fill(valuesAt + 32 - t.b.size(), 0);
    t.Fill(1001, 0x55);
    return t.b;
}

TEST(FormatWalkTest, TiffInBothByteOrdersEndsAfterItsStripsAndTheMakerDecidesTheType) {
    for (bool little : {true, false}) {
        const Bytes nikon = Tiff(little, "NIKON CORPORATION", false);
        ASSERT_EQ(Detect(nikon).family, FormatFamily::Tiff) << little;
        const Extent e = Measure(FormatFamily::Tiff, nikon);
        ASSERT_EQ(e.kind, ExtentKind::Exact);
        EXPECT_EQ(e.type, "NEF");
        // The odd end is padded to an even one only when a zero follows.
        EXPECT_EQ(e.bytes, nikon.size());
        EXPECT_EQ(Measure(FormatFamily::Tiff, Tiff(little, "Canon", false)).type, "CR2");
        EXPECT_EQ(Measure(FormatFamily::Tiff, Tiff(little, "Canon", true)).type, "DNG");
        EXPECT_EQ(Measure(FormatFamily::Tiff, Tiff(little, "Acme", false)).type, "TIFF");
    }
    // Strips that lie past the bound: not followed.
    const Bytes tiff = Tiff(true, "Acme", false);
    EXPECT_EQ(Measure(FormatFamily::Tiff, tiff, tiff.size() - 10).kind, ExtentKind::Unknown);
}

TEST(FormatWalkTest, ATiffEndsAfterEveryValueItsWalkWentBy) {
    // A fuzzing input, reduced: one strip, but 255 strip byte counts whose
    // array runs past the bound. The first count gave the strip's end, yet
    // lay past the end the walk gave, so the file cut there measured otherwise.
    Builder t;
    t.Text("MM").Be16(42).Be32(8).Be16(2);
    t.Be16(0x0111).Be16(4).Be32(1).Be32(40);   // the strip at 40
    t.Be16(0x0117).Be16(4).Be32(255).Be32(200);  // its length, first of 255 at 200
    t.Be32(0);
    t.Fill(200 - t.b.size(), 0x55).Be32(60).Fill(96, 0x66);
    const Extent e = Measure(FormatFamily::Tiff, t.b, t.b.size());
    ASSERT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, 204u);
    const Extent cut = Measure(FormatFamily::Tiff, t.b, e.bytes);
    EXPECT_EQ(cut.kind, ExtentKind::Exact);
    EXPECT_EQ(cut.bytes, e.bytes);
}

TEST(FormatWalkTest, ATiffHeaderWhoseFirstDirectoryLiesFourGigabytesOnIsLeftToTheWalk) {
    // The directory's offset plus its count's two bytes wraps round in 32
    // bits; the header must not be checked at that offset from the sector.
    for (const std::uint8_t last : {std::uint8_t{0xFE}, std::uint8_t{0xFF}}) {
        EXPECT_EQ(Detect({'I', 'I', 42, 0, last, 0xFF, 0xFF, 0xFF}).family, FormatFamily::Tiff);
        EXPECT_EQ(Detect({'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, last}).family, FormatFamily::Tiff);
        EXPECT_EQ(Measure(FormatFamily::Tiff, {'I', 'I', 42, 0, last, 0xFF, 0xFF, 0xFF}).kind, ExtentKind::Unknown);
    }
}

Bytes Box(std::string_view type, const Bytes& payload) {
    Builder b;
    b.Be32(static_cast<std::uint32_t>(payload.size() + 8)).Text(type).Append(payload);
    return b.b;
}

TEST(FormatWalkTest, IsoMediaTypeComesFromTheBrandAndTheEndFromTheLastTopLevelBox) {
    const struct {
        std::string_view brand, type;
    } cases[] = {{"isom", "MP4"}, {"qt  ", "MOV"}, {"M4A ", "M4A"}, {"M4V ", "M4V"}, {"3gp5", "3GP"},
                 {"3g2a", "3G2"}, {"heic", "HEIC"}, {"mif1", "HEIC"}, {"crx ", "CR3"}};
    for (const auto& c : cases) {
        Builder f;
        f.Append(Box("ftyp", Builder().Text(c.brand).Be32(0).Text("isom").b));
        f.Append(Box("free", {}));
        f.Append(Box("mdat", Bytes(3000, 0x11)));
        f.Append(Box("moov", Box("mvhd", Bytes(100, 0))));
        EXPECT_EQ(Detect(f.b).type, c.type) << c.brand;
        const Extent e = Measure(FormatFamily::IsoMedia, f.b);
        EXPECT_EQ(e.kind, ExtentKind::Exact) << c.brand;
        EXPECT_EQ(e.bytes, f.b.size()) << c.brand;
        EXPECT_EQ(e.type, c.type) << c.brand;
    }
    // A QuickTime movie that starts with its wide atom.
    Builder qt;
    qt.Append(Box("wide", {})).Append(Box("mdat", Bytes(700, 3))).Append(Box("moov", Bytes(40, 0)));
    EXPECT_EQ(Detect(qt.b).type, "MOV");
    EXPECT_EQ(Measure(FormatFamily::IsoMedia, qt.b).bytes, qt.b.size());
    // A free box that is not followed by a movie is not a file.
    EXPECT_EQ(Measure(FormatFamily::IsoMedia, Box("free", Bytes(64, 0))).kind, ExtentKind::NotAFile);

    // A fuzzing input: a movie box of 12 bytes measured exactly with bytes
    // after it, but not once cut at its own end, where the walk wanted 16.
    const Bytes tiny = Box("moov", {'j', 'P', ' ', ' '});
    EXPECT_EQ(Detect(tiny).type, "MOV");
    for (std::size_t limit : {tiny.size() + 100, tiny.size()}) {
        const Extent e = Measure(FormatFamily::IsoMedia, tiny, limit);
        EXPECT_EQ(e.kind, ExtentKind::Exact) << limit;
        EXPECT_EQ(e.bytes, tiny.size()) << limit;
    }
}

TEST(FormatWalkTest, AnIsoFileWhoseMediaDataComesLastLeavesItsInsideToBeLookedAt) {
    // A HEIF picture: its items' data in a last media box whose size nothing
    // after it confirms. A cut one would take in the next file up to that size.
    Builder heif;
    heif.Append(Box("ftyp", Builder().Text("heic").Be32(0).Text("mif1heic").b));
    heif.Append(Box("meta", Bytes(200, 0)));
    heif.Append(Box("mdat", Bytes(3000, 0x11)));
    const Extent picture = Measure(FormatFamily::IsoMedia, heif.b);
    EXPECT_EQ(picture.kind, ExtentKind::Exact);
    EXPECT_EQ(picture.bytes, heif.b.size());
    EXPECT_EQ(picture.type, "HEIC");
    EXPECT_TRUE(picture.opaque);

    // A movie whose index follows its media data: the index's box confirms
    // the data's size, and nothing inside is looked at again.
    Builder movie;
    movie.Append(Box("ftyp", Builder().Text("isom").Be32(0).Text("isom").b));
    movie.Append(Box("mdat", Bytes(3000, 0x11)));
    movie.Append(Box("moov", Bytes(100, 0)));
    const Extent indexed = Measure(FormatFamily::IsoMedia, movie.b);
    EXPECT_EQ(indexed.kind, ExtentKind::Exact);
    EXPECT_EQ(indexed.bytes, movie.b.size());
    EXPECT_FALSE(indexed.opaque);

    // A WEBP's coded picture is looked inside too, as a WAV's samples are.
    Builder webp;
    webp.Text("RIFF").Le32(4 + 8 + 3000).Text("WEBP").Text("VP8 ").Le32(3000).Fill(3000, 0x22);
    const Extent coded = Measure(FormatFamily::Riff, webp.b);
    EXPECT_EQ(coded.bytes, webp.b.size());
    EXPECT_EQ(coded.type, "WEBP");
    EXPECT_TRUE(coded.opaque);
}

TEST(FormatWalkTest, SoundFormatsEndWhereTheirFramesOrPagesEnd) {
    // MP3: an ID3v2.4 tag, frames of 417 bytes (128 kbit/s, 44.1 kHz), an ID3v1 tag.
    Builder mp3;
    mp3.Text("ID3").Raw({4, 0, 0, 0, 0, 0, 20}).Fill(20, 0x41);
    for (int i = 0; i < 5; ++i) mp3.Raw({0xFF, 0xFB, 0x90, 0x00}).Fill(413, static_cast<std::uint8_t>(i));
    mp3.Text("TAG").Fill(125, 0x20);
    EXPECT_EQ(Detect(mp3.b).type, "MP3");
    EXPECT_EQ(Measure(FormatFamily::Mp3, mp3.b).bytes, mp3.b.size());
    // Without a tag a few frames in a row are not enough.
    const Bytes bare(mp3.b.begin() + 30, mp3.b.begin() + 30 + 3 * 417);
    EXPECT_EQ(Measure(FormatFamily::Mp3, bare).kind, ExtentKind::NotAFile);
    // Cut at its third sector, inside its third frame, and followed there by
    // another MP3 file, tagged or frames alone: the copy ends where that file
    // begins, not with the frame that runs into it.
    const Bytes frames(mp3.b.begin() + 30, mp3.b.end() - 128);
    for (const Bytes* next : {static_cast<const Bytes*>(&mp3.b), &frames}) {
        Bytes copy(mp3.b.begin(), mp3.b.begin() + 1024);
        copy.insert(copy.end(), next->begin(), next->end());
        EXPECT_EQ(Measure(FormatFamily::Mp3, copy).bytes, 1024u) << (next == &frames ? "frames" : "tagged");
    }
    // Frames of 1440 bytes (320 kbit/s, 32 kHz) cross several sectors; the
    // next file begins at the second one the copy's last frame runs over.
    Builder wide;
    wide.Text("ID3").Raw({3, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 3; ++i) wide.Raw({0xFF, 0xFB, 0xE8, 0x00}).Fill(1436, 0x11);
    Bytes wideCopy(wide.b.begin(), wide.b.begin() + 2048);
    wideCopy.insert(wideCopy.end(), wide.b.begin(), wide.b.end());
    EXPECT_EQ(Measure(FormatFamily::Mp3, wideCopy).bytes, 2048u);

    // Ogg: two logical streams, ended when both have their last page.
    auto page = [](std::uint8_t flags, std::uint32_t serial, std::uint8_t body) {
        Builder p;
        p.Text("OggS").Raw({0, flags}).Fill(8, 0).Le32(serial).Le32(0).Le32(0).Raw({1, body}).Fill(body, 0x4F);
        return p.b;
    };
    Builder ogg;
    ogg.Append(page(2, 1, 30)).Append(page(2, 2, 30)).Append(page(0, 1, 200)).Append(page(4, 1, 10));
    ogg.Append(page(4, 2, 10));
    EXPECT_EQ(Detect(ogg.b).type, "OGG");
    EXPECT_EQ(Measure(FormatFamily::Ogg, ogg.b).bytes, ogg.b.size());
    // Cut before the second stream's end: not followed.
    const Bytes cut(ogg.b.begin(), ogg.b.end() - 41);
    MemoryFileView view(cut.data(), cut.size());
    EXPECT_EQ(MeasureFormat(FormatFamily::Ogg, view).kind, ExtentKind::Unknown);
}

TEST(FormatWalkTest, MidiEndsAfterItsLastTrackAndAHeaderWithoutTracksIsNoFile) {
    Builder midi;
    midi.Text("MThd").Be32(6).Be16(0).Be16(1).Be16(96);
    midi.Text("MTrk").Be32(12).Raw({0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(Detect(midi.b).type, "MIDI");
    const Extent e = Measure(FormatFamily::Midi, midi.b);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, midi.b.size());
    EXPECT_EQ(Measure(FormatFamily::Midi, midi.b, midi.b.size() - 1).kind, ExtentKind::Unknown);

    // A fuzzing input: no tracks and a header length of 50 in a view of 17
    // bytes came out as an exact file of 58.
    const Bytes none = {'M', 'T', 'h', 'd', 0, 0, 0, 0x32, 0, 0, 0, 0, 0, 0x61, 0x10, 0, 3};
    MemoryFileView view(none.data(), none.size());
    EXPECT_EQ(MeasureFormat(FormatFamily::Midi, view).kind, ExtentKind::NotAFile);
}

TEST(FormatWalkTest, MatroskaDocTypeDecidesWebmAndTheSegmentSizeTheEnd) {
    Builder header;
    header.Raw({0x42, 0x82, 0x84}).Text("webm");
    Builder f;
    f.Raw({0x1A, 0x45, 0xDF, 0xA3, static_cast<int>(0x80 | header.b.size())}).Append(header.b);
    // A segment of 256 bytes (its size in two bytes) filled by one Void element.
    f.Raw({0x18, 0x53, 0x80, 0x67, 0x41, 0x00}).Raw({0xEC, 0x40, 0xFD}).Fill(253, 0xEE);
    EXPECT_EQ(Detect(f.b).family, FormatFamily::Ebml);
    const Extent e = Measure(FormatFamily::Ebml, f.b);
    EXPECT_EQ(e.type, "WEBM");
    EXPECT_EQ(e.bytes, f.b.size());

    // Whatever follows the segment is not its own, even where it starts like
    // a Void element: the file still ends with the segment.
    Bytes followed = f.b;
    followed.insert(followed.end(), {0xEC, 0xDE, 0xCE, 0xF9});
    MemoryFileView view(followed.data(), followed.size());
    const Extent after = MeasureFormat(FormatFamily::Ebml, view);
    EXPECT_EQ(after.kind, ExtentKind::Exact);
    EXPECT_EQ(after.bytes, f.b.size());

    // A live recording (a browser's): segment and cluster of unknown size.
    // What follows its last block may start like a cluster's child, here a
    // previous size of 17 bytes; no such element is, so the file ends before it.
    Builder live;
    live.Raw({0x1A, 0x45, 0xDF, 0xA3, static_cast<int>(0x80 | header.b.size())}).Append(header.b);
    for (const int id : {0x18538067, 0x1F43B675})
        live.Be32(static_cast<std::uint32_t>(id)).Raw({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    live.Raw({0xE7, 0x81, 0x00}).Raw({0xA3, 0x88, 0x81, 0x00, 0x00, 0x80}).Fill(4, 0x55);
    Bytes tail = live.b;
    tail.insert(tail.end(), {0xAB, 0x91});
    tail.resize(tail.size() + 17 + 64, 0x37);
    EXPECT_EQ(Measure(FormatFamily::Ebml, tail).bytes, live.b.size());
}

TEST(FormatWalkTest, VideoStreamsEndAfterTheirLastPacketOrFrame) {
    // DV: whole frames of 120000 bytes, ten DIF sequences each opening with
    // its header block.
    Bytes dv(360000, 0x10);
    for (std::size_t at = 0; at < dv.size(); at += 12000) {
        const auto seq = static_cast<std::uint8_t>(at / 12000 % 10);
        dv[at] = 0x1F, dv[at + 1] = static_cast<std::uint8_t>(seq << 4 | 0x07), dv[at + 2] = 0x00;
        if (seq == 0) dv[at + 3] = 0x3F;
    }
    EXPECT_EQ(Detect(dv).family, FormatFamily::Dv);
    EXPECT_EQ(Measure(FormatFamily::Dv, dv).bytes, dv.size());
    // Cut inside its third frame and followed by another DV file: the cut
    // frame is not counted, so the next file's start stays outside.
    Bytes cut(dv.begin(), dv.begin() + 240000 + 60000);
    cut.resize(240000 + 96384, 0xA5);
    cut.insert(cut.end(), dv.begin(), dv.end());
    EXPECT_EQ(Measure(FormatFamily::Dv, cut).bytes, 240000u);
    // Cut after its third frame's last sequence header, at a sector, and
    // followed there by another DV file: that frame looks whole, but the copy
    // ends where the next file's first frame begins.
    Bytes late(dv.begin(), dv.begin() + 680 * 512);
    late.insert(late.end(), dv.begin(), dv.end());
    EXPECT_EQ(Measure(FormatFamily::Dv, late).bytes, 680u * 512);

    // Transport stream: 188-byte packets.
    Bytes ts(188 * 6, 0x00);
    for (std::size_t at = 0; at < ts.size(); at += 188) ts[at] = 0x47, ts[at + 3] = 0x10;
    EXPECT_EQ(Detect(ts).type, "MTS");
    EXPECT_EQ(Measure(FormatFamily::MpegTransport, ts).bytes, ts.size());
    // Followed by bytes that keep the sync bytes' spacing but no packet's
    // form (neither payload nor adaptation field): the stream ends before them.
    Bytes flat = ts;
    flat.resize(ts.size() + 188 * 3, 0x47);
    EXPECT_EQ(Measure(FormatFamily::MpegTransport, flat).bytes, ts.size());
    // Cut at its third sector, inside its sixth packet, and followed there
    // by another stream of either packet size: the copy ends where that
    // stream begins, not with the packet that runs into it.
    Bytes m2ts(192 * 6, 0x00);
    for (std::size_t at = 4; at < m2ts.size(); at += 192) m2ts[at] = 0x47, m2ts[at + 3] = 0x10;
    for (const Bytes* next : {&ts, &m2ts}) {
        Bytes copy(ts.begin(), ts.begin() + 1024);
        copy.insert(copy.end(), next->begin(), next->end());
        EXPECT_EQ(Measure(FormatFamily::MpegTransport, copy).bytes, 1024u) << (next == &ts ? 188 : 192);
    }
    // M2TS cut at a packet's end that is a sector's too (every eighth), and
    // another stream from there: its packets keep the grid, but the first
    // one opens a PES packet out of its PID's turn.
    auto stream = [](int packets) {
        Bytes b;
        for (int k = 0; k < packets; ++k) {
            const Bytes p = {0, 0, 0, 0, 0x47, static_cast<std::uint8_t>(k == 0 ? 0x41 : 0x01), 0x00,
                             static_cast<std::uint8_t>(0x10 | (k & 15))};
            b.insert(b.end(), p.begin(), p.end());
            b.resize(b.size() + 184, 0x5A);
        }
        return b;
    };
    Bytes aligned = stream(8);
    const Bytes after = stream(8);
    aligned.insert(aligned.end(), after.begin(), after.end());
    EXPECT_EQ(Measure(FormatFamily::MpegTransport, aligned).bytes, 1536u);
    EXPECT_EQ(Measure(FormatFamily::MpegTransport, stream(16)).bytes, 16u * 192);

    // Program stream: MPEG-2 pack, a navigation packet (a DVD's), end code.
    Builder ps;
    ps.Raw({0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
    ps.Raw({0, 0, 1, 0xBF}).Be16(10).Fill(10, 0);
    ps.Raw({0, 0, 1, 0xE0}).Be16(100).Fill(100, 0x33);
    ps.Raw({0, 0, 1, 0xB9});
    EXPECT_EQ(Detect(ps.b).family, FormatFamily::MpegProgram);
    const Extent e = Measure(FormatFamily::MpegProgram, ps.b);
    EXPECT_EQ(e.bytes, ps.b.size());
    EXPECT_EQ(e.type, "VOB");

    // A stream cut inside a pack whose stated length lands on the next
    // stream's first pack: that pack's clock runs back, so it is not taken in.
    Builder two;
    two.Raw({0, 0, 1, 0xBA, 0x44, 0x10, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
    two.Raw({0, 0, 1, 0xE0}).Be16(100).Fill(100, 0x33);
    const std::size_t first = two.b.size();
    two.Append(ps.b);
    EXPECT_EQ(Measure(FormatFamily::MpegProgram, two.b).bytes, first);

    // A copy cut inside a packet, zeros to the end of its sector, then a whole
    // stream from the next sector: the packet's stated length lands inside
    // the whole stream's first packet, past its pack header. The cut copy ends
    // where that header's sector starts, which is left for the whole stream.
    Builder whole;
    whole.Raw({0, 0, 1, 0xBA, 0x44, 0x20, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
    whole.Raw({0, 0, 1, 0xE0}).Be16(3000).Fill(3000, 0x33).Raw({0, 0, 1, 0xB9});
    Builder damaged;
    damaged.Raw({0, 0, 1, 0xBA, 0x44, 0x10, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8});
    damaged.Raw({0, 0, 1, 0xE0}).Be16(2000).Fill(700, 0x33).Fill(1024 - 720, 0x00).Append(whole.b);
    EXPECT_EQ(Measure(FormatFamily::MpegProgram, damaged.b).bytes, 1024u);
    EXPECT_EQ(Measure(FormatFamily::MpegProgram, whole.b).bytes, whole.b.size());

    // A fuzzing input, reduced: one MPEG-1 pack header of 12 bytes and then
    // no packet. Cut at that end, the walk wanted the 14 bytes of an MPEG-2
    // header and was sure of nothing; it is sure of the same 12 bytes.
    const Bytes pack = {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0xC3, 0x33, 0x67, 0, 0, 0x31, 0xCC};
    EXPECT_EQ(Measure(FormatFamily::MpegProgram, pack).bytes, 12u);
    const Extent alone = Measure(FormatFamily::MpegProgram, pack, 12);
    EXPECT_EQ(alone.kind, ExtentKind::Unknown);
    EXPECT_EQ(alone.bytes, 12u);
}


// Serves the bytes one block at a time through a single buffer, as the scan's
// view of the source does: a span handed out earlier shows other bytes once
// a read has moved the view on to another block.
class OneBlockView final : public FileView {
public:
    OneBlockView(const Bytes& data, std::size_t block) : FileView(data.size()), data_(data), buffer_(block) {}

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        const std::uint64_t start = offset / buffer_.size() * buffer_.size();
        if (!held_ || start != start_) {
            start_ = start;
            held_ = std::min<std::uint64_t>(buffer_.size(), data_.size() - start);
            std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(start), held_, buffer_.begin());
        }
        return {buffer_.data() + (offset - start_), static_cast<std::size_t>(start_ + held_ - offset)};
    }

private:
    const Bytes& data_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t start_ = 0;
    std::size_t held_ = 0;
};

std::uint8_t FlacCrc8(const Bytes& b) {
    std::uint8_t crc = 0;
    for (std::uint8_t x : b) {
        crc ^= x;
        for (int i = 0; i < 8; ++i) crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t FlacCrc16(Bytes::const_iterator from, Bytes::const_iterator to) {
    std::uint16_t crc = 0;
    for (; from != to; ++from) {
        crc = static_cast<std::uint16_t>(crc ^ (*from << 8));
        for (int i = 0; i < 8; ++i) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

// A fixed-blocking frame header of 192 samples, mono, with its CRC-8.
Bytes FlacFrameHeader(std::uint8_t number) {
    Bytes h = {0xFF, 0xF8, 0x10, 0x00, number};
    h.push_back(FlacCrc8(h));
    return h;
}

// Closes a stretch of a frame: the CRC-16 of everything since the last
// closing one, so the running CRC comes to zero right after it.
void CloseFlacStretch(Builder& f, std::size_t from) {
    f.Be16(FlacCrc16(f.b.begin() + static_cast<std::ptrdiff_t>(from), f.b.end()));
}

TEST(FormatWalkTest, AProgramStreamEndsAtALongRunOfZerosWhereverTheSourceBlocksEnd) {
    // A pack and a packet, then more zeros than a stream pads with, then a
    // pack: the stream ends before the zeros whether the view hands them over
    // at once or a block at a time.
    Builder ps;
    ps.Raw({0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0xC3, 0x33, 0x67}).Raw({0, 0, 1, 0xE0}).Be16(9).Fill(9, 0x33);
    const std::size_t stream = ps.b.size();
    ps.Fill(5000, 0).Raw({0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0xC3, 0x33, 0x67});
    EXPECT_EQ(Measure(FormatFamily::MpegProgram, ps.b).bytes, stream);
    for (const std::size_t block : {512u, 4096u}) {
        OneBlockView blocks(ps.b, block);
        EXPECT_EQ(MeasureFormat(FormatFamily::MpegProgram, blocks).bytes, stream) << block;
    }
}

TEST(FormatWalkTest, FlacEndsAfterItsLastFrameWhereverTheSourceBlocksEnd) {
    Builder f;
    f.Text("fLaC").Raw({0x80, 0, 0, 34}).Fill(13, 0x10).Raw({0}).Be32(384).Fill(16, 0);  // 384 samples
    const std::size_t first = f.b.size();
    // The first frame's running CRC also comes to zero 16 bytes in, where no
    // frame header follows: that is not its end.
    f.Append(FlacFrameHeader(0)).Fill(8, 0x31);
    CloseFlacStretch(f, first);
    const std::size_t falseEnd = f.b.size();
    f.Fill(30, 0x11);
    CloseFlacStretch(f, falseEnd);
    const std::size_t second = f.b.size();
    f.Append(FlacFrameHeader(1)).Fill(40, 0x22);
    CloseFlacStretch(f, second);
    ASSERT_EQ(falseEnd, 58u);

    EXPECT_EQ(Detect(f.b).family, FormatFamily::Flac);
    const Extent whole = Measure(FormatFamily::Flac, f.b);
    EXPECT_EQ(whole.kind, ExtentKind::Exact);
    EXPECT_EQ(whole.bytes, f.b.size());
    // Taggers append an ID3v1 tag to the last frame: it is the file's.
    Bytes tagged = f.b;
    tagged.insert(tagged.end(), {'T', 'A', 'G'});
    tagged.resize(f.b.size() + 128, 0x20);
    tagged.resize(tagged.size() + 100, 0x5A);
    EXPECT_EQ(Measure(FormatFamily::Flac, tagged).bytes, f.b.size() + 128);

    // Blocks of 64 bytes: looking for a frame header after the false end
    // reads across the first block's end while the CRC is still being run
    // over that block's last bytes.
    Bytes data = f.b;
    data.resize(data.size() + 200, 0x5A);
    OneBlockView blocks(data, 64);
    const Extent e = MeasureFormat(FormatFamily::Flac, blocks);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, f.b.size());
}

TEST(FormatWalkTest, AFlacLastFrameIsFollowedThroughItsBitsPastAnEarlyZeroCrc) {
    // One frame of 16 samples of 8 bits, mono, stored verbatim. Two of its
    // samples happen to equal the CRC of what comes before them, so the
    // running CRC comes to zero there, inside the samples: only following the
    // subframe to its end finds the frame's, and so the file's, true end.
    Builder f;
    const std::uint64_t info = (std::uint64_t{8000} << 44) | (std::uint64_t{7} << 36) | 16;
    f.Text("fLaC").Raw({0x80, 0, 0, 34}).Fill(10, 0).Be32(static_cast<std::uint32_t>(info >> 32));
    f.Be32(static_cast<std::uint32_t>(info)).Fill(16, 0);
    const std::size_t frame = f.b.size();
    Bytes header = {0xFF, 0xF8, 0x60, 0x02, 0x00, 15};
    header.push_back(FlacCrc8(header));
    f.Append(header).Raw({0x02}).Fill(4, 0x41);
    CloseFlacStretch(f, frame);
    f.Fill(10, 0x42);
    CloseFlacStretch(f, frame);
    ASSERT_EQ(f.b.size() - frame, 7u + 1 + 16 + 2);

    Bytes data = f.b;
    data.resize(data.size() + 100, 0x5A);
    const Extent e = Measure(FormatFamily::Flac, data);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, f.b.size());
}

TEST(FormatWalkTest, AFlacWhoseShortLastFrameEndsAtTheBoundIsStillExact) {
    // A last frame of 16 samples in 10 bytes (a block size byte makes its
    // header 7 long), the whole file ending where the view does: the look
    // for it must not ask for 16 bytes after the frame before.
    Builder f;
    f.Text("fLaC").Raw({0x80, 0, 0, 34}).Fill(13, 0x10).Raw({0}).Be32(192 + 16).Fill(16, 0);
    const std::size_t first = f.b.size();
    f.Append(FlacFrameHeader(0)).Fill(20, 0x31);
    CloseFlacStretch(f, first);
    const std::size_t last = f.b.size();
    Bytes header = {0xFF, 0xF8, 0x60, 0x00, 0x01, 15};
    header.push_back(FlacCrc8(header));
    f.Append(header).Raw({0x00});
    CloseFlacStretch(f, last);
    ASSERT_EQ(f.b.size() - last, 10u);

    EXPECT_EQ(Measure(FormatFamily::Flac, f.b).bytes, f.b.size());
    MemoryFileView view(f.b.data(), f.b.size());
    const Extent e = MeasureFormat(FormatFamily::Flac, view);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, f.b.size());
}

// A JP2 of its signature, file type and header boxes, then a codestream box:
// SIZ, one tile-part whose SOT gives its length, and EOC. `tileData` bytes of
// tile data; `boxSize` overrides the codestream box's size (0: runs to EOC).
Bytes Jp2(std::uint32_t tileData, std::optional<std::uint32_t> boxSize = std::nullopt) {
    Builder c;
    c.Raw({0xFF, 0x4F, 0xFF, 0x51}).Be16(41).Fill(39, 1);
    c.Raw({0xFF, 0x90}).Be16(10).Be16(0).Be32(14 + tileData).Raw({0, 1});
    c.Raw({0xFF, 0x93}).Fill(tileData, 0x5C);
    c.Raw({0xFF, 0xD9});
    Builder f;
    f.Be32(12).Text("jP  \r\n\x87\n").Be32(20).Text("ftypjp2 ").Be32(0).Text("jp2 ");
    f.Be32(8 + 22).Text("jp2h").Be32(22).Text("ihdr").Fill(14, 0);
    f.Be32(boxSize ? *boxSize : static_cast<std::uint32_t>(8 + c.b.size())).Text("jp2c").Append(c.b);
    return f.b;
}

TEST(FormatWalkTest, AJp2CodestreamIsTakenOnTrustOnlyWhenItsTilePartsDoNotReachItsBoxEnd) {
    const Bytes whole = Jp2(300);
    // The box of a copy whose tail was overwritten by another file still
    // declares the old size, but its tile-parts no longer reach an end
    // marker there: the scan must look inside it.
    Bytes overwritten = Jp2(300);
    const Bytes other = Jp2(40);
    std::copy_n(other.begin(), 100, overwritten.end() - 100);
    const Bytes runsToEoc = Jp2(300, 0);
    struct Case {
        const char* what;
        const Bytes& file;
        std::uint64_t bytes;
        bool opaque;
    } cases[] = {
        {"tile-parts end at the box's end", whole, whole.size(), false},
        {"its tail overwritten", overwritten, overwritten.size(), true},
        {"a box that runs to EOC", runsToEoc, runsToEoc.size(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Detect(c.file).family, FormatFamily::Jp2);
        const Extent e = Measure(FormatFamily::Jp2, c.file);
        EXPECT_EQ(e.kind, ExtentKind::Exact);
        EXPECT_EQ(e.bytes, c.bytes);
        EXPECT_EQ(e.opaque, c.opaque);
    }
}

// Serves the data and notes the furthest byte a walk asked for.
class ReachView final : public FileView {
public:
    explicit ReachView(const Bytes& data) : FileView(data.size()), data_(data) {}
    std::uint64_t reach = 0;

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        const std::uint64_t end = std::min<std::uint64_t>(offset + 4096, data_.size());
        reach = std::max(reach, end);
        return {data_.data() + offset, static_cast<std::size_t>(end - offset)};
    }

private:
    const Bytes& data_;
};

TEST(FormatWalkTest, AFlacFrameEndsWithinTheBytesItsSamplesCouldTake) {
    // Frames of 192 mono samples take at most 192 x 33 bits and their
    // headers: about 1.8 KB. A running CRC that comes to zero further on,
    // even before a header that would fit, does not end the frame, and a
    // stream cut or overwritten after a frame is not followed to the end of
    // the medium.
    auto stream = [](std::uint32_t samples) {
        Builder f;
        f.Text("fLaC").Raw({0x80, 0, 0, 34}).Fill(13, 0x10).Raw({0}).Be32(samples).Fill(16, 0);
        return f;
    };
    auto noise = [](Builder& f, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) f.b.push_back(static_cast<std::uint8_t>((i * 2654435761u) >> 13));
    };
    const struct Case {
        const char* what;
        std::size_t firstFrameData;  // bytes of the first frame after its header
        std::size_t noiseAfter;      // bytes of noise after the first frame, then the second frame
        bool secondFrame;
        ExtentKind kind;
    } cases[] = {
        {"two frames of 192 samples", 300, 0, true, ExtentKind::Exact},
        {"a first frame of nearly the most its samples take", 1700, 0, true, ExtentKind::Exact},
        {"the next frame only after 5 KB: too far", 300, 5000, true, ExtentKind::Unknown},
        {"cut after its first frame, 3 MB of noise after it", 300, 3 << 20, false, ExtentKind::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Builder f = stream(384);
        const std::size_t first = f.b.size();
        f.Append(FlacFrameHeader(0)).Fill(c.firstFrameData, 0x31);
        noise(f, c.noiseAfter);
        CloseFlacStretch(f, first);
        if (c.secondFrame) {
            const std::size_t second = f.b.size();
            f.Append(FlacFrameHeader(1)).Fill(40, 0x22);
            CloseFlacStretch(f, second);
        }
        const std::size_t fileBytes = f.b.size();
        noise(f, 4096);
        ReachView view(f.b);
        const Extent e = MeasureFormat(FormatFamily::Flac, view);
        EXPECT_EQ(e.kind, c.kind);
        if (c.kind == ExtentKind::Exact) {
            EXPECT_EQ(e.bytes, fileBytes);
        } else {
            EXPECT_LT(view.reach, first + 2000 + 4096);
        }
    }
}

TEST(FormatWalkTest, APsdWhosePixelCountWrapsRoundIsNotTakenForASmallFile) {
    // 2^31 rows of 2^31 pixels, 4 channels of 32 bits: 2^66 bytes, which a
    // 64-bit product wraps round to 0.
    Builder psd;
    psd.Text("8BPS").Be16(1).Fill(6, 0).Be16(4).Be32(0x80000000).Be32(0x80000000).Be16(32).Be16(3);
    psd.Be32(0).Be32(0).Be32(0).Be16(0);
    EXPECT_EQ(Detect(psd.b).family, FormatFamily::Psd);
    EXPECT_EQ(Measure(FormatFamily::Psd, psd.b).kind, ExtentKind::Unknown);
    // A real one of 2 by 2, one 8-bit grey channel, raw: 4 bytes of pixels.
    Builder small;
    small.Text("8BPS").Be16(1).Fill(6, 0).Be16(1).Be32(2).Be32(2).Be16(8).Be16(1);
    small.Be32(0).Be32(0).Be32(0).Be16(0).Fill(4, 9);
    const Extent e = Measure(FormatFamily::Psd, small.b);
    EXPECT_EQ(e.kind, ExtentKind::Exact);
    EXPECT_EQ(e.bytes, small.b.size());
}

}  // namespace
}  // namespace zt
