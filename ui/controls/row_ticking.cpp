#include "ui/controls/row_ticking.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>
#include <map>

namespace zt::ui {
namespace {

constexpr const char* kHelperName = "zt-row-ticking";

class RowTickingHelper : public QObject {
public:
    RowTickingHelper(QAbstractItemView* view, RowTicking ticking) : QObject(view), m_view(view), m_ticking(std::move(ticking)) {
        setObjectName(QLatin1String(kHelperName));
        view->installEventFilter(this);
    }

    [[nodiscard]] bool CanTick(const QModelIndex& index) const {
        return index.isValid() && (!m_ticking.canTick || m_ticking.canTick(index.sibling(index.row(), 0)));
    }

    // True when the row was ticked (false: not a row that ticks now).
    bool TickRow(const QModelIndex& index) {
        if (!index.isValid()) return false;
        const QModelIndex row = index.sibling(index.row(), 0);
        if (m_ticking.canTick && !m_ticking.canTick(row)) return false;
        if (m_ticking.tick) m_ticking.tick(row);
        return true;
    }

    // The bus waits for the answer to its call: a tick that opens a dialog
    // (a list filled again, a preview) must not hold it, so it comes after.
    bool TickRowLater(const QModelIndex& index) {
        if (!index.isValid()) return false;
        const QModelIndex row = index.sibling(index.row(), 0);
        if (m_ticking.canTick && !m_ticking.canTick(row)) return false;
        QMetaObject::invokeMethod(
            this, [this, later = QPersistentModelIndex(row)] { TickRow(later); }, Qt::QueuedConnection);
        return true;
    }

    void FollowSelection() {
        const QItemSelectionModel* selection = m_view->selectionModel();
        if (selection == nullptr) return;
        const QModelIndexList rows = selection->selectedRows();
        if (rows.isEmpty()) return;
        const QModelIndex current = selection->currentIndex();
        // The view's own moves select the current row; only a row selected
        // from outside differs from it.
        if (current.isValid() && current.row() == rows.first().row() && current.parent() == rows.first().parent()) {
            return;
        }
        // After the bus's call has been answered, as a tick is.
        QMetaObject::invokeMethod(
            this,
            [this, later = QPersistentModelIndex(rows.first())] {
                if (!later.isValid()) return;
                if (m_ticking.selectedFromOutside) {
                    m_ticking.selectedFromOutside(later);
                } else {
                    m_view->selectionModel()->setCurrentIndex(later, QItemSelectionModel::NoUpdate);
                }
            },
            Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_view && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool space = key->key() == Qt::Key_Space || key->key() == Qt::Key_Select;
            if (space && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
                TickRow(m_view->currentIndex())) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractItemView* m_view;
    RowTicking m_ticking;
};

RowTickingHelper* HelperOf(const QAbstractItemView* view) {
    return view != nullptr ? view->findChild<RowTickingHelper*>(QLatin1String(kHelperName), Qt::FindDirectChildrenOnly)
                           : nullptr;
}

// A cell of a view with a ticker: Qt's own cell in every way but its Toggle
// action, which ticks the row where the row has a check box.
class TickingCell : public QAccessibleInterface,
                    public QAccessibleTableCellInterface,
                    public QAccessibleActionInterface {
public:
    TickingCell(QAbstractItemView* view, QAccessible::Id inner) : m_view(view), m_inner(inner) {}

    [[nodiscard]] QAccessible::Id InnerId() const { return m_inner; }

    // QAccessibleInterface
    bool isValid() const override { return Inner() != nullptr && Inner()->isValid(); }
    QObject* object() const override { return Inner() != nullptr ? Inner()->object() : nullptr; }
    QWindow* window() const override { return Inner() != nullptr ? Inner()->window() : nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int x, int y) const override { return Inner() != nullptr ? Inner()->childAt(x, y) : nullptr; }
    QAccessibleInterface* parent() const override { return Inner() != nullptr ? Inner()->parent() : nullptr; }
    QAccessibleInterface* child(int index) const override { return Inner() != nullptr ? Inner()->child(index) : nullptr; }
    int childCount() const override { return Inner() != nullptr ? Inner()->childCount() : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return Inner() != nullptr ? Inner()->indexOfChild(child) : -1;
    }
    QString text(QAccessible::Text t) const override { return Inner() != nullptr ? Inner()->text(t) : QString(); }
    void setText(QAccessible::Text t, const QString& text) override {
        if (Inner() != nullptr) Inner()->setText(t, text);
    }
    QRect rect() const override { return Inner() != nullptr ? Inner()->rect() : QRect(); }
    QAccessible::Role role() const override { return Inner() != nullptr ? Inner()->role() : QAccessible::NoRole; }
    QAccessible::State state() const override {
        if (Inner() == nullptr) {
            QAccessible::State gone;
            gone.invalid = true;
            return gone;
        }
        QAccessible::State state = Inner()->state();
        // A row that ticks is a check box to the listener, whatever its flags.
        if (Cell() != nullptr && HelperOf(m_view) != nullptr) {
            const QModelIndex row = RowAtAccessibleRow(m_view, Cell()->rowIndex());
            if (HelperOf(m_view)->CanTick(row)) {
                state.checkable = true;
                state.checked = row.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            }
        }
        return state;
    }
    QColor foregroundColor() const override { return Inner() != nullptr ? Inner()->foregroundColor() : QColor(); }
    QColor backgroundColor() const override { return Inner() != nullptr ? Inner()->backgroundColor() : QColor(); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
        return Inner() != nullptr ? Inner()->interface_cast(type) : nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return Cell() != nullptr && Cell()->isSelected(); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        return Cell() != nullptr ? Cell()->columnHeaderCells() : QList<QAccessibleInterface*>();
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override {
        return Cell() != nullptr ? Cell()->rowHeaderCells() : QList<QAccessibleInterface*>();
    }
    int columnIndex() const override { return Cell() != nullptr ? Cell()->columnIndex() : -1; }
    int rowIndex() const override { return Cell() != nullptr ? Cell()->rowIndex() : -1; }
    int columnExtent() const override { return Cell() != nullptr ? Cell()->columnExtent() : 0; }
    int rowExtent() const override { return Cell() != nullptr ? Cell()->rowExtent() : 0; }
    QAccessibleInterface* table() const override { return Cell() != nullptr ? Cell()->table() : nullptr; }

    // QAccessibleActionInterface
    QStringList actionNames() const override { return Action() != nullptr ? Action()->actionNames() : QStringList(); }
    QStringList keyBindingsForAction(const QString& name) const override {
        return Action() != nullptr ? Action()->keyBindingsForAction(name) : QStringList();
    }
    void doAction(const QString& name) override {
        if (name == toggleAction() && Cell() != nullptr) {
            if (RowTickingHelper* helper = HelperOf(m_view)) {
                if (helper->TickRowLater(RowAtAccessibleRow(m_view, Cell()->rowIndex()))) return;
            }
        }
        if (Action() != nullptr) Action()->doAction(name);
    }

private:
    QAccessibleInterface* Inner() const { return QAccessible::accessibleInterface(m_inner); }
    QAccessibleTableCellInterface* Cell() const { return Inner() != nullptr ? Inner()->tableCellInterface() : nullptr; }
    QAccessibleActionInterface* Action() const { return Inner() != nullptr ? Inner()->actionInterface() : nullptr; }

    QPointer<QAbstractItemView> m_view;
    QAccessible::Id m_inner;
};

// The view as Qt presents it, with its cells handed out as TickingCells.
class TickingView : public QAccessibleInterface, public QAccessibleTableInterface {
public:
    TickingView(QAbstractItemView* view, QAccessibleInterface* stock)
        : m_view(view), m_stock(QAccessible::uniqueId(stock)) {}

    ~TickingView() override {
        DropCells(true);
        QAccessible::deleteAccessibleInterface(m_stock);
    }

    // QAccessibleInterface
    bool isValid() const override { return Stock() != nullptr && Stock()->isValid(); }
    QObject* object() const override { return m_view; }
    QWindow* window() const override { return Stock() != nullptr ? Stock()->window() : nullptr; }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation match) const override {
        return Stock() != nullptr ? Stock()->relations(match)
                                  : QList<QPair<QAccessibleInterface*, QAccessible::Relation>>();
    }
    QAccessibleInterface* focusChild() const override { return Wrap(Stock() != nullptr ? Stock()->focusChild() : nullptr); }
    QAccessibleInterface* childAt(int x, int y) const override {
        return Wrap(Stock() != nullptr ? Stock()->childAt(x, y) : nullptr);
    }
    QAccessibleInterface* parent() const override { return Stock() != nullptr ? Stock()->parent() : nullptr; }
    QAccessibleInterface* child(int index) const override { return Wrap(Stock() != nullptr ? Stock()->child(index) : nullptr); }
    int childCount() const override { return Stock() != nullptr ? Stock()->childCount() : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return Stock() != nullptr ? Stock()->indexOfChild(Unwrap(child)) : -1;
    }
    QString text(QAccessible::Text t) const override { return Stock() != nullptr ? Stock()->text(t) : QString(); }
    void setText(QAccessible::Text t, const QString& text) override {
        if (Stock() != nullptr) Stock()->setText(t, text);
    }
    QRect rect() const override { return Stock() != nullptr ? Stock()->rect() : QRect(); }
    QAccessible::Role role() const override { return Stock() != nullptr ? Stock()->role() : QAccessible::NoRole; }
    QAccessible::State state() const override { return Stock() != nullptr ? Stock()->state() : QAccessible::State(); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) {
            return Table() != nullptr ? static_cast<QAccessibleTableInterface*>(this) : nullptr;
        }
        return Stock() != nullptr ? Stock()->interface_cast(type) : nullptr;
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return Table() != nullptr ? Table()->caption() : nullptr; }
    QAccessibleInterface* summary() const override { return Table() != nullptr ? Table()->summary() : nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        return Wrap(Table() != nullptr ? Table()->cellAt(row, column) : nullptr);
    }
    int selectedCellCount() const override { return Table() != nullptr ? Table()->selectedCellCount() : 0; }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells = Table() != nullptr ? Table()->selectedCells() : QList<QAccessibleInterface*>();
        for (QAccessibleInterface*& cell : cells) cell = Wrap(cell);
        return cells;
    }
    QString columnDescription(int column) const override {
        return Table() != nullptr ? Table()->columnDescription(column) : QString();
    }
    QString rowDescription(int row) const override { return Table() != nullptr ? Table()->rowDescription(row) : QString(); }
    int selectedColumnCount() const override { return Table() != nullptr ? Table()->selectedColumnCount() : 0; }
    int selectedRowCount() const override { return Table() != nullptr ? Table()->selectedRowCount() : 0; }
    int columnCount() const override { return Table() != nullptr ? Table()->columnCount() : 0; }
    int rowCount() const override { return Table() != nullptr ? Table()->rowCount() : 0; }
    QList<int> selectedColumns() const override { return Table() != nullptr ? Table()->selectedColumns() : QList<int>(); }
    QList<int> selectedRows() const override { return Table() != nullptr ? Table()->selectedRows() : QList<int>(); }
    bool isColumnSelected(int column) const override { return Table() != nullptr && Table()->isColumnSelected(column); }
    bool isRowSelected(int row) const override { return Table() != nullptr && Table()->isRowSelected(row); }
    bool selectRow(int row) override { return Table() != nullptr && Table()->selectRow(row); }
    bool selectColumn(int column) override { return Table() != nullptr && Table()->selectColumn(column); }
    bool unselectRow(int row) override { return Table() != nullptr && Table()->unselectRow(row); }
    bool unselectColumn(int column) override { return Table() != nullptr && Table()->unselectColumn(column); }
    void modelChange(QAccessibleTableModelChangeEvent* event) override {
        if (Table() != nullptr) Table()->modelChange(event);
        // Qt drops the cells whose rows went; their wrappers go with them.
        DropCells(false);
    }

private:
    QAccessibleInterface* Stock() const { return QAccessible::accessibleInterface(m_stock); }
    QAccessibleTableInterface* Table() const { return Stock() != nullptr ? Stock()->tableInterface() : nullptr; }

    QAccessibleInterface* Wrap(QAccessibleInterface* inner) const {
        if (inner == nullptr || inner->tableCellInterface() == nullptr) return inner;
        const QAccessible::Id innerId = QAccessible::uniqueId(inner);
        if (auto known = m_cells.find(innerId); known != m_cells.end()) {
            if (QAccessibleInterface* cell = QAccessible::accessibleInterface(known->second)) return cell;
            m_cells.erase(known);
        }
        auto* cell = new TickingCell(m_view, innerId);
        m_cells.emplace(innerId, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    static const QAccessibleInterface* Unwrap(const QAccessibleInterface* child) {
        const auto* cell = dynamic_cast<const TickingCell*>(child);
        return cell != nullptr ? QAccessible::accessibleInterface(cell->InnerId()) : child;
    }

    void DropCells(bool all) {
        for (auto it = m_cells.begin(); it != m_cells.end();) {
            if (all || QAccessible::accessibleInterface(it->first) == nullptr) {
                QAccessible::deleteAccessibleInterface(it->second);
                it = m_cells.erase(it);
            } else {
                ++it;
            }
        }
    }

    QPointer<QAbstractItemView> m_view;
    QAccessible::Id m_stock;
    mutable std::map<QAccessible::Id, QAccessible::Id> m_cells;  // Qt's cell -> its wrapper
};

thread_local bool t_askingQt = false;

QAccessibleInterface* TickingViewFactory(const QString& className, QObject* object) {
    if (t_askingQt || object == nullptr || !className.startsWith(QLatin1String("zt::"))) return nullptr;
    // Asked once per class up the chain: answer for the object's own class only.
    if (className != QLatin1String(object->metaObject()->className())) return nullptr;
    auto* view = qobject_cast<QAbstractItemView*>(object);
    if (view == nullptr) return nullptr;
    t_askingQt = true;
    QAccessibleInterface* stock = QAccessible::queryAccessibleInterface(object);
    t_askingQt = false;
    return stock != nullptr ? new TickingView(view, stock) : nullptr;
}

void InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&TickingViewFactory);
        return true;
    }();
    (void)installed;
}

// Installed with the program, before any window is asked for its interface.
const bool kFactoryInstalled = [] {
    InstallFactory();
    return true;
}();

}  // namespace

void EnableRowTicking(QAbstractItemView* view, RowTicking ticking) {
    InstallFactory();
    auto* helper = new RowTickingHelper(view, std::move(ticking));
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, helper,
                     [helper] { helper->FollowSelection(); });
}

QModelIndex RowAtAccessibleRow(const QAbstractItemView* view, int row) {
    const QAbstractItemModel* model = view != nullptr ? view->model() : nullptr;
    if (model == nullptr || row < 0) return {};
    if (const auto* tree = qobject_cast<const QTreeView*>(view)) {
        // A tree counts its visible rows from the top, whatever their depth.
        QModelIndex index = model->index(0, 0, tree->rootIndex());
        for (int i = 0; i < row && index.isValid(); ++i) index = tree->indexBelow(index);
        return index;
    }
    return model->index(row, 0, view->rootIndex());
}

bool FirstCellCheckable(const QModelIndex& row) {
    const QModelIndex first = row.sibling(row.row(), 0);
    // Items may be checkable by their flags without showing a box: only a row with a state has one.
    return first.isValid() && (first.flags() & Qt::ItemIsUserCheckable) && (first.flags() & Qt::ItemIsEnabled) &&
           first.data(Qt::CheckStateRole).isValid();
}

void FlipFirstCellCheck(const QModelIndex& row) {
    const QModelIndex first = row.sibling(row.row(), 0);
    const bool ticked = first.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    const_cast<QAbstractItemModel*>(first.model())->setData(first, ticked ? Qt::Unchecked : Qt::Checked,
                                                            Qt::CheckStateRole);
}

}  // namespace zt::ui
