#include "recovery/save_checks.h"

#include "core/source/source_files.h"
#include "platform/path_kind.h"

namespace zt {

SaveRefusal CheckFoundFiles(const FoundFileList& found) {
    return found.Count() == 0 ? SaveRefusal::NoFileFound : SaveRefusal::None;
}

SaveRefusal CheckSaveFolder(const std::string& folder, const SourceDescriptor& source,
                            platform::Destination& destination, platform::RawIo& io) {
    const platform::PathInfo info = platform::InspectPath(folder);
    if (info.kind == platform::PathKind::Missing) return SaveRefusal::FolderMissing;
    if (info.kind != platform::PathKind::Folder) return SaveRefusal::NotAFolder;
    if (DestinationOnSourceMedium(destination, folder, source, io)) return SaveRefusal::FolderOnSource;
    return SaveRefusal::None;
}

std::string_view SaveRefusalMessage(SaveRefusal refusal) {
    switch (refusal) {
        case SaveRefusal::NoFileFound: return "No file found.";
        case SaveRefusal::FolderMissing:
        case SaveRefusal::NotAFolder: return "Select the valid path.";
        case SaveRefusal::FolderOnSource:
            return "This folder lies on the medium being recovered: every file saved there could overwrite files "
                   "still to be recovered. Choose a folder on another disk.";
        case SaveRefusal::None: break;
    }
    return {};
}

}  // namespace zt
