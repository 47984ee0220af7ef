// Saving the ticked found files: each file's sectors are copied from the
// source into the destination folder, under a subfolder named after its
// type, asking before an existing file is replaced. A file a file system
// names is copied from its pieces into a folder for its file system, under
// its own folders and name, cleaned and made unique (recovery/saved_names.h),
// and gets its modification time. Every run ends with a
// report in the recovery log; the first run of the process writes the log's
// start block before it.
//
// Each file is written under a temporary name beside its final one and
// renamed into place only when every byte was written: a file that cannot be
// written (no room, no permission, a name too long, a type folder that is a
// file, a destination that has vanished) leaves nothing under its final
// name, its save counts as failed and the run goes on with the next one. A
// replaced file stays until its replacement is complete. The destination and
// each type folder are opened once per run, and every file is created,
// renamed and examined inside those open folders: a type folder swapped for a
// link while the run lasts cannot lead a file out of the destination. Each
// file's writeback is started as it is written; at the end of the run one
// flush of the destination's file system puts everything on the medium, and
// a flush that fails is a failure of the run. Nothing is ever
// created outside the destination: names come only from the destination,
// the type name and the file name, or the cleaned names from the card, each
// folder is made and opened inside the one before it, and links in their
// place are not followed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/scan/found_file_list.h"
#include "core/source/worker_slot.h"
#include "core/source/sector_reader.h"
#include "logs/log.h"
#include "platform/destination.h"
#include "recovery/file_copy.h"
#include "recovery/overwrite_prompt.h"
#include "recovery/saved_names.h"
#include "settings/settings.h"

namespace zt {

// What a progress display shows of the file in hand.
struct SavingNames {
    std::string folder;  // the type name, which is also the subfolder's name
    std::string file;    // the file name
};

// The state of one run, shared between the saving thread and whoever shows
// it. Every field may be read from any thread at any time.
class SavingRunState {
public:
    explicit SavingRunState(std::string destination) : destination_(std::move(destination)) {}

    // The folder as the user chose it.
    const std::string& Destination() const { return destination_; }
    // The names of the file being saved, as one snapshot.
    SavingNames CurrentNames() const;
    void SetCurrentNames(SavingNames names);

    std::atomic<std::int32_t> total{0};   // selected records, counted when the run starts
    std::atomic<std::int32_t> saved{0};   // written, or kept at the overwrite question
    std::atomic<std::int32_t> kept{0};    // of those saved: the file there was kept at the question
    std::atomic<std::int32_t> failed{0};  // could not be written (not in the report's count)
    std::atomic<std::int32_t> cut{0};     // saved, but not whole: the scan cut the file (FileInfo::cut)
    std::atomic<int> lastError{0};        // errno of the latest failure
    // errno of the flush that ends the run, 0 when it succeeded: what was
    // written may not be on the medium, so the run did not succeed.
    std::atomic<int> syncError{0};
    // Sectors of saved files that could not be read and were saved as zeros.
    std::atomic<std::uint64_t> unreadableSectors{0};
    // The source became shorter or went away at sourceEndedAt: the file in
    // hand and every file after it were not saved (they count as failed).
    std::atomic<bool> sourceEnded{false};
    std::atomic<std::uint64_t> sourceEndedAt{0};
    std::atomic<bool> replaceAll{false};
    std::atomic<bool> keepAll{false};
    std::atomic<bool> aborted{false};
    std::atomic<std::int64_t> startTime{0};  // seconds since 1970
    std::atomic<std::int64_t> endTime{0};

    // Zeroes the counters and the answers that covered every file, as each run starts.
    void Reset();

private:
    const std::string destination_;
    mutable std::mutex namesMutex_;
    SavingNames names_;
};

// What a saving run works with besides the list and the source.
struct SavingServices {
    platform::Destination& destination;
    OverwritePrompt& prompt;
    LogContext log;
    const AppSettings& settings;
    // Process-wide: set by the first run that writes the recovery log's start block.
    std::atomic<bool>& recoveryHeaderWritten;
    platform::RawIo& io;  // reads of the source
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
};

class SavingRun {
public:
    // The run reads through a reader of its own over a copy of source whose
    // range is lifted: a file found near the end of a narrowed range is saved
    // with its real sectors. The list must not change while the run lasts.
    SavingRun(const FoundFileList& files, const SourceDescriptor& source, BadSectorPolicyState& policy,
              std::string destination, SavingServices services);
    // Asks a running thread to stop, lets it past the gate and waits for it.
    ~SavingRun() {
        slot_.StopAndJoin();
        CloseFolders();
    }
    SavingRun(const SavingRun&) = delete;
    SavingRun& operator=(const SavingRun&) = delete;

    // As the progress dialog starts: clears the state and the stop request,
    // takes the start time, writes the recovery log's start block when this
    // process has not written it yet, then starts the saving thread.
    void Start();
    // The same, with the saving done on the calling thread.
    void Run();
    void Join() { slot_.Join(); }
    // Waits until the thread has ended or the timeout has passed; true when it has ended.
    bool WaitUntilEnded(std::chrono::milliseconds timeout) { return slot_.WaitUntilEnded(timeout); }
    bool Running() const { return slot_.Running(); }

    // The saving thread's slot: its stop flag is honoured after the file in
    // hand, and its gate holds the run between chunks and files.
    WorkerSlot& Slot() { return slot_; }
    void RequestStop() { slot_.RequestStop(); }
    PauseGate& Gate() { return slot_.Gate(); }
    const SavingRunState& State() const { return state_; }

    // Saves one record (ticked or not) and returns 1 when it was written or
    // an existing file was kept, 0 when it could not be written.
    int SaveFile(const FileInfo& file);
    // The same for a file a file system names: its pieces, under its
    // file system's folder, its own folders and name (see SavedNamePlan),
    // with its modification time.
    int SaveNamedFile(const FileInfo& file, const NamedFile& named);

    // The temporary name a file is written under before it is renamed to path.
    static std::string TemporaryPath(const std::string& path);

private:
    void Begin();
    void SavingThread();
    // Whether an existing file of this name is replaced; sets the run's answers.
    bool ReplaceExisting(const std::string& name);
    int Fail(int error);
    // Writes the file's bytes, as copy hands them, under name in the open
    // folder: through a temporary name, asking before an existing file is
    // replaced; modified, when not 0, becomes its modification time.
    int WriteFile(int folder, const std::string& name, std::int64_t modified,
                  const std::function<int(const ChunkWriter&)>& copy);
    // The destination, held open from its first use in the run.
    int DestinationFolder(int& handle);
    // The folder name inside the open folder parent, made when missing; a
    // link there is refused, never followed.
    int OpenOrMakeFolder(int parent, const std::string& name, int& handle);
    // The open type folder for typeName, opened (and made when missing) at
    // its first use in the run; 0, or the errno of the failure.
    int TypeFolder(const std::string& typeName, int& handle);
    // The folder below the destination these names lead to, each made when
    // missing and opened inside the one before it.
    int NamedFolder(std::span<const std::string> names, int& handle);
    void CloseNamedFolders();
    void CloseFolders();

    const FoundFileList& files_;
    SourceDescriptor source_;
    SectorReader reader_;
    SavingServices services_;
    SavingRunState state_;
    FileSectorCopy copy_;
    bool wroteFiles_ = false;  // this run created a file: its end flushes the destination
    int destinationFolder_ = -1;             // the destination, held open while the run lasts
    std::map<std::string, int> typeFolders_;  // its type folders, by type name
    // Folders of named files, by their path below the destination; a few
    // are held at a time, however many folders the card has.
    std::map<std::string, int> namedFolders_;
    SavedNamePlan names_{0};
    WorkerSlot slot_;
};

// What a run lost, for its report.
struct SavingLosses {
    std::int32_t failed = 0;  // files that could not be saved
    std::string why;          // the reason of the last failure
    int flushError = 0;       // errno of the flush that ended the run
};

// The entries of the report, byte for byte: six, and before the last one an
// entry for files that could not be saved and one for a failed flush. A run
// that lost files or could not flush them ends with "File Saving Failed"
// (or "File Saving Aborted"), never with "File Saved Successfully".
std::vector<std::string> SavingReportEntries(const std::string& destination, std::int32_t saved,
                                             std::int32_t total, std::time_t start, std::time_t end,
                                             bool aborted, const SavingLosses& losses = {});

// Why files of the run could not be saved: the source that ended, or the
// system's text for the last failure; empty when none failed.
std::string SavingFailureReason(const SavingRunState& state);

// What the user is told when a run has ended: "Please select the file for
// saving." when nothing was selected, else "File Saving Aborted." or
// "File Saved Successfully.".
std::string SavingEndMessage(std::int32_t total, bool aborted);
// What the user is told of saved files that are not whole; empty when none is.
std::string CutFilesMessage(std::int32_t cut);

// The saved file's path, or empty when the names cannot be used safely (an
// empty name, ".", "..", a '/' inside) or the path is longer than the
// system allows.
std::string SavedFilePath(const std::string& destination, std::string_view typeName, std::string_view fileName);

}  // namespace zt
