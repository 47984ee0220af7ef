#include "ui/shell/system_services.h"

#include <QFileInfo>
#include <ctime>

#include "logs/help.h"
#include "platform/files.h"
#include "recovery/jobs/run_log.h"
#include "ui/base/message_box.h"

namespace zt::ui {

ShellSettings ToShellSettings(const AppSettings& settings) {
    return {QString::fromStdString(settings.AppCaption), QString::fromStdString(settings.WindowTitle),
            QString::fromStdString(settings.VersionText), QString::fromStdString(settings.SkinFolder)};
}

void QtLogUserInterface::ShowInformation(const std::string& text) {
    ShowMessageBox({m_owner, m_caption, QString::fromStdString(text), MessageIcon::Information, MessageButtons::Ok});
}

bool QtLogUserInterface::AskOkCancel(const std::string& text) {
    return ShowMessageBox({m_owner, m_caption, QString::fromStdString(text), MessageIcon::Question,
                           MessageButtons::OkCancel}) == MessageAnswer::Ok;
}

void QtLogUserInterface::OpenInViewer(const std::string& path) {
    // The desktop's default viewer; the program does not wait for it.
    const QString file = QString::fromStdString(path);
    OpenDocument(m_owner, QFileInfo(file).fileName(), file, m_opener);
}

bool QtHelpShell::OpenDocument(const std::string& path) {
    if (!platform::IsRegularFile(path)) return false;
    const QString file = QString::fromStdString(path);
    if (m_opener && m_opener(file)) return true;
    return ShowDocumentWindow(nullptr, QFileInfo(file).fileName(), file) != nullptr;
}

void QtHelpShell::StartProgram(const std::string& program, const std::string& argument) {
    // Reached only when no guide was found: the viewer is tried as ever.
    SystemHelpShell().StartProgram(program, argument);
}

void SystemShellServices::WriteStartBlock() {
    jobs::RunLog(m_logs).Begin(m_settings, std::time(nullptr));
}

void SystemShellServices::ViewLog(QWidget* owner, LogKind kind) {
    QtLogUserInterface ui(owner, QString::fromStdString(m_settings.AppCaption));
    zt::ViewLog(m_logs, ui, kind);
}

void SystemShellServices::ClearLog(QWidget* owner, LogKind kind) {
    QtLogUserInterface ui(owner, QString::fromStdString(m_settings.AppCaption));
    zt::ClearLog(m_logs, ui, kind);
}

void SystemShellServices::OpenHelp() {
    QtHelpShell shell;
    zt::OpenHelp(m_logs, shell, platform::EnvironmentValue("PATH").value_or(std::string()), platform::CurrentFolder());
}

}  // namespace zt::ui
