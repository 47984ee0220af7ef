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

// The overwrite question of the desktop program: asked by the saving thread,
// shown on the user-interface thread while that thread waits for the answer.
class DialogOverwritePrompt final : public OverwritePrompt {
public:
    DialogOverwritePrompt(QString skinFolder, QString windowTitle, QWidget* owner)
        : m_skinFolder(std::move(skinFolder)), m_windowTitle(std::move(windowTitle)), m_owner(owner) {}

    OverwriteAnswer Ask(const std::string& fileName) override;

private:
    QString m_skinFolder;
    QString m_windowTitle;
    QWidget* m_owner;
};

}  // namespace zt::ui
