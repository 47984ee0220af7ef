#include "app/startup.h"

#include "platform/files.h"

namespace zt {

namespace {

constexpr char kSkinFolderName[] = "skin";
constexpr char kStateFolderName[] = "zentrix-pictora";

// A stored installation folder that still holds the device-query tool.
bool HoldsInstallation(const std::string& folder) {
    return !folder.empty() && platform::PathExists(platform::JoinPath(folder, kDevqueryName));
}

// Whether "FilePath" is to be written: missing, or naming a folder without
// devquery while this program's own installation has one.
bool NeedsInstalling(const std::string& stored, const StartupFacts& facts) {
    if (stored.empty()) return true;
    return !HoldsInstallation(stored) && HoldsInstallation(facts.executableFolder);
}

std::string ParentFolder(const std::string& folder) {
    const std::size_t slash = folder.find_last_of('/', folder.size() > 1 ? folder.size() - 2 : 0);
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

}  // namespace

std::string InstallationFolderFor(const std::string& executableFolder) {
    const std::string prefix = ParentFolder(executableFolder);
    if (!prefix.empty()) {
        const std::string installed = platform::JoinPath(platform::JoinPath(prefix, "share"), kInstalledDataFolder);
        if (HoldsInstallation(installed)) return installed;
    }
    return executableFolder;
}

StartupFacts SystemStartupFacts() {
    StartupFacts facts;
    const std::string executable = platform::ExecutableFolder();
    if (!executable.empty()) facts.executableFolder = InstallationFolderFor(executable);
    std::string state = platform::XdgFolder("XDG_STATE_HOME", ".local/state");
    if (!state.empty()) facts.logFolder = platform::JoinPath(state, kStateFolderName);
    return facts;
}

bool InstallIfNeeded(platform::SettingsStore& store, const StartupFacts& facts) {
    if (!NeedsInstalling(store.ReadValue(kAppRegistryKey, kFilePathValue), facts)) return true;
    if (!facts.logFolder.empty()) platform::MakeDirectories(facts.logFolder, 0700);
    // Decided again under the store's lock: two first starts at once must
    // not both install, and a value written meanwhile must not be replaced.
    return store.Update([&](platform::SettingsTree& tree) {
        if (!NeedsInstalling(tree.Value(kAppRegistryKey, kFilePathValue), facts)) return true;
        bool ok = tree.SetValue(kAppRegistryKey, kFilePathValue, facts.executableFolder);
        for (const char* name : {kActivityLogValue, kRecoveryLogValue}) {
            if (tree.Value(kAppRegistryKey, name).empty()) ok = tree.SetValue(kAppRegistryKey, name, facts.logFolder) && ok;
        }
        return ok;
    });
}

AppSettings StartUp(platform::SettingsStore& store, const StartupFacts& facts) {
    // A store that cannot be written leaves "FilePath" missing; start-up
    // goes on and the parts that need the folder fall back or fail later.
    InstallIfNeeded(store, facts);
    AppSettings settings;
    if (!facts.executableFolder.empty()) settings.SkinFolder = platform::JoinPath(facts.executableFolder, kSkinFolderName);
    settings.InstallFolder = store.ReadValue(settings.AppRegistryKey, kFilePathValue);
    return settings;
}

}  // namespace zt
