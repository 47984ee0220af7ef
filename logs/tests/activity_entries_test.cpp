#include "logs/activity_entries.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

std::time_t LocalMoment(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 2025 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class ActivityEntriesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.WriteValue("ZT_PictoraNTFS", "Activity Log", folder.Path())); }
    std::string Log() const { return testing::ReadBytes(folder / "Activity Log.txt"); }

    testing::TempFolder folder;
    platform::MemorySettingsStore store;
    LogContext context{store};
};

TEST_F(ActivityEntriesTest, AWholeRecoveryRunReadsAsTheLogExpects) {
    RunHeader header;
    header.group = "Selected Logical Drive";
    header.label = "DATA (sdb1)";
    header.infoLines = {"Drive : sdb1", "Size : 15 GB"};
    header.rangeStart = "0";
    header.rangeEnd = "31116288";
    ScanSummary summary{31116288, 31116288, 0, LocalMoment(21, 5, 0), LocalMoment(21, 6, 15), false};

    ASSERT_TRUE(WriteEntries(context, LogKind::Activity, StartBlockEntries(AppSettings{}, LocalMoment(21, 4, 0))));
    ASSERT_TRUE(WriteEntries(context, LogKind::Activity, RunHeaderEntries(header)));
    ASSERT_TRUE(WriteEntries(context, LogKind::Activity, {"\r\nSelected Extensions Information : ", "JPEG", "DIVX"}));
    ASSERT_TRUE(WriteEntries(context, LogKind::Activity, ScanSummaryEntries(summary)));

    EXPECT_EQ(Log(),
              "\r\n-----------------------Start--------------------------"
              "\r\nZentrix for Pictora\r\nVersion 1.0\r\n21:04 - Friday, March 07, 2025"
              "\r\n\r\n\r\nMEDIA RECOVERY\r\n------\r\n"
              "\r\nSelected Logical Drive Information :\r\nDATA (sdb1)"
              "\r\nDrive : sdb1\r\nSize : 15 GB"
              "\r\nStarting Range : 0\r\nEnding Range : 31116288"
              "\r\n\r\nSelected Extensions Information : \r\nJPEG\r\nDIVX"
              "\r\n\r\nAnalysing Files Information :\r\nCurrent Sector : 31116288 / 31116288\r\nFiles Found : 0"
              "\r\nStarting Time : 09:05 PM\r\nElapsed Time : 1 Mins 15 Secs\r\nAnalysing Completed\r\n\r\n");
}

TEST_F(ActivityEntriesTest, ImagingAndAnAbortedScan) {
    RunHeader header;
    header.mediaRecovery = false;
    EXPECT_EQ(RunHeaderEntries(header)[1], "DISK IMAGING");
    ScanSummary summary{5000, 20000, 3, LocalMoment(10, 0, 0), LocalMoment(13, 2, 30), true};
    auto entries = ScanSummaryEntries(summary);
    EXPECT_EQ(entries[1], "Current Sector : 5000 / 20000");
    EXPECT_EQ(entries[2], "Files Found : 3");
    EXPECT_EQ(entries[3], "Starting Time : 10:00 AM");
    EXPECT_EQ(entries[4], "Elapsed Time : 3 Hrs 2 Mins");
    EXPECT_EQ(entries[5], "Analysing Aborted");

    // A scan whose source ended early failed, whatever else it was; beyond
    // 2 TiB the sector numbers are printed whole.
    summary = {4999999999, 5000001000, 1, LocalMoment(10, 0, 0), LocalMoment(10, 0, 5), false, 1000, 5000000000};
    entries = ScanSummaryEntries(summary);
    EXPECT_EQ(entries[1], "Current Sector : 4999999999 / 5000001000");
    EXPECT_EQ(entries[5], "Analysing Failed : the source became shorter or went away at sector 5000000000");
    EXPECT_EQ(entries.back(), "Unreadable Sectors : 1000 (given as zeros)");
}

TEST_F(ActivityEntriesTest, ImagingSummaryForEachEndOfARun) {
    using Entries = std::vector<std::string>;
    ImagingSummary summary{4096, 8192, "/dest/Image0.img", false, ""};
    EXPECT_EQ(ImagingSummaryEntries(summary),
              (Entries{"\r\nAnalysing Disk Imaging Information :", "Current Sector : 4096 / 8192",
                       "Last File : /dest/Image0.img", "Disk Imaging Completed Successfully\r\n"}));
    summary.aborted = true;
    EXPECT_EQ(ImagingSummaryEntries(summary).back(), "Disk Imaging Aborted\r\n");
    // A failure outranks a stop that came too late to matter.
    summary.failure = "Input/output error while writing /dest/Image0.img";
    EXPECT_EQ(ImagingSummaryEntries(summary).back(),
              "Disk Imaging Failed : Input/output error while writing /dest/Image0.img\r\n");
}

TEST_F(ActivityEntriesTest, FileSystemsEntryNamesEachWithItsCountsAndProblems) {
    struct Case {
        std::vector<FileSystemLine> fileSystems;
        std::string entry;
    };
    const std::vector<Case> cases = {
        {{}, "File Systems : none found"},
        {{{"FAT32 at sector 2048", "PHONE", 72, 23, 0, {}}},
         "File Systems :\r\nFAT32 at sector 2048 \"PHONE\" : 72 live, 23 deleted, 0 orphan files"},
        {{{"FAT32 at sector 0", "", 0, 0, 9, {"'DCIM/A.jpg': its chain loops; left to the carving"}},
          {"exFAT at sector 264192", "", 5, 2, 0, {}}},
         "File Systems :\r\nFAT32 at sector 0 : 0 live, 0 deleted, 9 orphan files"
         "\r\n  'DCIM/A.jpg': its chain loops; left to the carving"
         "\r\nexFAT at sector 264192 : 5 live, 2 deleted, 0 orphan files"},
    };
    for (const Case& c : cases) EXPECT_EQ(FileSystemsEntry(c.fileSystems), c.entry);
}

}  // namespace
}  // namespace zt
