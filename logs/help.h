// Opens the user guide, "Zentrix HELP.html", from the Help command of every
// page. Three tries, and never a message: help that cannot be shown leaves
// the page as it was.
#pragma once

#include <string>
#include <string_view>

#include "logs/log.h"

namespace zt {

inline constexpr char kHelpFileName[] = "Zentrix HELP.html";
// The viewer of the last try.
inline constexpr char kHelpViewer[] = "xdg-open";

// How a document is shown. The desktop program uses its toolkit's desktop
// services; tests record the tries.
class HelpShell {
public:
    virtual ~HelpShell() = default;
    // Hands an existing document to the desktop's default viewer without
    // waiting. True when a viewer took it.
    virtual bool OpenDocument(const std::string& path) = 0;
    // Starts program with one argument without waiting; the outcome is not looked at.
    virtual void StartProgram(const std::string& program, const std::string& argument) = 0;
};

// Opens documents with xdg-open.
HelpShell& SystemHelpShell();

// 1. The bare file name, looked for in the current folder, then the folders
//    of searchPath (colon-separated, like PATH), then the installation folder
//    ("FilePath", read afresh).
// 2. The installation folder followed by the file name.
// 3. kHelpViewer with that full path.
// The process's environment is left as it is.
void OpenHelp(const LogContext& context, HelpShell& shell, std::string_view searchPath,
              const std::string& currentFolder);
// The same with the desktop's shell and the process's PATH and current folder.
void OpenHelp(const LogContext& context);

}  // namespace zt
