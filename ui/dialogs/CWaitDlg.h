// The please-wait box shown while a short worker of the results page runs.
//
// It looks at the list-fill and preview thread slots every 700 ms and closes
// at the first look that finds both empty, so it stays up at least 700 ms and
// never flickers past unseen. Esc still closes it at once (the worker goes on),
// which is the only way out when a worker hangs.
#pragma once

#include <QTimer>
#include <functional>

#include "ui/skin/CBDialog.h"

namespace zt::ui {

class CTransparentStatic;

class CWaitDlg : public CBDialog {
    Q_OBJECT
public:
    static constexpr int PollMs = 700;

    // Each probe tells whether its worker slot still holds a running thread.
    CWaitDlg(QString skinFolder, std::function<bool()> listFillRunning, std::function<bool()> previewRunning,
             QWidget* parent = nullptr);

    [[nodiscard]] int Ticks() const { return m_ticks; }
    // However the box closes, it stops looking at the slots.
    void done(int result) override;

private:
    void OnTick();

    std::function<bool()> m_listFillRunning;
    std::function<bool()> m_previewRunning;
    QTimer m_timer;
    int m_ticks = 0;
};

}  // namespace zt::ui
