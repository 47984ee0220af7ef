#include "ui/pages/CExtensionInfoDlg.h"

#include <QCheckBox>
#include <algorithm>
#include <QFont>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>

#include "core/scan/catalogue.h"
#include "core/scan/type_selection.h"
#include "recovery/jobs/run_log.h"
#include "ui/controls/CListCtrlEx.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/key_colour.h"
#include "ui/base/message_box.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {
namespace {

constexpr int FileTypeWidth = 130;
constexpr int DescriptionWidth = 190;
constexpr int SizeWidth = 160;

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CExtensionInfoDlg::CExtensionInfoDlg(ShellContext& context, QWidget* parent)
    : CPageDlg(context, parent),
      m_list(new CListCtrlEx(this)),
      m_selectAll(new QCheckBox(QStringLiteral(" Select All"), this)),
      m_toggle(new QPushButton(QStringLiteral("&Toggle"), this)),
      m_sizeEditor(MakeDigitsEditor(this)),
      m_note(new CTransparentStatic(QStringLiteral("*More size for Double click"), this)),
      m_extended(new QCheckBox(QStringLiteral("Extended signatures (finds more formats and exact file ends)"), this)),
      m_fileSystem(new QCheckBox(QStringLiteral("Use the card's file system (names, folders, dates)"), this)),
      m_next(new CButtonST(this)),
      m_back(new CButtonST(this)) {
    PlaceDu(m_list, 14, 50, 424, 194);
    PlaceDu(m_selectAll, 16, 250, 70, 12);
    PlaceDu(m_toggle, 100, 249, 50, 14);
    PlaceDu(m_note, 16, 266, 330, 10);
    PlaceDu(m_back, 356, 272, 38, 30);
    PlaceDu(m_next, 400, 272, 38, 30);
    const QRect options = OptionsArea();
    const int boxHeight = DuRect(0, 0, 0, 11).height();
    m_extended->setGeometry(options.x(), options.y(), options.width(), boxHeight);
    m_fileSystem->setGeometry(options.x(), options.y() + boxHeight, options.width(), boxHeight);
    Anchor(m_list, {0, 0, 1, 1});
    for (QWidget* below : std::initializer_list<QWidget*>{m_selectAll, m_toggle, m_note, m_extended, m_fileSystem}) {
        Anchor(below, {0, 1, 0, 0});
    }
    Anchor(m_back, {1, 1, 0, 0});
    Anchor(m_next, {1, 1, 0, 0});

    // A Unicode font, so every description shows whatever the desktop font lacks.
    QFont listFont(QStringLiteral("DejaVu Sans"));
    listFont.setStyleHint(QFont::SansSerif);
    listFont.setPointSize(10);
    listFont.setWeight(QFont::Normal);
    m_list->setFont(listFont);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QStringLiteral("File Type"), QStringLiteral("Description"), QStringLiteral("Maximum Size (in KB)")});
    m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(FileTypeColumn, FileTypeWidth);
    m_list->setColumnWidth(DescriptionColumn, DescriptionWidth);
    m_list->setColumnWidth(SizeColumn, SizeWidth);
    m_list->setAlternatingRowColors(false);
    // A style sheet on the items takes the selection's background away with
    // the default look: it is given back, or the selected row's light text
    // would stand on white.
    m_list->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #d0d7e0; "
                                         "border-bottom: 1px solid #d0d7e0; }"
                                         "QTreeView::item:selected { background: palette(highlight); "
                                         "color: palette(highlighted-text); }"));
    m_list->setAccessibleName(QStringLiteral("File types"));
    // Only the size cells take the editor; double clicks elsewhere do nothing.
    m_list->Column(FileTypeColumn).readOnly = true;
    m_list->Column(DescriptionColumn).readOnly = true;
    m_list->Column(SizeColumn).editor = m_sizeEditor;
    // As the note below the list says: a click on a size edits it.
    m_list->SetEditOnClick(true);
    m_sizeEditor->setAccessibleName(QStringLiteral("Maximum Size (in KB)"));

    AppendRows(CatalogueRows(), false, SignatureMode::Standard);

    m_selectAll->setAccessibleName(QStringLiteral("Select All"));
    m_toggle->setAccessibleName(QStringLiteral("Toggle"));
    m_extended->setAccessibleName(m_extended->text());
    m_fileSystem->setAccessibleName(m_fileSystem->text());
    m_note->SetText(QStringLiteral("* Note : Please click on size to set or change default size"));
    m_note->setAccessibleName(m_note->text());

    // Toggled rather than clicked: the accessibility bus's Toggle action
    // changes the box without a click, and must tick the types all the same.
    connect(m_selectAll, &QCheckBox::toggled, this, [this](bool ticked) {
        if (!m_settingSelectAll) SelectAll(ticked);
    });
    connect(m_toggle, &QPushButton::clicked, this, &CExtensionInfoDlg::Toggle);
    connect(m_extended, &QCheckBox::toggled, this, &CExtensionInfoDlg::ShowExtendedRows);
    // Extended signatures find today's media whole; unticked, the scan is the standard one.
    m_extended->setChecked(true);
    connect(m_list, &QTreeWidget::itemChanged, this, &CExtensionInfoDlg::OnRowChanged);
    connect(m_next, &QAbstractButton::clicked, this, &CExtensionInfoDlg::PressNext);
    connect(m_back, &QAbstractButton::clicked, this, &CExtensionInfoDlg::PressBack);

    SkinToolbar();
    SkinButton(m_next, skin::Next, skin::NextHover, ToolbarKeyColour, QStringLiteral("Next"));
    SkinButton(m_back, skin::Back, skin::BackHover, ToolbarKeyColour, QStringLiteral("Back"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Page)));
}

QRect CExtensionInfoDlg::OptionsArea() const { return DuRect(16, 280, 330, 22).translated(0, ClientTop()); }

void CExtensionInfoDlg::AppendRows(std::span<const CatalogueRow> rows, bool ticked, SignatureMode mode) {
    m_changingRows = true;
    for (const CatalogueRow& row : rows) {
        const int index = m_list->AppendRow({FromUtf8(row.fileType), FromUtf8(row.description),
                                             QString::fromStdString(DefaultMaxSizeText(row.fileType, mode))});
        m_list->PrepareItemData(index);
        QTreeWidgetItem* item = m_list->topLevelItem(index);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(FileTypeColumn, ticked ? Qt::Checked : Qt::Unchecked);
    }
    m_changingRows = false;
}

void CExtensionInfoDlg::ShowExtendedRows(bool shown) {
    m_list->EndEdit(true);
    const std::span<const CatalogueRow> all = CatalogueRows(SignatureMode::Extended);
    ShowDefaultSizes(shown ? SignatureMode::Extended : SignatureMode::Standard);
    if (shown && m_list->topLevelItemCount() == kCatalogueRowCount) {
        // With every type chosen, the added types are chosen too.
        AppendRows(all.subspan(kCatalogueRowCount), m_selectAll->isChecked(), SignatureMode::Extended);
    } else if (!shown) {
        m_changingRows = true;
        while (m_list->topLevelItemCount() > kCatalogueRowCount) {
            delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);
        }
        m_changingRows = false;
    }
    UpdateSelectAll();
}

void CExtensionInfoDlg::ShowDefaultSizes(SignatureMode mode) {
    const SignatureMode other = mode == SignatureMode::Extended ? SignatureMode::Standard : SignatureMode::Extended;
    m_changingRows = true;
    for (int row = 0; row < std::min(m_list->topLevelItemCount(), kCatalogueRowCount); ++row) {
        const std::string type = m_list->CellText(row, FileTypeColumn).toStdString();
        if (m_list->CellText(row, SizeColumn).toStdString() == DefaultMaxSizeText(type, other)) {
            m_list->SetCellText(row, SizeColumn, QString::fromStdString(DefaultMaxSizeText(type, mode)));
        }
    }
    m_changingRows = false;
}

bool CExtensionInfoDlg::IsTicked(int row) const {
    const QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item != nullptr && item->checkState(FileTypeColumn) == Qt::Checked;
}

void CExtensionInfoDlg::SetTicked(int row, bool ticked) {
    if (QTreeWidgetItem* item = m_list->topLevelItem(row)) {
        item->setCheckState(FileTypeColumn, ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void CExtensionInfoDlg::SelectAll(bool ticked) {
    m_changingRows = true;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        SetTicked(row, ticked);
    }
    m_changingRows = false;
    SetSelectAllBox(ticked);
}

void CExtensionInfoDlg::SetSelectAllBox(bool ticked) {
    m_settingSelectAll = true;
    m_selectAll->setChecked(ticked);
    m_settingSelectAll = false;
}

void CExtensionInfoDlg::Toggle() {
    m_changingRows = true;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        SetTicked(row, !IsTicked(row));
    }
    m_changingRows = false;
    UpdateSelectAll();
}

void CExtensionInfoDlg::OnRowChanged() {
    if (!m_changingRows) {
        UpdateSelectAll();
    }
}

void CExtensionInfoDlg::UpdateSelectAll() {
    bool all = m_list->topLevelItemCount() > 0;
    for (int row = 0; all && row < m_list->topLevelItemCount(); ++row) {
        all = IsTicked(row);
    }
    SetSelectAllBox(all);
}

void CExtensionInfoDlg::PressNext() {
    m_list->EndEdit(true);
    std::vector<TypeRow> rows;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        const std::string fileType = m_list->CellText(row, FileTypeColumn).left(kFileTypeCellChars).toStdString();
        rows.push_back({fileType, m_list->CellText(row, SizeColumn).toStdString(), IsTicked(row)});
    }
    const SignatureMode mode = m_extended->isChecked() ? SignatureMode::Extended : SignatureMode::Standard;
    TypeSelection selection = BuildTypeDefinitionList(rows, mode);
    Session& session = Context().session;
    jobs::RunLog(session.Logs()).TypesChosen(m_selectAll->isChecked(), selection.tickedTypes, mode);
    session.SetUsesFileSystems(m_fileSystem->isChecked());

    // A refused Next leaves no list behind.
    session.SetTypes({}, mode);
    for (std::size_t row = 0; row < selection.sizeCorrected.size(); ++row) {
        if (selection.sizeCorrected[row]) {
            m_list->SetCellText(static_cast<int>(row), SizeColumn, QString::fromStdString(selection.sizeTexts[row]));
        }
    }
    if (selection.Refused()) {
        ShowMessageBox({this, Context().settings.appCaption, QString::fromUtf8(NoTypeTickedMessage),
                        MessageIcon::Error, MessageButtons::Ok});
        return;
    }
    session.SetTypes(std::move(selection.definitions), mode);
    if (!Context().makeScanPage) {
        ShowMessageBox({this, Context().settings.appCaption, QStringLiteral("The scan page is not available yet."),
                        MessageIcon::Information, MessageButtons::Ok});
    } else {
        const std::unique_ptr<QDialog> scan = Context().makeScanPage(this);
        RunNextPage(*scan);
    }
    session.Types().clear();
}

void CExtensionInfoDlg::PressBack() {
    m_list->EndEdit(false);
    Context().session.Types().clear();
    GoBack();
}

}  // namespace zt::ui
