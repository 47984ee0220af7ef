// The desktop program's real settings, logs and help behind the shell's interfaces.
#pragma once

#include "logs/help.h"
#include "logs/log.h"
#include "settings/settings.h"
#include "ui/shell/document_window.h"
#include "ui/shell/shell_context.h"

namespace zt::ui {

// The settings as the user interface shows them.
[[nodiscard]] ShellSettings ToShellSettings(const AppSettings& settings);

// Message boxes and the desktop's viewer for the log commands; without a
// viewer the log is shown in a window of the program.
class QtLogUserInterface : public LogUserInterface {
public:
    QtLogUserInterface(QWidget* owner, QString caption, DesktopOpener opener = OpenWithDesktop)
        : m_owner(owner), m_caption(std::move(caption)), m_opener(std::move(opener)) {}

    void ShowInformation(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    void OpenInViewer(const std::string& path) override;

private:
    QWidget* m_owner;
    QString m_caption;
    DesktopOpener m_opener;
};

// The help tries with the desktop's viewer; a guide that exists but that no
// viewer takes is shown in a window of the program instead.
class QtHelpShell : public HelpShell {
public:
    explicit QtHelpShell(DesktopOpener opener = OpenWithDesktop) : m_opener(std::move(opener)) {}

    bool OpenDocument(const std::string& path) override;
    void StartProgram(const std::string& program, const std::string& argument) override;

private:
    DesktopOpener m_opener;
};

class SystemShellServices : public ShellServices {
public:
    // Both are kept by reference: the session's settings and the logs' context it owns.
    SystemShellServices(const AppSettings& settings, const LogContext& logs) : m_settings(settings), m_logs(logs) {}

    void WriteStartBlock() override;
    void ViewLog(QWidget* owner, LogKind kind) override;
    void ClearLog(QWidget* owner, LogKind kind) override;
    void OpenHelp() override;

private:
    const AppSettings& m_settings;
    const LogContext& m_logs;
};

}  // namespace zt::ui
