#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/testing/temp_folder.h"

namespace zt::platform {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class FileSettingsStoreTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder / "sub/registry.ini";
    FileSettingsStore store{path};
};

TEST_F(FileSettingsStoreTest, MissingFileReadsEmptyEverywhere) {
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Missing);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "");
    EXPECT_FALSE(store.KeyExists("ZT_PictoraNTFS"));
    EXPECT_TRUE(store.ValueNames("ZT Windows").empty());
    EXPECT_TRUE(store.Subkeys("ZT Windows").empty());
    // Deleting what is not there succeeds without creating the file.
    EXPECT_TRUE(store.DeleteKey("ZT Windows"));
    EXPECT_TRUE(store.DeleteValue("ZT Windows", "Disk0"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FileSettingsStoreTest, ValuesSurviveInANewStoreExactlyAsWritten) {
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", "/opt/zt"));
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", "  /logs = here  "));
    ASSERT_TRUE(store.WriteValue("ZT Windows\\Model", "Disk0", "Card Reader  "));
    ASSERT_TRUE(store.WriteValue("ZT Windows", "Disk0", "/dev/sdb"));
    ASSERT_TRUE(store.WriteValue("ZT Windows", "", "default value"));

    FileSettingsStore again(path);
    EXPECT_EQ(again.State(), FileSettingsStore::FileState::Valid);
    EXPECT_EQ(again.ReadValue("ZT_PictoraNTFS", "FilePath"), "/opt/zt");
    EXPECT_EQ(again.ReadValue("ZT_PictoraNTFS", "Activity Log"), "  /logs = here  ");
    EXPECT_EQ(again.ReadValue("ZT Windows\\Model", "Disk0"), "Card Reader  ");
    EXPECT_EQ(again.ReadValue("zt windows", "DISK0"), "/dev/sdb");  // names ignore letter case
    EXPECT_EQ(again.ReadValue("ZT Windows", ""), "default value");
    EXPECT_EQ(again.ValueNames("ZT Windows"), (std::vector<std::string>{"", "Disk0"}));
    EXPECT_EQ(again.Subkeys("ZT Windows"), (std::vector<std::string>{"Model"}));
}

TEST_F(FileSettingsStoreTest, DeletingAKeyTakesItsSubkeysButNotItsNeighbours) {
    for (const char* key : {"ZT Windows\\Model", "ZT Windows\\Size", "ZT Windows\\Size\\Deeper", "ZT Windows2"}) {
        ASSERT_TRUE(store.WriteValue(key, "Disk0", "x"));
    }
    ASSERT_TRUE(store.CreateKey("ZT Windows\\DisplayDevice"));
    EXPECT_EQ(store.Subkeys("ZT Windows"), (std::vector<std::string>{"DisplayDevice", "Model", "Size"}));

    ASSERT_TRUE(store.DeleteKey("ZT Windows\\Size"));
    EXPECT_EQ(store.Subkeys("ZT Windows"), (std::vector<std::string>{"DisplayDevice", "Model"}));
    ASSERT_TRUE(store.DeleteKey("ZT Windows"));
    EXPECT_FALSE(store.KeyExists("ZT Windows"));
    EXPECT_FALSE(store.KeyExists("ZT Windows\\Model"));
    EXPECT_EQ(store.ReadValue("ZT Windows2", "Disk0"), "x");

    ASSERT_TRUE(store.WriteValue("ZT Windows", "Disk1", "/dev/sdc"));
    ASSERT_TRUE(store.DeleteValue("ZT Windows", "disk1"));
    EXPECT_TRUE(store.KeyExists("ZT Windows"));
    EXPECT_TRUE(store.ValueNames("ZT Windows").empty());
}

TEST_F(FileSettingsStoreTest, NamesAndValuesThatCannotBeStoredAreRefusedWithoutChange) {
    ASSERT_TRUE(store.WriteValue("Key", "Name", "kept"));
    const std::string before = ReadBytes(path);
    EXPECT_FALSE(store.WriteValue("Key", "Name", "two\nlines"));
    EXPECT_FALSE(store.WriteValue("Key", "a=b", "v"));
    EXPECT_FALSE(store.WriteValue("Key", " padded", "v"));
    EXPECT_FALSE(store.WriteValue("Key", "[section", "v"));
    EXPECT_FALSE(store.WriteValue("Key\\", "Name", "v"));
    EXPECT_FALSE(store.WriteValue("Key]", "Name", "v"));
    EXPECT_FALSE(store.WriteValue("", "Name", "v"));
    EXPECT_FALSE(store.WriteValue("Key", "Name", std::string("nul\0inside", 10)));
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(FileSettingsStoreTest, HandEditedFileWithCommentsBlanksAndWindowsLineEndsIsRead) {
    std::filesystem::create_directories(folder / "sub");
    WriteBytes(path, "; edited by hand\r\n\r\n[ZT_PictoraNTFS]\r\n  FilePath =/opt/zt\r\n# note\r\nRecovery Log=\r\n");
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Valid);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "/opt/zt");
    EXPECT_EQ(store.ValueNames("ZT_PictoraNTFS"), (std::vector<std::string>{"FilePath", "Recovery Log"}));
}

TEST_F(FileSettingsStoreTest, AFifoOrAnOversizedFileIsNeverReadWhole) {
    // A FIFO would hold the read forever; a huge file would be read at every lookup.
    std::filesystem::create_directories(folder / "sub");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Unreadable);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "");
    std::filesystem::remove(path);
    WriteBytes(path, "[ZT_PictoraNTFS]\nFilePath=" + std::string(3 << 20, 'x') + "\n");
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Corrupt);
}

TEST_F(FileSettingsStoreTest, CorruptFileReadsEmptyAndIsKeptAsideOnTheNextWrite) {
    std::filesystem::create_directories(folder / "sub");
    // Each damaged file keeps a copy of its own: a later one never replaces an earlier.
    std::string aside = path + ".corrupt";
    int copies = 0;
    for (const std::string& garbage : {std::string("[ZT_PictoraNTFS]\nFilePath=/x\n\0\0\0", 32),
                                       std::string("FilePath=/before/any/key\n"),
                                       std::string("[ZT_PictoraNTFS\nFilePath=/x\n"),
                                       std::string("[ZT_PictoraNTFS]\nno equals sign here\n")}) {
        WriteBytes(path, garbage);
        EXPECT_EQ(store.State(), FileSettingsStore::FileState::Corrupt);
        EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "");

        ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", "/logs"));
        EXPECT_EQ(ReadBytes(aside), garbage);
        aside = path + ".corrupt." + std::to_string(++copies);
        EXPECT_EQ(store.State(), FileSettingsStore::FileState::Valid);
        EXPECT_EQ(store.ValueNames("ZT_PictoraNTFS"), (std::vector<std::string>{"Activity Log"}));
    }
}

TEST_F(FileSettingsStoreTest, UnreadableFileReadsEmptyAndIsNeverReplaced) {
    // A folder where the file should be cannot be read as a file, even by root.
    std::filesystem::create_directories(path);
    WriteBytes(path + "/inside", "keep");
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Unreadable);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "");
    EXPECT_FALSE(store.WriteValue("ZT_PictoraNTFS", "FilePath", "/opt/zt"));
    EXPECT_EQ(ReadBytes(path + "/inside"), "keep");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(FileSettingsStoreTest, AFailedEditStoresNothing) {
    ASSERT_TRUE(store.WriteValue("Key", "A", "1"));
    EXPECT_FALSE(store.Update([](SettingsTree& tree) {
        tree.SetValue("Key", "B", "2");
        return false;
    }));
    EXPECT_EQ(store.ValueNames("Key"), (std::vector<std::string>{"A"}));
}

TEST_F(FileSettingsStoreTest, WritesKeepTheFileModeAndLeaveNoTemporaryFile) {
    ASSERT_TRUE(store.WriteValue("Key", "A", "1"));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(store.WriteValue("Key", "B", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(FileSettingsStoreTest, LinksAtTheStoresNamesAreNeverWrittenThrough) {
    // Someone who may write the settings folder plants links at the names
    // the store writes: the temporary file, the lock and the store itself.
    struct Case {
        const char* suffix;
        bool dangling;  // the link names a file that does not exist yet
        bool stored;    // the value is still stored
    };
    const Case cases[] = {
        {".tmp", false, true}, {".tmp", true, true},   {".lock", false, false},
        {".lock", true, false}, {"", false, true},
    };
    std::filesystem::create_directories(folder / "sub");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.suffix) + (c.dangling ? " dangling" : ""));
        TempFolder elsewhere;
        const std::string victim = elsewhere / "victim";
        if (!c.dangling) WriteBytes(victim, "precious");
        std::filesystem::remove(path + c.suffix);
        std::filesystem::create_symlink(victim, path + c.suffix);
        EXPECT_EQ(store.WriteValue("Key", "A", c.suffix), c.stored);
        if (c.dangling) {
            EXPECT_FALSE(std::filesystem::exists(victim));
        } else {
            EXPECT_EQ(ReadBytes(victim), "precious");
        }
        if (c.stored) {
            EXPECT_FALSE(std::filesystem::is_symlink(path));
            EXPECT_EQ(store.ReadValue("Key", "A"), c.suffix);
            EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
        }
        std::filesystem::remove(path + c.suffix);
    }
}

// Each writer adds its own values; none may be lost and no reader may ever
// see a half-written file.
constexpr int kWriters = 4;
constexpr int kValuesEach = 25;

void WriteOwnValues(const std::string& path, int writer) {
    FileSettingsStore own(path);
    for (int i = 0; i < kValuesEach; ++i) {
        std::string name = "W" + std::to_string(writer) + "V" + std::to_string(i);
        if (!own.WriteValue("ZT Windows\\W" + std::to_string(writer), name, name)) std::abort();
        if (!own.WriteValue("ZT Windows", name, std::to_string(i))) std::abort();
    }
}

void ExpectAllValues(const FileSettingsStore& store) {
    EXPECT_EQ(store.State(), FileSettingsStore::FileState::Valid);
    EXPECT_EQ(store.ValueNames("ZT Windows").size(), static_cast<std::size_t>(kWriters * kValuesEach));
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValuesEach; ++i) {
            std::string name = "W" + std::to_string(w) + "V" + std::to_string(i);
            EXPECT_EQ(store.ReadValue("ZT Windows\\W" + std::to_string(w), name), name);
        }
    }
}

TEST_F(FileSettingsStoreTest, ConcurrentWriterProcessesLoseNothing) {
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            WriteOwnValues(path, w);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    bool sawTornFile = false;
    for (int reads = 0; reads < 200; ++reads) {
        if (store.State() == FileSettingsStore::FileState::Corrupt) sawTornFile = true;
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_FALSE(sawTornFile);
    ExpectAllValues(store);
}

TEST_F(FileSettingsStoreTest, ConcurrentWriterThreadsLoseNothing) {
    std::atomic<bool> done{false};
    std::atomic<bool> sawTornFile{false};
    std::thread reader([&] {
        while (!done) {
            if (store.State() == FileSettingsStore::FileState::Corrupt) sawTornFile = true;
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) writers.emplace_back(WriteOwnValues, path, w);
    for (auto& t : writers) t.join();
    done = true;
    reader.join();
    EXPECT_FALSE(sawTornFile);
    ExpectAllValues(store);
}

TEST(MemorySettingsStoreTest, BehavesLikeTheFileForTheShorthands) {
    MemorySettingsStore store;
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), "");
    ASSERT_TRUE(store.WriteValue("ZT Windows\\Size", "Disk0", "1024"));
    EXPECT_TRUE(store.KeyExists("ZT Windows"));
    EXPECT_EQ(store.ReadValue("zt windows\\size", "disk0"), "1024");
    EXPECT_FALSE(store.WriteValue("ZT Windows", "bad=name", "x"));
    ASSERT_TRUE(store.DeleteKey("ZT Windows"));
    EXPECT_FALSE(store.KeyExists("ZT Windows\\Size"));
}

class DefaultSettingsPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"ZT_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"}) {
            if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (const char* name : {"ZT_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"}) ::unsetenv(name);
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(DefaultSettingsPathTest, TestFolderThenXdgConfigThenHome) {
    ::setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/home/ann/.config/zentrix-pictora/registry.ini");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/home/ann/.config/zentrix-pictora/registry.ini");
    ::setenv("XDG_CONFIG_HOME", "/cfg/", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/cfg/zentrix-pictora/registry.ini");
    ::setenv("ZT_REGISTRY_DIR", "/tmp/reg", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/tmp/reg/registry.ini");
}

}  // namespace
}  // namespace zt::platform
