// pictora-cli run as an unprivileged user on a disk only root may open: the
// read goes through the system's disk service, here a stand-in for udisks2
// on a private bus started by the test, and must find what root finds on the
// same bytes. A refusal, a descriptor that is not read-only and a missing
// service each end with their message and exit status 1.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"

extern char** environ;

namespace zt::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kNobody[] = "65534";
// Debian's own interpreter, which python3-dbus and python3-gi belong to.
constexpr char kPython[] = "/usr/bin/python3";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs a shell command with no input, bounded to a minute; standard error
// is kept after standard output.
CommandResult RunWithErrors(const std::string& command) {
    return RunCommand("timeout 60 sh -c " + Quoted(command + " 2>&1"));
}

void StopProcess(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) != 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 100 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return fs::exists(path);
}

// A dbus-daemon of the test's own that anyone may connect to, stopped on destruction.
class PrivateBus {
public:
    explicit PrivateBus(const std::string& folder) {
        const std::string config = folder + "/bus.conf";
        WriteBytes(config,
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n  <listen>unix:path=" + folder + "/bus</listen>\n  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                   "    <allow send_destination=\"*\"/>\n    <allow receive_sender=\"*\"/>\n  </policy>\n"
                   "</busconfig>\n");
        std::istringstream lines(
            RunCommand("timeout 10 dbus-daemon --config-file=" + Quoted(config) + " --fork --print-address=1 --print-pid=1")
                .out);
        std::string pid;
        std::getline(lines, address_);
        std::getline(lines, pid);
        if (!address_.empty() && !pid.empty()) pid_ = std::stoi(pid);
    }
    ~PrivateBus() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);  // not our child: --fork made it a daemon
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return pid_ > 0; }
    const std::string& Address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = -1;
};

// The stand-in for udisks2, running as root on the private bus.
class FakeDiskService {
public:
    FakeDiskService(const std::string& address, const std::string& state) : state_(state) {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        const std::string script = ZT_FAKE_UDISKS;
        const char* argv[] = {kPython, script.c_str(), state.c_str(), nullptr};
        if (::posix_spawn(&pid_, kPython, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        ready_ = pid_ > 0 && WaitForFile(state + "/ready");
    }
    ~FakeDiskService() { Stop(); }
    FakeDiskService(const FakeDiskService&) = delete;
    FakeDiskService& operator=(const FakeDiskService&) = delete;

    bool Ready() const { return ready_; }
    void Stop() {
        StopProcess(pid_);
        pid_ = -1;
    }
    // One line per OpenDevice request.
    std::string Calls() const { return ReadBytes(state_ + "/calls"); }
    void Steer(const std::string& flag, bool on) const {
        if (on) WriteBytes(state_ + "/" + flag, "");
        else fs::remove(state_ + "/" + flag);
    }

private:
    std::string state_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

class DiskServiceCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root, to attach a loop device and to drop to another user";
        if (!RunQuietly("{ command -v dbus-daemon && command -v setpriv && command -v losetup; }"))
            GTEST_SKIP() << "dbus-daemon, setpriv or losetup is missing (scripts/deps.sh test installs them)";
        if (!RunQuietly(std::string(kPython) + " -c 'import dbus, dbus.mainloop.glib, gi.repository.GLib'"))
            GTEST_SKIP() << "python3-dbus or python3-gi is missing (scripts/deps.sh test installs them)";
        // Everything the unprivileged user runs or writes lies in this folder.
        fs::permissions(folder.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
        cli = folder / "pictora-cli";
        fs::copy_file(ZT_PICTORA_CLI, cli);
        fs::permissions(cli, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
        home = folder / "home";
        state = folder / "service";
        fs::create_directories(home);
        fs::create_directories(state);
        ASSERT_TRUE(RunQuietly(std::string("chown ") + kNobody + " " + Quoted(home)));
        image = folder / "demo.dd";
        ASSERT_TRUE(RunQuietly(std::string(ZT_MAKE_DEMO_IMAGE) + " " + Quoted(image)));
        loop = std::make_unique<AttachedLoop>(image);
        if (!loop->Attached()) GTEST_SKIP() << "loop devices cannot be attached here";
        // The premise: the user cannot open the device by itself.
        ASSERT_FALSE(RunQuietly(AsNobody("", "sh -c " + Quoted("exec 3< " + loop->Device()))));
    }

    // A command run as nobody, with its own home and the given system bus.
    std::string AsNobody(const std::string& busAddress, const std::string& command) const {
        return std::string("setpriv --reuid=") + kNobody + " --regid=" + kNobody + " --clear-groups env HOME=" +
               Quoted(home) + " ZT_REGISTRY_DIR=" + Quoted(home) + " XDG_STATE_HOME=" + Quoted(home) +
               " DBUS_SYSTEM_BUS_ADDRESS=" + Quoted(busAddress) + " " + command;
    }
    std::string Scan(const std::string& source) const { return Quoted(cli) + " scan --signatures standard --list " + Quoted(source); }

    TempFolder folder;
    std::string cli, home, state, image;
    std::unique_ptr<AttachedLoop> loop;
};

TEST_F(DiskServiceCliTest, AUserScanReadsTheDeviceThroughTheServiceAndFindsWhatRootFinds) {
    PrivateBus bus(folder.Path());
    ASSERT_TRUE(bus.Running());
    FakeDiskService service(bus.Address(), state);
    ASSERT_TRUE(service.Ready());

    const CommandResult asRoot = RunCommand("env ZT_REGISTRY_DIR=" + Quoted(home) + " XDG_STATE_HOME=" + Quoted(home) +
                                            " " + Scan(loop->Device()));
    ASSERT_EQ(asRoot.status, 0);
    ASSERT_GT(std::count(asRoot.out.begin(), asRoot.out.end(), '\n'), 3) << asRoot.out;
    EXPECT_EQ(service.Calls(), "") << "root opens the device itself";

    const CommandResult asUser = RunCommand(AsNobody(bus.Address(), Scan(loop->Device())));
    EXPECT_EQ(asUser.status, 0);
    EXPECT_EQ(asUser.out, asRoot.out);
    // Read-only, without waiting for a password (no terminal), and asked
    // once: the reader reuses what the check of the source was granted.
    EXPECT_EQ(service.Calls(), "mode=r interactive=0 no_user_interaction=1\n");
}

TEST_F(DiskServiceCliTest, RefusalsAndAMissingServiceEndWithTheirMessages) {
    PrivateBus bus(folder.Path());
    ASSERT_TRUE(bus.Running());
    FakeDiskService service(bus.Address(), state);
    ASSERT_TRUE(service.Ready());
    const std::string head = "reading " + loop->Device() + " needs administrator rights";

    service.Steer("refuse", true);
    CommandResult refused = RunWithErrors(AsNobody(bus.Address(), Scan(loop->Device())));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find(head + "; access was not granted"), std::string::npos) << refused.out;
    service.Steer("refuse", false);

    service.Steer("writable", true);
    CommandResult writable = RunWithErrors(AsNobody(bus.Address(), Scan(loop->Device())));
    EXPECT_EQ(writable.status, 1);
    EXPECT_NE(writable.out.find("is not open read-only on " + loop->Device()), std::string::npos) << writable.out;
    service.Steer("writable", false);

    // An image file the user may not read is not the disk service's business.
    const std::string calls = service.Calls();
    fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write);
    CommandResult file = RunWithErrors(AsNobody(bus.Address(), Scan(image)));
    EXPECT_EQ(file.status, 1);
    EXPECT_NE(file.out.find("cannot open " + image + " for reading: Permission denied"), std::string::npos) << file.out;
    EXPECT_EQ(service.Calls(), calls);

    const std::string missing = head + ", and udisks2, the system's disk service that grants them, is not available "
                                       "here: run pictora-cli with sudo";
    service.Stop();
    CommandResult noService = RunWithErrors(AsNobody(bus.Address(), Scan(loop->Device())));
    EXPECT_EQ(noService.status, 1);
    EXPECT_NE(noService.out.find(missing), std::string::npos) << noService.out;
    CommandResult noBus = RunWithErrors(AsNobody("unix:path=" + folder / "no-bus", Scan(loop->Device())));
    EXPECT_EQ(noBus.status, 1);
    EXPECT_NE(noBus.out.find(missing), std::string::npos) << noBus.out;
}

}  // namespace
}  // namespace zt::testing
