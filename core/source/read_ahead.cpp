#include "core/source/read_ahead.h"

#include <cstring>
#include <utility>

#include "core/source/source_descriptor.h"

namespace zt {

ReadAhead::ReadAhead(ReadWindow& window, std::uint32_t blockSectors, std::uint32_t depth)
    : window_(window), blockSectors_(blockSectors), depth_(depth) {}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ReadAhead::StartRun(std::uint64_t endBlock, BlockReader read) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++run_;
    read_ = std::make_shared<const BlockReader>(std::move(read));
    window_.Clear();
    failed_.clear();
    endBlock_ = endBlock;
    device_.clear();
    key_.clear();
    lastAsked_ = kNone;
    next_ = aim_ = 0;
}

void ReadAhead::Settle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_ && (next_ >= aim_ || next_ >= endBlock_); });
}

void ReadAhead::Aim(const std::string& device, const std::string& key, std::uint64_t block) {
    if (depth_ == 0 || !read_) return;
    if (key != key_ || device != device_) {
        device_ = device;
        key_ = key;
        lastAsked_ = kNone;
    }
    // Only a reader going on through the blocks is read ahead of: one that
    // jumps (a walk following a table far away, a rescan going back) would
    // have blocks read for nothing, and a slow medium would pay for them.
    const bool onward = lastAsked_ == kNone || block == lastAsked_ || block == lastAsked_ + 1;
    lastAsked_ = block;
    if (!onward) {
        next_ = aim_ = block + 1;
        return;
    }
    // Reading on from where the reads ahead got to. Blocks already held are
    // passed over by the thread ahead.
    if (next_ <= block || next_ > block + 1 + depth_) next_ = block + 1;
    aim_ = block + 1 + depth_;
    if (next_ >= aim_ || next_ >= endBlock_) return;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    changed_.notify_all();
}

bool ReadAhead::Copy(const std::string& device, const std::string& key, std::uint64_t block, std::uint64_t first,
                     std::uint64_t count, std::uint8_t* out) {
    const std::uint64_t blockFirst = block * blockSectors_;
    std::unique_lock<std::mutex> lock(mutex_);
    Aim(device, key, block);
    lock.unlock();
    if (window_.Copy(key, first, count, out)) return true;
    lock.lock();
    // A block is put into the window before it stops being read, both under
    // the lock: once no thread reads it, the window holds it unless it failed
    // or was pushed out since.
    changed_.wait(lock, [&] { return reading_.count(block) == 0; });
    if (window_.Copy(key, first, count, out)) return true;
    if (failed_.count(block) != 0 || !read_) return false;
    const bool ok = ReadAndKeep(lock, device, key, block, out, first - blockFirst, count);
    lock.unlock();
    changed_.notify_all();
    return ok;
}

bool ReadAhead::ReadAndKeep(std::unique_lock<std::mutex>& lock, const std::string& device, const std::string& key,
                            std::uint64_t block, std::uint8_t* out, std::uint64_t from, std::uint64_t count) {
    reading_.insert(block);
    const std::uint64_t run = run_;
    const std::shared_ptr<const BlockReader> read = read_;
    lock.unlock();

    std::vector<std::uint8_t> bytes = window_.TakeSpare();
    bytes.resize(std::size_t{blockSectors_} * kSectorBytes);
    const bool ok = (*read)(device, block, bytes);
    if (ok && out != nullptr) {
        std::memcpy(out, bytes.data() + from * kSectorBytes, static_cast<std::size_t>(count * kSectorBytes));
    }

    lock.lock();
    reading_.erase(block);
    if (run == run_) {
        if (ok) {
            window_.Put(key, block * blockSectors_, std::move(bytes));
        } else {
            failed_.insert(block);
        }
    }
    return ok;
}

void ReadAhead::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return quit_ || (next_ < aim_ && next_ < endBlock_); });
        if (quit_) return;
        const std::uint64_t block = next_++;
        const std::uint64_t blockFirst = block * blockSectors_;
        if (reading_.count(block) != 0 || failed_.count(block) != 0 ||
            window_.Holds(key_, blockFirst, blockSectors_)) {
            changed_.notify_all();  // for Settle, when that was the last block aimed at
            continue;
        }
        busy_ = true;
        // Copies: the thread that asks may change them while this one reads.
        const std::string device = device_;
        const std::string key = key_;
        ReadAndKeep(lock, device, key, block, nullptr, 0, 0);
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace zt
