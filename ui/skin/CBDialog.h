// The skinned base of every page and dialog but the splash and the about dialog.
//
// It draws a background picture under the client area (tiled, centred or
// stretched) and loads skin pictures from the skin folder. A missing picture
// leaves the plain window colour; nothing is reported.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace zt::ui {

enum class BackgroundMode { Tile = 0, Centre = 1, Stretch = 2 };

// Draws picture over area in the given mode (no-op for a null picture).
void PaintBackground(QPainter& painter, const QRect& area, const QPixmap& picture, BackgroundMode mode);

// Loads skinFolder + name (name begins with the separator) at its own size;
// a missing or unreadable file gives a null image.
[[nodiscard]] QImage LoadSkinPicture(const QString& skinFolder, const QString& name);

class CBDialog : public QDialog {
    Q_OBJECT
public:
    explicit CBDialog(QString skinFolder, QWidget* parent = nullptr);

    [[nodiscard]] const QString& SkinFolder() const { return m_skinFolder; }
    [[nodiscard]] QImage LoadSkin(const QString& name) const { return LoadSkinPicture(m_skinFolder, name); }

    // Keeps the picture as the window's background and repaints.
    void SetBackground(const QPixmap& picture);
    void SetBackgroundMode(BackgroundMode mode);
    [[nodiscard]] const QPixmap& Background() const { return m_background; }

    // The client area starts below a menu bar; controls are placed relative to it.
    void SetClientTop(int pixels);
    [[nodiscard]] int ClientTop() const { return m_clientTop; }
    [[nodiscard]] QRect ClientRect() const;
    // Fixes the window to a client area of this many pixels.
    void SetClientSize(QSize size);
    // Places a child at a rectangle given in dialog units of the client area.
    void PlaceDu(QWidget* child, int x, int y, int w, int h) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_skinFolder;
    QPixmap m_background;
    BackgroundMode m_mode = BackgroundMode::Tile;
    int m_clientTop = 0;
};

}  // namespace zt::ui
