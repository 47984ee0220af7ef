#include "recovery/saving_run.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "logs/activity_entries.h"
#include "logs/log_texts.h"
#include "platform/files.h"

namespace zt {

namespace {

// A name that data may supply must stay one entry inside its folder.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string OverwriteQuestionText(std::string_view fileName) {
    return "\"" + std::string(fileName) + "\" this file is already exist.";
}

SavingNames SavingRunState::CurrentNames() const {
    std::lock_guard<std::mutex> lock(namesMutex_);
    return names_;
}

void SavingRunState::SetCurrentNames(SavingNames names) {
    std::lock_guard<std::mutex> lock(namesMutex_);
    names_ = std::move(names);
}

void SavingRunState::Reset() {
    total = 0;
    saved = 0;
    kept = 0;
    failed = 0;
    cut = 0;
    lastError = 0;
    syncError = 0;
    unreadableSectors = 0;
    sourceEnded = false;
    sourceEndedAt = 0;
    replaceAll = false;
    keepAll = false;
    aborted = false;
    endTime = 0;
    SetCurrentNames({});
}

std::string SavedFilePath(const std::string& destination, std::string_view typeName, std::string_view fileName) {
    if (destination.empty() || !IsPlainName(typeName) || !IsPlainName(fileName)) return {};
    std::string path = platform::JoinPath(destination, typeName) + '/' + std::string(fileName);
    // Longer paths fail in the system anyway; refusing them here also keeps
    // the type folder from being made for a file that cannot follow.
    if (path.size() >= PATH_MAX) return {};
    return path;
}

std::vector<std::string> SavingReportEntries(const std::string& destination, std::int32_t saved,
                                             std::int32_t total, std::time_t start, std::time_t end,
                                             bool aborted, const SavingLosses& losses) {
    std::vector<std::string> entries = {
        "\r\nSaving Report :\r\n --------------",
        "Saving Path : " + destination,
        "Files Recover :" + std::to_string(saved) + " / " + std::to_string(total),
        StartTimeText(start),
        ElapsedTimeText(static_cast<std::int64_t>(end - start)),
    };
    if (losses.failed > 0) {
        std::string lost = "Files Not Saved : " + std::to_string(losses.failed) + " / " + std::to_string(total);
        if (!losses.why.empty()) lost += " (" + losses.why + ")";
        entries.push_back(std::move(lost));
    }
    if (losses.flushError != 0) {
        entries.push_back("Files Not Flushed : " + std::string(std::strerror(losses.flushError)) +
                          "; they may not all be on the medium");
    }
    const bool lostFiles = losses.failed > 0 || losses.flushError != 0;
    entries.emplace_back(aborted     ? "File Saving Aborted\r\n"
                         : lostFiles ? "File Saving Failed\r\n"
                                     : "File Saved Successfully\r\n");
    return entries;
}

std::string SavingFailureReason(const SavingRunState& state) {
    if (state.sourceEnded) return SourceEndedText(state.sourceEndedAt);
    if (state.failed > 0 && state.lastError != 0) return std::strerror(state.lastError);
    return {};
}

std::string SavingEndMessage(std::int32_t total, bool aborted) {
    if (total == 0) return "Please select the file for saving.";
    return aborted ? "File Saving Aborted." : "File Saved Successfully.";
}

std::string CutFilesMessage(std::int32_t cut) {
    if (cut <= 0) return {};
    return (cut == 1 ? std::string("1 saved file is") : std::to_string(cut) + " saved files are") +
           " not whole: the end was not found, or the file is longer than the maximum size kept for its type.";
}

SavingRun::SavingRun(const FoundFileList& files, const SourceDescriptor& source, BadSectorPolicyState& policy,
                     std::string destination, SavingServices services)
    : files_(files),
      source_(source),
      reader_(source_, policy, services.io),
      services_(std::move(services)),
      state_(std::move(destination)),
      copy_(reader_) {
    // The range bounds the scan, not the files it found.
    source_.RangeStart = 0;
    source_.RangeEnd = 0;
}

void SavingRun::Begin() {
    CloseFolders();
    state_.Reset();
    reader_.StartRun();
    wroteFiles_ = false;
    // Names are made unique within a run; what an earlier run left is asked about.
    const std::size_t destinationBytes = state_.Destination().size() + 1;
    names_ = SavedNamePlan(destinationBytes < PATH_MAX ? PATH_MAX - 1 - destinationBytes : 0);
    slot_.ClearStop();
    state_.startTime = services_.now();
    // The start block is complete in the log before the report can follow it.
    if (!services_.recoveryHeaderWritten.exchange(true)) {
        WriteEntries(services_.log, LogKind::Recovery, StartBlockEntries(services_.settings, services_.now()));
    }
}

void SavingRun::Start() {
    if (Running()) return;
    Begin();
    (void)slot_.Start([this] { SavingThread(); });
}

void SavingRun::Run() {
    if (Running()) return;
    slot_.RunHere([this] {
        Begin();
        SavingThread();
    });
}

void SavingRun::SavingThread() {
    // A copy: the walk must not hold the list while the user is being asked.
    const std::vector<FileInfo> records = files_.Snapshot();
    const std::map<std::size_t, NamedFile> named = files_.NamedSnapshot();
    state_.total = static_cast<std::int32_t>(
        std::count_if(records.begin(), records.end(), [](const FileInfo& f) { return f.selected != 0; }));

    bool stopped = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FileInfo& file = records[i];
        slot_.Gate().PassThrough();
        if (file.selected != 0) {
            state_.SetCurrentNames({std::string(file.TypeName()), std::string(file.FileName())});
            const auto namedFile = named.find(i);
            if ((namedFile != named.end() ? SaveNamedFile(file, namedFile->second) : SaveFile(file)) == 1) {
                ++state_.saved;
                if (file.cut != 0) ++state_.cut;
            } else {
                ++state_.failed;
            }
        }
        if (const std::optional<std::uint64_t> endedAt = reader_.SourceEndedAt()) {
            // Nothing more can be read as it was: the rest is not saved.
            state_.sourceEnded = true;
            state_.sourceEndedAt = *endedAt;
            state_.failed = state_.total - state_.saved;
            break;
        }
        if (slot_.StopRequested()) {
            stopped = true;
            break;
        }
    }

    CloseFolders();
    if (wroteFiles_) {
        if (const int error = services_.destination.SyncFileSystem(state_.Destination()); error != 0) {
            state_.syncError = error;
            state_.lastError = error;
        }
    }
    state_.unreadableSectors = reader_.UnreadableSectors();
    state_.endTime = services_.now();
    state_.aborted = stopped;
    WriteEntries(services_.log, LogKind::Recovery,
                 SavingReportEntries(state_.Destination(), state_.saved, state_.total,
                                     static_cast<std::time_t>(state_.startTime.load()),
                                     static_cast<std::time_t>(state_.endTime.load()), stopped,
                                     {state_.failed, SavingFailureReason(state_), state_.syncError}));
}

int SavingRun::Fail(int error) {
    state_.lastError = error;
    return 0;
}

std::string SavingRun::TemporaryPath(const std::string& path) {
    // Hidden beside the final name, in the same folder, so the rename cannot
    // cross file systems. The names of saved files are short, so the longer
    // name still fits.
    const std::size_t slash = path.find_last_of('/');
    return path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".partial";
}

int SavingRun::DestinationFolder(int& handle) {
    if (destinationFolder_ < 0) {
        const platform::OpenResult opened = services_.destination.OpenFolder(state_.Destination());
        if (opened.handle < 0) return opened.error;
        destinationFolder_ = opened.handle;
    }
    handle = destinationFolder_;
    return 0;
}

int SavingRun::OpenOrMakeFolder(int parent, const std::string& name, int& handle) {
    platform::Destination& destination = services_.destination;
    platform::OpenResult opened = destination.OpenFolderIn(parent, name);
    if (opened.error == ENOENT) {
        // A read-only destination says so here, not later as a missing folder.
        if (const int error = destination.MakeFolderIn(parent, name); error != 0 && error != EEXIST) return error;
        opened = destination.OpenFolderIn(parent, name);
    }
    // A link could lead out of the destination (ELOOP); a file or anything
    // else cannot hold files (ENOTDIR).
    if (opened.handle < 0) return opened.error;
    handle = opened.handle;
    return 0;
}

int SavingRun::TypeFolder(const std::string& typeName, int& handle) {
    if (auto it = typeFolders_.find(typeName); it != typeFolders_.end()) {
        handle = it->second;
        return 0;
    }
    int destination = -1;
    if (const int error = DestinationFolder(destination); error != 0) return error;
    if (const int error = OpenOrMakeFolder(destination, typeName, handle); error != 0) return error;
    typeFolders_.emplace(typeName, handle);
    return 0;
}

int SavingRun::NamedFolder(std::span<const std::string> names, int& handle) {
    // Files come folder by folder: the ones in hand stay open, and a card of
    // thousands of folders does not hold thousands of descriptors.
    constexpr std::size_t kHeldFolders = 64;
    if (namedFolders_.size() > kHeldFolders) CloseNamedFolders();
    int folder = -1;
    if (const int error = DestinationFolder(folder); error != 0) return error;
    std::string path;
    for (const std::string& name : names) {
        path += '/' + name;
        if (const auto it = namedFolders_.find(path); it != namedFolders_.end()) {
            folder = it->second;
            continue;
        }
        int child = -1;
        if (const int error = OpenOrMakeFolder(folder, name, child); error != 0) return error;
        namedFolders_.emplace(path, child);
        folder = child;
    }
    handle = folder;
    return 0;
}

void SavingRun::CloseNamedFolders() {
    for (const auto& [path, handle] : namedFolders_) (void)services_.destination.Close(handle);
    namedFolders_.clear();
}

void SavingRun::CloseFolders() {
    CloseNamedFolders();
    for (const auto& [name, handle] : typeFolders_) (void)services_.destination.Close(handle);
    typeFolders_.clear();
    if (destinationFolder_ >= 0) (void)services_.destination.Close(destinationFolder_);
    destinationFolder_ = -1;
}

int SavingRun::SaveFile(const FileInfo& file) {
    if (SavedFilePath(state_.Destination(), file.TypeName(), file.FileName()).empty()) return Fail(ENAMETOOLONG);
    int folder = -1;
    if (const int error = TypeFolder(std::string(file.TypeName()), folder); error != 0) return Fail(error);
    return WriteFile(folder, std::string(file.FileName()), 0,
                     [this, &file](const ChunkWriter& write) { return copy_.Copy(file, write, &slot_.Gate()); });
}

int SavingRun::SaveNamedFile(const FileInfo& file, const NamedFile& named) {
    const std::vector<std::string> place = names_.Place(named.volume, named.path);
    if (place.empty()) return Fail(ENAMETOOLONG);
    const std::span<const std::string> folders(place.data(), place.size() - 1);
    std::string shown;
    for (const std::string& name : folders) shown += (shown.empty() ? "" : "/") + name;
    state_.SetCurrentNames({shown, place.back()});
    int folder = -1;
    if (const int error = NamedFolder(folders, folder); error != 0) return Fail(error);
    return WriteFile(folder, place.back(), named.modified, [this, &file, &named](const ChunkWriter& write) {
        return copy_.CopyRuns(named.runs, file.byteLength, write, &slot_.Gate());
    });
}

int SavingRun::WriteFile(int folder, const std::string& name, std::int64_t modified,
                         const std::function<int(const ChunkWriter&)>& copy) {
    platform::Destination& destination = services_.destination;
    const platform::EntryKind existing = destination.ExamineIn(folder, name).kind;
    if (existing == platform::EntryKind::Folder || existing == platform::EntryKind::Other) return Fail(EISDIR);
    if (existing == platform::EntryKind::File || existing == platform::EntryKind::Link) {
        if (!ReplaceExisting(name)) {
            ++state_.kept;
            return 1;
        }
    }

    const std::string temporary = TemporaryPath(name);
    platform::OpenResult created = destination.CreateIn(folder, temporary, platform::CreateMode::Exclusive);
    if (created.error == EEXIST) {
        // Left by a run that ended without cleaning up: it is ours to remove.
        (void)destination.RemoveIn(folder, temporary);
        created = destination.CreateIn(folder, temporary, platform::CreateMode::Exclusive);
    }
    if (created.handle < 0) return Fail(created.error);
    wroteFiles_ = true;
    const int handle = created.handle;
    // The file goes to the medium while the next ones are written, so the
    // flush that ends the run has little left to wait for.
    platform::WritebackPacer writeback(destination, handle);
    int error = copy([&destination, &writeback, handle](const std::uint8_t* bytes, std::size_t length,
                                                        std::uint64_t offset) {
        const int written = destination.WriteAt(handle, bytes, length, offset);
        if (written == 0) writeback.Wrote(offset, length);
        return written;
    });
    if (error == 0) writeback.Finish();
    // After the last write, which would otherwise set it to now.
    if (error == 0 && modified != 0) error = destination.SetModifiedTime(handle, modified);
    const int closeError = destination.Close(created.handle);
    if (error == 0) error = closeError;
    // Sectors past where the source ended came as zeros: the file is not whole.
    if (error == 0 && reader_.SourceEndedAt()) error = EIO;
    // The rename replaces an existing file (or link) in one step, so the old
    // file stays until the new one is complete.
    if (error == 0) error = destination.RenameIn(folder, temporary, name);
    if (error != 0) {
        (void)destination.RemoveIn(folder, temporary);
        return Fail(error);
    }
    // A file whose folder was removed meanwhile was written into nothing.
    if (destination.ExamineIn(folder, name).kind != platform::EntryKind::File) return Fail(ENOENT);
    return 1;
}

bool SavingRun::ReplaceExisting(const std::string& name) {
    if (state_.replaceAll) return true;
    if (state_.keepAll) return false;
    switch (services_.prompt.Ask(name)) {
        case OverwriteAnswer::Yes: return true;
        case OverwriteAnswer::YesToAll: state_.replaceAll = true; return true;
        case OverwriteAnswer::NoToAll: state_.keepAll = true; return false;
        case OverwriteAnswer::No:
        case OverwriteAnswer::Closed: return false;
    }
    return false;
}

}  // namespace zt
