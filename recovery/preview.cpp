#include "recovery/preview.h"

#include <unistd.h>

#include "core/source/source_files.h"
#include "platform/files.h"
#include "platform/private_file.h"

namespace zt {

namespace {

// The types previewed from the start, in row order.
const std::vector<std::string_view>& PreviewTypeList() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> v;
        for (const TypeId type : AllTypes()) {
            if (TraitsOf(type).shownBy == PreviewSource::FromStart) v.push_back(TypeName(type));
        }
        return v;
    }();
    return names;
}

}  // namespace

PreviewKind PreviewKindOf(TypeId type) {
    const TypeTraits traits = TraitsOf(type);
    return traits.shownBy == PreviewSource::FromStart ? traits.Preview() : PreviewKind::None;
}

std::string PreviewFileName(std::string_view typeName) { return "ZTtemp." + std::string(typeName); }

std::span<const std::string_view> PreviewTypeNames() { return PreviewTypeList(); }

void RemovePreviewFiles(const std::string& folder) {
    if (folder.empty()) return;
    for (std::string_view type : PreviewTypeList()) {
        platform::RemoveEntry(platform::JoinPath(folder, PreviewFileName(type)));
    }
}

std::vector<PreviewFolder> PreviewFolderCandidates() {
    const std::string temporary = platform::TemporaryFolder();
    std::vector<PreviewFolder> candidates{
        {temporary, false},
        {platform::JoinPath(temporary, "zentrix-pictora-" + std::to_string(::geteuid())), true},
    };
    if (auto runtime = platform::EnvironmentValue("XDG_RUNTIME_DIR"); runtime && runtime->starts_with('/')) {
        candidates.push_back({platform::JoinPath(*runtime, "zentrix-pictora"), true});
    }
    if (const std::string cache = platform::XdgFolder("XDG_CACHE_HOME", ".cache"); !cache.empty()) {
        candidates.push_back({platform::JoinPath(cache, "zentrix-pictora"), true});
    }
    return candidates;
}

namespace {

// The path itself, or the nearest folder above it that exists.
std::string NearestExisting(std::string path) {
    while (!platform::PathExists(path)) {
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return ".";
        if (slash == 0) return "/";
        path.resize(slash);
    }
    return path;
}

}  // namespace

std::string ChoosePreviewFolder(const std::vector<PreviewFolder>& candidates, const SourceDescriptor& source,
                                platform::Destination& destination, platform::RawIo& io) {
    const auto onMedium = [&](const std::string& folder) {
        return DestinationOnSourceMedium(destination, folder, source, io);
    };
    for (const PreviewFolder& candidate : candidates) {
        // Making the folder (or the cache folder above it) would already
        // write onto the medium it is made on: that is looked at first.
        if (onMedium(NearestExisting(candidate.path))) continue;
        if (candidate.make) {
            const std::size_t slash = candidate.path.find_last_of('/');
            // Missing folders above are made as the XDG rules ask (0700).
            if (slash != std::string::npos && slash > 0) {
                (void)platform::MakeDirectories(candidate.path.substr(0, slash), 0700);
            }
        }
        if (platform::PrivateFolder(candidate.path, candidate.make) != 0) continue;
        // An existing folder may be a mount point of the medium itself.
        if (onMedium(candidate.path)) continue;
        return candidate.path;
    }
    return {};
}

PreviewExtractor::PreviewExtractor(const SourceDescriptor& source, BadSectorPolicyState& policy, std::string folder,
                                   platform::RawIo& io)
    : source_(source), reader_(source_, policy, io), folder_(std::move(folder)), copy_(reader_) {
    // The range bounds the scan, not the files it found.
    source_.RangeStart = 0;
    source_.RangeEnd = 0;
}

std::string PreviewExtractor::PathFor(std::string_view typeName) const {
    return platform::JoinPath(folder_, PreviewFileName(typeName));
}

std::optional<std::string> PreviewExtractor::Extract(const FileInfo& file, std::span<const SectorRun> runs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (folder_.empty()) return std::nullopt;
    const std::string_view type = file.TypeName();
    // A type name comes from the catalogue; anything else must not make a path.
    if (type.empty() || type.find('/') != std::string_view::npos || type.find('.') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string path = PathFor(type);
    platform::PrivateFile out(path);
    if (out.CreateError() != 0) return std::nullopt;
    // A short write ends the copy; the part written is still shown.
    const ChunkWriter write = [&out](const std::uint8_t* bytes, std::size_t length, std::uint64_t offset) {
        return out.WriteAt(bytes, length, offset);
    };
    (void)(runs.empty() ? copy_.Copy(file, write) : copy_.CopyRuns(runs, file.byteLength, write));
    if (out.Publish() != 0) return std::nullopt;
    return path;
}

bool LivePreview::Offer(const FileInfo& file) {
    if (busy_.exchange(true)) return false;
    if (std::optional<std::string> path = extractor_.Extract(file)) {
        {
            std::lock_guard<std::mutex> lock(pathMutex_);
            path_ = std::move(*path);
        }
        ready_.store(true, std::memory_order_release);
    }
    busy_.store(false);
    return true;
}

std::optional<std::string> LivePreview::TakeReady() {
    if (!ready_.exchange(false, std::memory_order_acq_rel)) return std::nullopt;
    std::lock_guard<std::mutex> lock(pathMutex_);
    return path_;
}

}  // namespace zt
