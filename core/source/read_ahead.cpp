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
    changed_.wait(lock, [this] { return busy_ == 0 && (next_ >= aim_ || next_ >= endBlock_); });
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

template <typename Take>
bool ReadAhead::Obtain(std::unique_lock<std::mutex>& lock, const std::string& device, const std::string& key,
                       std::uint64_t block, const Take& take, std::shared_ptr<const ReadWindow::Bytes>& read,
                       const PieceReader* readAlone, bool heldOnly) {
    Aim(device, key, block);
    lock.unlock();
    if (take()) return true;
    lock.lock();
    // A block is put into the window before it stops being read, both under
    // the lock: once no thread reads it, the window holds it unless it failed
    // or was pushed out since.
    while (reading_.count(block) != 0) {
        if (!ReadNextAimed(lock)) changed_.wait(lock);
    }
    lock.unlock();
    if (take()) return true;
    lock.lock();
    if (heldOnly || failed_.count(block) != 0 || !read_) return false;
    if (readAlone != nullptr) {
        const std::uint64_t run = run_;
        lock.unlock();
        const bool ok = (*readAlone)();
        if (ok) return true;
        lock.lock();
        if (run == run_) failed_.insert(block);
        return false;
    }
    read = ReadAndKeep(lock, device, key, block);
    lock.unlock();
    changed_.notify_all();
    return read != nullptr;
}

bool ReadAhead::Copy(const std::string& device, const std::string& key, std::uint64_t block, std::uint64_t first,
                     std::uint64_t count, std::uint8_t* out) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::shared_ptr<const ReadWindow::Bytes> read;
    if (!Obtain(lock, device, key, block, [&] { return window_.Copy(key, first, count, out); }, read)) return false;
    if (read) {
        // Through a view, which is let go under the window's lock: the block
        // may meanwhile have left the window and be taken for the next read.
        const ReadWindow::View view = window_.LookAt(std::move(read), block * blockSectors_, first);
        std::memcpy(out, view.Data(), static_cast<std::size_t>(count * kSectorSize));
    }
    return true;
}

bool ReadAhead::Copy(const std::string& device, const std::string& key, std::uint64_t block, std::uint64_t first,
                     std::uint64_t count, std::uint8_t* out, const PieceReader& readAlone) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::shared_ptr<const ReadWindow::Bytes> read;
    return Obtain(lock, device, key, block, [&] { return window_.Copy(key, first, count, out); }, read, &readAlone);
}

ReadWindow::View ReadAhead::Look(const std::string& device, const std::string& key, std::uint64_t block,
                                 std::uint64_t first, std::uint64_t count, bool heldOnly) {
    std::unique_lock<std::mutex> lock(mutex_);
    ReadWindow::View view;
    std::shared_ptr<const ReadWindow::Bytes> read;
    const auto take = [&] {
        view = window_.Look(key, first, count);
        return static_cast<bool>(view);
    };
    if (!Obtain(lock, device, key, block, take, read, nullptr, heldOnly)) return {};
    if (read) view = window_.LookAt(std::move(read), block * blockSectors_, first);
    return view;
}

bool ReadAhead::ReadNextAimed(std::unique_lock<std::mutex>& lock) {
    const std::uint64_t from = next_;
    while (next_ < aim_ && next_ < endBlock_) {
        const std::uint64_t block = next_++;
        if (reading_.count(block) != 0 || failed_.count(block) != 0 ||
            window_.Holds(key_, block * blockSectors_, blockSectors_)) {
            continue;
        }
        ++busy_;
        // Copies: the thread that asks may change them while this one reads.
        const std::string device = device_;
        const std::string key = key_;
        ReadAndKeep(lock, device, key, block);
        --busy_;
        changed_.notify_all();
        return true;
    }
    // For Settle, when blocks passed over were the last ones aimed at.
    if (next_ != from) changed_.notify_all();
    return false;
}

std::shared_ptr<const ReadWindow::Bytes> ReadAhead::ReadAndKeep(std::unique_lock<std::mutex>& lock,
                                                                const std::string& device, const std::string& key,
                                                                std::uint64_t block) {
    const std::uint64_t run = run_;
    const std::shared_ptr<const BlockReader> read = read_;
    // Right after the bytes of the block before, held or being read, so that
    // a stretch spanning both is looked at in place: the block's own piece of
    // the region they lie in. Taken under the lock, so that the thread
    // reading the next block meanwhile knows where they are.
    const std::uint8_t* before = nullptr;
    if (block > 0) {
        const auto it = reading_.find(block - 1);
        before = it != reading_.end() ? it->second : window_.BytesEndingAt(key, block * blockSectors_);
    }
    const auto* want = before != nullptr ? static_cast<const std::uint8_t*>(BlockMemorySlot(before, block)) : nullptr;
    std::shared_ptr<ReadWindow::Bytes> bytes = window_.TakeSpare(want);
    bytes->resize(std::size_t{blockSectors_} * kSectorBytes);
    reading_[block] = bytes->data();
    lock.unlock();

    const bool ok = (*read)(device, block, *bytes);

    lock.lock();
    reading_.erase(block);
    if (run == run_) {
        if (ok) {
            window_.Put(key, block * blockSectors_, bytes);
        } else {
            failed_.insert(block);
        }
    }
    if (!ok) return nullptr;
    return bytes;
}

void ReadAhead::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return quit_ || (next_ < aim_ && next_ < endBlock_); });
        if (quit_) return;
        ReadNextAimed(lock);
    }
}

}  // namespace zt
