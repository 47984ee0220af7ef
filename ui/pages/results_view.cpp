#include "ui/pages/results_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTableView>
#include <QTreeWidgetItem>
#include <map>
#include <utility>

#include "core/scan/scan_driver.h"
#include "ui/controls/CFolderTreeCtrl.h"
#include "ui/controls/row_ticking.h"
#include "ui/pages/results_thumbnails.h"
#include "ui/skin/CBDialog.h"

namespace zt::ui {

namespace {

const QString kRootLabel = QStringLiteral("Root");


QIcon SmallIcon(QStyle::StandardPixmap which) { return QApplication::style()->standardIcon(which); }

}  // namespace

ResultsView::ResultsView(CBDialog& page, ScanPageParts parts, Hooks hooks)
    : m_parts(parts), m_hooks(std::move(hooks)), m_fill(m_model) {
    m_tree = new CFolderTreeCtrl(&page);
    m_tree->setAccessibleName(QStringLiteral("Found file types"));
    m_tree->setIconSize(QSize(16, 16));
    page.PlaceDu(m_tree, 8, 50, 118, 218);
    m_tree->SetScanRunningProbe([this] { return m_hooks.scanning(); });

    m_list = new ResultsListView(&page);
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
    page.PlaceDu(m_list, 132, 50, 310, 100);
    // The file names take what the window gains; the sizes keep their width.
    const int nameWidth = m_list->width() * 249 / 359;
    m_list->setColumnWidth(1, m_list->width() - 2 * m_list->frameWidth() - nameWidth);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->installEventFilter(this);
    // Space and the accessibility bus tick a file as a click on its box does;
    // a file selected through the bus is picked as a click picks it.
    EnableRowTicking(m_list, {[this](const QModelIndex& row) { return CanTick(row); }, FlipFirstCellCheck,
                              [this](const QModelIndex& row) { ClickRow(row.row()); }});

    m_thumbnailMaker = std::make_unique<ThumbnailMaker>(m_parts.source, m_parts.badSectors, m_parts.io,
                                                        m_parts.found);
    m_thumbnails = new ResultsThumbnails(
        &page, m_list, m_model, *m_thumbnailMaker,
        {[this] { return SelectedType(); },
         [](TypeId type) { return ShownPreviewKind(type) == PreviewKind::Picture; },
         [this](int row) { ClickRow(row); }, [this](const QModelIndex& row) { return CanTick(row); }});
    // In the place of the progress display, which the results no longer show.
    page.PlaceDu(m_thumbnails->Switch(), 10, 281, 90, 12);

    // Grown, the tree takes the added height, the list (or grid) half of it.
    page.Anchor(m_tree, {0, 0, 0.25, 1});
    page.Anchor(m_list, {0.25, 0, 0.75, 0.5});
    page.Anchor(m_thumbnails->Grid(), {0.25, 0, 0.75, 0.5});
    page.Anchor(m_thumbnails->Switch(), {0, 1, 0, 0});

    m_root = m_tree->AddItem(nullptr, kRootLabel);
    m_root->setIcon(0, SmallIcon(QStyle::SP_DriveHDIcon));
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnTreeSelection(current); });
    connect(m_tree, &CFolderTreeCtrl::CheckToggled, this, &ResultsView::OnTreeCheck);
    connect(&m_model, &ResultsListModel::RowTickChanged, this, &ResultsView::OnListTick);
    connect(m_list, &QTableView::clicked, this, [this](const QModelIndex& index) { ClickRow(index.row()); });
    connect(&m_fill, &ResultsListFill::RowsAdded, this, [this](int row) { m_list->scrollTo(m_model.index(row, 0)); });

}

ResultsView::~ResultsView() = default;

bool ResultsView::CanTick(const QModelIndex& row) const {
    return !m_hooks.scanning() && !ListFilling() && !m_hooks.previewBusy() && FirstCellCheckable(row);
}

void ResultsView::Refresh(const ScanDriver& driver) {
    const TypeDefinitionList& types = m_parts.types;
    bool added = false;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::int32_t count = driver.FoundCount(i);
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

void ResultsView::ShowResults(bool cardFolders) {
    m_thumbnails->Switch()->show();
    if (cardFolders) {
        m_cardFiles = CardFiles(m_parts.found);
        for (QTreeWidgetItem* root : AddCardFolders(*m_tree, m_cardFiles)) root->setExpanded(true);
    }
    if (m_root->childCount() > 0) {
        m_tree->setCurrentItem(m_root);
        SelectFirstType();
    }
}

void ResultsView::SelectFirstType() {
    if (m_root->childCount() == 0) return;
    m_tree->setCurrentItem(m_root->child(0));
}

TypeId ResultsView::SelectedType() const { return NodeType(m_tree->currentItem()); }

TypeId ResultsView::CurrentRowType() const {
    const bool listed = m_folderShown ? m_currentRow < static_cast<int>(m_folderFiles.size())
                                      : m_currentRow < m_model.rowCount();
    return m_currentRow >= 0 && listed ? RowType(m_currentRow) : kNoType;
}

void ResultsView::OnTreeSelection(QTreeWidgetItem* item) {
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
        m_hooks.nothingChosen();
    }
    m_inTreeSelection = false;
    ListChosenMeanwhile(item);
}

void ResultsView::ListChosenMeanwhile(const QTreeWidgetItem* listed) {
    if (std::exchange(m_selectionWaiting, false) && m_tree->currentItem() != listed) {
        OnTreeSelection(m_tree->currentItem());
    }
}

void ResultsView::FillList(TypeId type) {
    if (m_hooks.scanning() || ListFilling()) return;
    if (ShownPreviewKind(type) == PreviewKind::Media) m_hooks.mediaListed();
    if (!m_fill.Start(m_parts.found, type)) return;
    m_hooks.wait();
    m_list->scrollToTop();
    TickTypeNode(m_model.AnyTicked());
}

void ResultsView::TickTypeNode(bool ticked) {
    QTreeWidgetItem* node = m_tree->currentItem();
    if (node == nullptr || node->parent() != m_root || CFolderTreeCtrl::IsTicked(node) == ticked) return;
    m_tickingTree = true;
    m_tree->SetItemTicked(node, ticked);
    m_tickingTree = false;
}

void ResultsView::OnListTick(int row, bool ticked) {
    if (m_hooks.scanning() || ListFilling()) return;
    TickTypeNode(ticked || m_model.AnyTicked());
    m_parts.found.SetSelectedByName(RecordName(row).toStdString(), ticked);
}

void ResultsView::OnTreeCheck(QTreeWidgetItem* item, int state) {
    if (m_tickingTree || m_hooks.scanning() || ListFilling() || item == nullptr) return;
    const bool ticked = state != 0;
    if (!CardFolderKey(item).isEmpty()) {
        TickCardFolder(item, ticked);
    } else if (item != m_root) {
        m_parts.found.SetSelectedByType(NodeType(item), ticked);
        m_model.Clear();
        FillList(NodeType(item));
        ListChosenMeanwhile(item);
    } else {
        m_parts.found.SetSelectedAll(ticked);
    }
}

void ResultsView::SelectRow(int row) {
    const QModelIndex index = m_model.index(row, 0);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
}

void ResultsView::MarkCurrentRow() {
    if (m_currentRow >= 0 && m_currentRow < m_model.rowCount()) SelectRow(m_currentRow);
}

void ResultsView::ClickRow(int row) {
    if (m_hooks.scanning() || m_hooks.previewBusy() || row < 0 || row >= m_model.rowCount()) return;
    m_currentRow = row;
    PreviewRow(row);
    SelectRow(row);
    m_list->setFocus();
}

void ResultsView::MoveSelection(int step) {
    if (m_hooks.scanning() || m_hooks.previewBusy() || m_inKeys || m_model.rowCount() == 0) return;
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

bool ResultsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            MoveSelection(key == Qt::Key_Down ? 1 : -1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<FileInfo> ResultsView::FindRecord(const QString& fileName, TypeId type) const {
    const std::string name = fileName.toStdString();
    std::optional<FileInfo> found;
    m_parts.found.Walk([&](const FileInfo& file) {
        if (!found && file.FileName() == name && file.type == type) found = file;
    });
    return found;
}

void ResultsView::PreviewRow(int row) {
    if (row < 0 || row >= m_model.rowCount()) return;
    const TypeId type = RowType(row);
    const PreviewKind kind = ShownPreviewKind(type);
    // A type without a preview is not looked up: its placeholder is shown.
    m_hooks.preview(kind, kind == PreviewKind::None ? std::nullopt : FindRecord(RecordName(row), type));
}

void ResultsView::ListCardFolder(const QTreeWidgetItem* item) {
    m_folderFiles = FilesInFolder(m_cardFiles, CardFolderKey(item).toStdString(), false);
    std::map<std::string, FileInfo> records;
    m_parts.found.Walk([&records](const FileInfo& f) { records.emplace(std::string(f.FileName()), f); });
    std::vector<ResultsRow> rows;
    for (const CardFile& f : m_folderFiles) {
        const FileInfo& info = records[f.record];
        rows.push_back({QString::fromUtf8(f.name.data(), static_cast<qsizetype>(f.name.size())), SizeCellText(info),
                        info.selected != 0});
    }
    m_model.Append(std::move(rows));
    m_folderShown = true;
}

void ResultsView::TickCardFolder(const QTreeWidgetItem* item, bool ticked) {
    for (const CardFile& f : FilesInFolder(m_cardFiles, CardFolderKey(item).toStdString(), true)) {
        m_parts.found.SetSelectedByName(f.record, ticked);
    }
    // The list shows the ticks of the folder in view, which may lie inside this one.
    if (m_folderShown) {
        m_model.Clear();
        ListCardFolder(m_tree->currentItem());
    }
}

QString ResultsView::RecordName(int row) const {
    if (m_folderShown) return QString::fromStdString(m_folderFiles.at(static_cast<std::size_t>(row)).record);
    return m_model.Row(row).fileName;
}

TypeId ResultsView::RowType(int row) const {
    if (m_folderShown) return m_folderFiles.at(static_cast<std::size_t>(row)).type;
    return SelectedType();
}

}  // namespace zt::ui
