#include "core/scan/found_file_list.h"

#include <algorithm>
#include <cstdio>

namespace zt {

FileInfo MakeFileInfo(std::string_view typeName, std::int32_t number, std::uint64_t startSector,
                      std::int32_t sectorCount) {
    FileInfo info;
    const std::size_t n = std::min(typeName.size(), kFileTypeNameCapacity - 1);
    std::copy_n(typeName.begin(), n, info.typeName.begin());
    std::snprintf(info.fileName.data(), info.fileName.size(), "File%d.%s", number, info.typeName.data());
    info.type = FindType(info.TypeName()).value_or(kNoType);
    info.startSector = startSector;
    info.sectorCount = sectorCount;
    return info;
}

void FoundFileList::Append(const FileInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(info);
    count_.store(records_.size(), std::memory_order_release);
}

void FoundFileList::AppendNamed(const FileInfo& info, NamedFile named) {
    std::lock_guard<std::mutex> lock(mutex_);
    named_.emplace(records_.size(), std::move(named));
    records_.push_back(info);
    count_.store(records_.size(), std::memory_order_release);
}

std::optional<NamedFile> FoundFileList::Named(std::size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = named_.find(index);
    if (it == named_.end()) return std::nullopt;
    return it->second;
}

std::optional<NamedFile> FoundFileList::NamedByName(std::string_view fileName) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [index, named] : named_) {
        if (records_[index].FileName() == fileName) return named;
    }
    return std::nullopt;
}

std::map<std::size_t, NamedFile> FoundFileList::NamedSnapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return named_;
}

void FoundFileList::Walk(const std::function<void(const FileInfo&)>& visit) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const FileInfo& info : records_) visit(info);
}

std::vector<FileInfo> FoundFileList::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

bool FoundFileList::SetSelectedByName(std::string_view fileName, bool selected) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (FileInfo& info : records_) {
        if (info.FileName() == fileName) {
            info.selected = selected ? 1 : 0;
            return true;
        }
    }
    return false;
}

std::size_t FoundFileList::SetSelectedByType(TypeId type, bool selected) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t changed = 0;
    if (type == kNoType) return changed;
    for (FileInfo& info : records_) {
        if (info.type == type) {
            info.selected = selected ? 1 : 0;
            ++changed;
        }
    }
    return changed;
}

void FoundFileList::SetSelectedAll(bool selected) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (FileInfo& info : records_) info.selected = selected ? 1 : 0;
}

void FoundFileList::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
    named_.clear();
    count_.store(0, std::memory_order_release);
}

}  // namespace zt
