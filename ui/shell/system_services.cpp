#include "ui/shell/system_services.h"

#include <QDesktopServices>
#include <QUrl>
#include <ctime>

#include "logs/activity_entries.h"
#include "logs/help.h"
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
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void SystemShellServices::WriteStartBlock() {
    WriteEntries(m_logs, LogKind::Activity, StartBlockEntries(m_settings, std::time(nullptr)));
}

void SystemShellServices::ViewLog(QWidget* owner, LogKind kind) {
    QtLogUserInterface ui(owner, QString::fromStdString(m_settings.AppCaption));
    zt::ViewLog(m_logs, ui, kind);
}

void SystemShellServices::ClearLog(QWidget* owner, LogKind kind) {
    QtLogUserInterface ui(owner, QString::fromStdString(m_settings.AppCaption));
    zt::ClearLog(m_logs, ui, kind);
}

void SystemShellServices::OpenHelp() { zt::OpenHelp(m_logs); }

}  // namespace zt::ui
