#include "ui/controls/CListCtrlEx.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "ui/controls/row_ticking.h"

namespace zt::ui {
namespace {

constexpr int ItemDataRole = Qt::UserRole + 1;
constexpr int EditorRightMargin = 4;

// Rows keep their ItemData beside the item and compare through the list's
// column settings when the list sorts.
class ListRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    ItemData data;
    const CListCtrlEx* owner = nullptr;

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        const QString a = text(column);
        const QString b = other.text(column);
        const CellInfo* info = owner != nullptr ? owner->ColumnInfo(column) : nullptr;
        if (info != nullptr && info->compare) {
            return info->compare(a, b) < 0;
        }
        return a < b;
    }
};

// Draws each cell with the colours the list resolves for it.
class ColourDelegate : public QStyledItemDelegate {
public:
    explicit ColourDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), m_list(list) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (auto text = m_list->TextColour(index.row(), index.column())) {
            option->palette.setColor(QPalette::Text, *text);
        }
        if (auto back = m_list->BackColour(index.row(), index.column())) {
            option->backgroundBrush = *back;
        }
    }

private:
    CListCtrlEx* m_list;
};

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new ColourDelegate(this));
    // Rows with a check box tick by Space and by the accessibility bus too.
    EnableRowTicking(this, {FirstCellCheckable, FlipFirstCellCheck, {}});
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, &CListCtrlEx::OnHeaderClicked);
    // Scrolling moves the cells away from the editor; the typed value is kept.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { EndEdit(true); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { EndEdit(true); });
}

CListCtrlEx::~CListCtrlEx() {
    // An edit in progress ends before the list goes; its handlers may still look at the rows.
    EndEdit(true);
}

void CListCtrlEx::PrepareItemData(int row) {
    if (ItemData* rowData = RowData(row)) {
        rowData->value = 0;
    }
}

ItemData* CListCtrlEx::RowData(int row) {
    auto* item = dynamic_cast<ListRow*>(topLevelItem(row));
    return item != nullptr ? &item->data : nullptr;
}

CellInfo& CListCtrlEx::Column(int column) { return m_columns[column]; }

const CellInfo* CListCtrlEx::ColumnInfo(int column) const {
    auto found = m_columns.find(column);
    return found != m_columns.end() ? &found->second : nullptr;
}

void CListCtrlEx::SetDefaultEditor(QWidget* editor) {
    m_defaultEditor = editor;
    if (editor != nullptr) {
        editor->hide();
        editor->installEventFilter(this);
    }
}

int CListCtrlEx::AppendRow(const QStringList& texts) {
    auto* item = new ListRow(texts);
    item->owner = this;
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    addTopLevelItem(item);
    return indexOfTopLevelItem(item);
}

QString CListCtrlEx::CellText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

void CListCtrlEx::SetCellText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setText(column, text);
    }
}

const CellInfo* CListCtrlEx::Level(int row, int column, const std::function<bool(const CellInfo&)>& has) const {
    if (const auto* item = dynamic_cast<const ListRow*>(topLevelItem(row))) {
        if (auto cell = item->data.cells.find(column); cell != item->data.cells.end() && has(cell->second)) {
            return &cell->second;
        }
        if (has(item->data.row)) {
            return &item->data.row;
        }
    }
    if (auto col = m_columns.find(column); col != m_columns.end() && has(col->second)) {
        return &col->second;
    }
    return nullptr;
}

const CellInfo* CListCtrlEx::EditorSource(int row, int column) const {
    return Level(row, column, [](const CellInfo& info) { return !info.editor.isNull(); });
}

QWidget* CListCtrlEx::EditorOf(int row, int column) const {
    const CellInfo* source = EditorSource(row, column);
    return source != nullptr ? source->editor.data() : m_defaultEditor.data();
}

std::optional<QColor> CListCtrlEx::TextColour(int row, int column) const {
    const CellInfo* level = Level(row, column, [](const CellInfo& info) { return info.textColour.has_value(); });
    return level != nullptr ? level->textColour : std::nullopt;
}

std::optional<QColor> CListCtrlEx::BackColour(int row, int column) const {
    const CellInfo* level = Level(row, column, [](const CellInfo& info) { return info.backColour.has_value(); });
    return level != nullptr ? level->backColour : std::nullopt;
}

bool CListCtrlEx::CanEdit(int row, int column) const {
    if (row < 0 || row >= topLevelItemCount() || column < 0 || column >= columnCount()) {
        return false;
    }
    if (Level(row, column, [](const CellInfo& info) { return info.readOnly; }) != nullptr) {
        return false;
    }
    return EditorOf(row, column) != nullptr;
}

bool CListCtrlEx::BeginEdit(int row, int column) {
    if (IsEditing() || !CanEdit(row, column)) {
        return false;
    }
    QTreeWidgetItem* item = topLevelItem(row);
    scrollToItem(item);
    QWidget* editor = EditorOf(row, column);
    m_editRow = row;
    m_editColumn = column;

    const CellInfo* source = EditorSource(row, column);
    const quintptr value = RowData(row) != nullptr ? RowData(row)->value : 0;
    if (source != nullptr && source->beginEdit) {
        source->beginEdit(editor, row, column, item->text(column), value);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(item->text(column));
        line->selectAll();
    }

    QRect cell = visualRect(indexFromItem(item, column));
    cell.setRight(std::min(cell.right(), viewport()->width() - EditorRightMargin));
    editor->setParent(viewport());
    editor->installEventFilter(this);
    editor->setGeometry(cell);
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    return true;
}

void CListCtrlEx::EndEdit(bool commit) {
    if (!IsEditing() || m_ending) {
        return;
    }
    m_ending = true;
    const int row = m_editRow;
    const int column = m_editColumn;
    QWidget* editor = EditorOf(row, column);
    // When the focus went elsewhere (that is what ended the edit), it stays there.
    const bool editorHadFocus = editor != nullptr && editor->hasFocus();
    if (editor != nullptr) {
        editor->hide();
    }
    m_editRow = -1;
    m_editColumn = -1;

    QString text = CellText(row, column);
    int result = commit ? EndEditKeep : EndEditDiscard;
    const CellInfo* source = EditorSource(row, column);
    const quintptr value = RowData(row) != nullptr ? RowData(row)->value : 0;
    if (source != nullptr && source->endEdit) {
        result = source->endEdit(editor, row, column, text, value, commit);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        text = line->text();
    }
    if (result != EndEditDiscard) {
        SetCellText(row, column, text);
    }
    if (result == EndEditKeepAndSort) {
        SortByColumn(column);
    }
    viewport()->update();
    if (editorHadFocus) {
        setFocus(Qt::OtherFocusReason);
    }
    m_ending = false;
    emit EditEnded(row, column, result != EndEditDiscard);
}

void CListCtrlEx::MoveEdit(bool forward) {
    const int rows = topLevelItemCount();
    const int columns = columnCount();
    if (rows == 0 || columns == 0 || !IsEditing()) {
        return;
    }
    int row = m_editRow;
    int column = m_editColumn;
    EndEdit(true);
    // Walk the cells row by row; stop at either end of the list.
    while (true) {
        column += forward ? 1 : -1;
        if (column >= columns) {
            column = 0;
            ++row;
        } else if (column < 0) {
            column = columns - 1;
            --row;
        }
        if (row < 0 || row >= rows) {
            return;
        }
        if (CanEdit(row, column)) {
            setCurrentItem(topLevelItem(row));
            BeginEdit(row, column);
            return;
        }
    }
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && BeginEdit(index.row(), index.column())) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    if (!m_editOnClick || event->button() != Qt::LeftButton) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && !(IsEditing() && index.row() == m_editRow && index.column() == m_editColumn)) {
        BeginEdit(index.row(), index.column());
    }
}

bool CListCtrlEx::eventFilter(QObject* watched, QEvent* event) {
    const bool isEditor = IsEditing() && watched == EditorOf(m_editRow, m_editColumn);
    if (!isEditor) {
        return QTreeWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                EndEdit(true);
                return true;
            case Qt::Key_Escape:
                EndEdit(false);
                return true;
            case Qt::Key_Tab:
                MoveEdit(!(key->modifiers() & Qt::ShiftModifier));
                return true;
            case Qt::Key_Backtab:
                MoveEdit(false);
                return true;
            default:
                break;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // A drop-down of the editor takes the focus without ending the edit.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            EndEdit(true);
        }
    }
    return QTreeWidget::eventFilter(watched, event);
}

void CListCtrlEx::SortByColumn(int column) {
    m_sortColumn = column;
    const Qt::SortOrder order = Column(column).sortOrder;
    sortItems(column, order);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, order);
}

void CListCtrlEx::OnHeaderClicked(int column) {
    CellInfo& info = Column(column);
    if (!info.sortable) {
        // Keep the arrow where the rows really are sorted.
        if (m_sortColumn >= 0) {
            header()->setSortIndicator(m_sortColumn, Column(m_sortColumn).sortOrder);
        } else {
            header()->setSortIndicatorShown(false);
        }
        return;
    }
    EndEdit(true);
    if (info.toggleSort && m_sortColumn == column) {
        info.sortOrder = info.sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else if (info.toggleSort) {
        info.sortOrder = Qt::AscendingOrder;
    }
    SortByColumn(column);
}

QLineEdit* MakeDigitsEditor(QWidget* parent) {
    auto* editor = new QLineEdit(parent);
    editor->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), editor));
    editor->setFrame(true);
    editor->hide();
    return editor;
}

}  // namespace zt::ui
