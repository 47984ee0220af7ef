// TIFF as ImageMagick and exiftool write it, made here: both byte orders,
// strips or tiles, raw or compressed, several pages, BigTIFF, a picture of
// camera size, and camera Exif written into it, whose maker decides the
// type. Each ends at the furthest byte its directories, values, strips or
// tiles reach, measured alone and in a scan of all of them laid on an image.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"

namespace zt::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

int RunCommand(const std::string& command) {
    const int raw = std::system((command + " 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Replace(std::string text, std::string_view what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

// Bytes no walk takes for more of a file.
void PutNoise(Bytes& b, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) b[i] = static_cast<std::uint8_t>(i * 37 + 11);
}

TEST(TiffFiles, EachEndsWhereItsFurthestPieceEndsAndItsMakerNamesTheType) {
    TempDir dir;
    const std::string pic = "'" + (dir.Path() / "pic.png").string() + "'";
    ASSERT_EQ(RunCommand("convert -size 200x150 plasma:fractal -depth 8 " + pic), 0)
        << "ImageMagick is missing (scripts/deps.sh test installs it)";
    const struct Case {
        const char* file;
        const char* make;  // PIC: the picture, OUT: the file
        const char* type;
        bool padsOddEnd = true;  // with a zero, when the file's length is odd
    } cases[] = {
        {"little-raw.tif", "convert PIC -endian LSB -compress none OUT", "TIFF"},
        {"big-lzw.tif", "convert PIC -endian MSB -compress lzw OUT", "TIFF"},
        {"little-zip.tif", "convert PIC -endian LSB -compress zip OUT", "TIFF"},
        {"jpeg.tif", "convert PIC -compress jpeg OUT", "TIFF"},
        {"tiled-raw.tif", "convert PIC -define tiff:tile-geometry=64x64 -endian LSB -compress none OUT", "TIFF"},
        {"tiled-zip-16bit.tif", "convert PIC -depth 16 -define tiff:tile-geometry=32x32 -endian MSB -compress zip OUT",
         "TIFF"},
        {"two-pages.tif", "convert PIC \\( PIC -rotate 90 \\) -adjoin -endian MSB OUT", "TIFF"},
        {"bigtiff.tif", "convert PIC -endian LSB TIFF64:OUT", "TIFF"},
        {"bigtiff-tiled.tif", "convert PIC -endian MSB -define tiff:tile-geometry=64x64 TIFF64:OUT", "TIFF"},
        {"camera-size.tif", "convert -size 1200x900 gradient:navy-orange -depth 8 -compress none OUT", "TIFF"},
        {"nikon.tif",
         "convert PIC -endian LSB OUT && exiftool -q -overwrite_original '-Make=NIKON CORPORATION' -Model=D850 "
         "'-DateTimeOriginal=2024:05:01 10:00:00' -GPSLatitude=48.1 -GPSLatitudeRef=N OUT",
         "NEF"},
        {"sony-tiled.tif",
         "convert PIC -endian MSB -define tiff:tile-geometry=64x64 OUT && exiftool -q -overwrite_original -Make=SONY "
         "-Artist=someone -ISO=400 OUT",
         "ARW"},
        // ffmpeg puts no value on an even offset and pads nothing.
        {"ffmpeg.tif", "ffmpeg -loglevel error -y -i PIC OUT", "TIFF", false},
        {"ffmpeg-odd.tif", "ffmpeg -loglevel error -y -i PIC -vf crop=199:149 -compression_algo raw OUT", "TIFF", false},
        {"canon-dng.tif",
         "convert PIC -endian MSB -compress lzw OUT && exiftool -q -overwrite_original -Make=Canon -DNGVersion=1.4.0.0 "
         "OUT",
         "DNG"},
    };

    Bytes image;
    struct Placed {
        std::uint64_t sector;
        std::uint64_t bytes;
        const char* type;
    };
    std::vector<Placed> placed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path out = dir.Path() / c.file;
        const std::string command = Replace(Replace(c.make, "PIC", pic), "OUT", "'" + out.string() + "'");
        ASSERT_EQ(RunCommand(command), 0) << command;
        const Bytes file = ReadBytes(out);
        ASSERT_GT(file.size(), 1000u);

        Bytes sector(file.begin(), file.begin() + 1024);
        EXPECT_EQ(DetectFormat(sector.data(), sector.size()).family, FormatFamily::Tiff);
        Bytes followed = file;
        followed.resize(file.size() + 3000);
        PutNoise(followed, file.size(), followed.size());
        MemoryFileView view(followed.data(), followed.size());
        const Extent e = MeasureFormat(FormatFamily::Tiff, view);
        EXPECT_EQ(e.kind, ExtentKind::Exact);
        EXPECT_EQ(e.bytes, file.size());
        EXPECT_EQ(e.type, c.type);
        // Followed by zeros, as on a card: a zero after an odd end is the
        // writer's padding only where the writer pads.
        Bytes zeroed = file;
        zeroed.resize(file.size() + 3000, 0);
        MemoryFileView zeros(zeroed.data(), zeroed.size());
        EXPECT_EQ(MeasureFormat(FormatFamily::Tiff, zeros).bytes, file.size() + (file.size() % 2 == 1 && c.padsOddEnd));

        // On the image at a sector start, three sectors of noise after it.
        placed.push_back({image.size() / kSectorBytes, file.size(), c.type});
        image.insert(image.end(), file.begin(), file.end());
        const std::size_t from = image.size();
        image.resize((image.size() + kSectorBytes - 1) / kSectorBytes * kSectorBytes + 3 * kSectorBytes);
        PutNoise(image, from, image.size());
    }

    std::vector<TypeRow> rows = DefaultTypeRows(SignatureMode::Extended);
    for (TypeRow& row : rows) {
        row.ticked = row.fileType == "TIFF" || row.fileType == "NEF" || row.fileType == "ARW" || row.fileType == "DNG";
        row.sizeText = "8000";
    }
    TypeDefinitionList types = BuildTypeDefinitionList(rows, SignatureMode::Extended).definitions;
    SourceDescriptor source;
    source.DeviceNames[0] = "memory";
    source.RangeEnd = image.size() / kSectorBytes;
    BadSectorPolicyState policy;
    MemoryRawIo io(image);
    SectorReader reader(source, policy, io);
    FoundFileList found;
    ScanDriver(reader, types, found, {}, SignatureMode::Extended).Run();
    const std::vector<FileInfo> files = found.Snapshot();
    ASSERT_EQ(files.size(), placed.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(cases[i].file);
        EXPECT_EQ(files[i].startSector, placed[i].sector);
        EXPECT_EQ(files[i].byteLength, placed[i].bytes);
        EXPECT_EQ(files[i].TypeName(), placed[i].type);
    }
}

}  // namespace
}  // namespace zt::testing
