#include "logs/activity_entries.h"

#include "core/source/sector_reader.h"
#include "logs/log_texts.h"

namespace zt {

std::vector<std::string> StartBlockEntries(const AppSettings& settings, std::time_t now) {
    return {kStartBlockLine, settings.WindowTitle, settings.VersionText, StartBlockTimeText(now)};
}

std::vector<std::string> RunHeaderEntries(const RunHeader& header) {
    return {
        "\r\n",
        header.mediaRecovery ? "MEDIA RECOVERY" : "DISK IMAGING",
        "------\r\n",
        header.group + " Information :\r\n" + header.label,
        header.InformationText(),
        "Starting Range : " + header.rangeStart,
        "Ending Range : " + header.rangeEnd,
    };
}

std::string UnreadableSectorsEntry(std::uint64_t sectors) {
    return "Unreadable Sectors : " + std::to_string(sectors) + " (given as zeros)";
}

namespace {

std::string ScanEndEntry(const ScanSummary& summary) {
    // A scan whose source ended early covered only part of its range.
    if (summary.sourceEndedAt) return "Analysing Failed : " + SourceEndedText(*summary.sourceEndedAt);
    return summary.aborted ? "Analysing Aborted" : "Analysing Completed";
}

}  // namespace

std::vector<std::string> ScanSummaryEntries(const ScanSummary& summary) {
    std::vector<std::string> entries = {
        "\r\nAnalysing Files Information :",
        "Current Sector : " + std::to_string(summary.currentSector) + " / " + std::to_string(summary.endSector),
        "Files Found : " + std::to_string(summary.filesFound),
        StartTimeText(summary.startTime),
        ElapsedTimeText(static_cast<std::int64_t>(summary.endTime - summary.startTime)),
        ScanEndEntry(summary),
        "\r\n",
    };
    if (summary.unreadableSectors != 0) entries.push_back(UnreadableSectorsEntry(summary.unreadableSectors));
    return entries;
}

std::vector<std::string> ImagingSummaryEntries(const ImagingSummary& summary) {
    std::string end = "Disk Imaging Completed Successfully\r\n";
    if (!summary.failure.empty()) {
        end = "Disk Imaging Failed : " + summary.failure + "\r\n";
    } else if (summary.aborted) {
        end = "Disk Imaging Aborted\r\n";
    }
    std::vector<std::string> entries = {
        "\r\nAnalysing Disk Imaging Information :",
        "Current Sector : " + std::to_string(summary.currentSector) + " / " + std::to_string(summary.totalSectors),
        "Last File : " + summary.lastFile,
        end,
    };
    if (summary.unreadableSectors != 0) entries.push_back(UnreadableSectorsEntry(summary.unreadableSectors));
    return entries;
}

std::string FileSystemsEntry(const std::vector<FileSystemLine>& fileSystems) {
    if (fileSystems.empty()) return "File Systems : none found";
    std::string entry = "File Systems :";
    for (const FileSystemLine& fs : fileSystems) {
        entry += "\r\n" + fs.name;
        if (!fs.label.empty()) entry += " \"" + fs.label + "\"";
        entry += " : " + std::to_string(fs.live) + " live, " + std::to_string(fs.deleted) + " deleted, " +
                 std::to_string(fs.orphan) + " orphan files";
        for (const std::string& note : fs.notes) entry += "\r\n  " + note;
    }
    return entry;
}

bool WriteEntries(const LogContext& context, LogKind kind, const std::vector<std::string>& entries) {
    return WriteLogEntries(context, kind, entries);
}

}  // namespace zt
