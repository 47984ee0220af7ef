#include "core/filesystems/named_files.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>
#include <string>

#include "core/scan/format_walk.h"

namespace zt::fs {

namespace {

// Extensions that name a type by another spelling.
struct Alias {
    std::string_view extension;
    std::string_view type;
};
constexpr std::array kAliases = {
    Alias{"JPG", "JPEG"}, Alias{"JPE", "JPEG"}, Alias{"TIF", "TIFF"}, Alias{"MID", "MIDI"},
    Alias{"AIF", "AIFF"}, Alias{"OGA", "OGG"},  Alias{"SND", "AU"},   Alias{"MPG", "MPEG"},
    Alias{"WMV", "ASF"},  Alias{"HEIF", "HEIC"}, Alias{"M2TS", "MTS"},
};

std::optional<std::size_t> TypeNamed(std::string_view name, const TypeDefinitionList& types) {
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i].Name() == name) return i;
    }
    return std::nullopt;
}

std::string UpperExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (const Alias& a : kAliases) {
        if (ext == a.extension) return std::string(a.type);
    }
    return ext;
}

}  // namespace

std::optional<std::size_t> NamedFileType(std::string_view name, std::span<const std::uint8_t> firstSector,
                                         const TypeDefinitionList& types) {
    const std::string ext = UpperExtension(name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1));
    if (!ext.empty()) {
        if (std::optional<std::size_t> t = TypeNamed(ext, types)) return t;
    }
    const FormatMatch match = DetectFormat(firstSector.data(), firstSector.size());
    if (match.family == FormatFamily::None) return std::nullopt;
    return TypeNamed(match.type, types);
}

NamedFilesAdded AddNamedFiles(FileSystemPass& pass, TypeDefinitionList& types, FoundFileList& found) {
    struct Pending {
        FileInfo info;
        const FsFile* file;
        const FoundFileSystem* volume;
    };
    std::vector<Pending> named;
    std::set<std::uint64_t> starts;
    std::array<std::uint8_t, kSectorBytes> head{};
    for (const FoundFileSystem& fs : pass.FileSystems()) {
        for (const FsFile& f : fs.listing.files) {
            if (f.named.runs.empty()) continue;
            const std::uint64_t start = f.named.runs.front().first;
            if (!pass.Reader().Read(start * kSectorBytes, head)) continue;
            const std::optional<std::size_t> t = NamedFileType(f.named.path, head, types);
            if (!t) continue;
            stExtInfo& d = types[*t];
            const std::uint64_t sectors = (f.byteLength + kSectorBytes - 1) / kSectorBytes;
            FileInfo info = MakeFileInfo(d.Name(), ++d.foundCount, start,
                static_cast<std::int32_t>(std::min<std::uint64_t>(sectors, std::numeric_limits<std::int32_t>::max())));
            info.byteLength = f.byteLength;
            named.push_back({info, &f, &fs});
            starts.insert(start);
        }
    }
    NamedFilesAdded result;
    std::vector<FileInfo> carved = found.Snapshot();
    found.Clear();
    for (const FileInfo& info : carved) {
        if (starts.contains(info.startSector)) {
            ++result.replaced;
        } else {
            found.Append(info);
        }
    }
    for (const Pending& p : named) {
        NamedFile file = p.file->named;
        file.volume = VolumeName(*p.volume);
        found.AppendNamed(p.info, std::move(file));
        ++result.added;
    }
    return result;
}

void ReadWithScan(ScanCallbacks& callbacks, FileSystemPass& pass, TypeDefinitionList& types, FoundFileList& found) {
    callbacks.beforeChunks = [&pass] { pass.ReadTrees(); };
    callbacks.examineChunk = [&pass](std::uint64_t first, std::uint32_t count, const std::uint8_t* data) {
        pass.ExamineChunk(first, count, data);
    };
    callbacks.afterChunks = [&pass, &types, &found](bool stopped) {
        if (!stopped) pass.ReadOrphans();
        AddNamedFiles(pass, types, found);
    };
}

std::vector<FileSystemLine> FileSystemLines(const FileSystemPass& pass) {
    std::vector<FileSystemLine> lines;
    for (const FoundFileSystem& found : pass.FileSystems()) {
        lines.push_back({VolumeName(found), found.label, found.listing.live, found.listing.deleted,
                         found.listing.orphan, found.listing.notes});
    }
    return lines;
}

}  // namespace zt::fs
