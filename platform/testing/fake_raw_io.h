// An in-memory RawIo for tests: files (or devices) held as bytes or as a
// deterministic pattern, sectors that fail to read, opens that fail, and a
// record of every request so tests can check the request pattern.
#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/raw_io.h"

namespace zt::testing {

// The byte a patterned file holds at offset k: differs between files (seed),
// sectors and positions, so misplaced data shows.
inline std::uint8_t PatternByte(std::uint8_t seed, std::uint64_t k) {
    return static_cast<std::uint8_t>(seed * 131u + (k & 0xFF) * 7u + ((k >> 9) & 0xFFFF) * 13u + ((k >> 17) & 0xFF));
}

class FakeRawIo final : public platform::RawIo {
public:
    struct Request {
        std::string path;
        std::uint64_t offset;
        std::size_t length;
    };

    // A file whose content is given.
    void AddFile(const std::string& path, std::vector<std::uint8_t> bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        File& f = files_[path];
        f.size = bytes.size();
        f.bytes = std::move(bytes);
        f.patterned = false;
    }
    // A file of any size whose content is PatternByte(seed, offset).
    void AddPatternFile(const std::string& path, std::uint64_t size, std::uint8_t seed) {
        std::lock_guard<std::mutex> lock(mutex_);
        File& f = files_[path];
        f.size = size;
        f.seed = seed;
        f.patterned = true;
    }
    void RemoveFile(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_.erase(path);
    }
    // Reads that touch this sector of the file fail with EIO.
    void AddBadSector(const std::string& path, std::uint64_t sector) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[path].bad.insert(sector);
    }
    // The file keeps its size, but reads deliver nothing from byte `end` on,
    // as a medium that became shorter while it was read.
    void EndDataAt(const std::string& path, std::uint64_t end) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[path].dataEnd = end;
    }
    // Every read of the file fails with error, as a medium that went away.
    void FailReads(const std::string& path, int error) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[path].readError = error;
    }
    // The file is read as a regular file (an image), not as a block device.
    void MarkRegularFile(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[path].regular = true;
    }
    void FailOpen(const std::string& path, int error = EACCES) {
        std::lock_guard<std::mutex> lock(mutex_);
        failOpen_[path] = platform::OpenResult{-1, error};
    }
    // Opens of path fail for lack of rights, and the disk service answers access.
    void FailOpenThroughService(const std::string& path, platform::ServiceAccess access, std::string detail = {}) {
        std::lock_guard<std::mutex> lock(mutex_);
        platform::OpenResult refused{-1, EACCES};
        refused.service = access;
        refused.serviceDetail = std::move(detail);
        failOpen_[path] = std::move(refused);
    }

    std::vector<Request> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.clear();
    }
    int OpenCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return openCount_;
    }
    int LookupCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lookupCount_;
    }
    int OpenHandles() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(handles_.size());
    }

    // Expected content of a file at an offset (patterned or given).
    std::uint8_t ByteAt(const std::string& path, std::uint64_t k) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const File& f = files_.at(path);
        return f.patterned ? PatternByte(f.seed, k) : f.bytes.at(static_cast<std::size_t>(k));
    }

    platform::OpenResult Open(const std::string& path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++openCount_;
        if (auto it = failOpen_.find(path); it != failOpen_.end()) return it->second;
        if (files_.find(path) == files_.end()) return {-1, ENOENT};
        int handle = nextHandle_++;
        handles_[handle] = path;
        return {handle, 0};
    }

    void Close(int handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        handles_.erase(handle);
    }

    std::optional<std::uint64_t> Size(int handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto h = handles_.find(handle);
        if (h == handles_.end()) return std::nullopt;
        auto f = files_.find(h->second);
        if (f == files_.end()) return std::nullopt;
        return f->second.size;
    }

    platform::ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto h = handles_.find(handle);
        if (h == handles_.end()) return {0, EBADF};
        requests_.push_back({h->second, offset, length});
        const File& f = files_.at(h->second);
        auto* out = static_cast<std::uint8_t*>(buffer);
        if (f.readError != 0) return {0, f.readError};
        const std::uint64_t end = offset + length;
        for (std::uint64_t sector : f.bad) {
            const std::uint64_t begin = sector * 512;
            if (begin < end && begin + 512 > offset) {
                // A failed request leaves rubbish behind, as real drivers may.
                std::memset(out, 0xEE, length);
                return {0, EIO};
            }
        }
        std::size_t n = 0;
        const std::uint64_t dataEnd = std::min(f.size, f.dataEnd);
        if (offset < dataEnd) n = static_cast<std::size_t>(std::min<std::uint64_t>(length, dataEnd - offset));
        for (std::size_t i = 0; i < n; ++i)
            out[i] = f.patterned ? PatternByte(f.seed, offset + i) : f.bytes[static_cast<std::size_t>(offset + i)];
        return {n, 0};
    }

    bool IsRegularFile(int handle) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto h = handles_.find(handle);
        if (h == handles_.end()) return false;
        auto f = files_.find(h->second);
        return f != files_.end() && f->second.regular;
    }

    std::vector<std::string> ListFolder(const std::string& folder) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string prefix = folder;
        if (prefix.empty() || prefix.back() != '/') prefix += '/';
        std::vector<std::string> names;
        for (const auto& [path, file] : files_) {
            if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                path.find('/', prefix.size()) == std::string::npos) {
                names.push_back(path.substr(prefix.size()));
            }
        }
        return names;
    }

    std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++lookupCount_;
        std::string prefix = folder;
        if (prefix.empty() || prefix.back() != '/') prefix += '/';
        if (files_.count(prefix + name) != 0) return prefix + name;
        for (const auto& [path, file] : files_) {
            if (path.size() != prefix.size() + name.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
            bool same = true;
            for (std::size_t i = 0; i < name.size() && same; ++i) {
                same = std::tolower(static_cast<unsigned char>(path[prefix.size() + i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            }
            if (same) return path;
        }
        return std::nullopt;
    }

private:
    struct File {
        std::uint64_t size = 0;
        std::vector<std::uint8_t> bytes;
        std::uint8_t seed = 0;
        bool patterned = false;
        std::set<std::uint64_t> bad;
        std::uint64_t dataEnd = ~std::uint64_t{0};
        int readError = 0;
        bool regular = false;
    };

    mutable std::mutex mutex_;
    std::map<std::string, File> files_;
    std::map<std::string, platform::OpenResult> failOpen_;
    std::map<int, std::string> handles_;
    std::vector<Request> requests_;
    int nextHandle_ = 3;
    int openCount_ = 0;
    int lookupCount_ = 0;
};

}  // namespace zt::testing
