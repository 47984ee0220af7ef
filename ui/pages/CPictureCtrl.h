// The picture preview: decodes an image file from memory and draws it by
// fixed placement rules on a light cyan field with a blue frame. A file that
// does not decode leaves the control drawing nothing until the next load.
#pragma once

#include <QImage>
#include <QWidget>

namespace zt::ui {

// Where an image of this size is drawn in a client area of that size: at its
// own size in the centre when it fits both ways; stretched to the height
// less 4 (from y = 3) when only its width fits; to the width less 4 (from
// x = 3) when only its height fits; otherwise over the whole area less a
// 3-pixel margin from (1, 1). Proportions are not kept.
[[nodiscard]] QRect PicturePlacement(QSize client, QSize image);

inline const QColor PictureFieldColour{240, 255, 255};
inline const QColor PictureFrameColour{110, 140, 190};

class CPictureCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CPictureCtrl(QWidget* parent = nullptr);

    // Reads the whole file and decodes it; false (and nothing drawn) when the
    // file cannot be read or holds no image the decoders know.
    bool Load(const QString& path);
    [[nodiscard]] bool ImageLoaded() const { return m_loaded; }
    [[nodiscard]] const QImage& Image() const { return m_image; }
    // The file last loaded, successfully or not.
    [[nodiscard]] const QString& LoadedPath() const { return m_path; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QString m_path;
    bool m_loaded = false;
};

}  // namespace zt::ui
