// The question put before a saved file replaces one that already exists:
// Yes, Yes to All, No or No to All. Esc closes it without an answer, which
// keeps the file and remembers nothing.
#pragma once

#include <array>

#include "recovery/overwrite_prompt.h"
#include "ui/skin/CBDialog.h"

class QPushButton;

namespace zt::ui {

class CTransparentStatic;

class CReplaceDlg : public CBDialog {
    Q_OBJECT
public:
    // The dialog's results, one per button, left to right.
    enum Result : int { ResultYes = 1001, ResultYesToAll = 1002, ResultNo = 1003, ResultNoToAll = 1004 };

    CReplaceDlg(QString skinFolder, const QString& windowTitle, const QString& fileName, QWidget* parent = nullptr);

    [[nodiscard]] QPushButton* Button(OverwriteAnswer answer) const;
    [[nodiscard]] QString FirstLine() const;
    [[nodiscard]] QString SecondLine() const;

    // The answer a result of exec() stands for (Closed for anything but the four buttons).
    [[nodiscard]] static OverwriteAnswer AnswerOf(int result);
    // Runs the dialog modally and returns its answer.
    OverwriteAnswer Ask();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::array<QPushButton*, 4> m_buttons{};
    CTransparentStatic* m_first;
    CTransparentStatic* m_second;
};

}  // namespace zt::ui
