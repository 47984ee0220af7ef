// The activity log of whole runs as the scan and imaging jobs write them:
// which entries come, in which order, and each end exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/imaging/image_set.h"
#include "core/scan/type_selection.h"
#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"
#include "platform/testing/temp_folder.h"
#include "recovery/jobs/imaging_job.h"
#include "recovery/jobs/scan_job.h"

namespace zt::jobs {
namespace {

constexpr char kCard[] = "/media/card.dd";
constexpr std::time_t kStarted = 1700000000;

// The log's lines without the blank ones; a line that reads the clock or
// gives a failure's reason keeps only its caption.
std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; at < log.size(); at = end + 2) {
        end = std::min(log.find("\r\n", at), log.size());
        std::string line = log.substr(at, end - at);
        for (const char* caption : {"Starting Time : ", "Elapsed Time : ", "Disk Imaging Failed : "}) {
            if (line.starts_with(caption)) line = caption;
        }
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// One run's world: its log folder, its card and the values a job reads.
struct RunRig {
    RunRig() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        EXPECT_TRUE(store.WriteValue(kAppRegistryKey, "Activity Log", logs.Path()));
        policy.Set(BadSectorPolicy::SkipAll);
    }

    void UseCard(std::vector<std::uint8_t> bytes) {
        source.DeviceNames[0] = kCard;
        source.RangeStart = 0;
        source.RangeEnd = bytes.size() / kSectorSize;
        io.AddFile(kCard, std::move(bytes));
    }

    RunHeader Header(bool mediaRecovery) const {
        RunHeader header;
        header.mediaRecovery = mediaRecovery;
        header.group = "Selected Image File";
        header.label = kCard;
        header.infoLines = {"Size : card"};
        header.rangeStart = std::to_string(source.RangeStart);
        header.rangeEnd = std::to_string(source.RangeEnd);
        return header;
    }

    // The entries every run here begins with: the opening block and the header.
    std::vector<std::string> Opening(bool mediaRecovery) const {
        return {kStartBlockLine, "Zentrix for Pictora", "Version 1.0", "22:13 - Tuesday, November 14, 2023",
                mediaRecovery ? "MEDIA RECOVERY" : "DISK IMAGING", "------",
                "Selected Image File Information :", kCard, "Size : card", "Starting Range : " + std::to_string(source.RangeStart),
                "Ending Range : " + std::to_string(source.RangeEnd)};
    }

    std::string Log() const { return testing::ReadBytes(logs / "Activity Log.txt"); }

    testing::TempFolder logs;
    platform::MemorySettingsStore store;
    RunLog runLog{LogContext{store}};
    testing::FakeRawIo io;
    SourceDescriptor source;
    BadSectorPolicyState policy;
    FoundFileList found;
};

struct ScanCase {
    const char* what;
    SignatureMode mode;
    bool allTypes;
    bool fileSystems;
    bool fatCard;    // the card holds a FAT volume made by mkfs.fat
    bool stop;       // a stop is asked while the scan is held at its first chunk
    std::vector<std::string> after;  // the lines after the opening
};

TEST(ScanJobTest, ARunLogsItsChoicesAndItsEndOnce) {
    const std::vector<std::string> summary3000 = {"Analysing Files Information :", "Current Sector : 3000 / 3000",
                                                  "Files Found : 0", "Starting Time : ", "Elapsed Time : ",
                                                  "Analysing Completed"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> jpegOnly = {"Selected Extensions Information : ", "JPEG"};
    const std::vector<ScanCase> cases = {
        {"standard signatures, one type", SignatureMode::Standard, false, false, false, false,
         with(jpegOnly, summary3000)},
        {"extended signatures add their entry after the types", SignatureMode::Extended, false, false, false, false,
         with(with(jpegOnly, {"Extended Signatures"}), summary3000)},
        {"every type at once", SignatureMode::Extended, true, false, false, false,
         with({"Selected Extensions Information : ", "All Extensions", "Extended Signatures"}, summary3000)},
        {"file systems read, none there", SignatureMode::Standard, false, true, false, false,
         with(with(jpegOnly, summary3000), {"File Systems : none found"})},
        {"file systems read, a FAT volume there", SignatureMode::Standard, false, true, true, false,
         with(with(jpegOnly, summary3000), {"File Systems :", "FAT12 at sector 0 \"JOBS\" : 0 live, 0 deleted, "
                                                              "0 orphan files"})},
        {"stopped at its first chunk", SignatureMode::Standard, false, false, false, true,
         with(jpegOnly, {"Analysing Files Information :", "Current Sector : 999 / 3000", "Files Found : 0",
                         "Starting Time : ", "Elapsed Time : ", "Analysing Aborted"})},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.what);
        RunRig t;  // a fresh log and card per case
        if (c.fatCard) {
            const std::string image = t.logs / "fat.img";
            const std::string make = "mkfs.fat -C -n JOBS '" + image + "' 1500 > /dev/null 2>&1";
            if (std::system(make.c_str()) != 0) {
                std::printf("mkfs.fat is not at hand: the FAT case is left out\n");
                continue;
            }
            const std::string bytes = testing::ReadBytes(image);
            t.UseCard({bytes.begin(), bytes.end()});
        } else {
            t.UseCard(std::vector<std::uint8_t>(3000 * kSectorSize, 0));
        }
        std::vector<TypeRow> rows = DefaultTypeRows(c.mode);
        for (TypeRow& row : rows) row.ticked = c.allTypes || row.fileType == "JPEG";
        TypeSelection selection = BuildTypeDefinitionList(rows, c.mode);
        TypeDefinitionList types = selection.definitions;

        t.runLog.Begin(AppSettings{}, kStarted);
        t.runLog.SourceChosen(t.Header(true));
        t.runLog.TypesChosen(c.allTypes, selection.tickedTypes, c.mode);
        ScanJob job({t.source, t.policy, t.io, types, t.found, c.mode, c.fileSystems}, t.runLog);
        EXPECT_FALSE(job.Finish()) << "nothing ends before the start";
        const std::string chosen = t.Log();
        {
            PauseGate::Hold hold(job.Slot().Gate());
            job.Start();
            while (!job.Slot().Gate().Holding()) std::this_thread::yield();
            EXPECT_FALSE(job.Finish()) << "nothing ends while the scan runs";
            EXPECT_EQ(t.Log(), chosen);
            EXPECT_EQ(job.Progress().current, 999u);  // the last sector of the first chunk
            EXPECT_EQ(job.Progress().end, 3000u);
            if (c.stop) job.Slot().RequestStop();
        }
        while (!job.WaitUntilEnded(std::chrono::milliseconds(1000))) {
        }
        ASSERT_TRUE(job.Finish());
        const std::string once = t.Log();
        ASSERT_TRUE(job.Finish());
        EXPECT_EQ(t.Log(), once) << "a second Finish writes nothing";
        EXPECT_EQ(job.Finish()->aborted, c.stop);
        EXPECT_EQ(job.FileSystems() != nullptr, c.fileSystems);
        EXPECT_EQ(LogLines(t.Log()), with(t.Opening(true), c.after));
    }
}

enum class CopyEnd { Complete, Stopped, Failed };

struct ImagingCase {
    const char* what;
    CopyEnd end;
    std::vector<std::string> after;  // the lines after the opening
};

TEST(ImagingJobTest, ARunLogsHowEachCopyEnded) {
    const std::string part = "/dest/Image0.img";
    const std::vector<ImagingCase> cases = {
        {"complete", CopyEnd::Complete,
         {"Analysing Disk Imaging Information :", "Current Sector : 40 / 40", "Last File : " + part,
          "Disk Imaging Completed Successfully"}},
        {"stopped at its first boundary", CopyEnd::Stopped,
         {"Analysing Disk Imaging Information :", "Current Sector : 0 / 40", "Last File : " + part,
          "Disk Imaging Aborted"}},
        {"failed to create its part", CopyEnd::Failed,
         {"Analysing Disk Imaging Information :", "Current Sector : 0 / 40", "Last File : ",
          "Disk Imaging Failed : "}},
    };
    for (const ImagingCase& c : cases) {
        SCOPED_TRACE(c.what);
        RunRig t;
        t.UseCard(std::vector<std::uint8_t>(40 * kSectorSize, 7));
        testing::FakeDestination dest;
        if (c.end == CopyEnd::Failed) dest.FailCreate("Image0.img", EACCES);

        t.runLog.Begin(AppSettings{}, kStarted);
        t.runLog.SourceChosen(t.Header(false));
        ImagingJob job({t.source, t.policy, t.io, dest}, t.runLog);
        EXPECT_FALSE(job.Finish()) << "nothing ends before the start";
        EXPECT_EQ(job.Progress().TotalSectors.load(), 40u);
        {
            PauseGate::Hold hold(job.Slot().Gate());
            ASSERT_TRUE(job.Start({MakeImageBaseName("/dest"), false}));
            if (c.end == CopyEnd::Stopped) {
                while (!job.Slot().Gate().Holding()) std::this_thread::yield();
                EXPECT_FALSE(job.Start({MakeImageBaseName("/dest"), false})) << "one copy at a time";
                EXPECT_FALSE(job.Finish());
                job.Slot().RequestStop();
            }
        }
        while (!job.WaitUntilEnded(std::chrono::milliseconds(1000))) {
        }
        const std::optional<ImagingEnd> end = job.Finish();
        ASSERT_TRUE(end);
        EXPECT_EQ(end->outcome.result, c.end == CopyEnd::Complete  ? ImagingResult::Completed
                                       : c.end == CopyEnd::Stopped ? ImagingResult::Aborted
                                                                   : ImagingResult::Failed);
        const std::string once = t.Log();
        EXPECT_TRUE(job.Finish());
        EXPECT_EQ(t.Log(), once) << "a second Finish writes nothing";
        std::vector<std::string> expected = t.Opening(false);
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(LogLines(t.Log()), expected);
    }
}

TEST(ImagingJobTest, EachCopyOfOneJobHasItsOwnSummary) {
    RunRig t;
    t.UseCard(std::vector<std::uint8_t>(24 * kSectorSize, 1));
    testing::FakeDestination dest;
    dest.folders.insert("/other");
    ImagingJob job({t.source, t.policy, t.io, dest}, t.runLog);
    for (const char* folder : {"/dest", "/other"}) {
        ASSERT_TRUE(job.Start({MakeImageBaseName(folder), false}));
        while (!job.WaitUntilEnded(std::chrono::milliseconds(1000))) {
        }
        ASSERT_TRUE(job.Finish());
    }
    using Lines = std::vector<std::string>;
    EXPECT_EQ(LogLines(t.Log()), Lines({"Analysing Disk Imaging Information :", "Current Sector : 24 / 24",
                                  "Last File : /dest/Image0.img", "Disk Imaging Completed Successfully",
                                  "Analysing Disk Imaging Information :", "Current Sector : 24 / 24",
                                  "Last File : /other/Image0.img", "Disk Imaging Completed Successfully"}));
}

}  // namespace
}  // namespace zt::jobs
