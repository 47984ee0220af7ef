#include "logs/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

using testing::TempFolder;

// Records every try; takes only the documents it is told to.
class RecordingShell : public HelpShell {
public:
    bool OpenDocument(const std::string& path) override {
        tries.push_back("open " + path);
        return accepted.count(path) != 0;
    }
    void StartProgram(const std::string& program, const std::string& argument) override {
        tries.push_back("start " + program + " " + argument);
    }

    std::set<std::string> accepted;
    std::vector<std::string> tries;
};

class OpenHelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& f : {currentFolder, pathFolder, installFolder}) std::filesystem::create_directories(f);
        ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", installFolder));
    }
    void PutHelpIn(const std::string& f) { testing::WriteBytes(f + "/Zentrix HELP.html", "<html></html>"); }
    void Open() { OpenHelp(context, shell, "/nonexistent:" + pathFolder, currentFolder); }

    TempFolder folder;
    std::string currentFolder = folder / "cwd";
    std::string pathFolder = folder / "bin";
    std::string installFolder = folder / "install";
    std::string installedHelp = installFolder + "/Zentrix HELP.html";
    platform::MemorySettingsStore store;
    LogContext context{store};
    RecordingShell shell;
};

TEST_F(OpenHelpTest, TheBareNameIsFoundInTheCurrentFolderFirstThenTheSearchPath) {
    PutHelpIn(pathFolder);
    PutHelpIn(currentFolder);
    shell.accepted = {currentFolder + "/Zentrix HELP.html"};
    Open();
    EXPECT_EQ(shell.tries, (std::vector<std::string>{"open " + currentFolder + "/Zentrix HELP.html"}));

    std::filesystem::remove(currentFolder + "/Zentrix HELP.html");
    shell.tries.clear();
    shell.accepted = {pathFolder + "/Zentrix HELP.html"};
    Open();
    EXPECT_EQ(shell.tries, (std::vector<std::string>{"open " + pathFolder + "/Zentrix HELP.html"}));
}

TEST_F(OpenHelpTest, AGuideOnlyInTheInstallationFolderOpensFromThere) {
    PutHelpIn(installFolder);
    shell.accepted = {installedHelp};
    Open();
    EXPECT_EQ(shell.tries, (std::vector<std::string>{"open " + installedHelp}));
}

TEST_F(OpenHelpTest, WithoutAViewerForTheDocumentTheExplicitViewerGetsTheFullPath) {
    PutHelpIn(installFolder);
    Open();
    EXPECT_EQ(shell.tries, (std::vector<std::string>{"open " + installedHelp, "open " + installedHelp,
                                                     "start xdg-open " + installedHelp}));
}

TEST_F(OpenHelpTest, NoGuideAnywhereStillEndsWithTheViewerAndNoMessage) {
    Open();
    EXPECT_EQ(shell.tries, (std::vector<std::string>{"open " + installedHelp, "start xdg-open " + installedHelp}));

    ASSERT_TRUE(store.DeleteValue("ZT_PictoraNTFS", "FilePath"));
    shell.tries.clear();
    Open();
    EXPECT_EQ(shell.tries,
              (std::vector<std::string>{"open /Zentrix HELP.html", "start xdg-open /Zentrix HELP.html"}));
}

TEST(SystemHelpShellTest, AMissingDocumentIsRefusedWithoutStartingAViewer) {
    TempFolder folder;
    EXPECT_FALSE(SystemHelpShell().OpenDocument(folder / "Zentrix HELP.html"));
}

}  // namespace
}  // namespace zt
