// Each story is one card written by the file systems' own tools; its table
// holds every file the card should give back, and nothing else may come.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/filesystems/tests/card_fixture.h"

namespace zt::fs::testing {
namespace {

struct Row {
    std::string listed;  // the path the pass gives
    NamedFileState state;
    bool orphan;
    std::string written;  // the file written to the card, under files/; empty: not the same bytes
    std::int64_t modified = 0;  // when nothing was written under its name: the time it had
};

void ExpectCard(const std::string& story, const std::vector<Row>& rows, std::uint64_t volumeSector = 0) {
    zt::testing::TempFolder tmp;
    const std::string folder = tmp / story;
    if (!MakeCard(story, folder)) GTEST_SKIP() << "cannot write a " << story << " card here";
    ImageReader image(folder + "/card.img");
    FileSystemPass pass(image.Reader());
    RunPass(pass, image.Reader());
    ASSERT_EQ(pass.FileSystems().size(), 1u);
    EXPECT_EQ(pass.FileSystems().front().firstSector, volumeSector);
    const auto files = FilesByPath(pass);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.listed);
        const auto it = files.find(row.listed);
        ASSERT_NE(it, files.end());
        const NamedFile& named = it->second.file->named;
        EXPECT_EQ(named.state, row.state);
        EXPECT_EQ(named.orphan, row.orphan);
        if (row.written.empty()) {
            EXPECT_EQ(named.modified, row.modified);
            continue;
        }
        const std::string source = folder + "/files/" + row.written;
        EXPECT_EQ(it->second.bytes, zt::testing::ReadBytes(source)) << "bytes differ";
        EXPECT_EQ(named.modified, MtimeOf(source));
    }
    // No false file: whatever else the pass gives is a failure.
    for (const auto& [path, file] : files) {
        const bool expected = std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r.listed == path; });
        EXPECT_TRUE(expected) << "unexpected " << path;
    }
    EXPECT_TRUE(pass.FileSystems().front().listing.notes.empty()) << pass.FileSystems().front().listing.notes.front();
}

constexpr auto Live = NamedFileState::Live;
constexpr auto Deleted = NamedFileState::Deleted;

// mkfs.vfat and mtools: long and non-ASCII names, a file written into the
// hole another left (fragmented), a deleted file whose clusters nobody took
// (its first character lost with no long name to give it back), a deleted
// file, and a folder deleted whole.
std::vector<Row> PhoneRows(bool holeFilled) {
    std::vector<Row> rows = {
        {"DCIM/100PHONE/IMG_20260714_101112.jpg", Live, false, "DCIM/100PHONE/IMG_20260714_101112.jpg"},
        {"DCIM/100PHONE/Été à Zürich.jpg", Live, false, "DCIM/100PHONE/Été à Zürich.jpg"},
        {"DCIM/100PHONE/A.jpg", Live, false, "DCIM/100PHONE/A.jpg"},
        {"DCIM/100PHONE/C.jpg", Live, false, "DCIM/100PHONE/C.jpg"},
        {"DCIM/100PHONE/D fragmented.jpg", Live, false, "DCIM/100PHONE/D fragmented.jpg"},
        {"Music/Cover.jpg", Deleted, false, "Music/Cover.jpg"},
        {"Old/Note.jpg", Deleted, false, "Old/Note.jpg"},
        {"Old/Trip/Beach day.jpg", Deleted, false, "Old/Trip/Beach day.jpg"},
    };
    if (!holeFilled) rows.push_back({"DCIM/100PHONE/_.jpg", Deleted, false, "DCIM/100PHONE/B.jpg"});
    return rows;
}

TEST(CardStories, Fat32PhoneCard) { ExpectCard("fat32", PhoneRows(true)); }

TEST(CardStories, Fat16PhoneCard) { ExpectCard("fat16", PhoneRows(true)); }

// The FAT16 card as the partition of a disk, listed by an MBR or a GPT.
TEST(CardStories, PartitionedDisks) {
    ExpectCard("mbr", PhoneRows(true), 2048);
    ExpectCard("gpt", PhoneRows(true), 2048);
}

// The same card written by exfat-fuse: names in entry sets, contiguous
// files without a chain, the fragmented one through the table.
TEST(CardStories, ExFatPhoneCard) {
    ExpectCard("exfat", {
                            {"DCIM/Camera/IMG_20260714_101112.jpg", Live, false, "DCIM/Camera/IMG_20260714_101112.jpg"},
                            {"DCIM/Camera/Été à Zürich.jpg", Live, false, "DCIM/Camera/Été à Zürich.jpg"},
                            {"DCIM/Camera/A.jpg", Live, false, "DCIM/Camera/A.jpg"},
                            {"DCIM/Camera/C.jpg", Live, false, "DCIM/Camera/C.jpg"},
                            {"DCIM/Camera/D fragmented.jpg", Live, false, "DCIM/Camera/D fragmented.jpg"},
                            {"Recordings/Cover.jpg", Deleted, false, "Recordings/Cover.jpg"},
                            {"Old/Trip/Beach day.jpg", Deleted, false, "Old/Trip/Beach day.jpg"},
                        });
}

// The FAT32 card formatted again by mkfs.vfat: the root is new and empty,
// and every subfolder comes back from its own first cluster, under the
// cluster number its name went with. With the table gone, the fragmented
// file and the entry of the file whose hole it filled run over clusters of
// others: the format cannot prove them, so they come as maybe overwritten,
// and the files they overlap keep their state.
TEST(CardStories, QuickFormattedCard) {
    constexpr auto O = Deleted;
    constexpr auto M = NamedFileState::DeletedMaybeOverwritten;
    ExpectCard("quick-format",
               {
                   {"Orphan folders/Folder3/100PHONE/IMG_20260714_101112.jpg", O, true,
                    "DCIM/100PHONE/IMG_20260714_101112.jpg"},
                   {"Orphan folders/Folder3/100PHONE/Été à Zürich.jpg", O, true, "DCIM/100PHONE/Été à Zürich.jpg"},
                   {"Orphan folders/Folder3/100PHONE/A.jpg", O, true, "DCIM/100PHONE/A.jpg"},
                   {"Orphan folders/Folder3/100PHONE/C.jpg", O, true, "DCIM/100PHONE/C.jpg"},
                   {"Orphan folders/Folder3/100PHONE/D fragmented.jpg", M, true, "", 1784271600},
                   {"Orphan folders/Folder3/100PHONE/_.jpg", M, true, "", 1784192402},
                   {"Orphan folders/Folder5/Cover.jpg", O, true, "Music/Cover.jpg"},
                   {"Orphan folders/Folder6/Note.jpg", O, true, "Old/Note.jpg"},
                   {"Orphan folders/Folder6/Trip/Beach day.jpg", O, true, "Old/Trip/Beach day.jpg"},
               });
}

}  // namespace
}  // namespace zt::fs::testing
