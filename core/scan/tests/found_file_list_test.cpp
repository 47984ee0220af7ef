#include "core/scan/found_file_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <thread>
#include <vector>

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
    EXPECT_EQ(list.SetSelectedByType(*FindType("JP2"), true), 1u);
    std::vector<std::uint8_t> flags;
    list.Walk([&](const FileInfo& f) { flags.push_back(f.selected); });
    EXPECT_EQ(flags, (std::vector<std::uint8_t>{0, 1, 1, 0}));

    EXPECT_EQ(list.SetSelectedByType(*FindType("JPEG"), true), 2u);
    list.SetSelectedAll(false);
    for (const FileInfo& f : list.Snapshot()) EXPECT_EQ(f.selected, 0);
    list.SetSelectedAll(true);
    for (const FileInfo& f : list.Snapshot()) EXPECT_EQ(f.selected, 1);

    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(list.Snapshot().empty());
}

// Types whose names share their first letters, as a tree label would show
// them ("MPEG (3)" begins with neither MP3 nor MP4, "DIVX (1)" not with DV):
// ticking one type ticks its records and no other's.
TEST(FoundFileListTest, SelectionByTypeTouchesThatTypeOnly) {
    const std::vector<std::string_view> names{"JPEG", "JP2",  "MP3", "MP4", "MPEG", "3GP", "3G2",
                                              "WEBM", "WEBP", "DV",  "DIVX", "AU",  "PSP", "PSD"};
    FoundFileList list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        list.Append(MakeFileInfo(names[i], 1, i, 1));
        if (i % 2 == 0) list.Append(MakeFileInfo(names[i], 2, 100 + i, 1));
    }
    list.Append(MakeFileInfo("ZZ", 1, 999, 1));  // a name the catalogue does not know

    const struct {
        std::string_view tick;
        std::size_t records;
    } cases[] = {{"JPEG", 2}, {"JP2", 1}, {"MP3", 2}, {"MP4", 1}, {"MPEG", 2}, {"3GP", 1}, {"3G2", 2},
                 {"WEBM", 1}, {"WEBP", 2}, {"DV", 1}, {"DIVX", 2}, {"AU", 1}, {"PSD", 1}};
    for (const auto& c : cases) {
        const std::optional<TypeId> type = FindType(c.tick);
        ASSERT_TRUE(type.has_value()) << c.tick;
        list.SetSelectedAll(false);
        EXPECT_EQ(list.SetSelectedByType(*type, true), c.records) << c.tick;
        for (const FileInfo& f : list.Snapshot()) {
            EXPECT_EQ(f.selected != 0, f.TypeName() == c.tick) << c.tick << " ticked " << f.FileName();
        }
        EXPECT_EQ(list.SetSelectedByType(*type, false), c.records) << c.tick;
        for (const FileInfo& f : list.Snapshot()) EXPECT_EQ(f.selected, 0) << c.tick;
    }
    // A record of no known type is never taken for the type nobody chose.
    EXPECT_EQ(list.Snapshot().back().type, kNoType);
    EXPECT_EQ(list.SetSelectedByType(kNoType, true), 0u);
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
