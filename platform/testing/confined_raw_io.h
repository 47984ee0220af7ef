// The system's reads for tests that need real files or an attached loop
// device, confined to what the test made: the temporary folder, and devices
// the test allows one by one. Anything else fails to open with EACCES and
// lists as empty, so a test that names a real disk by mistake reads nothing.
#pragma once

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/raw_io.h"

namespace zt::testing {

class ConfinedRawIo final : public platform::RawIo {
public:
    explicit ConfinedRawIo(platform::RawIo& system)
        : system_(system), temporary_(std::filesystem::temp_directory_path().lexically_normal().string()) {}

    // Lets the test read path itself (a loop device it attached).
    void Allow(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        allowed_.insert(path);
    }

    platform::OpenResult Open(const std::string& path) override {
        if (!Permitted(path)) return platform::OpenResult{-1, EACCES};
        return system_.Open(path);
    }
    void Close(int handle) override { system_.Close(handle); }
    std::optional<std::uint64_t> Size(int handle) override { return system_.Size(handle); }
    platform::ReadResult ReadAt(int handle, void* buffer, std::size_t length, std::uint64_t offset) override {
        return system_.ReadAt(handle, buffer, length, offset);
    }
    std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) override {
        if (!Permitted(folder)) return std::nullopt;
        return system_.FindEntryNoCase(folder, name);
    }
    std::vector<std::string> ListFolder(const std::string& folder) override {
        if (!Permitted(folder)) return {};
        return system_.ListFolder(folder);
    }

private:
    bool Permitted(const std::string& path) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (allowed_.count(path) != 0) return true;
        }
        const std::string normal = std::filesystem::path(path).lexically_normal().string();
        return normal.starts_with(temporary_) &&
               (normal.size() == temporary_.size() || temporary_.ends_with('/') || normal[temporary_.size()] == '/');
    }

    platform::RawIo& system_;
    const std::string temporary_;
    std::mutex mutex_;
    std::set<std::string> allowed_;
};

}  // namespace zt::testing
