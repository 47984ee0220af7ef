#include "ui/dialogs/CSavingDlg.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <cstring>
#include <utility>

#include "ui/base/message_box.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/dialogs/CMessageDlg.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

QString SavingOutcomeText(const SavingRunState& state) {
    const std::int32_t total = state.total;
    const std::int32_t failed = state.failed;
    const int syncError = state.syncError;
    const std::uint64_t zeros = state.unreadableSectors;
    const std::int32_t cut = state.cut;
    const bool aborted = state.aborted;
    // A run that lost files, or could not flush them, is not reported as a success.
    QStringList parts;
    if (aborted || (failed <= 0 && syncError == 0)) parts << QString::fromStdString(SavingEndMessage(total, aborted));
    if (failed > 0) {
        QString lost = failed == 1 ? QStringLiteral("1 of %1 files could not be saved").arg(total)
                                   : QStringLiteral("%1 of %2 files could not be saved").arg(failed).arg(total);
        if (const std::string why = SavingFailureReason(state); !why.empty())
            lost += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(why.c_str()));
        parts << lost + QLatin1Char('.');
    }
    if (syncError != 0) {
        parts << QStringLiteral("The files could not be flushed to the medium (%1).")
                     .arg(QString::fromLocal8Bit(std::strerror(syncError)));
    }
    if (cut > 0) parts << QString::fromStdString(CutFilesMessage(cut));
    if (zeros > 0) {
        parts << (zeros == 1 ? QStringLiteral("1 unreadable sector was saved as zeros.")
                             : QStringLiteral("%1 unreadable sectors were saved as zeros.").arg(zeros));
    }
    return parts.join(QLatin1Char(' '));
}

QString SavingCountsText(const SavingRunState& state) {
    const std::int32_t kept = state.kept;
    const std::int32_t written = state.saved - kept;
    return QStringLiteral("Written: %1   Kept: %2   Lost: %3").arg(written).arg(kept).arg(state.failed.load());
}

CSavingDlg::CSavingDlg(const ShellSettings& settings, SavingRun& run, std::function<void()> viewRecoveryLog,
                       QWidget* parent, std::function<void(const QString& folder)> openFolder)
    : CBDialog(settings.skinFolder, parent),
      m_settings(settings),
      m_run(run),
      m_viewRecoveryLog(std::move(viewRecoveryLog)),
      m_openFolder(std::move(openFolder)) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(settings.windowTitle);
    SetClientSize(MessageClientSize);

    auto caption = [this](const char* text, int y) {
        auto* label = new CTransparentStatic(QString::fromLatin1(text), this);
        PlaceDu(label, 12, y, 62, 10);
        return label;
    };
    auto value = [this](int y) {
        auto* label = new CTransparentStatic(QString(), this);
        PlaceDu(label, 76, y, 142, 10);
        return label;
    };
    caption("Path :", 10);
    m_path = value(10);
    caption("Folder Name :", 22);
    m_folder = value(22);
    caption("File Name:", 34);
    m_file = value(34);
    caption("Number of File :", 46);
    m_count = value(46);
    m_status = new CTransparentStatic(QStringLiteral("Saving is in progress..."), this);
    PlaceDu(m_status, 12, 60, 200, 10);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setAccessibleName(QStringLiteral("Saving progress"));
    PlaceDu(m_progress, 12, 73, 202, 10);
    m_stop = new QPushButton(QStringLiteral("&Stop"), this);
    PlaceDu(m_stop, 84, 89, 58, 15);
    connect(m_stop, &QPushButton::clicked, this, &CSavingDlg::StopCommand);

    SetBackground(QPixmap::fromImage(LoadSkin(skin::MessageBox)));
    m_path->setText(QString::fromStdString(run.State().Destination()));
    m_path->setToolTip(m_path->text());

    m_timer.setInterval(PollMs);
    connect(&m_timer, &QTimer::timeout, this, &CSavingDlg::OnTick);
    m_timer.start();
    m_run.Start();
}

QString CSavingDlg::PathText() const { return m_path->text(); }
QString CSavingDlg::FolderText() const { return m_folder->text(); }
QString CSavingDlg::FileText() const { return m_file->text(); }
QString CSavingDlg::CountText() const { return m_count->text(); }
QString CSavingDlg::StatusText() const { return m_status->text(); }

void CSavingDlg::OnTick() {
    const SavingRunState& state = m_run.State();
    // Read once: the thread goes on meanwhile.
    const bool ended = !m_run.Running();
    const SavingNames names = state.CurrentNames();
    const std::int32_t saved = state.saved;
    const std::int32_t total = state.total;
    m_folder->SetText(QString::fromStdString(names.folder));
    m_file->SetText(QString::fromStdString(names.file));
    m_count->SetText(QStringLiteral("%1 / %2").arg(saved).arg(total));
    m_progress->setValue(total > 0 && saved > 0 ? static_cast<int>(std::int64_t{saved} * 100 / total) : 0);
    if (!ended) return;

    m_timer.stop();
    hide();
    if (total == 0) {
        ShowMessageBox({parentWidget(), m_settings.appCaption, QStringLiteral("Please select the file for saving."),
                        MessageIcon::Warning, MessageButtons::Ok});
    } else {
        CMessageDlg message(SkinFolder(), m_settings.windowTitle,
                            SavingOutcomeText(state), m_viewRecoveryLog,
                            parentWidget());
        if (m_openFolder) {
            const QString folder = QString::fromStdString(state.Destination());
            message.AddSaveDetails(SavingCountsText(state), folder, [this, folder] { m_openFolder(folder); });
        }
        message.exec();
    }
    accept();
}

void CSavingDlg::StopCommand() {
    if (!m_run.Running()) return;
    // The run waits at its next chunk while the question is open. It may
    // still end meanwhile (flushing after its last file), so the timer waits
    // too: the end message must not close this dialog under the question.
    PauseGate::Hold hold(m_run.Gate());
    m_timer.stop();
    const MessageAnswer answer =
        ShowMessageBox({this, m_settings.appCaption, QStringLiteral("Are you sure you want to stop this process?"),
                        MessageIcon::Question, MessageButtons::YesNo});
    m_timer.start();
    if (answer == MessageAnswer::Yes) {
        m_run.RequestStop();
        m_status->SetText(QStringLiteral("Saving Aborted."));
        m_progress->hide();
        m_stop->setEnabled(false);
    }
}

void CSavingDlg::closeEvent(QCloseEvent* event) {
    // Open until the run has ended; the timer closes it.
    event->ignore();
}

void CSavingDlg::reject() {
    // Esc neither closes it nor leaves the run without its dialog.
}

}  // namespace zt::ui
