#include "ui/controls/CFolderTreeCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "ui/controls/row_ticking.h"

namespace zt::ui {
namespace {

// Hands check-box clicks to the tree instead of letting the view flip one item,
// and swallows the keys that would tick an item.
class CheckClickDelegate : public QStyledItemDelegate {
public:
    explicit CheckClickDelegate(CFolderTreeCtrl* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* /*model*/, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                break;
            case QEvent::KeyPress:
                return true;
            default:
                return false;
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
        const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, option.widget);
        if (mouse->button() != Qt::LeftButton || !box.contains(mouse->position().toPoint())) {
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            m_tree->ClickCheckBox(m_tree->itemFromIndex(index));
        }
        return true;
    }

private:
    CFolderTreeCtrl* m_tree;
};

}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setItemDelegate(new CheckClickDelegate(this));
    EnableRowTicking(this, {[this](const QModelIndex& row) {
                                return itemFromIndex(row) != nullptr && !(m_scanRunning && m_scanRunning());
                            },
                            [this](const QModelIndex& row) { ClickCheckBox(itemFromIndex(row)); },
                            {}});
}

QTreeWidgetItem* CFolderTreeCtrl::AddItem(QTreeWidgetItem* parent, const QString& text) {
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(this, {text});
    // Not user-checkable: the tree alone decides how a click spreads.
    item->setFlags((item->flags() | Qt::ItemIsEnabled) & ~Qt::ItemIsUserCheckable);
    const bool previous = m_changing;
    m_changing = true;
    SetState(item, false, false);
    m_changing = previous;
    return item;
}

bool CFolderTreeCtrl::IsTicked(const QTreeWidgetItem* item) { return item->checkState(0) == Qt::Checked; }

bool CFolderTreeCtrl::IsBold(const QTreeWidgetItem* item) { return item->font(0).bold(); }

void CFolderTreeCtrl::SetState(QTreeWidgetItem* item, bool ticked, bool bold) {
    item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
}

void CFolderTreeCtrl::SetBranch(QTreeWidgetItem* item, bool ticked) {
    SetState(item, ticked, ticked);
    for (int i = 0; i < item->childCount(); ++i) {
        SetBranch(item->child(i), ticked);
    }
}

void CFolderTreeCtrl::UpdateAncestors(QTreeWidgetItem* item) {
    for (QTreeWidgetItem* parent = item->parent(); parent != nullptr; parent = parent->parent()) {
        bool allTicked = true;
        bool anyBold = false;
        for (int i = 0; i < parent->childCount(); ++i) {
            allTicked = allTicked && IsTicked(parent->child(i));
            anyBold = anyBold || IsBold(parent->child(i));
        }
        SetState(parent, allTicked, anyBold);
    }
}

void CFolderTreeCtrl::ClickCheckBox(QTreeWidgetItem* item) {
    if (item == nullptr || (m_scanRunning && m_scanRunning())) {
        return;
    }
    setCurrentItem(item);
    const bool ticked = !IsTicked(item);
    SetItemTicked(item, ticked);
    emit CheckToggled(item, ticked ? 1 : 0);
}

void CFolderTreeCtrl::SetItemTicked(QTreeWidgetItem* item, bool ticked) {
    const bool previous = m_changing;
    m_changing = true;
    SetBranch(item, ticked);
    UpdateAncestors(item);
    m_changing = previous;
}

void CFolderTreeCtrl::keyPressEvent(QKeyEvent* event) {
    // The ticking keys reach the tree only while a scan runs: they do nothing then.
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) {
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace zt::ui
