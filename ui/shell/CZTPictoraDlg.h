// The main page: the two jobs of the program as two large buttons, under the
// common page chrome. Its opening shows the splash and writes the start block
// of the activity log.
#pragma once

#include "ui/shell/CPageDlg.h"

namespace zt::ui {

enum MainPageId : int { IdImageCreation = 3, IdPictora = 4 };

class CZTPictoraDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit CZTPictoraDlg(ShellContext& context, QWidget* parent = nullptr);

    [[nodiscard]] CButtonST* JobButton(int id) const { return id == IdPictora ? m_recovery : m_imaging; }
    // Opens the source selection page in media-recovery (true) or disk-imaging mode.
    void OpenJob(bool mediaRecoveryMode);

private:
    CButtonST* m_recovery;
    CButtonST* m_imaging;
};

}  // namespace zt::ui
