#include "ui/pages/scan_monitor.h"

#include <QFrame>
#include <QProgressBar>
#include <initializer_list>
#include <utility>

#include "ui/controls/CButtonST.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/pages/scan_animation.h"
#include "ui/skin/CBDialog.h"

namespace zt::ui {

ScanMonitor::ScanMonitor(CBDialog& page) {
    m_frame = new QFrame(&page);
    m_frame->setFrameShape(QFrame::StyledPanel);
    page.PlaceDu(m_frame, 8, 274, 300, 36);
    m_animation = new ScanAnimation(&page);
    page.PlaceDu(m_animation, 14, 280, 26, 24);
    m_positionLabel = new CTransparentStatic(QStringLiteral("Current Sector  : "), &page);
    page.PlaceDu(m_positionLabel, 46, 279, 64, 10);
    m_position = new CTransparentStatic(QString(), &page);
    page.PlaceDu(m_position, 110, 279, 112, 10);
    m_countLabel = new CTransparentStatic(QStringLiteral("File's Found  :"), &page);
    page.PlaceDu(m_countLabel, 46, 293, 64, 10);
    m_count = new CTransparentStatic(QString(), &page);
    page.PlaceDu(m_count, 110, 293, 60, 10);
    m_progress = new QProgressBar(&page);
    m_progress->setAccessibleName(QStringLiteral("Scan progress"));
    m_progress->setTextVisible(false);
    page.PlaceDu(m_progress, 224, 286, 78, 9);
    m_stop = new CButtonST(&page);
    page.PlaceDu(m_stop, 316, 277, 38, 30);

    // Grown, the display goes down with the window's foot, the button to its corner.
    for (QWidget* below : std::initializer_list<QWidget*>{m_frame, m_animation, m_positionLabel, m_position,
                                                         m_countLabel, m_count, m_progress}) {
        page.Anchor(below, {0, 1, 0, 0});
    }
    page.Anchor(m_stop, {1, 1, 0, 0});

    m_progress->setRange(0, 100);
    m_animation->Start();
}

QString ScanMonitor::PositionText() const { return m_position->text(); }
QString ScanMonitor::CountText() const { return m_count->text(); }

void ScanMonitor::Start(std::function<void()> countersTick, std::function<void()> treeTick) {
    m_counters.setInterval(CountersMs);
    m_tree.setInterval(TreeMs);
    connect(&m_counters, &QTimer::timeout, this, std::move(countersTick));
    connect(&m_tree, &QTimer::timeout, this, std::move(treeTick));
    m_counters.start();
    m_tree.start();
}

void ScanMonitor::Show(std::int64_t current, std::int64_t end, std::int64_t found) {
    m_position->SetText(QStringLiteral("%1 / %2").arg(current).arg(end));
    m_count->SetText(QString::number(found));
    m_progress->setValue(end > 0 ? static_cast<int>(current * 100 / end) : 100);
}

void ScanMonitor::Hold() {
    m_animation->Stop();
    m_counters.stop();
    m_tree.stop();
}

void ScanMonitor::Release() {
    m_animation->Start();
    m_counters.start();
    m_tree.start();
}

void ScanMonitor::ShowStopping() {
    m_progress->hide();
    m_stop->hide();
}

void ScanMonitor::Close() {
    m_animation->Stop();
    m_animation->hide();
    for (QWidget* part : std::initializer_list<QWidget*>{m_progress, m_stop, m_positionLabel, m_position, m_countLabel,
                                                        m_count, m_frame}) {
        part->hide();
    }
}

}  // namespace zt::ui
