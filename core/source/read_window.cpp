#include "core/source/read_window.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/source/source_descriptor.h"

namespace zt {

namespace {
constexpr std::size_t kSpares = 4;
}  // namespace

ReadWindow::View& ReadWindow::View::operator=(View&& other) noexcept {
    if (this != &other) {
        Reset();
        window_ = std::exchange(other.window_, nullptr);
        bytes_ = std::move(other.bytes_);
        next_ = std::move(other.next_);
        data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
}

void ReadWindow::View::Reset() {
    if (window_ != nullptr) {
        // Let go under the window's lock, where TakeSpare counts who still
        // looks at a stretch before its bytes are read into again.
        std::lock_guard<std::mutex> lock(window_->mutex_);
        bytes_.reset();
        next_.reset();
    }
    bytes_.reset();
    next_.reset();
    window_ = nullptr;
    data_ = nullptr;
}

bool ReadWindow::View::Extend(std::size_t bytesHere, View&& next) {
    if (!*this || !next || next_ || next.next_ || next.window_ != window_ || next.data_ != data_ + bytesHere)
        return false;
    // Under the window's lock, as the views are let go.
    std::lock_guard<std::mutex> lock(window_->mutex_);
    next_ = std::move(next.bytes_);
    next.window_ = nullptr;
    next.data_ = nullptr;
    return true;
}

void ReadWindow::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    stretches_.clear();
    order_.clear();
    held_ = 0;
    spares_.clear();
}

std::size_t ReadWindow::HeldBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

bool ReadWindow::Copy(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Visit(source, first, count, out);
}

bool ReadWindow::Holds(const std::string& source, std::uint64_t first, std::uint64_t count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Visit(source, first, count, nullptr);
}

bool ReadWindow::Visit(const std::string& source, std::uint64_t first, std::uint64_t count, std::uint8_t* out) const {
    if (source != source_ || stretches_.empty()) return false;
    const std::uint64_t end = first + count;
    std::uint64_t s = first;
    while (s < end) {
        auto it = stretches_.upper_bound(s);
        if (it == stretches_.begin()) return false;
        --it;
        const std::uint64_t stretchEnd = it->first + it->second.bytes->size() / kSectorBytes;
        if (stretchEnd <= s) return false;
        const std::uint64_t upTo = std::min(end, stretchEnd);
        if (out != nullptr) {
            std::memcpy(out + (s - first) * kSectorBytes, it->second.bytes->data() + (s - it->first) * kSectorBytes,
                        static_cast<std::size_t>((upTo - s) * kSectorBytes));
        }
        s = upTo;
    }
    return true;
}

ReadWindow::View ReadWindow::Look(const std::string& source, std::uint64_t first, std::uint64_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (source != source_ || count == 0) return {};
    auto it = stretches_.upper_bound(first);
    if (it == stretches_.begin()) return {};
    --it;
    const Bytes& bytes = *it->second.bytes;
    if (it->first + bytes.size() / kSectorBytes < first + count) return {};
    return View(this, it->second.bytes, bytes.data() + (first - it->first) * kSectorBytes);
}

ReadWindow::View ReadWindow::LookAt(std::shared_ptr<const Bytes> bytes, std::uint64_t bytesFirst,
                                    std::uint64_t first) {
    // Nothing of the window is touched: only letting go needs its lock.
    const std::uint8_t* data = bytes->data() + (first - bytesFirst) * kSectorBytes;
    return View(this, std::move(bytes), data);
}

std::shared_ptr<ReadWindow::Bytes> ReadWindow::TakeSpare(const std::uint8_t* want) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A spare some view still looks at stays until it is let go.
    auto free = spares_.end();
    for (auto it = spares_.begin(); it != spares_.end(); ++it) {
        if (it->use_count() != 1) continue;
        if (want != nullptr && (*it)->data() == want) {
            free = it;
            break;
        }
        if (free == spares_.end()) free = it;
    }
    const bool wantedIsSpare = free != spares_.end() && (*free)->data() == want;
    if (want != nullptr && !wantedIsSpare) {
        // Still held by a stretch nobody looks at: one read out of turn, long
        // behind the others (or ahead of a reader gone back), that stayed
        // since. It makes room now, rather than send this read, and each one
        // after it, to bytes that belong to the reads to come.
        for (auto it = stretches_.begin(); it != stretches_.end(); ++it) {
            if (it->second.bytes->data() != want || it->second.bytes.use_count() != 1) continue;
            std::shared_ptr<Bytes> bytes = std::move(it->second.bytes);
            held_ -= bytes->size();
            stretches_.erase(it);
            return bytes;
        }
        // Free memory is taken new rather than a spare elsewhere, for the same reason.
        if (BlockMemoryFree(want)) return std::make_shared<Bytes>(BlockAllocator<std::uint8_t>(want));
    }
    if (free != spares_.end()) {
        std::shared_ptr<Bytes> spare = std::move(*free);
        spares_.erase(free);
        return spare;
    }
    return std::make_shared<Bytes>(BlockAllocator<std::uint8_t>(want));
}

const std::uint8_t* ReadWindow::BytesEndingAt(const std::string& source, std::uint64_t end) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (source != source_) return nullptr;
    auto it = stretches_.lower_bound(end);
    if (it == stretches_.begin()) return nullptr;
    --it;
    const Bytes& bytes = *it->second.bytes;
    if (it->first + bytes.size() / kSectorBytes != end) return nullptr;
    return bytes.data();
}

void ReadWindow::EraseOverlapping(std::uint64_t first, std::uint64_t end) {
    auto it = stretches_.upper_bound(first);
    if (it != stretches_.begin()) {
        auto before = std::prev(it);
        if (before->first + before->second.bytes->size() / kSectorBytes > first) it = before;
    }
    while (it != stretches_.end() && it->first < end) {
        held_ -= it->second.bytes->size();
        it = stretches_.erase(it);
    }
}

void ReadWindow::Put(const std::string& source, std::uint64_t first, std::shared_ptr<Bytes> bytes) {
    if (!bytes) return;
    const std::size_t size = bytes->size();
    const std::uint64_t sectors = size / kSectorBytes;
    if (sectors == 0 || size % kSectorBytes != 0 || size > capacity_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (source != source_) {
        stretches_.clear();
        order_.clear();
        held_ = 0;
        source_ = source;
    }
    EraseOverlapping(first, first + sectors);
    while (held_ + size > capacity_ && !order_.empty()) {
        const auto [oldest, serial] = order_.front();
        order_.pop_front();
        auto it = stretches_.find(oldest);
        if (it == stretches_.end() || it->second.serial != serial) continue;
        held_ -= it->second.bytes->size();
        if (spares_.size() < kSpares) spares_.push_back(std::move(it->second.bytes));
        stretches_.erase(it);
    }
    held_ += size;
    const std::uint64_t serial = ++serial_;
    stretches_[first] = Stretch{std::move(bytes), serial};
    order_.emplace_back(first, serial);
    // Stretches replaced in place leave stale entries behind: drop them
    // before they outnumber the live ones by far.
    if (order_.size() > 4 * stretches_.size() + 64) {
        std::erase_if(order_, [this](const std::pair<std::uint64_t, std::uint64_t>& entry) {
            auto it = stretches_.find(entry.first);
            return it == stretches_.end() || it->second.serial != entry.second;
        });
    }
}

}  // namespace zt
