// The splash window shown while the main page opens.
//
// A frameless, topmost window in the shape of its bitmap: pixels of the key
// colour RGB(255, 0, 240) are outside the window. It fades in, stays until it
// is hidden (or its display time runs out) and fades out; it deletes itself
// when its window is gone.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace zt::ui {

class CSplashScreenEx : public QWidget {
    Q_OBJECT
public:
    enum Option : int {
        FadeIn = 1,
        FadeOut = 2,
        DropShadow = 4,  // the desktop's compositor decides on shadows; kept for the option value
        CentreOnScreen = 8,
        CentreOnOwner = 16,
        HideOnInput = 32,
    };
    static constexpr int DefaultOptions = FadeIn | FadeOut | DropShadow | CentreOnScreen;
    static constexpr int DisplayMs = 2000;
    static constexpr int FadeInMs = 500;
    static constexpr int FadeOutMs = 200;

    explicit CSplashScreenEx(QWidget* owner, int options = DefaultOptions);

    // Loads the bitmap; on failure returns false and changes nothing.
    bool SetBitmap(const QString& path);
    bool SetBitmap(const QImage& bitmap);
    // Places the window without activating it, fades it in, then starts the display timer.
    void Show();
    // Fades out, closes and deletes the splash.
    void HideAndDestroy();

    [[nodiscard]] QPoint Position() const { return m_position; }
    [[nodiscard]] QRegion Shape() const { return m_shape; }
    [[nodiscard]] bool HasBitmap() const { return !m_bitmap.isNull(); }

    // Where a window of size lands when centred in area (integer halves).
    [[nodiscard]] static QPoint CentredPosition(const QRect& area, QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fade(qreal from, qreal to, int ms);

    QWidget* m_owner;
    int m_options;
    QImage m_bitmap;
    QRegion m_shape;
    QPoint m_position;
    QTimer m_displayTimer;
    bool m_destroying = false;
};

// The splash part of the main page's opening: show the picture, hold the
// user-interface thread for waitMs while it is up, then remove it. Without a
// picture nothing is seen, and the wait is the same.
void RunSplash(QWidget* owner, const QString& bitmapPath, int waitMs = 1500);

}  // namespace zt::ui
