// Backgrounds, splash, placeholders and the assembly of the whole skin.
#include "ui/skin/skin_art.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include "ui/controls/key_colour.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {
namespace art {
namespace {

QFont SkinFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QImage Opaque(QSize size, const QColor& fill) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// The toolbar band every page shares, with the product name on its right.
void ToolbarBand(QPainter& p, int width, bool onDark) {
    p.fillRect(QRect(0, 0, width, 72), colours::Face);
    p.fillRect(QRect(0, 72, width, 3), colours::Accent);
    p.setPen(colours::Ink);
    p.setFont(SkinFont(21, true));
    p.drawText(QRect(250, 10, width - 268, 30), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Zentrix for Pictora"));
    p.setPen(colours::Muted.darker(120));
    p.setFont(SkinFont(12));
    p.drawText(QRect(250, 40, width - 268, 20), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Photo, sound and video recovery"));
    if (onDark) {
        p.fillRect(QRect(0, 75, width, 1), colours::Ink.darker(130));
    }
}

QImage MainBackground() {
    QImage image = Opaque(PageClientSize, colours::Ink);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient body(0, 75, 0, image.height());
    body.setColorAt(0, colours::Ink);
    body.setColorAt(1, colours::Primary.darker(115));
    p.fillRect(QRect(0, 75, image.width(), image.height() - 75), body);
    ToolbarBand(p, image.width(), true);

    p.setPen(Qt::white);
    p.setFont(SkinFont(20, true));
    p.drawText(QRect(0, 110, image.width(), 30), Qt::AlignCenter, QStringLiteral("What would you like to do?"));
    p.setPen(QColor(255, 255, 255, 190));
    p.setFont(SkinFont(12));
    p.drawText(QRect(0, 142, image.width(), 20), Qt::AlignCenter,
               QStringLiteral("Choose a job. The medium you pick is only read, never written."));

    // Cards behind the two job buttons, in the button-face colour so the buttons sit flush.
    for (const QRect& button : {DuRect(74, 119, 120, 120), DuRect(255, 119, 120, 120)}) {
        const QRectF card = QRectF(button).adjusted(-6, -6, 6, 6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 60));
        p.drawRoundedRect(card.translated(0, 4), 12, 12);
        p.setBrush(colours::Face);
        p.drawRoundedRect(card, 12, 12);
    }
    p.setPen(QColor(255, 255, 255, 150));
    p.setFont(SkinFont(11));
    p.drawText(QRect(0, image.height() - 34, image.width() - 16, 20), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("F1: Help"));
    return image;
}

QImage PageBackground() {
    QImage image = Opaque(PageClientSize, colours::Body);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient body(0, 75, 0, image.height());
    body.setColorAt(0, colours::Body);
    body.setColorAt(1, Qt::white);
    p.fillRect(QRect(0, 75, image.width(), image.height() - 75), body);
    ToolbarBand(p, image.width(), false);
    return image;
}

QImage SoftPanel(QSize size, bool topStrip) {
    QImage image = Opaque(size, colours::Body);
    QPainter p(&image);
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0, Qt::white);
    body.setColorAt(1, colours::Body);
    p.fillRect(image.rect(), body);
    if (topStrip) {
        p.fillRect(QRect(0, 0, size.width(), 4), colours::Primary);
    }
    return image;
}

// A placeholder picture: a plain top (the please-wait dialog shows only that
// part of Preview.bmp), an emblem and a short text below it.
void Emblem(QPainter& p, QPointF c, int kind) {
    const QRectF frame(c.x() - 30, c.y() - 22, 60, 44);
    p.setPen(QPen(colours::Muted, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(frame, 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(colours::Muted.lighter(140));
    QPainterPath hills;
    hills.moveTo(frame.left() + 4, frame.bottom() - 4);
    hills.lineTo(c.x() - 10, c.y() - 2);
    hills.lineTo(c.x() + 2, c.y() + 10);
    hills.lineTo(c.x() + 12, c.y() + 2);
    hills.lineTo(frame.right() - 4, frame.bottom() - 4);
    hills.closeSubpath();
    p.drawPath(hills);
    p.drawEllipse(QPointF(c.x() + 14, c.y() - 10), 5, 5);
    switch (kind) {
        case 1:  // no preview for this type: a slash
            p.setPen(QPen(colours::Muted.darker(130), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(frame.topLeft() + QPointF(-6, -6), frame.bottomRight() + QPointF(6, 6));
            break;
        case 2: {  // select a file: a pointer
            QPainterPath arrow;
            const QPointF tip = c + QPointF(14, 4);
            arrow.moveTo(tip);
            arrow.lineTo(tip + QPointF(0, 24));
            arrow.lineTo(tip + QPointF(6, 18));
            arrow.lineTo(tip + QPointF(11, 28));
            arrow.lineTo(tip + QPointF(15, 26));
            arrow.lineTo(tip + QPointF(10, 16));
            arrow.lineTo(tip + QPointF(18, 16));
            arrow.closeSubpath();
            p.setPen(QPen(colours::Ink, 1.5));
            p.setBrush(Qt::white);
            p.drawPath(arrow);
            break;
        }
        case 3: {  // corrupted: a crack and a warning colour
            p.setPen(QPen(colours::Danger, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            QPainterPath crack;
            crack.moveTo(c.x() - 4, frame.top() - 4);
            crack.lineTo(c.x() + 4, c.y() - 8);
            crack.lineTo(c.x() - 6, c.y() + 2);
            crack.lineTo(c.x() + 5, frame.bottom() + 4);
            p.drawPath(crack);
            break;
        }
        default:
            break;
    }
}

}  // namespace

QImage Keyed(const QImage& drawing, const QColor& face, const QColor& key) {
    QImage out = Opaque(drawing.size(), face);
    {
        QPainter p(&out);
        p.drawImage(0, 0, drawing);
    }
    const QImage alpha = drawing.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & RGB_MASK;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* source = reinterpret_cast<const QRgb*>(alpha.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(source[x]) == 0) {
                line[x] = key.rgb();
            } else if ((line[x] & RGB_MASK) == keyRgb) {
                line[x] = qRgb(qRed(line[x]) ^ 1, qGreen(line[x]), qBlue(line[x]));
            }
        }
    }
    return out;
}

QImage Splash() {
    QImage image = Opaque({480, 300}, SplashKeyColour);
    QPainter p(&image);
    // The outline is drawn without smoothing: a blended edge would mix the key
    // colour into the picture and leave a pink seam around the shaped window.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(6, 6, 468, 288), 22, 22);
    QLinearGradient body(0, 0, 0, 300);
    body.setColorAt(0, colours::Primary);
    body.setColorAt(1, colours::Ink);
    p.fillPath(outline, body);
    p.setClipPath(outline);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 18));
    p.drawEllipse(QPointF(420, 40), 150, 150);
    p.fillRect(QRect(6, 250, 468, 4), colours::Accent);

    p.setBrush(QColor(255, 255, 255, 36));
    p.drawEllipse(QPointF(105, 128), 72, 72);
    p.save();
    p.translate(105, 132);
    p.scale(1.4, 1.4);
    DrawCamera(p, QPointF(0, 0));
    p.restore();
    p.setPen(Qt::white);
    p.setFont(SkinFont(34, true));
    p.drawText(QRect(190, 70, 270, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zentrix"));
    p.setFont(SkinFont(20));
    p.drawText(QRect(192, 114, 270, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("for Pictora"));
    p.setPen(QColor(255, 255, 255, 200));
    p.setFont(SkinFont(12));
    p.drawText(QRect(192, 150, 270, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Gets back lost photos, sound and video from cards, disks and disk images."));
    p.setFont(SkinFont(11));
    p.drawText(QRect(24, 260, 432, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.0"));
    p.drawText(QRect(24, 260, 432, 24), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Starting..."));
    return image;
}

QImage Placeholder(const QString& text, int kind) {
    QImage image = SoftPanel(PlaceholderSize, false);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(colours::Muted.lighter(130), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, image.width() - 1, image.height() - 1));
    Emblem(p, QPointF(image.width() / 2.0, 100), kind);
    p.setPen(kind == 3 ? colours::Danger.darker(115) : colours::Ink);
    p.setFont(SkinFont(14, true));
    p.drawText(QRect(0, 138, image.width(), 28), Qt::AlignCenter, text);
    return image;
}

}  // namespace art

std::vector<SkinPicture> DrawSkin() {
    using art::Icon;
    std::vector<SkinPicture> skin;
    auto tool = [&](const QString& normal, const QString& hover, Icon icon) {
        skin.push_back({normal, art::Keyed(art::ToolIcon(icon, false), colours::Face, ToolbarKeyColour)});
        skin.push_back({hover, art::Keyed(art::ToolIcon(icon, true), colours::Face, HoverKeyColour)});
    };
    skin.push_back({skin::Main, art::MainBackground()});
    skin.push_back({skin::Page, art::PageBackground()});
    skin.push_back({skin::MessageBox, art::SoftPanel(MessageClientSize, true)});
    skin.push_back({skin::Preview, art::Placeholder(QStringLiteral("Preview not available"), 1)});
    skin.push_back({skin::Splash, art::Splash()});
    // Pictures that are not buttons are shown as they are, without a key colour.
    skin.push_back(
        {skin::ToolSaveGrey, art::Keyed(art::ToolIcon(Icon::Save, false, true), colours::Face, colours::Face)});
    skin.push_back({skin::NextGrey, art::Keyed(art::ToolIcon(Icon::Next, false, true), colours::Face, colours::Face)});
    tool(skin::ToolSave, skin::ToolSaveHover, Icon::Save);
    tool(skin::ToolHelp, skin::ToolHelpHover, Icon::Help);
    tool(skin::ToolAbout, skin::ToolAboutHover, Icon::About);
    tool(skin::ToolExit, skin::ToolExitHover, Icon::Exit);
    tool(skin::Next, skin::NextHover, Icon::Next);
    tool(skin::Back, skin::BackHover, Icon::Back);
    tool(skin::Save, skin::SaveHover, Icon::Save);
    tool(skin::Stop, skin::StopHover, Icon::Stop);
    tool(skin::Start, skin::StartHover, Icon::Start);
    skin.push_back({skin::Recovery, art::Keyed(art::JobButton(false, false), colours::Face, LargeButtonKeyColour)});
    skin.push_back({skin::RecoveryHover, art::Keyed(art::JobButton(false, true), colours::Face, HoverKeyColour)});
    skin.push_back({skin::Imaging, art::Keyed(art::JobButton(true, false), colours::Face, LargeButtonKeyColour)});
    skin.push_back({skin::ImagingHover, art::Keyed(art::JobButton(true, true), colours::Face, HoverKeyColour)});
    skin.push_back({skin::NoPreview, art::Placeholder(QStringLiteral("No Preview"), 0)});
    skin.push_back({skin::SelectFile, art::Placeholder(QStringLiteral("Select a File"), 2)});
    skin.push_back({skin::Corrupted, art::Placeholder(QStringLiteral("Corrupted"), 3)});
    return skin;
}

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient fill(0, 0, 0, 64);
    fill.setColorAt(0, colours::Primary.lighter(112));
    fill.setColorAt(1, colours::Ink);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);
    p.translate(30, 36);
    p.scale(0.62, 0.62);
    art::DrawCamera(p, QPointF(0, 0));
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}

void ApplySkinPalette(QApplication& app) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Button, colours::Face);
    palette.setColor(QPalette::Window, colours::Face);
    app.setPalette(palette);
}

QImage AboutPicture() {
    QImage image = art::SoftPanel(AboutClientSize, false);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 0, 80);
    band.setColorAt(0, colours::Primary);
    band.setColorAt(1, colours::Ink);
    p.fillRect(QRect(0, 0, image.width(), 80), band);
    p.fillRect(QRect(0, 80, image.width(), 3), colours::Accent);
    p.setPen(Qt::white);
    p.setFont(art::SkinFont(22, true));
    p.drawText(QRect(24, 14, 400, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zentrix for Pictora"));
    p.setFont(art::SkinFont(12));
    p.setPen(QColor(255, 255, 255, 210));
    p.drawText(QRect(24, 46, 400, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Photo, sound and video recovery"));
    p.setPen(colours::Muted.darker(110));
    p.setFont(art::SkinFont(11));
    p.drawText(QRect(24, 170, 402, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Finds pictures, sound and video on memory cards, disks and disk images "
                              "by their signatures, and copies failing media into image files. "
                              "The medium is only ever read."));
    return image;
}

}  // namespace zt::ui
