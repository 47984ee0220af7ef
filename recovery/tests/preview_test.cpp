#include "recovery/preview.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"
#include "platform/testing/loop_device.h"
#include "recovery/tests/card_fixture.h"
#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

using testing::kCard;

// Holds every read while a test keeps the gate shut.
class GatedIo final : public platform::RawIo {
public:
    explicit GatedIo(platform::RawIo& inner) : inner_(inner) {}
    platform::OpenResult Open(const std::string& path) override { return inner_.Open(path); }
    void Close(int handle) override { inner_.Close(handle); }
    std::optional<std::uint64_t> Size(int handle) override { return inner_.Size(handle); }
    platform::ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) override {
        reading = true;
        while (shut) std::this_thread::yield();
        return inner_.ReadAt(handle, buffer, length, offset);
    }
    std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) override {
        return inner_.FindEntryNoCase(folder, name);
    }
    std::atomic<bool> shut{false};
    std::atomic<bool> reading{false};

private:
    platform::RawIo& inner_;
};

class PreviewTest : public testing::PatternCardTest {
protected:
    PreviewTest() : PatternCardTest(200, 5) {
        // A narrowed scan range must not cut a preview short.
        source.RangeStart = 10;
        source.RangeEnd = 20;
    }

    TempFolder temp;
};

TEST_F(PreviewTest, KindsFollowTheType) {
    EXPECT_EQ(PreviewKindOf(*FindType("JPEG")), PreviewKind::Picture);
    EXPECT_EQ(PreviewKindOf(*FindType("TIFF")), PreviewKind::Picture);
    EXPECT_EQ(PreviewKindOf(*FindType("MIDI")), PreviewKind::Media);
    EXPECT_EQ(PreviewKindOf(*FindType("MP3")), PreviewKind::Media);
    EXPECT_EQ(PreviewKindOf(*FindType("MPEG")), PreviewKind::Media);
    EXPECT_EQ(PreviewKindOf(*FindType("CR2")), PreviewKind::None);
    EXPECT_EQ(PreviewKindOf(*FindType("MP4")), PreviewKind::None);
    EXPECT_EQ(PreviewKindOf(kNoType), PreviewKind::None);
}

TEST_F(PreviewTest, CopyHoldsTheSavedBytesOwnerOnlyAndIsReplacedByTheNext) {
    PreviewExtractor extractor(source, policy, temp.Path(), io);
    // 21 sectors, past the range's end: three whole chunks of 8 and no more.
    const std::optional<std::string> path = extractor.Extract(MakeFileInfo("JPEG", 1, 15, 20));
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, temp / "ZTtemp.JPEG");
    EXPECT_EQ(ReadBytes(*path), Expected(15, 20));
    struct stat st {};
    ASSERT_EQ(::stat(path->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_TRUE(extractor.Extract(MakeFileInfo("JPEG", 2, 3, 0)));
    EXPECT_EQ(ReadBytes(*path), Expected(3, 0));
    // Nothing but the preview file is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 1);
}

TEST_F(PreviewTest, LinkPlantedUnderThePreviewNameIsReplacedNotFollowed) {
    const std::string victim = temp / "victim";
    testing::WriteBytes(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), (temp / "ZTtemp.PNG").c_str()), 0);
    PreviewExtractor extractor(source, policy, temp.Path(), io);
    ASSERT_TRUE(extractor.Extract(MakeFileInfo("PNG", 1, 0, 1)));
    EXPECT_EQ(ReadBytes(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(temp / "ZTtemp.PNG"));
    EXPECT_EQ(ReadBytes(temp / "ZTtemp.PNG"), Expected(0, 1));
}

TEST_F(PreviewTest, TheFolderIsTheFirstPrivateOneOffTheSourcesMedium) {
    // Each case's folder comes first and a good one second: which is taken.
    const std::string other = temp / "elsewhere";
    fs::create_directory(other);
    auto folderWithMode = [](mode_t mode) {
        return [mode](const std::string& p) {
            fs::create_directories(p);
            ::chmod(p.c_str(), mode);
        };
    };
    struct Case {
        const char* what;
        bool make;
        bool taken;
        std::function<void(const std::string&)> prepare;
        bool onMedium = false;
    };
    const Case cases[] = {
        {"a private temporary folder", false, true, folderWithMode(0700)},
        {"a shared temporary folder", false, false, folderWithMode(01777)},
        {"missing, with its parent", true, true, [](const std::string&) {}},
        {"ours but open to others", true, true, folderWithMode(0777)},
        {"someone else's", true, ::geteuid() != 0,
         [](const std::string& p) {
             fs::create_directories(p);
             (void)::chown(p.c_str(), 65534, 65534);
         }},
        {"a link to a folder", true, false,
         [&](const std::string& p) {
             fs::create_directories(fs::path(p).parent_path());
             fs::create_directory_symlink(other, p);
         }},
        {"a file", true, false,
         [](const std::string& p) {
             fs::create_directories(fs::path(p).parent_path());
             testing::WriteBytes(p, "x");
         }},
        {"on the medium being recovered", true, false, folderWithMode(0700), true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++n;
        const std::string folder = temp / ("case" + std::to_string(n) + "/preview");
        const std::string fallback = temp / ("fallback" + std::to_string(n));
        c.prepare(folder);
        testing::FakeDestination destination;
        if (c.onMedium) destination.sharedMedia.insert({folder, kCard});
        const std::string chosen = ChoosePreviewFolder({{folder, c.make}, {fallback, true}}, source, destination, io);
        EXPECT_EQ(chosen, c.taken ? folder : fallback);
        struct stat st {};
        ASSERT_EQ(::lstat(chosen.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 022, 0u);
    }
    EXPECT_TRUE(fs::is_empty(other));
}

TEST_F(PreviewTest, WithoutAFolderNothingIsPreviewedOrWritten) {
    // The first candidate would be made inside a folder on the card, the
    // second is a file: neither is made or written.
    testing::FakeDestination destination;
    const std::string onCard = temp / "card-folder";
    fs::create_directory(onCard);
    destination.sharedMedia.insert({onCard, kCard});
    testing::WriteBytes(temp / "file", "x");
    const std::string chosen =
        ChoosePreviewFolder({{onCard + "/cache/preview", true}, {temp / "file", true}}, source, destination, io);
    EXPECT_EQ(chosen, "");
    EXPECT_TRUE(fs::is_empty(onCard));
    PreviewExtractor extractor(source, policy, chosen, io);
    EXPECT_FALSE(extractor.Extract(MakeFileInfo("JPEG", 1, 0, 1)));
    EXPECT_FALSE(fs::exists("/ZTtemp.JPEG"));
    RemovePreviewFiles(chosen);
    EXPECT_EQ(ReadBytes(temp / "file"), "x");
}

TEST_F(PreviewTest, FolderThatCannotHoldTheFileFailsAndKeepsTheLastPreview) {
    PreviewExtractor missing(source, policy, temp / "gone", io);
    EXPECT_FALSE(missing.Extract(MakeFileInfo("GIF", 1, 0, 1)));
    PreviewExtractor extractor(source, policy, temp.Path(), io);
    EXPECT_FALSE(extractor.Extract(MakeFileInfo("../x", 1, 0, 1)));
}

TEST_F(PreviewTest, ShortWriteKeepsThePartWritten) {
    // A file-size limit of 4096 bytes: the first chunk fits, the second fails.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    PreviewExtractor extractor(source, policy, temp.Path(), io);
    const std::optional<std::string> path = extractor.Extract(MakeFileInfo("WAV", 1, 0, 30));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(path);
    EXPECT_EQ(ReadBytes(*path), Expected(0, 7));
}

TEST_F(PreviewTest, ExitCleanUpRemovesTheElevenPreviewFilesOnly) {
    for (std::string_view type : PreviewTypeNames()) testing::WriteBytes(temp / PreviewFileName(type), "x");
    testing::WriteBytes(temp / "ZTtemp.CR2", "x");
    testing::WriteBytes(temp / "other.JPEG", "x");
    RemovePreviewFiles(temp.Path());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(temp.Path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"ZTtemp.CR2", "other.JPEG"}));
    EXPECT_EQ(PreviewTypeNames().size(), 11u);
}

TEST_F(PreviewTest, LivePreviewSkipsOffersWhileBusyAndHandsEachResultOnce) {
    GatedIo gated(io);
    PreviewExtractor extractor(source, policy, temp.Path(), gated);
    LivePreview live(extractor);
    EXPECT_FALSE(live.TakeReady());
    EXPECT_TRUE(live.Offer(MakeFileInfo("JPEG", 1, 4, 2)));
    EXPECT_EQ(live.TakeReady(), temp / "ZTtemp.JPEG");
    EXPECT_FALSE(live.TakeReady());

    // An offer made while one is extracted is dropped, not queued.
    gated.shut = true;
    gated.reading = false;
    std::thread first([&] { live.Offer(MakeFileInfo("JPEG", 12, 0, 0)); });
    while (!gated.reading) std::this_thread::yield();
    EXPECT_FALSE(live.Offer(MakeFileInfo("BMP", 1, 0, 0)));
    gated.shut = false;
    first.join();
    EXPECT_EQ(live.TakeReady(), temp / "ZTtemp.JPEG");
    EXPECT_FALSE(fs::exists(temp / "ZTtemp.BMP"));
}

// The scanned card holds a mounted file system whose folders would be the
// temporary and cache folders: previews go elsewhere and the card's bytes
// stay as they were.
TEST(PreviewOnTheScannedCard, FoldersOnTheCardArePassedOverAndItsBytesStay) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to attach and mount a loop device";
    TempFolder scratch;
    const std::string image = scratch / "card.img";
    const std::string mountPoint = scratch / "mnt";
    fs::create_directory(mountPoint);
    // Initialised in full, so the mounted file system writes nothing by itself.
    if (testing::RunCommand("truncate -s 16M '" + image + "' && mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 '" +
                            image + "'")
            .status != 0) {
        GTEST_SKIP() << "no mkfs.ext4";
    }
    std::string loop = testing::RunCommand("losetup --find --show '" + image + "'").out;
    loop.erase(loop.find_last_not_of('\n') + 1);
    if (loop.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "no free loop device";
    if (testing::RunCommand("mount -o noatime '" + loop + "' '" + mountPoint + "' && mkdir -m 0700 '" + mountPoint +
                            "/tmp' && sync")
            .status != 0) {
        testing::RunCommand("umount '" + mountPoint + "'; losetup -d '" + loop + "'");
        GTEST_SKIP() << "cannot mount here";
    }
    const auto checksum = [&loop] { return testing::RunCommand("sync && sha256sum '" + loop + "'").out; };
    const std::string before = checksum();

    SourceDescriptor source;
    source.DeviceNames[0] = loop;
    const std::string fallback = scratch / "fallback";
    const std::string chosen = ChoosePreviewFolder(
        {{mountPoint + "/tmp", false}, {mountPoint + "/tmp/zentrix-pictora-0", true}, {mountPoint + "/.cache/zentrix-pictora", true}, {fallback, true}},
        source, platform::SystemDestination(), platform::SystemRawIo());
    EXPECT_EQ(chosen, fallback);
    BadSectorPolicyState policy;
    PreviewExtractor extractor(source, policy, chosen, platform::SystemRawIo());
    const std::optional<std::string> path = extractor.Extract(MakeFileInfo("JPEG", 1, 0, 4));
    ASSERT_TRUE(path);
    EXPECT_EQ(ReadBytes(*path).size(), 5u * 512u);
    EXPECT_TRUE(fs::is_empty(mountPoint + "/tmp"));
    EXPECT_FALSE(fs::exists(mountPoint + "/.cache"));
    EXPECT_EQ(checksum(), before);

    testing::RunCommand("umount '" + mountPoint + "'; losetup -d '" + loop + "'");
}

}  // namespace
}  // namespace zt
