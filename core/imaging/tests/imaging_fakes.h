// Fakes for the imaging tests: a generated source device whose chosen sectors
// fail, a destination kept in memory whose creates and writes can fail, and a
// bad-sector prompt that answers from a script.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/source/bad_sector_policy.h"
#include "core/source/source_descriptor.h"
#include "platform/destination_io.h"
#include "platform/raw_io.h"

namespace zt::testing {

// The first eight bytes of every generated sector hold its number plus one,
// so a sector of zeros never passes for sector 0.
inline std::uint64_t SectorTag(std::uint64_t sector) { return sector + 1; }

inline void FillSector(std::uint64_t sector, std::uint8_t* out) {
    const std::uint64_t tag = SectorTag(sector);
    std::memcpy(out, &tag, sizeof tag);
    for (std::size_t i = sizeof tag; i < kSectorBytes; ++i) {
        out[i] = static_cast<std::uint8_t>(sector * 31 + i);
    }
}

inline std::vector<std::uint8_t> ExpectedSectors(std::uint64_t first, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(count * kSectorBytes);
    for (std::uint64_t s = 0; s < count; ++s) FillSector(first + s, bytes.data() + s * kSectorBytes);
    return bytes;
}

// One device path whose sectors are generated on the fly.
class FakeDevice final : public platform::RawIo {
public:
    static constexpr int kHandle = 7;

    FakeDevice(std::string path, std::uint64_t sectors) : path_(std::move(path)), sectors_(sectors) {}

    std::set<std::uint64_t> badSectors;
    struct Request {
        std::uint64_t first;
        std::uint64_t sectors;
    };
    std::vector<Request> requests;

    platform::OpenResult Open(const std::string& path) override {
        if (path != path_) return {-1, ENOENT};
        return {kHandle, 0};
    }
    void Close(int) override {}
    std::optional<std::uint64_t> Size(int) override { return sectors_ * kSectorBytes; }

    platform::ReadResult ReadAt(int, void* buffer, std::size_t length, std::uint64_t offset) override {
        const std::uint64_t first = offset / kSectorBytes;
        const std::uint64_t count = length / kSectorBytes;
        requests.push_back({first, count});
        auto* out = static_cast<std::uint8_t*>(buffer);
        platform::ReadResult result;
        for (std::uint64_t s = 0; s < count; ++s) {
            const std::uint64_t sector = first + s;
            if (sector >= sectors_) return result;
            if (badSectors.count(sector) != 0) {
                // A real device leaves garbage behind a failed request.
                std::memset(out + s * kSectorBytes, 0xEE, length - s * kSectorBytes);
                result.error = EIO;
                return result;
            }
            FillSector(sector, out + s * kSectorBytes);
            result.bytes += kSectorBytes;
        }
        return result;
    }

    std::optional<std::string> FindEntryNoCase(const std::string&, const std::string&) override {
        return std::nullopt;
    }

private:
    std::string path_;
    std::uint64_t sectors_;
};

// A destination file system in memory. Each written sector's first eight
// bytes are kept for every file; the full bytes only for the first MiB, so a
// part of 1,331,200 sectors costs little memory.
class FakeDestination final : public platform::DestinationIo {
public:
    static constexpr std::uint64_t kKeptBytes = 1 << 20;

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
    int MakeOwnerWritable(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return ENOENT;
        it->second.ownerWritable = true;
        return 0;
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
        const std::uint64_t sectors = (file.size + kSectorBytes - 1) / kSectorBytes;
        if (file.tags.size() < sectors) file.tags.resize(sectors);
        for (std::size_t at = 0; at + sizeof(std::uint64_t) <= length; at += kSectorBytes) {
            std::memcpy(&file.tags[(offset + at) / kSectorBytes], in + at, sizeof(std::uint64_t));
        }
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

// Answers the bad-sector question from a script and counts the questions.
class ScriptedPrompt final : public BadSectorPrompt {
public:
    explicit ScriptedPrompt(std::deque<BadSectorPolicy> answers) : answers_(std::move(answers)) {}
    int asked = 0;
    BadSectorPolicy Ask() override {
        ++asked;
        if (answers_.empty()) return Skip;
        BadSectorPolicy answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

private:
    std::deque<BadSectorPolicy> answers_;
};

}  // namespace zt::testing
