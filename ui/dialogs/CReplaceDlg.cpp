#include "ui/dialogs/CReplaceDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "ui/base/ui_thread.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

namespace {

struct ButtonSpec {
    const char* text;
    CReplaceDlg::Result result;
    OverwriteAnswer answer;
};

constexpr ButtonSpec kButtons[] = {
    {"&Yes", CReplaceDlg::ResultYes, OverwriteAnswer::Yes},
    {"Y&es to All", CReplaceDlg::ResultYesToAll, OverwriteAnswer::YesToAll},
    {"&No", CReplaceDlg::ResultNo, OverwriteAnswer::No},
    {"N&o to ALL", CReplaceDlg::ResultNoToAll, OverwriteAnswer::NoToAll},
};

}  // namespace

CReplaceDlg::CReplaceDlg(QString skinFolder, const QString& windowTitle, const QString& fileName, QWidget* parent)
    : CBDialog(std::move(skinFolder), parent) {
    // A title bar without a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(windowTitle);
    SetClientSize(MessageClientSize);

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAccessibleName(QStringLiteral("Question"));
    PlaceDu(icon, 14, 18, 22, 22);
    m_first = new CTransparentStatic(
        QString::fromStdString(OverwriteQuestionText(fileName.toStdString())), this);
    PlaceDu(m_first, 42, 20, 176, 10);
    m_second = new CTransparentStatic(QString::fromLatin1(kOverwriteQuestionSecondLine), this);
    PlaceDu(m_second, 42, 36, 176, 10);

    int x = 9;
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        const ButtonSpec& spec = kButtons[i];
        auto* button = new QPushButton(QString::fromLatin1(spec.text), this);
        PlaceDu(button, x, 82, 49, 15);
        x += 53;
        const int result = spec.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        m_buttons[i] = button;
    }
    m_buttons[0]->setDefault(true);
    m_buttons[0]->setFocus();

    SetBackground(QPixmap::fromImage(LoadSkin(skin::MessageBox)));
}

QPushButton* CReplaceDlg::Button(OverwriteAnswer answer) const {
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        if (kButtons[i].answer == answer) return m_buttons[i];
    }
    return nullptr;
}

QString CReplaceDlg::FirstLine() const { return m_first->text(); }
QString CReplaceDlg::SecondLine() const { return m_second->text(); }

OverwriteAnswer CReplaceDlg::AnswerOf(int result) {
    for (const ButtonSpec& spec : kButtons) {
        if (spec.result == result) return spec.answer;
    }
    return OverwriteAnswer::Closed;
}

OverwriteAnswer CReplaceDlg::Ask() { return AnswerOf(exec()); }

void CReplaceDlg::closeEvent(QCloseEvent* event) {
    // Neither the close box nor the window manager's close command closes it; Esc does.
    event->ignore();
}

OverwriteAnswer DialogOverwritePrompt::Ask(const std::string& fileName) {
    return AskOnUiThread([this, &fileName] {
        CReplaceDlg prompt(m_skinFolder, m_windowTitle, QString::fromStdString(fileName), m_owner);
        return prompt.Ask();
    });
}

}  // namespace zt::ui
