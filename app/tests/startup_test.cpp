#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

using platform::MemorySettingsStore;
using testing::TempFolder;

class StartUpTest : public ::testing::Test {
protected:
    TempFolder folder;
    StartupFacts facts{folder / "install", folder / "state/zentrix-pictora"};
    MemorySettingsStore store;
};

TEST_F(StartUpTest, FirstStartInstallsAndFixesEverySetting) {
    AppSettings settings = StartUp(store, facts);

    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "FilePath"), facts.executableFolder);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "Activity Log"), facts.logFolder);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "Recovery Log"), facts.logFolder);
    EXPECT_TRUE(std::filesystem::is_directory(facts.logFolder));

    EXPECT_EQ(settings.AppCaption, "Zentrix for Pictora");
    EXPECT_EQ(settings.WindowTitle, "Zentrix for Pictora");
    EXPECT_EQ(settings.VersionText, "Version 1.0");
    EXPECT_EQ(settings.AppRegistryKey, "ZT_PictoraNTFS");
    EXPECT_EQ(settings.PlatformFamily, 'N');
    EXPECT_EQ(settings.InstallFolder, facts.executableFolder);
    EXPECT_EQ(settings.SkinFolder, facts.executableFolder + "/skin");
}

TEST_F(StartUpTest, LaterStartsKeepWhatIsStoredEvenWhenTheUserChangedIt) {
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", "/opt/edited"));
    AppSettings settings = StartUp(store, facts);
    EXPECT_EQ(settings.InstallFolder, "/opt/edited");
    EXPECT_EQ(store.ValueNames("ZT_PictoraNTFS"), (std::vector<std::string>{"FilePath"}));
    EXPECT_FALSE(std::filesystem::exists(facts.logFolder));
}

TEST_F(StartUpTest, AFolderThatNoLongerHoldsTheInstallationIsReplaced) {
    // This program's folder is a real installation; the stored one was removed.
    std::filesystem::create_directories(facts.executableFolder);
    testing::WriteBytes(facts.executableFolder + "/devquery", "");
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", folder / "removed"));
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", "/srv/logs"));
    EXPECT_EQ(StartUp(store, facts).InstallFolder, facts.executableFolder);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "Activity Log"), "/srv/logs");

    // One the user pointed at another installation is kept.
    std::filesystem::create_directories(folder / "other");
    testing::WriteBytes(folder / "other/devquery", "");
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "FilePath", folder / "other"));
    EXPECT_EQ(StartUp(store, facts).InstallFolder, folder / "other");
}

TEST(InstallationFolderTest, AnInstalledTreeKeepsItsFilesUnderShareWhereverItLies) {
    TempFolder tree;
    std::filesystem::create_directories(tree / "usr/bin");
    EXPECT_EQ(InstallationFolderFor(tree / "usr/bin"), tree / "usr/bin");  // the build tree's way
    std::filesystem::create_directories(tree / "usr/share/zentrix-pictora");
    EXPECT_EQ(InstallationFolderFor(tree / "usr/bin"), tree / "usr/bin");  // no devquery: not an installation
    testing::WriteBytes(tree / "usr/share/zentrix-pictora/devquery", "");
    EXPECT_EQ(InstallationFolderFor(tree / "usr/bin"), tree / "usr/share/zentrix-pictora");
    EXPECT_EQ(InstallationFolderFor(tree / "usr/bin/"), tree / "usr/share/zentrix-pictora");
    EXPECT_EQ(InstallationFolderFor("/"), "/");
}

TEST_F(StartUpTest, InstallationKeepsALogFolderTheUserAlreadyChose) {
    ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", "/srv/logs"));
    StartUp(store, facts);
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "Activity Log"), "/srv/logs");
    EXPECT_EQ(store.ReadValue("ZT_PictoraNTFS", "Recovery Log"), facts.logFolder);
}

TEST_F(StartUpTest, AStoreThatCannotBeWrittenLeavesTheInstallFolderEmpty) {
    std::filesystem::create_directories(folder / "registry.ini");  // unreadable as a file
    platform::FileSettingsStore broken(folder / "registry.ini");
    EXPECT_FALSE(InstallIfNeeded(broken, facts));
    AppSettings settings = StartUp(broken, facts);
    EXPECT_EQ(settings.InstallFolder, "");
    EXPECT_EQ(settings.AppCaption, "Zentrix for Pictora");
}

TEST(SystemStartupFactsTest, InstallationIsWhereTheExecutableLies) {
    StartupFacts facts = SystemStartupFacts();
    EXPECT_TRUE(std::filesystem::exists(facts.executableFolder + "/app_startup_test"));
}

}  // namespace
}  // namespace zt
