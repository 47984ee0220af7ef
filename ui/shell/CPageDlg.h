// The chrome every page of the wizard shares: menu 129, the toolbar (greyed
// Save picture, Help, About Us, Exit), F1 for help, and Exit on Esc or the
// close box. Pages derive from it and add their own controls and pictures.
#pragma once

#include <QLabel>
#include <map>

#include "ui/controls/CButtonST.h"
#include "ui/shell/shell_context.h"
#include "ui/skin/CBDialog.h"

class QAction;
class QMenuBar;

namespace zt::ui {

// Command ids of menu 129 and of the toolbar, the same on every page.
enum CommandId : int {
    IdCancel = 2,
    IdAbout = 5,
    IdHelp = 6,
    IdExit = 7,
    IdSavePicture = 1000,
    IdMenuExit = 32771,
    IdActivityLog = 32772,
    IdRecoveryLog = 32773,
    IdClearRecoveryLog = 32775,
    IdMenuHelp = 32777,
    IdMenuAbout = 32778,
    IdClearActivityLog = 32779,
    IdRecoverSelected = 32780,
};

// How a page ended, as the page that opened it learns from RunNextPage.
// Esc, the close box and Exit never end a page this way: they ask the Exit
// question and end the process. A page ended by any other code counts as Back.
enum class PageResult : int {
    Back = 100,      // Back was pressed: the opener carries on as it was
    Finished = 101,  // the page's job is done, and the opener may close too
};

class CPageDlg : public CBDialog {
    Q_OBJECT
public:
    explicit CPageDlg(ShellContext& context, QWidget* parent = nullptr);

    [[nodiscard]] ShellContext& Context() const { return m_context; }
    // The menu command with the given id (null for ids without a menu item).
    [[nodiscard]] QAction* Command(int id) const;
    [[nodiscard]] CButtonST* ToolButton(int id) const;
    [[nodiscard]] QLabel* SavePicture() const { return m_savePicture; }
    [[nodiscard]] QMenuBar* Menu() const { return m_menu; }

    // Hands over to next (hide, run it modally, restore title, show again)
    // and says how next ended.
    PageResult RunNextPage(QDialog& next);

    // Ends this page with Back or Finished (reject() asks the Exit question instead).
    void GoBack() { done(static_cast<int>(PageResult::Back)); }
    void Finish() { done(static_cast<int>(PageResult::Finished)); }

    // Asks "Are you sure you want to exit?" and on OK ends the process at once.
    void ConfirmExit();
    void ShowAbout();

public slots:
    // Esc, the close box and every other cancel ask the Exit question.
    void reject() override;

protected:
    // Skins picture 1000 and the Help, About Us and Exit buttons.
    void SkinToolbar();
    // Sets a picture button's pictures from the skin folder with the given normal key colour.
    void SkinButton(CButtonST* button, const QString& normal, const QString& hover, const QColor& normalKey,
                    const QString& tooltip);
    // Work a page must do between the confirmed Exit and the end of the process.
    virtual void BeforeExit() {}

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int id);

    ShellContext& m_context;
    QMenuBar* m_menu;
    QLabel* m_savePicture;
    std::map<int, QAction*> m_commands;
    std::map<int, CButtonST*> m_tools;
};

}  // namespace zt::ui
