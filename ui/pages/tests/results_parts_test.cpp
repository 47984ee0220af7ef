// The pieces of the results page: size texts, the list model and its fill,
// and the picture preview's decoding and placement.
#include <QBuffer>
#include <QImageReader>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/media_preview.h"
#include "ui/pages/results_list.h"
#include "ui/pages/card_folders.h"
#include "ui/controls/CFolderTreeCtrl.h"

#include <functional>

using namespace zt;
using namespace zt::ui;

class ResultsPartsTest : public QObject {
    Q_OBJECT

private slots:
    void sizeTextsChangeUnitAtTheBinaryBoundaries();
    void modelTicksReportOnlyChanges();
    void fillListsOneTypeInFoundOrderWithTicks();
    void placementFollowsTheFourSizeCases();
    void pictureDecodesFromTheFileAndRefusesRubbish();
    void rawFilesShowTheLargestPreviewPictureTheyCarry();
    void typesPreviewAsThisMachineCanShowThem();
    void playTimesReadAsMinutesAndSeconds();
    void cardFoldersNestUnderTheirFileSystems();
};

void ResultsPartsTest::sizeTextsChangeUnitAtTheBinaryBoundaries() {
    QCOMPARE(SizeText(100), QString("50.00 KB"));
    QCOMPARE(SizeText(2047), QString("1023.50 KB"));
    QCOMPARE(SizeText(2048), QString("1.00 MB"));
    QCOMPARE(SizeText(4096), QString("2.00 MB"));
    QCOMPARE(SizeText(2097151), QString("1024.00 MB"));  // one sector short of 1 GiB still counts in MB
    QCOMPARE(SizeText(2097152), QString("1.00 GB"));
    // 4 GiB: the byte count no longer fits 32 bits.
    QCOMPARE(SizeText(8388608), QString("4.00 GB"));
    QCOMPARE(SizeText(0), QString("0.00 KB"));
    QCOMPARE(TypeNodeLabel("JPEG", 12), QString("JPEG (12)"));
}

void ResultsPartsTest::modelTicksReportOnlyChanges() {
    ResultsListModel model;
    model.Append({{"File1.JPEG", "1.00 KB", false}, {"File2.JPEG", "2.00 KB", true}});
    QSignalSpy ticks(&model, &ResultsListModel::RowTickChanged);
    QVERIFY(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));  // already ticked
    QCOMPARE(ticks.count(), 1);
    QCOMPARE(ticks.at(0).at(0).toInt(), 0);
    QVERIFY(!model.setData(model.index(0, 1), Qt::Unchecked, Qt::CheckStateRole));  // the size has no box
    QVERIFY(model.AnyTicked());
    QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QString("2.00 KB"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("File Name"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Size"));
}

void ResultsPartsTest::fillListsOneTypeInFoundOrderWithTicks() {
    FoundFileList found;
    for (int i = 1; i <= 200; ++i) {
        FileInfo jpeg = MakeFileInfo("JPEG", i, std::uint64_t(i) * 10, i);
        jpeg.cut = i == 5 ? 1 : 0;  // a file the scan could not keep whole
        found.Append(jpeg);
        if (i % 50 == 0) found.Append(MakeFileInfo("JP2", i / 50, 7, 3));
    }
    found.SetSelectedByName("File7.JPEG", true);
    ResultsListModel model;
    ResultsListFill fill(model);
    QSignalSpy done(&fill, &ResultsListFill::Finished);
    QVERIFY(fill.Start(found, *FindType("JPEG")));
    QVERIFY(!fill.Start(found, *FindType("JP2")));  // one fill at a time
    QVERIFY(done.wait(5000));
    QVERIFY(!fill.Running());
    QCOMPARE(model.rowCount(), 200);
    QCOMPARE(model.Row(0).fileName, QString("File1.JPEG"));
    QCOMPARE(model.Row(199).fileName, QString("File200.JPEG"));
    QCOMPARE(model.Row(6).ticked, true);
    QCOMPARE(model.Row(5).ticked, false);
    QCOMPARE(model.Row(3).size, QString("2.00 KB"));
    QCOMPARE(model.Row(4).size, QString("2.50 KB (cut)"));
    QCOMPARE(model.Row(5).size, QString("3.00 KB"));

    model.Clear();
    QVERIFY(fill.Start(found, *FindType("JP2")));
    QVERIFY(done.wait(5000));
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.Row(3).fileName, QString("File4.JP2"));
}

void ResultsPartsTest::placementFollowsTheFourSizeCases() {
    const QSize control(300, 200);
    const struct {
        QSize image;
        QRect drawn;
    } cases[] = {
        {{101, 51}, {100, 75, 101, 51}},  // fits: own size, halves rounded toward zero
        {{100, 500}, {131, 2, 39, 196}},  // a portrait photo stays a portrait
        {{1000, 100}, {2, 86, 296, 29}},  // a panorama stays a panorama
        {{1000, 800}, {28, 2, 245, 196}},
        {{300, 100}, {2, 51, 296, 98}},   // equal to the control counts as not fitting
        {{4000, 3000}, {20, 2, 261, 196}},
    };
    for (const auto& c : cases) {
        const QRect drawn = PicturePlacement(control, c.image);
        QCOMPARE(drawn, c.drawn);
        QVERIFY(QRect(QPoint(), control).contains(drawn));
        // The proportions are the image's, to within the rounding of one pixel.
        QVERIFY(std::abs(drawn.width() * c.image.height() - drawn.height() * c.image.width()) <=
                std::max(c.image.width(), c.image.height()));
    }
    QVERIFY(PicturePlacement(control, {0, 0}).isEmpty());
}

void ResultsPartsTest::pictureDecodesFromTheFileAndRefusesRubbish() {
    QTemporaryDir dir;
    QImage photo(120, 80, QImage::Format_RGB32);
    photo.fill(QColor(200, 30, 30));
    const QString jpeg = dir.filePath("ZTtemp.JPEG");
    QVERIFY(photo.save(jpeg, "JPEG"));
    // A saved preview runs on past the picture into the next sectors.
    QFile grow(jpeg);
    QVERIFY(grow.open(QIODevice::Append));
    grow.write(QByteArray(700, '\x5A'));
    grow.close();

    CPictureCtrl picture;
    picture.resize(300, 200);
    QVERIFY(picture.Load(jpeg));
    QCOMPARE(picture.Image().size(), QSize(120, 80));
    const QImage drawn = picture.grab().toImage();
    QCOMPARE(QColor(drawn.pixel(0, 0)), PictureFrameColour);
    QCOMPARE(QColor(drawn.pixel(5, 5)), PictureFieldColour);
    const QColor middle(drawn.pixel(150, 100));
    QVERIFY(middle.red() > 150 && middle.green() < 80);

    // A JPEG header followed by noise decodes to nothing.
    const QString broken = dir.filePath("broken.JPEG");
    QFile out(broken);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(4000, '\x11'));
    out.close();
    QVERIFY(!picture.Load(broken));
    QVERIFY(!picture.ImageLoaded());
    QVERIFY(!picture.Load(dir.filePath("missing.JPEG")));
}

namespace {

QByteArray Jpeg(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

}  // namespace

void ResultsPartsTest::rawFilesShowTheLargestPreviewPictureTheyCarry() {
    // A RAW file as cameras write it: a TIFF-like header, a thumbnail, sensor
    // data, the large preview, more sensor data.
    const QByteArray header = QByteArray("II*\0", 4) + QByteArray(200, '\x11');
    const QByteArray sensor(5000, '\x7E');
    const QByteArray thumbnail = Jpeg({64, 48}, Qt::blue);
    const QByteArray preview = Jpeg({320, 240}, QColor(20, 200, 20));
    const struct {
        const char* name;
        QByteArray bytes;
        QSize shown;  // invalid: nothing to show
    } cases[] = {
        {"thumbnail then preview", header + thumbnail + sensor + preview + sensor, {320, 240}},
        {"preview then thumbnail", header + preview + sensor + thumbnail, {320, 240}},
        {"thumbnail alone", header + sensor + thumbnail + sensor, {64, 48}},
        {"no picture at all", header + sensor + QByteArray("\xFF\xD8\xFF\xE0", 4) + sensor, {}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QImage embedded = EmbeddedPreviewPicture(c.bytes);
        if (c.shown.isValid()) {
            QCOMPARE(embedded.size(), c.shown);
        } else {
            QVERIFY2(embedded.isNull(), c.name);
        }
        const QString path = dir.filePath("ZTtemp.CR2");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.bytes);
        file.close();
        CPictureCtrl picture;
        picture.resize(300, 200);
        QCOMPARE(picture.Load(path), c.shown.isValid());
        if (c.shown.isValid()) QCOMPARE(picture.Image().size(), c.shown);
    }
}

void ResultsPartsTest::typesPreviewAsThisMachineCanShowThem() {
    const bool webp = QImageReader::supportedImageFormats().contains("webp");
    const bool heic = QImageReader::supportedImageFormats().contains("heic");
    const struct {
        const char* label;
        PreviewKind kind;
    } cases[] = {
        {"JPEG (12)", PreviewKind::Picture}, {"TIFF (1)", PreviewKind::Picture},
        {"CR2 (3)", PreviewKind::Picture},   {"RW2 (1)", PreviewKind::Picture},
        {"MP3 (2)", PreviewKind::Media},     {"MIDI (1)", PreviewKind::Media},
        {"MP4 (5)", PreviewKind::Media},     {"MOV (1)", PreviewKind::Media},
        {"FLAC (4)", PreviewKind::Media},    {"3GP (1)", PreviewKind::Media},
        {"MTS (1)", PreviewKind::Media},     {"PSP (2)", PreviewKind::None},
        {"WEBP (1)", webp ? PreviewKind::Picture : PreviewKind::None},
        {"HEIC (1)", heic ? PreviewKind::Picture : PreviewKind::None},
    };
    const auto typeOf = [](const char* label) { return *FindType(QString(label).section(" (", 0, 0).toStdString()); };
    for (const auto& c : cases) {
        QVERIFY2(ShownPreviewKind(typeOf(c.label)) == c.kind, c.label);
    }
    QVERIFY(ShownPreviewKind(kNoType) == PreviewKind::None);
    QVERIFY(IsCameraRawType(typeOf("NEF (2)")) && !IsCameraRawType(typeOf("JPEG (2)")));
    // Every type shown beyond the first ones has its preview file removed at Exit.
    for (const auto& c : cases) {
        const QString type = QString(c.label).section(" (", 0, 0);
        const bool always = PreviewKindOf(typeOf(c.label)) != PreviewKind::None;
        if (c.kind != PreviewKind::None && !always) QVERIFY2(ExtraPreviewTypeNames().contains(type), c.label);
    }
    // A type node is known by the type it carries, whatever its label reads.
    for (const TypeId type : AllTypes()) {
        QTreeWidgetItem node(QStringList{QStringLiteral("JPEG (1)")});
        QVERIFY(NodeType(&node) == kNoType);
        SetNodeType(&node, type);
        QVERIFY(NodeType(&node) == type);
    }
}

void ResultsPartsTest::playTimesReadAsMinutesAndSeconds() {
    const struct {
        qint64 ms;
        const char* text;
    } cases[] = {{0, "0:00"}, {999, "0:00"}, {7'500, "0:07"}, {92'000, "1:32"}, {3'599'999, "59:59"},
                 {3'600'000, "1:00:00"}, {37'230'000, "10:20:30"}, {-5, "0:00"}};
    for (const auto& c : cases) QCOMPARE(PlayTimeText(c.ms), QString(c.text));
}

void ResultsPartsTest::cardFoldersNestUnderTheirFileSystems() {
    FoundFileList found;
    struct Named {
        const char* volume;
        const char* path;
    };
    // In the order a scan lists them: a folder whose name has a space sorts
    // beside one whose child has the same start, files at a volume's top,
    // orphans, and a second file system.
    const std::vector<Named> named = {
        {"FAT32 at sector 0", "DCIM/100PHONE/A.jpg"}, {"FAT32 at sector 0", "A B/x.jpg"},
        {"FAT32 at sector 0", "A/B/y.jpg"},           {"FAT32 at sector 0", "top.jpg"},
        {"FAT32 at sector 0", "Orphan folders/Folder6/Trip/Beach day.jpg"},
        {"exFAT at sector 2048", "DCIM/Camera/B.jpg"}, {"FAT32 at sector 0", "DCIM/100PHONE/C.jpg"},
    };
    int n = 0;
    for (const Named& f : named) {
        const std::uint64_t start = 100u * static_cast<std::uint64_t>(++n);
        found.AppendNamed(MakeFileInfo("JPEG", n, start, 1),
                          NamedFile{f.path, 0, NamedFileState::Live, false, {{start, 1}}, 0, f.volume});
    }
    found.Append(MakeFileInfo("PNG", 1, 5000, 1));  // carved: in no folder

    const std::vector<CardFile> files = CardFiles(found);
    QCOMPARE(files.size(), named.size());
    for (const CardFile& f : files) QVERIFY(f.type == *FindType("JPEG"));  // its preview goes by its type
    CFolderTreeCtrl tree;
    const std::vector<QTreeWidgetItem*> roots = AddCardFolders(tree, files);
    QCOMPARE(roots.size(), std::size_t{2});
    QStringList shown;
    std::function<void(QTreeWidgetItem*, const QString&)> walk = [&](QTreeWidgetItem* node, const QString& indent) {
        shown << indent + node->text(0) + " = " + CardFolderKey(node);
        QVERIFY(NodeType(node) == kNoType);  // a folder is never taken for a type
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), indent + "  ");
    };
    for (QTreeWidgetItem* root : roots) walk(root, "");
    QCOMPARE(shown, QStringList({
                        "FAT32 at sector 0 = FAT32 at sector 0",
                        "  A = FAT32 at sector 0/A",
                        "    B = FAT32 at sector 0/A/B",
                        "  A B = FAT32 at sector 0/A B",
                        "  DCIM = FAT32 at sector 0/DCIM",
                        "    100PHONE = FAT32 at sector 0/DCIM/100PHONE",
                        "  Orphan folders = FAT32 at sector 0/Orphan folders",
                        "    Folder6 = FAT32 at sector 0/Orphan folders/Folder6",
                        "      Trip = FAT32 at sector 0/Orphan folders/Folder6/Trip",
                        "exFAT at sector 2048 = exFAT at sector 2048",
                        "  DCIM = exFAT at sector 2048/DCIM",
                        "    Camera = exFAT at sector 2048/DCIM/Camera",
                    }));

    // A folder's own files, or everything below it, by their records.
    auto records = [&](const std::string& key, bool below) {
        QStringList r;
        for (const CardFile& f : FilesInFolder(files, key, below)) r << QString::fromStdString(f.record + " " + f.name);
        return r;
    };
    QCOMPARE(records("FAT32 at sector 0/DCIM/100PHONE", false), QStringList({"File1.JPEG A.jpg", "File7.JPEG C.jpg"}));
    QCOMPARE(records("FAT32 at sector 0", false), QStringList({"File4.JPEG top.jpg"}));
    QCOMPARE(records("FAT32 at sector 0/A", true), QStringList({"File3.JPEG y.jpg"}));  // not "A B"
    QCOMPARE(records("FAT32 at sector 0/DCIM", false), QStringList());
    QCOMPARE(records("FAT32 at sector 0", true).size(), 6);
    QVERIFY(CardFolderKey(nullptr).isEmpty());
}

QTEST_MAIN(ResultsPartsTest)
#include "results_parts_test.moc"
