// Names, sizes and colours of the skin shared by the windows and the skin generator.
//
// Every skin picture is a bitmap file in the skin folder; each name begins with
// the separator so that it is appended to the folder text unchanged.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

namespace zt::ui {

// Name of the skin folder inside the installation folder.
inline constexpr char SkinFolderName[] = "skin";

namespace skin {
inline const QString Main = QStringLiteral("/guim.bmp");
inline const QString Page = QStringLiteral("/gui2.bmp");
inline const QString MessageBox = QStringLiteral("/Msgbox.bmp");
inline const QString Preview = QStringLiteral("/Preview.bmp");
inline const QString Splash = QStringLiteral("/FrontV.bmp");
inline const QString ToolSaveGrey = QStringLiteral("/TSaveD.bmp");
inline const QString ToolSave = QStringLiteral("/TSave.bmp");
inline const QString ToolSaveHover = QStringLiteral("/TSaveA.bmp");
inline const QString ToolHelp = QStringLiteral("/THelp.bmp");
inline const QString ToolHelpHover = QStringLiteral("/THelpA.bmp");
inline const QString ToolAbout = QStringLiteral("/TAboutUs.bmp");
inline const QString ToolAboutHover = QStringLiteral("/TAboutUsA.bmp");
inline const QString ToolExit = QStringLiteral("/TExit.bmp");
inline const QString ToolExitHover = QStringLiteral("/TExitA.bmp");
inline const QString Recovery = QStringLiteral("/Pictora.bmp");
inline const QString RecoveryHover = QStringLiteral("/PictoraA.bmp");
inline const QString Imaging = QStringLiteral("/ImageCreation.bmp");
inline const QString ImagingHover = QStringLiteral("/ImageCreationA.bmp");
inline const QString Next = QStringLiteral("/Next.bmp");
inline const QString NextHover = QStringLiteral("/NextA.bmp");
inline const QString NextGrey = QStringLiteral("/NextD.bmp");
inline const QString Back = QStringLiteral("/Back.bmp");
inline const QString BackHover = QStringLiteral("/BackA.bmp");
inline const QString Save = QStringLiteral("/Save.bmp");
inline const QString SaveHover = QStringLiteral("/SaveA.bmp");
inline const QString Stop = QStringLiteral("/Stop.bmp");
inline const QString StopHover = QStringLiteral("/StopA.bmp");
inline const QString Start = QStringLiteral("/Start.bmp");
inline const QString StartHover = QStringLiteral("/StartA.bmp");
inline const QString NoPreview = QStringLiteral("/NoPreview.bmp");
inline const QString SelectFile = QStringLiteral("/SelectFile.bmp");
inline const QString Corrupted = QStringLiteral("/Corrpted.bmp");
}  // namespace skin

// Window layouts are given in dialog units; one unit is 1.5 pixels across and
// 1.625 pixels down (the dialog font's average character is 6 by 13 pixels).
[[nodiscard]] constexpr int DuX(int units) { return (units * 3) / 2; }
[[nodiscard]] constexpr int DuY(int units) { return (units * 13) / 8; }
[[nodiscard]] constexpr QRect DuRect(int x, int y, int w, int h) { return {DuX(x), DuY(y), DuX(w), DuY(h)}; }

// Client sizes of the windows the skin pictures are drawn for.
inline constexpr QSize PageClientSize{DuX(450), DuY(315)};
inline constexpr QSize MessageClientSize{DuX(226), DuY(110)};
inline constexpr QSize WaitClientSize{DuX(138), DuY(37)};
inline constexpr QSize AboutClientSize{450, 300};
inline constexpr QSize PlaceholderSize{240, 180};
inline constexpr QSize ToolPictureSize{48, 40};

// One palette for the whole skin.
namespace colours {
inline const QColor Ink{0x1B, 0x3A, 0x5C};
inline const QColor Primary{0x2B, 0x6C, 0xB0};
inline const QColor Accent{0xF0, 0xA0, 0x30};
inline const QColor Go{0x2F, 0x9E, 0x6E};
inline const QColor Danger{0xD6, 0x45, 0x45};
inline const QColor Info{0x1F, 0x8A, 0x9E};
inline const QColor Muted{0x8A, 0x96, 0xA5};
inline const QColor Face{0xF3, 0xF6, 0xFA};  // button face, toolbar band and cards
inline const QColor Body{0xE6, 0xED, 0xF5};  // light body of pages and dialogs
inline const QColor Text{0x1E, 0x27, 0x33};
}  // namespace colours

}  // namespace zt::ui
