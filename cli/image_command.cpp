// pictora-cli image: copies a sector range of a device, a raw disk image or
// an image set into an image set that `pictora-cli scan` can read later in
// place of a failing medium.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "core/imaging/imaging_destination.h"
#include "core/imaging/imaging_thread.h"
#include "core/imaging/pause_gate.h"
#include "logs/activity_entries.h"
#include "platform/console.h"
#include "platform/files.h"

namespace zt::cli {

namespace {

// ---------------------------------------------------------------------------
// Stand-ins for the helpers every subcommand shares (exit statuses, source
// opening, range check, terminal question, progress line). They are kept
// small so the shared ones can take their place one for one.

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int ExitStopped = 130;

void PrintError(std::string_view text) { std::cerr << "pictora-cli: " << text << '\n'; }

enum class BadSectorMode { Default, Ask, Retry, Skip };

std::optional<BadSectorMode> ParseBadSectorMode(std::string_view text) {
    if (text == "ask") return BadSectorMode::Ask;
    if (text == "retry") return BadSectorMode::Retry;
    if (text == "skip") return BadSectorMode::Skip;
    return std::nullopt;
}

// Serialises stderr between the progress line and the questions.
class TerminalLines {
public:
    void ShowProgress(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string out = "\r" + line;
        if (line.size() < shown_) out.append(shown_ - line.size(), ' ');
        std::cerr << out << std::flush;
        shown_ = line.size();
    }
    void EndProgress() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shown_ != 0) std::cerr << '\n';
        shown_ = 0;
    }
    // Runs fn with the progress line cleared and held back.
    template <typename Fn>
    auto Exclusive(Fn&& fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shown_ != 0) std::cerr << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
        shown_ = 0;
        return fn();
    }

private:
    std::mutex mutex_;
    std::size_t shown_ = 0;
};

// The bad-sector question on the terminal; end of input counts as Skip.
class TerminalBadSectorPrompt final : public BadSectorPrompt {
public:
    explicit TerminalBadSectorPrompt(TerminalLines& lines) : lines_(lines) {}
    BadSectorPolicy Ask() override {
        return lines_.Exclusive([] {
            for (;;) {
                std::cerr << "Encountered Bad Sector(s) while reading disk.\n"
                          << "[R]etry, [S]kip, R[e]try All, Skip [A]ll? " << std::flush;
                std::string line;
                if (!std::getline(std::cin, line)) return Skip;
                const char c = line.empty() ? ' ' : static_cast<char>(line[0] | 0x20);
                if (c == 'r') return Retry;
                if (c == 's') return Skip;
                if (c == 'e') return RetryAll;
                if (c == 'a') return SkipAll;
            }
        });
    }

private:
    TerminalLines& lines_;
};

void ApplyBadSectorMode(BadSectorMode mode, BadSectorPolicyState& policy, BadSectorPrompt& prompt) {
    if (mode == BadSectorMode::Default) mode = platform::StdinIsTerminal() ? BadSectorMode::Ask : BadSectorMode::Retry;
    if (mode == BadSectorMode::Ask) policy.SetPrompt(&prompt);
    if (mode == BadSectorMode::Retry) policy.Set(RetryAll);
    if (mode == BadSectorMode::Skip) policy.Set(SkipAll);
}

struct SourceChoice {
    bool imageSet = false;
    std::uint64_t sizeSectors = 0;
};

std::string CannotOpenText(const std::string& path, int error) {
    std::string text = "cannot open " + path + " for reading: " + std::strerror(error);
    if (error == EACCES || error == EPERM) text += ". Reading a disk needs root privileges: run pictora-cli with sudo";
    return text;
}

// Points the descriptor at a device, a raw image file, or a folder holding
// an image set (read as one file only when it is a single part larger than a
// part's normal size); prints why not and returns nothing when it cannot be read.
std::optional<SourceChoice> OpenSource(const std::string& path, SourceDescriptor& source) {
    platform::RawIo& io = platform::SystemRawIo();
    SourceChoice choice;
    if (platform::SystemDestinationIo().IsFolder(path)) {
        std::uint64_t total = 0;
        int parts = 0;
        for (;; ++parts) {
            auto part = io.FindEntryNoCase(path, "image" + std::to_string(parts) + ".img");
            if (!part) break;
            platform::OpenResult opened = io.Open(*part);
            if (opened.handle < 0) {
                PrintError(CannotOpenText(*part, opened.error));
                return std::nullopt;
            }
            total += io.Size(opened.handle).value_or(0);
            io.Close(opened.handle);
        }
        if (parts == 0) {
            PrintError(DestinationCheckMessage(DestinationCheck::PathNotFound) + " (" + path + " holds no Image0.img)");
            return std::nullopt;
        }
        source.ImageMode = true;
        source.ImageFolder = path;
        source.ImageMultiFile = !(parts == 1 && total > ImagePartBytes);
        choice.imageSet = true;
        choice.sizeSectors = (total + kSectorSize - 1) / kSectorSize;
        return choice;
    }
    platform::OpenResult opened = io.Open(path);
    if (opened.handle < 0) {
        PrintError(opened.error == ENOENT ? "cannot read " + path + ": " + std::strerror(ENOENT)
                                          : CannotOpenText(path, opened.error));
        return std::nullopt;
    }
    std::optional<std::uint64_t> size = io.Size(opened.handle);
    io.Close(opened.handle);
    if (!size) {
        PrintError("cannot read " + path + ": not a block device, a disk image file or a folder of image files");
        return std::nullopt;
    }
    source.DeviceNames[0] = path;
    source.DeviceIndex = 0;
    choice.sizeSectors = (*size + kSectorSize - 1) / kSectorSize;
    return choice;
}

// A decimal sector number as typed: digits only, at most 4,294,967,295.
std::optional<std::uint64_t> ReadSectorNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 4'294'967'295ULL) return std::nullopt;
    return value;
}

// The typed range, or the whole source; false after printing the refusal.
bool ApplyRange(const std::optional<std::string>& range, const SourceChoice& choice, SourceDescriptor& source) {
    std::string startText = "0";
    std::string endText = std::to_string(choice.sizeSectors);
    if (range) {
        const std::size_t colon = range->find(':');
        startText = range->substr(0, colon);
        endText = colon == std::string::npos ? std::string() : range->substr(colon + 1);
    }
    const std::optional<std::uint64_t> start = ReadSectorNumber(startText);
    const std::optional<std::uint64_t> end = ReadSectorNumber(endText);
    if (!start) {
        PrintError("Start sector is not valid.");
        return false;
    }
    if (!end) {
        PrintError("End sector is not valid.");
        return false;
    }
    if (*end <= *start) {
        PrintError("End sector should be bigger than start sector.");
        return false;
    }
    source.RangeStart = *start;
    source.RangeEnd = *end;
    if (source.RangeEnd > choice.sizeSectors) {
        std::cerr << "pictora-cli: warning: the range ends at sector " << source.RangeEnd << ", past the end of the source ("
                  << choice.sizeSectors << " sectors); the sectors beyond it are written as zeros\n";
    }
    return true;
}

// "sector 1234 / 5678 (21%) | 310.5 MB/s | 0:00:42 left | Image0.img"
std::string ProgressText(std::uint64_t current, const SourceDescriptor& source, double seconds,
                         const std::string& part) {
    const std::uint64_t total = source.RangeEnd - source.RangeStart;
    const std::uint64_t done = current > source.RangeStart ? std::min(current - source.RangeStart, total) : 0;
    std::string text = "sector " + std::to_string(current) + " / " + std::to_string(source.RangeEnd) + " (" +
                       std::to_string(total == 0 ? 100 : done * 100 / total) + "%)";
    if (seconds > 0.5 && done > 0) {
        const double bytesPerSecond = static_cast<double>(done) * kSectorSize / seconds;
        const auto left = static_cast<long long>(static_cast<double>(total - done) * kSectorSize / bytesPerSecond);
        char figures[96];
        std::snprintf(figures, sizeof figures, " | %.1f MB/s | %lld:%02lld:%02lld left", bytesPerSecond / 1e6,
                      left / 3600, left / 60 % 60, left % 60);
        text += figures;
    }
    if (!part.empty()) text += " | " + part.substr(part.find_last_of('/') + 1);
    return text;
}

// ---------------------------------------------------------------------------

constexpr std::string_view kImageHelp = R"(Usage: pictora-cli image SOURCE DEST_DIR [options]

Copies the sectors of SOURCE, raw, into an image set in the folder DEST_DIR:
one file Image0.img, or with --multifile numbered parts Image0.img,
Image1.img, ... of 1331200 sectors (650 MiB) each. `pictora-cli scan DEST_DIR`
reads the set later in place of a failing medium. SOURCE is never written to.
Existing parts of the same names in DEST_DIR are replaced.

SOURCE is one of:
  a block device       a whole disk (/dev/sdb, /dev/mmcblk0) or a partition
                       (/dev/sdb1); reading a disk needs root privileges (sudo)
  a raw disk image     a regular file holding a sector copy, such as card.dd
  a folder             holding an image set (Image0.img, Image1.img, ...)

Options:
  --range START:END    copy sectors START up to, not including, END (decimal,
                       at most 4294967295). Default: the whole source.
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
arguments, range or destination; 130 stopped with Ctrl+C.
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
    // The log and the messages name the parts by full path, wherever the run started.
    if (!options.destination.starts_with('/')) {
        options.destination = platform::JoinPath(platform::CurrentFolder(), options.destination);
    }
    return options;
}

// The run header's description of the source, as the activity log keeps it.
RunHeader ImagingRunHeader(const ImageOptions& options, const SourceChoice& choice, const SourceDescriptor& source) {
    RunHeader header;
    header.mediaRecovery = false;
    if (choice.imageSet) {
        header.group = "Selected Image";
        header.label = platform::JoinPath(source.ImageFolder, "Image0.img");
    } else {
        header.group = "Selected Disk";
        header.label = options.source;
    }
    header.infoLines = {"Source : " + options.source, "Total Sectors : " + std::to_string(choice.sizeSectors)};
    header.rangeStart = std::to_string(source.RangeStart);
    header.rangeEnd = std::to_string(source.RangeEnd);
    return header;
}

// Asks whether to stop, with the copy held at its next chunk meanwhile.
// Without a terminal to ask on, the request stands as given.
bool ConfirmStop(TerminalLines& lines, PauseGate& gate) {
    if (!platform::StdinIsTerminal()) return true;
    PauseGate::Hold hold(gate);
    return lines.Exclusive([] {
        std::cerr << "Are you sure you want to stop this process? [y/N] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return true;
        return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
    });
}

void ShowProgress(TerminalLines& lines, const ImagingProgress& progress, const SourceDescriptor& source,
                  double seconds) {
    lines.ShowProgress(ProgressText(progress.CurrentSector.load(), source, seconds, progress.LastFileName()));
}

// Runs the copy on its thread, shows progress and handles Ctrl+C until it ends.
ImagingOutcome RunImaging(ImagingCopy& copy, ImagingJob job, const ImagingProgress& progress,
                          const SourceDescriptor& source, std::atomic<bool>& stopRequest, TerminalLines& lines) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0 = Clock::now();
    const bool showProgress = platform::StderrIsTerminal();
    Clock::time_point nextProgress = t0;
    PauseGate gate;
    job.chunkBoundary = [&gate] { gate.PassThrough(); };

    platform::CatchInterrupt();
    ImagingThread thread;
    if (!thread.Start(copy, std::move(job))) return {};
    while (thread.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!stopRequest.load() && platform::InterruptRequested()) {
            // A confirmed stop leaves the flag up: another Ctrl+C quits at once.
            if (ConfirmStop(lines, gate)) {
                stopRequest.store(true);
            } else {
                platform::ClearInterrupt();
            }
        }
        const Clock::time_point now = Clock::now();
        if (showProgress && now >= nextProgress) {
            nextProgress = now + std::chrono::seconds(1);
            ShowProgress(lines, progress, source, std::chrono::duration<double>(now - t0).count());
        }
    }
    thread.Join();
    if (showProgress) {
        ShowProgress(lines, progress, source, std::chrono::duration<double>(Clock::now() - t0).count());
        lines.EndProgress();
    }
    return thread.Outcome();
}

}  // namespace

int ImageCommand(std::span<const std::string> args) {
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

    platform::IgnoreFileSizeSignal();
    SourceDescriptor source;
    const std::optional<SourceChoice> choice = OpenSource(options.source, source);
    if (!choice) return ExitFailure;
    if (!ApplyRange(options.range, *choice, source)) return ExitUsage;

    const DestinationCheck check = CheckImagingDestination(platform::SystemDestinationIo(), options.destination, source);
    if (check != DestinationCheck::Ok) {
        PrintError(DestinationCheckMessage(check));
        return check == DestinationCheck::InsufficientSpace ? ExitFailure : ExitUsage;
    }

    TerminalLines lines;
    TerminalBadSectorPrompt prompt(lines);
    BadSectorPolicyState policy;
    ApplyBadSectorMode(options.badSectors, policy, prompt);

    WriteEntries(ProcessLogContext(), LogKind::Activity, RunHeaderEntries(ImagingRunHeader(options, *choice, source)));

    SectorReader reader(source, policy);
    ImagingProgress progress;
    std::atomic<bool> stopRequest{false};
    ImagingCopy copy(reader, platform::SystemDestinationIo(), progress, stopRequest);
    const ImagingOutcome outcome = RunImaging(copy, {MakeImageBaseName(options.destination), options.multiFile, {}},
                                              progress, source, stopRequest, lines);

    WriteEntries(ProcessLogContext(), LogKind::Activity,
                 ImagingSummaryEntries({progress.CurrentSector.load(), progress.TotalSectors.load(),
                                        progress.LastFileName(), outcome.result == ImagingResult::Aborted,
                                        ImagingFailureReason(outcome)}));
    std::cout << "Current Sector : " << progress.CurrentSector.load() << " / " << progress.TotalSectors.load() << '\n'
              << "Last File : " << progress.LastFileName() << '\n';
    switch (outcome.result) {
        case ImagingResult::Completed:
            std::cout << ImagingOutcomeMessage(outcome) << '\n';
            return ExitOk;
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
