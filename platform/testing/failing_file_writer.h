// A FileWriter over the real one that fails on demand: a disk that fills up
// after so many bytes, writes or creations that fail with a given errno, and
// a hook run before each write so a test can act in the middle of a file.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_writer.h"

namespace zt::testing {

class FailingFileWriter final : public platform::FileWriter {
public:
    explicit FailingFileWriter(platform::FileWriter& real = platform::SystemFileWriter()) : real_(real) {}

    // Writes beyond this many bytes in all fail with ENOSPC; the part of a
    // write that still fits is written first, as a filling disk does.
    void SetSpace(std::uint64_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        space_ = bytes;
    }
    // Every write fails with this errno (0: none does).
    void FailWrites(int error) {
        std::lock_guard<std::mutex> lock(mutex_);
        writeError_ = error;
    }
    // Creating a file whose path ends with suffix fails with this errno.
    void FailCreate(std::string suffix, int error) {
        std::lock_guard<std::mutex> lock(mutex_);
        createFailures_.push_back({std::move(suffix), error});
    }
    // Runs on the writing thread before each write, with the number of writes so far.
    void BeforeWrite(std::function<void(int)> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        beforeWrite_ = std::move(hook);
    }
    int Writes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }
    std::vector<std::string> Created() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return created_;
    }

    platform::EntryInfo Examine(const std::string& path) override { return real_.Examine(path); }
    int MakeFolder(const std::string& path) override { return real_.MakeFolder(path); }
    int MakeOwnerWritable(const std::string& path) override { return real_.MakeOwnerWritable(path); }
    int Remove(const std::string& path) override { return real_.Remove(path); }

    CreateResult Create(const std::string& path) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            created_.push_back(path);
            for (const auto& [suffix, error] : createFailures_) {
                if (path.ends_with(suffix)) return {-1, error};
            }
        }
        return real_.Create(path);
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
        if (writeError_ != 0) return writeError_;
        if (length <= space_) {
            space_ -= length;
            return real_.WriteAt(handle, buffer, length, offset);
        }
        const auto fits = static_cast<std::size_t>(space_);
        space_ = 0;
        if (fits > 0) {
            if (const int error = real_.WriteAt(handle, buffer, fits, offset); error != 0) return error;
        }
        return ENOSPC;
    }

    int Close(int handle) override { return real_.Close(handle); }

private:
    struct CreateFailure {
        std::string suffix;
        int error;
    };
    platform::FileWriter& real_;
    mutable std::mutex mutex_;
    std::uint64_t space_ = ~std::uint64_t{0};
    int writeError_ = 0;
    std::vector<CreateFailure> createFailures_;
    std::function<void(int)> beforeWrite_;
    int writes_ = 0;
    std::vector<std::string> created_;
};

}  // namespace zt::testing
