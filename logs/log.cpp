#include "logs/log.h"

#include <algorithm>
#include <vector>

#include "logs/code_page.h"
#include "platform/files.h"

namespace zt {

namespace {

struct LogKindTexts {
    const char* folderValue;
    const char* fileName;
    const char* clearQuestion;
    const char* viewNotFound;
};

const LogKindTexts& TextsOf(LogKind kind) {
    static const LogKindTexts activity{kActivityLogValue, "Activity Log.txt",
                                       "Are you sure you want to delete Activity Report",
                                       "Activity Report file not found"};
    static const LogKindTexts recovery{kRecoveryLogValue, "Recovery Log.txt",
                                       "Are you sure you want to delete Recovery History",
                                       "Recovery Log file not found"};
    return kind == LogKind::Recovery ? recovery : activity;
}

}  // namespace

std::string ResolveLogPath(const LogContext& context, LogKind kind) {
    const LogKindTexts& texts = TextsOf(kind);
    platform::SettingsTree values = context.store.Load();
    std::string folder = values.Value(context.registryKey, texts.folderValue);
    // Only existence is tested; "FilePath" is taken as it is.
    if (folder.empty() || !platform::PathExists(folder)) folder = values.Value(context.registryKey, kFilePathValue);
    // With no folder at all the path would be a file in the root folder,
    // which the program must never scatter files into.
    if (folder.empty()) return {};
    return platform::JoinPath(folder, texts.fileName);
}

std::string LogEntryBytes(std::string_view text) {
    std::string converted = Utf8ToWindows1252(text);
    converted.resize(std::min(converted.find('\0'), std::min(converted.size(), kMaxLogEntryBytes)));
    return "\r\n" + converted;
}

bool WriteLog(const LogContext& context, LogKind kind, std::string_view text) {
    const std::string entry(text);
    return WriteLogEntries(context, kind, std::span<const std::string>(&entry, 1));
}

bool WriteLogEntries(const LogContext& context, LogKind kind, std::span<const std::string> texts) {
    if (texts.empty()) return true;
    const std::string path = ResolveLogPath(context, kind);
    if (path.empty()) return false;
    if (platform::IsRegularFile(path)) platform::MakeOwnerWritable(path);
    // CR LF and each entry go out in one locked append, so another writer's
    // entry can never land between them.
    std::vector<std::string> entries;
    entries.reserve(texts.size());
    for (const std::string& text : texts) entries.push_back(LogEntryBytes(text));
    return platform::AppendLocked(path, entries, kLogSizeLimit) == 0;
}

void ViewLog(const LogContext& context, LogUserInterface& ui, LogKind kind) {
    const std::string path = ResolveLogPath(context, kind);
    if (path.empty() || !platform::PathExists(path)) {
        ui.ShowInformation(TextsOf(kind).viewNotFound);
        return;
    }
    ui.OpenInViewer(path);
}

void ClearLog(const LogContext& context, LogUserInterface& ui, LogKind kind) {
    const LogKindTexts& texts = TextsOf(kind);
    const std::string path = ResolveLogPath(context, kind);
    if (path.empty() || !platform::PathExists(path)) {
        ui.ShowInformation(std::string(texts.fileName) + " file not found");
        return;
    }
    if (!ui.AskOkCancel(texts.clearQuestion)) return;
    // A failed deletion is not reported: the next view shows the file still there.
    platform::MakeOwnerWritable(path);
    platform::RemoveFile(path);
}

}  // namespace zt
