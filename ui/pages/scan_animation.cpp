#include "ui/pages/scan_animation.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/skin/skin_files.h"

namespace zt::ui {

namespace {
constexpr int kFrames = 16;
constexpr int kCells = 4;
}  // namespace

ScanAnimation::ScanAnimation(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Scanning"));
    m_timer.setInterval(90);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % kFrames;
        update();
    });
}

void ScanAnimation::Start() { m_timer.start(); }

void ScanAnimation::Stop() { m_timer.stop(); }

void ScanAnimation::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal cell = box.width() / kCells;
    // The sector row, the cell under the glass lit.
    const qreal phase = static_cast<qreal>(m_frame) / kFrames;
    const int lit = static_cast<int>(phase * kCells) % kCells;
    for (int i = 0; i < kCells; ++i) {
        const QRectF c(box.left() + i * cell + 1, box.center().y() - cell / 2 + 1, cell - 2, cell - 2);
        p.fillRect(c, i == lit ? colours::Accent : colours::Muted.lighter(130));
    }
    // The magnifier glides left to right and back.
    const qreal t = phase < 0.5 ? phase * 2 : 2 - phase * 2;
    const QPointF centre(box.left() + cell * 0.6 + t * (box.width() - cell * 1.2), box.center().y() - 1);
    const qreal r = cell * 0.55;
    p.setPen(QPen(colours::Ink, 2));
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(centre, r, r);
    p.drawLine(centre + QPointF(r * 0.7, r * 0.7), centre + QPointF(r * 1.5, r * 1.5));
}

}  // namespace zt::ui
