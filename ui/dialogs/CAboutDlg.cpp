#include "ui/dialogs/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/skin/skin_art.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

QString ProductLine(const QString& windowTitle, const QString& versionText) {
    QString line = windowTitle;
    if (const qsizetype first = line.indexOf(QLatin1Char('&')); first >= 0) {
        line.insert(first, QLatin1Char('&'));
    }
    return line + QLatin1Char(' ') + versionText;
}

CAboutDlg::CAboutDlg(const QString& windowTitle, const QString& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle(windowTitle);
    setWindowIcon(AppIcon());
    setFixedSize(AboutClientSize);

    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap::fromImage(AboutPicture()));
    picture->setGeometry(QRect(QPoint(0, 0), AboutClientSize));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(DuRect(36, 62, 22, 22));
    m_product = new QLabel(ProductLine(windowTitle, versionText), this);
    m_product->setGeometry(DuRect(65, 61, 211, 8).adjusted(0, 3, 0, 12));
    QFont font = m_product->font();
    font.setBold(true);
    m_product->setFont(font);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(DuRect(124, 161, 50, 14));
    m_ok->setDefault(true);
    // As in a dialog's static text, "&&" shows one ampersand and "&x" marks a mnemonic.
    m_product->setBuddy(m_ok);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace zt::ui
