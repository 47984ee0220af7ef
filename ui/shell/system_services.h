// The desktop program's real settings, logs and help behind the shell's interfaces.
#pragma once

#include "ui/shell/shell_context.h"

namespace zt::ui {

// Fixes the process's settings (running the first-start installation when
// needed) and returns them as the user interface's text.
ShellSettings StartUpSettings();

class SystemShellServices : public ShellServices {
public:
    explicit SystemShellServices(ShellSettings settings) : m_settings(std::move(settings)) {}

    void WriteStartBlock() override;
    void ViewLog(QWidget* owner, LogTarget target) override;
    void ClearLog(QWidget* owner, LogTarget target) override;
    void OpenHelp() override;

private:
    ShellSettings m_settings;
};

}  // namespace zt::ui
