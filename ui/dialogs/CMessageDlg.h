// The box that reports the end of a save and offers to open the recovery log.
//
// It has no close box: OK (or Enter) closes it after opening the log when
// "View Log" is ticked; Esc closes it without looking at the box. A save's
// end may add a line of counts with the folder, and a button that opens it.
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

    // Grows the box by a line under the message and an "Open Folder" button
    // beside OK. The folder is shown elided in the middle, whole in a tooltip.
    void AddSaveDetails(const QString& counts, const QString& folder, std::function<void()> openFolder);
    [[nodiscard]] QString Details() const;
    [[nodiscard]] QPushButton* OpenFolderButton() const { return m_openFolder; }

public slots:
    void accept() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QCheckBox* m_viewLog;
    QPushButton* m_ok;
    CTransparentStatic* m_message;
    CTransparentStatic* m_details = nullptr;
    QPushButton* m_openFolder = nullptr;
    std::function<void()> m_viewRecoveryLog;
};

}  // namespace zt::ui
