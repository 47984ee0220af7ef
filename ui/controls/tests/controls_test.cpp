// Widget tests of the picture button, the transparent label, the editable list
// and the check-box tree, on the offscreen platform.
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include "ui/controls/CButtonST.h"
#include "ui/controls/CFolderTreeCtrl.h"
#include "ui/controls/CListCtrlEx.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/key_colour.h"
#include "ui/controls/row_ticking.h"

using namespace zt::ui;

namespace {

QImage Filled(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void Hover(QWidget& widget, bool in) {
    if (in) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&widget, &leave);
    }
}

QPoint CellCentre(CListCtrlEx& list, int row, int column) {
    return list.visualRect(list.model()->index(row, column)).center();
}

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void keyColourRegionFollowsRuns();
    void buttonShowsHoverPictureAndKeyColours();
    void disabledButtonDrawsGreyPicture();
    void transparentLabelRepaintsBackgroundOnTextChange();
    void listEditCommitsOnEnterAndFocusLoss();
    void listEditCancelsOnEscape();
    void listDoubleClickOnReadOnlyColumnsBeginsNoEdit();
    void listEndHandlerDecidesAndTabMoves();
    void listHeaderClickSortsAndToggles();
    void treeTickSpreadsDownAndUp();
    void treeIgnoresSpaceAndClicksDuringScan();
    void rowsTickBySpaceAndTheAccessibleToggle();
    void rowSelectedThroughTheBusBecomesCurrent();
    void listEditsOnASingleClickWhereSet();
};

void ControlsTest::keyColourRegionFollowsRuns() {
    QImage image = Filled({6, 3}, SplashKeyColour);
    image.setPixelColor(1, 0, Qt::black);
    image.setPixelColor(2, 0, Qt::black);
    image.setPixelColor(4, 0, Qt::black);
    image.setPixelColor(5, 2, Qt::blue);
    const QRegion region = KeyColourRegion(image, SplashKeyColour);
    QCOMPARE(region, QRegion(QRect(1, 0, 2, 1)) + QRect(4, 0, 1, 1) + QRect(5, 2, 1, 1));
    // Without the key colour the whole rectangle belongs to the window.
    QCOMPARE(KeyColourRegion(Filled({6, 3}, Qt::white), SplashKeyColour), QRegion(0, 0, 6, 3));
}

void ControlsTest::buttonShowsHoverPictureAndKeyColours() {
    QImage normal = Filled({10, 10}, Qt::red);
    normal.setPixelColor(0, 0, ToolbarKeyColour);
    QImage hover = Filled({10, 10}, Qt::green);
    hover.setPixelColor(0, 0, ToolbarKeyColour);  // only the hover key colour is left out of a hover picture
    hover.setPixelColor(1, 0, HoverKeyColour);

    CButtonST button;
    button.resize(20, 20);
    QPalette palette = button.palette();
    palette.setColor(QPalette::Button, QColor(200, 210, 220));
    button.setPalette(palette);
    button.SetBitmaps(normal, ToolbarKeyColour, hover, HoverKeyColour);

    QImage shot = button.grab().toImage();
    QCOMPARE(shot.pixelColor(5, 5), QColor(200, 210, 220));  // key pixel shows the face
    QCOMPARE(shot.pixelColor(6, 5), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(0, 0), QColor(200, 210, 220));  // no border while idle

    Hover(button, true);
    QVERIFY(button.IsHovered());
    shot = button.grab().toImage();
    QCOMPARE(shot.pixelColor(5, 5), ToolbarKeyColour);
    QCOMPARE(shot.pixelColor(6, 5), QColor(200, 210, 220));
    QCOMPARE(shot.pixelColor(7, 6), QColor(Qt::green));
    QCOMPARE(shot.pixel(0, 0), palette.color(QPalette::Light).rgb());  // raised edge

    button.setDown(true);
    shot = button.grab().toImage();
    QCOMPARE(shot.pixel(0, 0), palette.color(QPalette::Dark).rgb());  // sunken edge
    QCOMPARE(shot.pixelColor(8, 7), QColor(Qt::green));
    button.setDown(false);

    Hover(button, false);
    QVERIFY(!button.IsHovered());
    QCOMPARE(button.grab().toImage().pixelColor(6, 5), QColor(Qt::red));

    // Without a normal picture the hover picture stands in.
    button.SetBitmaps(QImage(), ToolbarKeyColour, hover, HoverKeyColour);
    QCOMPARE(button.grab().toImage().pixelColor(7, 6), QColor(Qt::green));
    button.SetTooltipText("Help");
    QCOMPARE(button.toolTip(), QString("Help"));
}

void ControlsTest::disabledButtonDrawsGreyPicture() {
    CButtonST button;
    button.resize(20, 20);
    button.SetBitmaps(Filled({10, 10}, Qt::red), ToolbarKeyColour, QImage(), HoverKeyColour);
    button.setEnabled(false);
    const QColor pixel = button.grab().toImage().pixelColor(8, 8);
    QCOMPARE(pixel.red(), pixel.green());
    QCOMPARE(pixel.green(), pixel.blue());
    // A button without pictures still works.
    CButtonST bare;
    int clicks = 0;
    QObject::connect(&bare, &QAbstractButton::clicked, [&] { ++clicks; });
    bare.resize(20, 20);
    bare.show();
    QTest::mouseClick(&bare, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

void ControlsTest::transparentLabelRepaintsBackgroundOnTextChange() {
    // A parent that paints a blue background, as a skinned dialog does.
    class Backdrop : public QWidget {
    protected:
        void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::blue); }
    } parent;
    parent.resize(200, 60);
    auto* label = new CTransparentStatic(QString(40, QChar('W')), &parent);
    label->setGeometry(0, 0, 200, 60);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QImage before = parent.grab().toImage();
    int ink = 0;
    for (int x = 0; x < 200; ++x) {
        ink += before.pixelColor(x, 30) != QColor(Qt::blue) ? 1 : 0;
    }
    QVERIFY(ink > 0);  // glyphs over the background, and no fill of its own
    QCOMPARE(before.pixelColor(199, 0), QColor(Qt::blue));

    label->SetText(QString());
    const QImage after = parent.grab().toImage();
    for (int x = 0; x < 200; ++x) {
        QCOMPARE(after.pixelColor(x, 30), QColor(Qt::blue));
    }
}

class ListFixture {
public:
    ListFixture() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(&list);
        layout->addWidget(other);
        list.setColumnCount(3);
        list.setHeaderLabels({"File Type", "Description", "Maximum Size (in KB)"});
        list.Column(0).readOnly = true;
        list.Column(1).readOnly = true;
        editor = MakeDigitsEditor(&list);
        list.Column(2).editor = editor;
        list.AppendRow({"JPEG", "JPEG picture", "2000"});
        list.AppendRow({"PNG", "PNG picture", "2000"});
        list.AppendRow({"GIF", "GIF picture", "2000"});
        window.resize(500, 300);
        window.show();
        window.activateWindow();
        QVERIFY2(QTest::qWaitForWindowActive(&window), "list window did not become active");
    }

    void DoubleClick(int row, int column) {
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, CellCentre(list, row, column));
    }

    QWidget window;
    CListCtrlEx list;
    QLineEdit* other = new QLineEdit;
    QLineEdit* editor = nullptr;
};

void ControlsTest::listEditCommitsOnEnterAndFocusLoss() {
    ListFixture f;
    f.DoubleClick(1, 2);
    QVERIFY(f.list.IsEditing());
    QVERIFY(f.editor->isVisible());
    QCOMPARE(f.editor->text(), QString("2000"));
    QVERIFY(f.list.viewport()->rect().contains(f.editor->geometry()));
    f.editor->clear();
    QTest::keyClicks(f.editor, "12ab5");  // letters are refused by the editor
    QTest::keyClick(f.editor, Qt::Key_Return);
    QVERIFY(!f.list.IsEditing());
    QVERIFY(!f.editor->isVisible());
    QCOMPARE(f.list.CellText(1, 2), QString("125"));

    f.DoubleClick(2, 2);
    QVERIFY(f.list.IsEditing());
    f.editor->setText("77");
    f.other->setFocus();  // the focus leaves the list
    QVERIFY(!f.list.IsEditing());
    QCOMPARE(f.list.CellText(2, 2), QString("77"));
    QVERIFY(f.other->hasFocus());  // and stays where the user put it
}

void ControlsTest::listEditCancelsOnEscape() {
    ListFixture f;
    f.DoubleClick(0, 2);
    QVERIFY(f.list.IsEditing());
    f.editor->setText("9999");
    QTest::keyClick(f.editor, Qt::Key_Escape);
    QVERIFY(!f.list.IsEditing());
    QCOMPARE(f.list.CellText(0, 2), QString("2000"));
    QVERIFY(f.window.isVisible());  // Esc went to the editor, not to the window
}

void ControlsTest::listDoubleClickOnReadOnlyColumnsBeginsNoEdit() {
    ListFixture f;
    f.DoubleClick(0, 0);
    QVERIFY(!f.list.IsEditing());
    f.DoubleClick(0, 1);
    QVERIFY(!f.list.IsEditing());
    QVERIFY(!f.list.BeginEdit(7, 2));  // no such row
    QVERIFY(!f.editor->isVisible());
}

void ControlsTest::listEndHandlerDecidesAndTabMoves() {
    ListFixture f;
    QList<bool> commits;
    f.list.Column(2).endEdit = [&](QWidget* editor, int, int, QString& text, quintptr, bool commit) {
        commits << commit;
        const QString typed = static_cast<QLineEdit*>(editor)->text();
        if (typed.isEmpty()) {
            return int(EndEditDiscard);
        }
        text = typed + " KB";
        return int(commit ? EndEditKeep : EndEditDiscard);
    };
    QVERIFY(f.list.BeginEdit(0, 2));
    f.editor->setText("5");
    QTest::keyClick(f.editor, Qt::Key_Tab);
    QCOMPARE(f.list.CellText(0, 2), QString("5 KB"));
    QVERIFY(f.list.IsEditing());
    QCOMPARE(f.list.EditRow(), 1);  // the next editable cell is on the next row
    f.editor->clear();
    QTest::keyClick(f.editor, Qt::Key_Return);
    QCOMPARE(f.list.CellText(1, 2), QString("2000"));  // the handler discarded the empty text
    QCOMPARE(commits, (QList<bool>{true, true}));

    // Tab past the last editable cell ends the edit and adds nothing.
    QVERIFY(f.list.BeginEdit(2, 2));
    f.editor->setText("8");
    QTest::keyClick(f.editor, Qt::Key_Tab);
    QVERIFY(!f.list.IsEditing());
    QCOMPARE(f.list.topLevelItemCount(), 3);
    QCOMPARE(f.list.CellText(2, 2), QString("8 KB"));
}

void ControlsTest::listHeaderClickSortsAndToggles() {
    ListFixture f;
    f.list.Column(0).sortable = true;
    f.list.Column(2).sortable = true;
    f.list.Column(2).compare = [](const QString& a, const QString& b) { return a.toInt() - b.toInt(); };
    f.list.SetCellText(0, 2, "30");
    f.list.SetCellText(1, 2, "100");
    f.list.SetCellText(2, 2, "4");
    auto* header = f.list.header();
    auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    click(2);
    QCOMPARE(f.list.CellText(0, 2), QString("4"));  // numeric, not text order
    QCOMPARE(f.list.CellText(2, 2), QString("100"));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(2);
    QCOMPARE(f.list.CellText(0, 2), QString("100"));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(1);  // not sortable: nothing moves
    QCOMPARE(f.list.CellText(0, 2), QString("100"));
    QCOMPARE(header->sortIndicatorSection(), 2);
    click(0);
    QCOMPARE(f.list.CellText(0, 0), QString("GIF"));
    QCOMPARE(f.list.CellText(2, 0), QString("PNG"));
}

class TreeFixture {
public:
    TreeFixture() {
        root = tree.AddItem(nullptr, "Root");
        jpeg = tree.AddItem(root, "JPEG");
        a = tree.AddItem(jpeg, "File1.jpg");
        b = tree.AddItem(jpeg, "File2.jpg");
        png = tree.AddItem(root, "PNG");
        c = tree.AddItem(png, "File3.png");
        tree.expandAll();
        tree.resize(300, 300);
        tree.show();
        QObject::connect(&tree, &CFolderTreeCtrl::CheckToggled, [this](QTreeWidgetItem* item, int state) {
            toggles.append({item, state});
        });
    }

    void ClickBox(QTreeWidgetItem* item) {
        // The check box sits at the left of the item's text rectangle.
        const QRect rect = tree.visualItemRect(item);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 8, rect.center().y()));
    }

    CFolderTreeCtrl tree;
    QTreeWidgetItem *root, *jpeg, *a, *b, *png, *c;
    QList<QPair<QTreeWidgetItem*, int>> toggles;
};

void ControlsTest::treeTickSpreadsDownAndUp() {
    TreeFixture f;
    f.ClickBox(f.a);
    QVERIFY(CFolderTreeCtrl::IsTicked(f.a));
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.jpeg));  // File2 is still unticked
    QVERIFY(CFolderTreeCtrl::IsBold(f.jpeg));
    QVERIFY(CFolderTreeCtrl::IsBold(f.root));
    QVERIFY(!CFolderTreeCtrl::IsBold(f.png));

    // A parent whose children are partly ticked: one click ticks it and all below.
    f.ClickBox(f.jpeg);
    QVERIFY(CFolderTreeCtrl::IsTicked(f.a) && CFolderTreeCtrl::IsTicked(f.b));
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.root));
    f.ClickBox(f.c);
    QVERIFY(CFolderTreeCtrl::IsTicked(f.png));
    QVERIFY(CFolderTreeCtrl::IsTicked(f.root));  // every child of the root is ticked now

    // Clicking it again clears the whole branch and the ancestors.
    f.ClickBox(f.jpeg);
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.a) && !CFolderTreeCtrl::IsTicked(f.b));
    QVERIFY(!CFolderTreeCtrl::IsBold(f.jpeg));
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.root));
    QVERIFY(CFolderTreeCtrl::IsBold(f.root));  // PNG below it is still ticked
    QCOMPARE(f.toggles.size(), 4);
    QCOMPARE(f.toggles.last(), qMakePair(f.jpeg, 0));
    QCOMPARE(f.tree.currentItem(), f.jpeg);

    // A click on the label only selects.
    const QRect label = f.tree.visualItemRect(f.b);
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, {}, QPoint(label.center().x() + 20, label.center().y()));
    QCOMPARE(f.tree.currentItem(), f.b);
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.b));
}

void ControlsTest::treeIgnoresSpaceAndClicksDuringScan() {
    TreeFixture f;
    bool scanning = true;
    f.tree.SetScanRunningProbe([&] { return scanning; });
    f.tree.setCurrentItem(f.a);
    f.tree.setFocus();
    QTest::keyClick(&f.tree, Qt::Key_Space);
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.a));

    f.ClickBox(f.b);
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.b));
    QVERIFY(f.toggles.isEmpty());
    scanning = false;
    f.ClickBox(f.b);
    QVERIFY(CFolderTreeCtrl::IsTicked(f.b));
}

namespace {

// The cell at a row and column as assistive technology reaches it.
QAccessibleInterface* BusCell(QAbstractItemView& view, int row, int column) {
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view);
    return table != nullptr && table->tableInterface() != nullptr ? table->tableInterface()->cellAt(row, column)
                                                                  : nullptr;
}

bool BusToggle(QAbstractItemView& view, int row, int column) {
    QAccessibleInterface* cell = BusCell(view, row, column);
    if (cell == nullptr || cell->actionInterface() == nullptr) return false;
    if (!cell->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction())) return false;
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    // The tick comes after the bus's call has been answered.
    QCoreApplication::processEvents();
    return true;
}

}  // namespace

void ControlsTest::rowsTickBySpaceAndTheAccessibleToggle() {
    // The tree counts its visible rows from the top: Root 0, JPEG 1, File1 2,
    // File2 3, PNG 4, File3 5. The list's first column holds the check box.
    enum class By { Space, Toggle };
    struct Case {
        const char* name;
        bool tree;
        By by;
        int row;
        int column;
        // What was ticked afterwards, by row; the tree's spread included.
        QList<int> ticked;
    };
    const Case cases[] = {
        {"Space on a tree file", true, By::Space, 2, 0, {2}},
        {"Space on a type node ticks its branch", true, By::Space, 1, 0, {1, 2, 3}},
        {"Toggle on a tree file", true, By::Toggle, 3, 0, {3}},
        {"Toggle on the root ticks everything", true, By::Toggle, 0, 0, {0, 1, 2, 3, 4, 5}},
        {"Space on a list row", false, By::Space, 1, 0, {1}},
        {"Toggle on a list row's size cell", false, By::Toggle, 2, 2, {2}},
        {"Toggle on a list row without a box selects only", false, By::Toggle, 0, 1, {}},
    };
    for (const Case& c : cases) {
        TreeFixture tree;
        ListFixture list;
        for (int row = 1; row < 3; ++row) {
            QTreeWidgetItem* item = list.list.topLevelItem(row);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
        }
        QAbstractItemView& view = c.tree ? static_cast<QAbstractItemView&>(tree.tree) : list.list;
        const QModelIndex index = RowAtAccessibleRow(&view, c.row).siblingAtColumn(c.column);
        QVERIFY2(index.isValid(), c.name);
        if (c.by == By::Space) {
            view.setCurrentIndex(index);
            view.setFocus();
            QTest::keyClick(&view, Qt::Key_Space);
        } else {
            QVERIFY2(BusToggle(view, c.row, c.column), c.name);
        }
        QList<int> ticked;
        for (int row = 0; RowAtAccessibleRow(&view, row).isValid(); ++row) {
            if (RowAtAccessibleRow(&view, row).data(Qt::CheckStateRole).toInt() == Qt::Checked) ticked << row;
        }
        QCOMPARE(ticked, c.ticked);
        if (c.tree) QCOMPARE(tree.toggles.size(), 1);
        // Space and Toggle again take the tick away.
        if (!c.ticked.isEmpty()) {
            if (c.by == By::Space) {
                QTest::keyClick(&view, Qt::Key_Space);
            } else {
                BusToggle(view, c.row, c.column);
            }
            QVERIFY2(RowAtAccessibleRow(&view, c.row).data(Qt::CheckStateRole).toInt() == Qt::Unchecked, c.name);
        }
    }
}

void ControlsTest::rowSelectedThroughTheBusBecomesCurrent() {
    TreeFixture f;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&f.tree);
    QVERIFY(table != nullptr && table->tableInterface() != nullptr);
    // Qt's own cells stand behind the program's: names and states are theirs.
    QAccessibleInterface* cell = BusCell(f.tree, 4, 0);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->text(QAccessible::Name), QString("PNG"));
    QVERIFY(cell->state().checkable);
    QVERIFY(table->indexOfChild(cell) >= 0);
    QList<QTreeWidgetItem*> current;
    QObject::connect(&f.tree, &QTreeWidget::currentItemChanged,
                     [&](QTreeWidgetItem* item, QTreeWidgetItem*) { current << item; });
    QVERIFY(table->tableInterface()->selectRow(4));
    QTRY_COMPARE(f.tree.currentItem(), f.png);
    QCOMPARE(current, QList<QTreeWidgetItem*>{f.png});
    QVERIFY(!CFolderTreeCtrl::IsTicked(f.png));  // selecting is not ticking
    // The view's own moves are left alone.
    f.tree.setCurrentItem(f.c);
    QCoreApplication::processEvents();
    QCOMPARE(f.tree.currentItem(), f.c);
}

void ControlsTest::listEditsOnASingleClickWhereSet() {
    ListFixture f;
    QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, CellCentre(f.list, 1, 2));
    QVERIFY(!f.list.IsEditing());  // by default a double click edits
    f.list.SetEditOnClick(true);
    QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, CellCentre(f.list, 0, 0));
    QVERIFY(!f.list.IsEditing());  // read-only cells stay so
    QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, CellCentre(f.list, 1, 2));
    QVERIFY(f.list.IsEditing());
    QCOMPARE(f.list.EditRow(), 1);
    QTest::keyClicks(f.editor, "7");
    // A click on another size ends the edit (kept) and begins that one.
    QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, CellCentre(f.list, 2, 2));
    QCOMPARE(f.list.CellText(1, 2), QString("7"));
    QVERIFY(f.list.IsEditing());
    QCOMPARE(f.list.EditRow(), 2);
}

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
