// Start-up shared by the command line and the desktop program: the
// first-start installation that writes the values the logs and the device
// query rely on, and the fixing of the process-wide settings.
//
// Both programs start through StartUp(), which the session runs
// (app/session.h).
#pragma once

#include <string>

#include "platform/settings_store.h"
#include "settings/settings.h"

namespace zt {

// What start-up learns from the machine.
struct StartupFacts {
    // The installation folder, where devquery, the help file and the skin lie:
    // beside the executable in the build tree, <prefix>/share/zentrix-pictora
    // in an installed tree (see InstallationFolderFor).
    std::string executableFolder;
    std::string logFolder;         // default folder of both logs
};

// Name of the installation folder under <prefix>/share.
inline constexpr char kInstalledDataFolder[] = "zentrix-pictora";
// The program's device-query tool, inside the installation folder.
inline constexpr char kDevqueryName[] = "devquery";

// The installation folder of a program in executableFolder: the folder
// <prefix>/share/zentrix-pictora when it lies beside executableFolder's
// parent and holds devquery (an installed tree, wherever it was unpacked),
// else executableFolder itself (the build tree).
std::string InstallationFolderFor(const std::string& executableFolder);

// The running executable's installation folder and
// $XDG_STATE_HOME/zentrix-pictora (default ~/.local/state/zentrix-pictora).
StartupFacts SystemStartupFacts();

// The first start acts as the installation: when "FilePath" is missing it
// writes "FilePath" (the installation folder) and, where they are missing
// too, "Activity Log" and "Recovery Log" (the log folder, which it creates).
// A "FilePath" whose folder holds no devquery any more (the tree was moved
// or the package removed) is replaced the same way when this program's own
// folder holds one.
// Values a user has set are otherwise left alone. Returns false only when
// the store could not be written.
bool InstallIfNeeded(platform::SettingsStore& store, const StartupFacts& facts);

// Runs the installation when needed, then fixes the settings: captions,
// version, skin folder, and "FilePath" read into InstallFolder.
AppSettings StartUp(platform::SettingsStore& store, const StartupFacts& facts);

}  // namespace zt
