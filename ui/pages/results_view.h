// The results page's view of what the scan found: the tree of the found
// types (grown while the scan runs) and, with the card's file system read,
// a root per file system holding its folders; the list of the chosen node's
// files with their check boxes and sizes, and its thumbnail grid. It keeps
// the ticks of the tree, the list and the found-file list in step, and hands
// the file picked to the preview.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/scan/found_file_list.h"
#include "recovery/preview.h"
#include "ui/pages/card_folders.h"
#include "ui/pages/results_list.h"
#include "ui/pages/scan_page_parts.h"

class QTableView;
class QTreeWidgetItem;

namespace zt {
class ScanDriver;
}  // namespace zt

namespace zt::ui {

class CBDialog;
class CFolderTreeCtrl;
class ResultsThumbnails;
class ThumbnailMaker;

class ResultsView : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> scanning;
        std::function<bool()> previewBusy;
        // Runs the page's wait box while the list fills (or a preview is made).
        std::function<void()> wait;
        // The file picked, by the preview its type gets; no record when it is
        // not in the found-file list or its type has no preview.
        std::function<void(PreviewKind kind, const std::optional<FileInfo>& record)> preview;
        std::function<void()> nothingChosen;  // the root chosen
        std::function<void()> mediaListed;    // a sound or video type is listed
    };

    // Makes the tree, the list and the grid on page, the tree holding its root.
    ResultsView(CBDialog& page, ScanPageParts parts, Hooks hooks);
    ~ResultsView() override;

    [[nodiscard]] CFolderTreeCtrl* Tree() const { return m_tree; }
    [[nodiscard]] QTreeWidgetItem* Root() const { return m_root; }
    [[nodiscard]] QTableView* List() const { return m_list; }
    [[nodiscard]] ResultsListModel& Model() { return m_model; }
    [[nodiscard]] ResultsThumbnails* Thumbnails() const { return m_thumbnails; }
    [[nodiscard]] int CurrentRow() const { return m_currentRow; }
    [[nodiscard]] bool ListFilling() const { return m_fill.Running(); }
    // The chosen node's type, kNoType for the root, a card folder or none.
    [[nodiscard]] TypeId SelectedType() const;
    // The type of the row picked last: in a card's folder each row has its
    // own; kNoType without a row.
    [[nodiscard]] TypeId CurrentRowType() const;

    // While the scan runs: a node per type found so far, with its count.
    void Refresh(const ScanDriver& driver);
    // The scan is over: the grid's switch, the card's folders (when it read
    // them) and the first type chosen.
    void ShowResults(bool cardFolders);
    void SelectFirstType();
    // Picks a list row as a click does; Up and Down as the arrow keys do.
    void ClickRow(int row);
    void MoveSelection(int step);
    // Marks the row picked last again (after its preview is shown).
    void MarkCurrentRow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTreeSelection(QTreeWidgetItem* item);
    void FillList(TypeId type);
    // Lists the node chosen while `listed` was being listed, if it differs.
    void ListChosenMeanwhile(const QTreeWidgetItem* listed);
    void OnListTick(int row, bool ticked);
    void OnTreeCheck(QTreeWidgetItem* item, int state);
    // Ticks a type node exactly when one of its files is.
    void TickTypeNode(bool ticked);
    void PreviewRow(int row);
    void SelectRow(int row);
    [[nodiscard]] bool CanTick(const QModelIndex& row) const;
    [[nodiscard]] std::optional<FileInfo> FindRecord(const QString& fileName, TypeId type) const;
    void ListCardFolder(const QTreeWidgetItem* item);
    void TickCardFolder(const QTreeWidgetItem* item, bool ticked);
    [[nodiscard]] QString RecordName(int row) const;
    [[nodiscard]] TypeId RowType(int row) const;

    ScanPageParts m_parts;
    Hooks m_hooks;
    CFolderTreeCtrl* m_tree = nullptr;
    QTreeWidgetItem* m_root = nullptr;
    QTableView* m_list = nullptr;
    ResultsListModel m_model;
    ResultsListFill m_fill;
    std::unique_ptr<ThumbnailMaker> m_thumbnailMaker;
    ResultsThumbnails* m_thumbnails = nullptr;
    // The card's folders (with the file-system option on) and the list's
    // rows while one of them is shown.
    std::vector<CardFile> m_cardFiles;
    std::vector<CardFile> m_folderFiles;
    bool m_folderShown = false;

    int m_currentRow = -1;
    // The tree's current node changed while another was being listed.
    bool m_selectionWaiting = false;
    bool m_inTreeSelection = false;
    bool m_inKeys = false;
    bool m_tickingTree = false;
};

}  // namespace zt::ui
