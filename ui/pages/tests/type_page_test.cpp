// The type page: the select-all rule, Toggle, the size editor, Next's log
// entries and size rule, the scan page's hand-over and Back.
#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <map>

#include "ui/base/testing/accessible_names.h"
#include "ui/controls/CListCtrlEx.h"
#include "ui/pages/CExtensionInfoDlg.h"
#include "ui/pages/tests/page_fixture.h"

using namespace zt;
using namespace zt::ui;
using namespace zt::ui::testing;

namespace {

// Stands in for the scan page: records the type list it was opened with.
class ScanStandIn : public QDialog {
public:
    ScanStandIn(TypeDefinitionList& types, QList<TypeDefinitionList>& seen) : m_types(types), m_seen(seen) {}

protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        QTimer::singleShot(0, this, [this] {
            m_seen << m_types;
            done(static_cast<int>(PageResult::Back));
        });
    }

private:
    TypeDefinitionList& m_types;
    QList<TypeDefinitionList>& m_seen;
};

int RowOf(const CExtensionInfoDlg& page, const QString& fileType) {
    for (int row = 0; row < page.TypeList()->topLevelItemCount(); ++row) {
        if (page.TypeList()->CellText(row, CExtensionInfoDlg::FileTypeColumn) == fileType) return row;
    }
    return -1;
}

}  // namespace

class TypePageTest : public QObject {
    Q_OBJECT

private slots:
    void opensWithTheCatalogueUnticked();
    void selectAllFollowsTheRowsAndToggleInverts();
    void sizeEditorOpensOnSizeCellsOnly();
    void typesTickByKeyboardAndAccessibilityBus();
    void nextWithSelectAllLogsAllExtensionsAndKeepsTicksAfterTheScanPage();
    void sizesOutsideTheLimitsBecomeTheDefault();
    void divxAloneOpensTheScanPageWithAnEmptyList();
    void nothingTickedIsRefusedAfterTheHeading();
    void withoutScanPageNextSaysSo();
    void backEmptiesTheTypeList();
    void extendedSignaturesAddTheirRowsAndReachTheScan();
    void theFileSystemBoxIsOffAndItsStateReachesEachScan();
};

void TypePageTest::opensWithTheCatalogueUnticked() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    ZT_VERIFY_ACCESSIBLE_NAMES(&page);
    CListCtrlEx* list = page.TypeList();
    // Extended signatures are the default: every row, with the sizes that apply to them.
    QVERIFY(page.ExtendedBox()->isChecked());
    QCOMPARE(list->topLevelItemCount(), kExtendedCatalogueRowCount);
    const std::map<QString, QString> extendedSizes{
        {"JPEG", "262144"}, {"CR2", "262144"}, {"HEIC", "262144"}, {"PSD", "262144"},
        {"MP4", "4194304"}, {"MP3", "4194304"}, {"MTS", "4194304"}, {"FLAC", "4194304"}};
    for (const auto& [type, size] : extendedSizes) QCOMPARE(list->CellText(RowOf(page, type), 2), size);
    for (int row = 0; row < list->topLevelItemCount(); ++row) QVERIFY(!page.IsTicked(row));
    // Unticked, the page is the standard one.
    page.ExtendedBox()->click();
    QCOMPARE(list->topLevelItemCount(), kCatalogueRowCount);
    QCOMPARE(list->headerItem()->text(2), QString("Maximum Size (in KB)"));
    QCOMPARE(list->columnWidth(0), 130);
    QCOMPARE(list->columnWidth(1), 190);
    QCOMPARE(list->columnWidth(2), 160);
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QCOMPARE(list->CellText(row, 2), QString("2000"));
        QVERIFY(!page.IsTicked(row));
    }
    QCOMPARE(list->CellText(0, 0), QString::fromUtf8(CatalogueRows()[0].fileType.data()));
    QVERIFY(!page.SelectAllBox()->isChecked());
    QCOMPARE(page.NextButton()->accessibleName(), QString("Next"));
    QCOMPARE(page.BackButton()->accessibleName(), QString("Back"));
    QCOMPARE(page.ToggleButton()->accessibleName(), QString("Toggle"));
    QVERIFY(!page.Command(IdRecoverSelected)->isEnabled());
}

void TypePageTest::selectAllFollowsTheRowsAndToggleInverts() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    const int rows = page.TypeList()->topLevelItemCount();
    for (int row = 0; row < rows; ++row) page.SetTicked(row, true);
    QVERIFY(page.SelectAllBox()->isChecked());
    page.SetTicked(7, false);
    QVERIFY(!page.SelectAllBox()->isChecked());

    page.SelectAll(false);
    for (int row = 0; row < 5; ++row) page.SetTicked(row, true);
    QTest::mouseClick(page.ToggleButton(), Qt::LeftButton);
    for (int row = 0; row < rows; ++row) QCOMPARE(page.IsTicked(row), row >= 5);
    QVERIFY(!page.SelectAllBox()->isChecked());

    // The box itself ticks and unticks every row; Toggle of a full list empties it.
    page.SelectAllBox()->click();
    for (int row = 0; row < rows; ++row) QVERIFY(page.IsTicked(row));
    QVERIFY(page.SelectAllBox()->isChecked());
    page.Toggle();
    for (int row = 0; row < rows; ++row) QVERIFY(!page.IsTicked(row));
    QVERIFY(!page.SelectAllBox()->isChecked());
    page.Toggle();
    QVERIFY(page.SelectAllBox()->isChecked());
}

void TypePageTest::sizeEditorOpensOnSizeCellsOnly() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CListCtrlEx* list = page.TypeList();
    auto cellCentre = [list](int row, int column) {
        return list->visualRect(list->model()->index(row, column)).center();
    };
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cellCentre(1, 0));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cellCentre(1, 1));
    QVERIFY(!list->IsEditing());

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cellCentre(1, 2));
    QVERIFY(list->IsEditing());
    QLineEdit* editor = page.SizeEditor();
    QCOMPARE(editor->text(), QString("2000"));
    editor->selectAll();
    QTest::keyClicks(editor, "12a3-4");  // only the digits are taken
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(!list->IsEditing());
    QCOMPARE(list->CellText(1, 2), QString("1234"));

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cellCentre(1, 2));
    QTest::keyClicks(editor, "99");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(list->CellText(1, 2), QString("1234"));
}

void TypePageTest::typesTickByKeyboardAndAccessibilityBus() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CListCtrlEx* list = page.TypeList();
    const int rows = list->topLevelItemCount();
    auto busAction = [](QObject* object, const QString& action) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
        QVERIFY(iface != nullptr && iface->actionInterface() != nullptr);
        QVERIFY(iface->actionInterface()->actionNames().contains(action));
        iface->actionInterface()->doAction(action);
        QCoreApplication::processEvents();
    };
    auto cellToggle = [list](int row, int column) {
        QAccessibleInterface* cell =
            QAccessible::queryAccessibleInterface(list)->tableInterface()->cellAt(row, column);
        QVERIFY(cell != nullptr && cell->state().checkable);
        cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCoreApplication::processEvents();
    };
    auto ticked = [&page, rows] {
        QList<int> on;
        for (int row = 0; row < rows; ++row) {
            if (page.IsTicked(row)) on << row;
        }
        return on;
    };

    // Space ticks and unticks the current row, whichever cell is current.
    list->setFocus();
    list->setCurrentIndex(list->model()->index(3, CExtensionInfoDlg::DescriptionColumn));
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(ticked(), QList<int>{3});
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(ticked(), (QList<int>{3, 4}));
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(ticked(), QList<int>{3});
    QVERIFY(!list->IsEditing());

    // The bus's Toggle on any cell of a row ticks it; the size stays as it was.
    const QString sizeBefore = list->CellText(5, CExtensionInfoDlg::SizeColumn);
    QVERIFY(!sizeBefore.isEmpty());
    cellToggle(5, CExtensionInfoDlg::SizeColumn);
    QCOMPARE(ticked(), (QList<int>{3, 5}));
    QCOMPARE(list->CellText(5, CExtensionInfoDlg::SizeColumn), sizeBefore);

    // "Select All": the bus's Toggle acts as a click does, both ways.
    const QString toggle = QAccessibleActionInterface::toggleAction();
    const struct {
        bool byBus;
        bool all;
    } steps[] = {{true, true}, {true, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& step : steps) {
        if (step.byBus) {
            busAction(page.SelectAllBox(), toggle);
        } else {
            page.SelectAllBox()->click();
        }
        QCOMPARE(page.SelectAllBox()->isChecked(), step.all);
        QCOMPARE(ticked().size(), step.all ? rows : 0);
    }
    // Unticking one row through the bus leaves the others and clears the box.
    cellToggle(0, CExtensionInfoDlg::FileTypeColumn);
    QCOMPARE(ticked().size(), rows - 1);
    QVERIFY(!page.SelectAllBox()->isChecked());
}

void TypePageTest::nextWithSelectAllLogsAllExtensionsAndKeepsTicksAfterTheScanPage() {
    PageRig rig;
    QList<TypeDefinitionList> seen;
    TypeDefinitionList& types = rig.session().Types();
    rig.context.makeScanPage = [&](QWidget*) { return std::make_unique<ScanStandIn>(types, seen); };
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    page.TypeList()->SetCellText(3, 2, "500");
    page.SelectAllBox()->click();
    page.PressNext();

    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].size(), std::size_t{40});  // DIVX has no scan definition
    QCOMPARE(seen[0][3].maxSizeBytes, 500 * 1024);
    QCOMPARE(rig.ActivityLog(), LogEntries({"\r\nSelected Extensions Information : ", "All Extensions"}));
    // Back from the scan page: the list is empty, the ticks and sizes are as they were.
    QVERIFY(types.empty());
    QVERIFY(page.SelectAllBox()->isChecked());
    QCOMPARE(page.TypeList()->CellText(3, 2), QString("500"));
    QCOMPARE(page.windowTitle(), QString("Zentrix for Pictora"));
}

void TypePageTest::sizesOutsideTheLimitsBecomeTheDefault() {
    PageRig rig;
    QList<TypeDefinitionList> seen;
    rig.context.makeScanPage = [&](QWidget*) { return std::make_unique<ScanStandIn>(rig.session().Types(), seen); };
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    const QStringList sizes{"250000", "250001", "1", "2", "", "0099"};
    for (int row = 0; row < sizes.size(); ++row) {
        page.TypeList()->SetCellText(row, 2, sizes[row]);
        page.SetTicked(row, true);
    }
    page.PressNext();

    QCOMPARE(seen.size(), 1);
    const TypeDefinitionList& types = seen[0];
    QCOMPARE(types.size(), std::size_t(sizes.size()));
    const QList<int> kilobytes{250000, 2000, 2000, 2, 2000, 99};
    const QStringList shown{"250000", "2000", "2000", "2", "2000", "0099"};
    for (int row = 0; row < sizes.size(); ++row) {
        QCOMPARE(types[std::size_t(row)].maxSizeBytes, kilobytes[row] * 1024);
        QCOMPARE(page.TypeList()->CellText(row, 2), shown[row]);
    }
    QStringList expected{"\r\nSelected Extensions Information : "};
    for (int row = 0; row < sizes.size(); ++row) expected << page.TypeList()->CellText(row, 0);
    QCOMPARE(rig.ActivityLog(), LogEntries(expected));
}

void TypePageTest::divxAloneOpensTheScanPageWithAnEmptyList() {
    PageRig rig;
    QList<TypeDefinitionList> seen;
    rig.context.makeScanPage = [&](QWidget*) { return std::make_unique<ScanStandIn>(rig.session().Types(), seen); };
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    const int divx = RowOf(page, "DIVX");
    QVERIFY(divx >= 0);
    page.SetTicked(divx, true);
    page.PressNext();
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen[0].empty());
    QCOMPARE(rig.ActivityLog(), LogEntries({"\r\nSelected Extensions Information : ", "DIVX"}));
}

void TypePageTest::nothingTickedIsRefusedAfterTheHeading() {
    PageRig rig;
    int opened = 0;
    rig.context.makeScanPage = [&](QWidget*) {
        ++opened;
        return std::make_unique<QDialog>();
    };
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    ScriptedBoxes boxes;
    page.PressNext();
    QCOMPARE(boxes.Texts(), QStringList{"Select the Extention"});
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Error);
    QCOMPARE(boxes.asked[0].caption, QString("Zentrix for Pictora"));
    QCOMPARE(opened, 0);
    QCOMPARE(rig.ActivityLog(), LogEntries({"\r\nSelected Extensions Information : "}));
}

void TypePageTest::withoutScanPageNextSaysSo() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    page.SetTicked(0, true);
    ScriptedBoxes boxes;
    page.PressNext();
    QCOMPARE(boxes.asked.size(), 1);
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Information);
    QVERIFY(rig.session().Types().empty());
}

void TypePageTest::backEmptiesTheTypeList() {
    PageRig rig;
    CExtensionInfoDlg page(rig.context);
    page.ExtendedBox()->setChecked(false);  // the standard scan
    rig.session().Types().resize(3);
    QTimer::singleShot(0, &page, [&page] { QTest::mouseClick(page.BackButton(), Qt::LeftButton); });
    QCOMPARE(page.exec(), static_cast<int>(PageResult::Back));
    QVERIFY(rig.session().Types().empty());
    QCOMPARE(rig.terminations, 0);
}

void TypePageTest::extendedSignaturesAddTheirRowsAndReachTheScan() {
    PageRig rig;
    QList<TypeDefinitionList> seen;
    QList<SignatureMode> modes;
    rig.context.makeScanPage = [&](QWidget*) {
        modes << rig.session().Signatures();
        return std::make_unique<ScanStandIn>(rig.session().Types(), seen);
    };
    CExtensionInfoDlg page(rig.context);
    QCheckBox* box = page.ExtendedBox();
    QVERIFY(box->isChecked());
    // Unticked first, with an edited size that stays whatever the mode.
    box->click();
    page.TypeList()->SetCellText(RowOf(page, "MOV"), 2, "7000");
    QCOMPARE(box->accessibleName(), box->text());
    QCOMPARE(box->text(), QString("Extended signatures (finds more formats and exact file ends)"));
    QVERIFY(page.OptionsArea().contains(box->geometry().topLeft()));

    // On with every type chosen: the added rows come chosen, and Next hands
    // the extended choice and their definitions to the scan.
    page.SelectAllBox()->click();
    box->click();
    QCOMPARE(page.TypeList()->topLevelItemCount(), kExtendedCatalogueRowCount);
    const int heic = RowOf(page, "HEIC");
    QCOMPARE(heic, kCatalogueRowCount);
    QVERIFY(page.IsTicked(heic));
    QVERIFY(page.SelectAllBox()->isChecked());
    page.PressNext();
    QCOMPARE(modes, QList<SignatureMode>{SignatureMode::Extended});
    QCOMPARE(seen[0].size(), std::size_t{50});  // DIVX still has none
    // The sizes that apply with extended signatures, except the one the user set.
    for (const stExtInfo& d : seen[0]) {
        const std::int64_t kb = d.Name() == "MOV" ? 7000 : d.Name() == "JPEG" || d.Name() == "HEIC" ? 262144 : -1;
        if (kb > 0) QCOMPARE(d.maxSizeBytes, kb * 1024);
        if (d.Name() == "MP4" || d.Name() == "MTS") QCOMPARE(d.maxSizeBytes, std::int64_t{4} << 30);
    }
    QCOMPARE(rig.ActivityLog(),
             LogEntries({"\r\nSelected Extensions Information : ", "All Extensions", "Extended Signatures"}));

    // Off again: the added rows go, the standard ones keep their ticks, and
    // the next scan is a standard one.
    box->click();
    QCOMPARE(page.TypeList()->topLevelItemCount(), kCatalogueRowCount);
    QVERIFY(page.SelectAllBox()->isChecked());
    QCOMPARE(page.TypeList()->CellText(RowOf(page, "JPEG"), 2), QString("2000"));
    QCOMPARE(page.TypeList()->CellText(RowOf(page, "MOV"), 2), QString("7000"));
    page.PressNext();
    QCOMPARE(modes.last(), SignatureMode::Standard);
    QCOMPARE(seen[1].size(), std::size_t{40});
}

void TypePageTest::theFileSystemBoxIsOffAndItsStateReachesEachScan() {
    PageRig rig;
    QList<TypeDefinitionList> seen;
    QList<bool> used;
    rig.context.makeScanPage = [&](QWidget*) {
        used << rig.session().UsesFileSystems();
        return std::make_unique<ScanStandIn>(rig.session().Types(), seen);
    };
    CExtensionInfoDlg page(rig.context);
    QCheckBox* box = page.FileSystemBox();
    QCOMPARE(box->text(), QString("Use the card's file system (names, folders, dates)"));
    QCOMPARE(box->accessibleName(), box->text());
    QVERIFY(!box->isChecked());
    // Below the extended box, in the band kept for options.
    QVERIFY(page.OptionsArea().contains(box->geometry().topLeft()));
    QVERIFY(!box->geometry().intersects(page.ExtendedBox()->geometry()));
    page.SelectAllBox()->click();
    // Off, on (and still on when the scan page comes back), off again.
    page.PressNext();
    box->click();
    page.PressNext();
    QVERIFY(box->isChecked());
    page.PressNext();
    box->click();
    page.PressNext();
    QCOMPARE(used, (QList<bool>{false, true, true, false}));
    // The option adds nothing to the type list's entries.
    QCOMPARE(seen.size(), 4);
    for (const TypeDefinitionList& types : seen) QCOMPARE(types.size(), seen[0].size());
}

QTEST_MAIN(TypePageTest)
#include "type_page_test.moc"
