#include "core/scan/found_file_list.h"

#include <gtest/gtest.h>

#include <thread>

namespace zt {
namespace {

TEST(FoundFileListTest, RecordsAreNamedPerTypeAndKeptInOrder) {
    FoundFileList list;
    list.Append(MakeFileInfo("JPEG", 1, 10, 4));
    list.Append(MakeFileInfo("CR2", 1, 20, 0));
    list.Append(MakeFileInfo("JPEG", 2147483647, 30, -1));
    list.Append(MakeFileInfo("TOOLONG", 3, 40, 1));
    const std::vector<FileInfo> all = list.Snapshot();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].FileName(), "File1.JPEG");
    EXPECT_EQ(all[1].FileName(), "File1.CR2");
    EXPECT_NE(all[0], all[1]);
    EXPECT_EQ(all[2].FileName(), "File2147483647.JPEG");
    EXPECT_EQ(all[3].TypeName(), "TOOL");
    EXPECT_EQ(all[3].FileName(), "File3.TOOL");
    EXPECT_EQ(all[1].startSector, 20u);
    EXPECT_EQ(all[2].sectorCount, -1);
    for (const FileInfo& f : all) EXPECT_EQ(f.selected, 0);
}

TEST(FoundFileListTest, SelectionByNameTypeAndAll) {
    FoundFileList list;
    list.Append(MakeFileInfo("JPEG", 1, 1, 1));
    list.Append(MakeFileInfo("JPEG", 2, 2, 1));
    list.Append(MakeFileInfo("JP2", 1, 3, 1));
    list.Append(MakeFileInfo("MP3", 1, 4, 1));

    EXPECT_TRUE(list.SetSelectedByName("File2.JPEG", true));
    EXPECT_FALSE(list.SetSelectedByName("File9.JPEG", true));
    EXPECT_EQ(list.SetSelectedByType("JP2 (1)", true), 1u);
    std::vector<std::uint8_t> flags;
    list.Walk([&](const FileInfo& f) { flags.push_back(f.selected); });
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 1, 1, 0}));

    EXPECT_EQ(list.SetSelectedByType("JPEG", true), 2u);
    list.SetSelectedAll(false);
    for (const FileInfo& f : list.Snapshot()) EXPECT_EQ(f.selected, 0);
    list.SetSelectedAll(true);
    for (const FileInfo& f : list.Snapshot()) EXPECT_EQ(f.selected, 1);

    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(list.Snapshot().empty());
}

TEST(FoundFileListTest, CountIsReadableWhileAnotherThreadAppends) {
    FoundFileList list;
    constexpr int kRecords = 20000;
    std::thread writer([&] {
        for (int i = 1; i <= kRecords; ++i) list.Append(MakeFileInfo("GIF", i, static_cast<std::uint64_t>(i), 1));
    });
    std::size_t last = 0;
    while (last < kRecords) {
        const std::size_t now = list.Count();
        ASSERT_GE(now, last);
        last = now;
    }
    writer.join();
    const std::vector<FileInfo> all = list.Snapshot();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kRecords));
    EXPECT_EQ(all.back().FileName(), "File20000.GIF");
}

}  // namespace
}  // namespace zt
