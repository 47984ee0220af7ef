// Pieces every pictora-cli subcommand shares: exit statuses, the terminal
// bad-sector question, the progress line, choosing the source as the source
// page does (with a clear refusal), and the overwrite question.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>
#include <string>
#include <string_view>
#include <variant>

#include "app/session.h"
#include "core/source/bad_sector_policy.h"
#include "core/source/source_selection.h"
#include "core/source/run_header.h"
#include "core/source/source_ref.h"
#include "core/source/worker_slot.h"
#include "recovery/overwrite_prompt.h"

namespace zt::cli {

// Exit statuses of every subcommand.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;  // the source cannot be read, or the work failed
inline constexpr int ExitUsage = 2;    // bad arguments, range or type selection
// The run completed, but sectors of the source could not be read and were
// given as zeros: the result is not the whole medium.
inline constexpr int ExitUnreadable = 3;
inline constexpr int ExitStopped = 130;  // stopped with Ctrl+C; what was done so far is reported

inline constexpr std::string_view ProgramName = "pictora-cli";

// Prints "pictora-cli: <text>" on stderr.
void PrintError(std::string_view text);
void PrintWarning(std::string_view text);

// Serialises writes to stderr between the progress line and the question
// asked on a worker thread.
class TerminalLines;

// The first Ctrl+C asks to stop the worker: it is held at its next boundary
// while confirm runs (none: the answer is yes), stopped on a yes, and the
// notice is printed. After a no the next Ctrl+C asks again; after a yes it
// ends the program at once. Call Poll from the loop that waits for the worker.
class InterruptWatch {
public:
    InterruptWatch(TerminalLines& lines, std::string notice, std::function<bool()> confirm = {})
        : lines_(lines), notice_(std::move(notice)), confirm_(std::move(confirm)) {}
    void Poll(WorkerSlot& worker);

private:
    TerminalLines& lines_;
    std::string notice_;
    std::function<bool()> confirm_;
    bool stopped_ = false;
};

class TerminalLines {
public:
    // Replaces the current progress line (only where stderr is a terminal).
    void ShowProgress(const std::string& line);
    // Ends the progress line so that ordinary output follows on its own line.
    void EndProgress();
    // Runs fn with the progress line cleared and progress held back.
    template <typename Fn>
    auto Exclusive(Fn&& fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        ClearLocked();
        return fn();
    }

private:
    void ClearLocked();
    std::mutex mutex_;
    std::size_t shownWidth_ = 0;
};

// Asks on the terminal, as the bad-sector dialog does, with its four answers.
// End of input counts as Skip, like closing the dialog.
class TerminalBadSectorPrompt final : public BadSectorPrompt {
public:
    explicit TerminalBadSectorPrompt(TerminalLines& lines) : lines_(lines) {}
    BadSectorPolicy Ask() override;

private:
    TerminalLines& lines_;
};

// The --bad-sectors choice of every subcommand.
enum class BadSectorMode { Default, Ask, Retry, Skip };
// "ask", "retry" or "skip"; nothing for any other text.
std::optional<BadSectorMode> ParseBadSectorMode(std::string_view text);
// Ask puts the question on the terminal; Retry and Skip stand for all
// failures. Default asks when input is a terminal, otherwise retries.
void ApplyBadSectorMode(BadSectorMode mode, BadSectorPolicyState& policy, BadSectorPrompt& prompt);

// Reads one answer from a line typed at the bad-sector question.
std::optional<BadSectorPolicy> ParseBadSectorAnswer(std::string_view line);

// Asks on the terminal, as the overwrite dialog does, with its four answers.
// End of input counts as closing the dialog: the file is kept.
class TerminalOverwritePrompt final : public OverwritePrompt {
public:
    explicit TerminalOverwritePrompt(TerminalLines& lines) : lines_(lines) {}
    OverwriteAnswer Ask(const std::string& fileName) override;

private:
    TerminalLines& lines_;
};

// Gives the same answer to every question: --overwrite yes or no.
class FixedOverwritePrompt final : public OverwritePrompt {
public:
    explicit FixedOverwritePrompt(OverwriteAnswer answer) : answer_(answer) {}
    OverwriteAnswer Ask(const std::string&) override { return answer_; }

private:
    OverwriteAnswer answer_;
};

// Reads one answer from a line typed at the overwrite question.
std::optional<OverwriteAnswer> ParseOverwriteAnswer(std::string_view line);

// The refusal text for a source that cannot be used.
std::string SourceProblemText(const std::string& path, const SourceChoice& choice);

// A SOURCE chosen as the source page chooses it.
struct SelectedSource {
    SourceChoice choice;  // what the path is, and its size
    RunHeader header;     // what Next chose, in the activity log's words
};

// Chooses SOURCE (a path, or a label of the source list such as "Disk1" or
// "Local Disk (sdb1)") the way the source page does: the listing runs as when
// the page opens, the item the source page would show for it is selected,
// and Next is pressed with --range START:END, or the item's whole range
// without it. The session's descriptor is filled by that Next. Prints why
// not and returns the exit status instead: ExitFailure for a source that
// cannot be read, ExitUsage for a range that is not acceptable.
std::variant<SelectedSource, int> SelectSource(Session& session, const std::string& argument,
                                               const std::optional<std::string>& range, bool mediaRecovery);

// Progress: "sector 1234 / 5678 (21%) | 12 files | 310.5 MB/s | 0:42 left",
// then the file being written when there is one.
struct ProgressFigures {
    std::uint64_t current = 0;
    std::uint64_t rangeStart = 0;
    std::uint64_t rangeEnd = 0;
    std::optional<std::size_t> files;  // shown when known
    double seconds = 0;
    std::string writing;  // file name shown last; empty for none
};
std::string ProgressText(const ProgressFigures& f);

// Human sizes: "512 B", "1.5 KB", "3.2 MB", "1.1 GB".
std::string SizeText(std::uint64_t bytes);

// Prints on stderr how many sectors could not be read, when there were any.
void PrintUnreadable(std::uint64_t sectors);

// Makes a path typed relative to the current folder absolute; prints why
// not and returns nothing when the current folder no longer exists.
std::optional<std::string> AbsoluteArgument(const std::string& path, std::string_view what);

// Splits "a,b,c"; empty items are kept so that they can be refused.
std::vector<std::string> SplitList(std::string_view text, char separator);
std::string UpperCase(std::string_view text);

}  // namespace zt::cli
