// What Save refuses before a saving run starts, for the results page and the
// command line alike: nothing to save, a folder that is not there, and a
// folder on the medium being recovered, where every file written could
// overwrite files still to be recovered.
#pragma once

#include <string>
#include <string_view>

#include "core/scan/found_file_list.h"
#include "core/source/source_descriptor.h"
#include "platform/destination.h"
#include "platform/raw_io.h"

namespace zt {

enum class SaveRefusal {
    None,
    NoFileFound,     // the scan found nothing
    FolderMissing,   // nothing at the folder's path
    NotAFolder,      // a file or a device where the folder should be
    FolderOnSource,  // the folder lies on the medium being read
};

[[nodiscard]] SaveRefusal CheckFoundFiles(const FoundFileList& found);

// The folder must exist and must not lie on the source's medium, however it
// was named (a link, a mount point, a loop device over a file on it).
[[nodiscard]] SaveRefusal CheckSaveFolder(const std::string& folder, const SourceDescriptor& source,
                                          platform::Destination& destination, platform::RawIo& io);

// "No file found.", "Select the valid path." for both folder problems, and
// the warning for a folder on the source; empty for None.
[[nodiscard]] std::string_view SaveRefusalMessage(SaveRefusal refusal);

}  // namespace zt
