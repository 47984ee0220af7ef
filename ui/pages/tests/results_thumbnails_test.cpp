// The results page's thumbnail grid: pictures shrunk with their proportions,
// the bounded cache, the worker reading found files from a card image, and
// the grid ticking and picking the same files as the list.
#include <QBuffer>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "platform/raw_io.h"
#include "ui/controls/row_ticking.h"
#include "ui/pages/results_list.h"
#include "ui/pages/results_thumbnails.h"

using namespace zt;
using namespace zt::ui;

namespace {

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage Picture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    }
    return image;
}

// A card image holding the given files one after another, each starting on
// a sector; the found-file list names them File1.JPEG, File2.JPEG ...
struct Card {
    QTemporaryDir dir;
    QString path;
    FoundFileList found;
    SourceDescriptor source;
    BadSectorPolicyState policy;

    explicit Card(const QList<QByteArray>& files, const char* type = "JPEG") {
        path = dir.filePath(QStringLiteral("card.img"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly)) qFatal("cannot write the card image");
        std::uint64_t sector = 0;
        int number = 1;
        for (const QByteArray& file : files) {
            QByteArray padded = file;
            padded.append(QByteArray((512 - padded.size() % 512) % 512, '\0'));
            out.write(padded);
            const auto sectors = static_cast<std::int32_t>(padded.size() / 512);
            // A found file's count is its sectors less one: the copy takes through the last.
            found.Append(MakeFileInfo(type, number++, sector, sectors - 1));
            sector += static_cast<std::uint64_t>(sectors);
        }
        out.close();
        source.DeviceNames[0] = path.toStdString();
        source.RangeEnd = sector;
    }

    [[nodiscard]] QByteArray Digest() const {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha256);
    }
};

}  // namespace

class ResultsThumbnailsTest : public QObject {
    Q_OBJECT

private slots:
    void thumbnailsKeepProportionsAndNeverGrow();
    void cacheForgetsTheLeastRecentlyUsed();
    void makerReadsTheFilesAskedForInOrderAndWritesNothing();
    void makerDropsWhatIsNoLongerWanted();
    void gridMakesOnlyTheCellsInViewAndTicksTheListsFiles();
};

void ResultsThumbnailsTest::thumbnailsKeepProportionsAndNeverGrow() {
    // A RAW file: a TIFF-like header, a small thumbnail and the larger preview picture it carries.
    const QByteArray raw = QByteArray("II*\0", 4) + QByteArray(200, '\x11') + Encoded(Picture(40, 30), "JPEG") +
                           QByteArray(64, '\0') + Encoded(Picture(640, 480), "JPEG");
    struct Case {
        const char* what;
        QByteArray bytes;
        bool cameraRaw;
        QSize expected;  // empty: no thumbnail
    };
    const QList<Case> cases{
        {"landscape JPEG", Encoded(Picture(800, 600), "JPEG"), false, {96, 72}},
        {"portrait PNG", Encoded(Picture(50, 200), "PNG"), false, {24, 96}},
        {"square BMP", Encoded(Picture(300, 300), "BMP"), false, {96, 96}},
        {"small PPM kept at its size", Encoded(Picture(40, 30), "PPM"), false, {40, 30}},
        {"thin strip keeps a pixel", Encoded(Picture(2000, 10), "PNG"), false, {96, 1}},
        {"RAW shows its larger preview", raw, true, {96, 72}},
        {"rubbish", QByteArray(4096, '\x5a'), false, {}},
        {"nothing read", QByteArray(), false, {}},
    };
    for (const Case& c : cases) {
        const QImage thumbnail = MakeThumbnail(c.bytes, ThumbnailSide, c.cameraRaw);
        if (c.expected.isEmpty()) {
            QVERIFY2(thumbnail.isNull(), c.what);
        } else {
            QVERIFY2(!thumbnail.isNull(), c.what);
            QCOMPARE(thumbnail.size(), c.expected);
        }
    }
}

void ResultsThumbnailsTest::cacheForgetsTheLeastRecentlyUsed() {
    QPixmap red(4, 4);
    red.fill(Qt::red);
    QPixmap blue(8, 8);
    blue.fill(Qt::blue);
    struct Step {
        char op;           // 'p' put, 'f' find
        const char* name;  // the file
        QStringList kept;  // what the cache holds after the step
    };
    const QList<Step> steps{
        {'p', "a", {"a"}},
        {'p', "b", {"a", "b"}},
        {'p', "c", {"a", "b", "c"}},
        {'f', "a", {"a", "b", "c"}},  // a is now the most recent
        {'p', "d", {"a", "c", "d"}},  // b, the least recently used, goes
        {'p', "c", {"a", "c", "d"}},  // put again: replaced, nothing goes
        {'p', "e", {"c", "d", "e"}},
        {'f', "x", {"c", "d", "e"}},  // a miss changes nothing
    };
    ThumbnailCache cache(3);
    for (const Step& step : steps) {
        if (step.op == 'p') {
            cache.Put(step.name, QString(step.name) == "c" && cache.Contains("c") ? blue : red);
        } else {
            QCOMPARE(cache.Find(step.name) != nullptr, QString(step.name) != "x");
        }
        QCOMPARE(cache.Size(), static_cast<std::size_t>(step.kept.size()));
        for (const QString& name : step.kept) QVERIFY2(cache.Contains(name), qPrintable(name));
    }
    QCOMPARE(cache.Find("c")->size(), QSize(8, 8));

    ThumbnailCache none(0);
    none.Put("a", red);
    QCOMPARE(none.Size(), std::size_t{0});
}

void ResultsThumbnailsTest::makerReadsTheFilesAskedForInOrderAndWritesNothing() {
    Card card({Encoded(Picture(800, 600), "JPEG"), Encoded(Picture(300, 600), "JPEG"), QByteArray(2048, '\x33'),
               Encoded(Picture(64, 48), "JPEG")});
    const QByteArray before = card.Digest();
    ThumbnailMaker maker(card.source, card.policy, platform::SystemRawIo(), card.found);
    QSignalSpy made(&maker, &ThumbnailMaker::Made);
    // A name of another type, or no found file at all, makes nothing to show.
    maker.Want(*FindType("JPEG"), {"File2.JPEG", "File4.JPEG", "File3.JPEG", "File1.JPEG", "File9.JPEG", "File1.PNG"});
    QTRY_COMPARE_WITH_TIMEOUT(made.count(), 6, 10000);
    const QList<QPair<QString, QSize>> expected{{"File2.JPEG", {48, 96}}, {"File4.JPEG", {64, 48}},
                                                {"File3.JPEG", {}},       {"File1.JPEG", {96, 72}},
                                                {"File9.JPEG", {}},       {"File1.PNG", {}}};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(made.at(i).at(0).toString(), expected[i].first);
        const QImage image = made.at(i).at(1).value<QImage>();
        QCOMPARE(image.isNull() ? QSize() : image.size(), expected[i].second);
    }
    QCOMPARE(card.Digest(), before);
}

void ResultsThumbnailsTest::makerDropsWhatIsNoLongerWanted() {
    const QList<QByteArray> files(200, Encoded(Picture(1200, 900), "JPEG"));
    Card card(files);
    ThumbnailMaker maker(card.source, card.policy, platform::SystemRawIo(), card.found);
    QSignalSpy made(&maker, &ThumbnailMaker::Made);
    QStringList all;
    for (int i = 1; i <= 200; ++i) all << QStringLiteral("File%1.JPEG").arg(i);
    // Scrolled far at once: the first screenful is no longer wanted.
    maker.Want(*FindType("JPEG"), all);
    maker.Want(*FindType("JPEG"), {"File200.JPEG"});
    QTRY_VERIFY_WITH_TIMEOUT(!made.isEmpty() && made.last().at(0).toString() == "File200.JPEG", 10000);
    QTest::qWait(100);
    QVERIFY2(maker.MadeCount() < 10, qPrintable(QString::number(maker.MadeCount())));
}

void ResultsThumbnailsTest::gridMakesOnlyTheCellsInViewAndTicksTheListsFiles() {
    const QList<QByteArray> files(120, Encoded(Picture(320, 240), "JPEG"));
    Card card(files);
    ThumbnailMaker maker(card.source, card.policy, platform::SystemRawIo(), card.found);

    QWidget page;
    page.resize(700, 500);
    ResultsListModel model;
    QTableView list(&page);
    list.setModel(&model);
    list.setGeometry(10, 10, 480, 260);
    QList<int> picked;
    ResultsThumbnails thumbnails(&page, &list, model, maker,
                                 {[] { return *FindType("JPEG"); },
                                  [](TypeId type) { return type == *FindType("JPEG"); },
                                  [&picked](int row) { picked << row; },
                                  [](const QModelIndex& row) { return FirstCellCheckable(row); }});
    std::vector<ResultsRow> rows;
    for (int i = 1; i <= 120; ++i) rows.push_back({QStringLiteral("File%1.JPEG").arg(i), SizeText(100), false});
    model.Append(std::move(rows));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    // The list stays the default view; the switch shows the grid in its place.
    QVERIFY(list.isVisible());
    QVERIFY(!thumbnails.GridShown());
    QVERIFY(!thumbnails.Switch()->accessibleName().isEmpty());
    QVERIFY(!thumbnails.Grid()->accessibleName().isEmpty());
    thumbnails.Switch()->setChecked(true);
    QVERIFY(thumbnails.GridShown());
    QVERIFY(!list.isVisible());
    QCOMPARE(thumbnails.Grid()->geometry(), list.geometry());

    const QList<int> visible = thumbnails.Grid()->VisibleRows();
    QVERIFY(!visible.isEmpty() && visible.size() < 40);
    QCOMPARE(visible.first(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(thumbnails.Cache().Size(), static_cast<std::size_t>(visible.size()), 10000);
    QTest::qWait(200);
    QCOMPARE(maker.MadeCount(), static_cast<int>(visible.size()));
    for (int row : visible) QVERIFY(thumbnails.Cache().Contains(model.Row(row).fileName));

    // Scrolled to the end: the cells there are made, none of those passed over.
    thumbnails.Grid()->scrollToBottom();
    const QList<int> last = thumbnails.Grid()->VisibleRows();
    QVERIFY(last.contains(119));
    QTRY_VERIFY_WITH_TIMEOUT(thumbnails.Cache().Contains("File120.JPEG"), 10000);
    QTest::qWait(200);
    QCOMPARE(maker.MadeCount(), static_cast<int>(visible.size() + last.size()));

    // Space ticks the grid's current file in the list's model; a click picks it.
    thumbnails.Grid()->setFocus();
    const QModelIndex cell = model.index(last.first(), 0);
    QTest::mouseClick(thumbnails.Grid()->viewport(), Qt::LeftButton, {},
                      thumbnails.Grid()->visualRect(cell).center());
    QCOMPARE(picked, QList<int>{last.first()});
    QCOMPARE(list.selectionModel()->currentIndex().row(), last.first());
    QTest::keyClick(thumbnails.Grid(), Qt::Key_Space);
    QVERIFY(model.Row(last.first()).ticked);
    QTest::keyClick(thumbnails.Grid(), Qt::Key_Right);
    QTRY_COMPARE(picked, (QList<int>{last.first(), last.first() + 1}));

    thumbnails.Switch()->setChecked(false);
    QVERIFY(list.isVisible());
    QVERIFY(!thumbnails.GridShown());
    QCOMPARE(list.selectionModel()->currentIndex().row(), last.first() + 1);
}

QTEST_MAIN(ResultsThumbnailsTest)
#include "results_thumbnails_test.moc"
