#include "ui/shell/document_window.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace zt::ui {

bool OpenWithDesktop(const QString& path) {
    // Without xdg-open Qt reports nothing useful: it is looked for first.
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QDialog* ShowDocumentWindow(QWidget* owner, const QString& title, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    if (owner == nullptr) owner = QApplication::activeWindow();
    auto* window = new QDialog(owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setAccessibleName(title);
    window->setSizeGripEnabled(true);
    auto* text = new QTextBrowser(window);
    text->setAccessibleName(QFileInfo(path).fileName());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        text->setOpenExternalLinks(false);
        text->setSource(QUrl::fromLocalFile(path));
    } else {
        // The logs are 8-bit text; Latin-1 shows every byte as a character.
        text->setPlainText(QString::fromLatin1(file.readAll()));
        text->setLineWrapMode(QTextEdit::NoWrap);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(text);
    layout->addWidget(buttons);
    window->resize(720, 520);
    window->show();
    return window;
}

void OpenDocument(QWidget* owner, const QString& title, const QString& path, const DesktopOpener& opener) {
    if (opener && opener(path)) return;
    ShowDocumentWindow(owner, title, path);
}

}  // namespace zt::ui
