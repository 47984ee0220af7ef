// The small icons and the two job buttons of the skin.
#include <QPainter>
#include <QPainterPath>

#include "ui/skin/skin_art.h"
#include "ui/skin/skin_files.h"

namespace zt::ui::art {
namespace {

QColor Tone(QColor colour, bool hover, bool grey) {
    if (grey) {
        return colours::Muted;
    }
    return hover ? colour.lighter(118) : colour;
}

void Disc(QPainter& p, QPointF centre, qreal radius, const QColor& colour) {
    QRadialGradient shade(centre - QPointF(radius / 3, radius / 3), radius * 1.6);
    shade.setColorAt(0, colour.lighter(125));
    shade.setColorAt(1, colour.darker(112));
    p.setPen(QPen(colour.darker(135), 1.2));
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
}

void Glyph(QPainter& p, QPointF centre, const QString& text, int pixelSize) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(centre.x() - 16, centre.y() - 16, 32, 32), Qt::AlignCenter, text);
}

void Arrow(QPainter& p, QPointF c, bool right) {
    const qreal d = right ? 1 : -1;
    QPainterPath path;
    path.moveTo(c.x() - 7 * d, c.y() - 3);
    path.lineTo(c.x() + 1 * d, c.y() - 3);
    path.lineTo(c.x() + 1 * d, c.y() - 8);
    path.lineTo(c.x() + 9 * d, c.y());
    path.lineTo(c.x() + 1 * d, c.y() + 8);
    path.lineTo(c.x() + 1 * d, c.y() + 3);
    path.lineTo(c.x() - 7 * d, c.y() + 3);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(path);
}

void Floppy(QPainter& p, QPointF c, const QColor& colour) {
    const QRectF body(c.x() - 14, c.y() - 14, 28, 28);
    QPainterPath outline;
    outline.moveTo(body.topLeft() + QPointF(2, 0));
    outline.lineTo(body.right() - 5, body.top());
    outline.lineTo(body.right(), body.top() + 5);
    outline.lineTo(body.right(), body.bottom() - 2);
    outline.quadTo(body.bottomRight(), body.bottomRight() - QPointF(2, 0));
    outline.lineTo(body.left() + 2, body.bottom());
    outline.quadTo(body.bottomLeft(), body.bottomLeft() - QPointF(0, 2));
    outline.lineTo(body.left(), body.top() + 2);
    outline.quadTo(body.topLeft(), body.topLeft() + QPointF(2, 0));
    p.setPen(QPen(colour.darker(140), 1.2));
    p.setBrush(colour);
    p.drawPath(outline);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xEE, 0xF2, 0xF7));
    p.drawRoundedRect(QRectF(c.x() - 9, c.y() - 14, 16, 9), 1, 1);
    p.setBrush(colour.darker(150));
    p.drawRect(QRectF(c.x() + 2, c.y() - 12, 3, 5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(c.x() - 10, c.y() + 1, 20, 11), 1.5, 1.5);
    p.setPen(QPen(colour.lighter(130), 1));
    p.drawLine(QPointF(c.x() - 7, c.y() + 5), QPointF(c.x() + 7, c.y() + 5));
    p.drawLine(QPointF(c.x() - 7, c.y() + 8.5), QPointF(c.x() + 4, c.y() + 8.5));
}

void Power(QPainter& p, QPointF c) {
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 8, c.y() - 7, 16, 16), 125 * 16, -250 * 16);
    p.drawLine(QPointF(c.x(), c.y() - 10), QPointF(c.x(), c.y() - 1));
}

QImage Canvas(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

QImage ToolIcon(Icon icon, bool hover, bool grey) {
    QImage image = Canvas(ToolPictureSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (hover) {
        p.setPen(QPen(colours::Primary.lighter(150), 1));
        p.setBrush(QColor(0xDC, 0xE9, 0xF7));
        p.drawRoundedRect(QRectF(0.5, 0.5, image.width() - 1, image.height() - 1), 6, 6);
    }
    const QPointF c(image.width() / 2.0, image.height() / 2.0);
    const qreal r = 15;
    switch (icon) {
        case Icon::Help:
            Disc(p, c, r, Tone(colours::Primary, hover, grey));
            Glyph(p, c, QStringLiteral("?"), 21);
            break;
        case Icon::About:
            Disc(p, c, r, Tone(colours::Info, hover, grey));
            Glyph(p, c + QPointF(0, 1), QStringLiteral("i"), 21);
            break;
        case Icon::Exit:
            Disc(p, c, r, Tone(colours::Danger, hover, grey));
            Power(p, c + QPointF(0, 1));
            break;
        case Icon::Save:
            Floppy(p, c, Tone(colours::Primary, hover, grey));
            break;
        case Icon::Next:
        case Icon::Back:
            Disc(p, c, r, Tone(icon == Icon::Next ? colours::Go : colours::Ink.lighter(160), hover, grey));
            Arrow(p, c, icon == Icon::Next);
            break;
        case Icon::Start: {
            Disc(p, c, r, Tone(colours::Go, hover, grey));
            QPainterPath play;
            play.moveTo(c + QPointF(-5, -8));
            play.lineTo(c + QPointF(9, 0));
            play.lineTo(c + QPointF(-5, 8));
            play.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawPath(play);
            break;
        }
        case Icon::Stop:
            Disc(p, c, r, Tone(colours::Danger, hover, grey));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(c.x() - 6.5, c.y() - 6.5, 13, 13), 2, 2);
            break;
    }
    return image;
}

void DrawCamera(QPainter& p, QPointF c) {
    // A photo slides out behind the camera: the picture that comes back.
    p.save();
    p.translate(c + QPointF(22, -22));
    p.rotate(14);
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(-24, -20, 48, 40), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9E, 0xD0, 0xF5));
    p.drawRect(QRectF(-20, -16, 40, 26));
    p.setBrush(QColor(0x4C, 0xAF, 0x50));
    QPainterPath hills;
    hills.moveTo(-20, 10);
    hills.lineTo(-8, -4);
    hills.lineTo(2, 6);
    hills.lineTo(9, -1);
    hills.lineTo(20, 10);
    hills.closeSubpath();
    p.drawPath(hills);
    p.setBrush(colours::Accent);
    p.drawEllipse(QPointF(11, -9), 4, 4);
    p.restore();

    const QRectF body(c.x() - 34, c.y() - 14, 60, 40);
    p.setPen(QPen(QColor(0x10, 0x22, 0x38), 1.5));
    p.setBrush(QColor(0xE8, 0xEE, 0xF5));
    p.drawRoundedRect(QRectF(c.x() - 22, c.y() - 21, 20, 10), 3, 3);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(0xF7, 0xF9, 0xFC));
    shade.setColorAt(1, QColor(0xC9, 0xD4, 0xE2));
    p.setBrush(shade);
    p.drawRoundedRect(body, 7, 7);
    p.setBrush(QColor(0x24, 0x33, 0x45));
    p.drawEllipse(QPointF(c.x() - 4, c.y() + 6), 15, 15);
    p.setBrush(QColor(0x3E, 0x7C, 0xC4));
    p.drawEllipse(QPointF(c.x() - 4, c.y() + 6), 9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(c.x() - 7, c.y() + 3), 3, 3);
    p.setBrush(colours::Accent);
    p.drawEllipse(QPointF(c.x() + 18, c.y() - 7), 3, 3);
}

namespace {

void Drive(QPainter& p, QRectF box) {
    p.setPen(QPen(QColor(0x10, 0x22, 0x38), 1.5));
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    shade.setColorAt(0, QColor(0xF7, 0xF9, 0xFC));
    shade.setColorAt(1, QColor(0xBF, 0xCB, 0xDA));
    p.setBrush(shade);
    p.drawRoundedRect(box, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5D, 0x6D, 0x80));
    p.drawRoundedRect(QRectF(box.left() + 6, box.bottom() - 10, box.width() - 22, 4), 2, 2);
    p.setBrush(QColor(0x3C, 0xD0, 0x70));
    p.drawEllipse(QPointF(box.right() - 9, box.bottom() - 8), 3, 3);
}

void CopyArrow(QPainter& p, QPointF from, QPointF to) {
    QPainterPath curve;
    curve.moveTo(from);
    curve.cubicTo(from + QPointF(0, -34), to + QPointF(-30, -10), to);
    p.setPen(QPen(colours::Accent, 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    QPainterPath head;
    head.moveTo(to + QPointF(10, 3));
    head.lineTo(to + QPointF(-6, 9));
    head.lineTo(to + QPointF(-2, -8));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colours::Accent);
    p.drawPath(head);
}

}  // namespace

QImage JobButton(bool imaging, bool hover) {
    QImage image = Canvas({164, 176});
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card(2, 2, image.width() - 4, image.height() - 4);
    const QColor base = imaging ? QColor(0x1F, 0x8A, 0x6E) : colours::Primary;
    QLinearGradient fill(card.topLeft(), card.bottomLeft());
    fill.setColorAt(0, hover ? base.lighter(130) : base.lighter(112));
    fill.setColorAt(1, hover ? base : base.darker(125));
    p.setPen(hover ? QPen(colours::Accent, 3) : QPen(base.darker(140), 1));
    p.setBrush(fill);
    p.drawRoundedRect(card, 14, 14);

    if (imaging) {
        Drive(p, QRectF(22, 54, 58, 38));
        Drive(p, QRectF(92, 30, 52, 34));
        CopyArrow(p, QPointF(50, 50), QPointF(108, 72));
    } else {
        DrawCamera(p, QPointF(74, 62));
    }

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(17);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 110, image.width(), 26), Qt::AlignCenter,
               imaging ? QStringLiteral("Image Creation") : QStringLiteral("Pictora"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(11);
    p.setFont(sub);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(QRectF(8, 136, image.width() - 16, 32), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               imaging ? QStringLiteral("Copy a disk or card into an image file")
                       : QStringLiteral("Recover photos, sound and video"));
    return image;
}

}  // namespace zt::ui::art
