// The box that reports the end of a save and offers to open the recovery log.
//
// It has no close box: OK (or Enter) closes it after opening the log when
// "View Log" is ticked; Esc closes it without looking at the box.
#pragma once

#include <functional>

#include "ui/skin/CBDialog.h"

class QCheckBox;
class QPushButton;

namespace zt::ui {

class CTransparentStatic;

class CMessageDlg : public CBDialog {
    Q_OBJECT
public:
    CMessageDlg(QString skinFolder, const QString& windowTitle, const QString& message,
                std::function<void()> viewRecoveryLog, QWidget* parent = nullptr);

    [[nodiscard]] QCheckBox* ViewLogBox() const { return m_viewLog; }
    [[nodiscard]] QPushButton* OkButton() const { return m_ok; }
    [[nodiscard]] QString Message() const;

public slots:
    void accept() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QCheckBox* m_viewLog;
    QPushButton* m_ok;
    CTransparentStatic* m_message;
    std::function<void()> m_viewRecoveryLog;
};

}  // namespace zt::ui
