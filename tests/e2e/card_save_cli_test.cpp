// Cards written by the file systems' own tools, saved by pictora-cli scan
// --file-system auto --save: every file the card still holds must come back
// byte for byte under its folders and name, with its modification time, and
// nothing else may come under the file system's folder. Hostile names are
// written into a real card's entries where the tools would refuse them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/filesystems/tests/card_fixture.h"
#include "platform/testing/temp_folder.h"

namespace zt::testing {
namespace {

namespace stdfs = std::filesystem;

// UTF-16LE of an ASCII text, as a long-name entry holds it.
std::string Utf16(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// Replaces every run of from in the image by to (of the same length).
int Patch(const std::string& image, const std::string& from, const std::string& to) {
    std::string bytes = ReadBytes(image);
    int patched = 0;
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1)) {
        bytes.replace(at, to.size(), to);
        ++patched;
    }
    WriteBytes(image, bytes);
    return patched;
}

struct Saved {
    std::string path;     // below the file system's folder
    std::string written;  // under the card's files/; empty: bytes not known (maybe overwritten)
    std::int64_t modified = 0;  // when written is empty
};

struct Story {
    std::string story;
    std::string volume;  // the file system's folder
    std::vector<std::pair<std::string, std::string>> patches;
    std::vector<Saved> saved;
};

std::vector<Saved> PhoneCard(const std::string& camera, const std::string& music) {
    return {
        {"DCIM/" + camera + "/IMG_20260714_101112.jpg", "DCIM/" + camera + "/IMG_20260714_101112.jpg"},
        {"DCIM/" + camera + "/Été à Zürich.jpg", "DCIM/" + camera + "/Été à Zürich.jpg"},
        {"DCIM/" + camera + "/A.jpg", "DCIM/" + camera + "/A.jpg"},
        {"DCIM/" + camera + "/C.jpg", "DCIM/" + camera + "/C.jpg"},
        {"DCIM/" + camera + "/D fragmented.jpg", "DCIM/" + camera + "/D fragmented.jpg"},
        {music + "/Cover.jpg", music + "/Cover.jpg"},
        {"Old/Trip/Beach day.jpg", "Old/Trip/Beach day.jpg"},
    };
}

std::vector<Saved> FatPhoneCard() {
    std::vector<Saved> saved = PhoneCard("100PHONE", "Music");
    saved.push_back({"Old/Note.jpg", "Old/Note.jpg"});
    return saved;
}

TEST(CardSaveCli, EveryFileComesBackWithItsNameFolderAndTime) {
    const std::string fat = "FAT32 at sector 0";
    const std::vector<Story> stories = {
        {"fat32", fat, {}, FatPhoneCard()},
        {"fat16", "FAT16 at sector 0", {}, FatPhoneCard()},
        {"gpt", "FAT16 at sector 2048", {}, FatPhoneCard()},
        {"exfat", "exFAT at sector 0", {}, PhoneCard("Camera", "Recordings")},
        // Long names changed in place (their checksums still match): a
        // control character, characters FAT refuses (on the fragmented
        // file), and a folder named "..".
        {"fat32",
         fat,
         {{Utf16("IMG_2"), Utf16("\x01MG_2")},
          {Utf16("D fra"), Utf16("D:f\\a")},
          {Utf16("Music"), Utf16("..") + std::string("\0\0\xFF\xFF\xFF\xFF", 6)}},
         {
             {"DCIM/100PHONE/_MG_20260714_101112.jpg", "DCIM/100PHONE/IMG_20260714_101112.jpg"},
             {"DCIM/100PHONE/Été à Zürich.jpg", "DCIM/100PHONE/Été à Zürich.jpg"},
             {"DCIM/100PHONE/A.jpg", "DCIM/100PHONE/A.jpg"},
             {"DCIM/100PHONE/C.jpg", "DCIM/100PHONE/C.jpg"},
             {"DCIM/100PHONE/D_f_agmented.jpg", "DCIM/100PHONE/D fragmented.jpg"},
             {"_/Cover.jpg", "Music/Cover.jpg"},
             {"Old/Trip/Beach day.jpg", "Old/Trip/Beach day.jpg"},
             {"Old/Note.jpg", "Old/Note.jpg"},
         }},
        // Formatted again: the old subfolders come back as orphans, by the
        // cluster their names went with; the two files whose clusters the
        // empty table can no longer tell apart keep their names and times.
        {"quick-format",
         fat,
         {},
         {
             {"Orphan folders/Folder3/100PHONE/IMG_20260714_101112.jpg", "DCIM/100PHONE/IMG_20260714_101112.jpg"},
             {"Orphan folders/Folder3/100PHONE/Été à Zürich.jpg", "DCIM/100PHONE/Été à Zürich.jpg"},
             {"Orphan folders/Folder3/100PHONE/A.jpg", "DCIM/100PHONE/A.jpg"},
             {"Orphan folders/Folder3/100PHONE/C.jpg", "DCIM/100PHONE/C.jpg"},
             {"Orphan folders/Folder3/100PHONE/D fragmented.jpg", "", 1784271600},
             {"Orphan folders/Folder3/100PHONE/_.jpg", "", 1784192402},
             {"Orphan folders/Folder5/Cover.jpg", "Music/Cover.jpg"},
             {"Orphan folders/Folder6/Note.jpg", "Old/Note.jpg"},
             {"Orphan folders/Folder6/Trip/Beach day.jpg", "Old/Trip/Beach day.jpg"},
         }},
    };
    TempFolder tmp;
    ::setenv("XDG_STATE_HOME", (tmp / "state").c_str(), 1);
    int n = 0;
    for (const Story& s : stories) {
        const std::string folder = tmp / (s.story + std::to_string(++n));
        SCOPED_TRACE(folder);
        if (!fs::testing::MakeCard(s.story, folder)) {
            std::cout << "skipped: cannot write a " << s.story << " card here\n";
            continue;
        }
        const std::string image = folder + "/card.img";
        for (const auto& [from, to] : s.patches) ASSERT_EQ(Patch(image, from, to), 1) << "patch not placed";
        const std::string out = folder + "/out";
        stdfs::create_directories(out);
        const std::string command = std::string(ZT_PICTORA_CLI) + " scan '" + image + "' --file-system auto --save '" +
                                    out + "' < /dev/null > '" + folder + "/cli.txt' 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadBytes(folder + "/cli.txt");

        const std::string root = out + "/" + s.volume;
        std::set<std::string> expected;
        std::set<std::string> namedHeads;  // each named file's first sector
        for (const Saved& f : s.saved) {
            SCOPED_TRACE(f.path);
            expected.insert(f.path);
            const std::string path = root + "/" + f.path;
            ASSERT_TRUE(stdfs::is_regular_file(path));
            namedHeads.insert(ReadBytes(path).substr(0, 512));
            if (f.written.empty()) {
                EXPECT_EQ(fs::testing::MtimeOf(path), f.modified);
                continue;
            }
            const std::string written = folder + "/files/" + f.written;
            EXPECT_TRUE(ReadBytes(path) == ReadBytes(written)) << "bytes differ";
            EXPECT_EQ(fs::testing::MtimeOf(path), fs::testing::MtimeOf(written));
        }
        for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            const std::string path = entry.path().string().substr(root.size() + 1);
            EXPECT_TRUE(expected.contains(path)) << "unexpected " << path;
        }
        // Whatever the carving found beside them lies in the type folders, and
        // none of it is a named file again.
        for (const auto& entry : stdfs::directory_iterator(out)) {
            if (entry.path().filename() == s.volume) continue;
            EXPECT_LE(entry.path().filename().string().size(), 4u) << entry.path();
            for (const auto& file : stdfs::directory_iterator(entry.path())) {
                EXPECT_FALSE(namedHeads.contains(ReadBytes(file.path()).substr(0, 512))) << file.path();
            }
        }
    }
}

}  // namespace
}  // namespace zt::testing
