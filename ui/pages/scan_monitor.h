// The scan's progress display at the foot of the results page: the
// animation, the sector reached and the files found, the progress bar and the
// Stop button, and the two rhythms at which the page looks at the scan (the
// counters each second, the tree and the live picture twice as often).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

class QFrame;
class QProgressBar;

namespace zt::ui {

class CBDialog;
class CButtonST;
class CTransparentStatic;
class ScanAnimation;

class ScanMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int CountersMs = 1000;
    static constexpr int TreeMs = 500;

    // Makes the display on page, running its animation.
    explicit ScanMonitor(CBDialog& page);

    [[nodiscard]] CButtonST* StopButton() const { return m_stop; }
    [[nodiscard]] QProgressBar* ProgressBar() const { return m_progress; }
    [[nodiscard]] ScanAnimation* Animation() const { return m_animation; }
    [[nodiscard]] QString PositionText() const;
    [[nodiscard]] QString CountText() const;

    // Starts both rhythms.
    void Start(std::function<void()> countersTick, std::function<void()> treeTick);
    // "current / end", the count and the share done; a range that ends at
    // sector 0 is scanned at once, so all of it is done.
    void Show(std::int64_t current, std::int64_t end, std::int64_t found);
    void EndCounters() { m_counters.stop(); }
    void EndTree() { m_tree.stop(); }
    // The display stands still while the Stop question is open.
    void Hold();
    void Release();
    // A stop was asked for: the bar and the button go.
    void ShowStopping();
    // The scan is over: the whole display goes.
    void Close();

private:
    QTimer m_counters;
    QTimer m_tree;
    QFrame* m_frame = nullptr;
    ScanAnimation* m_animation = nullptr;
    CTransparentStatic* m_positionLabel = nullptr;
    CTransparentStatic* m_position = nullptr;
    CTransparentStatic* m_countLabel = nullptr;
    CTransparentStatic* m_count = nullptr;
    QProgressBar* m_progress = nullptr;
    CButtonST* m_stop = nullptr;
};

}  // namespace zt::ui
