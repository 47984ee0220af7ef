#include "core/source/source_files.h"

namespace zt {

std::vector<std::string> SourceFiles(const SourceDescriptor& source, platform::RawIo& io) {
    std::vector<std::string> files;
    if (!source.ImageMode) {
        if (!source.SelectedDevice().empty()) files.push_back(source.SelectedDevice());
        return files;
    }
    // Named as the reader names them: a single file is always Image0.img.
    for (std::uint64_t part = 0;; ++part) {
        const std::optional<std::string> found =
            io.FindEntryNoCase(source.ImageFolder, ImageReadPartName(source.ImageMultiFile, part));
        if (!found) break;
        files.push_back(*found);
        if (!source.ImageMultiFile) break;
    }
    return files;
}

std::vector<std::string> WithFilesUnder(std::vector<std::string> files, platform::Destination& destination) {
    const std::size_t own = files.size();
    for (std::size_t i = 0; i < own; ++i) {
        for (std::string& under : destination.FilesUnder(files[i])) files.push_back(std::move(under));
    }
    return files;
}

bool DestinationOnSourceMedium(platform::Destination& destination, const std::string& folder,
                               const SourceDescriptor& source, platform::RawIo& io) {
    for (const std::string& file : WithFilesUnder(SourceFiles(source, io), destination)) {
        if (destination.FolderOnMedium(folder, file)) return true;
    }
    return false;
}

}  // namespace zt
