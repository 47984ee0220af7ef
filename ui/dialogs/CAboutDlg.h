// The about box: the product line over the about picture.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zt::ui {

// The window title with its first ampersand doubled (so a label shows it rather
// than taking it as a mnemonic marker), a space and the version text.
[[nodiscard]] QString ProductLine(const QString& windowTitle, const QString& versionText);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(const QString& windowTitle, const QString& versionText, QWidget* parent = nullptr);

    [[nodiscard]] QLabel* ProductLabel() const { return m_product; }
    [[nodiscard]] QPushButton* OkButton() const { return m_ok; }

private:
    QLabel* m_product;
    QPushButton* m_ok;
};

}  // namespace zt::ui
