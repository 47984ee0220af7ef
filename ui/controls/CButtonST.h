// The picture button of every page and dialog.
//
// It shows a normal picture, and a hover picture while the pointer is over it
// or it is pressed; each picture's key-colour pixels let the button face show.
// The look is flat: a raised edge while hovered, a sunken edge while pressed.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>

namespace zt::ui {

class CButtonST : public QAbstractButton {
    Q_OBJECT
public:
    explicit CButtonST(QWidget* parent = nullptr);

    // Sets both pictures with their key colours and repaints. A null picture
    // leaves that state without a picture; without a normal picture the hover
    // picture is shown in every state.
    void SetBitmaps(const QImage& normal, const QColor& normalKey, const QImage& hover, const QColor& hoverKey);
    void SetTooltipText(const QString& text);

    [[nodiscard]] bool IsHovered() const { return m_hovered; }
    // The picture the button draws in its present state (null when it has none).
    [[nodiscard]] QPixmap CurrentPicture() const;

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetHovered(bool hovered);

    QPixmap m_normal;
    QPixmap m_hover;
    QPixmap m_normalGrey;
    QPixmap m_hoverGrey;
    bool m_hovered = false;
};

}  // namespace zt::ui
