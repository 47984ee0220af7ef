// A report list whose cells can be edited in place.
//
// A column (or a single row or cell) may carry an editor widget, colours, a
// read-only flag, sort settings and begin/end-edit handlers. A double click on
// an editable cell (or a single click, where the list is set so) puts its
// editor over the cell; Enter or the editor losing the
// focus commits, Esc cancels, Tab moves to the next editable cell. A click on a
// sortable column's header sorts the rows by it.
#pragma once

#include <QColor>
#include <QPointer>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <optional>

class QLineEdit;

namespace zt::ui {

// Result of an end-edit handler: discard, keep, or keep and sort again by the column.
enum EndEditResult : int { EndEditDiscard = 0, EndEditKeep = 1, EndEditKeepAndSort = -1 };

struct CellInfo {
    QPointer<QWidget> editor;  // none: the cell cannot be edited from this level
    std::optional<QColor> textColour;
    std::optional<QColor> backColour;
    bool readOnly = false;
    // Sorting (used on columns only).
    bool sortable = false;
    bool toggleSort = true;  // reverse the direction on each header click
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    std::function<int(const QString&, const QString&)> compare;  // < 0, 0, > 0; none: by text
    // Called with the editor, the cell and the row's caller value. Without a
    // begin handler the cell text is put into a line-edit editor.
    std::function<void(QWidget* editor, int row, int column, const QString& text, quintptr value)> beginEdit;
    // May replace text (normally by the editor's text); returns an EndEditResult
    // that replaces the commit flag.
    std::function<int(QWidget* editor, int row, int column, QString& text, quintptr value, bool commit)> endEdit;
};

struct ItemData {
    quintptr value = 0;             // the caller's own value for the row
    CellInfo row;                   // settings of the whole row
    std::map<int, CellInfo> cells;  // cells that differ from their row and column
};

class CListCtrlEx : public QTreeWidget {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Attaches a fresh ItemData to the row, or clears the caller value of the existing one.
    void PrepareItemData(int row);
    [[nodiscard]] ItemData* RowData(int row);
    [[nodiscard]] CellInfo& Column(int column);
    [[nodiscard]] const CellInfo* ColumnInfo(int column) const;
    // The editor used where no row, cell or column names one.
    void SetDefaultEditor(QWidget* editor);
    [[nodiscard]] QWidget* EditorOf(int row, int column) const;
    // A single click on an editable cell begins its edit (off: a double click).
    void SetEditOnClick(bool on) { m_editOnClick = on; }

    // Adds a row of texts and returns its index.
    int AppendRow(const QStringList& texts);
    [[nodiscard]] QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);

    // Begins editing a cell; false when the cell is read-only or has no editor.
    bool BeginEdit(int row, int column);
    // Ends the edit in progress (no-op without one).
    void EndEdit(bool commit);
    [[nodiscard]] bool IsEditing() const { return m_editRow >= 0; }
    [[nodiscard]] int EditRow() const { return m_editRow; }
    [[nodiscard]] int EditColumn() const { return m_editColumn; }

    // Sorts by a column in its present direction and shows the arrow on its header.
    void SortByColumn(int column);
    [[nodiscard]] int SortColumn() const { return m_sortColumn; }

    // Colours a cell is drawn with: the cell's, else the row's, else the column's.
    [[nodiscard]] std::optional<QColor> TextColour(int row, int column) const;
    [[nodiscard]] std::optional<QColor> BackColour(int row, int column) const;

signals:
    void EditEnded(int row, int column, bool kept);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const CellInfo* Level(int row, int column, const std::function<bool(const CellInfo&)>& has) const;
    const CellInfo* EditorSource(int row, int column) const;
    bool CanEdit(int row, int column) const;
    void MoveEdit(bool forward);
    void OnHeaderClicked(int column);

    std::map<int, CellInfo> m_columns;
    QPointer<QWidget> m_defaultEditor;
    int m_editRow = -1;
    int m_editColumn = -1;
    bool m_ending = false;  // hiding the editor takes its focus; that must not end the edit twice
    int m_sortColumn = -1;
    bool m_editOnClick = false;
};

// A hidden single-line editor that accepts digits only, for size cells.
[[nodiscard]] QLineEdit* MakeDigitsEditor(QWidget* parent);

}  // namespace zt::ui
