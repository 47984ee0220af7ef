// The tree of found files with a check box on every item.
//
// A click on a check box ticks or unticks the item's whole branch; then each
// ancestor is ticked exactly when none of its children is unticked. Bold text
// marks a ticked item and every item with a bold child. Space on the current
// item and the accessibility bus's Toggle action on an item tick it as a click
// on its check box does; all of them are ignored while a scan runs.
#pragma once

#include <QTreeWidget>
#include <functional>

namespace zt::ui {

class CFolderTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CFolderTreeCtrl(QWidget* parent = nullptr);

    // Adds an unticked item under parent (a top-level item when parent is null).
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const QString& text);
    // True while the scan runs: check-box clicks are then ignored.
    void SetScanRunningProbe(std::function<bool()> probe) { m_scanRunning = std::move(probe); }

    [[nodiscard]] static bool IsTicked(const QTreeWidgetItem* item);
    [[nodiscard]] static bool IsBold(const QTreeWidgetItem* item);
    // True while the tree itself changes states; owners ignore item changes then.
    [[nodiscard]] bool IsChangingStates() const { return m_changing; }

    // What a click on the item's check box does.
    void ClickCheckBox(QTreeWidgetItem* item);
    // Ticks or unticks the item's branch and updates its ancestors as a click
    // would, without telling the owner (it is the owner asking).
    void SetItemTicked(QTreeWidgetItem* item, bool ticked);

signals:
    // The clicked item's new state: 0 unticked, 1 ticked.
    void CheckToggled(QTreeWidgetItem* item, int state);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetBranch(QTreeWidgetItem* item, bool ticked);
    static void SetState(QTreeWidgetItem* item, bool ticked, bool bold);
    static void UpdateAncestors(QTreeWidgetItem* item);

    std::function<bool()> m_scanRunning;
    bool m_changing = false;
};

}  // namespace zt::ui
