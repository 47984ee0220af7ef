#include "ui/dialogs/CMessageDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <utility>

#include "ui/controls/CTransparentStatic.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

CMessageDlg::CMessageDlg(QString skinFolder, const QString& windowTitle, const QString& message,
                         std::function<void()> viewRecoveryLog, QWidget* parent)
    : CBDialog(std::move(skinFolder), parent), m_viewRecoveryLog(std::move(viewRecoveryLog)) {
    // A title bar without a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(windowTitle);
    SetClientSize(MessageClientSize);

    auto* frame = new QGroupBox(this);
    PlaceDu(frame, 23, 15, 180, 60);
    m_message = new CTransparentStatic(message, this);
    // Room for two lines: a save that lost files says how many.
    PlaceDu(m_message, 36, 20, 160, 28);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_viewLog = new QCheckBox(this);
    // Its caption is a label of its own, beside it.
    m_viewLog->setAccessibleName(QStringLiteral("View Log"));
    PlaceDu(m_viewLog, 45, 52, 8, 8);
    m_viewLog->setGeometry(m_viewLog->geometry().adjusted(-2, -3, 4, 3));
    auto* caption = new CTransparentStatic(QStringLiteral("View Log"), this);
    PlaceDu(caption, 59, 52, 30, 8);
    caption->setGeometry(caption->geometry().adjusted(0, -3, 20, 3));
    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    PlaceDu(m_ok, 84, 87, 58, 15);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CMessageDlg::accept);

    SetBackground(QPixmap::fromImage(LoadSkin(skin::MessageBox)));
}

QString CMessageDlg::Message() const { return m_message->text(); }

QString CMessageDlg::Details() const { return m_details != nullptr ? m_details->accessibleName() : QString(); }

void CMessageDlg::AddSaveDetails(const QString& counts, const QString& folder, std::function<void()> openFolder) {
    constexpr int ExtraDu = 26;
    SetClientSize(QSize(MessageClientSize.width(), MessageClientSize.height() + DuY(ExtraDu)));
    SetBackgroundMode(BackgroundMode::Grow);
    m_details = new CTransparentStatic(QString(), this);
    PlaceDu(m_details, 23, 80, 180, 22);
    m_details->setWordWrap(false);
    m_details->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QString whole = counts + QLatin1Char('\n') + folder;
    const QString shown = counts + QLatin1Char('\n') +
                          m_details->fontMetrics().elidedText(folder, Qt::ElideMiddle, m_details->width() - 4);
    m_details->SetText(shown);
    m_details->setToolTip(folder);
    m_details->setAccessibleName(whole);
    PlaceDu(m_ok, 48, 87 + ExtraDu, 58, 15);
    m_openFolder = new QPushButton(QStringLiteral("Open &Folder"), this);
    m_openFolder->setAccessibleName(QStringLiteral("Open Folder"));
    m_openFolder->setToolTip(folder);
    PlaceDu(m_openFolder, 120, 87 + ExtraDu, 58, 15);
    // The box stays up: the user may still tick View Log and press OK.
    connect(m_openFolder, &QPushButton::clicked, this, [open = std::move(openFolder)] {
        if (open) open();
    });
    m_details->show();
    m_openFolder->show();
}

void CMessageDlg::accept() {
    if (m_viewLog->isChecked() && m_viewRecoveryLog) {
        m_viewRecoveryLog();
    }
    CBDialog::accept();
}

void CMessageDlg::closeEvent(QCloseEvent* event) {
    // Neither the close box nor the window manager's close command closes it.
    event->ignore();
}

}  // namespace zt::ui
