#include "cli/save_files.h"

#include <atomic>
#include <cstring>
#include <iostream>

#include "cli/job_wait.h"
#include "logs/activity_entries.h"
#include "logs/log.h"
#include "platform/destination.h"
#include "platform/terminal.h"
#include "recovery/save_checks.h"
#include "recovery/saving_run.h"
#include "settings/settings.h"

namespace zt::cli {

namespace {

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
    const SaveRefusal refusal =
        CheckSaveFolder(folder, session.Source(), session.Seams().destination, session.Seams().rawIo);
    std::string text(SaveRefusalMessage(refusal));
    switch (refusal) {
        case SaveRefusal::None: return std::nullopt;
        case SaveRefusal::FolderMissing: return text + " (" + folder + " does not exist)";
        case SaveRefusal::NotAFolder: return text + " (" + folder + " is not a folder)";
        case SaveRefusal::FolderOnSource: return text + " (" + folder + " lies on " + sourceName + ")";
        case SaveRefusal::NoFileFound: break;
    }
    return text;
}

int SaveFoundFiles(Session& session, const SaveOptions& options, TerminalLines& lines, std::ostream& out) {
    // As on the results page, an empty list is refused before any saving run.
    if (const SaveRefusal refusal = CheckFoundFiles(session.Found()); refusal != SaveRefusal::None) {
        out << SaveRefusalMessage(refusal) << " Nothing was saved.\n" << std::flush;
        return ExitOk;
    }
    session.Found().SetSelectedAll(true);
    const std::unique_ptr<OverwritePrompt> prompt = MakePrompt(options.overwrite, lines);
    const LogContext& log = session.Logs();
    SavingRun run(session.Found(), session.Source(), session.BadSectors(), options.folder,
                  SavingServices{session.Seams().destination, *prompt, log, session.Settings(),
                                 session.RecoveryHeaderWritten(), session.Seams().rawIo});

    // A Ctrl+C that stopped the scan is spent (WaitForJob clears it); the next one stops the saving.
    WaitForJob(lines, {.slot = run.Slot(),
                       .start = [&run] { run.Start(); return true; },
                       .ended = [&run](std::chrono::milliseconds step) { return run.WaitUntilEnded(step); },
                       .progressLine = [&run](double) { return ProgressLine(run.State()); },
                       .step = std::chrono::milliseconds(300),
                       .progressEvery = std::chrono::milliseconds(0),
                       .stopNotice = "Stopping: saving ends after the file in hand"});
    const SavingRunState& state = run.State();

    // Success is not claimed for a run that lost files or could not flush them.
    if ((state.failed == 0 && state.syncError == 0) || state.aborted) out << SavingEndMessage(state.total, state.aborted) << '\n';
    out << "Saved " << state.saved << " / " << state.total << " files in " << options.folder << '\n';
    if (const std::string cut = CutFilesMessage(state.cut); !cut.empty()) out << cut << '\n';
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
                   (state.total == 1 ? " file" : " files") + " could not be saved (" + SavingFailureReason(state) +
                   "); they are not counted above.");
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
