#include "ui/dialogs/CBadSectors.h"

#include <QApplication>
#include <QPushButton>
#include <utility>

#include "ui/base/ui_thread.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

CBadSectors::CBadSectors(QString skinFolder, const QString& windowTitle, QWidget* parent)
    : CBDialog(std::move(skinFolder), parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(windowTitle);
    SetClientSize({DuX(266), DuY(82)});

    m_message = new CTransparentStatic(QStringLiteral("Encountered Bad Sector(s) while reading disk."), this);
    PlaceDu(m_message, 7, 16, 252, 26);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setAccessibleName(m_message->text());

    const std::pair<int, QString> buttons[] = {{IdRetry, QStringLiteral("&Retry")},
                                               {IdSkip, QStringLiteral("&Skip")},
                                               {IdRetryAll, QStringLiteral("R&etry All")},
                                               {IdSkipAll, QStringLiteral("Skip &All")}};
    int x = 7;
    for (const auto& [id, text] : buttons) {
        auto* button = new QPushButton(text, this);
        PlaceDu(button, x, 58, 50, 14);
        x += 66;
        button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
        // Otherwise a button that takes the focus (Tab) would take Enter too.
        button->setAutoDefault(false);
        const auto answer = static_cast<BadSectorPolicy>(id - 1);
        connect(button, &QPushButton::clicked, this, [this, answer] { Store(answer); });
        m_buttons[id - 1] = button;
    }
    // Enter answers Retry wherever the focus is.
    Button(IdRetry)->setDefault(true);
    Button(IdRetry)->setFocus();

    SetBackground(QPixmap::fromImage(LoadSkin(skin::MessageBox)));
}

QPushButton* CBadSectors::Button(int id) const { return id >= IdRetry && id <= IdSkipAll ? m_buttons[id - 1] : nullptr; }

QString CBadSectors::Message() const { return m_message->text(); }

BadSectorPolicy CBadSectors::Ask() {
    m_answer = Skip;
    exec();
    return m_answer;
}

void CBadSectors::Store(BadSectorPolicy answer) {
    m_answer = answer;
    done(QDialog::Accepted);
}

void CBadSectors::reject() {
    m_answer = Skip;
    CBDialog::reject();
}

BadSectorPolicy DialogBadSectorPrompt::Ask() {
    return AskOnUiThread([this] {
        // Over whichever page is showing, so it stays modal to the wizard.
        CBadSectors prompt(m_skinFolder, m_windowTitle, QApplication::activeWindow());
        return prompt.Ask();
    });
}

}  // namespace zt::ui
