// The source page: the listing, the information lines and the default range,
// Next's refusals in their order, image sets and raw image files under
// "Select Image", unreadable sources, and the run header in the activity log.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "core/source/device_registry.h"
#include "ui/base/testing/accessible_names.h"
#include "logs/activity_entries.h"
#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"
#include "ui/pages/CExtensionInfoDlg.h"
#include "ui/pages/CImageCreationDlg.h"
#include "ui/pages/CPartitionInfoDlg.h"
#include "ui/pages/source_texts.h"
#include "platform/files.h"
#include "ui/pages/tests/page_fixture.h"

using namespace zt;
using namespace zt::ui;
using namespace zt::ui::testing;

namespace {

constexpr std::uint64_t GiB = 1ULL << 30;

// devquery's stand-in: reports one disk of the given device and size.
void ReportDisk(PageRig& rig, int j, const std::string& device, std::uint64_t bytes) {
    platform::MemorySettingsStore& store = rig.Store();
    rig.Launcher().onRun = [&store, j, device, bytes] {
        StoreDeviceRegistry registry(store);
        (void)registry.WriteValue(DeviceRegistryKey, DiskValueName(j), device);
        (void)registry.WriteValue(ModelKey, DiskValueName(j), "Card Reader");
        (void)registry.WriteValue(MediaTypeKey, DiskValueName(j), "Removable Media");
        (void)registry.WriteValue(CylinderKey, DiskValueName(j), "130");
        (void)registry.WriteValue(HeadKey, DiskValueName(j), "255");
        (void)registry.WriteValue(SectorsPerTrackKey, DiskValueName(j), "63");
        (void)registry.WriteValue(SizeKey, DiskValueName(j), std::to_string(bytes));
    };
}

std::unique_ptr<CPartitionInfoDlg> OpenListed(PageRig& rig, bool mediaRecovery = true) {
    auto page = std::make_unique<CPartitionInfoDlg>(rig.context, mediaRecovery);
    page->show();
    if (!QTest::qWaitFor([&page] { return page->Listed(); }, 5000)) return nullptr;
    return page;
}

void MakeSparseFile(const std::string& path, std::uint64_t bytes) {
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, bytes);
}

}  // namespace

class SourcePageTest : public QObject {
    Q_OBJECT

private slots:
    void listsTheGroupsAndSelectsTheRoot();
    void driveShowsItsLinesAndWholeRangeAndNextWritesTheRunHeader();
    void groupsAndBadRangesAreRefusedInOrder();
    void rangeBoxSwitchesTheEdits();
    void unreadableDiskIsRefusedWithTheReason();
    void diskTheServiceDidNotOpenIsRefusedWithItsAnswer();
    void refusalsGiveTheRealReason();
    void imageFolderIsReadSingleOrMultiFile();
    void imageFolderWithoutFirstPartIsRefused();
    void imageFolderBrowserOpensOncePerPress();
    void rawImageFileIsReadAsADisk();
    void diskImagingModeOpensTheImagingPage();
    void loopDeviceDiskShowsItsSizeAndReads();
};

void SourcePageTest::listsTheGroupsAndSelectsTheRoot() {
    PageRig rig;
    ReportDisk(rig, 2, "/dev/fake-disk", GiB);
    rig.Drives().drives = {{"sdb1", "/dev/sdb1", GiB, "vfat", "HOLIDAY", std::nullopt}};
    auto page = OpenListed(rig);
    QVERIFY(page);
    ZT_VERIFY_ACCESSIBLE_NAMES(&*page);
    QVERIFY(page->FindItem("HOLIDAY (sdb1)", "Select Logical Drive"));
    QVERIFY(page->FindItem("Disk2", "Select Disk"));
    QVERIFY(page->FindItem(CPartitionInfoDlg::OpenImageFileLabel, "Select Image"));
    QCOMPARE(page->SourceTree()->currentItem()->text(0), QString("My Computer"));
    QCOMPARE(page->InfoLines(), QStringList{" "});
    QVERIFY(!page->RangeBox()->isEnabled());
    QCOMPARE(page->InfoList()->headerItem()->text(0), QString("                   Device Information"));

    PageRig imaging;
    auto imagingPage = OpenListed(imaging, false);
    QVERIFY(imagingPage);
    QVERIFY(!imagingPage->FindItem("Select Image"));
}

void SourcePageTest::driveShowsItsLinesAndWholeRangeAndNextWritesTheRunHeader() {
    PageRig rig;
    rig.Drives().drives = {{"sdb1", "/dev/sdb1", GiB, "vfat", "", std::nullopt}};
    rig.fake->rawIo.AddPatternFile("/dev/sdb1", GiB, 1);
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->Select(page->FindItem("Local Disk (sdb1)"));
    const QStringList lines{"Volume Name : Local Disk ", "File System : vfat", "Capacity : 1.0 GB", "Used Space : Unknown",
                            "Free Space : Unknown"};
    QCOMPARE(page->InfoLines(), lines);
    QCOMPARE(page->InfoList()->headerItem()->text(0), QString("                   Drive Information"));
    QCOMPARE(page->StartEdit()->text(), QString("0"));
    QCOMPARE(page->EndEdit()->text(), QString("2097152"));
    QVERIFY(page->RangeBox()->isEnabled());
    QVERIFY(!page->EndEdit()->isEnabled());

    bool typePageShown = false;
    WhenShown<CExtensionInfoDlg>([&](CExtensionInfoDlg& next) {
        typePageShown = !page->isVisible();
        next.PressBack();
    });
    page->PressNext();
    QVERIFY(typePageShown);
    QVERIFY(page->isVisible());
    const SourceDescriptor& source = rig.session().Source();
    QCOMPARE(source.RangeStart, std::uint64_t{0});
    QCOMPARE(source.RangeEnd, std::uint64_t{2097152});
    QCOMPARE(source.SelectedDevice(), std::string("/dev/sdb1"));
    QVERIFY(!source.ImageMode);
    QCOMPARE(rig.ActivityLog(),
             LogEntries({"\r\n", "MEDIA RECOVERY", "------\r\n",
                         "Selected Logical Drive Information :\r\nLocal Disk (sdb1)", lines.join("\r\n"),
                         "Starting Range : 0", "Ending Range : 2097152"}));
}

void SourcePageTest::groupsAndBadRangesAreRefusedInOrder() {
    PageRig rig;
    ReportDisk(rig, 0, "/dev/fake-disk", 3 * 1024 * GiB);  // beyond 2^32 - 1 sectors, and scanned whole
    rig.fake->rawIo.AddPatternFile("/dev/fake-disk", 1 << 20, 2);
    auto page = OpenListed(rig);
    QVERIFY(page);
    ScriptedBoxes boxes;
    for (const char* group : {"Select Disk", "My Computer", "Select Logical Drive"}) {
        page->Select(page->FindItem(group));
        page->PressNext();
    }
    QCOMPARE(boxes.Texts(), (QStringList{"Select Hard Disk", "Select Logical Drive or Hard Disk", "Select Logical Drive"}));
    QVERIFY(page->isVisible());

    boxes.asked.clear();
    page->Select(page->FindItem("Disk0"));
    QVERIFY(page->InfoLines().contains("Disk Size  : 3145728 MB"));
    page->EndEdit()->setText("18014398509481984");  // beyond the largest sector number
    page->PressNext();
    page->StartEdit()->setText("");
    page->PressNext();
    page->StartEdit()->setText("2048");
    page->EndEdit()->setText("2048");
    page->PressNext();
    page->EndEdit()->setText("12x");
    page->PressNext();
    QCOMPARE(boxes.Texts(), (QStringList{"End sector is not valid.", "Start sector is not valid.",
                                         "End sector should be bigger than start sector.", "End sector is not valid."}));
    for (const MessageRequest& request : boxes.asked) QCOMPARE(request.icon, MessageIcon::Error);
    // The range is stored as typed before it is checked.
    QCOMPARE(rig.session().Source().RangeStart, std::uint64_t{2048});
    QVERIFY(rig.ActivityLog().isEmpty());
}

void SourcePageTest::rangeBoxSwitchesTheEdits() {
    PageRig rig;
    rig.Drives().drives = {{"sdb1", "/dev/sdb1", GiB, "vfat", "", std::nullopt}};
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->Select(page->FindItem("Local Disk (sdb1)"));
    page->RangeBox()->click();
    QVERIFY(page->StartEdit()->isEnabled() && page->EndEdit()->isEnabled());
    page->RangeBox()->click();
    QVERIFY(!page->StartEdit()->isEnabled());
    page->RangeBox()->click();
    page->Select(page->FindItem("My Computer"));
    QVERIFY(!page->RangeBox()->isChecked() && !page->RangeBox()->isEnabled());
    QVERIFY(!page->StartEdit()->isEnabled());
}

void SourcePageTest::unreadableDiskIsRefusedWithTheReason() {
    PageRig rig;
    ReportDisk(rig, 1, "/dev/fake-disk", GiB);
    rig.fake->rawIo.AddPatternFile("/dev/fake-disk", GiB, 3);
    rig.fake->rawIo.FailOpen("/dev/fake-disk", EACCES);
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->Select(page->FindItem("Disk1"));
    ScriptedBoxes boxes;
    page->PressNext();
    QCOMPARE(boxes.asked.size(), 1);
    const QString text = boxes.asked[0].text;
    // Root is refused by the kernel itself: rights are not what it lacks.
    const QString note = platform::RunningAsAdministrator() ? "refuses it to an administrator too"
                                                            : "administrator rights";
    QVERIFY2(text.contains("Disk1") && text.contains("/dev/fake-disk") && text.contains("Permission denied") &&
                 text.contains(note),
             qPrintable(text));
    QVERIFY(page->isVisible());
    QVERIFY(rig.ActivityLog().isEmpty());
}

void SourcePageTest::refusalsGiveTheRealReason() {
    SourceChoice denied;
    denied.problem = SourceProblem::CannotOpen;
    denied.problemPath = "/dev/sdc";
    denied.errnoValue = EACCES;
    SourceChoice readOnly = denied;
    readOnly.errnoValue = EROFS;
    const struct {
        SourceChoice choice;
        bool administrator;
        const char* text;
    } cases[] = {
        {denied, false, "Cannot read Disk2 (/dev/sdc): Permission denied. Reading a disk needs administrator rights."},
        {denied, true,
         "Cannot read Disk2 (/dev/sdc): Permission denied. The system refuses it to an administrator too: a "
         "container or a security policy forbids reading this disk here."},
        {readOnly, true, "Cannot read Disk2 (/dev/sdc): Read-only file system."},
    };
    for (const auto& c : cases) QCOMPARE(ReadProblemText("Disk2", c.choice, c.administrator), QString(c.text));
    QCOMPARE(ImageFolderRefusal("/media/backup"),
             QString("Image path not found. Please specify image path.\n\n/media/backup holds no Image0.img. Choose "
                     "the folder that holds Image0.img, the first file of an image set made under Image Creation."));
}

void SourcePageTest::diskTheServiceDidNotOpenIsRefusedWithItsAnswer() {
    PageRig rig;
    ReportDisk(rig, 1, "/dev/fake-disk", GiB);
    rig.fake->rawIo.AddPatternFile("/dev/fake-disk", GiB, 3);
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->Select(page->FindItem("Disk1"));
    bool typePageShown = false;
    WhenShown<CExtensionInfoDlg>([&](CExtensionInfoDlg& next) {
        typePageShown = true;
        next.PressBack();
    });
    const std::pair<platform::ServiceAccess, QString> answers[] = {
        {platform::ServiceAccess::Refused, "reading /dev/fake-disk needs administrator rights; access was not granted"},
        {platform::ServiceAccess::Unavailable, "is not available here: run pictora-cli with sudo"},
    };
    for (const auto& [access, expected] : answers) {
        rig.fake->rawIo.FailOpenThroughService("/dev/fake-disk", access);
        ScriptedBoxes boxes;
        page->PressNext();
        QCOMPARE(boxes.asked.size(), 1);
        QVERIFY2(boxes.asked[0].text.contains(expected), qPrintable(boxes.asked[0].text));
    }
    // Refused at Next: never scanned, nothing logged.
    QVERIFY(!typePageShown);
    QVERIFY(page->isVisible());
    QVERIFY(rig.ActivityLog().isEmpty());
}

void SourcePageTest::imageFolderIsReadSingleOrMultiFile() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder single;
    zt::testing::TempFolder multi;
    MakeSparseFile(single / "Image0.img", 700ULL * 1024 * 1024);
    MakeSparseFile(multi / "Image0.img", ImagePartBytes);
    MakeSparseFile(multi / "Image1.img", 4096);
    auto page = OpenListed(rig);
    QVERIFY(page);
    ScriptedBrowsers browsers;
    browsers.answers = {QString::fromStdString(single.Path()), QString::fromStdString(multi.Path())};

    page->Select(page->FindItem("Select Image"));
    QCOMPARE(browsers.asked.size(), 1);
    QCOMPARE(browsers.asked[0].title, QString("Select Folder of Image File"));
    const QString singleItem = QString::fromStdString(single / "Image0.img");
    QCOMPARE(page->SourceTree()->currentItem()->text(0), singleItem);
    const SourceDescriptor& source = rig.session().Source();
    QVERIFY(source.ImageMode);
    QVERIFY(!source.ImageMultiFile);
    QCOMPARE(source.ImageFolder, single.Path() + "/");
    QVERIFY(page->InfoLines().contains("Media Type   : Image"));
    QCOMPARE(page->EndEdit()->text(), QString::number(700ULL * 2048));

    page->Select(page->FindItem("Select Image"));
    QVERIFY(source.ImageMultiFile);
    QCOMPARE(page->EndEdit()->text(), QString::number(ImagePartSectors + 8));

    // Back on the first set, then a drive: the reader leaves image mode.
    rig.Drives().drives = {{"sdb1", "/dev/sdb1", GiB, "vfat", "", std::nullopt}};
    page->Select(page->FindItem(singleItem));
    QVERIFY(!source.ImageMultiFile);
    WhenShown<CExtensionInfoDlg>([](CExtensionInfoDlg& next) { next.PressBack(); });
    page->PressNext();
    QVERIFY(rig.ActivityLog().contains("Selected Image Information :\r\n" + singleItem.toUtf8()));
}

void SourcePageTest::imageFolderWithoutFirstPartIsRefused() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder empty;
    auto page = OpenListed(rig);
    QVERIFY(page);
    ScriptedBrowsers browsers;
    browsers.answers = {QString::fromStdString(empty.Path())};
    ScriptedBoxes boxes;
    page->Select(page->FindItem("Select Image"));
    QCOMPARE(boxes.Texts().size(), 1);
    // The message names what is missing, after the words it always had.
    QVERIFY2(boxes.Texts()[0].startsWith("Image path not found. Please specify image path.\n\n") &&
                 boxes.Texts()[0].contains(QString::fromStdString(empty.Path()) + " holds no Image0.img."),
             qPrintable(boxes.Texts()[0]));
    QCOMPARE(page->SourceTree()->currentItem()->text(0), QString("My Computer"));
    QCOMPARE(page->FindItem("Select Image")->childCount(), 1);  // only the file item

    // Cancelled: back on the root with an empty list.
    page->Select(page->FindItem("Select Image"));
    QCOMPARE(page->SourceTree()->currentItem()->text(0), QString("My Computer"));
    boxes.asked.clear();
    page->Select(page->FindItem("Select Image"));
    page->PressNext();
    QCOMPARE(boxes.Texts().value(0), QString("Select Logical Drive or Hard Disk"));
}

void SourcePageTest::imageFolderBrowserOpensOncePerPress() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder empty;
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    ScriptedBrowsers browsers;
    browsers.answers = {QString::fromStdString(empty.Path()), QString::fromStdString(empty.Path())};
    // The refusal runs an event loop of its own, as a real message box does:
    // the press that opened the browser is still being handled meanwhile.
    QStringList refusals;
    SetMessageBoxHandler([&](const MessageRequest& request) {
        refusals << request.text;
        QTest::qWait(50);
        return MessageAnswer::Ok;
    });
    QTreeWidget* tree = page->SourceTree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(page->FindItem("Select Image")).center());
    QTest::qWait(200);
    SetMessageBoxHandler({});
    QCOMPARE(browsers.asked.size(), 1);
    QCOMPARE(refusals.size(), 1);
    QCOMPARE(tree->currentItem()->text(0), QString("My Computer"));
}

void SourcePageTest::rawImageFileIsReadAsADisk() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder folder;
    const std::string card = folder / "card.dd";
    MakeSparseFile(card, 64ULL * 1024 * 1024);
    auto page = OpenListed(rig);
    QVERIFY(page);
    ScriptedBrowsers browsers;
    browsers.answers = {QString::fromStdString(card)};
    page->Select(page->FindItem(CPartitionInfoDlg::OpenImageFileLabel));
    QCOMPARE(browsers.asked.value(0).kind, BrowseKind::ImageFile);
    QCOMPARE(page->SourceTree()->currentItem()->text(0), QString::fromStdString(card));
    QVERIFY(page->InfoLines().contains("Disk Size  : 64 MB"));
    QVERIFY(page->InfoLines().contains("Model   : " + QString::fromStdString(card)));
    QCOMPARE(page->EndEdit()->text(), QString("131072"));

    WhenShown<CExtensionInfoDlg>([](CExtensionInfoDlg& next) { next.PressBack(); });
    page->PressNext();
    const SourceDescriptor& source = rig.session().Source();
    QVERIFY(!source.ImageMode);
    QCOMPARE(source.SelectedDevice(), card);
    QCOMPARE(source.RangeEnd, std::uint64_t{131072});
    // The header is the one core's Next gives any image item: the disk lines shown, the range edits.
    QCOMPARE(rig.ActivityLog(),
             LogEntries({"\r\n", "MEDIA RECOVERY", "------\r\n",
                         "Selected Image Information :\r\n" + QString::fromStdString(card),
                         page->InfoLines().join("\r\n"), "Starting Range : 0", "Ending Range : 131072"}));

    // Picked with the mouse: the press opens the browser, and once it has
    // closed the press's own selection of the row does not ask again.
    browsers.answers = {QString::fromStdString(card)};
    browsers.asked.clear();
    QTreeWidget* tree = page->SourceTree();
    QTreeWidgetItem* opener = page->FindItem(CPartitionInfoDlg::OpenImageFileLabel);
    const QPoint at = tree->visualItemRect(opener).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::qWait(50);
    QCOMPARE(browsers.asked.size(), 1);
    QCOMPARE(tree->currentItem()->text(0), QString::fromStdString(card));
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{tree->currentItem()});
    QVERIFY(page->InfoLines().contains("Model   : " + QString::fromStdString(card)));

    // The file item on its own is like its group: Next asks for an image.
    ScriptedBoxes boxes;
    page->SourceTree()->blockSignals(true);
    page->SourceTree()->setCurrentItem(page->FindItem(CPartitionInfoDlg::OpenImageFileLabel));
    page->SourceTree()->blockSignals(false);
    page->PressNext();
    QCOMPARE(boxes.Texts().value(0), QString("Select Image"));
}

void SourcePageTest::diskImagingModeOpensTheImagingPage() {
    PageRig rig;
    ReportDisk(rig, 0, "/dev/fake-disk", GiB);
    rig.fake->rawIo.AddPatternFile("/dev/fake-disk", GiB, 4);
    auto page = OpenListed(rig, false);
    QVERIFY(page);
    page->Select(page->FindItem("Disk0"));
    const QStringList lines = page->InfoLines();
    QString information;
    QString source;
    WhenShown<CImageCreationDlg>([&](CImageCreationDlg& next) {
        information = next.InformationText()->toPlainText();
        source = next.SourceTree()->currentItem()->text(0) + " in " +
                 next.SourceTree()->currentItem()->parent()->text(0);
        next.PressBack();
    });
    page->PressNext();
    QCOMPARE(information, lines.join("\n"));
    QCOMPARE(source, QString("Disk0 in Selected Disk"));
    QCOMPARE(rig.session().Source().SelectedDevice(), std::string("/dev/fake-disk"));
    QVERIFY(rig.ActivityLog().startsWith(LogEntries({"\r\n", "DISK IMAGING", "------\r\n",
                                                     "Selected Disk Information :\r\nDisk0"})));
}

void SourcePageTest::loopDeviceDiskShowsItsSizeAndReads() {
    zt::testing::TempFolder folder;
    const std::string image = folder / "disk.img";
    MakeSparseFile(image, 8ULL * 1024 * 1024);
    zt::testing::AttachedLoop loop(image);
    if (!loop.Attached()) QSKIP("attaching a loop device needs root");
    PageRig rig(Seams::RealFiles);
    rig.real->rawIo.Allow(loop.Device());
    ReportDisk(rig, 3, loop.Device(), 8ULL * 1024 * 1024);
    auto page = OpenListed(rig);
    QVERIFY(page);
    page->Select(page->FindItem("Disk3"));
    QCOMPARE(page->EndEdit()->text(), QString("16384"));
    WhenShown<CExtensionInfoDlg>([](CExtensionInfoDlg& next) { next.PressBack(); });
    page->PressNext();
    QCOMPARE(rig.session().Source().SelectedDevice(), loop.Device());
    QCOMPARE(rig.session().Source().RangeEnd, std::uint64_t{16384});
}

QTEST_MAIN(SourcePageTest)
#include "source_page_test.moc"
