// The scan and results page: runs the scan with its progress display, grows
// a tree of the found types while it runs (showing a few of the pictures as
// they are found), then lists the files of the chosen type with check boxes
// and sizes, previews the file picked, and saves the ticked files. With the
// card's file system read, a root per file system holds its folders beside
// the root of the types, and a folder lists its files by their names.
//
// The page wires three parts (the scan monitor, the results view and the
// preview panel) and keeps the page's own flow: the scan's start and end,
// Stop, Back and Save.
#pragma once

#include <memory>

#include "recovery/jobs/scan_job.h"
#include "ui/pages/preview_panel.h"
#include "ui/pages/results_list.h"
#include "ui/pages/results_thumbnails.h"
#include "ui/pages/results_view.h"
#include "ui/pages/scan_monitor.h"
#include "ui/shell/CPageDlg.h"

class QProgressBar;
class QTableView;
class QTreeWidgetItem;

namespace zt::ui {

class CFolderTreeCtrl;
class CPictureCtrl;
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
    static constexpr int MonitorMs = ScanMonitor::CountersMs;
    static constexpr int TreeMs = ScanMonitor::TreeMs;
    static constexpr int MediaStartMs = PreviewPanel::MediaStartMs;

    // Starts the scan of the session's source for its type list at once.
    explicit CFileDisplayDlg(ShellContext& context, QWidget* parent = nullptr);
    ~CFileDisplayDlg() override;

    [[nodiscard]] CFolderTreeCtrl* Tree() const { return m_results->Tree(); }
    [[nodiscard]] QTreeWidgetItem* Root() const { return m_results->Root(); }
    [[nodiscard]] QTableView* List() const { return m_results->List(); }
    [[nodiscard]] ResultsListModel& ListModel() { return m_results->Model(); }
    [[nodiscard]] CPictureCtrl* Picture() const { return m_preview->Picture(); }
    [[nodiscard]] MediaPreview* Player() const { return m_preview->Player(); }
    [[nodiscard]] ResultsThumbnails* Thumbnails() const { return m_results->Thumbnails(); }
    [[nodiscard]] CButtonST* PageButton(int id) const;
    [[nodiscard]] QString PositionText() const { return m_monitor->PositionText(); }
    [[nodiscard]] QString CountText() const { return m_monitor->CountText(); }
    [[nodiscard]] QProgressBar* ProgressBar() const { return m_monitor->ProgressBar(); }
    [[nodiscard]] ScanAnimation* Animation() const { return m_monitor->Animation(); }
    [[nodiscard]] bool Scanning() const;
    [[nodiscard]] bool InResults() const { return m_inResults; }
    [[nodiscard]] int CurrentRow() const { return m_results->CurrentRow(); }
    [[nodiscard]] const QString& PreviewTempPath() const { return m_preview->ShownPath(); }
    [[nodiscard]] const std::string& TempFolder() const { return m_preview->Folder(); }
    [[nodiscard]] const ScanDriver& Driver() const { return m_job->Driver(); }

    // The page's commands, as its buttons and the menu give them.
    void SaveCommand();
    void StopCommand();
    void BackCommand();
    // Picks a list row as a click does; Up and Down as the arrow keys do.
    void ClickRow(int row) { m_results->ClickRow(row); }
    void MoveSelection(int step) { m_results->MoveSelection(step); }

protected:
    void BeforeExit() override;

private:
    void BuildControls();
    void StartScan();
    void OnMonitorTick();
    void OnTreeTick();
    void EndOfScan();
    // Writes the scan's summary to the activity log and tells the user of a
    // failed or damaged read.
    void ReportScanEnd();
    void RunWaitDialog();

    Session& m_session;
    // Before the job: the scan's thread offers the live preview pictures until the job is gone.
    std::unique_ptr<PreviewPanel> m_preview;
    std::unique_ptr<ResultsView> m_results;
    std::unique_ptr<ScanMonitor> m_monitor;
    std::unique_ptr<jobs::ScanJob> m_job;
    bool m_inResults = false;

    CButtonST* m_toolSave = nullptr;
    CButtonST* m_save = nullptr;
    CButtonST* m_back = nullptr;
};

}  // namespace zt::ui
