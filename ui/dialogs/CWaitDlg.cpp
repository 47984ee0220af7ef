#include "ui/dialogs/CWaitDlg.h"

#include <QGroupBox>
#include <utility>

#include "ui/controls/CTransparentStatic.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

CWaitDlg::CWaitDlg(QString skinFolder, std::function<bool()> listFillRunning, std::function<bool()> previewRunning,
                   QWidget* parent)
    : CBDialog(std::move(skinFolder), parent),
      m_listFillRunning(std::move(listFillRunning)),
      m_previewRunning(std::move(previewRunning)) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    SetClientSize(WaitClientSize);
    auto* frame = new QGroupBox(this);
    frame->setGeometry(QRect(QPoint(2, 0), WaitClientSize - QSize(4, 2)));
    auto* label = new CTransparentStatic(QStringLiteral("Please Wait..."), this);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(QRect(QPoint(0, 0), WaitClientSize));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Preview)));

    m_timer.setTimerType(Qt::PreciseTimer);  // never earlier than the promised 700 ms
    m_timer.setInterval(PollMs);
    connect(&m_timer, &QTimer::timeout, this, &CWaitDlg::OnTick);
    m_timer.start();
}

void CWaitDlg::done(int result) {
    m_timer.stop();
    CBDialog::done(result);
}

void CWaitDlg::OnTick() {
    ++m_ticks;
    // Each slot is read once per tick; the workers empty them from their own threads.
    const bool listFill = m_listFillRunning && m_listFillRunning();
    const bool preview = m_previewRunning && m_previewRunning();
    if (!listFill && !preview) {
        accept();
    }
}

}  // namespace zt::ui
