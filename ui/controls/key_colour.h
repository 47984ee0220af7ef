// Key-colour transparency for skin pictures.
//
// Skin bitmaps carry no alpha channel: one colour per picture stands for "not
// here". These helpers turn that colour into real transparency and into the
// outline of a shaped window.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>

namespace zt::ui {

// Key colour of a picture button's normal picture (most buttons) and of every hover picture.
inline const QColor ToolbarKeyColour{2, 2, 2};
inline const QColor LargeButtonKeyColour{255, 255, 255};
inline const QColor HoverKeyColour{189, 230, 231};
// Pixels of this colour lie outside the splash window.
inline const QColor SplashKeyColour{255, 0, 240};

// The picture with every pixel of exactly the key colour made fully transparent.
[[nodiscard]] QImage ApplyKeyColour(const QImage& picture, const QColor& key);

// The union of the pixels that are not the key colour, built from one-pixel-high
// runs row by row. A picture without the key colour gives its whole rectangle.
[[nodiscard]] QRegion KeyColourRegion(const QImage& picture, const QColor& key);

}  // namespace zt::ui
