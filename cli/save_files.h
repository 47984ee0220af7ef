// pictora-cli scan ... --save DIR: the found files saved into a folder, one
// subfolder per type, by the same saving run the desktop program uses.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/session.h"
#include "cli/common.h"
#include "core/scan/found_file_list.h"
#include "core/source/sector_reader.h"

namespace zt::cli {

enum class OverwriteMode { Default, Ask, Yes, No };

struct SaveOptions {
    std::string folder;
    OverwriteMode overwrite = OverwriteMode::Default;
};

// Why files cannot be saved into the folder for a scan of the session's source (named
// sourceName on the command line), or nothing when they can: the folder must
// exist and must not lie on the medium being read, however it was named.
std::optional<std::string> SaveFolderProblem(Session& session, const std::string& folder,
                                             const std::string& sourceName);

// Selects every found file of the session and saves them all. Progress goes to stderr when
// it is a terminal; Ctrl+C stops after the file in hand. The outcome and
// where the recovery log is go to out. Returns the exit status: ExitFailure
// when a file could not be saved or the flush at the end failed, ExitStopped
// after Ctrl+C, ExitUnreadable when sectors of saved files could not be read,
// else ExitOk.
int SaveFoundFiles(Session& session, const SaveOptions& options, TerminalLines& lines, std::ostream& out);

}  // namespace zt::cli
