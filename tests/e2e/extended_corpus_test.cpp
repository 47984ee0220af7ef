// pictora-cli scan --signatures extended on an image of real files of many
// forms made by the common tools, each laid at a sector start between
// filler, with cut and overwritten copies of some: every whole file must be
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

class ExtendedCorpusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const std::filesystem::path files = dir_->Path() / "files";
        const std::filesystem::path image = dir_->Path() / "card.dd";
        makeStatus_ = RunCommand(std::string("bash ") + ZT_MAKE_CORPUS + " " + files.string() + " 2 2>" +
                          (dir_->Path() / "make.err").string());
        corpus::CorpusOptions options;
        options.seed = 16;
        placements_ = new std::vector<corpus::Placement>(corpus::BuildCorpusImage(files.string(), image.string(), options));
        // Large enough for every file of the corpus, so that no walk meets its bound.
        std::string sizes;
        for (const char* type : {"MP4", "MOV", "M4V", "3GP", "3G2", "MKV", "WEBM", "AVI", "MPEG", "VOB", "MTS", "DV",
                                 "ASF", "WMA", "RM", "WAV", "AIFF", "AU", "PSD", "TIFF", "NEF", "ARW"})
            sizes += std::string(" --max-size ") + type + "=100000";
        const std::filesystem::path saved = dir_->Path() / "saved";
        std::filesystem::create_directory(saved);
        scanStatus_ = RunCommand(std::string(ZT_PICTORA_CLI) + " scan " + image.string() +
                          " --signatures extended --list --bad-sectors skip --overwrite yes --save " + saved.string() +
                          sizes + " >" + (dir_->Path() / "list.txt").string() + " 2>" +
                          (dir_->Path() / "scan.err").string());
        listed_ = new std::vector<Listed>;
        std::istringstream lines(ReadAll(dir_->Path() / "list.txt"));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            Listed l;
            fields >> l.fileName >> l.type >> l.start >> l.sectors >> l.bytes;
            listed_->push_back(l);
        }
    }
    static void TearDownTestSuite() {
        delete listed_;
        delete placements_;
        delete dir_;
    }

    static inline TempDir* dir_ = nullptr;
    static inline std::vector<corpus::Placement>* placements_ = nullptr;
    static inline std::vector<Listed>* listed_ = nullptr;
    static inline int makeStatus_ = -1;
    static inline int scanStatus_ = -1;
};

TEST_F(ExtendedCorpusTest, EveryWholeFileIsFoundOnceAtItsStartWithItsExactLength) {
    ASSERT_EQ(makeStatus_, 0) << ReadAll(dir_->Path() / "make.err");
    ASSERT_EQ(scanStatus_, 0) << ReadAll(dir_->Path() / "scan.err");
    std::map<std::uint64_t, const Listed*> byStart;
    for (const Listed& l : *listed_) EXPECT_TRUE(byStart.emplace(l.start, &l).second) << l.fileName;

    std::set<std::string> forms;
    for (const corpus::Placement& p : *placements_) {
        if (p.damaged) continue;
        forms.insert(p.name.substr(0, p.name.find_first_of("0123456789.")) + p.name.substr(p.name.rfind('.')));
        const auto it = byStart.find(p.startSector);
        if (it == byStart.end()) {
            ADD_FAILURE() << p.name << " at sector " << p.startSector << " was not found";
            continue;
        }
        EXPECT_EQ(it->second->bytes, p.bytes) << p.name << " found as " << it->second->fileName;
        EXPECT_EQ(it->second->sectors, static_cast<std::int64_t>((p.bytes + 511) / 512)) << p.name;
    }
    EXPECT_GE(forms.size(), 25u);
}

TEST_F(ExtendedCorpusTest, NothingIsReportedThatIsNotAFileAndDamagedFilesLeaveTheRestIntact) {
    ASSERT_EQ(scanStatus_, 0) << ReadAll(dir_->Path() / "scan.err");
    // A file reported where none starts is a false find, unless it lies in a
    // damaged copy, whose broken structure may be read as pieces.
    for (const Listed& l : *listed_) {
        bool explained = false;
        for (const corpus::Placement& p : *placements_) {
            const std::uint64_t sectors = (p.bytes + 511) / 512;
            explained = explained || l.start == p.startSector ||
                        (p.damaged && l.start > p.startSector && l.start < p.startSector + sectors);
        }
        EXPECT_TRUE(explained) << l.fileName << " at sector " << l.start;
    }
}

TEST_F(ExtendedCorpusTest, SavedFilesEqualTheOriginals) {
    ASSERT_EQ(scanStatus_, 0) << ReadAll(dir_->Path() / "scan.err");
    std::map<std::uint64_t, const corpus::Placement*> byStart;
    for (const corpus::Placement& p : *placements_) {
        if (!p.damaged) byStart[p.startSector] = &p;
    }
    int compared = 0;
    for (const Listed& l : *listed_) {
        const auto it = byStart.find(l.start);
        if (it == byStart.end()) continue;
        const std::string saved = ReadAll(dir_->Path() / "saved" / l.type / l.fileName);
        const std::string original = ReadAll(dir_->Path() / "files" / it->second->name);
        EXPECT_EQ(saved.size(), original.size()) << it->second->name;
        EXPECT_TRUE(saved == original) << it->second->name << " saved as " << l.fileName << " differs";
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace zt::testing
