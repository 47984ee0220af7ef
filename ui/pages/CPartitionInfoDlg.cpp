#include "ui/pages/CPartitionInfoDlg.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>

#include "core/source/tree_selection.h"
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

namespace zt::ui {
namespace {

constexpr int InfoColumnWidth = 346;

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString LabelOf(const QTreeWidgetItem* item) { return item != nullptr ? item->text(0) : QString(); }

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
        if (item == m_tree->currentItem() &&
            (LabelOf(item) == Text(ImageGroupLabel) || LabelOf(item) == OpenImageFileLabel)) {
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
    m_root->setIcon(0, computer);
    QList<std::string_view> groups{DriveGroupLabel, DiskGroupLabel};
    if (m_mediaRecovery) {
        groups << ImageGroupLabel;
    }
    for (std::string_view group : groups) {
        auto* item = new QTreeWidgetItem(m_root, {Text(group)});
        item->setIcon(0, drive);
    }
    if (m_mediaRecovery) {
        QTreeWidgetItem* images = FindItem(Text(ImageGroupLabel));
        auto* open = new QTreeWidgetItem(images, {OpenImageFileLabel});
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
    const QIcon drive = style()->standardIcon(QStyle::SP_DriveHDIcon);
    auto add = [&drive](QTreeWidgetItem* group, const std::vector<std::string>& labels) {
        for (const std::string& label : labels) {
            auto* item = new QTreeWidgetItem(group, {QString::fromStdString(label)});
            item->setIcon(0, drive);
        }
        group->setExpanded(true);
    };
    add(FindItem(Text(DriveGroupLabel)), model.logicalDrives);
    add(FindItem(Text(DiskGroupLabel)), model.disks);
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
    const QString label = LabelOf(item);
    const QString group = LabelOf(item != nullptr ? item->parent() : nullptr);

    if (group == Text(ImageGroupLabel) && label == OpenImageFileLabel) {
        AskForImageFile(item->parent());
        return;
    }
    Session& session = Context().session;
    SelectionContext selection{m_registry, session.Seams().drives, session.Seams().rawIo};
    const SelectionOutcome outcome =
        HandleSelection(label.toStdString(), group.toStdString(), selection, session.Source());
    switch (outcome.kind) {
        case TreeItemKind::Drive:
        case TreeItemKind::Disk:
        case TreeItemKind::Image:
        case TreeItemKind::RawImage: {
            if (outcome.info.header) {
                m_info->setHeaderLabels({QString::fromStdString(*outcome.info.header)});
                m_info->setColumnWidth(0, InfoColumnWidth + 1);
            }
            QStringList lines;
            for (const std::string& line : outcome.info.lines) lines << QString::fromStdString(line);
            if (outcome.imageProblem) {
                lines << ReadProblemText(label, *outcome.imageProblem);
            }
            ShowLines(lines);
            m_start->setText(QString::fromStdString(outcome.info.startText));
            m_end->setText(QString::fromStdString(outcome.info.endText));
            break;
        }
        case TreeItemKind::ImageGroup:
            AskForImageFolder(item);
            return;
        case TreeItemKind::Root:
        case TreeItemKind::DriveGroup:
        case TreeItemKind::DiskGroup:
            ShowLines({QStringLiteral(" ")});
            m_rangeBox->setChecked(false);
            m_rangeBox->setEnabled(false);
            EnableRangeEdits(false);
            break;
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
    const std::optional<std::string> path =
        ImageItemForFolder(folder.toStdString(), Context().session.Seams().rawIo);
    if (!path) {
        ShowMessageBox({this, Context().settings.appCaption, ImageFolderRefusal(folder), MessageIcon::Error,
                        MessageButtons::Ok});
        Select(m_root);
        return;
    }
    Select(AddImageItem(group, QString::fromStdString(*path)));
}

void CPartitionInfoDlg::AskForImageFile(QTreeWidgetItem* group) {
    const QString file = BrowseFromTree({this, QStringLiteral("Select Disk Image File"), BrowseKind::ImageFile});
    const auto release = qScopeGuard([this] { ReleaseBrowserGuard(); });
    if (file.isEmpty()) {
        Select(m_root);
        ShowLines({});
        return;
    }
    Select(AddImageItem(group, file));
}

QTreeWidgetItem* CPartitionInfoDlg::AddImageItem(QTreeWidgetItem* group, const QString& path) {
    // The same path may be added more than once, as each choice adds an item.
    auto* item = new QTreeWidgetItem(group, {path});
    item->setToolTip(0, path);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    group->setExpanded(true);
    return item;
}

void CPartitionInfoDlg::PressNext() {
    QTreeWidgetItem* item = m_tree->currentItem();
    QString label = LabelOf(item);
    const QString group = LabelOf(item != nullptr ? item->parent() : nullptr);
    if (item == nullptr) {
        label = Text(RootLabel);
    }
    Session& session = Context().session;
    std::vector<std::string> lines;
    for (const QString& line : InfoLines()) lines.push_back(line.toStdString());

    auto refuse = [this](const QString& text) {
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Error, MessageButtons::Ok});
    };
    if (group == Text(ImageGroupLabel) && label == OpenImageFileLabel) {
        refuse(Text(*SelectionMessage(ImageGroupLabel)));
        return;
    }
    SelectionContext selection{m_registry, session.Seams().drives, session.Seams().rawIo};
    const std::string labelText = label.toStdString();
    const std::string groupText = group.toStdString();
    const std::string startText = m_start->text().toStdString();
    const std::string endText = m_end->text().toStdString();
    const NextOutcome outcome = zt::PressNext({labelText, groupText, lines, startText, endText, m_mediaRecovery},
                                              selection, session.Source());
    if (!outcome.message.empty()) {
        refuse(QString::fromStdString(outcome.message));
        return;
    }
    if (outcome.readProblem) {
        refuse(ReadProblemText(label, *outcome.readProblem));
        return;
    }
    const RunHeader& header = outcome.header;
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
