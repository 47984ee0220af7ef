// The format walks on small files built here byte by byte: where each one
// decides a file ends, what it takes for a header that is not a file, and
// that nothing past the view's bound is ever used.
#include "core/scan/format_walk.h"

#include <gtest/gtest.h>

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

    // A RIFF whose size runs past the bound, and one with a form that is not ours.
    Builder riff;
    riff.Text("RIFF").Le32(0x7FFFFFF0).Text("WAVE");
    EXPECT_EQ(Measure(FormatFamily::Riff, riff.b).kind, ExtentKind::Unknown);
    Builder other;
    other.Text("RIFF").Le32(100).Text("RMID");
    EXPECT_EQ(Measure(FormatFamily::Riff, other.b).kind, ExtentKind::NotAFile);

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

    // Transport stream: 188-byte packets.
    Bytes ts(188 * 6, 0x00);
    for (std::size_t at = 0; at < ts.size(); at += 188) ts[at] = 0x47;
    EXPECT_EQ(Detect(ts).type, "MTS");
    EXPECT_EQ(Measure(FormatFamily::MpegTransport, ts).bytes, ts.size());

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
}

}  // namespace
}  // namespace zt
