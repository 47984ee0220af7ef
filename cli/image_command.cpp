// pictora-cli image: copies a sector range of a device, a raw disk image or
// an image set into an image set that `pictora-cli scan` can read later in
// place of a failing medium.
#include <chrono>
#include <iostream>
#include <optional>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/job_wait.h"
#include "core/imaging/imaging_destination.h"
#include "logs/activity_entries.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "recovery/jobs/imaging_job.h"

namespace zt::cli {

namespace {


constexpr std::string_view kImageHelp = R"(Usage: pictora-cli image SOURCE DEST_DIR [options]

Copies the sectors of SOURCE, raw, into an image set in the folder DEST_DIR:
one file Image0.img, or with --multifile numbered parts Image0.img,
Image1.img, ... of 1331200 sectors (650 MiB) each. `pictora-cli scan DEST_DIR`
reads the set later in place of a failing medium. SOURCE is never written to.
Existing parts of the same names in DEST_DIR are replaced.

SOURCE is one of:
  a block device       a whole disk (/dev/sdb, /dev/mmcblk0) or a partition
                       (/dev/sdb1); a disk the user may not read is opened
                       read-only through udisks2, which asks for the
                       password on the terminal (or run it with sudo)
  a raw disk image     a regular file holding a sector copy, such as card.dd
  a folder             holding an image set (Image0.img, Image1.img, ...)
  a label              of a drive or disk as 'pictora-cli devices' lists it:
                       Disk1, 'Local Disk (sdb1)', 'HOLIDAY (mmcblk0p1)'

Options:
  --range START:END    copy sectors START up to, not including, END (decimal,
                       at most 18014398509481983). Default: the whole source.
  --multifile          write parts of 1331200 sectors instead of one file
  --bad-sectors ask|retry|skip
                       what to do with sectors that cannot be read: ask on the
                       terminal each time (Retry, Skip, Retry All, Skip All),
                       retry each one sector by sector, or skip it. Sectors
                       that stay unreadable are written as zeros.
                       Default: ask when input is a terminal, otherwise retry.
  --help               show this text

While it runs, progress is shown on stderr when stderr is a terminal. Ctrl+C
asks whether to stop (when input is a terminal) and stops after the sectors
being copied; what was written so far stays. A second Ctrl+C ends the program
at once.

Exit status: 0 the image was completed; 1 the source cannot be read, the
destination has too little space, or writing the image failed; 2 bad
arguments, range or destination; 3 the image was completed, but sectors that
could not be read were written as zeros (their count is printed and logged);
130 stopped with Ctrl+C.
)";

struct ImageOptions {
    std::string source;
    std::string destination;
    std::optional<std::string> range;
    bool multiFile = false;
    BadSectorMode badSectors = BadSectorMode::Default;
    bool help = false;
};

std::variant<ImageOptions, std::string> ParseImageOptions(std::span<const std::string> args) {
    ImageOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--multifile") {
            options.multiFile = true;
        } else if (arg == "--range" || arg == "--bad-sectors") {
            std::optional<std::string> v = inlineValue;
            if (!v && i + 1 < args.size()) v = args[++i];
            if (!v) return "option " + arg + " needs a value";
            if (arg == "--range") {
                options.range = *v;
            } else if (std::optional<BadSectorMode> mode = ParseBadSectorMode(*v)) {
                options.badSectors = *mode;
            } else {
                return "--bad-sectors wants ask, retry or skip, not '" + *v + "'";
            }
        } else if (arg.starts_with("-") && arg != "-") {
            return "unknown option " + arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (options.help) return options;
    if (positional.size() != 2) return "image needs a SOURCE and a DEST_DIR";
    options.source = positional[0];
    options.destination = positional[1];
    return options;
}

// Asks whether to stop, with the copy held at its next chunk meanwhile.
// Without a terminal to ask on, the request stands as given.
// Asked while the copy is held at its next chunk.
bool ConfirmStop(TerminalLines& lines) {
    if (!platform::StdinIsTerminal()) return true;
    return lines.Exclusive([] {
        std::cerr << "Are you sure you want to stop this process? [y/N] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return true;
        return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
    });
}

std::string ImagingProgressLine(const jobs::ImagingJob& job, double seconds) {
    const ImagingProgress& progress = job.Progress();
    const std::string part = progress.LastFileName();
    ProgressFigures figures;
    figures.current = progress.CurrentSector.load();
    figures.rangeStart = job.Source().RangeStart;
    figures.rangeEnd = job.Source().RangeEnd;
    figures.seconds = seconds;
    figures.writing = part.substr(part.find_last_of('/') + 1);
    return ProgressText(figures);
}

// Runs the copy on its thread, shows progress and handles Ctrl+C until it
// ends; nothing when the copy could not be started.
std::optional<jobs::ImagingEnd> RunImaging(jobs::ImagingJob& job, ImagingJob what, TerminalLines& lines) {
    if (!WaitForJob(lines, {.slot = job.Slot(),
                       .start = [&job, &what] { return job.Start(std::move(what)); },
                       .ended = [&job](std::chrono::milliseconds step) { return job.WaitUntilEnded(step); },
                       .progressLine = [&job](double seconds) { return ImagingProgressLine(job, seconds); },
                       .confirmStop = [&lines] { return ConfirmStop(lines); }})) {
        return std::nullopt;
    }
    return job.Finish();
}

}  // namespace

int ImageCommand(Session& session, std::span<const std::string> args) {
    auto parsed = ParseImageOptions(args);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        PrintError(*error);
        std::cerr << "Try 'pictora-cli image --help'.\n";
        return ExitUsage;
    }
    const ImageOptions& options = std::get<ImageOptions>(parsed);
    if (options.help) {
        std::cout << kImageHelp;
        return ExitOk;
    }

    // Like the main page, the run begins its activity-log entries with the start block.
    const jobs::RunLog runLog(session.Logs());
    runLog.Begin(session.Settings(), std::time(nullptr));

    // The log and the messages name the parts by full path, wherever the run started.
    const std::optional<std::string> destination = AbsoluteArgument(options.destination, "DEST_DIR");
    if (!destination) return ExitUsage;

    SourceDescriptor& source = session.Source();
    const auto selected = SelectSource(session, options.source, options.range, false);
    if (const int* status = std::get_if<int>(&selected)) return *status;

    const DestinationCheck check =
        CheckImagingDestination(session.Seams().destination, *destination, source, session.Seams().rawIo);
    if (check != DestinationCheck::Ok) {
        PrintError(DestinationCheckMessage(check));
        return check == DestinationCheck::InsufficientSpace ? ExitFailure : ExitUsage;
    }

    TerminalLines lines;
    TerminalBadSectorPrompt prompt(lines);
    BadSectorPolicyState& policy = session.BadSectors();
    ApplyBadSectorMode(options.badSectors, policy, prompt);

    runLog.SourceChosen(std::get<SelectedSource>(selected).header);

    jobs::ImagingJob job({source, policy, session.Seams().rawIo, session.Seams().destination}, runLog);
    const std::optional<jobs::ImagingEnd> ended =
        RunImaging(job, {MakeImageBaseName(*destination), options.multiFile}, lines);
    if (!ended) {
        PrintError("the imaging copy could not be started");
        return ExitFailure;
    }
    const auto& [outcome, summary] = *ended;
    const std::uint64_t unreadable = summary.unreadableSectors;

    std::cout << "Current Sector : " << summary.currentSector << " / " << summary.totalSectors << '\n'
              << "Last File : " << summary.lastFile << '\n';
    if (unreadable != 0) std::cout << UnreadableSectorsEntry(unreadable) << '\n';
    std::cout << std::flush;
    PrintUnreadable(unreadable);
    switch (outcome.result) {
        case ImagingResult::Completed:
            std::cout << ImagingOutcomeMessage(outcome) << '\n';
            return unreadable != 0 ? ExitUnreadable : ExitOk;
        case ImagingResult::Aborted:
            std::cout << ImagingOutcomeMessage(outcome) << '\n';
            return ExitStopped;
        case ImagingResult::Failed:
            PrintError(ImagingOutcomeMessage(outcome));
            return ExitFailure;
    }
    return ExitFailure;
}

}  // namespace zt::cli
