// A loop device attached read-only to an image file for the duration of a
// test, for the tests that list and read real block devices. Attaching needs
// root; callers skip when Attached() is false.
#pragma once

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <sys/wait.h>

#include "platform/testing/fake_block_tree.h"

namespace zt::testing {

struct CommandResult {
    int status = -1;  // exit status; -1 when it did not end normally
    std::string out;  // standard output; standard error is dropped
};

// Runs a shell command with no input, with the administrator folders on the search path.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(("PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " </dev/null 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.out += buffer;
    int raw = ::pclose(pipe);
    if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    return result;
}

// A loop device attached read-only to an image file, detached on destruction
// whatever the test did.
class AttachedLoop {
public:
    explicit AttachedLoop(const std::string& image) {
        device_ = RunCommand("losetup --find --show --read-only --partscan '" + image + "'").out;
        while (!device_.empty() && std::isspace(static_cast<unsigned char>(device_.back())) != 0) device_.pop_back();
        if (device_.rfind("/dev/loop", 0) != 0) device_.clear();
    }
    ~AttachedLoop() {
        if (!device_.empty()) RunQuietly("losetup -d '" + device_ + "'");
    }
    AttachedLoop(const AttachedLoop&) = delete;
    AttachedLoop& operator=(const AttachedLoop&) = delete;

    bool Attached() const { return !device_.empty(); }
    const std::string& Device() const { return device_; }
    std::string Name() const { return device_.substr(5); }

    // The kernel reads the partition table in the background, and in some
    // containers not at all until asked: wait a little, then ask.
    bool WaitForPartition(const std::string& partition) const {
        std::string sysfs = "/sys/block/" + Name() + "/" + partition;
        for (int i = 0; i < 10 && !std::filesystem::exists(sysfs); ++i) {
            if (i == 5) RunQuietly("partx -a '" + device_ + "'");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::filesystem::exists(sysfs) && std::filesystem::exists("/dev/" + partition);
    }

private:
    std::string device_;
};

}  // namespace zt::testing
