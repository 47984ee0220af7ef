// A label whose text is drawn straight onto the window's background picture.
//
// It paints only its glyphs. When its text changes, the parent repaints the
// label's rectangle first, so the old text is covered by fresh background.
#pragma once

#include <QLabel>

namespace zt::ui {

class CTransparentStatic : public QLabel {
    Q_OBJECT
public:
    explicit CTransparentStatic(const QString& text = {}, QWidget* parent = nullptr);

    // Replaces the text and repaints the background under the label at once.
    void SetText(const QString& text);
};

}  // namespace zt::ui
