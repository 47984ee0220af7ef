#include "core/source/read_window.h"

#include <algorithm>
#include <cstring>

#include "core/source/source_descriptor.h"

namespace zt {

namespace {
constexpr std::size_t kSpares = 4;
}  // namespace

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
        const std::uint64_t stretchEnd = it->first + it->second.bytes.size() / kSectorBytes;
        if (stretchEnd <= s) return false;
        const std::uint64_t upTo = std::min(end, stretchEnd);
        if (out != nullptr) {
            std::memcpy(out + (s - first) * kSectorBytes, it->second.bytes.data() + (s - it->first) * kSectorBytes,
                        static_cast<std::size_t>((upTo - s) * kSectorBytes));
        }
        s = upTo;
    }
    return true;
}

std::vector<std::uint8_t> ReadWindow::TakeSpare() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.empty()) return {};
    std::vector<std::uint8_t> spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

void ReadWindow::EraseOverlapping(std::uint64_t first, std::uint64_t end) {
    auto it = stretches_.upper_bound(first);
    if (it != stretches_.begin()) {
        auto before = std::prev(it);
        if (before->first + before->second.bytes.size() / kSectorBytes > first) it = before;
    }
    while (it != stretches_.end() && it->first < end) {
        held_ -= it->second.bytes.size();
        it = stretches_.erase(it);
    }
}

void ReadWindow::Put(const std::string& source, std::uint64_t first, std::vector<std::uint8_t> bytes) {
    const std::uint64_t sectors = bytes.size() / kSectorBytes;
    if (sectors == 0 || bytes.size() % kSectorBytes != 0 || bytes.size() > capacity_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (source != source_) {
        stretches_.clear();
        order_.clear();
        held_ = 0;
        source_ = source;
    }
    EraseOverlapping(first, first + sectors);
    while (held_ + bytes.size() > capacity_ && !order_.empty()) {
        const auto [oldest, serial] = order_.front();
        order_.pop_front();
        auto it = stretches_.find(oldest);
        if (it == stretches_.end() || it->second.serial != serial) continue;
        held_ -= it->second.bytes.size();
        if (spares_.size() < kSpares) spares_.push_back(std::move(it->second.bytes));
        stretches_.erase(it);
    }
    held_ += bytes.size();
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
