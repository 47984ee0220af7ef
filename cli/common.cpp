#include "cli/common.h"

#include <cstring>
#include <iostream>
#include <vector>

#include "cli/source_listing.h"
#include "platform/files.h"
#include "platform/path_kind.h"
#include "platform/terminal.h"
#include "ui/words/source_words.h"

namespace zt::cli {

void PrintError(std::string_view text) { std::cerr << ProgramName << ": " << text << '\n'; }
void PrintWarning(std::string_view text) { std::cerr << ProgramName << ": warning: " << text << '\n'; }

void TerminalLines::ShowProgress(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out = "\r" + line;
    if (line.size() < shownWidth_) out.append(shownWidth_ - line.size(), ' ');
    std::cerr << out << std::flush;
    shownWidth_ = line.size();
}

void TerminalLines::EndProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shownWidth_ != 0) std::cerr << '\n';
    shownWidth_ = 0;
}

void TerminalLines::ClearLocked() {
    if (shownWidth_ == 0) return;
    std::cerr << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
    shownWidth_ = 0;
}

namespace {

// The typed answer without surrounding blanks, in capitals.
std::string TypedAnswer(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.remove_suffix(1);
    return UpperCase(line);
}

}  // namespace

std::optional<BadSectorPolicy> ParseBadSectorAnswer(std::string_view line) {
    const std::string answer = TypedAnswer(line);
    if (answer == "R" || answer == "RETRY") return Retry;
    if (answer == "S" || answer == "SKIP") return Skip;
    if (answer == "E" || answer == "RETRY ALL") return RetryAll;
    if (answer == "A" || answer == "SKIP ALL") return SkipAll;
    return std::nullopt;
}

BadSectorPolicy TerminalBadSectorPrompt::Ask() {
    return lines_.Exclusive([] {
        for (;;) {
            std::cerr << "Encountered Bad Sector(s) while reading disk.\n"
                      << "[R]etry, [S]kip, R[e]try All, Skip [A]ll? " << std::flush;
            std::string line;
            if (!std::getline(std::cin, line)) {
                std::cerr << '\n';
                return Skip;
            }
            if (std::optional<BadSectorPolicy> answer = ParseBadSectorAnswer(line)) return *answer;
        }
    });
}

void InterruptWatch::Poll(WorkerSlot& worker) {
    if (stopped_ || !platform::InterruptRequested()) return;
    const bool stop = AskToStop(worker, [this] { return !confirm_ || confirm_(); });
    if (!stop && worker.Running()) {
        platform::ClearInterrupt();  // answered no: the next Ctrl+C asks again
        return;
    }
    // The flag stays up, so the next Ctrl+C ends the program at once.
    stopped_ = true;
    if (!stop || notice_.empty()) return;
    lines_.Exclusive([this] {
        std::cerr << notice_ << " (Ctrl+C again quits at once).\n";
        return 0;
    });
}

std::optional<OverwriteAnswer> ParseOverwriteAnswer(std::string_view line) {
    // The letters are the dialog's mnemonics: &Yes, Y&es to All, &No, N&o to ALL.
    const std::string answer = TypedAnswer(line);
    if (answer == "Y" || answer == "YES") return OverwriteAnswer::Yes;
    if (answer == "E" || answer == "YES TO ALL") return OverwriteAnswer::YesToAll;
    if (answer == "N" || answer == "NO") return OverwriteAnswer::No;
    if (answer == "O" || answer == "NO TO ALL") return OverwriteAnswer::NoToAll;
    return std::nullopt;
}

OverwriteAnswer TerminalOverwritePrompt::Ask(const std::string& fileName) {
    return lines_.Exclusive([&fileName] {
        for (;;) {
            std::cerr << OverwriteQuestionText(fileName) << '\n'
                      << kOverwriteQuestionSecondLine << '\n'
                      << "[Y]es, Y[e]s to All, [N]o, N[o] to ALL? " << std::flush;
            std::string line;
            if (!std::getline(std::cin, line)) {
                std::cerr << '\n';
                return OverwriteAnswer::Closed;
            }
            if (std::optional<OverwriteAnswer> answer = ParseOverwriteAnswer(line)) return *answer;
        }
    });
}

std::string SourceProblemText(const std::string& path, const SourceChoice& choice) {
    const std::string failed = choice.problemPath.empty() ? path : choice.problemPath;
    switch (choice.problem) {
        case SourceProblem::None: return {};
        case SourceProblem::Missing:
            return "cannot read " + failed + ": " + std::strerror(choice.errnoValue);
        case SourceProblem::NotASource:
            return "cannot read " + failed + ": not a block device, a disk image file or a folder of image files";
        case SourceProblem::NoImageInFolder:
            return std::string(ImagePathNotFoundMessage()) + " (" + failed + " holds no " +
                   std::string(ImageFirstPartName) + ")";
        case SourceProblem::PartMissing:
        case SourceProblem::PartWrongSize:
            return "cannot read " + path + ": " + ImageSetProblemText(choice);
        case SourceProblem::EmptySource:
            return "cannot read " + failed + ": the source is empty (0 bytes), there is no sector to read";
        case SourceProblem::SizeUnknown:
            return "cannot read " + failed + ": its size cannot be found";
        case SourceProblem::CannotOpen: {
            if (std::string refusal = ServiceRefusalText(choice); !refusal.empty()) return refusal;
            std::string text = "cannot open " + failed + " for reading: " + std::strerror(choice.errnoValue);
            if (choice.errnoValue == EACCES || choice.errnoValue == EPERM) {
                text += ". Reading a disk needs root privileges: run pictora-cli with sudo";
            }
            return text;
        }
    }
    return {};
}

std::optional<BadSectorMode> ParseBadSectorMode(std::string_view text) {
    if (text == "ask") return BadSectorMode::Ask;
    if (text == "retry") return BadSectorMode::Retry;
    if (text == "skip") return BadSectorMode::Skip;
    return std::nullopt;
}

void ApplyBadSectorMode(BadSectorMode mode, BadSectorPolicyState& policy, BadSectorPrompt& prompt) {
    if (mode == BadSectorMode::Default) mode = platform::StdinIsTerminal() ? BadSectorMode::Ask : BadSectorMode::Retry;
    switch (mode) {
        case BadSectorMode::Ask: policy.SetPrompt(&prompt); break;
        case BadSectorMode::Retry: policy.Set(RetryAll); break;
        case BadSectorMode::Skip: policy.Set(SkipAll); break;
        case BadSectorMode::Default: break;
    }
}

namespace {

// What SOURCE names: the source, the label the run header shows for it, and
// the path to read. A label names its drive or disk and is shown as typed; a
// path is made absolute (the page's items are), with a device named as the
// lists name it, while refusals name the path as it was typed.
struct NamedSource {
    SourceRef ref;
    std::string label;
    std::string path;
};

std::optional<NamedSource> NameSource(SourceListing& listing, const std::string& argument) {
    const std::optional<SourceRef> labelled = platform::InspectPath(argument).kind == platform::PathKind::Missing
                                                  ? SourceRefForLabel(argument)
                                                  : std::nullopt;
    if (labelled) {
        if (std::holds_alternative<DiskRef>(*labelled) && listing.Model().error != DeviceListError::None) {
            PrintError(DescribeDeviceListError(listing.Model().error));
            return std::nullopt;
        }
        std::string device = SourcePath(*labelled, listing.Context());
        if (device.empty()) {
            PrintError("'" + argument + "' is not in the list of drives and disks ('pictora-cli devices' shows it)");
            return std::nullopt;
        }
        std::cerr << argument << " is " << device << '\n';
        return NamedSource{*labelled, argument, device};
    }
    const std::optional<std::string> absolute = AbsoluteArgument(argument, "SOURCE");
    if (!absolute) return std::nullopt;
    const platform::PathKind kind = platform::InspectPath(*absolute).kind;
    std::string named = *absolute;
    if (kind == platform::PathKind::BlockDevice) named = platform::ResolvedPath(*absolute).value_or(*absolute);
    SourceRef ref = SourceRefForPath(named, kind, listing.Context());
    std::string label = SourceLabel(ref, listing.Context().drives);
    return NamedSource{std::move(ref), std::move(label), argument};
}

void PrintRangeRefusal(RangeProblem problem) {
    PrintError(RangeProblemMessage(problem));
    if (problem == RangeProblem::StartInvalid || problem == RangeProblem::EndInvalid) {
        std::cerr << "A sector number is written in decimal digits, from 0 to " << MaxRangeSector << ".\n";
    }
}

}  // namespace

std::variant<SelectedSource, int> SelectSource(Session& session, const std::string& argument,
                                               const std::optional<std::string>& range, bool mediaRecovery) {
    // As the page opens: the device key lists the disks, so disk numbers and
    // the numbers images are registered under are the page's.
    SourceListing listing(session);
    (void)listing.Model();
    const std::optional<NamedSource> named = NameSource(listing, argument);
    if (!named) return ExitFailure;
    SourceDescriptor probe;
    const SourceChoice choice = ChooseSource(named->path, probe, session.Seams().rawIo);
    if (!choice.Ok()) {
        PrintError(SourceProblemText(named->path, choice));
        return ExitFailure;
    }

    SourceDescriptor& source = session.Source();
    SelectionContext& context = listing.Context();
    const SourceDescription shown = DescribeSource(named->ref, context, source);
    if (shown.problem) {
        PrintError(SourceProblemText(named->path, *shown.problem));
        return ExitFailure;
    }
    SourceRange chosenRange = SourceRange::Whole();
    if (range) {
        const std::size_t colon = range->find(':');
        chosenRange = SourceRange::Typed(range->substr(0, colon),
                                         colon == std::string::npos ? std::string() : range->substr(colon + 1));
    }
    const ChooseOutcome next = ChooseSourceRef(named->ref, shown, chosenRange, mediaRecovery, context, source);
    if (next.range != RangeProblem::None) {
        PrintRangeRefusal(next.range);
        return ExitUsage;
    }
    if (next.readProblem) {
        PrintError(SourceProblemText(named->path, *next.readProblem));
        return ExitFailure;
    }
    if (source.RangeEnd > choice.SizeSectors()) {
        PrintWarning("the range ends at sector " + std::to_string(source.RangeEnd) + ", past the end of the source (" +
                     std::to_string(choice.SizeSectors()) + " sectors); the sectors beyond it read as zeros");
    }
    return SelectedSource{choice, MakeRunHeader(next.chosen, named->label)};
}

std::string ProgressText(const ProgressFigures& f) {
    const std::uint64_t total = f.rangeEnd > f.rangeStart ? f.rangeEnd - f.rangeStart : 0;
    const std::uint64_t done = f.current > f.rangeStart ? std::min(f.current - f.rangeStart, total) : 0;
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    std::string text = "sector " + std::to_string(f.current) + " / " + std::to_string(f.rangeEnd) + " (" +
                       std::to_string(percent) + "%)";
    if (f.files) text += " | " + std::to_string(*f.files) + " files";
    if (f.seconds > 0.5 && done > 0) {
        const double bytesPerSecond = static_cast<double>(done) * kSectorSize / f.seconds;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f MB/s", bytesPerSecond / 1e6);
        const auto left = static_cast<std::int64_t>(static_cast<double>(total - done) * kSectorSize / bytesPerSecond);
        char eta[48];
        std::snprintf(eta, sizeof eta, "%lld:%02lld:%02lld left", static_cast<long long>(left / 3600),
                      static_cast<long long>(left / 60 % 60), static_cast<long long>(left % 60));
        text += std::string(" | ") + rate + " | " + eta;
    }
    if (!f.writing.empty()) text += " | " + f.writing;
    return text;
}

std::string SizeText(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char buffer[32];
    if (unit == 0) {
        std::snprintf(buffer, sizeof buffer, "%llu B", static_cast<unsigned long long>(bytes));
    } else {
        std::snprintf(buffer, sizeof buffer, "%.1f %s", value, kUnits[unit]);
    }
    return buffer;
}

void PrintUnreadable(std::uint64_t sectors) {
    if (sectors == 0) return;
    PrintWarning(std::to_string(sectors) + (sectors == 1 ? " sector" : " sectors") +
                 " of the source could not be read and " + (sectors == 1 ? "was" : "were") + " given as zeros");
}

std::optional<std::string> AbsoluteArgument(const std::string& path, std::string_view what) {
    std::optional<std::string> absolute = platform::AbsolutePath(path);
    if (!absolute) {
        PrintError(std::string(what) + " '" + path +
                   "' is relative, but the current folder no longer exists: give it as an absolute path");
    }
    return absolute;
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        items.emplace_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) break;
        from = at + 1;
    }
    return items;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace zt::cli
