#include "ui/shell/CSplashScreenEx.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>

#include "ui/controls/key_colour.h"

namespace zt::ui {
namespace {

// Runs the event loop for ms without user input: the splash paints and fades,
// but nothing else can happen meanwhile.
void Hold(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

CSplashScreenEx::CSplashScreenEx(QWidget* owner, int options)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_owner(owner),
      m_options(options) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setCursor(Qt::ArrowCursor);
    m_displayTimer.setSingleShot(true);
    connect(&m_displayTimer, &QTimer::timeout, this, &CSplashScreenEx::HideAndDestroy);
}

QPoint CSplashScreenEx::CentredPosition(const QRect& area, QSize size) {
    return {area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2};
}

bool CSplashScreenEx::SetBitmap(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    QImageReader reader(path);
    return SetBitmap(reader.read());
}

bool CSplashScreenEx::SetBitmap(const QImage& bitmap) {
    if (bitmap.isNull()) {
        return false;
    }
    m_bitmap = bitmap;
    if ((m_options & CentreOnScreen) != 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
        m_position = CentredPosition(area, bitmap.size());
    } else if ((m_options & CentreOnOwner) != 0 && m_owner != nullptr) {
        m_position = CentredPosition(m_owner->frameGeometry(), bitmap.size());
    }
    m_shape = KeyColourRegion(bitmap, SplashKeyColour);
    setFixedSize(bitmap.size());
    setMask(m_shape);
    return true;
}

void CSplashScreenEx::Show() {
    move(m_position);
    const bool fade = (m_options & FadeIn) != 0;
    if (fade) {
        setWindowOpacity(0.0);
    }
    show();
    if (fade) {
        Fade(0.0, 1.0, FadeInMs);
    }
    m_displayTimer.start(DisplayMs);
}

void CSplashScreenEx::HideAndDestroy() {
    if (m_destroying) {
        return;
    }
    m_destroying = true;
    m_displayTimer.stop();
    if ((m_options & FadeOut) != 0 && isVisible()) {
        Fade(windowOpacity(), 0.0, FadeOutMs);
    }
    if (isVisible()) {
        close();  // deletes the splash (WA_DeleteOnClose)
    } else {
        deleteLater();
    }
}

void CSplashScreenEx::Fade(qreal from, qreal to, int ms) {
    QPropertyAnimation fade(this, "windowOpacity");
    fade.setDuration(ms);
    fade.setStartValue(from);
    fade.setEndValue(to);
    QEventLoop loop;
    connect(&fade, &QPropertyAnimation::finished, &loop, &QEventLoop::quit);
    fade.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void CSplashScreenEx::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.drawImage(0, 0, m_bitmap);
}

void CSplashScreenEx::mousePressEvent(QMouseEvent* event) {
    if ((m_options & HideOnInput) != 0) {
        HideAndDestroy();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CSplashScreenEx::keyPressEvent(QKeyEvent* event) {
    if ((m_options & HideOnInput) != 0) {
        HideAndDestroy();
        return;
    }
    QWidget::keyPressEvent(event);
}

void RunSplash(QWidget* owner, const QString& bitmapPath, int waitMs) {
    auto* splash = new CSplashScreenEx(owner);
    if (splash->SetBitmap(bitmapPath)) {
        splash->Show();
    }
    Hold(waitMs);
    splash->HideAndDestroy();
}

}  // namespace zt::ui
