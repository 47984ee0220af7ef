#include "ui/shell/CPageDlg.h"

#include <QAction>
#include <QMenuBar>
#include <QShortcut>

#include "ui/controls/key_colour.h"
#include "ui/base/message_box.h"
#include "ui/dialogs/CAboutDlg.h"
#include "ui/shell/page_flow.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

CPageDlg::CPageDlg(ShellContext& context, QWidget* parent)
    : CBDialog(context.settings.skinFolder, parent), m_context(context), m_menu(new QMenuBar(this)) {
    setWindowTitle(context.settings.windowTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    QMenu* options = m_menu->addMenu(QStringLiteral("&Options"));
    AddCommand(options, QStringLiteral("&Recover Selected"), IdRecoverSelected);
    options->addSeparator();
    AddCommand(options, QStringLiteral("&Exit"), IdMenuExit);
    QMenu* log = m_menu->addMenu(QStringLiteral("&Log"));
    AddCommand(log, QStringLiteral("&Activity Log"), IdActivityLog);
    AddCommand(log, QStringLiteral("&Recovery Log"), IdRecoveryLog);
    AddCommand(log, QStringLiteral("&Clear Activity Log"), IdClearActivityLog);
    AddCommand(log, QStringLiteral("Clear Recovery &Log"), IdClearRecoveryLog);
    QMenu* support = m_menu->addMenu(QStringLiteral("&Support"));
    AddCommand(support, QStringLiteral("&Help"), IdMenuHelp);
    AddCommand(support, QStringLiteral("&About Us"), IdMenuAbout);
    // The scan and results page enables it when a scan has ended.
    Command(IdRecoverSelected)->setEnabled(false);

    ShellServices& services = context.services;
    connect(Command(IdMenuExit), &QAction::triggered, this, &CPageDlg::ConfirmExit);
    connect(Command(IdActivityLog), &QAction::triggered, this,
            [this, &services] { services.ViewLog(this, LogKind::Activity); });
    connect(Command(IdRecoveryLog), &QAction::triggered, this,
            [this, &services] { services.ViewLog(this, LogKind::Recovery); });
    connect(Command(IdClearActivityLog), &QAction::triggered, this,
            [this, &services] { services.ClearLog(this, LogKind::Activity); });
    connect(Command(IdClearRecoveryLog), &QAction::triggered, this,
            [this, &services] { services.ClearLog(this, LogKind::Recovery); });
    connect(Command(IdMenuHelp), &QAction::triggered, this, [&services] { services.OpenHelp(); });
    connect(Command(IdMenuAbout), &QAction::triggered, this, &CPageDlg::ShowAbout);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [&services] { services.OpenHelp(); });

    const int menuHeight = m_menu->sizeHint().height();
    m_menu->setGeometry(0, 0, PageClientSize.width(), menuHeight);
    SetClientTop(menuHeight);
    // Every page may grow and be maximised; at its smallest it is the page
    // the skin is drawn for, and each page anchors what should take the room.
    SetGrowableClientSize(PageClientSize);
    Anchor(m_menu, {0, 0, 1, 0});

    m_savePicture = new QLabel(this);
    // The greyed stand-in of the Save button: named like it, for what it shows.
    m_savePicture->setAccessibleName(QStringLiteral("Save"));
    m_savePicture->setAccessibleDescription(QStringLiteral("Saving is not possible here"));
    PlaceDu(m_savePicture, 4, 7, 32, 30);
    m_savePicture->setGeometry(QRect(m_savePicture->pos(), ToolPictureSize));
    const std::pair<int, int> tools[] = {{IdHelp, 41}, {IdAbout, 81}, {IdExit, 119}};
    for (const auto& [id, x] : tools) {
        auto* button = new CButtonST(this);
        PlaceDu(button, x, 7, 38, 30);
        m_tools[id] = button;
    }
    connect(ToolButton(IdHelp), &QAbstractButton::clicked, this, [&services] { services.OpenHelp(); });
    connect(ToolButton(IdAbout), &QAbstractButton::clicked, this, &CPageDlg::ShowAbout);
    connect(ToolButton(IdExit), &QAbstractButton::clicked, this, &CPageDlg::ConfirmExit);
    // The About Us button is the page's default button.
    ToolButton(IdAbout)->setFocus();
}

QAction* CPageDlg::AddCommand(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    m_commands[id] = action;
    return action;
}

QAction* CPageDlg::Command(int id) const {
    auto found = m_commands.find(id);
    return found != m_commands.end() ? found->second : nullptr;
}

CButtonST* CPageDlg::ToolButton(int id) const {
    auto found = m_tools.find(id);
    return found != m_tools.end() ? found->second : nullptr;
}

void CPageDlg::SkinButton(CButtonST* button, const QString& normal, const QString& hover, const QColor& normalKey,
                          const QString& tooltip) {
    button->SetBitmaps(LoadSkin(normal), normalKey, LoadSkin(hover), HoverKeyColour);
    button->SetTooltipText(tooltip);
}

void CPageDlg::SkinToolbar() {
    m_savePicture->setPixmap(QPixmap::fromImage(LoadSkin(skin::ToolSaveGrey)));
    SkinButton(ToolButton(IdHelp), skin::ToolHelp, skin::ToolHelpHover, ToolbarKeyColour, QStringLiteral("Help"));
    SkinButton(ToolButton(IdAbout), skin::ToolAbout, skin::ToolAboutHover, ToolbarKeyColour,
               QStringLiteral("About Us"));
    SkinButton(ToolButton(IdExit), skin::ToolExit, skin::ToolExitHover, ToolbarKeyColour, QStringLiteral("Exit"));
}

PageResult CPageDlg::RunNextPage(QDialog& next) {
    const int code = HandOver(*this, next, m_context.settings.windowTitle);
    return code == static_cast<int>(PageResult::Finished) ? PageResult::Finished : PageResult::Back;
}

void CPageDlg::ConfirmExit() {
    const MessageAnswer answer =
        ShowMessageBox({this, m_context.settings.appCaption, QStringLiteral("Are you sure you want to exit?"),
                        MessageIcon::Question, MessageButtons::OkCancel});
    if (answer != MessageAnswer::Ok) {
        return;
    }
    BeforeExit();
    // Workers are neither stopped nor awaited: one may be stuck reading a failing medium.
    m_context.terminate();
}

void CPageDlg::ShowAbout() {
    CAboutDlg about(m_context.settings.windowTitle, m_context.settings.versionText, this);
    about.exec();
}

void CPageDlg::reject() { ConfirmExit(); }

}  // namespace zt::ui
