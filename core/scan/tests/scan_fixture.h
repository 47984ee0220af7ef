// Helpers for scan tests: an image built sector by sector in memory, written
// to a temporary file and scanned through the device path like a card.dd.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/found_file_list.h"
#include "core/scan/scan_driver.h"
#include "core/source/sector_reader.h"
#include "platform/raw_io.h"

namespace zt::testing {

class Image {
public:
    explicit Image(std::size_t sectors) : bytes_(sectors * kSectorBytes, 0) {}
    std::size_t Sectors() const { return bytes_.size() / kSectorBytes; }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    // Writes bytes at a sector and byte offset; bytes past the image are dropped.
    void Put(std::uint64_t sector, std::size_t offset, const std::vector<std::uint8_t>& data) {
        const std::size_t at = static_cast<std::size_t>(sector) * kSectorBytes + offset;
        for (std::size_t i = 0; i < data.size() && at + i < bytes_.size(); ++i) bytes_[at + i] = data[i];
    }
    void PutText(std::uint64_t sector, std::size_t offset, std::string_view text) {
        Put(sector, offset, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    void PutLe32(std::uint64_t sector, std::size_t offset, std::uint32_t v) {
        Put(sector, offset, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
    }
    void PutBe32(std::uint64_t sector, std::size_t offset, std::uint32_t v) {
        Put(sector, offset, {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                             static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// A source held in memory that records the byte ranges asked of it.
class MemoryRawIo final : public platform::RawIo {
public:
    struct Request {
        std::uint64_t offset;
        std::size_t length;
    };
    explicit MemoryRawIo(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    platform::OpenResult Open(const std::string&) override { return {3, 0}; }
    void Close(int) override {}
    std::optional<std::uint64_t> Size(int) override { return bytes_.size(); }
    platform::ReadResult ReadAt(int, void* buffer, std::size_t length, std::uint64_t offset) override {
        {
            // As an image file the reader's thread ahead reads too.
            std::lock_guard<std::mutex> lock(requestsMutex_);
            requests.push_back({offset, length});
        }
        if (offset >= bytes_.size()) return {0, 0};
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, bytes_.size() - offset));
        std::memcpy(buffer, bytes_.data() + offset, n);
        return {n, 0};
    }
    std::optional<std::string> FindEntryNoCase(const std::string&, const std::string&) override { return {}; }

    bool IsRegularFile(int) override { return regularFile; }

    std::vector<Request> requests;
    // Read as an image file (in large blocks, ahead of the scan) rather than as a device.
    bool regularFile = false;

private:
    std::mutex requestsMutex_;
    const std::vector<std::uint8_t>& bytes_;
};

// A private temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zt-scan-test-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Definitions of the named types (all selectable ones when empty) with a
// maximum size in KB.
inline TypeDefinitionList Definitions(std::initializer_list<std::string_view> names = {},
                                      std::int32_t maxSizeKB = 2000) {
    TypeDefinitionList list;
    for (const CatalogueRow& row : CatalogueRows()) {
        bool wanted = names.size() == 0;
        for (std::string_view n : names) wanted = wanted || n == row.fileType;
        if (!wanted) continue;
        if (auto d = LookupDefinition(row.fileType)) {
            d->maxSizeBytes = maxSizeKB * 1024;
            list.push_back(*d);
        }
    }
    return list;
}

struct ScanRun {
    std::vector<FileInfo> files;
    std::uint64_t currentSector = 0;
    bool endedByStop = false;
};

// Scans the image file through the device path over [rangeStart, rangeEnd).
inline ScanRun ScanFile(const std::filesystem::path& file, TypeDefinitionList& types, std::uint64_t rangeStart,
                        std::uint64_t rangeEnd, ScanCallbacks callbacks = {}) {
    SourceDescriptor source;
    source.DeviceNames[0] = file.string();
    source.RangeStart = rangeStart;
    source.RangeEnd = rangeEnd;
    BadSectorPolicyState policy;
    SectorReader reader(source, policy, platform::SystemRawIo());  // the test's own file, read as a device
    FoundFileList found;
    ScanDriver driver(reader, types, found, std::move(callbacks));
    driver.Run();
    return {found.Snapshot(), driver.CurrentSector(), driver.EndedByStop()};
}

}  // namespace zt::testing
