// An image set made by `pictora-cli image` is a source for `pictora-cli scan`:
// scanning it finds what scanning the original range finds, each file at its
// sector number less the range's start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/testing/temp_folder.h"

namespace zt::testing {
namespace {

struct Found {
    std::string line;  // name and type
    std::uint64_t start = 0;
    std::string count;
    bool operator==(const Found&) const = default;
};

class ImageRoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempFolder();
        ASSERT_EQ(Run(std::string(ZT_MAKE_DEMO_IMAGE) + " card.dd"), 0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    // Runs a command line in the scratch folder, settings and logs kept there;
    // stdout goes to out.txt.
    static int Run(const std::string& line) {
        const std::string command = "cd '" + dir_->Path() + "' && ZT_REGISTRY_DIR='" + dir_->Path() +
                                    "' XDG_STATE_HOME='" + dir_->Path() + "/state' " + line +
                                    " </dev/null >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // What `scan --list` found, with start sectors moved by shift.
    static std::vector<Found> Scan(const std::string& args, std::uint64_t shift) {
        EXPECT_EQ(Run(std::string(ZT_PICTORA_CLI) + " scan --signatures standard " + args + " --list"), 0) << args;
        std::vector<Found> found;
        std::istringstream in(ReadBytes(*dir_ / "out.txt"));
        std::string name, type, start, count;
        while (std::getline(in, name, '\t') && std::getline(in, type, '\t') && std::getline(in, start, '\t') &&
               std::getline(in, count)) {
            found.push_back({name + ' ' + type, std::stoull(start) + shift, count});
        }
        return found;
    }

    static void ExpectSameFinds(std::uint64_t start, std::uint64_t end, bool multiFile) {
        const std::string range = std::to_string(start) + ":" + std::to_string(end);
        std::filesystem::remove_all(*dir_ / "set");
        std::filesystem::create_directory(*dir_ / "set");
        ASSERT_EQ(Run(std::string(ZT_PICTORA_CLI) + " image card.dd set --range " + range +
                      (multiFile ? " --multifile" : "")),
                  0);
        EXPECT_EQ(std::filesystem::file_size(*dir_ / "set/Image0.img"), (end - start) * 512);

        const std::vector<Found> original = Scan("card.dd --range " + range, 0);
        EXPECT_GE(original.size(), 10u) << range;
        EXPECT_EQ(Scan("set", start), original) << range;
    }

    static TempFolder* dir_;
};

TempFolder* ImageRoundTripTest::dir_ = nullptr;

TEST_F(ImageRoundTripTest, TheWholeCardFindsTheSameFiles) {
    ExpectSameFinds(0, std::filesystem::file_size(*dir_ / "card.dd") / 512, false);
}

TEST_F(ImageRoundTripTest, ARangeCutThroughFilesFindsTheSameFilesShiftedByItsStart) {
    // Both ends cut through files: a picture starts before 300, one runs past 1290.
    ExpectSameFinds(300, 1290, false);
    ExpectSameFinds(65, 1400, true);
}

}  // namespace
}  // namespace zt::testing
