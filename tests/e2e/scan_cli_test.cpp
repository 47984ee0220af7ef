// pictora-cli scan on a disk image holding real files made by common tools,
// laid at sector boundaries between random filler: the list must say exactly
// where each file starts and how long the scan takes it to be.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <optional>
#include <random>
#include <sstream>

#include "core/scan/tests/scan_fixture.h"

namespace zt::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes ReadBytes(const std::filesystem::path& p) {
    const std::string s = ReadAll(p);
    return {s.begin(), s.end()};
}

// Runs a shell command with stdin closed, or reading input; captures stdout and stderr.
CommandResult RunShell(const std::string& command, const std::filesystem::path& scratch,
                       const std::optional<std::string>& input = std::nullopt) {
    const std::string out = (scratch / "stdout.txt").string();
    const std::string err = (scratch / "stderr.txt").string();
    std::string in = "/dev/null";
    if (input) {
        in = (scratch / "stdin.txt").string();
        std::ofstream(in, std::ios::binary) << *input;
    }
    const int raw = std::system((command + " <" + in + " >" + out + " 2>" + err).c_str());
    CommandResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    return r;
}

std::size_t Find(const Bytes& data, const Bytes& pattern) {
    auto it = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
    return it == data.end() ? std::string::npos : static_cast<std::size_t>(it - data.begin());
}

std::uint32_t Le32(const Bytes& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | std::uint32_t{d[at + 3]} << 24;
}
std::uint32_t Be32(const Bytes& d, std::size_t at) {
    return std::uint32_t{d[at]} << 24 | d[at + 1] << 16 | d[at + 2] << 8 | d[at + 3];
}

struct MediaFile {
    std::string type;
    std::string name;     // in the scratch folder
    std::string command;  // makes it there
};

const std::vector<MediaFile> kMedia = {
    {"JPEG", "photo.jpg", "convert -size 320x240 -seed 7 plasma:fractal photo.jpg"},
    {"PNG", "drawing.png", "convert -size 96x64 gradient:red-blue drawing.png"},
    {"GIF", "anim.gif", "convert -size 64x64 gradient:yellow-green anim.gif"},
    {"BMP", "scan.bmp", "convert -size 80x60 gradient:white-black scan.bmp"},
    {"TIFF", "page.tif", "convert -size 64x48 gradient: -compress none -define tiff:endian=lsb page.tif"},
    {"WAV", "voice.wav", "ffmpeg -loglevel error -y -f lavfi -i sine=duration=0.5 -metadata date=2026-12-08 voice.wav"},
    {"AU", "beep.au", "sox -n -r 8000 -c 1 beep.au synth 0.5 sine 440"},
    {"AVI", "clip.avi", "ffmpeg -loglevel error -y -f lavfi -i testsrc=duration=1:size=160x120:rate=10 clip.avi"},
    // Last: its end is decided by looking 350 sectors ahead for more markers.
    {"MP3", "song.mp3", "ffmpeg -loglevel error -y -f lavfi -i sine=duration=1 -id3v2_version 3 song.mp3"},
};

// The sector count the scan gives a file of this type, from its bytes (the
// byte after the file is zero).
std::int32_t ExpectedSectors(const std::string& type, Bytes data) {
    data.insert(data.end(), 16, 0);
    auto footer = [&](const Bytes& pattern) {
        const std::size_t at = Find(data, pattern);
        EXPECT_NE(at, std::string::npos) << type << " has no end marker";
        return static_cast<std::int32_t>(at / 512 + 1);
    };
    if (type == "JPEG") return footer({0xFF, 0xD9});
    if (type == "PNG") return footer({0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82});
    if (type == "GIF") return footer({0x00, 0x3B, 0x00});
    if (type == "TIFF") return footer(Bytes(16, 0));
    if (type == "WAV") return footer({0x49, 0x43, 0x52, 0x44, 0x0B, 0x00, 0x00, 0x00});
    if (type == "BMP") return static_cast<std::int32_t>(Le32(data, 2) / 512 + 1);
    if (type == "AVI") return static_cast<std::int32_t>(Le32(data, 4) / 512 + 1);
    if (type == "AU") return static_cast<std::int32_t>(Be32(data, 8) / 512 + 1);
    if (type == "MP3") {
        std::size_t last = 0;
        for (std::size_t at = Find(data, {'L', 'A', 'M', 'E'}); at != std::string::npos;) {
            last = at / 512;
            const Bytes rest(data.begin() + static_cast<std::ptrdiff_t>(at + 1), data.end());
            const std::size_t next = Find(rest, {'L', 'A', 'M', 'E'});
            at = next == std::string::npos ? next : at + 1 + next;
        }
        return static_cast<std::int32_t>(last + 10);
    }
    ADD_FAILURE() << "no rule for " << type;
    return 0;
}

class ScanCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        // The program's settings and logs go to the test's folder: its first
        // start there writes the log folders into the settings store.
        ::setenv("ZT_REGISTRY_DIR", (dir_->Path() / "settings").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_->Path() / "state").c_str(), 1);
        const std::string cd = "cd " + dir_->Path().string() + " && ";
        std::mt19937 rng(42);
        auto filler = [&](std::size_t sectors) {
            Bytes b(sectors * 512);
            for (auto& x : b) x = static_cast<std::uint8_t>(rng());
            return b;
        };
        image_ = filler(64);
        std::ostringstream list;
        for (const MediaFile& m : kMedia) {
            ASSERT_EQ(std::system((cd + m.command + " </dev/null").c_str()), 0) << m.command;
            const Bytes data = ReadBytes(dir_->Path() / m.name);
            const std::size_t start = image_.size() / 512;
            image_.insert(image_.end(), data.begin(), data.end());
            // Zeros to the sector end and one more sector, then filler.
            image_.resize((image_.size() + 511) / 512 * 512 + 512, 0);
            const Bytes more = filler(1 + rng() % 20);
            image_.insert(image_.end(), more.begin(), more.end());
            counts_[m.type] = ExpectedSectors(m.type, data);
            list << "File1." << m.type << '\t' << m.type << '\t' << start << '\t' << counts_[m.type] << '\n';
        }
        const Bytes tail = filler(400);
        image_.insert(image_.end(), tail.begin(), tail.end());
        expectedList_ = list.str();
        WriteFile(dir_->Path() / "card.dd", image_);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    CommandResult Cli(const std::string& args, const std::optional<std::string>& input = std::nullopt) {
        return RunShell(std::string(ZT_PICTORA_CLI) + " " + args, dir_->Path(), input);
    }
    static std::string LogFolder() { return (dir_->Path() / "state/zentrix-pictora").string(); }
    static std::string Log(const std::string& name) { return ReadAll(LogFolder() + "/" + name); }
    // A fresh empty folder to save into.
    static std::string SaveFolder(const std::string& name) {
        const std::filesystem::path folder = dir_->Path() / name;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        return folder.string();
    }
    // What a saved file must hold: the image's sectors start through start + count.
    static Bytes SectorsOf(const Bytes& image, std::uint64_t start, std::int32_t count) {
        Bytes bytes((static_cast<std::size_t>(count) + 1) * 512, 0);
        for (std::size_t i = 0; i < bytes.size() && start * 512 + i < image.size(); ++i) bytes[i] = image[start * 512 + i];
        return bytes;
    }
    struct Listed {
        std::string name, type;
        std::uint64_t start = 0;
        std::int32_t count = 0;
    };
    static std::vector<Listed> ParseList(const std::string& list) {
        std::vector<Listed> files;
        std::istringstream lines(list);
        Listed f;
        while (lines >> f.name >> f.type >> f.start >> f.count) files.push_back(f);
        return files;
    }
    std::string Card() const { return (dir_->Path() / "card.dd").string(); }

    static TempDir* dir_;
    static Bytes image_;
    static std::map<std::string, std::int32_t> counts_;
    static std::string expectedList_;
};

TempDir* ScanCliTest::dir_ = nullptr;
Bytes ScanCliTest::image_;
std::map<std::string, std::int32_t> ScanCliTest::counts_;
std::string ScanCliTest::expectedList_;

TEST_F(ScanCliTest, ListsEveryFileOfARawImage) {
    const CommandResult r = Cli("scan --signatures standard " + Card() + " --types all --list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedList_);
    const std::size_t sectors = image_.size() / 512;
    EXPECT_NE(r.err.find("Current Sector : " + std::to_string(sectors) + " / " + std::to_string(sectors)),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Files Found : " + std::to_string(kMedia.size())), std::string::npos);
    EXPECT_NE(r.err.find("Analysing Completed"), std::string::npos);
}

TEST_F(ScanCliTest, ReadsAnImageSetFolderLikeTheRawImage) {
    const std::filesystem::path set = dir_->Path() / "set";
    std::filesystem::create_directories(set);
    std::filesystem::copy_file(Card(), set / "Image0.img", std::filesystem::copy_options::overwrite_existing);
    const CommandResult r = Cli("scan --signatures standard " + set.string() + " --list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedList_);
}

TEST_F(ScanCliTest, ExtendedSignaturesAreTheDefaultAndAFileCutToItsSizeIsMarked) {
    // The listed fields of each type: without --signatures a fifth, the length
    // in bytes, and a sixth, "cut", only on a file that is not whole.
    const std::string jpeg = std::to_string(ReadBytes(dir_->Path() / "photo.jpg").size());
    const std::string bmp = std::to_string(ReadBytes(dir_->Path() / "scan.bmp").size());
    struct Case {
        std::string options;
        std::map<std::string, std::vector<std::string>> tails;  // type: the fields after the sector count
    };
    const std::vector<Case> cases = {
        {"", {{"JPEG", {jpeg}}, {"BMP", {bmp}}}},
        {"--max-size BMP=2", {{"JPEG", {jpeg}}, {"BMP", {"2048", "cut"}}}},
        {"--max-size bmp=99999999", {{"JPEG", {jpeg}}, {"BMP", {bmp}}}},  // outside the range: the default
        {"--signatures standard --max-size BMP=2", {{"JPEG", {}}, {"BMP", {}}}},
    };
    for (const Case& c : cases) {
        const CommandResult r = Cli("scan " + Card() + " --types JPEG,BMP --list " + c.options);
        EXPECT_EQ(r.status, 0) << c.options << r.err;
        std::map<std::string, std::vector<std::string>> tails;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
            ASSERT_GE(fields.size(), 4u) << line;
            tails[fields[1]] = std::vector<std::string>(fields.begin() + 4, fields.end());
        }
        EXPECT_EQ(tails, c.tails) << c.options;
    }

    // Saved, the cut file holds what was kept, and the end says it is not whole.
    const std::string out = SaveFolder("saved-cut");
    const CommandResult r = Cli("scan " + Card() + " --types JPEG,BMP --max-size BMP=2 --save " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Saved 2 / 2 files in " + out + "\n1 saved file is not whole"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2.0 KB  cut"), std::string::npos) << r.out;
    EXPECT_EQ(std::filesystem::file_size(out + "/BMP/File1.BMP"), 2048u);
    EXPECT_EQ(ReadBytes(out + "/JPEG/File1.JPEG"), ReadBytes(dir_->Path() / "photo.jpg"));
}

// A camera on an exFAT card writes videos past 4 GiB. Where the file's own
// size fields say so (a 64-bit media data box, an MKV segment, RF64), the walk
// follows it to its end and the default size keeps it whole; a size the user
// sets still caps it. Sparse images: the walk reads only the headers.
TEST_F(ScanCliTest, AVideoPastFourGibibytesComesBackWholeWhereItsSizeFieldsSaySo) {
    const std::uint64_t big = (std::uint64_t{4} << 30) + (std::uint64_t{300} << 20);
    auto be = [](std::uint64_t v, int bytes) {
        std::string s;
        for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i) & 0xFF);
        return s;
    };
    // ftyp, a media data box of 64-bit size, then the movie box.
    const std::string ftyp = be(24, 4) + "ftypisom" + be(0x200, 4) + "isommp41";
    const std::string moov = be(8 + 108, 4) + "moov" + be(108, 4) + "mvhd" + std::string(100, '\0');
    auto le = [](std::uint64_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
        return s;
    };
    // RF64: the true sizes in its ds64 chunk, the 32-bit ones left open.
    const std::string rf64 = "RF64" + le(0xFFFFFFFF, 4) + "WAVEds64" + le(28, 4) + le(72 + big, 8) + le(big, 8) +
                             le(big / 4, 8) + le(0, 4) + "fmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(48000, 4) +
                             le(192000, 4) + le(4, 2) + le(16, 2) + "data" + le(0xFFFFFFFF, 4);
    // The EBML header, a segment of known size filled by one Void element.
    const std::string head = std::string("\x1A\x45\xDF\xA3\x8B\x42\x82\x88matroska");
    struct Case {
        std::string name, type;
        std::string start;  // written at 0
        std::uint64_t hole;  // zeros after it
        std::string end;    // written after them
    };
    const Case cases[] = {
        {"big-mp4.dd", "MP4", ftyp + be(1, 4) + "mdat" + be(16 + big, 8), big, moov},
        {"big-mkv.dd", "MKV", head + "\x18\x53\x80\x67" + be(0x01ull << 56 | (9 + big), 8) + "\xEC" + be(0x01ull << 56 | big, 8),
         big, ""},
        {"big-rf64.dd", "WAV", rf64, big, ""},
    };
    for (const Case& c : cases) {
        const std::filesystem::path image = dir_->Path() / c.name;
        {
            std::ofstream out(image, std::ios::binary);
            out << c.start;
            out.seekp(static_cast<std::streamoff>(c.start.size() + c.hole));
            out << c.end << std::string(4096, '\0');
        }
        const std::uint64_t bytes = c.start.size() + c.hole + c.end.size();
        const std::string sectors = std::to_string((bytes + 511) / 512);
        CommandResult r = Cli("scan " + image.string() + " --list");
        EXPECT_EQ(r.status, 0) << c.name << r.err;
        EXPECT_EQ(r.out, "File1." + c.type + '\t' + c.type + "\t0\t" + sectors + '\t' + std::to_string(bytes) + '\n')
            << c.name;
        r = Cli("scan " + image.string() + " --list --max-size " + c.type + "=1000000");
        EXPECT_EQ(r.out, "File1." + c.type + '\t' + c.type + "\t0\t2000000\t1024000000\tcut\n") << c.name;
        std::filesystem::remove(image);
    }
}

TEST_F(ScanCliTest, TypesSizesAndRangeNarrowTheScan) {
    // Names in any letter case. The maximum size only stands in for an end
    // that is not found: the AVI's length field is within its limit.
    CommandResult r = Cli("scan --signatures standard " + Card() + " --types jpeg,Avi --max-size AVI=4 --list");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> types;
    while (std::getline(lines, line)) types.push_back(line.substr(line.find('\t') + 1, 4));
    EXPECT_EQ(types, (std::vector<std::string>{"JPEG", "AVI\t"}));
    EXPECT_NE(r.out.find("File1.AVI\tAVI\t"), std::string::npos);
    EXPECT_NE(r.out.find("\t" + std::to_string(counts_["AVI"]) + "\n"), std::string::npos);

    // A range that begins after the JPEG's header misses it.
    r = Cli("scan --signatures standard " + Card() + " --range 65:" + std::to_string(image_.size() / 512) + " --types JPEG --list");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(ScanCliTest, TableGroupsByType) {
    const CommandResult r = Cli("scan --signatures standard " + Card());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("JPEG: 1 file, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("File1.MP3"), std::string::npos);
    EXPECT_NE(r.out.find("Analysing Completed"), std::string::npos);
}

TEST_F(ScanCliTest, RefusalsCarryTheirMessageAndStatus) {
    CommandResult r = Cli("scan --signatures standard " + Card() + " --range 2048:2048");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("End sector should be bigger than start sector."), std::string::npos);
    r = Cli("scan --signatures standard " + Card() + " --range x:10");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Start sector is not valid."), std::string::npos);
    r = Cli("scan --signatures standard " + Card() + " --range 0:18014398509481984");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("End sector is not valid."), std::string::npos);
    r = Cli("scan --signatures standard " + Card() + " --types ,");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Select the Extention"), std::string::npos);
    r = Cli("scan --signatures standard " + Card() + " --types JPEG,WEBP");
    EXPECT_EQ(r.status, 2);
    r = Cli("scan --signatures standard " + (dir_->Path() / "absent.dd").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.dd"), std::string::npos);
    EXPECT_EQ(r.out, "");
    r = Cli("scan --signatures standard " + dir_->Path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Image path not found. Please specify image path."), std::string::npos);
    r = Cli("frobnicate");
    EXPECT_EQ(r.status, 2);
}

TEST_F(ScanCliTest, RangePastTheEndWarnsAndScansZeros) {
    const std::size_t sectors = image_.size() / 512;
    const CommandResult r = Cli("scan --signatures standard " + Card() + " --list --range 0:" + std::to_string(sectors + 5000));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expectedList_);
    EXPECT_NE(r.err.find("past the end of the source"), std::string::npos) << r.err;
}

TEST_F(ScanCliTest, InterruptStopsAtAChunkBoundaryAndReportsAborted) {
    // A large sparse image keeps the scan busy long enough to be interrupted.
    const std::filesystem::path big = dir_->Path() / "big.dd";
    WriteFile(big, image_);
    std::filesystem::resize_file(big, std::uintmax_t{200} << 30);
    // --foreground: one SIGINT to the program only, as one Ctrl+C gives (a
    // second one would end it at once).
    const CommandResult r = RunShell("timeout --foreground --preserve-status -s INT 2 " + std::string(ZT_PICTORA_CLI) +
                                         " scan --signatures standard " + big.string() + " --list",
                                     dir_->Path());
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("Analysing Aborted"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, expectedList_);  // everything before the stop is reported
}

TEST_F(ScanCliTest, FindsTheDeletedFilesOfAFatFileSystem) {
    // Files copied onto a fresh FAT file system and deleted again: their
    // directory entries are gone, their clusters still hold them.
    const std::string fat = (dir_->Path() / "fat.img").string();
    std::string make = "cd " + dir_->Path().string() +
                       " && export MTOOLS_SKIP_CHECK=1 && rm -f fat.img && mkfs.vfat -C fat.img 16384 >/dev/null";
    for (const MediaFile& m : kMedia) make += " && mcopy -i fat.img " + m.name + " ::";
    for (const MediaFile& m : kMedia) make += " && mdel -i fat.img ::" + m.name;
    ASSERT_EQ(RunShell(make, dir_->Path()).status, 0);

    const Bytes image = ReadBytes(fat);
    std::vector<std::pair<std::size_t, std::string>> expected;
    for (const MediaFile& m : kMedia) {
        const Bytes data = ReadBytes(dir_->Path() / m.name);
        const std::size_t at = Find(image, data);
        ASSERT_NE(at, std::string::npos) << m.name;
        ASSERT_EQ(at % 512, 0u) << m.name;
        expected.emplace_back(at / 512, "File1." + m.type + '\t' + m.type + '\t' + std::to_string(at / 512) + '\t' +
                                            std::to_string(ExpectedSectors(m.type, data)) + '\n');
    }
    std::sort(expected.begin(), expected.end());
    std::string list;
    for (const auto& e : expected) list += e.second;

    const CommandResult r = Cli("scan --signatures standard " + fat + " --list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, list);
}

TEST_F(ScanCliTest, TheCardsFileSystemNamesItsFilesOnlyWhenAsked) {
    // Every file in a folder of a FAT file system, the photo deleted again.
    const std::string fat = (dir_->Path() / "named.img").string();
    std::string make = "cd " + dir_->Path().string() +
                       " && export MTOOLS_SKIP_CHECK=1 && rm -f named.img && mkfs.vfat -C named.img 16384 >/dev/null"
                       " && mmd -i named.img ::Card";
    for (const MediaFile& m : kMedia) make += " && mcopy -i named.img " + m.name + " ::Card/" + m.name;
    make += " && mdel -i named.img ::Card/photo.jpg";
    ASSERT_EQ(RunShell(make, dir_->Path()).status, 0);

    // Off, and by default, the list is the carving's alone.
    const CommandResult plain = Cli("scan " + fat + " --list");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(Cli("scan " + fat + " --list --file-system off").out, plain.out);
    EXPECT_EQ(plain.out.find("Card/"), std::string::npos);

    // A fresh log: the next start writes its folders into the settings again.
    std::filesystem::remove_all(LogFolder());
    std::filesystem::remove_all(dir_->Path() / "settings");
    const CommandResult named = Cli("scan " + fat + " --list --file-system auto");
    ASSERT_EQ(named.status, 0) << named.err;
    std::map<std::string, std::vector<std::string>> byPath;  // path: the line's fields
    std::set<std::string> starts;
    std::istringstream lines(named.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        ASSERT_EQ(fields.size(), 8u) << line;
        EXPECT_TRUE(starts.insert(fields[2]).second) << "a start shown twice: " << line;
        if (fields[7] != "-") byPath[fields[7]] = fields;
    }
    // The deleted photo's first character is lost with its entry: mtools
    // wrote no long name for a name that fits 8.3.
    ASSERT_EQ(byPath.size(), kMedia.size()) << named.out;
    for (const MediaFile& m : kMedia) {
        const std::string path = m.type == "JPEG" ? "Card/_hoto.jpg" : "Card/" + m.name;
        SCOPED_TRACE(path);
        ASSERT_TRUE(byPath.contains(path));
        const std::vector<std::string>& f = byPath[path];
        EXPECT_EQ(f[1], m.type);
        EXPECT_EQ(f[4], std::to_string(std::filesystem::file_size(dir_->Path() / m.name)));
        EXPECT_EQ(f[5], m.type == "JPEG" ? "deleted" : "live");
    }
    const std::string log = Log("Activity Log.txt");
    EXPECT_NE(log.find("File Systems :\r\nFAT16 at sector 0 : " + std::to_string(kMedia.size() - 1) +
                       " live, 1 deleted, 0 orphan files"),
              std::string::npos)
        << log;

    EXPECT_EQ(Cli("scan " + fat + " --file-system maybe").status, 2);

    // Saved under their names, each once: nothing of theirs in a type folder.
    const std::string out = SaveFolder("named-save");
    const CommandResult saved = Cli("scan " + fat + " --file-system auto --save " + out);
    ASSERT_EQ(saved.status, 0) << saved.err;
    for (const MediaFile& m : kMedia) {
        const std::string name = m.type == "JPEG" ? "_hoto.jpg" : m.name;
        EXPECT_EQ(ReadBytes(out + "/FAT16 at sector 0/Card/" + name), ReadBytes(dir_->Path() / m.name)) << name;
    }
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        EXPECT_EQ(entry.path().filename(), "FAT16 at sector 0");
    }
}

TEST_F(ScanCliTest, DemoImageHoldsFilesThatScanAndDecode) {
    const std::filesystem::path demo = dir_->Path() / "demo.dd";
    ASSERT_EQ(RunShell(std::string(ZT_MAKE_DEMO_IMAGE) + " " + demo.string(), dir_->Path()).status, 0);
    const std::string out = SaveFolder("recovered");
    const CommandResult r = Cli("scan --signatures standard " + demo.string() + " --list --save " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> perType;
    for (const auto& [name, type, start, count] : ParseList(r.out)) {
        ++perType[type];
        // Each saved file must decode.
        const std::string file = out + "/" + type + "/" + name;
        const bool sound = type == "WAV" || type == "AU";
        if (type == "MIDI") continue;  // no decoder among the test tools
        // A recovered file runs to its last sector, so readers may note bytes
        // after the end; they must still decode it.
        // ImageMagick refuses a BMP whose length field differs from the file size.
        const std::string checker = sound ? "sox " + file + " -n stat"
                                    : type == "BMP" ? "ffmpeg -v error -i " + file + " -f null -"
                                                    : "identify " + file;
        const CommandResult check = RunShell(checker, dir_->Path());
        EXPECT_EQ(check.status, 0) << file << ": " << check.err;
    }
    const std::map<std::string, int> expected = {{"JPEG", 3}, {"PNG", 3}, {"GIF", 3}, {"BMP", 3},
                                                 {"TIFF", 3}, {"WAV", 3}, {"MIDI", 3}, {"AU", 3}};
    EXPECT_EQ(perType, expected);
}

TEST_F(ScanCliTest, SavesEveryFoundFileWithItsSectorsAndReports) {
    const std::string out = SaveFolder("saved");
    const CommandResult r = Cli("scan --signatures standard " + Card() + " --list --save " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedList_);  // stdout carries only the list
    EXPECT_NE(r.err.find("File Saved Successfully."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Recovery log: " + LogFolder() + "/Recovery Log.txt"), std::string::npos) << r.err;
    // Every end rule: footers, length fields, the trailing-marker run of MP3.
    for (const Listed& f : ParseList(r.out)) {
        EXPECT_EQ(ReadBytes(out + "/" + f.type + "/" + f.name), SectorsOf(image_, f.start, f.count)) << f.name;
    }
    const std::string report = "Saving Path : " + out + "\r\nFiles Recover :" + std::to_string(kMedia.size()) + " / " +
                               std::to_string(kMedia.size()) + "\r\n";
    EXPECT_NE(Log("Recovery Log.txt").find(report), std::string::npos);
    EXPECT_TRUE(Log("Recovery Log.txt").ends_with("\r\nFile Saved Successfully\r\n"));
}

TEST_F(ScanCliTest, AClosedPipeOnTheListDoesNotEndTheSave) {
    const std::string out = SaveFolder("piped");
    // The reader of the list is gone before the list is written.
    const CommandResult r = RunShell("bash -c 'set -o pipefail; " + std::string(ZT_PICTORA_CLI) + " scan --signatures standard " + Card() +
                                         " --list --save " + out + " | true'",
                                     dir_->Path());
    EXPECT_EQ(r.status, 0) << r.err;
    std::size_t saved = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) saved += entry.is_regular_file();
    EXPECT_EQ(saved, kMedia.size());
    EXPECT_NE(r.err.find("File Saved Successfully."), std::string::npos) << r.err;
}

TEST_F(ScanCliTest, AnEmptySourceAndABadRangeSayWhatIsWrong) {
    WriteFile(dir_->Path() / "empty.dd", {});
    CommandResult r = Cli("scan --signatures standard " + (dir_->Path() / "empty.dd").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the source is empty"), std::string::npos) << r.err;
    r = Cli("scan --signatures standard " + Card() + " --range 0:18014398509481984");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("End sector is not valid."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("from 0 to 18014398509481983"), std::string::npos) << r.err;
}

// What a sparse file holds: each stretch of data with its place. Two equal
// digests are two equal files, read without walking terabytes of holes.
std::string SparseDigest(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "(cannot open)";
    struct stat st {};
    (void)::fstat(fd, &st);
    std::string digest = "size " + std::to_string(st.st_size) + "\n";
    off_t at = 0;
    while ((at = ::lseek(fd, at, SEEK_DATA)) >= 0) {
        const off_t end = ::lseek(fd, at, SEEK_HOLE);
        std::string bytes(static_cast<std::size_t>(end - at), '\0');
        if (::pread(fd, bytes.data(), bytes.size(), at) != static_cast<ssize_t>(bytes.size())) bytes = "(short)";
        digest += "data at " + std::to_string(at) + ": " + bytes + "\n";
        at = end;
    }
    ::close(fd);
    return digest;
}

// A disk larger than 2 TiB: a range far beyond the 2^32nd sector is
// accepted, scanned, saved and imaged, and every number is printed whole.
TEST_F(ScanCliTest, ARangeBeyondTwoTebibytesIsScannedSavedAndImaged) {
    const std::filesystem::path big = dir_->Path() / "big.dd";
    const Bytes jpeg = ReadBytes(dir_->Path() / "photo.jpg");
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(5'000'000'000LL * 512);
        out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    }
    std::filesystem::resize_file(big, 3'000'000'000'000ULL);
    const std::string before = SparseDigest(big);
    ASSERT_NE(before.find("data at 2560000000000"), std::string::npos) << "no sparse file here";

    const std::string range = " --range 4999999000:5000001000";
    CommandResult r = Cli("scan --signatures standard " + big.string() + range + " --list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "File1.JPEG\tJPEG\t5000000000\t" + std::to_string(counts_["JPEG"]) + "\n");
    EXPECT_NE(r.err.find("Current Sector : 5000001000 / 5000001000"), std::string::npos) << r.err;
    EXPECT_NE(Log("Activity Log.txt").find("Starting Range : 4999999000\r\nEnding Range : 5000001000"),
              std::string::npos);

    const std::string out = SaveFolder("beyond");
    r = Cli("scan --signatures standard " + big.string() + range + " --save " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes saved = ReadBytes(out + "/JPEG/File1.JPEG");
    ASSERT_GE(saved.size(), jpeg.size());
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), saved.begin()));

    const std::filesystem::path set = dir_->Path() / "beyond-set";
    std::filesystem::create_directories(set);
    r = Cli("image " + big.string() + range + " " + set.string());
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes image = ReadBytes(set / "Image0.img");
    ASSERT_EQ(image.size(), 2000u * 512);
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), image.begin() + 1000 * 512));

    EXPECT_EQ(SparseDigest(big), before);  // the source is untouched
    std::filesystem::remove(big);
}

// An image whose length is not a whole number of sectors: its last bytes
// are read as a sector padded with zeros, and an image of it copies every byte.
TEST_F(ScanCliTest, TheLastPartialSectorOfAnImageIsScannedAndCopiedToTheByte) {
    const Bytes jpeg = ReadBytes(dir_->Path() / "photo.jpg");
    ASSERT_NE(jpeg.size() % 512, 0u);
    Bytes card(10 * 512, 0);
    card.insert(card.end(), jpeg.begin(), jpeg.end());
    const std::filesystem::path path = dir_->Path() / "partial.dd";
    WriteFile(path, card);

    for (const char* mode : {"standard", "extended"}) {
        SCOPED_TRACE(mode);
        const CommandResult r = Cli("scan " + path.string() + " --signatures " + mode + " --list");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("File1.JPEG\tJPEG\t10\t", 0), 0u) << r.out;
    }
    const std::string out = SaveFolder("partial");
    CommandResult r = Cli("scan " + path.string() + " --signatures extended --save " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadBytes(out + "/JPEG/File1.JPEG") == jpeg);

    const std::filesystem::path set = dir_->Path() / "partial-set";
    std::filesystem::create_directories(set);
    r = Cli("image " + path.string() + " " + set.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Image creation completed successfully."), std::string::npos) << r.out;
    EXPECT_TRUE(ReadBytes(set / "Image0.img") == card) << "every byte, no padding";
    EXPECT_TRUE(ReadBytes(path) == card);  // the source is untouched
}

TEST_F(ScanCliTest, AnImageSetWithAGapOrAShortMiddlePartIsRefusedByName) {
    const std::filesystem::path set = dir_->Path() / "gapped";
    std::filesystem::remove_all(set);
    std::filesystem::create_directories(set);
    WriteFile(set / "Image0.img", image_);
    WriteFile(set / "Image2.img", image_);
    CommandResult r = Cli("scan --signatures standard --list " + set.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(set.string() + "/Image1.img is missing, but Image2.img is there"), std::string::npos) << r.err;
    std::filesystem::rename(set / "Image2.img", set / "Image1.img");
    r = Cli("scan --signatures standard --list " + set.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Image0.img holds " + std::to_string(image_.size()) + " bytes"), std::string::npos) << r.err;
}

TEST_F(ScanCliTest, ExistingFilesAreKeptReplacedOrAskedAbout) {
    const std::string out = SaveFolder("again");
    ASSERT_EQ(Cli("scan --signatures standard " + Card() + " --types JPEG,PNG --save " + out).status, 0);
    const std::string jpeg = out + "/JPEG/File1.JPEG";
    const std::string png = out + "/PNG/File1.PNG";
    const Bytes saved = ReadBytes(jpeg);
    WriteFile(jpeg, {'o', 'l', 'd'});
    WriteFile(png, {'o', 'l', 'd'});

    // Without a terminal the default keeps them; a kept file counts as saved.
    CommandResult r = Cli("scan --signatures standard " + Card() + " --types JPEG,PNG --save " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Saved 2 / 2 files"), std::string::npos) << r.out;
    EXPECT_EQ(ReadBytes(jpeg), Bytes({'o', 'l', 'd'}));

    // Asked: No for the first, Yes for the second.
    r = Cli("scan --signatures standard " + Card() + " --types JPEG,PNG --save " + out + " --overwrite ask", "n\nx\ny\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"File1.JPEG\" this file is already exist.\nWould you like to replace the existing file ?"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadBytes(jpeg), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(png).size(), std::size_t(counts_["PNG"] + 1) * 512);

    // yes replaces them all, a read-only one too.
    std::filesystem::permissions(jpeg, std::filesystem::perms::owner_read);
    r = Cli("scan --signatures standard " + Card() + " --types JPEG,PNG --save " + out + " --overwrite yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(jpeg), saved);
}

TEST_F(ScanCliTest, SaveRefusalsComeBeforeTheScan) {
    CommandResult r = Cli("scan --signatures standard " + Card() + " --save " + (dir_->Path() / "nowhere").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Select the valid path."), std::string::npos);
    EXPECT_EQ(r.out, "");  // nothing scanned
    r = Cli("scan --signatures standard " + Card() + " --save " + Card());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Select the valid path."), std::string::npos);
    r = Cli("scan --signatures standard " + Card() + " --overwrite yes");
    EXPECT_EQ(r.status, 2);
    r = Cli("scan --signatures standard " + Card() + " --save " + dir_->Path().string() + " --overwrite maybe");
    EXPECT_EQ(r.status, 2);
}

TEST_F(ScanCliTest, AFullDiskLeavesFilesOutAndSaysSo) {
    // A file-size limit stands in for a full disk: writes past it fail.
    std::int32_t largest = 0;
    for (const auto& [type, count] : counts_) largest = std::max(largest, count);
    const int limitKb = (largest + 1) / 4;  // half the largest file, in KB
    ASSERT_GT(limitKb, 4);
    const std::string out = SaveFolder("full");
    // bash counts the limit in KB (dash would count 512-byte blocks).
    const CommandResult r = RunShell("bash -c 'ulimit -f " + std::to_string(limitKb) + "; " + ZT_PICTORA_CLI +
                                         " scan --signatures standard " + Card() + " --list --save " + out + "'",
                                     dir_->Path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("could not be saved (File too large)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("File Saved Successfully."), std::string::npos);
    int failed = 0;
    for (const Listed& f : ParseList(r.out)) {
        const Bytes whole = SectorsOf(image_, f.start, f.count);
        const std::string path = out + "/" + f.type + "/" + f.name;
        const Bytes saved = ReadBytes(path);
        if (whole.size() > std::size_t(limitKb) * 1024) {
            ++failed;
            // A file cut short keeps no name a later run could mistake for it.
            EXPECT_FALSE(std::filesystem::exists(path)) << f.name;
            EXPECT_FALSE(std::filesystem::exists(out + "/" + f.type + "/." + f.name + ".partial")) << f.name;
        } else {
            EXPECT_EQ(saved, whole) << f.name;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_NE(r.err.find(std::to_string(failed) + " of " + std::to_string(kMedia.size()) + " files could not be saved"),
              std::string::npos);
    const std::string saved = std::to_string(kMedia.size() - static_cast<std::size_t>(failed));
    EXPECT_NE(Log("Recovery Log.txt").find("Files Recover :" + saved + " / " + std::to_string(kMedia.size())),
              std::string::npos);
}

// The time lines of the log, which differ from run to run, replaced by a mark.
std::string WithoutTimes(const std::string& log) {
    std::string out;
    std::size_t from = 0;
    while (from < log.size()) {
        std::size_t end = log.find("\r\n", from);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(from, end - from);
        if (line.starts_with("Starting Time : ") || line.starts_with("Elapsed Time : ")) {
            line = line.substr(0, line.find(':') + 2) + "<time>";
        } else if (line.find(" - ") == 5 && line[2] == ':') {
            line = "<start time>";
        }
        out += line;
        if (end < log.size()) out += "\r\n";
        from = end + 2;
    }
    return out;
}

TEST_F(ScanCliTest, TheActivityLogHoldsTheRunAsThePagesWouldWriteIt) {
    std::filesystem::remove_all(LogFolder());
    std::filesystem::remove_all(dir_->Path() / "settings");
    const std::size_t sectors = image_.size() / 512;
    CommandResult r = Cli("scan --signatures standard " + Card() + " --types gif,JPEG --range 0:" + std::to_string(sectors) + " --list");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli("scan --signatures standard " + Card());
    ASSERT_EQ(r.status, 0) << r.err;

    // The first start wrote the log folders into the settings store.
    const std::string settings = ReadAll(dir_->Path() / "settings/registry.ini");
    EXPECT_NE(settings.find("Activity Log=" + LogFolder()), std::string::npos) << settings;
    EXPECT_NE(settings.find("Recovery Log=" + LogFolder()), std::string::npos) << settings;

    // As on the source page, the image is described as a disk of its size,
    // numbered after the disks the listing found on this machine.
    const std::string log = Log("Activity Log.txt");
    const std::size_t number = log.find("Physical Disk Number : ");
    ASSERT_NE(number, std::string::npos) << log;
    const std::string disk = log.substr(number + 23, log.find('\r', number) - number - 23);
    const std::string lines = "Physical Disk Number : " + disk + "\r\nModel   : " + Card() +
                              "\r\nMedia Type   : Image\r\nCylinder   : " + std::to_string(sectors / 16065) +
                              "\r\nHead   : 255\r\nSectors Per Track   : 63\r\nDisk Size  : " +
                              std::to_string(image_.size() / 1048576) + " MB";
    const std::string header = "\r\n-----------------------Start--------------------------\r\nZentrix for Pictora"
                               "\r\nVersion 1.0\r\n<start time>\r\n\r\n\r\nMEDIA RECOVERY\r\n------\r\n\r\n"
                               "Selected Image Information :\r\n" + Card() + "\r\n" + lines +
                               "\r\nStarting Range : 0\r\nEnding Range : " + std::to_string(sectors) +
                               "\r\n\r\nSelected Extensions Information : ";
    auto summary = [&](std::size_t files) {
        return "\r\n\r\nAnalysing Files Information :\r\nCurrent Sector : " + std::to_string(sectors) + " / " +
               std::to_string(sectors) + "\r\nFiles Found : " + std::to_string(files) +
               "\r\nStarting Time : <time>\r\nElapsed Time : <time>\r\nAnalysing Completed\r\n\r\n";
    };
    // The types in the list's order, not the order given.
    EXPECT_EQ(WithoutTimes(log), header + "\r\nJPEG\r\nGIF" + summary(2) + header + "\r\nAll Extensions" +
                                     summary(kMedia.size()));
}

TEST_F(ScanCliTest, AScannedDeviceCannotTakeTheSavedFiles) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up a loop device";
    const std::filesystem::path image = dir_->Path() / "fs.img";
    const std::filesystem::path mount = dir_->Path() / "mnt";
    std::filesystem::create_directories(mount);
    if (RunShell("truncate -s 8M " + image.string() + " && mkfs.ext4 -q -F -L ZTSAME " + image.string(), dir_->Path())
            .status != 0)
        GTEST_SKIP() << "no mkfs.ext4";
    const CommandResult attach = RunShell("losetup -f --show " + image.string(), dir_->Path());
    if (attach.status != 0) GTEST_SKIP() << "no loop device";
    const std::string loop = attach.out.substr(0, attach.out.find('\n'));
    if (RunShell("mount " + loop + " " + mount.string(), dir_->Path()).status != 0) {
        RunShell("losetup -d " + loop, dir_->Path());
        GTEST_SKIP() << "cannot mount here";
    }
    const CommandResult onDevice = Cli("scan --signatures standard " + loop + " --save " + mount.string());
    const CommandResult onImage = Cli("scan --signatures standard " + image.string() + " --save " + mount.string());
    const CommandResult beside = Cli("scan --signatures standard " + image.string() + " --types JPEG --save " + dir_->Path().string());
    // The guard holds on the device a label names, and for imaging too.
    const std::string label = "ZTSAME (" + loop.substr(loop.rfind('/') + 1) + ")";
    const CommandResult byLabel = Cli("scan --signatures standard '" + label + "' --save " + mount.string());
    const CommandResult imaging = Cli("image " + loop + " " + mount.string());
    const bool imageWritten = std::filesystem::exists(mount / "Image0.img");
    RunShell("umount " + mount.string() + "; losetup -d " + loop, dir_->Path());
    EXPECT_EQ(onDevice.status, 2);
    EXPECT_NE(onDevice.err.find("the medium being recovered"), std::string::npos) << onDevice.err;
    EXPECT_EQ(onImage.status, 2);
    EXPECT_EQ(beside.status, 0) << beside.err;  // beside an image file is fine
    EXPECT_EQ(byLabel.status, 2) << byLabel.err;
    EXPECT_NE(byLabel.err.find("the medium being recovered"), std::string::npos) << byLabel.err;
    EXPECT_EQ(imaging.status, 2) << imaging.err;
    EXPECT_NE(imaging.err.find("lies on the disk being copied"), std::string::npos) << imaging.err;
    EXPECT_FALSE(imageWritten);
}

}  // namespace
}  // namespace zt::testing
