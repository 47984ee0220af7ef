// The imaging page: copies the chosen source's range into an image set in a
// destination folder, one file or numbered parts, on a worker thread, while
// a one-second timer shows the position and the part being written. Stop
// holds the copy while it asks; Back is refused while the copy runs.
#pragma once

#include <QTimer>
#include <atomic>
#include <memory>

#include "recovery/jobs/imaging_job.h"
#include "ui/shell/CPageDlg.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace zt::ui {

class CTransparentStatic;

class CImageCreationDlg : public CPageDlg {
    Q_OBJECT
public:
    enum ControlId : int { IdBack = 4, IdStop = 9, IdStart = 10 };
    static constexpr int TimerMs = 1000;

    // information, group and source are the source page's texts: the source's
    // information lines, its group's label and its own label.
    CImageCreationDlg(ShellContext& context, const QString& information, const QString& group, const QString& source,
                      QWidget* parent = nullptr);
    ~CImageCreationDlg() override;

    [[nodiscard]] QTreeWidget* SourceTree() const { return m_tree; }
    [[nodiscard]] QPlainTextEdit* InformationText() const { return m_information; }
    [[nodiscard]] QLineEdit* DestinationEdit() const { return m_destination; }
    [[nodiscard]] QPushButton* BrowseButton() const { return m_browse; }
    [[nodiscard]] QCheckBox* MultifileBox() const { return m_multifile; }
    [[nodiscard]] CButtonST* StartButton() const { return m_start; }
    [[nodiscard]] CButtonST* StopButton() const { return m_stop; }
    [[nodiscard]] CButtonST* BackButton() const { return m_back; }
    [[nodiscard]] QString ProgressText() const;
    [[nodiscard]] QString LastFileText() const;
    [[nodiscard]] QProgressBar* ProgressBar() const { return m_bar; }
    [[nodiscard]] bool Running() const { return m_job.Running(); }
    // True from Start until the tick that reports the end of the run.
    [[nodiscard]] bool Busy() const { return m_timer.isActive(); }
    [[nodiscard]] const ImagingProgress& Progress() const { return m_job.Progress(); }

    void PressBrowse();
    void PressStart();
    void PressStop();
    void PressBack();
    // One tick of the progress timer (the timer calls it every second).
    void Tick();

private:
    void ShowProgressControls(bool shown);
    void EnableInputs(bool enabled);

    QTreeWidget* m_tree;
    QPlainTextEdit* m_information;
    CTransparentStatic* m_destinationLabel;
    QLineEdit* m_destination;
    QPushButton* m_browse;
    QCheckBox* m_multifile;
    QGroupBox* m_frame;
    CTransparentStatic* m_currentLabel;
    CTransparentStatic* m_current;
    CTransparentStatic* m_lastFileLabel;
    CTransparentStatic* m_lastFile;
    QProgressBar* m_bar;
    QLabel* m_nextGrey;
    CButtonST* m_start;
    CButtonST* m_stop;
    CButtonST* m_back;
    QTimer m_timer;

    jobs::ImagingJob m_job;
};

}  // namespace zt::ui
