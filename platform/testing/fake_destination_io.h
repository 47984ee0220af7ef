// An in-memory DestinationIo for tests: folders, files whose writes are
// recorded, free space, and creates, writes, flushes and removals that fail
// with a chosen errno.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/destination_io.h"

namespace zt::testing {

// A destination file system in memory. Each written sector's first eight
// bytes are kept for every file; the full bytes only for the first MiB, so a
// part of 1,331,200 sectors costs little memory.
class FakeDestination final : public platform::DestinationIo {
public:
    static constexpr std::uint64_t kKeptBytes = 1 << 20;
    static constexpr std::uint64_t kSector = 512;

    struct File {
        std::uint64_t size = 0;
        std::vector<std::uint64_t> tags;  // first word of each sector
        std::vector<std::uint8_t> bytes;  // the first kKeptBytes
        bool ownerWritable = true;
    };

    std::set<std::string> folders{"/dest"};
    std::map<std::string, File> files;
    std::uint64_t freeBytes = std::uint64_t{1} << 40;
    // Failure injection.
    std::map<std::string, int> createErrors;  // path -> errno
    std::optional<std::uint64_t> writeLimit;  // total bytes before writes fail
    int writeError = ENOSPC;
    std::function<void()> afterWrite;  // runs after every write that succeeded
    int flushError = 0;
    int removeError = 0;
    std::vector<std::string> removed;
    std::vector<std::string> truncatedWhileReadOnly;
    int openHandles = 0;

    bool Exists(const std::string& path) override { return folders.count(path) != 0 || files.count(path) != 0; }
    bool IsFolder(const std::string& path) override { return folders.count(path) != 0; }
    std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
        if (!IsFolder(path)) return std::nullopt;
        return freeBytes;
    }
    bool MakeOwnerWritable(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return false;
        it->second.ownerWritable = true;
        return true;
    }
    platform::OpenResult CreateTruncate(const std::string& path) override {
        if (auto e = createErrors.find(path); e != createErrors.end()) return {-1, e->second};
        File& file = files[path];
        if (!file.ownerWritable) truncatedWhileReadOnly.push_back(path);
        file = File{};
        handles_.push_back(path);
        ++openHandles;
        return {static_cast<int>(handles_.size() - 1), 0};
    }
    int WriteAt(int handle, const void* buffer, std::size_t length, std::uint64_t offset) override {
        if (writeLimit && written_ + length > *writeLimit) return writeError;
        written_ += length;
        File& file = files[handles_.at(static_cast<std::size_t>(handle))];
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        file.size = std::max<std::uint64_t>(file.size, offset + length);
        const std::uint64_t sectors = (file.size + kSector - 1) / kSector;
        if (file.tags.size() < sectors) file.tags.resize(sectors);
        for (std::size_t at = 0; at + sizeof(std::uint64_t) <= length; at += kSector) {
            std::memcpy(&file.tags[(offset + at) / kSector], in + at, sizeof(std::uint64_t));
        }
        if (afterWrite) afterWrite();
        const std::uint64_t keepEnd = std::min(file.size, kKeptBytes);
        if (file.bytes.size() < keepEnd) file.bytes.resize(keepEnd);
        for (std::uint64_t i = offset; i < std::min(offset + length, kKeptBytes); ++i) {
            file.bytes[i] = in[i - offset];
        }
        return 0;
    }
    int FlushAndClose(int) override {
        --openHandles;
        return flushError;
    }
    void Close(int) override { --openHandles; }
    int Remove(const std::string& path) override {
        if (removeError != 0) return removeError;
        removed.push_back(path);
        return files.erase(path) != 0 ? 0 : ENOENT;
    }
    bool SameFile(const std::string& a, const std::string& b) override { return a == b && Exists(a); }

private:
    std::vector<std::string> handles_;
    std::uint64_t written_ = 0;
};

}  // namespace zt::testing
