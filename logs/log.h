// The activity log and the recovery log: where they lie, how an entry is
// appended, and the view and clear commands of the menu.
//
// Each entry is the two bytes CR LF followed by the entry's text in
// Windows-1252, cut to 200 bytes. A file that has grown past 5 MiB is started
// anew before the next entry. Nothing here shows anything: questions and
// messages go through LogUserInterface, which the desktop program and the
// command line implement.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "settings/settings.h"

namespace zt {

enum class LogKind : std::int32_t {
    Activity = 0,
    Recovery = 1,
};

inline constexpr std::size_t kMaxLogEntryBytes = 200;
// A file larger than this is deleted (emptied) before the next entry.
inline constexpr std::uint64_t kLogSizeLimit = 5'242'880;

// Where the log folders are looked up. The values are read afresh on every
// operation, so a user's edit of the store takes effect at once. The session
// owns the process's context (its store and AppRegistryKey) and hands it to
// whatever writes a log; nothing here finds a store of its own.
struct LogContext {
    platform::SettingsStore& store;
    std::string registryKey = kAppRegistryKey;
};

// The log file's path: the folder from the kind's value ("Activity Log" or
// "Recovery Log"), or from "FilePath" when that value is empty or names
// nothing that exists; then '/' unless the folder ends in one; then the file
// name. Empty when both values are empty: there is then no folder to use.
std::string ResolveLogPath(const LogContext& context, LogKind kind);

// The bytes one entry adds to its file: CR LF, then text converted from
// UTF-8, cut at a NUL character and to kMaxLogEntryBytes.
std::string LogEntryBytes(std::string_view text);

// Appends text as one entry. Concurrent writers (threads or processes) each
// get their whole entry in; a read-only file is made writable first. Returns
// true when the entry was written. Callers ignore a failure: an entry that
// cannot be written is lost, and nothing is shown.
bool WriteLog(const LogContext& context, LogKind kind, std::string_view text);
// Appends several entries in turn under one lock, each as WriteLog would
// (the file found too large before an entry is emptied first), with the
// log's path looked up once. True when every entry was written.
bool WriteLogEntries(const LogContext& context, LogKind kind, std::span<const std::string> texts);

// What the view and clear commands show. Message boxes carry AppCaption.
class LogUserInterface {
public:
    virtual ~LogUserInterface() = default;
    // Information icon and an OK button.
    virtual void ShowInformation(const std::string& text) = 0;
    // Question icon with OK and Cancel; true on OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    // Shows the file in the desktop's default viewer without waiting for it.
    virtual void OpenInViewer(const std::string& path) = 0;
};

// Opens the log in the viewer, or says "Activity Report file not found" /
// "Recovery Log file not found".
void ViewLog(const LogContext& context, LogUserInterface& ui, LogKind kind);
// Asks "Are you sure you want to delete Activity Report" (or "... Recovery
// History") and deletes the file on OK; or says "<file name> file not found".
void ClearLog(const LogContext& context, LogUserInterface& ui, LogKind kind);

}  // namespace zt
