// The small animation beside the scan's progress: a magnifier sweeping over
// a row of sectors while the scan runs.
#pragma once

#include <QTimer>
#include <QWidget>

namespace zt::ui {

class ScanAnimation : public QWidget {
    Q_OBJECT
public:
    explicit ScanAnimation(QWidget* parent = nullptr);

    void Start();
    void Stop();
    [[nodiscard]] bool Running() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_frame = 0;
};

}  // namespace zt::ui
