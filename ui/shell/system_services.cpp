// Interim tie-in until the logs library arrives: settings from the executable's
// folder; logs and help not yet connected.
#include "ui/shell/system_services.h"

#include <QCoreApplication>

#include "ui/shell/message_box.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

ShellSettings StartUpSettings() {
    const QString install = QCoreApplication::applicationDirPath();
    return {QStringLiteral("Zentrix for Pictora"), QStringLiteral("Zentrix for Pictora"), QStringLiteral("Version 1.0"),
            install + QLatin1Char('/') + QLatin1String(SkinFolderName)};
}

void SystemShellServices::WriteStartBlock() {}

void SystemShellServices::ViewLog(QWidget* owner, LogTarget /*target*/) {
    ShowMessageBox({owner, m_settings.appCaption, QStringLiteral("The logs are not connected yet."),
                    MessageIcon::Information, MessageButtons::Ok});
}

void SystemShellServices::ClearLog(QWidget* owner, LogTarget target) { ViewLog(owner, target); }

void SystemShellServices::OpenHelp() {}

}  // namespace zt::ui
