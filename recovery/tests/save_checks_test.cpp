#include "recovery/save_checks.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"
#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

TEST(SaveChecks, NothingFoundThenTheFolderAndItsMediumAreRefusedWithThePagesWords) {
    FoundFileList found;
    EXPECT_EQ(CheckFoundFiles(found), SaveRefusal::NoFileFound);
    EXPECT_EQ(SaveRefusalMessage(SaveRefusal::NoFileFound), "No file found.");
    found.Append(FileInfo{});
    EXPECT_EQ(CheckFoundFiles(found), SaveRefusal::None);

    testing::TempFolder folder;
    testing::WriteBytes(folder / "file", "x");
    testing::FakeDestination destination;
    testing::FakeRawIo io;
    SourceDescriptor source;
    source.DeviceNames[0] = "/dev/card";
    EXPECT_EQ(CheckSaveFolder(folder / "missing", source, destination, io), SaveRefusal::FolderMissing);
    EXPECT_EQ(CheckSaveFolder(folder / "file", source, destination, io), SaveRefusal::NotAFolder);
    EXPECT_EQ(CheckSaveFolder(folder.Path(), source, destination, io), SaveRefusal::None);
    for (SaveRefusal folderProblem : {SaveRefusal::FolderMissing, SaveRefusal::NotAFolder})
        EXPECT_EQ(SaveRefusalMessage(folderProblem), "Select the valid path.");

    // The folder lies on the card being recovered.
    destination.sharedMedia.insert({folder.Path(), "/dev/card"});
    EXPECT_EQ(CheckSaveFolder(folder.Path(), source, destination, io), SaveRefusal::FolderOnSource);
    EXPECT_EQ(SaveRefusalMessage(SaveRefusal::FolderOnSource).rfind("This folder lies on the medium being recovered", 0),
              0u);
    EXPECT_EQ(SaveRefusalMessage(SaveRefusal::None), "");
}

TEST(SaveChecks, AFolderOnTheMediumUnderALoopDeviceIsRefused) {
    // The source is a loop device over a disk (or over a file in an image
    // mounted elsewhere): saving onto what lies under it changes its bytes.
    testing::TempFolder folder;
    testing::FakeRawIo io;
    SourceDescriptor source;
    source.DeviceNames[0] = "/dev/loop3";
    struct Case {
        std::vector<std::string> under;
        std::string sharedWith;  // the source file the folder shares a medium with
        SaveRefusal expected;
    };
    const Case cases[] = {
        {{"/dev/sdc"}, "/dev/sdc", SaveRefusal::FolderOnSource},
        {{"/dev/loop0", "/media/big/card.dd"}, "/media/big/card.dd", SaveRefusal::FolderOnSource},
        {{"/dev/sdc"}, "/dev/sdd", SaveRefusal::None},
        {{}, "/dev/sdc", SaveRefusal::None},
    };
    for (const Case& c : cases) {
        testing::FakeDestination destination;
        destination.filesUnder["/dev/loop3"] = c.under;
        destination.sharedMedia.insert({folder.Path(), c.sharedWith});
        EXPECT_EQ(CheckSaveFolder(folder.Path(), source, destination, io), c.expected) << c.sharedWith;
    }
}

}  // namespace
}  // namespace zt
