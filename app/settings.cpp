#include "app/settings.h"

#include <atomic>

#include "platform/files.h"

namespace zt {

namespace {

constexpr char kSkinFolderName[] = "skin";
constexpr char kStateFolderName[] = "zentrix-pictora";

std::atomic<const AppSettings*> g_fixedSettings{nullptr};

}  // namespace

StartupFacts SystemStartupFacts() {
    StartupFacts facts;
    facts.executableFolder = platform::ExecutableFolder();
    std::string state = platform::XdgFolder("XDG_STATE_HOME", ".local/state");
    if (!state.empty()) facts.logFolder = platform::JoinPath(state, kStateFolderName);
    return facts;
}

bool InstallIfNeeded(platform::SettingsStore& store, const StartupFacts& facts) {
    if (!store.ReadValue(kAppRegistryKey, kFilePathValue).empty()) return true;
    if (!facts.logFolder.empty()) platform::MakeDirectories(facts.logFolder, 0700);
    // Decided again under the store's lock: two first starts at once must
    // not both install, and a value written meanwhile must not be replaced.
    return store.Update([&](platform::SettingsTree& tree) {
        if (!tree.Value(kAppRegistryKey, kFilePathValue).empty()) return true;
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

const AppSettings& FixProcessSettings(AppSettings settings) {
    static const AppSettings fixed = std::move(settings);  // initialised by the first call only
    g_fixedSettings.store(&fixed);
    return fixed;
}

const AppSettings& ProcessSettings() {
    if (const AppSettings* fixed = g_fixedSettings.load()) return *fixed;
    static const AppSettings defaults;
    return defaults;
}

}  // namespace zt
