#include "logs/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(logFolder);
        std::filesystem::create_directories(installFolder);
        ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", installFolder));
        ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", logFolder));
        ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Recovery Log", logFolder + "/"));
    }

    TempFolder folder;
    std::string logFolder = folder / "logs";
    std::string installFolder = folder / "install";
    std::string activityPath = logFolder + "/Activity Log.txt";
    std::string recoveryPath = logFolder + "/Recovery Log.txt";
    platform::MemorySettingsStore store;
    LogContext context{store};
};

TEST_F(LogTest, EveryEntryIsPrecededByCrLfAndTheLastHasNoLineEnd) {
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, "A"));
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, "B"));
    EXPECT_EQ(ReadBytes(activityPath), "\r\nA\r\nB");

    // Entries may bring their own line ends; an empty entry is a bare CR LF.
    EXPECT_TRUE(WriteLog(context, LogKind::Recovery, "\r\nSaving Report :\r\n --------------"));
    EXPECT_TRUE(WriteLog(context, LogKind::Recovery, ""));
    EXPECT_EQ(ReadBytes(recoveryPath), "\r\n\r\nSaving Report :\r\n --------------\r\n");
    EXPECT_EQ(ReadBytes(activityPath), "\r\nA\r\nB");
}

TEST_F(LogTest, EntriesAreCutTo200BytesAfterConversion) {
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, std::string(250, 'x')));
    EXPECT_EQ(ReadBytes(activityPath), "\r\n" + std::string(200, 'x'));

    // 150 euro signs are 450 bytes of UTF-8 but 150 bytes in the file: none is cut.
    std::string euros;
    for (int i = 0; i < 150; ++i) euros += "\u20ac";
    EXPECT_EQ(LogEntryBytes(euros), "\r\n" + std::string(150, '\x80'));
    // 199 letters and an e acute: the accent is the 200th byte and is kept whole.
    EXPECT_EQ(LogEntryBytes(std::string(199, 'a') + "\u00e9zzz"), "\r\n" + std::string(199, 'a') + "\xe9");
    // A character outside the code page is one replacement byte; the rest stays.
    EXPECT_EQ(LogEntryBytes("Saving Path : /media/\u6771\u4eac/out"), "\r\nSaving Path : /media/?" "?/out");
    // A NUL ends the entry, as the text of a C string would.
    EXPECT_EQ(LogEntryBytes(std::string("ab\0cd", 5)), "\r\nab");
}

TEST_F(LogTest, AFileAbove5MiBIsStartedAnewAndOneOfExactly5MiBIsKept) {
    WriteBytes(activityPath, std::string(kLogSizeLimit, 'o'));
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, "kept"));
    EXPECT_EQ(std::filesystem::file_size(activityPath), kLogSizeLimit + 6);

    WriteBytes(activityPath, std::string(kLogSizeLimit + 1, 'o'));
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, "fresh"));
    EXPECT_EQ(ReadBytes(activityPath), "\r\nfresh");

    // Entries written together under one lock: the file is emptied before
    // the entry that finds it too large, as if each were written alone.
    WriteBytes(activityPath, std::string(kLogSizeLimit - 4, 'o'));
    const std::vector<std::string> entries{"first", "second", "third"};
    EXPECT_TRUE(WriteLogEntries(context, LogKind::Activity, entries));
    EXPECT_EQ(ReadBytes(activityPath), "\r\nsecond\r\nthird");
    EXPECT_TRUE(WriteLogEntries(context, LogKind::Activity, {}));
    EXPECT_EQ(ReadBytes(activityPath), "\r\nsecond\r\nthird");
}

TEST_F(LogTest, AReadOnlyLogIsMadeWritableAndAppendedTo) {
    WriteBytes(recoveryPath, "\r\nold");
    ASSERT_EQ(::chmod(recoveryPath.c_str(), 0444), 0);
    EXPECT_TRUE(WriteLog(context, LogKind::Recovery, "new"));
    EXPECT_EQ(ReadBytes(recoveryPath), "\r\nold\r\nnew");
    struct stat st {};
    ASSERT_EQ(::stat(recoveryPath.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST_F(LogTest, ALogThatIsNoRegularFileIsNotWrittenAndDoesNotHang) {
    ASSERT_EQ(::mkfifo(activityPath.c_str(), 0644), 0);
    EXPECT_FALSE(WriteLog(context, LogKind::Activity, "entry"));
    struct stat st {};
    ASSERT_EQ(::lstat(activityPath.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(LogTest, ALinkInTheLogsPlaceIsNeverFollowed) {
    // A big file would be emptied as a log above the size limit, a read-only
    // one made writable, and a missing one created.
    struct Case {
        LogKind kind;
        std::string content;  // empty: the link names nothing
        mode_t mode;
    };
    const Case cases[] = {
        {LogKind::Activity, std::string(6 * 1024 * 1024, 'v'), 0644},
        {LogKind::Recovery, "read-only", 0444},
        {LogKind::Activity, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.size());
        TempFolder elsewhere;
        const std::string victim = elsewhere / "victim";
        if (!c.content.empty()) {
            WriteBytes(victim, c.content);
            ASSERT_EQ(::chmod(victim.c_str(), c.mode), 0);
        }
        const std::string& log = c.kind == LogKind::Activity ? activityPath : recoveryPath;
        std::filesystem::create_symlink(victim, log);
        EXPECT_FALSE(WriteLog(context, c.kind, "entry"));
        EXPECT_TRUE(std::filesystem::is_symlink(log));
        if (c.content.empty()) {
            EXPECT_FALSE(std::filesystem::exists(victim));
        } else {
            EXPECT_EQ(ReadBytes(victim), c.content);
            struct stat st {};
            ASSERT_EQ(::stat(victim.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.mode);
        }
        std::filesystem::remove(log);
    }
}

TEST_F(LogTest, FolderValueFallsBackToFilePathWhenAbsentOrVanished) {
    // The trailing separator of the recovery folder is not doubled.
    EXPECT_EQ(ResolveLogPath(context, LogKind::Recovery), recoveryPath);
    EXPECT_EQ(ResolveLogPath(context, LogKind::Activity), activityPath);

    ASSERT_TRUE(store.DeleteValue("ZT_PictoraNTFS", "Activity Log"));
    EXPECT_EQ(ResolveLogPath(context, LogKind::Activity), installFolder + "/Activity Log.txt");

    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", folder / "gone"));
    EXPECT_TRUE(WriteLog(context, LogKind::Activity, "here"));
    EXPECT_EQ(ReadBytes(installFolder + "/Activity Log.txt"), "\r\nhere");
    EXPECT_FALSE(std::filesystem::exists(folder / "gone"));
}

TEST_F(LogTest, FilePathIsUsedUncheckedAndNoFolderAtAllWritesNothing) {
    ASSERT_TRUE(store.DeleteValue("ZT_PictoraNTFS", "Activity Log"));
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", folder / "missing/"));
    EXPECT_EQ(ResolveLogPath(context, LogKind::Activity), folder / "missing/Activity Log.txt");
    EXPECT_FALSE(WriteLog(context, LogKind::Activity, "lost"));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

    ASSERT_TRUE(store.DeleteValue("ZT_PictoraNTFS", "FilePath"));
    EXPECT_EQ(ResolveLogPath(context, LogKind::Activity), "");
    EXPECT_FALSE(WriteLog(context, LogKind::Activity, "lost"));
}

// Many writers append at once; every entry must arrive whole and alone.
void ExpectWholeEntries(const std::string& bytes, const std::set<std::string>& expected) {
    ASSERT_EQ(bytes.substr(0, 2), "\r\n");
    std::set<std::string> seen;
    std::size_t pos = 2;
    while (pos <= bytes.size()) {
        std::size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) end = bytes.size();
        std::string entry = bytes.substr(pos, end - pos);
        EXPECT_TRUE(expected.count(entry)) << "torn entry: " << entry;
        EXPECT_TRUE(seen.insert(entry).second) << "entry twice: " << entry;
        pos = end + 2;
    }
    EXPECT_EQ(seen.size(), expected.size());
}

std::string EntryText(int writer, int n) {
    return "writer " + std::to_string(writer) + " entry " + std::to_string(n) + " " + std::string(150, static_cast<char>('a' + writer));
}

constexpr int kWriters = 4;
constexpr int kEntriesEach = 200;

std::set<std::string> AllEntries() {
    std::set<std::string> all;
    for (int w = 0; w < kWriters; ++w) {
        for (int n = 0; n < kEntriesEach; ++n) all.insert(EntryText(w, n));
    }
    return all;
}

TEST_F(LogTest, ConcurrentThreadsNeverInterleaveEntries) {
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            for (int n = 0; n < kEntriesEach; ++n) WriteLog(context, LogKind::Activity, EntryText(w, n));
        });
    }
    for (auto& t : writers) t.join();
    ExpectWholeEntries(ReadBytes(activityPath), AllEntries());
}

TEST_F(LogTest, ConcurrentProcessesNeverInterleaveEntries) {
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int n = 0; n < kEntriesEach; ++n) ok = WriteLog(context, LogKind::Activity, EntryText(w, n)) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectWholeEntries(ReadBytes(activityPath), AllEntries());
}

class ScriptedUi : public LogUserInterface {
public:
    void ShowInformation(const std::string& text) override { shown.push_back("info: " + text); }
    bool AskOkCancel(const std::string& text) override {
        shown.push_back("ask: " + text);
        return answerOk;
    }
    void OpenInViewer(const std::string& path) override { shown.push_back("view: " + path); }

    bool answerOk = true;
    std::vector<std::string> shown;
};

TEST_F(LogTest, ViewAndClearOfMissingFilesSayNotFoundAndDeleteNothing) {
    ScriptedUi ui;
    ViewLog(context, ui, LogKind::Activity);
    ViewLog(context, ui, LogKind::Recovery);
    ClearLog(context, ui, LogKind::Activity);
    ClearLog(context, ui, LogKind::Recovery);
    EXPECT_EQ(ui.shown, (std::vector<std::string>{"info: Activity Report file not found",
                                                  "info: Recovery Log file not found",
                                                  "info: Activity Log.txt file not found",
                                                  "info: Recovery Log.txt file not found"}));
}

TEST_F(LogTest, ViewOpensTheFileAndClearDeletesItOnlyOnOk) {
    ASSERT_TRUE(WriteLog(context, LogKind::Recovery, "entry"));
    ScriptedUi ui;
    ViewLog(context, ui, LogKind::Recovery);
    ui.answerOk = false;
    ClearLog(context, ui, LogKind::Recovery);
    EXPECT_EQ(ReadBytes(recoveryPath), "\r\nentry");

    ui.answerOk = true;
    ASSERT_EQ(::chmod(recoveryPath.c_str(), 0444), 0);
    ClearLog(context, ui, LogKind::Recovery);
    EXPECT_FALSE(std::filesystem::exists(recoveryPath));
    EXPECT_EQ(ui.shown, (std::vector<std::string>{"view: " + recoveryPath,
                                                  "ask: Are you sure you want to delete Recovery History",
                                                  "ask: Are you sure you want to delete Recovery History"}));

    // A cleared log starts again with CR LF.
    ASSERT_TRUE(WriteLog(context, LogKind::Recovery, "again"));
    EXPECT_EQ(ReadBytes(recoveryPath), "\r\nagain");
}

}  // namespace
}  // namespace zt
