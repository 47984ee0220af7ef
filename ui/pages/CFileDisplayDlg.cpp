#include "ui/pages/CFileDisplayDlg.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProgressBar>
#include <QStyle>
#include <QTableView>
#include <QTreeWidgetItem>

#include "core/filesystems/named_files.h"
#include "logs/activity_entries.h"
#include "platform/files.h"
#include "platform/private_file.h"
#include "recovery/save_checks.h"
#include "recovery/saving_run.h"
#include "ui/base/message_box.h"
#include "ui/controls/CFolderTreeCtrl.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/key_colour.h"
#include "ui/controls/row_ticking.h"
#include "ui/dialogs/CReplaceDlg.h"
#include "ui/dialogs/CSavingDlg.h"
#include "ui/dialogs/CWaitDlg.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/media_preview.h"
#include "ui/pages/scan_animation.h"
#include "ui/shell/document_window.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

namespace {

const QString kRootLabel = QStringLiteral("Root");
const QString kProcessRunning = QStringLiteral("Process is running.");
const QString kStopQuestion = QStringLiteral("Are you sure you want to stop this process?");

QIcon SmallIcon(QStyle::StandardPixmap which) { return QApplication::style()->standardIcon(which); }

}  // namespace

CFileDisplayDlg::CFileDisplayDlg(ShellContext& context, QWidget* parent)
    : CPageDlg(context, parent),
      m_session(context.session),
      m_reader(m_session.Source(), m_session.BadSectors(), m_session.Seams().rawIo),
      m_extractor(m_session.Source(), m_session.BadSectors(),
                  ChoosePreviewFolder(PreviewFolderCandidates(), m_session.Source(), m_session.Seams().destination,
                                      m_session.Seams().rawIo),
                  m_session.Seams().rawIo),
      m_live(m_extractor),
      m_fill(m_model) {
    BuildControls();
    StartScan();
}

CFileDisplayDlg::~CFileDisplayDlg() {
    m_monitor.stop();
    m_treeTimer.stop();
    // The scan is stopped and awaited by its driver; a preview ends by itself.
    m_driver.reset();
    if (m_previewThread.joinable()) m_previewThread.join();
}

void CFileDisplayDlg::BuildControls() {
    setObjectName(QStringLiteral("CFileDisplayDlg"));
    m_toolSave = new CButtonST(this);
    PlaceDu(m_toolSave, 2, 7, 38, 30);
    m_tree = new CFolderTreeCtrl(this);
    m_tree->setAccessibleName(QStringLiteral("Found file types"));
    m_tree->setIconSize(QSize(16, 16));
    PlaceDu(m_tree, 8, 50, 118, 218);
    m_tree->SetScanRunningProbe([this] { return Scanning(); });

    m_list = new ResultsListView(this);
    m_list->setAccessibleName(QStringLiteral("Found files"));
    m_list->setModel(&m_model);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PlaceDu(m_list, 132, 50, 310, 100);
    // The file names take what the window gains; the sizes keep their width.
    const int nameWidth = m_list->width() * 249 / 359;
    m_list->setColumnWidth(1, m_list->width() - 2 * m_list->frameWidth() - nameWidth);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->installEventFilter(this);
    // Space and the accessibility bus tick a file as a click on its box does;
    // a file selected through the bus is picked as a click picks it.
    EnableRowTicking(m_list, {[this](const QModelIndex& row) {
                                  return !Scanning() && !ListFilling() && !PreviewRunning() && FirstCellCheckable(row);
                              },
                              FlipFirstCellCheck, [this](const QModelIndex& row) { ClickRow(row.row()); }});

    BuildThumbnails();

    m_picture = new CPictureCtrl(this);
    m_picture->setAccessibleName(QStringLiteral("Preview"));
    PlaceDu(m_picture, 132, 155, 310, 113);
    m_media = new MediaPreview(this);
    m_media->setGeometry(m_picture->geometry());

    m_progressFrame = new QFrame(this);
    m_progressFrame->setFrameShape(QFrame::StyledPanel);
    PlaceDu(m_progressFrame, 8, 274, 300, 36);
    m_animation = new ScanAnimation(this);
    PlaceDu(m_animation, 14, 280, 26, 24);
    m_positionLabel = new CTransparentStatic(QStringLiteral("Current Sector  : "), this);
    PlaceDu(m_positionLabel, 46, 279, 64, 10);
    m_position = new CTransparentStatic(QString(), this);
    PlaceDu(m_position, 110, 279, 112, 10);
    m_countLabel = new CTransparentStatic(QStringLiteral("File's Found  :"), this);
    PlaceDu(m_countLabel, 46, 293, 64, 10);
    m_count = new CTransparentStatic(QString(), this);
    PlaceDu(m_count, 110, 293, 60, 10);
    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(QStringLiteral("Scan progress"));
    m_progress->setTextVisible(false);
    PlaceDu(m_progress, 224, 286, 78, 9);

    m_stop = new CButtonST(this);
    PlaceDu(m_stop, 316, 277, 38, 30);
    m_back = new CButtonST(this);
    PlaceDu(m_back, 360, 277, 38, 30);
    m_save = new CButtonST(this);
    PlaceDu(m_save, 404, 277, 38, 30);

    // Grown, the tree, the list and the preview take the room: the list and
    // the preview share the added height, the progress and buttons go down.
    Anchor(m_tree, {0, 0, 0.25, 1});
    Anchor(m_list, {0.25, 0, 0.75, 0.5});
    Anchor(m_thumbnails->Grid(), {0.25, 0, 0.75, 0.5});
    Anchor(m_thumbnails->Switch(), {0, 1, 0, 0});
    Anchor(m_picture, {0.25, 0.5, 0.75, 0.5});
    Anchor(m_media, {0.25, 0.5, 0.75, 0.5});
    for (QWidget* below : std::initializer_list<QWidget*>{m_progressFrame, m_animation, m_positionLabel, m_position,
                                                         m_countLabel, m_count, m_progress}) {
        Anchor(below, {0, 1, 0, 0});
    }
    for (QWidget* corner : std::initializer_list<QWidget*>{m_stop, m_back, m_save}) Anchor(corner, {1, 1, 0, 0});

    // The skin: the toolbar's live Save just before Help, then the page's own buttons.
    SkinButton(m_toolSave, skin::ToolSave, skin::ToolSaveHover, ToolbarKeyColour, QStringLiteral("Save"));
    SkinToolbar();
    SkinButton(m_back, skin::Back, skin::BackHover, ToolbarKeyColour, QStringLiteral("Back"));
    SkinButton(m_save, skin::Save, skin::SaveHover, ToolbarKeyColour, QStringLiteral("Save"));
    SkinButton(m_stop, skin::Stop, skin::StopHover, ToolbarKeyColour, QStringLiteral("Stop"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Page)));

    connect(m_toolSave, &QAbstractButton::clicked, this, &CFileDisplayDlg::SaveCommand);
    connect(m_save, &QAbstractButton::clicked, this, &CFileDisplayDlg::SaveCommand);
    connect(Command(IdRecoverSelected), &QAction::triggered, this, &CFileDisplayDlg::SaveCommand);
    connect(m_stop, &QAbstractButton::clicked, this, &CFileDisplayDlg::StopCommand);
    connect(m_back, &QAbstractButton::clicked, this, &CFileDisplayDlg::BackCommand);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnTreeSelection(current); });
    connect(m_tree, &CFolderTreeCtrl::CheckToggled, this, &CFileDisplayDlg::OnTreeCheck);
    connect(&m_model, &ResultsListModel::RowTickChanged, this, &CFileDisplayDlg::OnListTick);
    connect(m_list, &QTableView::clicked, this, [this](const QModelIndex& index) { ClickRow(index.row()); });
    connect(&m_fill, &ResultsListFill::RowsAdded, this,
            [this](int row) { m_list->scrollTo(m_model.index(row, 0)); });

    // Page start: scanning state.
    m_root = m_tree->AddItem(nullptr, kRootLabel);
    m_root->setIcon(0, SmallIcon(QStyle::SP_DriveHDIcon));
    Command(IdRecoverSelected)->setEnabled(false);
    m_toolSave->hide();
    m_save->hide();
    m_back->hide();
    SavePicture()->show();
    m_media->SetFull(false);
    ShowPlaceholder(skin::NoPreview);
    m_progress->setRange(0, 100);
    m_animation->Start();
}

void CFileDisplayDlg::BuildThumbnails() {
    m_thumbnailMaker = std::make_unique<ThumbnailMaker>(m_session.Source(), m_session.BadSectors(),
                                                        m_session.Seams().rawIo, m_session.Found());
    m_thumbnails = new ResultsThumbnails(
        this, m_list, m_model, *m_thumbnailMaker,
        {[this] { return SelectedType(); },
         [](TypeId type) { return ShownPreviewKind(type) == PreviewKind::Picture; },
         [this](int row) { ClickRow(row); },
         [this](const QModelIndex& row) {
             return !Scanning() && !ListFilling() && !PreviewRunning() && FirstCellCheckable(row);
         }});
    // In the place of the progress display, which the results no longer show.
    PlaceDu(m_thumbnails->Switch(), 10, 281, 90, 12);
}

CButtonST* CFileDisplayDlg::PageButton(int id) const {
    switch (id) {
        case IdBack: return m_back;
        case IdToolSave: return m_toolSave;
        case IdStop: return m_stop;
        case IdSave: return m_save;
        default: return ToolButton(id);
    }
}

QString CFileDisplayDlg::PositionText() const { return m_position->text(); }
QString CFileDisplayDlg::CountText() const { return m_count->text(); }
bool CFileDisplayDlg::Scanning() const { return m_driver && m_driver->Running(); }

void CFileDisplayDlg::StartScan() {
    ScanCallbacks callbacks;
    callbacks.previewFoundPicture = [this](const FileInfo& file) { m_live.Offer(file); };
    callbacks.selectFirstTypeAtStop = [this] {
        QMetaObject::invokeMethod(this, [this] { SelectFirstType(); }, Qt::QueuedConnection);
    };
    if (m_session.UsesFileSystems()) {
        m_cardPass = std::make_unique<fs::FileSystemPass>(m_reader);
        fs::ReadWithScan(callbacks, *m_cardPass, m_session.Types(), m_session.Found());
    }
    m_driver = std::make_unique<ScanDriver>(m_reader, m_session.Types(), m_session.Found(), std::move(callbacks),
                                            m_session.Signatures());
    m_monitor.setInterval(MonitorMs);
    m_treeTimer.setInterval(TreeMs);
    connect(&m_monitor, &QTimer::timeout, this, &CFileDisplayDlg::OnMonitorTick);
    connect(&m_treeTimer, &QTimer::timeout, this, &CFileDisplayDlg::OnTreeTick);
    m_monitor.start();
    m_treeTimer.start();
    m_driver->Start();
}

void CFileDisplayDlg::OnMonitorTick() {
    const bool ended = !m_driver->Running();
    const auto current = static_cast<std::int64_t>(m_driver->CurrentSector());
    const auto end = static_cast<std::int64_t>(m_driver->ScanEndSector());
    const auto found = static_cast<std::int64_t>(m_session.Found().Count());
    m_position->SetText(QStringLiteral("%1 / %2").arg(current).arg(end));
    m_count->SetText(QString::number(found));
    // A range that ends at sector 0 is scanned at once: all of it is done.
    m_progress->setValue(end > 0 ? static_cast<int>(current * 100 / end) : 100);
    if (!ended || m_summaryWritten) return;

    m_monitor.stop();
    m_summaryWritten = true;
    const ScanSummary summary = m_driver->Summary();
    WriteEntries(m_session.Logs(), LogKind::Activity, ScanSummaryEntries(summary));
    if (m_cardPass) {
        WriteEntries(m_session.Logs(), LogKind::Activity, {FileSystemsEntry(fs::FileSystemLines(*m_cardPass))});
    }
    if (summary.sourceEndedAt) {
        // The scan failed: what is listed was found before the source ended.
        const QString text = QStringLiteral("The scan failed: %1. The files listed were found before it.")
                                 .arg(QString::fromStdString(SourceEndedText(*summary.sourceEndedAt)));
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Error, MessageButtons::Ok});
    } else if (const std::uint64_t zeros = summary.unreadableSectors; zeros > 0) {
        // The files found over those sectors may be damaged; the user is told once.
        const QString text = zeros == 1 ? QStringLiteral("1 sector could not be read and was scanned as zeros.")
                                        : QStringLiteral("%1 sectors could not be read and were scanned as zeros.")
                                              .arg(zeros);
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Warning, MessageButtons::Ok});
    }
}

void CFileDisplayDlg::OnTreeTick() {
    if (m_session.Found().Count() > 0) {
        if (std::optional<std::string> path = m_live.TakeReady()) {
            m_previewTempPath = QString::fromStdString(*path);
            ShowPicture(m_previewTempPath);
        }
    }
    const bool ended = !m_driver->Running();
    RefreshTree();
    if (ended) EndOfScan();
}

void CFileDisplayDlg::RefreshTree() {
    const TypeDefinitionList& types = m_session.Types();
    bool added = false;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::int32_t count = m_driver->FoundCount(i);
        if (count <= 0) continue;
        const QString label = TypeNodeLabel(types[i].Name(), count);
        QTreeWidgetItem* node = nullptr;
        for (int c = 0; c < m_root->childCount() && node == nullptr; ++c) {
            if (NodeType(m_root->child(c)) == types[i].type) node = m_root->child(c);
        }
        if (node != nullptr) {
            if (node->text(0) != label) node->setText(0, label);
            continue;
        }
        // Kept in label order whatever order the types are found in.
        int at = 0;
        while (at < m_root->childCount() && QString::compare(m_root->child(at)->text(0), label, Qt::CaseInsensitive) < 0) {
            ++at;
        }
        node = m_tree->AddItem(m_root, label);
        SetNodeType(node, types[i].type);
        m_root->removeChild(node);
        m_root->insertChild(at, node);
        QIcon icon = SmallIcon(QStyle::SP_DirClosedIcon);
        icon.addPixmap(SmallIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
        node->setIcon(0, icon);
        added = true;
    }
    if (added) m_root->setExpanded(true);
}

void CFileDisplayDlg::EndOfScan() {
    m_treeTimer.stop();
    if (m_inResults) return;
    // The summary is written before Back can be pressed: a Back between this
    // tick and the monitor's next one would otherwise lose it.
    if (!m_summaryWritten) OnMonitorTick();
    m_inResults = true;
    SavePicture()->hide();
    m_back->show();
    m_toolSave->show();
    m_animation->Stop();
    m_animation->hide();
    m_save->show();
    m_progress->hide();
    m_stop->hide();
    m_positionLabel->hide();
    m_position->hide();
    m_countLabel->hide();
    m_count->hide();
    m_progressFrame->hide();
    m_thumbnails->Switch()->show();
    Command(IdRecoverSelected)->setEnabled(true);
    ShowCardFolders();
    if (m_root->childCount() > 0) {
        m_tree->setCurrentItem(m_root);
        SelectFirstType();
    }
}

void CFileDisplayDlg::SelectFirstType() {
    if (m_root->childCount() == 0) return;
    m_tree->setCurrentItem(m_root->child(0));
}

TypeId CFileDisplayDlg::SelectedType() const { return NodeType(m_tree->currentItem()); }

void CFileDisplayDlg::OnTreeSelection(QTreeWidgetItem* item) {
    // Filling a list waits in a modal loop: a node chosen meanwhile (a click,
    // or the accessibility bus) is listed once this one is done, not dropped.
    if (m_inTreeSelection || ListFilling()) {
        m_selectionWaiting = true;
        return;
    }
    if (item == nullptr) return;
    m_inTreeSelection = true;
    m_model.Clear();
    m_currentRow = -1;
    m_folderShown = false;
    const bool cardFolder = !CardFolderKey(item).isEmpty();
    if (item->parent() == m_root || cardFolder) {
        if (cardFolder) {
            ListCardFolder(item);
        } else {
            FillList(NodeType(item));
        }
        m_tree->setFocus();
        if (m_model.rowCount() > 0) {
            m_currentRow = 0;
            SelectRow(0);
            PreviewRow(0);
        }
    } else if (item == m_root) {
        // The player would hide the placeholder: the picture takes its place again.
        m_media->Stop();
        m_media->SetFull(false);
        m_picture->show();
        ShowPlaceholder(skin::SelectFile);
    }
    m_inTreeSelection = false;
    ListChosenMeanwhile(item);
}

void CFileDisplayDlg::ListChosenMeanwhile(const QTreeWidgetItem* listed) {
    if (std::exchange(m_selectionWaiting, false) && m_tree->currentItem() != listed) {
        OnTreeSelection(m_tree->currentItem());
    }
}

void CFileDisplayDlg::FillList(TypeId type) {
    if (Scanning() || ListFilling()) return;
    m_shownType = type;
    if (ShownPreviewKind(type) == PreviewKind::Media) m_media->SetFull(true);
    if (!m_fill.Start(m_session.Found(), type)) return;
    RunWaitDialog();
    m_list->scrollToTop();
    // The type node is ticked exactly when one of its files is.
    if (QTreeWidgetItem* node = m_tree->currentItem(); node != nullptr && node->parent() == m_root) {
        if (CFolderTreeCtrl::IsTicked(node) != m_model.AnyTicked()) {
            m_tickingTree = true;
            m_tree->SetItemTicked(node, m_model.AnyTicked());
            m_tickingTree = false;
        }
    }
}

void CFileDisplayDlg::RunWaitDialog() {
    CWaitDlg wait(
        SkinFolder(), [this] { return ListFilling(); }, [this] { return PreviewRunning(); }, this);
    wait.exec();
}

void CFileDisplayDlg::OnListTick(int row, bool ticked) {
    if (Scanning() || ListFilling()) return;
    if (QTreeWidgetItem* node = m_tree->currentItem(); node != nullptr && node->parent() == m_root) {
        const bool nodeTicked = ticked || m_model.AnyTicked();
        if (CFolderTreeCtrl::IsTicked(node) != nodeTicked) {
            m_tickingTree = true;
            m_tree->SetItemTicked(node, nodeTicked);
            m_tickingTree = false;
        }
    }
    m_session.Found().SetSelectedByName(RecordName(row).toStdString(), ticked);
}

void CFileDisplayDlg::OnTreeCheck(QTreeWidgetItem* item, int state) {
    if (m_tickingTree || Scanning() || ListFilling() || item == nullptr) return;
    const bool ticked = state != 0;
    if (!CardFolderKey(item).isEmpty()) {
        TickCardFolder(item, ticked);
    } else if (item != m_root) {
        m_session.Found().SetSelectedByType(NodeType(item), ticked);
        m_model.Clear();
        FillList(NodeType(item));
        ListChosenMeanwhile(item);
    } else {
        m_session.Found().SetSelectedAll(ticked);
    }
}

void CFileDisplayDlg::SelectRow(int row) {
    const QModelIndex index = m_model.index(row, 0);
    m_list->selectionModel()->setCurrentIndex(index,
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
}

void CFileDisplayDlg::ClickRow(int row) {
    if (Scanning() || PreviewRunning() || row < 0 || row >= m_model.rowCount()) return;
    m_currentRow = row;
    PreviewRow(row);
    SelectRow(row);
    m_list->setFocus();
}

void CFileDisplayDlg::MoveSelection(int step) {
    if (Scanning() || PreviewRunning() || m_inKeys || m_model.rowCount() == 0) return;
    m_inKeys = true;
    const QModelIndex mark = m_list->selectionModel()->currentIndex();
    // Without a mark (the list was just filled again) either key starts at the first row.
    int row = mark.isValid() ? mark.row() : 0;
    if (mark.isValid() && step > 0 && row < m_model.rowCount() - 1) ++row;
    if (mark.isValid() && step < 0 && row > 0) --row;
    m_currentRow = row;
    PreviewRow(row);
    SelectRow(row);
    m_list->setFocus();
    m_inKeys = false;
}

bool CFileDisplayDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            MoveSelection(key == Qt::Key_Down ? 1 : -1);
            return true;
        }
    }
    return CPageDlg::eventFilter(watched, event);
}

std::optional<FileInfo> CFileDisplayDlg::FindRecord(const QString& fileName, TypeId type) const {
    const std::string name = fileName.toStdString();
    std::optional<FileInfo> found;
    m_session.Found().Walk([&](const FileInfo& file) {
        if (!found && file.FileName() == name && file.type == type) found = file;
    });
    return found;
}

void CFileDisplayDlg::PreviewRow(int row) {
    if (row < 0 || row >= m_model.rowCount()) return;
    const TypeId type = RowType(row);
    const PreviewKind kind = ShownPreviewKind(type);
    const QString fileName = RecordName(row);
    if (kind == PreviewKind::Media) {
        m_picture->hide();
        const std::optional<FileInfo> record = FindRecord(fileName, type);
        if (!record) return;
        m_media->Close();
        StartExtraction(*record, kind);
        return;
    }
    m_media->Stop();
    m_media->SetFull(false);
    m_picture->show();
    if (kind == PreviewKind::None) {
        ShowPlaceholder(skin::Preview);
        return;
    }
    const std::optional<FileInfo> record = FindRecord(fileName, type);
    if (!record) return;
    StartExtraction(*record, kind);
    m_picture->update();
}

void CFileDisplayDlg::StartExtraction(const FileInfo& record, PreviewKind kind) {
    if (PreviewRunning()) return;
    if (m_previewThread.joinable()) m_previewThread.join();
    m_previewRunning.store(true, std::memory_order_release);
    // A file the card's file system names is previewed from its pieces, as it is saved.
    const std::vector<SectorRun> runs = [this, &record] {
        const std::optional<NamedFile> named = m_session.Found().NamedByName(record.FileName());
        return named ? named->runs : std::vector<SectorRun>{};
    }();
    m_previewThread = std::thread([this, record, kind, runs] {
        const std::optional<std::string> path = m_extractor.Extract(record, runs);
        // The page's controls change on the user-interface thread only; the
        // slot is emptied there too, after them.
        QMetaObject::invokeMethod(
            this,
            [this, path, kind] {
                if (path && !Scanning()) {
                    m_previewTempPath = QString::fromStdString(*path);
                    if (kind == PreviewKind::Picture) {
                        // A RAW file without a preview picture is not damaged: it has no preview.
                        if (!m_picture->Load(m_previewTempPath)) {
                            ShowPlaceholder(IsCameraRawType(SelectedType()) ? skin::Preview : skin::Corrupted);
                        }
                    } else {
                        QTimer::singleShot(MediaStartMs, this, [this] { m_media->Play(m_previewTempPath); });
                    }
                    if (m_currentRow >= 0 && m_currentRow < m_model.rowCount()) SelectRow(m_currentRow);
                }
                m_previewRunning.store(false, std::memory_order_release);
            },
            Qt::QueuedConnection);
    });
    RunWaitDialog();
}

void CFileDisplayDlg::ShowPlaceholder(const QString& name) { m_picture->Load(SkinFolder() + name); }

void CFileDisplayDlg::ShowPicture(const QString& path) {
    if (!m_picture->Load(path)) ShowPlaceholder(skin::Corrupted);
}

void CFileDisplayDlg::StopCommand() {
    if (!Scanning()) return;
    m_animation->Stop();
    m_monitor.stop();
    m_treeTimer.stop();
    // The scan waits at its next chunk while the question is open: it can
    // neither run on nor end between the question and the answer.
    const bool stopping = AskToStop(m_driver->Slot(), [this] {
        return ShowMessageBox({this, Context().settings.appCaption, kStopQuestion, MessageIcon::Question,
                               MessageButtons::OkCancel}) == MessageAnswer::Ok;
    });
    if (stopping) {
        m_progress->hide();
        m_stop->hide();
    }
    m_picture->update();
    m_animation->Start();
    m_monitor.start();
    m_treeTimer.start();
}

void CFileDisplayDlg::BackCommand() {
    if (Scanning()) {
        ShowMessageBox(
            {this, Context().settings.appCaption, kProcessRunning, MessageIcon::Warning, MessageButtons::Ok});
        return;
    }
    m_media->Close();
    m_session.Found().Clear();
    m_session.Types().clear();
    if (!m_previewTempPath.isEmpty()) platform::RemoveEntry(m_previewTempPath.toStdString());
    GoBack();
}

void CFileDisplayDlg::BeforeExit() {
    m_media->Close();
    RemovePreviewFiles(m_extractor.Folder());
    for (const QString& type : ExtraPreviewTypeNames()) platform::RemoveEntry(m_extractor.PathFor(type.toStdString()));
}

void CFileDisplayDlg::SaveCommand() {
    const ShellSettings& settings = Context().settings;
    auto refuse = [this, &settings](const QString& text, MessageIcon icon) {
        ShowMessageBox({this, settings.appCaption, text, icon, MessageButtons::Ok});
    };
    if (Scanning()) return refuse(kProcessRunning, MessageIcon::Warning);
    auto message = [](SaveRefusal refusal) { return QString::fromUtf8(SaveRefusalMessage(refusal)); };
    if (const SaveRefusal refusal = CheckFoundFiles(m_session.Found()); refusal != SaveRefusal::None) {
        return refuse(message(refusal), MessageIcon::Warning);
    }
    const QString folder = Browse({this, QStringLiteral("Select Folder of Image File"), BrowseKind::Folder});
    if (folder.isEmpty()) return;
    const std::string destination = QDir::cleanPath(folder).toStdString();
    if (const SaveRefusal refusal = CheckSaveFolder(destination, m_session.Source(), m_session.Seams().destination,
                                                    m_session.Seams().rawIo);
        refusal != SaveRefusal::None) {
        return refuse(message(refusal), MessageIcon::Error);
    }

    m_media->Stop();
    DialogOverwritePrompt prompt(SkinFolder(), settings.windowTitle, this);
    SavingRun run(m_session.Found(), m_session.Source(), m_session.BadSectors(), destination,
                  SavingServices{m_session.Seams().destination, prompt, m_session.Logs(), m_session.Settings(),
                                 m_session.RecoveryHeaderWritten(), m_session.Seams().rawIo});
    ShellServices& services = Context().services;
    CSavingDlg saving(settings, run, [this, &services] { services.ViewLog(this, LogKind::Recovery); }, this,
                      [this, &settings](const QString& opened) {
                          if (!OpenWithDesktop(opened)) {
                              ShowMessageBox({this, settings.appCaption,
                                              QStringLiteral("No file manager could open %1.").arg(opened),
                                              MessageIcon::Warning, MessageButtons::Ok});
                          }
                      });
    saving.exec();
    run.Join();
}

void CFileDisplayDlg::ShowCardFolders() {
    if (!m_cardPass) return;
    m_cardFiles = CardFiles(m_session.Found());
    for (QTreeWidgetItem* root : AddCardFolders(*m_tree, m_cardFiles)) root->setExpanded(true);
}

void CFileDisplayDlg::ListCardFolder(const QTreeWidgetItem* item) {
    m_folderFiles = FilesInFolder(m_cardFiles, CardFolderKey(item).toStdString(), false);
    std::map<std::string, FileInfo> records;
    m_session.Found().Walk([&records](const FileInfo& f) { records.emplace(std::string(f.FileName()), f); });
    std::vector<ResultsRow> rows;
    for (const CardFile& f : m_folderFiles) {
        const FileInfo& info = records[f.record];
        rows.push_back({QString::fromUtf8(f.name.data(), static_cast<qsizetype>(f.name.size())), SizeCellText(info),
                        info.selected != 0});
    }
    m_model.Append(std::move(rows));
    m_folderShown = true;
    m_shownType = kNoType;
}

void CFileDisplayDlg::TickCardFolder(const QTreeWidgetItem* item, bool ticked) {
    for (const CardFile& f : FilesInFolder(m_cardFiles, CardFolderKey(item).toStdString(), true)) {
        m_session.Found().SetSelectedByName(f.record, ticked);
    }
    // The list shows the ticks of the folder in view, which may lie inside this one.
    if (m_folderShown) {
        m_model.Clear();
        ListCardFolder(m_tree->currentItem());
    }
}

QString CFileDisplayDlg::RecordName(int row) const {
    if (m_folderShown) return QString::fromStdString(m_folderFiles.at(static_cast<std::size_t>(row)).record);
    return m_model.Row(row).fileName;
}

TypeId CFileDisplayDlg::RowType(int row) const {
    if (m_folderShown) return m_folderFiles.at(static_cast<std::size_t>(row)).type;
    return SelectedType();
}

}  // namespace zt::ui
