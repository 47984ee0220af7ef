#include "ui/shell/CZTPictoraDlg.h"

#include <QAction>

#include "ui/controls/key_colour.h"
#include "ui/shell/CSplashScreenEx.h"
#include "ui/base/message_box.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

CZTPictoraDlg::CZTPictoraDlg(ShellContext& context, QWidget* parent)
    : CPageDlg(context, parent), m_recovery(new CButtonST(this)), m_imaging(new CButtonST(this)) {
    PlaceDu(m_recovery, 74, 119, 120, 120);
    PlaceDu(m_imaging, 255, 119, 120, 120);
    Anchor(m_recovery, {0.5, 0.5, 0, 0});
    Anchor(m_imaging, {0.5, 0.5, 0, 0});
    connect(m_recovery, &QAbstractButton::clicked, this, [this] { OpenJob(true); });
    connect(m_imaging, &QAbstractButton::clicked, this, [this] { OpenJob(false); });

    // The page becomes visible only after the splash has gone.
    if (context.showSplash) {
        RunSplash(this, SkinFolder() + skin::Splash);
    }
    SkinToolbar();
    SkinButton(m_recovery, skin::Recovery, skin::RecoveryHover, LargeButtonKeyColour, QStringLiteral("Pictora"));
    SkinButton(m_imaging, skin::Imaging, skin::ImagingHover, LargeButtonKeyColour, QStringLiteral("Image Creation"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Main)));
    Command(IdRecoverSelected)->setEnabled(false);
    context.services.WriteStartBlock();
}

void CZTPictoraDlg::OpenJob(bool mediaRecoveryMode) {
    if (!Context().makeSourcePage) {
        ShowMessageBox({this, Context().settings.appCaption, QStringLiteral("This job is not available yet."),
                        MessageIcon::Information, MessageButtons::Ok});
        return;
    }
    const std::unique_ptr<QDialog> source = Context().makeSourcePage(mediaRecoveryMode, this);
    RunNextPage(*source);
}

}  // namespace zt::ui
