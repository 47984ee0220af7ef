// The run header that pictora-cli scan and image write for a SOURCE must be,
// byte for byte, what the source page's selection writes for the item the
// page would show for it: a partition of a loop device as its logical drive,
// the whole device as its disk, an image-set folder and a raw image file as
// images with the disk lines of their size.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/source/device_registry.h"
#include "core/source/source_ref.h"
#include "logs/activity_entries.h"
#include "platform/settings_store.h"
#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"
#include "ui/words/source_words.h"

namespace zt::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kCardBytes = 8ull << 20;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RunHeaderCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::canonical(folder.Path()).string();
        ASSERT_EQ(::setenv("ZT_REGISTRY_DIR", (root + "/settings").c_str(), 1), 0);
        ASSERT_EQ(::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1), 0);
        card = root + "/card.dd";
        WriteBytes(card, std::string(kCardBytes, '\0'));
        fs::create_directories(root + "/out");
    }
    void TearDown() override {
        ::unsetenv("ZT_REGISTRY_DIR");
        ::unsetenv("XDG_STATE_HOME");
    }

    std::string ActivityLog() const { return ReadAll(root + "/state/zentrix-pictora/Activity Log.txt"); }

    // Runs pictora-cli with a fresh activity log and returns the log it wrote.
    std::string Run(const std::string& arguments) {
        fs::remove(root + "/state/zentrix-pictora/Activity Log.txt");
        const CommandResult r = RunCommand(std::string("'") + ZT_PICTORA_CLI + "' " + arguments);
        EXPECT_EQ(r.status, 0) << arguments;
        return ActivityLog();
    }

    // An item of the source page's tree: the source it stands for and its label.
    struct TreeItem {
        SourceRef ref;
        std::string label;
    };

    // The header the source page's selection gives for the item, over the
    // device key the command line's listing left in this test's settings.
    std::string PageHeader(const TreeItem& item, bool mediaRecovery) {
        platform::FileSettingsStore store(root + "/settings/registry.ini");
        StoreDeviceRegistry registry(store);
        SystemDriveProbe drives;
        SelectionContext context{registry, drives, platform::SystemRawIo()};
        SourceDescriptor source;
        const SourceDescription shown = DescribeSource(item.ref, context, source);
        const ChooseOutcome next = ChooseSourceRef(
            item.ref, shown, SourceRange::Typed(shown.info.startText, shown.info.endText), mediaRecovery, context,
            source);
        EXPECT_TRUE(next.Ok()) << item.label;
        // Written as the page writes it, into a log of its own.
        platform::MemorySettingsStore logStore;
        const std::string logFolder = root + "/page-log";
        fs::create_directories(logFolder);
        fs::remove(logFolder + "/Activity Log.txt");
        EXPECT_TRUE(logStore.WriteValue("ZT_PictoraNTFS", "Activity Log", logFolder));
        EXPECT_TRUE(WriteEntries(LogContext{logStore}, LogKind::Activity,
                                 RunHeaderEntries(MakeRunHeader(next.chosen, item.label))));
        return ReadAll(logFolder + "/Activity Log.txt");
    }

    // The log begins with the start block, then holds the page's header, then what follows it.
    void ExpectHeader(const std::string& log, const std::string& header, const std::string& next,
                      const std::string& what) {
        ASSERT_FALSE(header.empty()) << what;
        const std::size_t at = log.find(header);
        ASSERT_NE(at, std::string::npos) << what << "\ncommand line:\n" << log << "\nsource page:\n" << header;
        const std::string before = log.substr(0, at);
        EXPECT_EQ(before.rfind(std::string("\r\n") + kStartBlockLine + "\r\n", 0), 0u) << what << ": " << before;
        EXPECT_EQ(std::count(before.begin(), before.end(), '\n'), 4) << what << ": " << before;
        EXPECT_EQ(log.compare(at + header.size(), next.size(), next), 0) << what << ": " << log.substr(at);
    }

    // pictora-cli scan and image on source both write the page's header for item.
    void ExpectBothHeaders(const std::string& source, const TreeItem& item, const std::string& destination) {
        const std::string scanned = Run("scan --signatures standard --list '" + source + "'");
        ExpectHeader(scanned, PageHeader(item, true), "\r\n\r\nSelected Extensions Information : ", "scan " + source);
        if (destination.empty()) return;
        const std::string imaged = Run("image '" + source + "' '" + destination + "'");
        ExpectHeader(imaged, PageHeader(item, false), "\r\n\r\nAnalysing Disk Imaging Information :",
                     "image " + source);
    }

    TempFolder folder;
    std::string root;
    std::string card;
};

TEST_F(RunHeaderCliTest, ARawImageFileAndAnImageSetFolderAreLoggedAsTheImagePageItems) {
    ExpectBothHeaders(card, {RawImageRef{card}, card}, root + "/out");

    // The copy just made is an image set: its folder stands for its first part.
    const std::string set = root + "/set";
    fs::create_directories(set);
    ASSERT_EQ(RunCommand(std::string("'") + ZT_PICTORA_CLI + "' image '" + card + "' '" + set + "'").status, 0);
    ExpectBothHeaders(set, {ImageSetRef{set + "/Image0.img"}, set + "/Image0.img"}, root + "/out");

    // Typed relative to the current folder, the page's absolute item is logged all the same.
    const std::string here = fs::current_path().string();
    ASSERT_EQ(::chdir(root.c_str()), 0);
    const std::string relative = Run("scan --signatures standard --list card.dd");
    ASSERT_EQ(::chdir(here.c_str()), 0);
    ExpectHeader(relative, PageHeader({RawImageRef{card}, card}, true),
                 "\r\n\r\nSelected Extensions Information : ", "scan card.dd");
}

TEST_F(RunHeaderCliTest, ALoopDevicesPartitionIsItsLogicalDriveAndTheWholeDeviceItsDisk) {
    if (::geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
    if (!RunQuietly("command -v losetup >/dev/null && command -v sfdisk >/dev/null"))
        GTEST_SKIP() << "losetup or sfdisk is missing (scripts/deps.sh test installs them)";
    // One partition of 6 MiB after the usual 1 MiB gap; it holds no file system.
    ASSERT_TRUE(RunQuietly("printf 'label: dos\\nstart=2048, size=12288, type=83\\n' | sfdisk -q '" + card + "'"));
    AttachedLoop loop(card);
    if (!loop.Attached()) GTEST_SKIP() << "no loop device can be attached here";
    const std::string partition = loop.Name() + "p1";
    if (!loop.WaitForPartition(partition)) GTEST_SKIP() << "the kernel did not read the partition table of " << loop.Device();

    // The image goes where the loop device's file does not lie, else it is refused.
    std::string destination;
    struct stat shm {}, here {};
    if (::stat("/dev/shm", &shm) == 0 && ::stat(root.c_str(), &here) == 0 && shm.st_dev != here.st_dev) {
        destination = "/dev/shm/zt-run-header-" + std::to_string(::getpid());
        fs::create_directories(destination);
    }

    const TreeItem drive{LogicalDriveRef{partition}, "Local Disk (" + partition + ")"};
    ExpectBothHeaders("/dev/" + partition, drive, destination);
    // Named by its label, the drive is the same item.
    ExpectHeader(Run("scan --signatures standard --list '" + drive.label + "'"), PageHeader(drive, true),
                 "\r\n\r\nSelected Extensions Information : ", "scan by label");

    // The whole device is the disk the listing numbered for it in the device key.
    const std::string scanned = Run("scan --signatures standard --list '" + loop.Device() + "'");
    platform::FileSettingsStore store(root + "/settings/registry.ini");
    int disk = -1;
    for (int n = 0; n < kMaxDisks && disk < 0; ++n)
        if (store.ReadValue(DeviceRegistryKey, DiskValueName(n)) == loop.Device()) disk = n;
    ASSERT_GE(disk, 0) << "the listing did not report " << loop.Device();
    ExpectHeader(scanned, PageHeader({DiskRef{disk}, DiskValueName(disk)}, true),
                 "\r\n\r\nSelected Extensions Information : ", "scan " + loop.Device());
    if (!destination.empty()) {
        const std::string imaged = Run("image '" + loop.Device() + "' '" + destination + "'");
        disk = -1;
        for (int n = 0; n < kMaxDisks; ++n)
            if (disk < 0 && store.ReadValue(DeviceRegistryKey, DiskValueName(n)) == loop.Device()) disk = n;
        ExpectHeader(imaged, PageHeader({DiskRef{disk}, DiskValueName(disk)}, false),
                     "\r\n\r\nAnalysing Disk Imaging Information :", "image " + loop.Device());
        fs::remove_all(destination);
    }
}

}  // namespace
}  // namespace zt::testing
