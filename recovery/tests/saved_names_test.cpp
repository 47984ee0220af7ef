#include "recovery/saved_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zt {
namespace {

TEST(SavedNamesTest, NamesFromACardBecomeOnePlainEntry) {
    const std::string longStem(300, 'a');
    // 199 bytes then a two-byte character that would end past the limit.
    const std::string cutInside = std::string(199, 'b') + "\xC3\xA9" + "cc";
    struct Case {
        std::string name;
        std::string saved;
    };
    const std::vector<Case> cases = {
        {"IMG_0001.JPG", "IMG_0001.JPG"},
        {"Été à Zürich.jpg", "Été à Zürich.jpg"},
        {"", "_"},
        {".", "_"},
        {"..", "_"},
        {"...", "_"},
        {"a/b", "a_b"},
        {"tab\there\nnew\x7F", "tab_here_new_"},
        {"C:\\Windows*?\"<>|", "C__Windows______"},
        {"trailing.", "trailing_"},
        {"trailing ", "trailing_"},
        {".hidden", ".hidden"},
        {".IMG.JPG.partial", "_IMG.JPG.partial"},
        {longStem + ".jpeg", std::string(kSavedNameBytes - 5, 'a') + ".jpeg"},
        {longStem + ".averyveryverylongextension", std::string(kSavedNameBytes, 'a')},
        {cutInside, std::string(199, 'b')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string saved = CleanSavedName(c.name);
        EXPECT_EQ(saved, c.saved);
        EXPECT_LE(saved.size(), kSavedNameBytes);
    }
}

TEST(SavedNamesTest, EveryFileOfARunGetsItsOwnPlace) {
    // One run, in the order the files come; each row is where the file goes.
    struct Case {
        std::string root;
        std::string path;
        std::vector<std::string> place;  // empty: refused
    };
    const std::string fat = "FAT32 at sector 0";
    const std::string exfat = "exFAT at sector 2048";
    const std::vector<Case> cases = {
        {fat, "DCIM/100PHONE/IMG_0001.JPG", {fat, "DCIM", "100PHONE", "IMG_0001.JPG"}},
        {fat, "DCIM/100PHONE/IMG_0002.JPG", {fat, "DCIM", "100PHONE", "IMG_0002.JPG"}},
        // The same path again (a live file and a deleted one of one name).
        {fat, "DCIM/100PHONE/IMG_0001.JPG", {fat, "DCIM", "100PHONE", "IMG_0001 (2).JPG"}},
        {fat, "DCIM/100PHONE/IMG_0001.JPG", {fat, "DCIM", "100PHONE", "IMG_0001 (3).JPG"}},
        // Names that differ only in letter case are one name on FAT and NTFS.
        {fat, "DCIM/100PHONE/img_0002.jpg", {fat, "DCIM", "100PHONE", "img_0002 (2).jpg"}},
        // A folder of another spelling is a folder of its own.
        {fat, "dcim/x.jpg", {fat, "dcim (2)", "x.jpg"}},
        // Two names that clean to one.
        {fat, "a\x01.jpg", {fat, "a_.jpg"}},
        {fat, "a\x02.jpg", {fat, "a_ (2).jpg"}},
        // A file named like a folder, and a folder named like a file.
        {fat, "DCIM", {fat, "DCIM (3)"}},  // "dcim (2)" is taken, in any case
        {fat, "a_.jpg/inside.jpg", {fat, "a_ (3).jpg", "inside.jpg"}},
        // Nothing leads out: no "..", no absolute path, no empty part.
        {fat, "../../etc/passwd", {fat, "_", "_", "etc", "passwd"}},
        {fat, "/abs//x.jpg", {fat, "abs", "x.jpg"}},
        {fat, "noext", {fat, "noext"}},
        {fat, "noext", {fat, "noext (2)"}},
        {fat, ".profile", {fat, ".profile"}},
        {fat, ".profile", {fat, ".profile (2)"}},
        // Another file system keeps its own folder.
        {exfat, "DCIM/100PHONE/IMG_0001.JPG", {exfat, "DCIM", "100PHONE", "IMG_0001.JPG"}},
        {exfat, "Orphan folders/Folder3/A.jpg", {exfat, "Orphan folders", "Folder3", "A.jpg"}},
        // No name below the root.
        {fat, "", {}},
        {fat, "///", {}},
    };
    SavedNamePlan plan(4000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(plan.Place(c.root, c.path), c.place);
    }
}

TEST(SavedNamesTest, APathLongerThanTheLimitIsRefusedAndTakesNoName) {
    SavedNamePlan plan(40);
    EXPECT_EQ(plan.Place("FAT16 at sector 0", "A/B/short.jpg"),
              (std::vector<std::string>{"FAT16 at sector 0", "A", "B", "short.jpg"}));
    EXPECT_TRUE(plan.Place("FAT16 at sector 0", "A/B/a name far too long.jpg").empty());
    // Folders nested deeper than any path the system takes.
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "Folder/";
    EXPECT_TRUE(plan.Place("FAT16 at sector 0", deep + "x.jpg").empty());
    EXPECT_EQ(plan.Place("FAT16 at sector 0", "A/B/short2.jpg").size(), 4u);
}

}  // namespace
}  // namespace zt
