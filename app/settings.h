// The process-wide settings every part of the program reads, fixed once at
// start-up, and the first-start installation that writes the values the
// logs and the device query rely on.
//
// The command line and the desktop program both start through StartUp();
// code that needs a setting takes an AppSettings by reference, so tests can
// hand it their own.
#pragma once

#include <string>

#include "platform/settings_store.h"

namespace zt {

// Key of the installation's values in the settings store.
inline constexpr char kAppRegistryKey[] = "ZT_PictoraNTFS";
// Value names under kAppRegistryKey.
inline constexpr char kFilePathValue[] = "FilePath";
inline constexpr char kActivityLogValue[] = "Activity Log";
inline constexpr char kRecoveryLogValue[] = "Recovery Log";

struct AppSettings {
    std::string AppCaption = "Zentrix for Pictora";   // caption of every message box
    std::string WindowTitle = "Zentrix for Pictora";  // title of every page, start block of the logs
    std::string VersionText = "Version 1.0";
    std::string SkinFolder;     // the skin bitmaps, inside the installation
    std::string InstallFolder;  // the store's "FilePath"; empty when missing
    std::string AppRegistryKey = kAppRegistryKey;
    // 'N' everywhere on Linux; the reader's device access does not depend on it.
    char PlatformFamily = 'N';
};

// What start-up learns from the machine.
struct StartupFacts {
    std::string executableFolder;  // where the program, devquery, the help file and the skin lie
    std::string logFolder;         // default folder of both logs
};

// The running executable's folder and $XDG_STATE_HOME/zentrix-pictora
// (default ~/.local/state/zentrix-pictora).
StartupFacts SystemStartupFacts();

// The first start acts as the installation: when "FilePath" is missing it
// writes "FilePath" (the executable's folder) and, where they are missing
// too, "Activity Log" and "Recovery Log" (the log folder, which it creates).
// Values a user has set are left alone. Returns false only when the store
// could not be written.
bool InstallIfNeeded(platform::SettingsStore& store, const StartupFacts& facts);

// Runs the installation when needed, then fixes the settings: captions,
// version, skin folder, and "FilePath" read into InstallFolder.
AppSettings StartUp(platform::SettingsStore& store, const StartupFacts& facts);

// Makes settings the process's settings. Only the first call has an effect;
// afterwards they never change. Returns the settings in force.
const AppSettings& FixProcessSettings(AppSettings settings);
// The process's settings; default captions and empty folders before FixProcessSettings.
const AppSettings& ProcessSettings();

}  // namespace zt
