// The source page of both jobs: the tree of drives, disks and (for media
// recovery) image sets, the information list of the selected source, the
// sector range, and Next, which points the session's descriptor at the
// source, writes the run header and opens the type page or the imaging page.
//
// The tree is listed on a worker thread while a please-wait box shows; the
// listing runs devquery and may take a few seconds.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "core/source/device_enumeration.h"
#include "core/source/device_registry.h"
#include "core/source/worker_slot.h"
#include "core/source/source_ref.h"
#include "ui/shell/CPageDlg.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace zt::ui {

struct BrowseRequest;

class CTransparentStatic;

class CPartitionInfoDlg : public CPageDlg {
    Q_OBJECT
public:
    enum ControlId : int { IdNext = 3, IdBack = 4 };
    // The item under "Select Image" that opens a raw disk image file (card.dd).
    static const QString OpenImageFileLabel;

    CPartitionInfoDlg(ShellContext& context, bool mediaRecoveryMode, QWidget* parent = nullptr);
    ~CPartitionInfoDlg() override;

    [[nodiscard]] bool MediaRecoveryMode() const { return m_mediaRecovery; }
    [[nodiscard]] QTreeWidget* SourceTree() const { return m_tree; }
    [[nodiscard]] QTreeWidget* InfoList() const { return m_info; }
    [[nodiscard]] QCheckBox* RangeBox() const { return m_rangeBox; }
    [[nodiscard]] QLineEdit* StartEdit() const { return m_start; }
    [[nodiscard]] QLineEdit* EndEdit() const { return m_end; }
    [[nodiscard]] CButtonST* NextButton() const { return m_next; }
    [[nodiscard]] CButtonST* BackButton() const { return m_back; }
    // True once the tree holds what the listing found.
    [[nodiscard]] bool Listed() const { return m_listed; }
    // The information list's lines, top to bottom.
    [[nodiscard]] QStringList InfoLines() const;

    // The source an item of the tree stands for; nothing for the root, the
    // groups and the item that opens an image file.
    [[nodiscard]] static std::optional<SourceRef> SourceOf(const QTreeWidgetItem* item);
    // The item of that label (under the group of that label, when given); null when there is none.
    [[nodiscard]] QTreeWidgetItem* FindItem(const QString& label, const QString& groupLabel = {}) const;
    void Select(QTreeWidgetItem* item);
    void PressNext();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void StartListing();
    void FillTree(const SourceTreeModel& model);
    void OnSelectionChanged();
    void OnRangeBoxToggled(bool checked);
    void EnableRangeEdits(bool enabled);
    void ShowLines(const QStringList& lines);
    void AskForImageFolder(QTreeWidgetItem* group);
    void AskForImageFile(QTreeWidgetItem* group);
    // A browser opened by choosing a row of the tree.
    QString BrowseFromTree(const BrowseRequest& request);
    // Ends the guard BrowseFromTree set, once the event being handled is done.
    void ReleaseBrowserGuard();
    QTreeWidgetItem* AddSourceItem(QTreeWidgetItem* group, const QString& label, const SourceRef& ref);
    void OpenNextPage(const QString& information, const QString& group, const QString& label);

    bool m_mediaRecovery;
    StoreDeviceRegistry m_registry;
    QTreeWidget* m_tree;
    QTreeWidget* m_info;
    QCheckBox* m_rangeBox;
    CTransparentStatic* m_rangeTitle;
    CTransparentStatic* m_startLabel;
    CTransparentStatic* m_endLabel;
    QLineEdit* m_start;
    QLineEdit* m_end;
    CButtonST* m_next;
    CButtonST* m_back;
    QTreeWidgetItem* m_root = nullptr;
    // The selected source and what it was shown with: Next logs these lines.
    std::optional<SourceRef> m_shownRef;
    SourceDescription m_shown;

    WorkerSlot m_lister;  // running while the devices are listed
    bool m_listed = false;
    bool m_waitShown = false;
    bool m_browserJustClosed = false;  // see BrowseFromTree
};

}  // namespace zt::ui
