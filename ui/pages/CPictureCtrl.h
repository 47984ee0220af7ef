// The picture preview: decodes an image file from memory (a camera RAW file
// through the preview picture it carries) and draws it with its proportions
// kept on a light cyan field with a blue frame. A file that
// does not decode leaves the control drawing nothing until the next load.
#pragma once

#include <QImage>
#include <QWidget>

namespace zt::ui {

// Where an image of this size is drawn in a client area of that size: at its
// own size in the centre when it fits both ways, else shrunk with its
// proportions kept into the area less 2 pixels each side, in the centre (a
// photo drawn stretched would show someone else's face).
[[nodiscard]] QRect PicturePlacement(QSize client, QSize image);

// The largest JPEG picture held anywhere in the bytes (a camera RAW file's
// preview), decoded; a null image when there is none.
[[nodiscard]] QImage EmbeddedPreviewPicture(const QByteArray& bytes);

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
