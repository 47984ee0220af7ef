#include "ui/pages/CPartitionInfoDlg.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>

#include "recovery/jobs/run_log.h"
#include "ui/base/message_box.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/key_colour.h"
#include "ui/dialogs/CWaitDlg.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/pages/CExtensionInfoDlg.h"
#include "ui/pages/CImageCreationDlg.h"
#include "ui/pages/source_texts.h"
#include "ui/skin/skin_files.h"
#include "ui/words/source_words.h"

namespace zt::ui {
namespace {

constexpr int InfoColumnWidth = 346;

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString LabelOf(const QTreeWidgetItem* item) { return item != nullptr ? item->text(0) : QString(); }

// What a row of the tree is: the page's own rows, or a source (whose
// SourceRef the row carries in SourceRole).
enum class Row { Root, DriveGroup, DiskGroup, ImageGroup, OpenImageFile, Source };
constexpr int RowRole = Qt::UserRole;
constexpr int SourceRole = Qt::UserRole + 1;

Row RowOf(const QTreeWidgetItem* item) {
    return item != nullptr ? static_cast<Row>(item->data(0, RowRole).toInt()) : Row::Root;
}

QTreeWidgetItem* AddRow(QTreeWidgetItem* parent, const QString& label, Row row) {
    auto* item = new QTreeWidgetItem(parent, {label});
    item->setData(0, RowRole, static_cast<int>(row));
    return item;
}

QTreeWidgetItem* FindRow(QTreeWidget* tree, Row row) {
    for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
        if (RowOf(*it) == row) {
            return *it;
        }
    }
    return nullptr;
}

// Next on one of the page's own rows names what to select instead.
QString RowRefusal(Row row) {
    switch (row) {
        case Row::DriveGroup: return QStringLiteral("Select Logical Drive");
        case Row::DiskGroup: return QStringLiteral("Select Hard Disk");
        case Row::ImageGroup:
        case Row::OpenImageFile: return QStringLiteral("Select Image");
        case Row::Root:
        case Row::Source: break;
    }
    return QStringLiteral("Select Logical Drive or Hard Disk");
}

}  // namespace

const QString CPartitionInfoDlg::OpenImageFileLabel = QStringLiteral("Open Disk Image File...");

CPartitionInfoDlg::CPartitionInfoDlg(ShellContext& context, bool mediaRecoveryMode, QWidget* parent)
    : CPageDlg(context, parent),
      m_mediaRecovery(mediaRecoveryMode),
      m_registry(context.session.Seams().store),
      m_tree(new QTreeWidget(this)),
      m_info(new QTreeWidget(this)),
      m_rangeBox(new QCheckBox(QStringLiteral("Select Range"), this)),
      m_rangeTitle(new CTransparentStatic(QStringLiteral("Enter Range to search for more Partitions"), this)),
      m_startLabel(new CTransparentStatic(QStringLiteral("Starting Range  :"), this)),
      m_endLabel(new CTransparentStatic(QStringLiteral("Ending Range  :"), this)),
      m_start(new QLineEdit(this)),
      m_end(new QLineEdit(this)),
      m_next(new CButtonST(this)),
      m_back(new CButtonST(this)) {
    PlaceDu(m_tree, 14, 50, 160, 220);
    PlaceDu(m_info, 182, 50, 256, 132);
    PlaceDu(m_rangeBox, 182, 190, 120, 12);
    PlaceDu(m_rangeTitle, 196, 206, 240, 10);
    PlaceDu(m_startLabel, 196, 224, 70, 10);
    PlaceDu(m_start, 270, 222, 90, 13);
    PlaceDu(m_endLabel, 196, 242, 70, 10);
    PlaceDu(m_end, 270, 240, 90, 13);
    PlaceDu(m_back, 356, 272, 38, 30);
    PlaceDu(m_next, 400, 272, 38, 30);
    // Grown, the tree and the lines take the room; the range stays under the lines.
    // Long image paths and lines lose their middle, not their file name; the
    // whole text is in the tooltip.
    m_tree->setTextElideMode(Qt::ElideMiddle);
    m_info->setTextElideMode(Qt::ElideMiddle);
    Anchor(m_tree, {0, 0, 0.4, 1});
    Anchor(m_info, {0.4, 0, 0.6, 1});
    for (QWidget* below : std::initializer_list<QWidget*>{m_rangeBox, m_rangeTitle, m_startLabel, m_start, m_endLabel,
                                                         m_end}) {
        Anchor(below, {0.4, 1, 0, 0});
    }
    Anchor(m_back, {1, 1, 0, 0});
    Anchor(m_next, {1, 1, 0, 0});

    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setAccessibleName(QStringLiteral("Sources"));
    m_info->setColumnCount(1);
    m_info->setRootIsDecorated(false);
    m_info->setHeaderLabels({Text(DeviceInformationHeader)});
    m_info->setColumnWidth(0, InfoColumnWidth);
    m_info->setSelectionMode(QAbstractItemView::SingleSelection);
    m_info->setAccessibleName(QStringLiteral("Device Information"));
    m_start->setAccessibleName(QStringLiteral("Starting Range"));
    m_end->setAccessibleName(QStringLiteral("Ending Range"));
    m_rangeBox->setAccessibleName(m_rangeBox->text());
    for (CTransparentStatic* label : {m_rangeTitle, m_startLabel, m_endLabel}) {
        label->setAccessibleName(label->text().simplified());
    }
    EnableRangeEdits(false);

    connect(m_rangeBox, &QCheckBox::toggled, this, &CPartitionInfoDlg::OnRangeBoxToggled);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &CPartitionInfoDlg::OnSelectionChanged);
    // Assistive technology selects a row without moving the current item: follow the selection.
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
        if (selected.isEmpty() || selected.first() == m_tree->currentItem()) {
            return;
        }
        // A mouse press that opened a browser selects the pressed row once the
        // browser has closed: that is not a new choice (it would ask again),
        // and the row the browser added stays the chosen one.
        if (m_browserJustClosed && m_tree->currentItem() != nullptr) {
            m_tree->setCurrentItem(m_tree->currentItem());
            return;
        }
        m_tree->setCurrentItem(selected.first());
    });
    // Choosing the image group again (to add a second set) is a selection too.
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_tree->currentItem() && (RowOf(item) == Row::ImageGroup || RowOf(item) == Row::OpenImageFile)) {
            OnSelectionChanged();
        }
    });
    connect(m_next, &QAbstractButton::clicked, this, &CPartitionInfoDlg::PressNext);
    connect(m_back, &QAbstractButton::clicked, this, &CPageDlg::GoBack);

    SkinToolbar();
    SkinButton(m_next, skin::Next, skin::NextHover, ToolbarKeyColour, QStringLiteral("Next"));
    SkinButton(m_back, skin::Back, skin::BackHover, ToolbarKeyColour, QStringLiteral("Back"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Page)));

    StartListing();
}

CPartitionInfoDlg::~CPartitionInfoDlg() {
    // Before the registry the listing reads goes.
    m_lister.StopAndJoin();
}

void CPartitionInfoDlg::StartListing() {
    // The groups are there at once; the listing fills them.
    const QIcon computer = style()->standardIcon(QStyle::SP_ComputerIcon);
    const QIcon drive = style()->standardIcon(QStyle::SP_DriveHDIcon);
    m_root = new QTreeWidgetItem(m_tree, {Text(RootLabel)});
    m_root->setData(0, RowRole, static_cast<int>(Row::Root));
    m_root->setIcon(0, computer);
    AddRow(m_root, Text(DriveGroupLabel), Row::DriveGroup)->setIcon(0, drive);
    AddRow(m_root, Text(DiskGroupLabel), Row::DiskGroup)->setIcon(0, drive);
    if (m_mediaRecovery) {
        QTreeWidgetItem* images = AddRow(m_root, Text(ImageGroupLabel), Row::ImageGroup);
        images->setIcon(0, drive);
        QTreeWidgetItem* open = AddRow(images, OpenImageFileLabel, Row::OpenImageFile);
        open->setIcon(0, style()->standardIcon(QStyle::SP_DialogOpenButton));
        // Open, so that the way to a raw disk image is in sight.
        images->setExpanded(true);
    }
    m_root->setExpanded(true);

    const SessionSeams& seams = Context().session.Seams();
    DeviceListingContext listing{m_registry, seams.drives, seams.launcher, Context().session.Settings().InstallFolder};
    // Refused only while an earlier listing runs, and the page lists once.
    (void)m_lister.Start([this, listing, mediaRecovery = m_mediaRecovery] {
        SourceTreeModel model = BuildSourceTree(listing, mediaRecovery);
        // The page outlives the thread (its destructor joins), so the call cannot reach a dead page.
        QMetaObject::invokeMethod(this, [this, model = std::move(model)] { FillTree(model); }, Qt::QueuedConnection);
    });
}

void CPartitionInfoDlg::showEvent(QShowEvent* event) {
    CPageDlg::showEvent(event);
    if (m_waitShown) {
        return;
    }
    m_waitShown = true;
    // After the page has appeared, so the box sits over it.
    QTimer::singleShot(0, this, [this] {
        if (!m_listed) {
            CWaitDlg wait(
                SkinFolder(), [this] { return m_lister.Running() || !m_listed; }, [] { return false; }, this);
            wait.exec();
        }
    });
}

void CPartitionInfoDlg::FillTree(const SourceTreeModel& model) {
    m_lister.Join();
    QTreeWidgetItem* drives = FindRow(m_tree, Row::DriveGroup);
    for (std::size_t i = 0; i < model.logicalDrives.size(); ++i) {
        AddSourceItem(drives, QString::fromStdString(model.logicalDrives[i]), LogicalDriveRef{model.driveNames[i]});
    }
    drives->setExpanded(true);
    QTreeWidgetItem* disks = FindRow(m_tree, Row::DiskGroup);
    for (std::size_t i = 0; i < model.disks.size(); ++i) {
        AddSourceItem(disks, QString::fromStdString(model.disks[i]), DiskRef{model.diskNumbers[i]});
    }
    disks->setExpanded(true);
    m_listed = true;
    if (model.error != DeviceListError::None) {
        ShowMessageBox({this, Context().settings.appCaption, QString::fromStdString(DescribeDeviceListError(model.error)),
                        MessageIcon::Error, MessageButtons::Ok});
    }
    Select(m_root);
    m_tree->setFocus();
}

QTreeWidgetItem* CPartitionInfoDlg::FindItem(const QString& label, const QString& groupLabel) const {
    for (QTreeWidgetItemIterator it(m_tree); *it != nullptr; ++it) {
        if ((*it)->text(0) == label && (groupLabel.isEmpty() || LabelOf((*it)->parent()) == groupLabel)) {
            return *it;
        }
    }
    return nullptr;
}

std::optional<SourceRef> CPartitionInfoDlg::SourceOf(const QTreeWidgetItem* item) {
    if (RowOf(item) != Row::Source) {
        return std::nullopt;
    }
    return item->data(0, SourceRole).value<SourceRef>();
}

QStringList CPartitionInfoDlg::InfoLines() const {
    QStringList lines;
    for (int row = 0; row < m_info->topLevelItemCount(); ++row) {
        lines << m_info->topLevelItem(row)->text(0);
    }
    return lines;
}

void CPartitionInfoDlg::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    if (item == m_tree->currentItem()) {
        OnSelectionChanged();
        return;
    }
    m_tree->setCurrentItem(item);
}

void CPartitionInfoDlg::EnableRangeEdits(bool enabled) {
    for (QWidget* widget : std::initializer_list<QWidget*>{m_rangeTitle, m_startLabel, m_endLabel, m_start, m_end}) {
        widget->setEnabled(enabled);
    }
}

void CPartitionInfoDlg::OnRangeBoxToggled(bool checked) { EnableRangeEdits(checked); }

void CPartitionInfoDlg::ShowLines(const QStringList& lines) {
    m_info->clear();
    for (const QString& line : lines) {
        auto* item = new QTreeWidgetItem(m_info, {line});
        item->setData(0, Qt::AccessibleTextRole, line);
        item->setToolTip(0, line);
    }
}

void CPartitionInfoDlg::OnSelectionChanged() {
    QTreeWidgetItem* item = m_tree->currentItem();
    m_start->clear();
    m_end->clear();
    m_rangeBox->setEnabled(true);
    if (!m_rangeBox->isChecked()) {
        EnableRangeEdits(false);
    }
    m_shownRef.reset();
    m_shown = {};
    switch (RowOf(item)) {
        case Row::OpenImageFile:
            AskForImageFile(item->parent());
            return;
        case Row::ImageGroup:
            AskForImageFolder(item);
            return;
        case Row::Root:
        case Row::DriveGroup:
        case Row::DiskGroup:
            ShowLines({QStringLiteral(" ")});
            m_rangeBox->setChecked(false);
            m_rangeBox->setEnabled(false);
            EnableRangeEdits(false);
            break;
        case Row::Source: {
            Session& session = Context().session;
            SelectionContext selection{m_registry, session.Seams().drives, session.Seams().rawIo};
            m_shownRef = SourceOf(item);
            m_shown = DescribeSource(*m_shownRef, selection, session.Source());
            if (m_shown.info.header) {
                m_info->setHeaderLabels({QString::fromStdString(*m_shown.info.header)});
                m_info->setColumnWidth(0, InfoColumnWidth + 1);
            }
            QStringList lines;
            for (const std::string& line : m_shown.info.lines) lines << QString::fromStdString(line);
            if (m_shown.problem) {
                lines << ReadProblemText(LabelOf(item), *m_shown.problem);
            }
            ShowLines(lines);
            m_start->setText(QString::fromStdString(m_shown.info.startText));
            m_end->setText(QString::fromStdString(m_shown.info.endText));
            break;
        }
    }
    m_tree->setEnabled(true);
}

QString CPartitionInfoDlg::BrowseFromTree(const BrowseRequest& request) {
    const QString chosen = Browse(request);
    // Until the event that opened the browser has been handled to its end,
    // message boxes after the browser included: the selection that event
    // still makes is not a new choice (see ReleaseBrowserGuard).
    m_browserJustClosed = true;
    return chosen;
}

void CPartitionInfoDlg::ReleaseBrowserGuard() {
    QTimer::singleShot(0, this, [this] { m_browserJustClosed = false; });
}

void CPartitionInfoDlg::AskForImageFolder(QTreeWidgetItem* group) {
    const QString folder = BrowseFromTree({this, QStringLiteral("Select Folder of Image File"), BrowseKind::Folder});
    // Released once this is done, message box included.
    const auto release = qScopeGuard([this] { ReleaseBrowserGuard(); });
    if (folder.isEmpty()) {
        Select(m_root);
        ShowLines({});
        return;
    }
    const std::optional<ImageSetRef> set = ImageSetInFolder(folder.toStdString(), Context().session.Seams().rawIo);
    if (!set) {
        ShowMessageBox({this, Context().settings.appCaption, ImageFolderRefusal(folder), MessageIcon::Error,
                        MessageButtons::Ok});
        Select(m_root);
        return;
    }
    Select(AddSourceItem(group, QString::fromStdString(set->firstPart), *set));
}

void CPartitionInfoDlg::AskForImageFile(QTreeWidgetItem* group) {
    const QString file = BrowseFromTree({this, QStringLiteral("Select Disk Image File"), BrowseKind::ImageFile});
    const auto release = qScopeGuard([this] { ReleaseBrowserGuard(); });
    if (file.isEmpty()) {
        Select(m_root);
        ShowLines({});
        return;
    }
    Select(AddSourceItem(group, file, RawImageRef{file.toStdString()}));
}

QTreeWidgetItem* CPartitionInfoDlg::AddSourceItem(QTreeWidgetItem* group, const QString& label, const SourceRef& ref) {
    // The same image may be added more than once, as each choice adds an item.
    auto* item = new QTreeWidgetItem(group, {label});
    item->setData(0, RowRole, static_cast<int>(Row::Source));
    item->setData(0, SourceRole, QVariant::fromValue(ref));
    if (std::holds_alternative<ImageSetRef>(ref) || std::holds_alternative<RawImageRef>(ref)) {
        item->setToolTip(0, label);
        group->setExpanded(true);
    }
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    return item;
}

void CPartitionInfoDlg::PressNext() {
    QTreeWidgetItem* item = m_tree->currentItem();
    auto refuse = [this](const QString& text) {
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Error, MessageButtons::Ok});
    };
    const std::optional<SourceRef> ref = SourceOf(item);
    if (!ref) {
        refuse(RowRefusal(RowOf(item)));
        return;
    }
    Session& session = Context().session;
    SelectionContext selection{m_registry, session.Seams().drives, session.Seams().rawIo};
    if (m_shownRef != ref) {
        // Selected without being shown (not through the tree's selection).
        m_shownRef = ref;
        m_shown = DescribeSource(*ref, selection, session.Source());
    }
    const ChooseOutcome outcome =
        ChooseSourceRef(*ref, m_shown, SourceRange::Typed(m_start->text().toStdString(), m_end->text().toStdString()),
                        m_mediaRecovery, selection, session.Source());
    if (outcome.range != RangeProblem::None) {
        refuse(Text(RangeProblemMessage(outcome.range)));
        return;
    }
    const QString label = LabelOf(item);
    if (outcome.readProblem) {
        refuse(ReadProblemText(label, *outcome.readProblem));
        return;
    }
    const RunHeader header = MakeRunHeader(outcome.chosen, label.toStdString());
    jobs::RunLog(session.Logs()).SourceChosen(header);
    OpenNextPage(QString::fromStdString(header.InformationText()), QString::fromStdString(header.group),
                 QString::fromStdString(header.label));
}

void CPartitionInfoDlg::OpenNextPage(const QString& information, const QString& group, const QString& label) {
    std::unique_ptr<CPageDlg> next;
    if (m_mediaRecovery) {
        next = std::make_unique<CExtensionInfoDlg>(Context());
    } else {
        next = std::make_unique<CImageCreationDlg>(Context(), information, group, label);
    }
    RunNextPage(*next);
}

}  // namespace zt::ui
