// The skinned base of every page and dialog but the splash and the about dialog.
//
// It draws a background picture under the client area (tiled, centred or
// stretched) and loads skin pictures from the skin folder. A missing picture
// leaves the plain window colour; nothing is reported.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <vector>

namespace zt::ui {

// Grow: at its own size where the area is no larger; beyond it the picture's
// band below the top sixth and its column at the left third are stretched, so
// a heading at the top and a title at the right keep their shapes.
enum class BackgroundMode { Tile = 0, Centre = 1, Stretch = 2, Grow = 3 };

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
    // Lets the window grow from a client area of this many pixels, its
    // smallest size: the controls keep their places at that size and follow
    // their anchors beyond it.
    void SetGrowableClientSize(QSize size);
    [[nodiscard]] bool Growable() const { return m_growable; }

    // How a control follows the window's growth beyond its smallest size: the
    // share of the added width and height it moves by, and the share it grows
    // by (0 stays, 1 takes all of it). Its place at the smallest size is the
    // one it has when anchored.
    struct Growth {
        double moveX = 0;
        double moveY = 0;
        double growX = 0;
        double growY = 0;
    };
    void Anchor(QWidget* child, Growth growth);
    // Places the anchored controls for the window's present size.
    void FollowGrowth();
    // Places a child at a rectangle given in dialog units of the client area.
    void PlaceDu(QWidget* child, int x, int y, int w, int h) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Anchored {
        QPointer<QWidget> child;
        QRect base;
        Growth growth;
    };
    std::vector<Anchored> m_anchored;
    QSize m_smallest;
    bool m_growable = false;

    QString m_skinFolder;
    QPixmap m_background;
    BackgroundMode m_mode = BackgroundMode::Tile;
    int m_clientTop = 0;
};

}  // namespace zt::ui
