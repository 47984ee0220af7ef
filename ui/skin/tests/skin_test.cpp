// Background drawing, skin loading and the drawn skin itself.
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "ui/controls/key_colour.h"
#include "ui/skin/CBDialog.h"
#include "ui/skin/skin_art.h"
#include "ui/skin/skin_files.h"

using namespace zt::ui;

namespace {

// A 3x2 picture whose pixels are all different, so any misplaced copy shows.
QPixmap Pattern() {
    QImage image(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            image.setPixel(x, y, qRgb(40 * x + 10, 100 * y + 20, 5));
        }
    }
    return QPixmap::fromImage(image);
}

QImage Paint(QSize size, const QPixmap& picture, BackgroundMode mode) {
    QImage target(size, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    PaintBackground(painter, target.rect(), picture, mode);
    return target;
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT

private slots:
    void tileRepeatsFromTopLeftAndClips();
    void centreAndStretch();
    void dialogPaintsBelowItsMenuAndOpensWithoutSkin();
    void skinIsCompleteWithKeyColoursWhereNeeded();
    void grownWindowsMoveAndGrowTheirAnchoredControls();
};

void SkinTest::tileRepeatsFromTopLeftAndClips() {
    const QPixmap picture = Pattern();
    const QImage target = Paint({8, 5}, picture, BackgroundMode::Tile);
    const QImage source = picture.toImage();
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 8; ++x) {
            QCOMPARE(target.pixel(x, y), source.pixel(x % 3, y % 2));
        }
    }
    // Larger than the window: clipped at the right and bottom edges.
    const QImage small = Paint({2, 1}, picture, BackgroundMode::Tile);
    QCOMPARE(small.pixel(1, 0), source.pixel(1, 0));
}

void SkinTest::centreAndStretch() {
    const QPixmap picture = Pattern();
    const QImage centred = Paint({7, 6}, picture, BackgroundMode::Centre);
    QCOMPARE(centred.pixel(2, 2), picture.toImage().pixel(0, 0));  // ((7-3)/2, (6-2)/2)
    QCOMPARE(centred.pixel(1, 1), qRgb(0, 0, 0));
    QCOMPARE(centred.pixel(5, 4), qRgb(0, 0, 0));
    const QImage stretched = Paint({6, 4}, picture, BackgroundMode::Stretch);
    QCOMPARE(stretched.pixel(5, 3), picture.toImage().pixel(2, 1));
    QCOMPARE(stretched.pixel(0, 0), picture.toImage().pixel(0, 0));
}

void SkinTest::dialogPaintsBelowItsMenuAndOpensWithoutSkin() {
    QTemporaryDir empty;
    CBDialog dialog(empty.path());
    QVERIFY(dialog.LoadSkin(skin::Main).isNull());  // missing file: no picture, no complaint
    dialog.SetClientTop(10);
    dialog.SetClientSize({30, 20});
    QCOMPARE(dialog.size(), QSize(30, 30));
    dialog.SetBackground(Pattern());
    const QImage shot = dialog.grab().toImage();
    QCOMPARE(shot.pixel(0, 10), Pattern().toImage().pixel(0, 0));
    QCOMPARE(shot.pixel(4, 11), Pattern().toImage().pixel(1, 1));
    QVERIFY(shot.pixel(0, 9) != Pattern().toImage().pixel(0, 1));  // nothing drawn under the menu

    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(empty.path() + "/guim.bmp", "BMP"));
    QCOMPARE(dialog.LoadSkin(skin::Main).pixel(3, 3), qRgb(255, 0, 0));
}

void SkinTest::skinIsCompleteWithKeyColoursWhereNeeded() {
    const std::vector<SkinPicture> pictures = DrawSkin();
    QCOMPARE(pictures.size(), std::size_t{32});
    auto find = [&](const QString& name) {
        for (const SkinPicture& picture : pictures) {
            if (picture.name == name) {
                return picture.image;
            }
        }
        return QImage();
    };
    QCOMPARE(find(skin::Main).size(), PageClientSize);
    QCOMPARE(find(skin::Page).size(), PageClientSize);
    // Button corners carry their key colours so the face shows through.
    QCOMPARE(find(skin::ToolHelp).pixel(0, 0) & RGB_MASK, ToolbarKeyColour.rgb() & RGB_MASK);
    QCOMPARE(find(skin::ToolHelpHover).pixel(0, 0) & RGB_MASK, HoverKeyColour.rgb() & RGB_MASK);
    QCOMPARE(find(skin::Recovery).pixel(0, 0) & RGB_MASK, LargeButtonKeyColour.rgb() & RGB_MASK);
    // The splash has a key-colour border and an opaque middle.
    const QImage splash = find(skin::Splash);
    const QRegion shape = KeyColourRegion(splash, SplashKeyColour);
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(shape.contains(QPoint(splash.width() / 2, splash.height() / 2)));
    // A drawing never contains its own key colour inside (no holes in the icons).
    QImage drawing(2, 1, QImage::Format_ARGB32);
    drawing.setPixel(0, 0, qRgba(0, 0, 0, 0));
    drawing.setPixel(1, 0, ToolbarKeyColour.rgb());
    const QImage keyed = art::Keyed(drawing, colours::Face, ToolbarKeyColour);
    QCOMPARE(keyed.pixel(0, 0) & RGB_MASK, ToolbarKeyColour.rgb() & RGB_MASK);
    QVERIFY((keyed.pixel(1, 0) & RGB_MASK) != (ToolbarKeyColour.rgb() & RGB_MASK));
}

void SkinTest::grownWindowsMoveAndGrowTheirAnchoredControls() {
    CBDialog dialog(QString{});
    dialog.SetGrowableClientSize({200, 100});
    QCOMPARE(dialog.size(), QSize(200, 100));
    QCOMPARE(dialog.minimumSize(), QSize(200, 100));
    const struct {
        const char* name;
        CBDialog::Growth growth;
        QRect grownBy100x50;
    } cases[] = {
        {"stays", {0, 0, 0, 0}, {10, 10, 30, 20}},
        {"takes all", {0, 0, 1, 1}, {10, 10, 130, 70}},
        {"corner", {1, 1, 0, 0}, {110, 60, 30, 20}},
        {"lower half", {0.5, 0.5, 0.5, 0.5}, {60, 35, 80, 45}},
    };
    std::vector<QWidget*> children;
    for (const auto& c : cases) {
        auto* child = new QWidget(&dialog);
        child->setGeometry(10, 10, 30, 20);
        dialog.Anchor(child, c.growth);
        children.push_back(child);
    }
    dialog.show();
    dialog.resize(300, 150);
    for (std::size_t i = 0; i < children.size(); ++i) QCOMPARE(children[i]->geometry(), cases[i].grownBy100x50);
    // Back at its smallest, everything is where it was placed.
    dialog.resize(200, 100);
    for (QWidget* child : children) QCOMPARE(child->geometry(), QRect(10, 10, 30, 20));

    // Grown, the background keeps its top band and its right part at their sizes.
    const QPixmap picture = Pattern();  // 3 x 2: the top band is row 0, the left third column 0
    const QImage grown = Paint({7, 5}, picture, BackgroundMode::Grow);
    const QImage source = picture.toImage();
    QCOMPARE(grown.pixel(0, 0), source.pixel(0, 0));
    QCOMPARE(grown.pixel(6, 0), source.pixel(2, 0));  // the right column keeps its place at the right edge
    QCOMPARE(grown.pixel(6, 4), source.pixel(2, 1));
    QCOMPARE(grown.pixel(3, 0), source.pixel(1, 0));  // the middle is the stretched middle
    QCOMPARE(grown.pixel(3, 4), source.pixel(1, 1));
    QCOMPARE(Paint({3, 2}, picture, BackgroundMode::Grow), Paint({3, 2}, picture, BackgroundMode::Tile));
}

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
