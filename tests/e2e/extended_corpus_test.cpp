// pictora-cli scan --signatures extended on an image of real files of many
// forms made by the common tools, each laid at a sector start between
// filler, with cut and overwritten copies of some (a cut copy right before
// its whole file, as where a new file overwrote a deleted one's end): every whole file must be
// found once, at its start, with its exact length, its saved copy equal to
// the original, and nothing reported that is not a file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "core/scan/tests/scan_fixture.h"
#include "tests/corpus/corpus_image.h"

namespace zt::testing {
namespace {

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RunCommand(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

struct Listed {
    std::string fileName, type;
    std::uint64_t start = 0;
    std::int64_t sectors = 0;
    std::uint64_t bytes = 0;
};

// Forms whose length no header or structure records: found whole, but only
// to the sector the marker rules give.
bool LengthUnrecorded(const std::string& name) { return name.ends_with(".m2v"); }

// The type that files of a form must be found as, where the container alone
// does not tell it and the brand or form type inside must.
std::string ExpectedType(const std::string& name) {
    static const std::map<std::string, std::string> byExtension = {
        {".mp4", "MP4"},   {".mov", "MOV"},   {".m4v", "M4V"}, {".m4a", "M4A"},   {".3gp", "3GP"},
        {".3g2", "3G2"},   {".heic", "HEIC"}, {".mkv", "MKV"}, {".webm", "WEBM"}, {".avi", "AVI"},
        {".wav", "WAV"},   {".webp", "WEBP"}, {".png", "PNG"}, {".flac", "FLAC"},
        // MPEG-2 program streams are VOB files, MPEG-1 ones MPEG files.
        {".vob", "VOB"},   {".mpg", "MPEG"},
    };
    const auto it = byExtension.find(name.substr(name.rfind('.')));
    return it == byExtension.end() ? std::string() : it->second;
}

struct Corpus {
    TempDir dir;
    std::vector<corpus::Placement> placements;
    std::vector<Listed> listed;
    std::string makeErrors, scanErrors;
    int makeStatus = -1, scanStatus = -1;
};

// Makes two files of every form, lays them out with damaged copies of some,
// scans the image with extended signatures and saves what it finds.
void MakeAndScan(Corpus& c) {
    const std::filesystem::path files = c.dir.Path() / "files";
    const std::filesystem::path image = c.dir.Path() / "card.dd";
    c.makeStatus = RunCommand(std::string("bash ") + ZT_MAKE_CORPUS + " " + files.string() + " 2 2>" +
                              (c.dir.Path() / "make.err").string());
    c.makeErrors = ReadAll(c.dir.Path() / "make.err");
    corpus::CorpusOptions options;
    options.seed = 16;
    options.adjacentCuts = true;
    c.placements = corpus::BuildCorpusImage(files.string(), image.string(), options);
    // Large enough for every file of the corpus, so that no walk meets its bound.
    std::string sizes;
    for (const char* type : {"MP4", "MOV", "M4V", "3GP", "3G2", "MKV", "WEBM", "AVI", "MPEG", "VOB", "MTS", "DV", "ASF",
                             "WMA", "RM", "WAV", "AIFF", "AU", "PSD", "TIFF", "NEF", "ARW"})
        sizes += std::string(" --max-size ") + type + "=100000";
    const std::filesystem::path saved = c.dir.Path() / "saved";
    std::filesystem::create_directory(saved);
    // Settings and logs in the scratch folder, never the user's own.
    const std::string scratch = c.dir.Path().string();
    c.scanStatus = RunCommand("ZT_REGISTRY_DIR='" + scratch + "/settings' XDG_STATE_HOME='" + scratch + "/state' " +
                              std::string(ZT_PICTORA_CLI) + " scan " + image.string() +
                              " --signatures extended --list --bad-sectors skip --overwrite yes --save " +
                              saved.string() + sizes + " >" + (c.dir.Path() / "list.txt").string() + " 2>" +
                              (c.dir.Path() / "scan.err").string());
    c.scanErrors = ReadAll(c.dir.Path() / "scan.err");
    std::istringstream lines(ReadAll(c.dir.Path() / "list.txt"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Listed l;
        fields >> l.fileName >> l.type >> l.start >> l.sectors >> l.bytes;
        c.listed.push_back(l);
    }
}

TEST(ExtendedCorpusTest, EveryFileIsFoundOnceAtItsExactLengthAndSavedWhole) {
    Corpus c;
    MakeAndScan(c);
    ASSERT_EQ(c.makeStatus, 0) << c.makeErrors;
    ASSERT_EQ(c.scanStatus, 0) << c.scanErrors;

    std::map<std::uint64_t, const Listed*> byStart;
    for (const Listed& l : c.listed) EXPECT_TRUE(byStart.emplace(l.start, &l).second) << l.fileName;

    // Each whole file: found where it starts, at its exact length, saved equal to the original.
    std::set<std::string> forms;
    for (const corpus::Placement& p : c.placements) {
        if (p.damaged) continue;
        forms.insert(p.name.substr(0, p.name.find_first_of("0123456789.")) + p.name.substr(p.name.rfind('.')));
        const auto it = byStart.find(p.startSector);
        if (it == byStart.end()) {
            ADD_FAILURE() << p.name << " at sector " << p.startSector << " was not found";
            continue;
        }
        const Listed& l = *it->second;
        if (const std::string type = ExpectedType(p.name); !type.empty()) {
            EXPECT_EQ(l.type, type) << p.name << " found as " << l.fileName;
        }
        const std::string saved = ReadAll(c.dir.Path() / "saved" / l.type / l.fileName);
        const std::string original = ReadAll(c.dir.Path() / "files" / p.name);
        if (LengthUnrecorded(p.name)) {
            EXPECT_TRUE(saved.starts_with(original)) << p.name << " saved as " << l.fileName << " lacks bytes";
            continue;
        }
        EXPECT_EQ(l.bytes, p.bytes) << p.name << " found as " << l.fileName;
        EXPECT_EQ(l.sectors, static_cast<std::int64_t>((p.bytes + 511) / 512)) << p.name;
        EXPECT_TRUE(saved == original) << p.name << " saved as " << l.fileName << " differs";
    }
    EXPECT_GE(forms.size(), 25u);

    // A file reported where none starts is a false find, unless it lies in a
    // damaged copy, whose broken structure may be read as pieces.
    for (const Listed& l : c.listed) {
        bool explained = false;
        for (const corpus::Placement& p : c.placements) {
            const std::uint64_t sectors = (p.bytes + 511) / 512;
            explained = explained || l.start == p.startSector ||
                        (p.damaged && l.start > p.startSector && l.start < p.startSector + sectors);
        }
        EXPECT_TRUE(explained) << l.fileName << " at sector " << l.start;
    }
}

}  // namespace
}  // namespace zt::testing
