// Ticking check-box rows without a mouse.
//
// Qt's item views let the keyboard and assistive technology reach a row but
// not tick it: Space is taken by the selection, and the "Toggle" action that
// the accessibility bus offers on every cell only selects the cell. A view
// given a ticker here ticks its current row on Space (and Select), ticks a
// row whose cell's Toggle action is done, and makes a row that is selected
// from outside (through the bus's selection calls) its current row, so that
// whatever follows the current row follows it too.
#pragma once

#include <QModelIndex>
#include <functional>

class QAbstractItemView;

namespace zt::ui {

struct RowTicking {
    // Whether the row of the index carries a check box that may be ticked now.
    std::function<bool(const QModelIndex& row)> canTick;
    // Ticks or unticks the row as a click on its check box does.
    std::function<void(const QModelIndex& row)> tick;
    // A row was selected without becoming current (the bus's selection calls
    // do that). None: it becomes the view's current index.
    std::function<void(const QModelIndex& row)> selectedFromOutside;
};

// The view's rows are ticked as described above. Call once, after the view's
// model is set. Every view of the program whose class is its own (rather than
// a plain Qt class) gets the accessible Toggle hook; the others keep Qt's.
void EnableRowTicking(QAbstractItemView* view, RowTicking ticking);

// The row at a logical row number, as the accessibility bus counts the rows
// of the view (a tree's visible rows from the top, a table's rows).
[[nodiscard]] QModelIndex RowAtAccessibleRow(const QAbstractItemView* view, int row);

// The check-box toggle most views need: the row's first cell is user-checkable
// and its check state is flipped through the model.
[[nodiscard]] bool FirstCellCheckable(const QModelIndex& row);
void FlipFirstCellCheck(const QModelIndex& row);

}  // namespace zt::ui
