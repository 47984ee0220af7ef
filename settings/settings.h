// The process-wide settings every part of the program reads: the names of
// the installation's values in the settings store, and the values fixed once
// at start-up (app/startup.h fixes them).
//
// Code that needs a setting takes an AppSettings by reference, so tests can
// hand it their own.
#pragma once

#include <string>

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

}  // namespace zt
