// The scan and results page over a card image held in memory: the scan's
// progress and summary, the tree, the list and its ticks, the previews, the
// Save command with its guards and the overwrite question, Back and Stop.
#include <QAction>
#include <QBuffer>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>
#include <deque>
#include <sys/stat.h>

#include "app/session.h"
#include "ui/base/testing/accessible_names.h"
#include "core/source/testing/fake_device_registry.h"
#include "platform/testing/fake_raw_io.h"
#include "tools/demo-image/media_writers.h"
#include "ui/base/message_box.h"
#include "ui/controls/CFolderTreeCtrl.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/dialogs/CReplaceDlg.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/pages/CFileDisplayDlg.h"
#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/media_preview.h"
#include "ui/pages/scan_animation.h"

using namespace zt;
using namespace zt::ui;

namespace {

constexpr char kCard[] = "/media/card.dd";
constexpr std::size_t kSector = 512;
using Bytes = std::vector<std::uint8_t>;

// A session over fakes, but saving into real folders: the page's Save is
// checked on the files it writes.
struct PageSession {
    testing::FakeRawIo rawIo;
    platform::MemorySettingsStore store;
    testing::FakeDriveProbe drives;
    testing::FakeToolLauncher launcher;
    Session session{SessionSeams{rawIo, store, platform::SystemDestination(), drives, launcher}, AppSettings{}};
};

class NoServices : public ShellServices {
public:
    void WriteStartBlock() override {}
    void ViewLog(QWidget*, LogKind) override { ++logViews; }
    void ClearLog(QWidget*, LogKind) override {}
    void OpenHelp() override {}
    int logViews = 0;
};

// A card: files at sector boundaries with empty sectors between them.
struct Card {
    Bytes bytes;
    std::uint64_t Put(const Bytes& file) {
        bytes.resize(bytes.size() + 3 * kSector, 0);
        const std::uint64_t start = bytes.size() / kSector;
        bytes.insert(bytes.end(), file.begin(), file.end());
        bytes.resize((bytes.size() + kSector - 1) / kSector * kSector + 3 * kSector, 0);
        return start;
    }
};

Bytes Jpeg(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return {data.begin(), data.end()};
}

// A Canon RAW as far as the scan can tell: the TIFF order mark, the maker's
// name and the end marker some sectors on.
Bytes Cr2() {
    Bytes b(6 * kSector, 0x33);
    using namespace std::string_literals;
    const std::string head = "II*\0\x10\0\0\0CR\x02\0 Canon EOS"s;
    std::copy(head.begin(), head.end(), b.begin());
    const std::uint8_t end[] = {0xA5, 0xA7, 0x8A, 0xB8};
    std::copy(std::begin(end), std::end(end), b.begin() + 5 * kSector + 20);
    return b;
}

// The bytes of sectors start through start + count, as saving writes them.
QByteArray SectorsOf(const Bytes& card, const FileInfo& file) {
    const std::size_t from = file.startSector * kSector;
    const std::size_t to = (file.startSector + static_cast<std::uint64_t>(file.sectorCount) + 1) * kSector;
    QByteArray out(static_cast<qsizetype>(to - from), '\0');
    for (std::size_t k = from; k < to && k < card.size(); ++k) out[static_cast<qsizetype>(k - from)] = char(card[k]);
    return out;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class ScanPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void scanEndsInResultsWithSortedCountedTypes();
    void ticksFlowBetweenListTypeNodeAndRoot();
    void arrowKeysStopAtTheEnds();
    void previewsShowPicturePlaceholdersAndSound();
    void saveGuardsSaveAndTheOverwriteQuestion();
    void backDropsFoundFilesAndThePreviewFile();
    void emptyScanLeavesRootAndRefusesSave();
    void stopAndBackWhileScanning();
    void stopHoldsTheScanWhileAskingAndNoResumesIt();
    void theCardsFoldersAreListedPreviewedAndSavedByName();

private:
    // The card's bytes, or (with patternSectors) a patterned card of that size.
    void MakeSession(const Bytes& card, const std::vector<std::string>& types, std::uint64_t patternSectors = 0);
    std::unique_ptr<CFileDisplayDlg> OpenPage();
    void WaitForResults(CFileDisplayDlg& page);
    QTreeWidgetItem* Node(CFileDisplayDlg& page, const QString& prefix);
    [[nodiscard]] QString ActivityLog() const;
    [[nodiscard]] QString RecoveryLog() const;

    QTemporaryDir m_temp;  // TMPDIR: the preview files
    QTemporaryDir m_logs;
    QTemporaryDir m_skin;  // empty: placeholders are recognised by their paths
    std::unique_ptr<PageSession> m_session;
    std::unique_ptr<NoServices> m_services;
    std::unique_ptr<ShellContext> m_context;
    Card m_card;
    std::vector<MessageRequest> m_boxes;
    std::deque<MessageAnswer> m_answers;
    QStringList m_endMessages;
    std::deque<OverwriteAnswer> m_overwrite;
    QStringList m_asked;
    QTimer m_modalCloser;
};

void ScanPageTest::initTestCase() {
    qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    // Whatever modal dialog the page runs for the saving is answered here.
    m_modalCloser.setInterval(30);
    connect(&m_modalCloser, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* message = qobject_cast<CMessageDlg*>(modal)) {
            m_endMessages << message->Message();
            message->accept();
        } else if (auto* replace = qobject_cast<CReplaceDlg*>(modal)) {
            m_asked << replace->FirstLine();
            const OverwriteAnswer answer = m_overwrite.empty() ? OverwriteAnswer::Closed : m_overwrite.front();
            if (!m_overwrite.empty()) m_overwrite.pop_front();
            if (answer == OverwriteAnswer::Closed) {
                QTest::keyClick(replace, Qt::Key_Escape);
            } else {
                replace->Button(answer)->click();
            }
        }
    });
    m_modalCloser.start();
}

void ScanPageTest::init() {
    m_boxes.clear();
    m_answers.clear();
    m_endMessages.clear();
    m_asked.clear();
    SetMessageBoxHandler([this](const MessageRequest& request) {
        m_boxes.push_back(request);
        if (m_answers.empty()) return MessageAnswer::Ok;
        const MessageAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    });
    for (const QString& name : QDir(m_temp.path()).entryList(QDir::Files)) QFile::remove(m_temp.filePath(name));
    QFile::remove(m_logs.filePath("Activity Log.txt"));
    QFile::remove(m_logs.filePath("Recovery Log.txt"));

    // 14 JPEG files (the last one broken), then a RAW, with a sound first.
    m_card = Card{};
    m_card.Put(demo::MakeWav(300, 440));
    for (int i = 0; i < 13; ++i) m_card.Put(Jpeg(64 + i, 48, QColor(20 * i, 200 - 10 * i, 90)));
    Bytes broken = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    broken.resize(3000, 0x41);
    broken.push_back(0xFF);
    broken.push_back(0xD9);
    m_card.Put(broken);
    m_card.Put(Cr2());
}

void ScanPageTest::cleanup() {
    m_context.reset();
    m_services.reset();
    m_session.reset();
    SetMessageBoxHandler({});
    SetBrowseHandler({});
    // Windows closed inside a page's modal loop are deleted here: the test
    // function returns to no event loop that would do it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ScanPageTest::MakeSession(const Bytes& card, const std::vector<std::string>& types,
                               std::uint64_t patternSectors) {
    m_session = std::make_unique<PageSession>();
    Session& s = m_session->session;
    if (patternSectors > 0) {
        m_session->rawIo.AddPatternFile(kCard, patternSectors * kSector, 3);
    } else {
        m_session->rawIo.AddFile(kCard, card);
    }
    s.Source().DeviceNames[0] = kCard;
    s.Source().RangeStart = 0;
    s.Source().RangeEnd = patternSectors > 0 ? patternSectors : card.size() / kSector;
    s.BadSectors().Set(SkipAll);
    for (const std::string& name : types) {
        stExtInfo d = *LookupDefinition(name);
        d.maxSizeBytes = 2000 * 1024;
        s.Types().push_back(d);
    }
    QVERIFY(m_session->store.WriteValue(kAppRegistryKey, kActivityLogValue, m_logs.path().toStdString()));
    QVERIFY(m_session->store.WriteValue(kAppRegistryKey, kRecoveryLogValue, m_logs.path().toStdString()));
    m_services = std::make_unique<NoServices>();
    const ShellSettings settings{"Zentrix for Pictora", "Zentrix for Pictora", "Version 1.0", m_skin.path()};
    m_context = std::make_unique<ShellContext>(s, settings, *m_services, [] {});
}

std::unique_ptr<CFileDisplayDlg> ScanPageTest::OpenPage() {
    auto page = std::make_unique<CFileDisplayDlg>(*m_context);
    page->show();
    return page;
}

void ScanPageTest::WaitForResults(CFileDisplayDlg& page) { QTRY_VERIFY_WITH_TIMEOUT(page.InResults(), 20000); }

QTreeWidgetItem* ScanPageTest::Node(CFileDisplayDlg& page, const QString& prefix) {
    for (int i = 0; i < page.Root()->childCount(); ++i) {
        if (page.Root()->child(i)->text(0).startsWith(prefix)) return page.Root()->child(i);
    }
    return nullptr;
}

QString ScanPageTest::ActivityLog() const { return QString::fromLatin1(FileBytes(m_logs.filePath("Activity Log.txt"))); }
QString ScanPageTest::RecoveryLog() const { return QString::fromLatin1(FileBytes(m_logs.filePath("Recovery Log.txt"))); }

void ScanPageTest::scanEndsInResultsWithSortedCountedTypes() {
    MakeSession(m_card.bytes, {"WAV", "JPEG", "CR2"});
    auto page = OpenPage();
    ZT_VERIFY_ACCESSIBLE_NAMES(&*page);
    QVERIFY(!page->Command(IdRecoverSelected)->isEnabled());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdToolSave)->isHidden());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdSave)->isHidden());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdBack)->isHidden());
    QVERIFY(page->Picture()->LoadedPath().endsWith("/NoPreview.bmp"));
    WaitForResults(*page);

    // The tree: one node per type, in label order, with its count.
    QStringList labels;
    for (int i = 0; i < page->Root()->childCount(); ++i) labels << page->Root()->child(i)->text(0);
    QCOMPARE(labels, QStringList({"CR2 (1)", "JPEG (14)", "WAV (1)"}));
    // The results state: the first type listed and previewed (a RAW has no preview).
    QCOMPARE(page->Tree()->currentItem(), page->Root()->child(0));
    QCOMPARE(page->ListModel().rowCount(), 1);
    QCOMPARE(page->ListModel().Row(0).fileName, QString("File1.CR2"));
    QVERIFY(page->Picture()->LoadedPath().endsWith("/Preview.bmp"));
    QVERIFY(page->Command(IdRecoverSelected)->isEnabled());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdSave)->isVisible());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdToolSave)->isVisible());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdBack)->isVisible());
    QVERIFY(page->PageButton(CFileDisplayDlg::IdStop)->isHidden());
    QVERIFY(page->ProgressBar()->isHidden());
    QVERIFY(!page->Animation()->Running());
    QVERIFY(page->SavePicture()->isHidden());

    // The monitor's last texts and its summary, written once.
    const QString end = QString::number(m_card.bytes.size() / kSector);
    QTRY_COMPARE(page->PositionText(), end + " / " + end);
    QCOMPARE(page->CountText(), QString("16"));
    QTest::qWait(CFileDisplayDlg::MonitorMs + 200);
    const QString log = ActivityLog();
    QCOMPARE(log.count("Analysing Files Information :"), 1);
    QVERIFY(log.contains("\r\nCurrent Sector : " + end + " / " + end + "\r\nFiles Found : 16\r\n"));
    QVERIFY(log.contains("\r\nAnalysing Completed\r\n"));

    // While scanning, the 1st and the 12th JPEG were copied for the live
    // preview; the 2nd to 11th, 13th and 14th were not.
    std::vector<FileInfo> files = m_session->session.Found().Snapshot();
    auto twelfth = std::find_if(files.begin(), files.end(), [](const FileInfo& f) { return f.FileName() == "File12.JPEG"; });
    QVERIFY(twelfth != files.end());
    QCOMPARE(FileBytes(m_temp.filePath("ZTtemp.JPEG")), SectorsOf(m_card.bytes, *twelfth));
}

void ScanPageTest::ticksFlowBetweenListTypeNodeAndRoot() {
    MakeSession(m_card.bytes, {"WAV", "JPEG", "CR2"});
    auto page = OpenPage();
    WaitForResults(*page);
    QTreeWidgetItem* jpeg = Node(*page, "JPEG");
    page->Tree()->setCurrentItem(jpeg);
    ResultsListModel& list = page->ListModel();
    QCOMPARE(list.rowCount(), 14);
    QCOMPARE(page->CurrentRow(), 0);
    FoundFileList& found = m_session->session.Found();
    auto selectedCount = [&found] {
        int n = 0;
        found.Walk([&n](const FileInfo& f) { n += f.selected != 0; });
        return n;
    };

    // One file ticked ticks its node; unticking the last ticked file unticks it.
    QVERIFY(list.setData(list.index(2, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(list.setData(list.index(5, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(CFolderTreeCtrl::IsTicked(jpeg));
    QCOMPARE(selectedCount(), 2);
    QVERIFY(list.setData(list.index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(CFolderTreeCtrl::IsTicked(jpeg));
    QVERIFY(list.setData(list.index(5, 0), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!CFolderTreeCtrl::IsTicked(jpeg));
    QCOMPARE(selectedCount(), 0);

    // A type node's box ticks all of its files, and the list shows them ticked.
    page->Tree()->ClickCheckBox(jpeg);
    QCOMPARE(selectedCount(), 14);
    QCOMPARE(list.rowCount(), 14);
    for (int r = 0; r < list.rowCount(); ++r) QVERIFY(list.Row(r).ticked);
    QVERIFY(!CFolderTreeCtrl::IsTicked(page->Root()));

    // The root's box reaches every file of every type; the root shows no list.
    page->Tree()->ClickCheckBox(page->Root());
    QCOMPARE(selectedCount(), 16);
    QCOMPARE(list.rowCount(), 0);
    QVERIFY(page->Picture()->LoadedPath().endsWith("/SelectFile.bmp"));
    page->Tree()->setCurrentItem(Node(*page, "WAV"));
    QVERIFY(list.Row(0).ticked);
    page->Tree()->ClickCheckBox(page->Root());
    QCOMPARE(selectedCount(), 0);
}

void ScanPageTest::arrowKeysStopAtTheEnds() {
    MakeSession(m_card.bytes, {"JPEG"});
    auto page = OpenPage();
    WaitForResults(*page);
    QCOMPARE(page->ListModel().rowCount(), 14);
    QCOMPARE(page->CurrentRow(), 0);
    QTest::keyClick(page->List(), Qt::Key_Up);
    QCOMPARE(page->CurrentRow(), 0);
    QCOMPARE(page->List()->currentIndex().row(), 0);
    QTest::keyClick(page->List(), Qt::Key_Down);
    QCOMPARE(page->CurrentRow(), 1);
    page->ClickRow(12);
    QTest::keyClick(page->List(), Qt::Key_Down);
    QCOMPARE(page->CurrentRow(), 13);
    QTest::keyClick(page->List(), Qt::Key_Down);
    QCOMPARE(page->CurrentRow(), 13);
    QCOMPARE(page->List()->currentIndex().row(), 13);
    // A click below the last row reports no row and previews nothing.
    const QString before = page->Picture()->LoadedPath();
    page->ClickRow(-1);
    QCOMPARE(page->CurrentRow(), 13);
    QCOMPARE(page->Picture()->LoadedPath(), before);
    // Without a mark, Down starts at the first row instead of skipping it.
    page->List()->selectionModel()->clear();
    QTest::keyClick(page->List(), Qt::Key_Down);
    QCOMPARE(page->CurrentRow(), 0);
    QCOMPARE(page->List()->currentIndex().row(), 0);
}

void ScanPageTest::previewsShowPicturePlaceholdersAndSound() {
    MakeSession(m_card.bytes, {"WAV", "JPEG", "CR2"});
    auto page = OpenPage();
    WaitForResults(*page);
    const std::vector<FileInfo> files = m_session->session.Found().Snapshot();
    auto record = [&files](std::string_view name) {
        return *std::find_if(files.begin(), files.end(), [name](const FileInfo& f) { return f.FileName() == name; });
    };

    page->Tree()->setCurrentItem(Node(*page, "JPEG"));
    page->ClickRow(3);
    const QString temp = m_temp.filePath("ZTtemp.JPEG");
    QCOMPARE(page->PreviewTempPath(), temp);
    QCOMPARE(FileBytes(temp), SectorsOf(m_card.bytes, record("File4.JPEG")));
    QVERIFY(page->Picture()->ImageLoaded());
    QCOMPARE(page->Picture()->LoadedPath(), temp);
    QCOMPARE(page->Picture()->Image().size(), QSize(67, 48));
    QVERIFY(page->Player()->isHidden());

    page->ClickRow(13);
    QVERIFY(page->Picture()->LoadedPath().endsWith("/Corrpted.bmp"));

    page->Tree()->setCurrentItem(Node(*page, "WAV"));
    QVERIFY(page->Picture()->isHidden());
    QVERIFY(page->Player()->isVisible());
    const QString sound = m_temp.filePath("ZTtemp.WAV");
    QTRY_COMPARE(page->Player()->Source(), sound);
    QCOMPARE(FileBytes(sound), SectorsOf(m_card.bytes, record("File1.WAV")));
    if (page->Player()->Available()) QTRY_VERIFY_WITH_TIMEOUT(page->Player()->Playing(), 5000);

    // A RAW has no preview: the picture comes back with its placeholder and the sound stops.
    page->Tree()->setCurrentItem(Node(*page, "CR2"));
    QVERIFY(page->Picture()->isVisible());
    QVERIFY(page->Player()->isHidden());
    QVERIFY(!page->Player()->Playing());
    QVERIFY(page->Picture()->LoadedPath().endsWith("/Preview.bmp"));

    // Exit takes the preview files with it.
    m_answers = {MessageAnswer::Ok};
    page->ConfirmExit();
    QVERIFY(!QFile::exists(temp));
    QVERIFY(!QFile::exists(sound));
}

void ScanPageTest::saveGuardsSaveAndTheOverwriteQuestion() {
    MakeSession(m_card.bytes, {"WAV", "JPEG", "CR2"});
    auto page = OpenPage();
    WaitForResults(*page);
    QTemporaryDir out;
    QString chosen;
    SetBrowseHandler([&chosen](const BrowseRequest& request) {
        return request.title == "Select Folder of Image File" ? chosen : QString();
    });

    // Cancelled browser: nothing. A folder that does not exist: refused.
    page->SaveCommand();
    QVERIFY(m_boxes.empty());
    chosen = out.filePath("missing");
    page->SaveCommand();
    QCOMPARE(int(m_boxes.size()), 1);
    QCOMPARE(m_boxes[0].text, QString("Select the valid path."));
    QCOMPARE(m_boxes[0].icon, MessageIcon::Error);

    // Nothing ticked: the run still reports, then asks for a selection.
    chosen = out.path();
    page->SaveCommand();
    QCOMPARE(int(m_boxes.size()), 2);
    QCOMPARE(m_boxes[1].text, QString("Please select the file for saving."));
    QVERIFY(m_endMessages.isEmpty());

    page->Tree()->ClickCheckBox(page->Root());
    page->SaveCommand();
    QCOMPARE(m_endMessages, QStringList({"File Saved Successfully."}));
    const std::vector<FileInfo> files = m_session->session.Found().Snapshot();
    for (const FileInfo& f : files) {
        const QString path = out.path() + "/" + QString::fromLatin1(f.TypeName().data()) + "/" +
                             QString::fromLatin1(f.FileName().data());
        QCOMPARE(FileBytes(path), SectorsOf(m_card.bytes, f));
    }
    // The preview's copy holds the same bytes as the saved file.
    page->Tree()->setCurrentItem(Node(*page, "JPEG"));
    QCOMPARE(FileBytes(m_temp.filePath("ZTtemp.JPEG")), FileBytes(out.path() + "/JPEG/File1.JPEG"));

    // A second run finds every file: No, then No to All keeps the rest unasked.
    m_overwrite = {OverwriteAnswer::No, OverwriteAnswer::NoToAll};
    page->SaveCommand();
    QCOMPARE(m_asked.size(), 2);
    QCOMPARE(m_asked[0], QString("\"File1.WAV\" this file is already exist."));
    QCOMPARE(m_endMessages.size(), 2);
    QCOMPARE(m_endMessages[1], QString("File Saved Successfully."));
    // Esc answers nothing: the next file is asked again.
    m_asked.clear();
    m_overwrite = {OverwriteAnswer::Closed, OverwriteAnswer::YesToAll};
    page->SaveCommand();
    QCOMPARE(m_asked.size(), 2);

    const QString log = RecoveryLog();
    QCOMPARE(log.count("-----------------------Start--------------------------"), 1);
    QCOMPARE(log.count("Files Recover :16 / 16"), 3);
    QCOMPARE(log.count("Files Recover :0 / 0"), 1);
}

void ScanPageTest::backDropsFoundFilesAndThePreviewFile() {
    MakeSession(m_card.bytes, {"JPEG"});
    auto page = OpenPage();
    WaitForResults(*page);
    const QString temp = page->PreviewTempPath();
    QCOMPARE(temp, m_temp.filePath("ZTtemp.JPEG"));
    QVERIFY(QFile::exists(temp));
    page->BackCommand();
    QCOMPARE(page->result(), int(PageResult::Back));
    QVERIFY(!page->isVisible());
    QCOMPARE(m_session->session.Found().Count(), 0u);
    QVERIFY(!QFile::exists(temp));
}

void ScanPageTest::emptyScanLeavesRootAndRefusesSave() {
    MakeSession(Bytes(200 * kSector, 0), {"JPEG", "WAV"});
    // Two sectors that cannot be read, re-read one by one: the scan goes on
    // over zeros and says so at its end.
    m_session->session.BadSectors().Set(RetryAll);
    m_session->rawIo.AddBadSector(kCard, 17);
    m_session->rawIo.AddBadSector(kCard, 18);
    auto page = OpenPage();
    WaitForResults(*page);
    // Back is offered from here on, so the summary is already in the log.
    QVERIFY(ActivityLog().contains("Analysing Completed"));
    QCOMPARE(page->Root()->childCount(), 0);
    QCOMPARE(page->ListModel().rowCount(), 0);
    QVERIFY(page->Picture()->LoadedPath().endsWith("/NoPreview.bmp"));
    QTRY_COMPARE_WITH_TIMEOUT(int(m_boxes.size()), 1, 3000);
    QCOMPARE(m_boxes[0].text, QString("2 sectors could not be read and were scanned as zeros."));
    QVERIFY(ActivityLog().contains("\r\nFiles Found : 0\r\n"));
    QVERIFY(ActivityLog().contains("Unreadable Sectors : 2"));
    SetBrowseHandler([](const BrowseRequest&) -> QString {
        qFatal("the folder browser must not open");
        return {};
    });
    page->SaveCommand();
    QCOMPARE(int(m_boxes.size()), 2);
    QCOMPARE(m_boxes[1].text, QString("No file found."));
    QCOMPARE(m_boxes[1].icon, MessageIcon::Warning);
}

void ScanPageTest::stopAndBackWhileScanning() {
    // Large enough to take a while; its patterned bytes match no JPEG header.
    constexpr std::uint64_t kLong = 2'000'000;
    MakeSession({}, {"JPEG"}, kLong);
    auto page = OpenPage();
    QVERIFY(page->Scanning());
    page->BackCommand();
    QCOMPARE(int(m_boxes.size()), 1);
    QCOMPARE(m_boxes[0].text, QString("Process is running."));
    QVERIFY(page->isVisible());
    page->SaveCommand();
    QCOMPARE(m_boxes.back().text, QString("Process is running."));

    // Cancel keeps the scan going; OK ends it at the next chunk.
    m_answers = {MessageAnswer::Cancel};
    page->StopCommand();
    QCOMPARE(m_boxes.back().text, QString("Are you sure you want to stop this process?"));
    QVERIFY(page->PageButton(CFileDisplayDlg::IdStop)->isVisible());
    QVERIFY(page->Scanning());
    m_answers = {MessageAnswer::Ok};
    page->StopCommand();
    QVERIFY(page->PageButton(CFileDisplayDlg::IdStop)->isHidden());
    WaitForResults(*page);
    QVERIFY(page->Driver().EndedByStop());
    QTRY_VERIFY_WITH_TIMEOUT(ActivityLog().contains("\r\nAnalysing Aborted\r\n"), 3000);
    QVERIFY(page->Driver().CurrentSector() < kLong);
}

void ScanPageTest::stopHoldsTheScanWhileAskingAndNoResumesIt() {
    // The card's files, a long empty stretch, and the files again: long
    // enough for the question to come mid-scan, with files after it.
    Bytes card = m_card.bytes;
    card.resize(card.size() + 120'000 * kSector, 0);
    card.insert(card.end(), m_card.bytes.begin(), m_card.bytes.end());
    const std::uint64_t end = card.size() / kSector;
    MakeSession(card, {"WAV", "JPEG", "CR2"});
    {
        auto page = OpenPage();
        WaitForResults(*page);
    }
    const std::vector<FileInfo> unstopped = m_session->session.Found().Snapshot();
    QCOMPARE(int(unstopped.size()), 32);

    MakeSession(card, {"WAV", "JPEG", "CR2"});
    auto page = OpenPage();
    QVERIFY(page->Scanning());
    std::uint64_t asked = 0;
    std::uint64_t answered = 0;
    bool runningWhileAsked = false;
    SetMessageBoxHandler([&](const MessageRequest& request) {
        m_boxes.push_back(request);
        // The scan reaches its next chunk boundary and waits there.
        QTest::qSleep(100);
        asked = page->Driver().CurrentSector();
        QTest::qSleep(400);
        answered = page->Driver().CurrentSector();
        runningWhileAsked = page->Scanning();
        return MessageAnswer::Cancel;
    });
    page->StopCommand();
    QCOMPARE(int(m_boxes.size()), 1);
    QCOMPARE(m_boxes[0].text, QString("Are you sure you want to stop this process?"));
    QVERIFY(runningWhileAsked);
    QVERIFY2(asked < end, "the question came after the scan's end");
    QCOMPARE(answered, asked);
    QVERIFY(page->PageButton(CFileDisplayDlg::IdStop)->isVisible());

    // No: the scan goes on from where it was held to the same files.
    WaitForResults(*page);
    QVERIFY(!page->Driver().EndedByStop());
    QCOMPARE(page->Driver().CurrentSector(), end);
    QVERIFY(m_session->session.Found().Snapshot() == unstopped);
    QTRY_VERIFY_WITH_TIMEOUT(ActivityLog().contains("\r\nAnalysing Completed\r\n"), 3000);
    QVERIFY(!ActivityLog().contains("Analysing Aborted"));
}

// A FAT16 card written by mkfs.vfat and mtools, scanned with the card's file
// system on: its folders become a second root beside the type root, a
// folder lists its files by name, the fragmented one previews whole, and a
// tick on the root saves every file under its folders with its time.
void ScanPageTest::theCardsFoldersAreListedPreviewedAndSavedByName() {
    const QString folder = m_temp.filePath("fat16");
    const QString make = QStringLiteral("TZ=UTC '%1' fat16 '%2' > '%2.log' 2>&1").arg(ZT_MAKE_CARD, folder);
    if (std::system(make.toLocal8Bit().constData()) != 0) QSKIP("mkfs.vfat and mtools are needed for the card");
    const QByteArray image = FileBytes(folder + "/card.img");
    MakeSession(Bytes(image.begin(), image.end()), {"JPEG"});
    m_session->session.SetUsesFileSystems(true);
    auto page = OpenPage();
    WaitForResults(*page);
    QVERIFY2(ActivityLog().contains("File Systems :\r\nFAT16 at sector 0 \"PHONE\" : 5 live, 3 deleted, 0 orphan files"),
             qPrintable(ActivityLog()));

    CFolderTreeCtrl* tree = page->Tree();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0), page->Root());
    QTreeWidgetItem* card = tree->topLevelItem(1);
    QCOMPARE(card->text(0), QString("FAT16 at sector 0"));
    QStringList folders;
    std::function<void(QTreeWidgetItem*, const QString&)> walk = [&](QTreeWidgetItem* node, const QString& path) {
        folders << path;
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), path + "/" + node->child(i)->text(0));
    };
    walk(card, "");
    QCOMPARE(folders, QStringList({"", "/DCIM", "/DCIM/100PHONE", "/Music", "/Old", "/Old/Trip"}));

    QTreeWidgetItem* phone = card->child(0)->child(0);
    tree->setCurrentItem(phone);
    QStringList names;
    for (int row = 0; row < page->ListModel().rowCount(); ++row) names << page->ListModel().Row(row).fileName;
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(sorted, QStringList({"A.jpg", "C.jpg", "D fragmented.jpg", "IMG_20260714_101112.jpg",
                                  QString::fromUtf8("Été à Zürich.jpg")}));
    page->ClickRow(static_cast<int>(names.indexOf("D fragmented.jpg")));
    QCOMPARE(FileBytes(m_temp.filePath("ZTtemp.JPEG")), FileBytes(folder + "/files/DCIM/100PHONE/D fragmented.jpg"));

    // Ticking the folder ticks its files in the list and in the found files.
    tree->ClickCheckBox(phone);
    for (int row = 0; row < page->ListModel().rowCount(); ++row) QVERIFY(page->ListModel().Row(row).ticked);
    std::size_t ticked = 0;
    m_session->session.Found().Walk([&ticked](const FileInfo& f) { ticked += f.selected; });
    QCOMPARE(ticked, std::size_t{5});

    QTemporaryDir out;
    SetBrowseHandler([&out](const BrowseRequest&) { return out.path(); });
    tree->ClickCheckBox(card);
    page->SaveCommand();
    QCOMPARE(m_endMessages, QStringList({"File Saved Successfully."}));
    for (const char* file : {"DCIM/100PHONE/A.jpg", "DCIM/100PHONE/D fragmented.jpg", "Music/Cover.jpg",
                             "Old/Trip/Beach day.jpg"}) {
        const QString saved = out.filePath(QString("FAT16 at sector 0/") + file);
        const QString written = folder + "/files/" + file;
        QCOMPARE(FileBytes(saved), FileBytes(written));
        struct stat a {}, b {};
        QCOMPARE(::stat(saved.toLocal8Bit().constData(), &a), 0);
        QCOMPARE(::stat(written.toLocal8Bit().constData(), &b), 0);
        QCOMPARE(a.st_mtime, b.st_mtime);
    }
    QVERIFY(RecoveryLog().contains("Files Recover :8 / 8"));
}

int main(int argc, char** argv) {
    // As the program does: the default backend of this Qt release fails without extra plug-ins.
    PreferFfmpegMediaBackend();
    QApplication app(argc, argv);
    ScanPageTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "scan_page_test.moc"
