#include "recovery/saving_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <set>
#include <filesystem>
#include <thread>

#include <sys/resource.h>

#include <csignal>

#include "core/source/testing/scripted_prompt.h"
#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"
#include "platform/testing/temp_folder.h"
#include "recovery/tests/card_fixture.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

using testing::kCard;
constexpr char kOut[] = "/out";
// Two blocks of a large read, less a little: the end of the card lies in its second block.
constexpr std::uint64_t kCardSectors = 2 * FileCopyPieceSectors - 96;

class ScriptedOverwritePrompt final : public OverwritePrompt {
public:
    explicit ScriptedOverwritePrompt(std::deque<OverwriteAnswer> answers = {}) : answers_(std::move(answers)) {}
    OverwriteAnswer Ask(const std::string& fileName) override {
        asked.push_back(fileName);
        if (answers_.empty()) return OverwriteAnswer::Closed;
        const OverwriteAnswer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    std::vector<std::string> asked;

private:
    std::deque<OverwriteAnswer> answers_;
};

// Equal bytes; otherwise the sizes and the first offset that differs.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                         << ", first difference at byte " << at;
}

FileInfo Selected(std::string_view type, std::int32_t number, std::uint64_t start, std::int32_t count) {
    FileInfo f = MakeFileInfo(type, number, start, count);
    f.selected = 1;
    return f;
}

class SavingRunTest : public testing::PatternCardTest {
protected:
    SavingRunTest() : PatternCardTest(kCardSectors, 9) {
        // The time lines of the log are local times.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        dest.folders = {kOut};
        destination = kOut;
        EXPECT_TRUE(store.WriteValue(kAppRegistryKey, kRecoveryLogValue, logs.Path()));
    }

    std::unique_ptr<SavingRun> MakeRun(platform::Destination& w) {
        return std::make_unique<SavingRun>(list, source, policy, destination,
                                           SavingServices{w, prompt, LogContext{store}, settings, headerWritten, io,
                                                          [this] { return clock; }});
    }
    std::unique_ptr<SavingRun> MakeRun() { return MakeRun(dest); }

    std::string Saved(const std::string& relative) const {
        return dest.Content(std::string(kOut) + "/" + relative).value_or("(missing)");
    }
    bool Exists(const std::string& relative) const { return dest.Has(std::string(kOut) + "/" + relative); }
    std::string RecoveryLog() const { return ReadBytes(logs / "Recovery Log.txt"); }

    FoundFileList list;
    TempFolder logs;
    std::string destination;
    platform::MemorySettingsStore store;
    AppSettings settings;
    std::atomic<bool> headerWritten{false};
    ScriptedOverwritePrompt prompt;
    testing::FakeDestination dest;
    std::time_t clock = 1'700'000'000;
};

TEST_F(SavingRunTest, SavedFilesHoldTheirSectorsThroughTheLastOne) {
    // Lengths around the 8-sector chunk, a file past the narrowed range, one
    // running off the end of the card, and one over an unreadable sector.
    const std::vector<std::pair<std::uint64_t, std::int32_t>> files = {
        {0, 0}, {10, 1}, {20, 7}, {40, 8}, {60, 9}, {80, 15}, {100, 16}, {130, 17}, {200, 1000},
        {kCardSectors - 5, 20}, {1500, 30}};
    source.RangeEnd = 1000;  // the file at 1500 lies past it, and so does most of the one at 200
    io.AddBadSector(kCard, 1510);
    policy.Set(RetryAll);  // sector by sector around it: only that sector is lost
    std::int32_t n = 0;
    for (const auto& [start, count] : files) list.Append(Selected("JPEG", ++n, start, count));

    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().saved, n);
    EXPECT_EQ(run->State().total, n);
    EXPECT_EQ(run->State().failed, 0);
    n = 0;
    for (const auto& [start, count] : files) {
        const std::string name = "JPEG/File" + std::to_string(++n) + ".JPEG";
        EXPECT_TRUE(SameBytes(Saved(name), Expected(start, count, {1510}))) << name;
    }
    // Reads go chunk by chunk from the file's first sector, never past its last.
    for (const testing::FakeRawIo::Request& r : io.Requests()) {
        EXPECT_LE(r.length, FileCopyChunkSectors * kSectorSize);
    }
}

TEST_F(SavingRunTest, AnImageIsSavedInLargeWritesWithTheBytesAndQuestionsADeviceGets) {
    // The card's second block holds a bad sector: that block is never read
    // whole, so whatever lies in it goes chunk by chunk as on a device.
    constexpr std::uint64_t kBlock = FileCopyPieceSectors;
    constexpr std::uint64_t kBad = kBlock + 1452;
    struct Row {
        std::uint64_t start;
        std::int32_t count;
        std::uint64_t byteLength;  // 0: to the end of its last sector
        bool oneWriteFromAnImage;  // all in the first block: one write per piece
    };
    const std::vector<Row> rows = {
        {0, kBlock - 1, 0, true},                      // exactly one piece
        {10, 0, 0, true},                              // one sector
        {20, 30, 15000, true},                         // its exact length
        {100, kBlock * 7 / 8, 0, true},                // most of a block
        {kBad - 500, 900, 0, false},                   // over the bad sector
        {1000, kBlock + 52, 0, false},                 // two pieces, the second in the bad block
        {kCardSectors - 10, 20, 0, false},             // off the card's end
    };
    struct Outcome {
        std::vector<testing::FakeDestination::File> files;
        int asked = 0;
        std::vector<std::size_t> writeLengths;
        std::size_t deviceRequests = 0;
    };
    auto save = [&](bool image) {
        testing::FakeRawIo card;
        card.AddPatternFile(kCard, kCardSectors * kSectorSize, cardSeed);
        card.AddBadSector(kCard, kBad);
        if (image) card.MarkRegularFile(kCard);
        testing::ScriptedPrompt asker({Retry});
        BadSectorPolicyState asking(&asker);
        testing::FakeDestination out;
        out.folders = {kOut};
        FoundFileList files;
        std::int32_t n = 0;
        for (const Row& row : rows) {
            FileInfo f = Selected("JPEG", ++n, row.start, row.count);
            f.byteLength = row.byteLength;
            files.Append(f);
        }
        SavingRun run(files, source, asking, destination,
                      SavingServices{out, prompt, LogContext{store}, settings, headerWritten, card, [this] { return clock; }});
        run.Run();
        EXPECT_EQ(run.State().saved, n);
        Outcome o;
        for (n = 1; n <= static_cast<std::int32_t>(rows.size()); ++n) {
            const std::string path = std::string(kOut) + "/JPEG/File" + std::to_string(n) + ".JPEG";
            o.files.push_back(out.files.count(path) != 0 ? out.files.at(path) : testing::FakeDestination::File{});
            // Every byte of the file was given to the medium's writeback, in order.
            std::uint64_t covered = 0;
            for (const auto& w : out.writebacks) {
                if (w.path != SavingRun::TemporaryPath(path)) continue;
                EXPECT_EQ(w.offset, covered) << path;
                covered = w.offset + w.length;
            }
            EXPECT_EQ(covered, o.files.back().size) << path;
        }
        o.asked = asker.Asked();
        o.writeLengths = out.writeLengths;
        for (const auto& r : card.Requests()) o.deviceRequests += r.length <= DeviceChunkSectors * kSectorSize;
        return o;
    };
    const Outcome device = save(false);
    const Outcome image = save(true);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string expected = Expected(rows[i].start, rows[i].count, {kBad});
        if (rows[i].byteLength > 0) expected.resize(rows[i].byteLength);
        // The fake keeps the first MiB whole and the first word of every sector.
        for (const auto* saved : {&device.files[i], &image.files[i]}) {
            const char* from = saved == &device.files[i] ? "device, row " : "image, row ";
            EXPECT_EQ(saved->size, expected.size()) << from << i;
            EXPECT_TRUE(SameBytes(saved->Text(), expected.substr(0, testing::FakeDestination::kKeptBytes))) << from << i;
            for (std::size_t k = 0; k < saved->tags.size() && (k + 1) * kSectorSize <= expected.size(); ++k) {
                std::uint64_t tag = 0;
                std::memcpy(&tag, expected.data() + k * kSectorSize, sizeof tag);
                EXPECT_EQ(saved->tags[k], tag) << from << i << ", sector " << k;
            }
        }
    }
    EXPECT_EQ(device.asked, 1);
    EXPECT_EQ(image.asked, device.asked);
    // The chunks of the bad block are the only small requests made of the image.
    EXPECT_LT(image.deviceRequests, device.deviceRequests);
    for (std::size_t length : device.writeLengths) EXPECT_LE(length, FileCopyChunkSectors * kSectorSize);
    // From the image, the files of the first block each take one write.
    std::size_t next = 0;
    for (std::size_t i = 0; i < rows.size() && rows[i].oneWriteFromAnImage; ++i, ++next) {
        ASSERT_LT(next, image.writeLengths.size());
        EXPECT_EQ(image.writeLengths[next], image.files[i].size) << "row " << i;
    }
}

TEST_F(SavingRunTest, AFileOfKnownLengthIsCutToItsExactBytes) {
    // Lengths inside one sector, at a sector's end, and across chunks.
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> files = {{30, 1}, {40, 512}, {50, 513}, {70, 4097},
                                                                        {90, 9000}};
    std::int32_t n = 0;
    for (const auto& [start, bytes] : files) {
        FileInfo f = Selected("PNG", ++n, start, static_cast<std::int32_t>((bytes + 511) / 512));
        f.byteLength = bytes;
        f.cut = bytes == 4097 ? 1 : 0;  // kept to its type's maximum size by the scan
        list.Append(f);
    }
    FileInfo unticked = MakeFileInfo("PNG", ++n, 100, 1);
    unticked.cut = 1;
    list.Append(unticked);
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().saved, n - 1);
    EXPECT_EQ(run->State().cut, 1);  // the saved one; the one not ticked is not saved
    n = 0;
    for (const auto& [start, bytes] : files) {
        const std::string name = "PNG/File" + std::to_string(++n) + ".PNG";
        EXPECT_TRUE(SameBytes(Saved(name), Expected(start, 1000).substr(0, bytes))) << name;
    }
    // Nothing past a file's last sector is read.
    for (const testing::FakeRawIo::Request& r : io.Requests()) {
        const std::uint64_t first = r.offset / kSectorSize;
        EXPECT_FALSE(first >= 31 && first < 40) << r.offset;
    }
}

TEST_F(SavingRunTest, OnlySelectedRecordsAreSavedEachUnderItsType) {
    list.Append(Selected("JPEG", 1, 10, 2));
    list.Append(MakeFileInfo("JPEG", 2, 20, 2));  // not ticked
    list.Append(Selected("CR2", 1, 30, 3));
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().total, 2);
    EXPECT_EQ(run->State().saved, 2);
    EXPECT_EQ(Saved("CR2/File1.CR2"), Expected(30, 3));
    EXPECT_FALSE(Exists("JPEG/File2.JPEG"));
    EXPECT_EQ(run->State().CurrentNames().file, "File1.CR2");
    EXPECT_EQ(run->State().CurrentNames().folder, "CR2");
}

TEST_F(SavingRunTest, PathsNeverDoubleTheSeparatorNorLeaveTheDestination) {
    EXPECT_EQ(SavedFilePath("/", "JPEG", "File1.JPEG"), "/JPEG/File1.JPEG");
    EXPECT_EQ(SavedFilePath("/media/out/", "JPEG", "File1.JPEG"), "/media/out/JPEG/File1.JPEG");
    EXPECT_EQ(SavedFilePath("/media/out", "JPEG", "File1.JPEG"), "/media/out/JPEG/File1.JPEG");
    EXPECT_EQ(SavedFilePath("/out", "..", "File1.JPEG"), "");
    EXPECT_EQ(SavedFilePath("/out", "JPEG", "../x"), "");
    EXPECT_EQ(SavedFilePath("/out", "", "File1.JPEG"), "");
    EXPECT_EQ(SavedFilePath("/out", "JPEG", "."), "");
    EXPECT_EQ(SavedFilePath("/" + std::string(5000, 'a'), "JPEG", "File1.JPEG"), "");

    // A destination given with its trailing separator saves to the same place.
    destination = std::string(kOut) + "/";
    list.Append(Selected("JPEG", 1, 10, 2));
    list.Append(Selected("..", 1, 10, 2));
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(Saved("JPEG/File1.JPEG"), Expected(10, 2));
    EXPECT_EQ(run->State().saved, 1);
    EXPECT_EQ(run->State().failed, 1);
    EXPECT_FALSE(dest.Has("/File1.."));
    EXPECT_FALSE(dest.Has("/out/../File1.."));
}

// Files a card's file system names, in one run beside a carved file: each
// is put together from its pieces under its folders and cleaned name, with
// its time; one that cannot be placed safely is a failure, never a file
// somewhere else.
TEST_F(SavingRunTest, NamedFilesGoUnderTheirFoldersAndNamesWhole) {
    const std::string fat = "FAT32 at sector 0";
    dest.folders.insert("/out/" + fat);
    dest.folders.insert("/elsewhere");
    dest.symlinks["/out/" + fat + "/Linked"] = "/elsewhere";
    dest.Put("/out/" + fat + "/Blocked", "a file where a folder goes");
    dest.folders.insert("/out/" + fat + "/Kept");
    dest.Put("/out/" + fat + "/Kept/Old.jpg", "saved before");
    struct Row {
        std::string path;
        std::vector<SectorRun> runs;
        std::uint64_t bytes;
        std::int64_t modified;
        std::string savedAs;  // below /out; empty: not saved
    };
    const std::vector<Row> rows = {
        // In three pieces, out of order on the card, the last one cut.
        {"DCIM/100PHONE/D fragmented.jpg", {{300, 9}, {100, 2}, {500, 4}}, 11 * 512 + 700, 1784271600,
         fat + "/DCIM/100PHONE/D fragmented.jpg"},
        {"DCIM/100PHONE/A.jpg", {{40, 3}}, 1500, 1784192400, fat + "/DCIM/100PHONE/A.jpg"},
        // A deleted file of the same name, and one of another letter case
        // (whose "a (2)" is taken by then, in any case).
        {"DCIM/100PHONE/A.jpg", {{60, 1}}, 512, 0, fat + "/DCIM/100PHONE/A (2).jpg"},
        {"DCIM/100PHONE/a.JPG", {{70, 1}}, 100, 0, fat + "/DCIM/100PHONE/a (3).JPG"},
        {"../x\x01.jpg", {{80, 1}}, 10, 0, fat + "/_/x_.jpg"},
        {"Orphan folders/Folder6/Trip/Beach day.jpg", {{90, 2}}, 1024, 1780315200,
         fat + "/Orphan folders/Folder6/Trip/Beach day.jpg"},
        // Pieces that hold less than the length: not a whole file.
        {"Short.jpg", {{120, 1}}, 513, 0, ""},
        // A link, or a file, where a folder must be.
        {"Linked/inside.jpg", {{130, 1}}, 512, 0, ""},
        {"Blocked/inside.jpg", {{140, 1}}, 512, 0, ""},
        // There before the run: asked about (and kept) under its own name.
        {"Kept/Old.jpg", {{150, 1}}, 512, 0, fat + "/Kept/Old.jpg"},
    };
    std::int32_t n = 0;
    for (const Row& row : rows) {
        FileInfo info = Selected("JPEG", ++n, row.runs.front().first, 1);
        info.byteLength = row.bytes;
        list.AppendNamed(info, NamedFile{row.path, row.modified, NamedFileState::Live, false, row.runs, 0, fat});
    }
    list.Append(Selected("PNG", 1, 200, 2));

    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().saved, 8);
    EXPECT_EQ(run->State().kept, 1);
    EXPECT_EQ(run->State().failed, 3);
    EXPECT_EQ(prompt.asked, std::vector<std::string>{"Old.jpg"});
    EXPECT_EQ(Saved(fat + "/Kept/Old.jpg"), "saved before");
    EXPECT_EQ(Saved("PNG/File1.PNG"), Expected(200, 2));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        if (row.savedAs.empty() || row.path == "Kept/Old.jpg") continue;
        std::string expected;
        for (const SectorRun& r : row.runs) expected += Expected(r.first, static_cast<std::int32_t>(r.count) - 1);
        EXPECT_TRUE(SameBytes(Saved(row.savedAs), expected.substr(0, row.bytes)));
        const auto file = dest.files.find("/out/" + row.savedAs);
        ASSERT_NE(file, dest.files.end());
        EXPECT_EQ(file->second.modified, row.modified != 0 ? std::optional<std::int64_t>(row.modified) : std::nullopt);
    }
    EXPECT_TRUE(dest.symlinks.contains("/out/" + fat + "/Linked"));
    for (const auto& [path, file] : dest.files) {
        EXPECT_TRUE(path.starts_with("/out/")) << path;
        EXPECT_EQ(path.find(".partial"), std::string::npos) << path;
        EXPECT_EQ(path.find("Short"), std::string::npos) << path;
    }
    // Every folder the run opened is closed again.
    EXPECT_EQ(dest.OpenFolders(), 0u);
}

// Four files of which the first two already exist with old content.
class OverwriteTest : public SavingRunTest {
protected:
    OverwriteTest() {
        for (std::int32_t i = 1; i <= 3; ++i) list.Append(Selected("PNG", i, std::uint64_t(i) * 100, 3));
        dest.folders.insert("/out/PNG");
        dest.Put("/out/PNG/File1.PNG", "old one");
        dest.Put("/out/PNG/File2.PNG", "old two");
    }
    void RunWith(std::deque<OverwriteAnswer> answers) {
        prompt = ScriptedOverwritePrompt(std::move(answers));
        auto run = MakeRun();
        run->Run();
        saved = run->State().saved;
        replaceAll = run->State().replaceAll;
        keepAll = run->State().keepAll;
    }
    bool Replaced(int i) const { return Saved("PNG/File" + std::to_string(i) + ".PNG") == Expected(i * 100, 3); }

    std::int32_t saved = 0;
    bool replaceAll = false;
    bool keepAll = false;
};

TEST_F(OverwriteTest, YesToAllReplacesTheRestWithoutAsking) {
    RunWith({OverwriteAnswer::YesToAll});
    EXPECT_EQ(prompt.asked, std::vector<std::string>{"File1.PNG"});
    EXPECT_TRUE(Replaced(1));
    EXPECT_TRUE(Replaced(2));
    EXPECT_TRUE(Replaced(3));
    EXPECT_EQ(saved, 3);
    EXPECT_TRUE(replaceAll);
    EXPECT_FALSE(keepAll);
}

TEST_F(OverwriteTest, NoToAllKeepsTheRestWithoutAskingAndCountsThemSaved) {
    RunWith({OverwriteAnswer::NoToAll});
    EXPECT_EQ(prompt.asked, std::vector<std::string>{"File1.PNG"});
    EXPECT_EQ(Saved("PNG/File1.PNG"), "old one");
    EXPECT_EQ(Saved("PNG/File2.PNG"), "old two");
    EXPECT_TRUE(Replaced(3));
    EXPECT_EQ(saved, 3);
    EXPECT_TRUE(keepAll);
}

TEST_F(OverwriteTest, NoAndACloseKeepOneFileAndAskAgain) {
    RunWith({OverwriteAnswer::No, OverwriteAnswer::Yes});
    EXPECT_EQ(prompt.asked, (std::vector<std::string>{"File1.PNG", "File2.PNG"}));
    EXPECT_EQ(Saved("PNG/File1.PNG"), "old one");
    EXPECT_TRUE(Replaced(2));

    dest.Put("/out/PNG/File1.PNG", "old one");
    RunWith({OverwriteAnswer::Closed, OverwriteAnswer::Closed});
    EXPECT_EQ(prompt.asked.size(), 3u);  // every existing file, the third included
    EXPECT_EQ(Saved("PNG/File1.PNG"), "old one");
    EXPECT_EQ(saved, 3);
    EXPECT_FALSE(replaceAll);
    EXPECT_FALSE(keepAll);
}

TEST_F(OverwriteTest, ANewRunAsksAgainAndFindsTheFilesOfTheLast) {
    RunWith({OverwriteAnswer::YesToAll});
    RunWith({OverwriteAnswer::NoToAll});
    EXPECT_EQ(prompt.asked, std::vector<std::string>{"File1.PNG"});
    RunWith({OverwriteAnswer::No, OverwriteAnswer::No, OverwriteAnswer::No});
    EXPECT_EQ(prompt.asked.size(), 3u);
}

TEST_F(OverwriteTest, AReplacedFileStaysUntilItsReplacementIsComplete) {
    dest.writeLimit = 512;  // File1's replacement fails half way
    RunWith({OverwriteAnswer::YesToAll});
    EXPECT_EQ(Saved("PNG/File1.PNG"), "old one");
    EXPECT_EQ(Saved("PNG/File2.PNG"), "old two");
    EXPECT_FALSE(Exists("PNG/File3.PNG"));
    EXPECT_EQ(saved, 0);
    for (const auto& [path, file] : dest.files) EXPECT_EQ(path.find(".partial"), std::string::npos) << path;
}

TEST_F(SavingRunTest, FilesThatCannotBeWrittenAreLeftOutAndTheRunGoesOn) {
    // The type folder is a file, a creation fails, the disk fills up in the
    // middle of a file (nothing of it keeps its name), and later files find no room.
    dest.Put("/out/GIF", "a file where the folder should be");
    list.Append(Selected("GIF", 1, 10, 2));
    list.Append(Selected("JPEG", 1, 20, 2));
    list.Append(Selected("JPEG", 2, 30, 8));   // 4608 bytes: 4096 fit, then the disk is full
    list.Append(Selected("JPEG", 3, 40, 2));
    list.Append(Selected("JPEG", 4, 50, 0));
    dest.FailCreate("File1.JPEG", EIO);
    dest.writeLimit = 4096;
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().total, 5);
    EXPECT_EQ(run->State().saved, 0);
    EXPECT_EQ(run->State().failed, 5);
    EXPECT_EQ(run->State().lastError, ENOSPC);
    EXPECT_EQ(dest.files.size(), 1u);  // only the file in the folder's place
    EXPECT_EQ(dest.removed, (std::vector<std::string>{"/out/JPEG/.File2.JPEG.partial", "/out/JPEG/.File3.JPEG.partial",
                                                      "/out/JPEG/.File4.JPEG.partial"}));
    EXPECT_FALSE(run->State().aborted);
    // The report says how many were lost and why, and never that saving succeeded.
    EXPECT_TRUE(RecoveryLog().ends_with("Files Recover :0 / 5\r\n"
                                        "Starting Time : 10:13 PM\r\nElapsed Time : 0 Mins 0 Secs\r\n"
                                        "Files Not Saved : 5 / 5 (No space left on device)\r\n"
                                        "File Saving Failed\r\n"))
        << RecoveryLog();
    EXPECT_EQ(RecoveryLog().find("File Saved Successfully"), std::string::npos);
}

TEST_F(SavingRunTest, ASourceThatEndsEarlyEndsTheRunAndNoFileKeepsItsZeros) {
    list.Append(Selected("JPEG", 1, 10, 2));
    list.Append(Selected("JPEG", 2, 100, 20));  // its sectors from 110 on are gone
    list.Append(Selected("JPEG", 3, 200, 2));
    io.EndDataAt(kCard, 110 * 512);
    auto run = MakeRun();
    run->Run();
    const SavingRunState& state = run->State();
    EXPECT_EQ(state.saved, 1);
    EXPECT_EQ(state.failed, 2) << "the file in hand and the one never reached";
    EXPECT_TRUE(state.sourceEnded);
    EXPECT_EQ(state.sourceEndedAt, 110u);
    EXPECT_EQ(SavingFailureReason(state), "the source became shorter or went away at sector 110");
    EXPECT_TRUE(SameBytes(Saved("JPEG/File1.JPEG"), Expected(10, 2)));
    EXPECT_FALSE(Exists("JPEG/File2.JPEG"));
    EXPECT_FALSE(Exists("JPEG/.File2.JPEG.partial"));
    EXPECT_FALSE(Exists("JPEG/File3.JPEG"));
    EXPECT_TRUE(RecoveryLog().ends_with(
        "Files Recover :1 / 3\r\nStarting Time : 10:13 PM\r\nElapsed Time : 0 Mins 0 Secs\r\n"
        "Files Not Saved : 2 / 3 (the source became shorter or went away at sector 110)\r\n"
        "File Saving Failed\r\n"))
        << RecoveryLog();
}

TEST(SavingReportTest, OnlyARunThatLostNothingEndsWithSuccess) {
    struct Case {
        const char* what;
        bool aborted;
        SavingLosses losses;
        std::vector<std::string> tail;  // the entries after the time lines
    };
    const Case cases[] = {
        {"every file saved", false, {}, {"File Saved Successfully\r\n"}},
        {"stopped, nothing lost", true, {}, {"File Saving Aborted\r\n"}},
        {"files lost", false, {125, "No space left on device", 0},
         {"Files Not Saved : 125 / 200 (No space left on device)", "File Saving Failed\r\n"}},
        {"files lost without a known reason", false, {3, "", 0},
         {"Files Not Saved : 3 / 200", "File Saving Failed\r\n"}},
        {"the flush failed", false, {0, "", EIO},
         {"Files Not Flushed : Input/output error; they may not all be on the medium", "File Saving Failed\r\n"}},
        {"stopped after losing files", true, {2, "Permission denied", 0},
         {"Files Not Saved : 2 / 200 (Permission denied)", "File Saving Aborted\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> entries = SavingReportEntries("/out", 75, 200, 0, 61, c.aborted, c.losses);
        ASSERT_EQ(entries.size(), 5 + c.tail.size());
        EXPECT_EQ(entries[2], "Files Recover :75 / 200");
        EXPECT_EQ(std::vector<std::string>(entries.begin() + 5, entries.end()), c.tail);
    }
}

TEST_F(SavingRunTest, ADestinationThatVanishesIsNotMadeAgain) {
    for (std::int32_t i = 1; i <= 3; ++i) list.Append(Selected("JPEG", i, std::uint64_t(i) * 10, 1));
    dest.BeforeWrite([&](int writes) {
        if (writes == 0) {  // pulled out while the first file is written
            dest.folders.clear();
            dest.files.clear();
        }
    });
    auto run = MakeRun();
    run->Run();
    // The first file went with the folder: it is not counted as saved.
    EXPECT_EQ(run->State().saved, 0);
    EXPECT_EQ(run->State().failed, 3);
    EXPECT_TRUE(dest.folders.empty());
}

TEST_F(SavingRunTest, AFolderThatCannotBeMadeIsReportedAsSuch) {
    // A read-only destination: the reason is the failed folder, not a missing one.
    list.Append(Selected("JPEG", 1, 10, 1));
    dest.folderError = EROFS;
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().failed, 1);
    EXPECT_EQ(run->State().lastError, EROFS);
    EXPECT_TRUE(dest.created.empty());
}

TEST_F(SavingRunTest, TheRunEndsWithOneFlushAndAFailedFlushIsAFailure) {
    for (std::int32_t i = 1; i <= 3; ++i) list.Append(Selected("JPEG", i, std::uint64_t(i) * 10, 1));
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(dest.synced, std::vector<std::string>{kOut});
    EXPECT_EQ(run->State().syncError, 0);

    dest.syncError = EIO;
    run = MakeRun();
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::YesToAll});
    run->Run();
    EXPECT_EQ(run->State().syncError, EIO);
    EXPECT_EQ(dest.synced.size(), 2u);

    // A run that wrote nothing has nothing to flush.
    dest.syncError = 0;
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::NoToAll});
    MakeRun()->Run();
    EXPECT_EQ(dest.synced.size(), 2u);
}

TEST_F(SavingRunTest, UnreadableSectorsOfTheSavedFilesAreCounted) {
    list.Append(Selected("JPEG", 1, 10, 20));
    io.AddBadSector(kCard, 12);
    io.AddBadSector(kCard, 25);
    policy.Set(RetryAll);
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().saved, 1);
    EXPECT_EQ(run->State().unreadableSectors, 2u);
    EXPECT_TRUE(SameBytes(Saved("JPEG/File1.JPEG"), Expected(10, 20, {12, 25})));
}

TEST_F(SavingRunTest, AStopLetsTheFileInHandFinish) {
    for (std::int32_t i = 1; i <= 3; ++i) list.Append(Selected("JPEG", i, std::uint64_t(i) * 100, 20));
    auto run = MakeRun();
    dest.BeforeWrite([&](int writes) {
        if (writes == 1) run->RequestStop();  // in the middle of the first file
    });
    run->Start();
    run->Join();
    EXPECT_TRUE(run->State().aborted);
    EXPECT_EQ(run->State().saved, 1);
    EXPECT_EQ(Saved("JPEG/File1.JPEG"), Expected(100, 20));
    EXPECT_FALSE(Exists("JPEG/File2.JPEG"));
    EXPECT_TRUE(RecoveryLog().ends_with("\r\nFile Saving Aborted\r\n"));
    EXPECT_EQ(SavingEndMessage(run->State().total, run->State().aborted), "File Saving Aborted.");
}

TEST_F(SavingRunTest, APauseHoldsTheThreadAtTheNextChunkUntilResumed) {
    list.Append(Selected("JPEG", 1, 100, 40));
    auto run = MakeRun();
    dest.BeforeWrite([&](int writes) {
        if (writes == 1) run->Gate().Pause();  // the stop question opens
    });
    run->Start();
    while (!run->Gate().Holding()) std::this_thread::yield();
    EXPECT_EQ(dest.Writes(), 2);  // the chunk in hand was written, no more
    EXPECT_TRUE(run->Running());
    run->Gate().Resume();  // answered No: the run goes on as before
    run->Join();
    EXPECT_FALSE(run->State().aborted);
    EXPECT_EQ(Saved("JPEG/File1.JPEG"), Expected(100, 40));
}

TEST_F(SavingRunTest, NothingSelectedStillReports) {
    list.Append(MakeFileInfo("JPEG", 1, 10, 2));
    auto run = MakeRun();
    run->Run();
    EXPECT_EQ(run->State().total, 0);
    EXPECT_TRUE(RecoveryLog().ends_with("\r\nFiles Recover :0 / 0\r\n"
                                        "Starting Time : 10:13 PM\r\nElapsed Time : 0 Mins 0 Secs\r\n"
                                        "File Saved Successfully\r\n"));
    EXPECT_EQ(SavingEndMessage(0, false), "Please select the file for saving.");
    EXPECT_EQ(SavingEndMessage(2, false), "File Saved Successfully.");
}

TEST_F(SavingRunTest, TheLogGetsItsStartBlockOnceAndEveryRunsReport) {
    clock = 1'733'664'300;  // Sunday, December 08, 2024, 13:25 UTC
    list.Append(Selected("JPEG", 1, 10, 2));
    list.Append(Selected("JPEG", 2, 20, 10));  // two chunks
    dest.folders.insert("/out/JPEG");
    dest.Put("/out/JPEG/File2.JPEG", "old");
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::Yes});
    dest.BeforeWrite([&](int) { clock += 40; });  // 80 s in all
    dest.FailCreate("File1.JPEG", ENOSPC);
    auto run = MakeRun();
    run->Run();
    clock = 1'733'667'900 + 2 * 3600 + 120;  // a later run of the same process
    dest.BeforeWrite({});
    MakeRun()->Run();

    const std::string report1 =
        "\r\n\r\nSaving Report :\r\n --------------\r\nSaving Path : " + destination +
        "\r\nFiles Recover :1 / 2\r\nStarting Time : 01:25 PM\r\nElapsed Time : 1 Mins 20 Secs\r\n"
        "Files Not Saved : 1 / 2 (No space left on device)\r\nFile Saving Failed\r\n";
    const std::string report2 =
        "\r\n\r\nSaving Report :\r\n --------------\r\nSaving Path : " + destination +
        "\r\nFiles Recover :1 / 2\r\nStarting Time : 04:27 PM\r\nElapsed Time : 0 Mins 0 Secs\r\n"
        "Files Not Saved : 1 / 2 (No space left on device)\r\nFile Saving Failed\r\n";
    EXPECT_EQ(RecoveryLog(), "\r\n-----------------------Start--------------------------\r\nZentrix for Pictora"
                             "\r\nVersion 1.0\r\n13:25 - Sunday, December 08, 2024" +
                                 report1 + report2);
}

// Saving into a real folder: links, permissions and file-size limits are the
// system's own.
class SavingOnDisk : public SavingRunTest {
protected:
    SavingOnDisk() {
        destination = out.Path();
        fs::create_directories(out / "PNG");
        testing::WriteBytes(out / "PNG/File1.PNG", "old one");
        list.Append(Selected("PNG", 1, 100, 3));
    }
    int RunOnDisk() {
        auto run = MakeRun(platform::SystemDestination());
        run->Run();
        return run->State().saved;
    }
    bool Replaced() const { return ReadBytes(out / "PNG/File1.PNG") == Expected(100, 3); }
    TempFolder out;
};

TEST_F(SavingOnDisk, AReadOnlyFileIsReplaced) {
    const std::string file = out / "PNG/File1.PNG";
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::Yes});
    EXPECT_EQ(RunOnDisk(), 1);
    EXPECT_TRUE(Replaced());
    // Root may write into a read-only file, so the content alone would pass
    // even if the old file were written in place: the saved file is a new one,
    // which its owner may write again.
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_NE(after.st_mode & S_IWUSR, 0u);
}

TEST_F(SavingOnDisk, LinksAreReplacedThemselvesAndNeverFollowed) {
    // A link in place of a file is replaced, not written through; a link in
    // place of the type folder is not entered at all.
    TempFolder elsewhere;
    testing::WriteBytes(elsewhere / "precious", "keep me");
    fs::remove(out / "PNG/File1.PNG");
    fs::create_symlink(elsewhere / "precious", out / "PNG/File1.PNG");
    list.Append(Selected("GIF", 1, 50, 1));
    fs::create_directory_symlink(elsewhere.Path(), out / "GIF");
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::Yes});
    EXPECT_EQ(RunOnDisk(), 1);
    EXPECT_TRUE(Replaced());
    EXPECT_FALSE(fs::is_symlink(out / "PNG/File1.PNG"));
    EXPECT_EQ(ReadBytes(elsewhere / "precious"), "keep me");
    EXPECT_FALSE(fs::exists(elsewhere / "File1.GIF"));
}

TEST_F(SavingOnDisk, AFileCutShortByAFileSizeLimitNeverGetsItsName) {
    // The first run fails half way; the second, keeping existing files, must
    // not find a cut-short file to keep and count.
    list.Clear();
    list.Append(Selected("JPEG", 1, 100, 40));
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 8192;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int first = RunOnDisk();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(first, 0);
    EXPECT_FALSE(fs::exists(out / "JPEG/File1.JPEG"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out / "JPEG"), fs::directory_iterator()), 0);
    prompt = ScriptedOverwritePrompt({OverwriteAnswer::NoToAll});
    EXPECT_EQ(RunOnDisk(), 1);
    EXPECT_EQ(ReadBytes(out / "JPEG/File1.JPEG"), Expected(100, 40));
}

TEST_F(SavingOnDisk, ATypeFolderSwappedForALinkWhileSavingNeverLeadsOutOfTheDestination) {
    // Once the first file is saved, another user of the destination swaps the
    // type folder for a link to a folder of their choosing, and back, again
    // and again until the run ends.
    TempFolder elsewhere;
    list.Clear();
    constexpr std::int32_t kFiles = 500;
    for (std::int32_t i = 1; i <= kFiles; ++i) list.Append(Selected("JPEG", i, std::uint64_t(i) * 5, 1));
    std::atomic<bool> done{false};
    std::atomic<int> swaps{0};
    std::thread swapper([&] {
        const std::string folder = out / "JPEG";
        const std::string aside = out / "JPEG.aside";
        while (!done.load() && !fs::exists(out / "JPEG/File1.JPEG")) std::this_thread::yield();
        while (!done.load()) {
            if (::rename(folder.c_str(), aside.c_str()) != 0) continue;
            if (::symlink(elsewhere.Path().c_str(), folder.c_str()) == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                ::unlink(folder.c_str());
            }
            ::rename(aside.c_str(), folder.c_str());
            ++swaps;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    auto run = MakeRun(platform::SystemDestination());
    run->Run();
    done = true;
    swapper.join();
    EXPECT_GT(swaps.load(), 0);
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    // The type folder was held open: every file went into it, wherever its
    // name was at the moment.
    EXPECT_EQ(run->State().saved, kFiles);
    const auto inFolder = std::distance(fs::directory_iterator(out / "JPEG"), fs::directory_iterator());
    EXPECT_EQ(inFolder, kFiles);
}

TEST(OverwriteQuestionTest, NamesTheFile) {
    EXPECT_EQ(OverwriteQuestionText("File3.JPEG"), "\"File3.JPEG\" this file is already exist.");
}

}  // namespace
}  // namespace zt
