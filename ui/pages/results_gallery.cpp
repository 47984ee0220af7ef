// zt-results-gallery: draws the scan page while it scans, the results with a
// picture and with a sound preview, the saving dialog and the overwrite
// question into PNG files for the documentation. The pages scan a demo card
// image (make-demo-image) read as a raw image file.
//
// Usage: zt-results-gallery SKIN_FOLDER OUTPUT_FOLDER CARD_IMAGE LONG_IMAGE VIDEO_IMAGE FAT_CARD
// LONG_IMAGE is the card followed by many empty sectors, so that a scan of it
// is still running when it is photographed; VIDEO_IMAGE holds a short AVI
// video, photographed while it plays. FAT_CARD, a card with a FAT file
// system, is scanned with the card's file system read: its folder tree.
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include "app/session.h"
#include "core/scan/catalogue.h"
#include "ui/controls/CFolderTreeCtrl.h"
#include "ui/dialogs/CReplaceDlg.h"
#include "ui/dialogs/CSavingDlg.h"
#include "ui/pages/CFileDisplayDlg.h"
#include "ui/pages/media_preview.h"
#include "ui/shell/gallery_support.h"

namespace {

void ChooseCard(zt::Session& session, const QString& image) {
    session.Source() = {};
    session.Source().DeviceNames[0] = image.toStdString();
    session.Source().RangeEnd = static_cast<std::uint64_t>(QFileInfo(image).size()) / 512;
    session.Types().clear();
    session.Found().Clear();
    for (const zt::CatalogueRow& row : zt::CatalogueRows()) {
        if (auto d = zt::LookupDefinition(row.fileType)) {
            d->maxSizeBytes = 2000 * 1024;
            session.Types().push_back(*d);
        }
    }
}

QTreeWidgetItem* Node(zt::ui::CFileDisplayDlg& page, std::string_view typeName) {
    const zt::TypeId type = zt::FindType(typeName).value_or(zt::kNoType);
    for (int i = 0; i < page.Root()->childCount(); ++i) {
        if (zt::ui::NodeType(page.Root()->child(i)) == type) return page.Root()->child(i);
    }
    return nullptr;
}

// The window as the screen shows it: a playing video is drawn by the media
// backend straight to the screen, where a widget's own drawing does not see it.
bool SnapScreen(QWidget& window, const QString& path, int waitMs) {
    window.show();
    QTest::qWait(waitMs);
    const QRect frame = window.geometry();
    return window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
}

// The results of a scan that read the card's file system: the second root
// with the card's folders, a folder's files by name, one previewed.
bool SnapCardFolders(zt::ui::ShellContext& context, const QString& image, const QString& png) {
    ChooseCard(context.session, image);
    context.session.SetUsesFileSystems(true);
    zt::ui::CFileDisplayDlg page(context);
    page.show();
    while (!page.InResults()) QTest::qWait(100);
    QTreeWidgetItem* card = page.Tree()->topLevelItem(page.Tree()->topLevelItemCount() - 1);
    QTreeWidgetItem* folder = card;
    while (folder->childCount() > 0) folder = folder->child(0);
    page.Tree()->setCurrentItem(folder);
    page.List()->setFocus();
    page.ClickRow(0);
    QTest::qWait(200);
    const bool ok = zt::ui::gallery::Snap(page, png, 0);
    context.session.SetUsesFileSystems(false);
    return ok;
}

}  // namespace

using zt::ui::gallery::Snap;

int main(int argc, char** argv) {
    zt::ui::PreferFfmpegMediaBackend();
    QApplication app(argc, argv);
    const std::optional<zt::ui::gallery::Arguments> arguments =
        zt::ui::gallery::Start(app, argc, argv, {"CARD_IMAGE", "LONG_IMAGE", "VIDEO_IMAGE", "FAT_CARD"});
    if (!arguments) return 2;
    const zt::ui::ShellSettings& settings = arguments->settings;
    const QString& out = arguments->outputFolder;
    zt::SystemSession system;
    zt::Session& session = system.Get();
    zt::ui::gallery::NoServices services;
    zt::ui::ShellContext context(session, settings, services, [] {});
    bool ok = true;

    ChooseCard(session, QString::fromLocal8Bit(argv[4]));
    {
        zt::ui::CFileDisplayDlg scanning(context);
        ok = ok && Snap(scanning, out + "/scan-in-progress.png", 2300);
    }

    ChooseCard(session, QString::fromLocal8Bit(argv[3]));
    zt::ui::CFileDisplayDlg page(context);
    page.show();
    while (!page.InResults()) QTest::qWait(100);
    page.Tree()->setCurrentItem(Node(page, "JPEG"));
    page.List()->setFocus();
    page.ClickRow(1);
    QTest::qWait(200);
    ok = ok && Snap(page, out + "/results-picture.png", 0);
    // The same page grown as on a large screen: the lists and the preview take the room.
    page.resize(1000, 720);
    QTest::qWait(300);
    page.ClickRow(1);
    QTest::qWait(200);
    ok = ok && Snap(page, out + "/results-grown.png", 0);
    // The same files as thumbnails, then the page maximised on the screen.
    page.Thumbnails()->Switch()->setChecked(true);
    ok = ok && Snap(page, out + "/results-thumbnails.png", 800);
    page.Thumbnails()->Switch()->setChecked(false);
    page.setGeometry(page.screen()->availableGeometry());
    page.setWindowState(Qt::WindowMaximized);
    QTest::qWait(300);
    page.ClickRow(2);
    ok = ok && Snap(page, out + "/results-maximised.png", 300);
    page.setWindowState(Qt::WindowNoState);
    page.resize(page.minimumSize());
    QTest::qWait(200);
    page.Tree()->setCurrentItem(Node(page, "WAV"));
    QTest::qWait(600);
    ok = ok && Snap(page, out + "/results-sound.png", 0);

    // The saving dialog part-way through a run over many ticked files.
    QTemporaryDir into;
    page.Tree()->ClickCheckBox(page.Root());
    {
        zt::ui::DialogOverwritePrompt prompt(settings.skinFolder, settings.windowTitle, &page);
        zt::FoundFileList many;
        for (int i = 1; i <= 400; ++i) {
            zt::FileInfo f = zt::MakeFileInfo("JPEG", i, std::uint64_t(i) * 7, 3000);
            f.selected = 1;
            many.Append(f);
        }
        zt::SavingRun run(many, session.Source(), session.BadSectors(), into.path().toStdString(),
                          zt::SavingServices{session.Seams().destination, prompt, session.Logs(), session.Settings(),
                                             session.RecoveryHeaderWritten(), session.Seams().rawIo});
        zt::ui::CSavingDlg saving(settings, run, [] {}, &page);
        ok = ok && Snap(saving, out + "/saving-dialog.png", 700);
        run.RequestStop();
        run.Join();
        saving.hide();
    }
    zt::ui::CReplaceDlg replace(settings.skinFolder, settings.windowTitle, QStringLiteral("File1.JPEG"), &page);
    ok = ok && Snap(replace, out + "/overwrite-prompt.png");
    replace.hide();

    // A video playing in the preview.
    // Hidden, not closed: closing a page asks the Exit question.
    page.hide();
    ChooseCard(session, QString::fromLocal8Bit(argv[5]));
    zt::ui::CFileDisplayDlg video(context);
    video.show();
    while (!video.InResults()) QTest::qWait(100);
    video.Tree()->setCurrentItem(Node(video, "AVI"));
    ok = ok && SnapScreen(video, out + "/results-video.png", 1500) && video.Player()->Playing();
    if (video.Player()->Playing()) video.Player()->PlayOrPause();
    video.hide();
    ok = ok && SnapCardFolders(context, QString::fromLocal8Bit(argv[6]), out + "/results-card-folders.png");
    return ok ? 0 : 1;
}
