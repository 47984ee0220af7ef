// The progress of a saving run: the destination, the type folder and file in
// hand, "saved / total" and a bar, polled every 300 ms. Stop holds the run
// while it asks and stops it after the file in hand on Yes. When the run has
// ended the dialog says how it went and closes itself; it has no close box.
#pragma once

#include <QTimer>
#include <functional>

#include "recovery/saving_run.h"
#include "ui/base/shell_settings.h"
#include "ui/skin/CBDialog.h"

class QProgressBar;
class QPushButton;

namespace zt::ui {

class CTransparentStatic;

// What the user is told at the end of a run that had files to save: whether
// it completed or was stopped, how many files could not be written, whether
// what was written could not be flushed to the medium, and how many sectors
// of the saved files could not be read and were saved as zeros.
[[nodiscard]] QString SavingOutcomeText(const SavingRunState& state);
// The counts under it: files written, files kept at the overwrite question
// (the one already there stays) and files lost (not written).
[[nodiscard]] QString SavingCountsText(const SavingRunState& state);

class CSavingDlg : public CBDialog {
    Q_OBJECT
public:
    static constexpr int PollMs = 300;

    // Starts the run at once; the dialog must be run (exec) to see it through.
    // With openFolder, the end message offers to open the destination with it.
    CSavingDlg(const ShellSettings& settings, SavingRun& run, std::function<void()> viewRecoveryLog,
               QWidget* parent = nullptr, std::function<void(const QString& folder)> openFolder = {});

    [[nodiscard]] QString PathText() const;
    [[nodiscard]] QString FolderText() const;
    [[nodiscard]] QString FileText() const;
    [[nodiscard]] QString CountText() const;
    [[nodiscard]] QString StatusText() const;
    [[nodiscard]] QProgressBar* ProgressBar() const { return m_progress; }
    [[nodiscard]] QPushButton* StopButton() const { return m_stop; }

    // The Stop button's command.
    void StopCommand();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnTick();

    ShellSettings m_settings;
    SavingRun& m_run;
    std::function<void()> m_viewRecoveryLog;
    std::function<void(const QString& folder)> m_openFolder;
    QTimer m_timer;
    CTransparentStatic* m_path;
    CTransparentStatic* m_folder;
    CTransparentStatic* m_file;
    CTransparentStatic* m_count;
    CTransparentStatic* m_status;
    QProgressBar* m_progress;
    QPushButton* m_stop;
};

}  // namespace zt::ui
