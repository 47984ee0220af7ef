#include "cli/save_files.h"

#include <atomic>
#include <cstring>
#include <iostream>

#include "app/settings.h"
#include "logs/activity_entries.h"
#include "logs/log.h"
#include "core/source/source_files.h"
#include "platform/destination.h"
#include "platform/path_kind.h"
#include "platform/terminal.h"
#include "recovery/saving_run.h"

namespace zt::cli {

namespace {

constexpr std::string_view kInvalidFolder = "Select the valid path.";

std::unique_ptr<OverwritePrompt> MakePrompt(OverwriteMode mode, TerminalLines& lines) {
    if (mode == OverwriteMode::Default) mode = platform::StdinIsTerminal() ? OverwriteMode::Ask : OverwriteMode::No;
    switch (mode) {
        case OverwriteMode::Yes: return std::make_unique<FixedOverwritePrompt>(OverwriteAnswer::YesToAll);
        case OverwriteMode::Ask: return std::make_unique<TerminalOverwritePrompt>(lines);
        case OverwriteMode::No:
        case OverwriteMode::Default: break;
    }
    return std::make_unique<FixedOverwritePrompt>(OverwriteAnswer::NoToAll);
}

std::string ProgressLine(const SavingRunState& state) {
    const SavingNames names = state.CurrentNames();
    std::string line = "Saving " + std::to_string(state.saved) + " / " + std::to_string(state.total);
    if (!names.file.empty()) line += "  " + names.folder + "/" + names.file;
    return line;
}

}  // namespace

std::optional<std::string> SaveFolderProblem(Session& session, const std::string& folder,
                                             const std::string& sourceName) {
    const platform::PathInfo info = platform::InspectPath(folder);
    if (info.kind == platform::PathKind::Missing) return std::string(kInvalidFolder) + " (" + folder + " does not exist)";
    if (info.kind != platform::PathKind::Folder) return std::string(kInvalidFolder) + " (" + folder + " is not a folder)";
    if (DestinationOnSourceMedium(session.Seams().destination, folder, session.Source(), session.Seams().rawIo)) {
        return "refusing to save into " + folder + ": it lies on " + sourceName +
               ", the medium being recovered, and every file saved there could overwrite files still to be "
               "recovered. Choose a folder on another disk.";
    }
    return std::nullopt;
}

int SaveFoundFiles(Session& session, const SaveOptions& options, TerminalLines& lines, std::ostream& out) {
    session.Found().SetSelectedAll(true);
    const std::unique_ptr<OverwritePrompt> prompt = MakePrompt(options.overwrite, lines);
    const LogContext& log = session.Logs();
    SavingRun run(session.Found(), session.Source(), session.BadSectors(), options.folder,
                  SavingServices{session.Seams().destination, *prompt, log, session.Settings(),
                                 session.RecoveryHeaderWritten(), session.Seams().rawIo});

    // A Ctrl+C that stopped the scan is spent; the next one stops the saving.
    platform::CatchInterrupt();
    platform::ClearInterrupt();
    const bool showProgress = platform::StderrIsTerminal();
    InterruptWatch interrupt(lines, "Stopping: saving ends after the file in hand");
    run.Start();
    while (!run.WaitUntilEnded(std::chrono::milliseconds(300))) {
        interrupt.Poll(run.Slot());
        if (showProgress) lines.ShowProgress(ProgressLine(run.State()));
    }
    run.Join();
    const SavingRunState& state = run.State();
    if (showProgress) {
        lines.ShowProgress(ProgressLine(state));
        lines.EndProgress();
    }

    if (state.total == 0) {
        out << "Nothing to save: no files were found.\n";
    } else {
        // Success is not claimed for a run that lost files or could not flush them.
        if ((state.failed == 0 && state.syncError == 0) || state.aborted) out << SavingEndMessage(state.total, state.aborted) << '\n';
        out << "Saved " << state.saved << " / " << state.total << " files in " << options.folder << '\n';
    }
    const std::string logPath = ResolveLogPath(log, LogKind::Recovery);
    if (!logPath.empty()) out << "Recovery log: " << logPath << '\n';
    out << std::flush;

    if (state.unreadableSectors != 0) {
        out << UnreadableSectorsEntry(state.unreadableSectors) << " in the saved files\n" << std::flush;
    }
    PrintUnreadable(state.unreadableSectors);
    bool failed = false;
    if (state.failed > 0) {
        PrintError(std::to_string(state.failed) + " of " + std::to_string(state.total) +
                   (state.total == 1 ? " file" : " files") + " could not be saved (" +
                   std::strerror(state.lastError) + "); they are not counted above.");
        failed = true;
    }
    if (state.syncError != 0) {
        PrintError("the saved files could not be flushed to " + options.folder + " (" +
                   std::strerror(state.syncError) + "): they may not all be on the medium.");
        failed = true;
    }
    if (failed) return ExitFailure;
    if (state.aborted) return ExitStopped;
    return state.unreadableSectors != 0 ? ExitUnreadable : ExitOk;
}

}  // namespace zt::cli
