// An in-memory Destination for tests: folders, files whose writes are
// recorded, links, hard links, free space, and creates, writes, flushes,
// renames and removals that fail with a chosen errno. Thread-safe, so a
// saving or imaging thread may write while the test looks on.
#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/destination.h"

namespace zt::testing {

// Each written sector's first eight bytes are kept for every file; the full
// bytes only for the first MiB, so an image part of 1,331,200 sectors costs
// little memory.
class FakeDestination final : public platform::Destination {
public:
    static constexpr std::uint64_t kKeptBytes = 1 << 20;
    static constexpr std::uint64_t kSector = 512;

    struct File {
        std::uint64_t size = 0;
        std::vector<std::uint64_t> tags;  // first word of each sector
        std::vector<std::uint8_t> bytes;  // the first kKeptBytes
        bool ownerWritable = true;
        // Files of equal nonzero identity are one file under several names.
        int identity = 0;
        std::uint64_t links = 1;
        bool regular = true;  // false: a FIFO or device under that name
        std::optional<std::int64_t> modified;  // set through SetModifiedTime

        std::string Text() const { return {bytes.begin(), bytes.end()}; }
    };

    // The file system's content; tests may change it between calls.
    std::set<std::string> folders{"/dest"};
    std::map<std::string, File> files;
    std::map<std::string, std::string> symlinks;  // path -> target
    std::uint64_t freeBytes = std::uint64_t{1} << 40;
    // Folder and source pairs that lie on one medium.
    std::set<std::pair<std::string, std::string>> sharedMedia;
    // A source's backing files (a loop device's file), by source path.
    std::map<std::string, std::vector<std::string>> filesUnder;

    // Failure injection.
    std::map<std::string, int> createErrors;  // exact path -> errno
    std::optional<std::uint64_t> writeLimit;  // total bytes before writes fail; what fits is written
    int writeError = ENOSPC;
    int flushError = 0;
    int closeError = 0;
    int removeError = 0;
    int renameError = 0;
    int syncError = 0;
    int folderError = 0;  // MakeFolder fails with it
    int timeError = 0;    // SetModifiedTime fails with it

    // What happened.
    std::vector<std::string> removed;
    std::vector<std::string> created;
    std::vector<std::pair<std::string, std::string>> renamed;
    std::vector<std::string> truncatedWhileReadOnly;
    std::vector<std::string> synced;
    std::vector<std::size_t> writeLengths;  // every write's length, in order
    struct Writeback {
        std::string path;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    std::vector<Writeback> writebacks;  // every writeback started, in order
    int openHandles = 0;

    // Creating a path that contains part fails with error.
    void FailCreate(std::string part, int error) {
        std::lock_guard<std::mutex> lock(mutex_);
        createFailures_.emplace_back(std::move(part), error);
    }
    // Runs before each write, outside the lock, with the number of writes so far.
    void BeforeWrite(std::function<void(int)> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        beforeWrite_ = std::move(hook);
    }
    int Writes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }
    // A file with the given content, in an existing folder.
    void Put(const std::string& path, std::string_view content) {
        std::lock_guard<std::mutex> lock(mutex_);
        File& file = files[path];
        file = File{};
        file.bytes.assign(content.begin(), content.end());
        file.size = content.size();
    }
    // The content of a file, or nothing when there is none.
    std::optional<std::string> Content(const std::string& path) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second.Text();
    }
    bool Has(const std::string& path) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return files.count(path) != 0 || symlinks.count(path) != 0 || folders.count(path) != 0;
    }

    platform::EntryInfo Examine(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (symlinks.count(path) != 0) return {platform::EntryKind::Link, 0, 0};
        if (folders.count(path) != 0) return {platform::EntryKind::Folder, 0, 0};
        if (auto it = files.find(path); it != files.end()) {
            if (!it->second.regular) return {platform::EntryKind::Other, 0, 0};
            return {platform::EntryKind::File, 0, it->second.links};
        }
        return {platform::EntryKind::Missing, ENOENT, 0};
    }
    bool IsFolder(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return folders.count(Resolve(path)) != 0;
    }
    std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (folders.count(Resolve(path)) == 0) return std::nullopt;
        return freeBytes;
    }
    bool SameFile(const std::string& a, const std::string& b) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string ra = Resolve(a);
        const std::string rb = Resolve(b);
        if (files.count(ra) == 0 && folders.count(ra) == 0) return false;
        if (ra == rb) return true;
        auto fa = files.find(ra);
        auto fb = files.find(rb);
        return fa != files.end() && fb != files.end() && fa->second.identity != 0 &&
               fa->second.identity == fb->second.identity;
    }
    bool FolderOnMedium(const std::string& folder, const std::string& sourcePath) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return sharedMedia.count({folder, sourcePath}) != 0;
    }
    std::vector<std::string> FilesUnder(const std::string& sourcePath) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = filesUnder.find(sourcePath);
        return it == filesUnder.end() ? std::vector<std::string>{} : it->second;
    }
    std::vector<std::string> EntriesNoCase(const std::string& folder, const std::string& name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> found;
        auto match = [&](const std::string& path) {
            const std::string base = path.substr(path.find_last_of('/') + 1);
            if (Parent(path) == Resolve(folder) && base.size() == name.size() &&
                std::equal(base.begin(), base.end(), name.begin(),
                           [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
                found.push_back(path);
            }
        };
        for (const auto& [path, file] : files) match(path);
        for (const auto& [path, target] : symlinks) match(path);
        for (const std::string& path : folders) match(path);
        return found;
    }
    // Folders held open; each names the path it was opened at.
    std::size_t OpenFolders() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return folderHandles_.size();
    }
    platform::OpenResult OpenFolder(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string resolved = Resolve(path);
        if (folders.count(resolved) == 0) return {-1, files.count(resolved) != 0 ? ENOTDIR : ENOENT};
        return {NewFolderHandle(resolved), 0};
    }
    platform::OpenResult OpenFolderIn(int folder, const std::string& name) override {
        const std::string path = PathIn(folder, name);
        std::lock_guard<std::mutex> lock(mutex_);
        if (symlinks.count(path) != 0) return {-1, ELOOP};
        if (files.count(path) != 0) return {-1, ENOTDIR};
        if (folders.count(path) == 0) return {-1, ENOENT};
        return {NewFolderHandle(path), 0};
    }
    platform::EntryInfo ExamineIn(int folder, const std::string& name) override { return Examine(PathIn(folder, name)); }
    int MakeFolderIn(int folder, const std::string& name) override { return MakeFolder(PathIn(folder, name)); }
    int RemoveIn(int folder, const std::string& name) override { return Remove(PathIn(folder, name)); }
    int RenameIn(int folder, const std::string& from, const std::string& to) override {
        return Rename(PathIn(folder, from), PathIn(folder, to));
    }
    platform::OpenResult CreateIn(int folder, const std::string& name, platform::CreateMode mode) override {
        return Create(PathIn(folder, name), mode);
    }
    int MakeFolder(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (folderError != 0) return folderError;
        if (files.count(path) != 0 || symlinks.count(path) != 0 || folders.count(path) != 0) return EEXIST;
        if (folders.count(Parent(path)) == 0) return ENOENT;
        folders.insert(path);
        return 0;
    }
    int MakeOwnerWritable(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files.find(path);
        if (it == files.end()) return symlinks.count(path) != 0 ? ELOOP : ENOENT;
        it->second.ownerWritable = true;
        return 0;
    }
    int Remove(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (removeError != 0) return removeError;
        if (folders.count(path) != 0) return EISDIR;
        if (files.erase(path) == 0 && symlinks.erase(path) == 0) return ENOENT;
        removed.push_back(path);
        return 0;
    }
    int Rename(const std::string& from, const std::string& to) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (renameError != 0) return renameError;
        auto it = files.find(from);
        if (it == files.end()) return ENOENT;
        if (folders.count(to) != 0) return EISDIR;
        if (folders.count(Parent(to)) == 0) return ENOENT;
        symlinks.erase(to);
        File moved = std::move(it->second);
        files.erase(it);
        files[to] = std::move(moved);
        renamed.emplace_back(from, to);
        return 0;
    }
    platform::OpenResult Create(const std::string& path, platform::CreateMode mode) override {
        std::lock_guard<std::mutex> lock(mutex_);
        created.push_back(path);
        if (auto e = createErrors.find(path); e != createErrors.end()) return {-1, e->second};
        for (const auto& [part, error] : createFailures_) {
            if (path.find(part) != std::string::npos) return {-1, error};
        }
        if (symlinks.count(path) != 0) return {-1, mode == platform::CreateMode::Exclusive ? EEXIST : ELOOP};
        if (folders.count(path) != 0) return {-1, mode == platform::CreateMode::Exclusive ? EEXIST : EISDIR};
        if (folders.count(Parent(path)) == 0) return {-1, ENOENT};
        auto existing = files.find(path);
        if (existing != files.end()) {
            if (mode == platform::CreateMode::Exclusive) return {-1, EEXIST};
            if (!existing->second.regular) return {-1, EINVAL};
            if (!existing->second.ownerWritable) truncatedWhileReadOnly.push_back(path);
        }
        File& file = files[path];
        const File kept = file;
        file = File{};
        file.identity = kept.identity;
        file.links = kept.links;
        handles_.push_back(path);
        ++openHandles;
        return {static_cast<int>(handles_.size() - 1), 0};
    }
    int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) override {
        std::function<void(int)> hook;
        int count = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hook = beforeWrite_;
            count = writes_++;
        }
        if (hook) hook(count);
        std::lock_guard<std::mutex> lock(mutex_);
        writeLengths.push_back(length);
        std::size_t fits = length;
        if (writeLimit) fits = static_cast<std::size_t>(std::min<std::uint64_t>(length, *writeLimit - written_));
        written_ += fits;
        const std::string& path = handles_.at(static_cast<std::size_t>(handle));
        // A file removed while open is written into nothing, as on a real system.
        if (auto it = files.find(path); it != files.end()) Store(it->second, buffer, fits, offset);
        return fits < length ? writeError : 0;
    }
    void StartWriteback(int handle, std::uint64_t offset, std::uint64_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        writebacks.push_back({handles_.at(static_cast<std::size_t>(handle)), offset, length});
    }
    int SetModifiedTime(int handle, std::int64_t seconds) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (timeError != 0) return timeError;
        if (auto it = files.find(handles_.at(static_cast<std::size_t>(handle))); it != files.end()) {
            it->second.modified = seconds;
        }
        return 0;
    }
    int FlushAndClose(int) override {
        std::lock_guard<std::mutex> lock(mutex_);
        --openHandles;
        return flushError != 0 ? flushError : closeError;
    }
    int Close(int handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (folderHandles_.erase(handle) != 0) return 0;
        --openHandles;
        return closeError;
    }
    int SyncFileSystem(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        synced.push_back(path);
        return syncError;
    }

private:
    // Folder handles are numbered apart from file handles.
    static constexpr int kFirstFolderHandle = 1'000'000;
    int NewFolderHandle(const std::string& path) {
        const int handle = kFirstFolderHandle + nextFolder_++;
        folderHandles_[handle] = path;
        return handle;
    }
    std::string PathIn(int folder, const std::string& name) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = folderHandles_.find(folder);
        // A handle that was never opened names nothing.
        if (it == folderHandles_.end()) return "/(closed folder)/" + name;
        return it->second == "/" ? "/" + name : it->second + "/" + name;
    }
    static std::string Parent(const std::string& path) {
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return ".";
        return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    std::string Resolve(std::string path) const {
        for (int hops = 0; hops < 8; ++hops) {
            auto it = symlinks.find(path);
            if (it == symlinks.end()) break;
            path = it->second;
        }
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    static void Store(File& file, const void* buffer, std::size_t length, std::uint64_t offset) {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        file.size = std::max<std::uint64_t>(file.size, offset + length);
        const std::uint64_t sectors = (file.size + kSector - 1) / kSector;
        if (file.tags.size() < sectors) file.tags.resize(sectors);
        for (std::size_t at = 0; at + sizeof(std::uint64_t) <= length; at += kSector) {
            std::memcpy(&file.tags[(offset + at) / kSector], in + at, sizeof(std::uint64_t));
        }
        const std::uint64_t keepEnd = std::min(file.size, kKeptBytes);
        if (file.bytes.size() < keepEnd) file.bytes.resize(keepEnd);
        for (std::uint64_t i = offset; i < std::min(offset + length, kKeptBytes); ++i) file.bytes[i] = in[i - offset];
    }

    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, int>> createFailures_;
    std::function<void(int)> beforeWrite_;
    std::vector<std::string> handles_;
    std::map<int, std::string> folderHandles_;
    int nextFolder_ = 0;
    std::uint64_t written_ = 0;
    int writes_ = 0;
};

}  // namespace zt::testing
