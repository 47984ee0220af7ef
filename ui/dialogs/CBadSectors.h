// The question put when a place of the source cannot be read: retry it, skip
// it, or retry or skip every such place from now on. Enter retries; Esc and
// the close box skip, so a dismissed question gives the place up.
#pragma once

#include <utility>

#include "core/source/bad_sector_policy.h"
#include "ui/skin/CBDialog.h"

class QPushButton;

namespace zt::ui {

class CTransparentStatic;

class CBadSectors : public CBDialog {
    Q_OBJECT
public:
    // Command ids of the four buttons; each stores the policy value id - 1.
    enum ControlId : int { IdRetry = 1, IdSkip = 2, IdRetryAll = 3, IdSkipAll = 4 };

    CBadSectors(QString skinFolder, const QString& windowTitle, QWidget* parent = nullptr);

    [[nodiscard]] QPushButton* Button(int id) const;
    [[nodiscard]] QString Message() const;
    // The answer of the last run; Skip until a button was pressed.
    [[nodiscard]] BadSectorPolicy Answer() const { return m_answer; }

    // Shows the question modally and returns the answer.
    BadSectorPolicy Ask();

public slots:
    // Esc and the close box.
    void reject() override;

private:
    void Store(BadSectorPolicy answer);

    QPushButton* m_buttons[4];
    CTransparentStatic* m_message;
    BadSectorPolicy m_answer = Skip;
};

// The desktop program's answer to the reader's question: the prompt above,
// shown on the user-interface thread while the reading worker waits.
class DialogBadSectorPrompt final : public BadSectorPrompt {
public:
    DialogBadSectorPrompt(QString skinFolder, QString windowTitle)
        : m_skinFolder(std::move(skinFolder)), m_windowTitle(std::move(windowTitle)) {}

    BadSectorPolicy Ask() override;

private:
    QString m_skinFolder;
    QString m_windowTitle;
};

}  // namespace zt::ui
