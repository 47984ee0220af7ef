// The imaging page end to end: exact copies of an image file and of a loop
// device, numbered parts, Stop confirmed and cancelled, Start's refusals,
// Back while copying, a failing write, and the bad-sector prompt answered
// while the copy waits on its worker thread.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <sys/resource.h>

#include <filesystem>

#include "platform/terminal.h"
#include "ui/base/testing/accessible_names.h"
#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"
#include "ui/dialogs/CBadSectors.h"
#include "ui/pages/CImageCreationDlg.h"
#include "ui/pages/tests/page_fixture.h"

using namespace zt;
using namespace zt::ui;
using namespace zt::ui::testing;

namespace {

// A source of the given bytes on the real file system.
std::string Pattern(std::size_t sectors, std::uint8_t seed) {
    std::string bytes(sectors * kSectorBytes, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(zt::testing::PatternByte(seed, k));
    return bytes;
}

void PointAt(Session& session, const std::string& device, std::uint64_t start, std::uint64_t end) {
    SourceDescriptor& source = session.Source();
    source.ImageMode = false;
    source.DeviceNames[0] = device;
    source.DeviceIndex = 0;
    source.RangeStart = start;
    source.RangeEnd = end;
}

std::unique_ptr<CImageCreationDlg> OpenPage(PageRig& rig, const QString& destination) {
    auto page = std::make_unique<CImageCreationDlg>(rig.context, "Physical Disk Number : 0", "Selected Disk", "Disk0");
    page->show();
    page->DestinationEdit()->setText(destination);
    return page;
}

// Presses Start and waits for the tick that reports the end of the run.
bool RunToEnd(CImageCreationDlg& page, int timeoutMs = 20000) {
    page.PressStart();
    return QTest::qWaitFor([&page] { return !page.Busy(); }, timeoutMs);
}

}  // namespace

class ImagingPageTest : public QObject {
    Q_OBJECT

private slots:
    void opensReadyWithTheSourceTexts();
    void copiesARangeOfAnImageFileExactly();
    void copiesALoopDeviceExactly();
    void multiFileRunWritesPartsAndRemovesOneStalePart();
    void stopCancelledGoesOnAndStopConfirmedAborts();
    void startRefusesBadDestinationsInOrder();
    void destinationHoldingTheSourceIsRefused();
    void failingWriteEndsTheRunAsAFailure();
    void badSectorPromptAnswersShapeTheCopy();
};

void ImagingPageTest::opensReadyWithTheSourceTexts() {
    PageRig rig;
    PointAt(rig.session(), "/dev/fake", 0, 100);
    CImageCreationDlg page(rig.context, "Line one\r\nLine two", "Selected Disk", "Disk0");
    page.show();
    QCOMPARE(page.InformationText()->toPlainText(), QString("Line one\nLine two"));
    QCOMPARE(page.SourceTree()->currentItem()->text(0), QString("Disk0"));
    QCOMPARE(page.SourceTree()->topLevelItem(0)->text(0), QString("Selected Disk"));
    QVERIFY(page.StartButton()->isVisible());
    QVERIFY(!page.StopButton()->isVisible());
    QVERIFY(!page.ProgressBar()->isVisible());
    QVERIFY(!page.MultifileBox()->isChecked());
    for (CButtonST* button : {page.StartButton(), page.StopButton(), page.BackButton()}) {
        QVERIFY(!button->accessibleName().isEmpty());
    }
    QCOMPARE(page.BrowseButton()->accessibleName(), QString("Browse"));
    QCOMPARE(page.DestinationEdit()->accessibleName(), QString("Destination Image"));
    ZT_VERIFY_ACCESSIBLE_NAMES(&page);

    ScriptedBrowsers browsers;
    ScriptedBoxes boxes;
    browsers.answers = {"/nowhere", "/dest"};
    page.PressBrowse();
    QCOMPARE(boxes.Texts(), QStringList{"Image path not found. Please specify image path."});
    page.PressBrowse();
    QCOMPARE(page.DestinationEdit()->text(), QString("/dest"));
    QCOMPARE(browsers.asked.value(1).title, QString("Select Folder of Image File"));
}

void ImagingPageTest::copiesARangeOfAnImageFileExactly() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder folder;
    zt::testing::TempFolder destination;
    const std::string bytes = Pattern(3000, 7);
    zt::testing::WriteBytes(folder / "card.dd", bytes);
    PointAt(rig.session(), folder / "card.dd", 100, 2103);
    auto page = OpenPage(rig, QString::fromStdString(destination.Path()));
    ScriptedBoxes boxes;
    QVERIFY(RunToEnd(*page));
    QCOMPARE(boxes.Texts(), QStringList{"Image creation completed successfully."});
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Information);
    const std::string part = destination / "Image0.img";
    QCOMPARE(zt::testing::ReadBytes(part), bytes.substr(100 * kSectorBytes, 2003 * kSectorBytes));
    QCOMPARE(page->ProgressText(), QString("2103 / 2103"));
    QCOMPARE(page->ProgressBar()->value(), 100);
    QVERIFY(page->StartButton()->isVisible() && page->BackButton()->isVisible());
    QVERIFY(!page->StopButton()->isVisible());
    QVERIFY(page->DestinationEdit()->isEnabled());
    QCOMPARE(rig.ActivityLog(),
             LogEntries({"\r\nAnalysing Disk Imaging Information :", "Current Sector : 2103 / 2103",
                         "Last File : " + QString::fromStdString(part), "Disk Imaging Completed Successfully\r\n"}));
}

void ImagingPageTest::copiesALoopDeviceExactly() {
    zt::testing::TempFolder folder;
    zt::testing::TempFolder destination;
    const std::string bytes = Pattern(4096, 9);
    zt::testing::WriteBytes(folder / "disk.img", bytes);
    zt::testing::AttachedLoop loop(folder / "disk.img");
    if (!loop.Attached()) QSKIP("attaching a loop device needs root");
    PageRig rig(Seams::RealFiles);
    rig.real->rawIo.Allow(loop.Device());
    PointAt(rig.session(), loop.Device(), 0, 4096);
    auto page = OpenPage(rig, QString::fromStdString(destination.Path()));
    ScriptedBoxes boxes;
    QVERIFY(RunToEnd(*page));
    QCOMPARE(boxes.Texts(), QStringList{"Image creation completed successfully."});
    QVERIFY(zt::testing::ReadBytes(destination / "Image0.img") == bytes);
}

void ImagingPageTest::multiFileRunWritesPartsAndRemovesOneStalePart() {
    PageRig rig;
    rig.fake->rawIo.AddPatternFile("/dev/fake", 700ULL << 20, 3);
    for (const char* stale : {"/dest/Image2.img", "/dest/Image3.img"}) rig.fake->destination.files[stale];
    PointAt(rig.session(), "/dev/fake", 0, ImagePartSectors + 8);
    auto page = OpenPage(rig, "/dest");
    page->MultifileBox()->setChecked(true);
    ScriptedBoxes boxes;
    QVERIFY(RunToEnd(*page, 60000));
    QCOMPARE(boxes.Texts(), QStringList{"Image creation completed successfully."});
    const auto& files = rig.fake->destination.files;
    QCOMPARE(files.at("/dest/Image0.img").size, ImagePartBytes);
    QCOMPARE(files.at("/dest/Image1.img").size, std::uint64_t{4096});
    QVERIFY(files.count("/dest/Image2.img") == 0);
    QVERIFY(files.count("/dest/Image3.img") == 1);
    QCOMPARE(page->LastFileText(), QString("/dest/Image1.img"));
}

void ImagingPageTest::stopCancelledGoesOnAndStopConfirmedAborts() {
    PageRig rig;
    rig.fake->rawIo.AddPatternFile("/dev/fake", 4ULL << 30, 5);
    PointAt(rig.session(), "/dev/fake", 0, 4'000'000);
    auto page = OpenPage(rig, "/dest");
    ScriptedBoxes boxes;
    page->PressStart();
    QVERIFY(page->Running());
    QVERIFY(page->StopButton()->isVisible() && !page->BackButton()->isVisible());
    QVERIFY(!page->DestinationEdit()->isEnabled() && !page->BrowseButton()->isEnabled());
    page->PressBack();
    QCOMPARE(boxes.Texts(), QStringList{"Process is running."});
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Warning);

    // While the question is open the copy stands still at a chunk boundary.
    bool heldStill = false;
    SetMessageBoxHandler([&](const MessageRequest& request) {
        boxes.asked << request;
        const std::uint64_t before = page->Progress().CurrentSector.load();
        QTest::qWait(100);
        heldStill = page->Progress().CurrentSector.load() == before && page->Running();
        return boxes.asked.size() == 2 ? MessageAnswer::Cancel : MessageAnswer::Ok;
    });
    page->PressStop();
    QVERIFY(heldStill);
    QCOMPARE(boxes.asked[1].text, QString("Are you sure you want to stop this process?"));
    QCOMPARE(boxes.asked[1].buttons, MessageButtons::OkCancel);
    QVERIFY(page->Running());  // Cancel: the copy goes on
    const std::uint64_t afterCancel = page->Progress().CurrentSector.load();
    QTRY_VERIFY(page->Progress().CurrentSector.load() > afterCancel);

    page->PressStop();
    QVERIFY(QTest::qWaitFor([&page] { return !page->Busy(); }, 20000));
    QCOMPARE(boxes.asked.last().text, QString("Image creation aborted."));
    QCOMPARE(boxes.asked.last().icon, MessageIcon::Error);
    const std::uint64_t stoppedAt = page->Progress().CurrentSector.load();
    QVERIFY(stoppedAt < 4'000'000);
    QCOMPARE(rig.fake->destination.files.at("/dest/Image0.img").size, stoppedAt * kSectorBytes + 8 * kSectorBytes);
    const QByteArray log = rig.ActivityLog();
    QVERIFY(log.endsWith("\r\nDisk Imaging Aborted\r\n"));
    QVERIFY(log.contains("\r\nLast File : /dest/Image0.img"));
    QVERIFY(page->BackButton()->isVisible());
}

void ImagingPageTest::startRefusesBadDestinationsInOrder() {
    PageRig rig;
    rig.fake->rawIo.AddPatternFile("/dev/fake", 1 << 20, 5);
    PointAt(rig.session(), "/dev/fake", 0, 2048);
    auto page = OpenPage(rig, "/missing");
    ScriptedBoxes boxes;
    page->PressStart();
    page->DestinationEdit()->setText("/dest");
    rig.fake->destination.freeBytes = 2048 * kSectorBytes;  // exactly the range: not enough
    page->PressStart();
    QCOMPARE(boxes.Texts(), (QStringList{"Image path not found. Please specify image path.",
                                         "Insufficient free space on destination. Please change destination path."}));
    for (const MessageRequest& request : boxes.asked) QCOMPARE(request.icon, MessageIcon::Error);
    QVERIFY(!page->Running() && !page->Busy());
    QVERIFY(rig.fake->destination.files.empty());
    QVERIFY(rig.ActivityLog().isEmpty());
}

void ImagingPageTest::destinationHoldingTheSourceIsRefused() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder folder;
    zt::testing::WriteBytes(folder / "Image0.img", Pattern(64, 1));
    // The raw image read like a device is itself named like the first part.
    PointAt(rig.session(), folder / "Image0.img", 0, 64);
    auto page = OpenPage(rig, QString::fromStdString(folder.Path()));
    ScriptedBoxes boxes;
    page->PressStart();
    QCOMPARE(boxes.asked.size(), 1);
    QVERIFY2(boxes.asked[0].text.contains("destination"), qPrintable(boxes.asked[0].text));
    QVERIFY(!page->Busy());
    QCOMPARE(zt::testing::ReadBytes(folder / "Image0.img"), Pattern(64, 1));
}

void ImagingPageTest::failingWriteEndsTheRunAsAFailure() {
    PageRig rig(Seams::RealFiles);
    zt::testing::TempFolder folder;
    zt::testing::TempFolder destination;
    zt::testing::WriteBytes(folder / "card.dd", Pattern(512, 2));
    PointAt(rig.session(), folder / "card.dd", 0, 512);
    auto page = OpenPage(rig, QString::fromStdString(destination.Path()));
    ScriptedBoxes boxes;
    platform::IgnoreWriteSignals();
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;  // the image would be 256 KiB
    setrlimit(RLIMIT_FSIZE, &limited);
    page->PressStart();
    const bool ended = QTest::qWaitFor([&page] { return !page->Running(); }, 20000);
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(ended);
    QVERIFY(QTest::qWaitFor([&page] { return !page->Busy(); }, 5000));
    QCOMPARE(boxes.asked.size(), 1);
    QVERIFY2(boxes.asked[0].text.startsWith("Image creation failed: "), qPrintable(boxes.asked[0].text));
    QCOMPARE(boxes.asked[0].icon, MessageIcon::Error);
    QVERIFY(page->StartButton()->isVisible() && page->BackButton()->isVisible() && page->MultifileBox()->isEnabled());
    QVERIFY(rig.ActivityLog().contains("\r\nDisk Imaging Failed : "));
    QVERIFY(!rig.ActivityLog().contains("Completed Successfully"));
}

void ImagingPageTest::badSectorPromptAnswersShapeTheCopy() {
    PageRig rig;
    rig.fake->rawIo.AddPatternFile("/dev/fake", 64 * kSectorBytes, 6);
    rig.fake->rawIo.AddBadSector("/dev/fake", 10);
    rig.fake->rawIo.AddBadSector("/dev/fake", 42);
    rig.fake->rawIo.AddBadSector("/dev/fake", 60);
    DialogBadSectorPrompt prompt(rig.context.settings.skinFolder, rig.context.settings.windowTitle);
    rig.session().BadSectors().SetPrompt(&prompt);
    PointAt(rig.session(), "/dev/fake", 0, 64);
    auto page = OpenPage(rig, "/dest");

    // Retry for the chunk of sector 10, Skip All for the chunk of sector 42;
    // the chunk of sector 60 is then given up without a question.
    QStringList shown;
    std::function<void(int)> answer = [&](int button) {
        WhenShown<CBadSectors>([&, button](CBadSectors& dialog) {
            shown << dialog.Message();
            QVERIFY(page->Running());  // the copy waits for the answer
            dialog.Button(button)->click();
            if (button == CBadSectors::IdRetry) answer(CBadSectors::IdSkipAll);
        });
    };
    answer(CBadSectors::IdRetry);
    ScriptedBoxes boxes;
    QVERIFY(RunToEnd(*page));
    QCOMPARE(shown, (QStringList{"Encountered Bad Sector(s) while reading disk.",
                                 "Encountered Bad Sector(s) while reading disk."}));
    QCOMPARE(rig.session().BadSectors().Get(), SkipAll);
    // Sector 10, and the chunks of sectors 40 to 47 and 56 to 63.
    QCOMPARE(boxes.Texts(), QStringList{"Image creation completed successfully.\n"
                                        "17 unreadable sector(s) were written as zeros."});
    QVERIFY(rig.ActivityLog().endsWith("\r\nUnreadable Sectors : 17 (given as zeros)"));

    const std::vector<std::uint8_t>& copy = rig.fake->destination.files.at("/dest/Image0.img").bytes;
    QCOMPARE(copy.size(), std::size_t{64 * kSectorBytes});
    auto sectorIs = [&copy](std::size_t sector, bool zeros) {
        for (std::size_t k = sector * kSectorBytes; k < (sector + 1) * kSectorBytes; ++k) {
            const std::uint8_t expected = zeros ? 0 : zt::testing::PatternByte(6, k);
            if (copy[k] != expected) return false;
        }
        return true;
    };
    for (std::size_t sector = 0; sector < 64; ++sector) {
        // Retry re-reads sector by sector: only the bad one is zeros. Skip gives up the whole chunk.
        const bool zeros = sector == 10 || (sector >= 40 && sector < 48) || (sector >= 56);
        QVERIFY2(sectorIs(sector, zeros), qPrintable(QString("sector %1").arg(sector)));
    }

    // Skip All holds for a later run too: no question.
    QVERIFY(RunToEnd(*page));
    QCOMPARE(shown.size(), 2);
}

QTEST_MAIN(ImagingPageTest)
#include "imaging_page_test.moc"
