// The scan and results page: runs the scan with its progress display, grows
// a tree of the found types while it runs (showing a few of the pictures as
// they are found), then lists the files of the chosen type with check boxes
// and sizes, previews the file picked, and saves the ticked files. With the
// card's file system read, a root per file system holds its folders beside
// the root of the types, and a folder lists its files by their names.
#pragma once

#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "core/filesystems/file_system_pass.h"
#include "core/scan/scan_driver.h"
#include "recovery/preview.h"
#include "ui/pages/card_folders.h"
#include "ui/pages/results_list.h"
#include "ui/pages/results_thumbnails.h"
#include "ui/shell/CPageDlg.h"

class QFrame;
class QProgressBar;
class QTableView;
class QTreeWidgetItem;

namespace zt::ui {

class CFolderTreeCtrl;
class CPictureCtrl;
class CTransparentStatic;
class MediaPreview;
class ScanAnimation;

class CFileDisplayDlg : public CPageDlg {
    Q_OBJECT
public:
    // Control ids of the page's own controls.
    enum ControlId : int {
        IdBack = 4,
        IdToolSave = 8,
        IdStop = 9,
        IdSave = 1009,
    };
    static constexpr int MonitorMs = 1000;
    static constexpr int TreeMs = 500;
    static constexpr int MediaStartMs = 100;

    // Starts the scan of the session's source for its type list at once.
    explicit CFileDisplayDlg(ShellContext& context, QWidget* parent = nullptr);
    ~CFileDisplayDlg() override;

    [[nodiscard]] CFolderTreeCtrl* Tree() const { return m_tree; }
    [[nodiscard]] QTreeWidgetItem* Root() const { return m_root; }
    [[nodiscard]] QTableView* List() const { return m_list; }
    [[nodiscard]] ResultsListModel& ListModel() { return m_model; }
    [[nodiscard]] CPictureCtrl* Picture() const { return m_picture; }
    [[nodiscard]] MediaPreview* Player() const { return m_media; }
    [[nodiscard]] ResultsThumbnails* Thumbnails() const { return m_thumbnails; }
    [[nodiscard]] CButtonST* PageButton(int id) const;
    [[nodiscard]] QString PositionText() const;
    [[nodiscard]] QString CountText() const;
    [[nodiscard]] QProgressBar* ProgressBar() const { return m_progress; }
    [[nodiscard]] ScanAnimation* Animation() const { return m_animation; }
    [[nodiscard]] bool Scanning() const;
    [[nodiscard]] bool InResults() const { return m_inResults; }
    [[nodiscard]] int CurrentRow() const { return m_currentRow; }
    [[nodiscard]] const QString& PreviewTempPath() const { return m_previewTempPath; }
    [[nodiscard]] const std::string& TempFolder() const { return m_extractor.Folder(); }
    [[nodiscard]] const ScanDriver& Driver() const { return *m_driver; }

    // The page's commands, as its buttons and the menu give them.
    void SaveCommand();
    void StopCommand();
    void BackCommand();
    // Picks a list row as a click does; Up and Down as the arrow keys do.
    void ClickRow(int row);
    void MoveSelection(int step);

protected:
    void BeforeExit() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildThumbnails();
    void StartScan();
    void OnMonitorTick();
    void OnTreeTick();
    void RefreshTree();
    void EndOfScan();
    void SelectFirstType();
    void OnTreeSelection(QTreeWidgetItem* item);
    void FillList(TypeId type);
    // Lists the node chosen while `listed` was being listed, if it differs.
    void ListChosenMeanwhile(const QTreeWidgetItem* listed);
    void OnListTick(int row, bool ticked);
    void OnTreeCheck(QTreeWidgetItem* item, int state);
    void PreviewRow(int row);
    void StartExtraction(const FileInfo& record, PreviewKind kind);
    void ShowPlaceholder(const QString& name);
    void ShowPicture(const QString& path);
    void SelectRow(int row);
    void RunWaitDialog();
    [[nodiscard]] TypeId SelectedType() const;
    [[nodiscard]] std::optional<FileInfo> FindRecord(const QString& fileName, TypeId type) const;
    [[nodiscard]] bool ListFilling() const { return m_fill.Running(); }
    // The card's folders (with the file-system option on): their roots in
    // the tree at the end of the scan, a folder's files in the list, and the
    // list row's found file and the type its preview goes by.
    void ShowCardFolders();
    void ListCardFolder(const QTreeWidgetItem* item);
    void TickCardFolder(const QTreeWidgetItem* item, bool ticked);
    [[nodiscard]] QString RecordName(int row) const;
    [[nodiscard]] TypeId RowType(int row) const;
    [[nodiscard]] bool PreviewRunning() const { return m_previewRunning.load(std::memory_order_acquire); }

    Session& m_session;
    SectorReader m_reader;
    PreviewExtractor m_extractor;
    LivePreview m_live;
    // Before the driver: the scan's thread uses it until the driver is gone.
    std::unique_ptr<fs::FileSystemPass> m_cardPass;
    std::vector<CardFile> m_cardFiles;
    std::vector<CardFile> m_folderFiles;  // the list's rows while a card folder is shown
    bool m_folderShown = false;
    std::unique_ptr<ScanDriver> m_driver;
    bool m_summaryWritten = false;
    bool m_inResults = false;

    QTimer m_monitor;
    QTimer m_treeTimer;
    CFolderTreeCtrl* m_tree = nullptr;
    QTreeWidgetItem* m_root = nullptr;
    QTableView* m_list = nullptr;
    ResultsListModel m_model;
    ResultsListFill m_fill;
    // The tree's current node changed while another was being listed.
    bool m_selectionWaiting = false;
    std::unique_ptr<ThumbnailMaker> m_thumbnailMaker;
    ResultsThumbnails* m_thumbnails = nullptr;
    CPictureCtrl* m_picture = nullptr;
    MediaPreview* m_media = nullptr;
    CButtonST* m_toolSave = nullptr;
    CButtonST* m_save = nullptr;
    CButtonST* m_stop = nullptr;
    CButtonST* m_back = nullptr;
    QFrame* m_progressFrame = nullptr;
    ScanAnimation* m_animation = nullptr;
    CTransparentStatic* m_positionLabel = nullptr;
    CTransparentStatic* m_position = nullptr;
    CTransparentStatic* m_countLabel = nullptr;
    CTransparentStatic* m_count = nullptr;
    QProgressBar* m_progress = nullptr;

    TypeId m_shownType = kNoType;
    int m_currentRow = -1;
    bool m_inTreeSelection = false;
    bool m_inKeys = false;
    bool m_tickingTree = false;
    QString m_previewTempPath;
    std::atomic<bool> m_previewRunning{false};
    std::thread m_previewThread;
};

}  // namespace zt::ui
