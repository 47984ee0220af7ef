#include "logs/help.h"

#include <optional>
#include <vector>

#include "platform/files.h"

namespace zt {

namespace {

class XdgHelpShell final : public HelpShell {
public:
    bool OpenDocument(const std::string& path) override {
        if (!platform::IsRegularFile(path) || !platform::ProgramExists(kHelpViewer)) return false;
        return platform::StartDetached(kHelpViewer, {path});
    }
    void StartProgram(const std::string& program, const std::string& argument) override {
        platform::StartDetached(program, {argument});
    }
};

std::optional<std::string> FindBareName(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::string candidate = platform::JoinPath(folder, kHelpFileName);
        if (platform::IsRegularFile(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace

HelpShell& SystemHelpShell() {
    static XdgHelpShell shell;
    return shell;
}

void OpenHelp(const LogContext& context, HelpShell& shell, std::string_view searchPath,
              const std::string& currentFolder) {
    const std::string installFolder = context.store.ReadValue(context.registryKey, kFilePathValue);

    // The installation folder joins the search only for this lookup: changing
    // PATH itself would race with other threads reading the environment.
    std::vector<std::string> folders;
    if (!currentFolder.empty()) folders.push_back(currentFolder);
    for (std::string& folder : platform::SplitSearchPath(searchPath)) folders.push_back(std::move(folder));
    if (!installFolder.empty()) folders.push_back(installFolder);
    if (auto found = FindBareName(folders); found && shell.OpenDocument(*found)) return;

    const std::string fullPath = platform::JoinPath(installFolder, kHelpFileName);
    if (shell.OpenDocument(fullPath)) return;
    shell.StartProgram(kHelpViewer, fullPath);
}

void OpenHelp(const LogContext& context) {
    OpenHelp(context, SystemHelpShell(), platform::EnvironmentValue("PATH").value_or(std::string()),
             platform::CurrentFolder());
}

}  // namespace zt
