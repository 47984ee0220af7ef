// Drawings of the skin: every bitmap of the skin folder, the window icon and the
// about picture. The skin generator saves the bitmaps at build time; the program
// draws only the icon and the about picture itself.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <vector>

class QApplication;
class QPainter;
class QPointF;

namespace zt::ui {

struct SkinPicture {
    QString name;  // file name in the skin folder, with its leading separator
    QImage image;
};

// Every skin bitmap, in a fixed order.
[[nodiscard]] std::vector<SkinPicture> DrawSkin();

// The window icon of every page and dialog.
[[nodiscard]] QIcon AppIcon();
// The program's icon drawn at size x size pixels, on a transparent ground.
[[nodiscard]] QImage AppIconImage(int size);
// The about dialog's background picture (450 by 300).
[[nodiscard]] QImage AboutPicture();
// Gives the application the skin's button face and plain window colour, so
// skinned buttons sit flush on their toolbar band and cards.
void ApplySkinPalette(QApplication& app);

namespace art {
// A picture of the given size whose see-through pixels carry the key colour.
// Pixels of the drawing that happen to equal the key are nudged off it, so a
// drawing never gets holes.
[[nodiscard]] QImage Keyed(const QImage& drawing, const QColor& face, const QColor& key);
enum class Icon { Help, About, Exit, Save, Next, Back, Start, Stop };
// A toolbar-sized icon on a transparent canvas; greyed when grey is true.
[[nodiscard]] QImage ToolIcon(Icon icon, bool hover, bool grey = false);
[[nodiscard]] QImage JobButton(bool imaging, bool hover);
// The camera with a photo sliding out of it, centred on centre (about 90 by 70 pixels).
void DrawCamera(QPainter& painter, QPointF centre);
[[nodiscard]] QImage Splash();
[[nodiscard]] QImage Placeholder(const QString& text, int kind);
}  // namespace art

}  // namespace zt::ui
