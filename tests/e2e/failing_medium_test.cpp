// pictora-cli on a medium whose reads really fail: a FUSE file whose bad
// sectors answer EIO from the kernel, as a worn card does. Each unreadable
// sector is counted, said on stderr and in the activity log, given as zeros
// in an image, and the run ends with status 3, never as a plain success.
// Skipped where FUSE cannot be mounted (no /dev/fuse, no permission).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/temp_folder.h"

extern char** environ;

namespace zt::testing {
namespace {

constexpr std::size_t kSector = 512;

class FailingMediumTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempFolder();
        ASSERT_EQ(Run(std::string(ZT_MAKE_DEMO_IMAGE) + " card.dd"), 0);
        card_ = ReadBytes(*dir_ / "card.dd");
        ASSERT_GT(card_.size(), 1100 * kSector);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void TearDown() override { Unmount(); }

    // Mounts the failing view of card.dd; false (with the reason) when FUSE
    // is not available here.
    // With endSector, the medium's data ends there though its size stays.
    bool Mount(const std::string& firstBad, const std::string& count, std::string& why,
               const std::string& endSector = {}) {
        mountpoint_ = *dir_ / "medium";
        std::filesystem::create_directories(mountpoint_);
        std::vector<std::string> args{ZT_FAILING_MEDIUM, *dir_ / "card.dd", mountpoint_, firstBad, count};
        if (!endSector.empty()) args.push_back(endSector);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            why = "/dev/fuse is not usable here";
            return false;
        }
        if (::posix_spawn(&server_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            why = "the FUSE server could not be started";
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            struct stat st {};
            if (::stat((mountpoint_ + "/card.img").c_str(), &st) == 0 && st.st_size > 0) return true;
            int status = 0;
            if (::waitpid(server_, &status, WNOHANG) == server_) {
                server_ = -1;
                why = "FUSE cannot be mounted here";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why = "the FUSE mount did not appear";
        return false;
    }

    void Unmount() {
        if (server_ <= 0) return;
        Run("fusermount3 -u '" + mountpoint_ + "' 2>/dev/null || umount '" + mountpoint_ + "'");
        int status = 0;
        if (::waitpid(server_, &status, 0) != server_) ::kill(server_, SIGKILL);
        server_ = -1;
    }

    // Runs a command in the scratch folder with its own settings and logs.
    static int Run(const std::string& line) {
        const std::string command = "cd '" + dir_->Path() + "' && ZT_REGISTRY_DIR='" + dir_->Path() +
                                    "/settings' XDG_STATE_HOME='" + dir_->Path() + "/state' " + line +
                                    " </dev/null >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static int Cli(const std::string& args) { return Run(std::string(ZT_PICTORA_CLI) + " " + args); }
    static std::string Err() { return ReadBytes(*dir_ / "err.txt"); }
    static std::string Out() { return ReadBytes(*dir_ / "out.txt"); }
    static std::filesystem::path ActivityLogPath() { return *dir_ / "state/zentrix-pictora/Activity Log.txt"; }
    static std::string ActivityLog() { return ReadBytes(ActivityLogPath()); }
    // Only the file goes: without its folder the log would fall back to the
    // installation folder, outside the test's scratch folder.
    static void ClearActivityLog() { std::filesystem::remove(ActivityLogPath()); }

    std::string Medium() const { return mountpoint_ + "/card.img"; }

    static TempFolder* dir_;
    static std::string card_;
    std::string mountpoint_;
    pid_t server_ = -1;
};

TempFolder* FailingMediumTest::dir_ = nullptr;
std::string FailingMediumTest::card_;

#define MOUNT_OR_SKIP(first, count, ...)                           \
    do {                                                           \
        std::string why;                                           \
        if (!Mount(first, count, why, ##__VA_ARGS__)) GTEST_SKIP() << why; \
    } while (false)

TEST_F(FailingMediumTest, AScanCountsEachUnreadableSectorAndEndsWithStatusThree) {
    MOUNT_OR_SKIP("300", "16");
    ClearActivityLog();
    EXPECT_EQ(Cli("scan --signatures standard " + Medium() + " --bad-sectors retry"), 3) << Err();
    EXPECT_NE(Err().find("16 sectors of the source could not be read and were given as zeros"), std::string::npos)
        << Err();
    const std::string log = ActivityLog();
    EXPECT_NE(log.find("Analysing Completed"), std::string::npos) << log;
    // The count comes after the summary's usual entries, as their last line.
    EXPECT_EQ(log.substr(log.rfind("\r\n") + 2), "Unreadable Sectors : 16 (given as zeros)") << log;

    // The same scan of the healthy card is a plain success with no count.
    ClearActivityLog();
    EXPECT_EQ(Cli("scan --signatures standard card.dd --bad-sectors retry"), 0) << Err();
    const std::string healthy = ActivityLog();
    EXPECT_NE(healthy.find("Analysing Completed"), std::string::npos) << healthy;
    EXPECT_EQ(healthy.find("Unreadable Sectors"), std::string::npos) << healthy;
}

TEST_F(FailingMediumTest, AnImageHoldsZerosExactlyWhereTheMediumFailed) {
    MOUNT_OR_SKIP("1000", "9");
    std::filesystem::remove_all(*dir_ / "set");
    std::filesystem::create_directories(*dir_ / "set");
    EXPECT_EQ(Cli("image " + Medium() + " set --bad-sectors retry"), 3) << Err() << Out();
    EXPECT_NE(Err().find("9 sectors of the source could not be read"), std::string::npos) << Err();
    EXPECT_NE(Out().find("Unreadable Sectors : 9 (given as zeros)"), std::string::npos) << Out();

    const std::string image = ReadBytes(*dir_ / "set/Image0.img");
    ASSERT_EQ(image.size(), card_.size());
    std::string expected = card_;
    expected.replace(1000 * kSector, 9 * kSector, std::string(9 * kSector, '\0'));
    // Compared sector by sector so that a failure names the first wrong one.
    for (std::size_t s = 0; s < image.size() / kSector; ++s) {
        ASSERT_EQ(image.compare(s * kSector, kSector, expected, s * kSector, kSector), 0) << "sector " << s;
    }
    EXPECT_EQ(ReadBytes(*dir_ / "card.dd"), card_);  // the source is untouched
}

TEST_F(FailingMediumTest, AMediumWithNoReadableSectorIsNeverASuccess) {
    MOUNT_OR_SKIP("0", "all");
    const std::size_t sectors = card_.size() / kSector;
    ClearActivityLog();
    EXPECT_EQ(Cli("scan --signatures standard " + Medium() + " --bad-sectors skip"), 3) << Err();
    EXPECT_NE(Err().find(std::to_string(sectors) + " sectors of the source could not be read"), std::string::npos)
        << Err();

    std::filesystem::remove_all(*dir_ / "set");
    std::filesystem::create_directories(*dir_ / "set");
    EXPECT_EQ(Cli("image " + Medium() + " set --bad-sectors skip"), 3) << Err();
    EXPECT_NE(Out().find("Unreadable Sectors : " + std::to_string(sectors) + " (given as zeros)"),
              std::string::npos)
        << Out();
}

// A medium that became shorter while it was read (a FUSE file that ends
// early, a loop device resized): no run calls that a success, and each keeps
// what it had before the end.
TEST_F(FailingMediumTest, AMediumThatEndsEarlyFailsEveryRunWithWhatCameBefore) {
    MOUNT_OR_SKIP("0", "0", "600");
    ClearActivityLog();
    std::filesystem::remove_all(*dir_ / "set");
    std::filesystem::create_directories(*dir_ / "set");
    EXPECT_EQ(Cli("image " + Medium() + " set --bad-sectors retry"), 1) << Err() << Out();
    EXPECT_NE(Err().find("Image creation failed: the source became shorter or went away at sector 600"),
              std::string::npos)
        << Err();
    EXPECT_EQ(Out().find("completed successfully"), std::string::npos) << Out();
    EXPECT_TRUE(ReadBytes(*dir_ / "set/Image0.img") == card_.substr(0, 600 * kSector)) << "the copy before the end";
    EXPECT_NE(ActivityLog().find("Disk Imaging Failed : the source became shorter or went away at sector 600"),
              std::string::npos)
        << ActivityLog();

    ClearActivityLog();
    EXPECT_EQ(Cli("scan " + Medium() + " --bad-sectors retry --list"), 1) << Err();
    const std::string listed = Out();
    EXPECT_NE(Err().find("the scan failed: the source became shorter or went away at sector 600"), std::string::npos)
        << Err();
    const std::string log = ActivityLog();
    EXPECT_NE(log.find("Analysing Failed : the source became shorter or went away at sector 600"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Analysing Completed"), std::string::npos) << log;
    // The files found are those of the sectors before the end, and they are there.
    EXPECT_EQ(Cli("scan card.dd --range 0:600 --list"), 0) << Err();
    EXPECT_EQ(listed, Out());
    EXPECT_NE(listed.find("JPEG"), std::string::npos) << listed;

    EXPECT_EQ(ReadBytes(*dir_ / "card.dd"), card_);  // the source is untouched
}

}  // namespace
}  // namespace zt::testing
