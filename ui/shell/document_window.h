// Shows a log or the user guide in a window of the program, for desktops that
// have no viewer to hand it to (a bare X server, a container, a kiosk).
#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace zt::ui {

// Hands a file to the desktop's default viewer; true when a viewer took it.
using DesktopOpener = std::function<bool(const QString& path)>;
// The desktop's own: xdg-open through Qt, only where xdg-open is installed.
[[nodiscard]] bool OpenWithDesktop(const QString& path);

// A window over owner (the active window when null) showing the file: HTML
// as a page, anything else as plain 8-bit text. It closes itself, and is
// returned for the caller's and tests' look; null when the file cannot be read.
QDialog* ShowDocumentWindow(QWidget* owner, const QString& title, const QString& path);

// The desktop's viewer, else the program's window.
void OpenDocument(QWidget* owner, const QString& title, const QString& path, const DesktopOpener& opener);

}  // namespace zt::ui
