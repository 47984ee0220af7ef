// pictora-cli devices, and sources given by their labels in the list: a FAT
// card image attached as a loop device must be listed with its label and
// size, and scanning it by label must find what scanning the image file finds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <sstream>

#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"

namespace zt::testing {
namespace {

constexpr std::uint64_t kImageBytes = 8ull << 20;

std::string Cli(const std::string& arguments) { return std::string("'") + ZT_PICTORA_CLI + "' " + arguments; }

// A JPEG as the scan recognises it: JFIF header, body, end marker.
std::string FakeJpeg(std::size_t bodyBytes, char fill) {
    std::string jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    return jpeg + std::string(bodyBytes, fill) + "\xFF\xD9";
}

// The line of `devices --json` that lists device as a disk; empty when none does.
std::string DiskLine(const std::string& json, const std::string& device) {
    std::istringstream lines(json);
    for (std::string line; std::getline(lines, line);)
        if (line.find("{\"label\": \"Disk") != std::string::npos &&
            line.find("\"device\": \"" + device + "\"") != std::string::npos)
            return line;
    return {};
}

// "Disk3" of such a line.
std::string DiskLabelOf(const std::string& line) {
    std::size_t at = line.find("Disk");
    return at == std::string::npos ? std::string() : line.substr(at, line.find('"', at) - at);
}

class DevicesCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The listing writes the device key into this test's own settings
        // file, and the first start its log folder beside it.
        ASSERT_EQ(::setenv("ZT_REGISTRY_DIR", folder.Path().c_str(), 1), 0);
        ASSERT_EQ(::setenv("XDG_STATE_HOME", folder.Path().c_str(), 1), 0);
    }
    void TearDown() override {
        ::unsetenv("ZT_REGISTRY_DIR");
        ::unsetenv("XDG_STATE_HOME");
    }

    TempFolder folder;
};

TEST_F(DevicesCliTest, ListsTheMachinesDisksAndRefusesUnknownArguments) {
    CommandResult json = RunCommand(Cli("devices --json"));
    ASSERT_EQ(json.status, 0);
    for (const platform::DiskEntry& disk : platform::ListDisks()) {
        if (!disk.backingFile.empty()) continue;  // loop devices of other tests come and go
        EXPECT_NE(json.out.find("\"device\": \"" + disk.devicePath + "\""), std::string::npos) << disk.devicePath;
        EXPECT_NE(json.out.find("\"rangeEnd\": " + std::to_string(disk.sizeBytes / 512)), std::string::npos);
    }
    CommandResult text = RunCommand(Cli("devices"));
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out.rfind("My Computer\n  Select Logical Drive\n", 0), 0u) << text.out;
    EXPECT_EQ(RunCommand(Cli("devices --bogus")).status, 2);
    EXPECT_EQ(RunCommand(Cli("scan --signatures standard --list Disk25")).status, 1);  // no such disk listed
}

TEST_F(DevicesCliTest, ACardOnALoopDeviceScansTheSameByLabelAsByImage) {
    if (!RunQuietly("command -v losetup && command -v mkfs.vfat && command -v mcopy"))
        GTEST_SKIP() << "losetup, mkfs.vfat or mcopy is missing";
    std::string image = std::filesystem::canonical(folder.Path()).string() + "/card.img";
    ASSERT_TRUE(RunQuietly("truncate -s " + std::to_string(kImageBytes) + " '" + image + "'"));
    ASSERT_TRUE(RunQuietly("mkfs.vfat -n ZTE2E '" + image + "'"));
    int n = 0;
    for (auto [size, fill] : {std::pair{5000, 'a'}, std::pair{21000, 'b'}, std::pair{700, 'c'}}) {
        std::string photo = folder / ("p" + std::to_string(n) + ".jpg");
        WriteBytes(photo, FakeJpeg(static_cast<std::size_t>(size), fill));
        ASSERT_TRUE(RunQuietly("mcopy -i '" + image + "' '" + photo + "' ::DSC000" + std::to_string(n++) + ".JPG"));
    }
    AttachedLoop loop(image);
    if (!loop.Attached()) GTEST_SKIP() << "loop devices cannot be attached here (not root?)";

    CommandResult json = RunCommand(Cli("devices --json"));
    ASSERT_EQ(json.status, 0);
    std::string driveLabel = "ZTE2E (" + loop.Name() + ")";
    EXPECT_NE(json.out.find("{\"label\": \"" + driveLabel + "\", \"device\": \"" + loop.Device() + "\""),
              std::string::npos)
        << json.out;
    std::string diskLine = DiskLine(json.out, loop.Device());
    ASSERT_FALSE(diskLine.empty()) << json.out;
    EXPECT_NE(diskLine.find("\"rangeEnd\": " + std::to_string(kImageBytes / 512) + "}"), std::string::npos);
    CommandResult byImage = RunCommand(Cli("scan --signatures standard --list '" + image + "'"));
    ASSERT_EQ(byImage.status, 0);
    EXPECT_EQ(std::count(byImage.out.begin(), byImage.out.end(), '\n'), 3) << byImage.out;
    CommandResult byDrive = RunCommand(Cli("scan --signatures standard --list '" + driveLabel + "'"));
    EXPECT_EQ(byDrive.status, 0);
    EXPECT_EQ(byDrive.out, byImage.out);
    // Disk numbers follow the disks present at each listing, and other tests
    // attach and detach loop devices meanwhile: compare once the number named
    // the same device before and after the scan.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::string before = DiskLabelOf(DiskLine(RunCommand(Cli("devices --json")).out, loop.Device()));
        CommandResult byDisk = RunCommand(Cli("scan --signatures standard --list " + before));
        std::string after = DiskLabelOf(DiskLine(RunCommand(Cli("devices --json")).out, loop.Device()));
        if (before.empty() || before != after) continue;
        EXPECT_EQ(byDisk.status, 0);
        EXPECT_EQ(byDisk.out, byImage.out);
        return;
    }
    ADD_FAILURE() << "the loop device never kept its disk number across a scan";
}

// A loop device resized to almost nothing while it is scanned: the sectors
// that vanished are not a medium full of zeros. The scan fails and says where
// the medium ended, with what it found before.
TEST_F(DevicesCliTest, ALoopDeviceThatShrinksDuringAScanFailsTheScan) {
    if (!RunQuietly("command -v losetup")) GTEST_SKIP() << "losetup is missing";
    const std::string image = std::filesystem::canonical(folder.Path()).string() + "/shrinking.img";
    const std::string photo = FakeJpeg(3000, 'p');
    {
        std::ofstream out(image, std::ios::binary);
        out.seekp(64 * 512);
        out << photo;
    }
    // Sparse and large enough that the scan is still running when the medium shrinks.
    std::filesystem::resize_file(image, 64ull << 30);
    AttachedLoop loop(image);
    if (!loop.Attached()) GTEST_SKIP() << "no loop device could be attached (root is needed)";

    const std::string out = folder / "scan.out";
    const std::string err = folder / "scan.err";
    const std::string pidFile = folder / "scan.pid";
    const std::string statusFile = folder / "scan.status";
    // The scan runs in the background; its own process id is written first.
    ASSERT_TRUE(RunQuietly("( sh -c 'echo $$ >\"$0\"; exec \"$@\"' '" + pidFile + "' '" + ZT_PICTORA_CLI + "' scan '" +
                           loop.Device() + "' --signatures standard --types JPEG --bad-sectors skip --list >'" + out + "' 2>'" + err +
                           "'; echo $? >'" + statusFile + ".tmp'; mv '" + statusFile + ".tmp' '" + statusFile +
                           "' ) &"));
    // The medium shrinks once the scan has read 256 MiB of it.
    auto readBytes = [&]() -> std::uint64_t {
        std::ifstream pidIn(pidFile);
        std::string pid;
        if (!(pidIn >> pid)) return 0;
        std::ifstream io("/proc/" + pid + "/io");
        for (std::string key, value; io >> key >> value;)
            if (key == "rchar:") return std::stoull(value);
        return 0;
    };
    for (int i = 0; i < 6000 && readBytes() < (256u << 20) && !std::filesystem::exists(statusFile); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::filesystem::resize_file(image, 1ull << 20);
    RunQuietly("losetup -c '" + loop.Device() + "'");
    for (int i = 0; i < 6000 && !std::filesystem::exists(statusFile); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream statusIn(statusFile);
    int status = -1;
    statusIn >> status;
    EXPECT_EQ(status, 1);
    std::ifstream errIn(err);
    const std::string errors((std::istreambuf_iterator<char>(errIn)), std::istreambuf_iterator<char>());
    std::ifstream outIn(out);
    const std::string listed((std::istreambuf_iterator<char>(outIn)), std::istreambuf_iterator<char>());
    EXPECT_NE(errors.find("the scan failed: the source became shorter or went away at sector "), std::string::npos)
        << errors;
    EXPECT_EQ(listed.rfind("File1.JPEG\tJPEG\t64\t", 0), 0u) << listed;
    // The medium's remaining bytes are what the test wrote; the scan wrote nothing.
    std::ifstream in(image, std::ios::binary);
    std::string head(64 * 512 + photo.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head.substr(64 * 512), photo);
    EXPECT_EQ(head.substr(0, 64 * 512), std::string(64 * 512, '\0'));
}

}  // namespace
}  // namespace zt::testing
