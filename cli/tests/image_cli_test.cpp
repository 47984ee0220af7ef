// pictora-cli image as a user runs it: byte-exact copies, the activity log,
// refusals before anything is written, a failing destination, and Ctrl+C.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/testing/temp_folder.h"

namespace zt::testing {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

class ImageCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 rng(7);
        card_.resize(300 * 512);
        for (char& c : card_) c = static_cast<char>(rng());
        WriteBytes(dir_ / "card.dd", card_);
        fs::create_directory(dir_ / "out");
    }

    // Runs a shell command line in the scratch folder with stdin closed, with
    // settings and logs kept inside the scratch folder.
    CommandResult Shell(const std::string& line) {
        const std::string command = "cd '" + dir_.Path() + "' && ZT_REGISTRY_DIR='" + dir_.Path() +
                                    "' XDG_STATE_HOME='" + dir_.Path() + "/state' " + line +
                                    " </dev/null >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes(dir_ / "stdout.txt"), ReadBytes(dir_ / "stderr.txt")};
    }
    CommandResult Cli(const std::string& args) { return Shell(std::string(ZT_PICTORA_CLI) + " " + args); }
    std::string Log() const { return ReadBytes(dir_.Path() + "/state/zentrix-pictora/Activity Log.txt"); }
    std::string Sectors(std::size_t first, std::size_t end) const {
        return card_.substr(first * 512, (end - first) * 512);
    }

    TempFolder dir_;
    std::string card_;
};

TEST_F(ImageCliTest, CopiesTheRangeByteForByteAndLogsTheRun) {
    CommandResult r = Cli("image card.dd out --range 37:258");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Image creation completed successfully."), std::string::npos) << r.out;
    EXPECT_EQ(ReadBytes(dir_ / "out/Image0.img"), Sectors(37, 258));

    const std::string log = Log();
    EXPECT_NE(log.find("\r\n\r\n\r\nDISK IMAGING\r\n------\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nStarting Range : 37\r\nEnding Range : 258"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\n\r\nAnalysing Disk Imaging Information :\r\nCurrent Sector : 258 / 258\r\nLast File : " +
                       dir_.Path() + "/out/Image0.img\r\nDisk Imaging Completed Successfully\r\n"),
              std::string::npos)
        << log;

    // The whole source by default, and an image set is itself a source.
    ASSERT_EQ(Cli("image card.dd out/").status, 0);
    EXPECT_EQ(ReadBytes(dir_ / "out/Image0.img"), card_);
    fs::create_directory(dir_ / "copy");
    ASSERT_EQ(Cli("image out copy --multifile --range 10:20").status, 0);
    EXPECT_EQ(ReadBytes(dir_ / "copy/Image0.img"), Sectors(10, 20));
}

TEST_F(ImageCliTest, RefusesBeforeWritingAnything) {
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"image card.dd missing", 2, "Image path not found. Please specify image path."},
        {"image card.dd out --range 20:20", 2, "End sector should be bigger than start sector."},
        {"image card.dd out --range x:20", 2, "Start sector is not valid."},
        {"image card.dd out --range 0:18014398509481984", 2, "End sector is not valid."},
        {"image nothing.dd out", 1, "cannot read nothing.dd"},
        {"image card.dd out --bad-sectors sometimes", 2, "--bad-sectors wants ask, retry or skip"},
        {"image card.dd", 2, "image needs a SOURCE and a DEST_DIR"},
    };
    for (const Case& c : cases) {
        CommandResult r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));

    // A card image named like a part would be emptied by copying it onto itself.
    fs::rename(dir_ / "card.dd", dir_ / "out/Image0.img");
    CommandResult self = Cli("image out/Image0.img out");
    EXPECT_EQ(self.status, 2);
    EXPECT_EQ(ReadBytes(dir_ / "out/Image0.img"), card_);
}

TEST_F(ImageCliTest, ASourceNamedByALinkOrAHardLinkInTheDestinationIsNeverTouched) {
    fs::create_directory(dir_ / "src");
    fs::rename(dir_ / "card.dd", dir_ / "src/Image0.img");
    ASSERT_EQ(::chmod((dir_ / "src/Image0.img").c_str(), 0444), 0);
    const std::string before = ReadBytes(dir_ / "src/Image0.img");

    fs::create_symlink(dir_ / "src/Image0.img", dir_ / "out/Image0.img");
    CommandResult r = Cli("image src out");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("The destination holds the source being copied."), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("completed successfully"), std::string::npos) << r.out;

    fs::remove(dir_ / "out/Image0.img");
    fs::create_hard_link(dir_ / "src/Image0.img", dir_ / "out/Image0.img");
    r = Cli("image src out");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("The destination holds the source being copied."), std::string::npos) << r.err;

    // Another file's second name is refused by the copy itself, before it empties anything.
    fs::remove(dir_ / "out/Image0.img");
    WriteBytes(dir_ / "other", "not mine");
    fs::create_hard_link(dir_ / "other", dir_ / "out/Image0.img");
    r = Cli("image src out");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(dir_.Path() + "/out/Image0.img has other names"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(dir_ / "other"), "not mine");

    EXPECT_EQ(ReadBytes(dir_ / "src/Image0.img"), before);
    EXPECT_EQ(fs::status(dir_ / "src/Image0.img").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(ImageCliTest, ARelativeDestinationFromARemovedFolderIsRefused) {
    // From a folder removed under the program, "tmp" must not become /tmp.
    CommandResult r = Shell("sh -c 'mkdir gone && cd gone && rmdir ../gone && exec " + std::string(ZT_PICTORA_CLI) +
                            " image \"" + dir_.Path() + "/card.dd\" tmp'");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("the current folder no longer exists"), std::string::npos) << r.err;
}

TEST_F(ImageCliTest, AFullDestinationEndsTheRunAsAFailureAndKeepsWhatWasWritten) {
    // ulimit -f counts KiB in bash: 8 KiB fit, the third 4 KiB write does not.
    CommandResult r = Shell("bash -c 'ulimit -f 8; exec " + std::string(ZT_PICTORA_CLI) + " image card.dd out'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Image creation failed: File too large while writing " + dir_.Path() + "/out/Image0.img"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("completed successfully"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir_ / "out/Image0.img"), Sectors(0, 16));
    EXPECT_NE(Log().find("\r\nDisk Imaging Failed : File too large while writing"), std::string::npos) << Log();
}

TEST_F(ImageCliTest, InterruptWithoutATerminalStopsAfterTheChunkInProgress) {
    fs::resize_file(dir_ / "card.dd", std::uint64_t{1} << 30);  // sparse: reads fast, takes long to copy
    CommandResult r = Shell("sh -c '" + std::string(ZT_PICTORA_CLI) +
                            " image card.dd out & pid=$!; "
                            "while [ ! -s out/Image0.img ]; do sleep 0.01; done; kill -INT $pid; wait $pid'");
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.out.find("Image creation aborted."), std::string::npos) << r.out;
    const std::uintmax_t written = fs::file_size(dir_ / "out/Image0.img");
    EXPECT_LT(written, std::uintmax_t{1} << 30);
    EXPECT_EQ(written % 4096, 0u);
    EXPECT_NE(Log().find("\r\nDisk Imaging Aborted\r\n"), std::string::npos) << Log();
}

}  // namespace
}  // namespace zt::testing
