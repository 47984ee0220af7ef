#include "ui/pages/CFileDisplayDlg.h"

#include <QAction>
#include <QDir>
#include <initializer_list>

#include "core/filesystems/named_files.h"
#include "recovery/save_checks.h"
#include "recovery/saving_run.h"
#include "ui/base/message_box.h"
#include "ui/controls/key_colour.h"
#include "ui/dialogs/CReplaceDlg.h"
#include "ui/dialogs/CSavingDlg.h"
#include "ui/dialogs/CWaitDlg.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/media_preview.h"
#include "ui/shell/document_window.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

namespace {

const QString kProcessRunning = QStringLiteral("Process is running.");
const QString kStopQuestion = QStringLiteral("Are you sure you want to stop this process?");

}  // namespace

CFileDisplayDlg::CFileDisplayDlg(ShellContext& context, QWidget* parent)
    : CPageDlg(context, parent),
      m_session(context.session) {
    BuildControls();
    StartScan();
}

CFileDisplayDlg::~CFileDisplayDlg() {
    // The timers first, then the scan (stopped and awaited by its job);
    // the parts then stop and join their own workers as they go.
    m_monitor.reset();
    m_job.reset();
}

void CFileDisplayDlg::BuildControls() {
    setObjectName(QStringLiteral("CFileDisplayDlg"));
    m_toolSave = new CButtonST(this);
    PlaceDu(m_toolSave, 2, 7, 38, 30);
    // Made in this order, the controls keep the page's tab order.
    const ScanPageParts parts{m_session.Source(),        m_session.BadSectors(), m_session.Seams().rawIo,
                              m_session.Seams().destination, m_session.Types(),    m_session.Found()};
    m_results = std::make_unique<ResultsView>(
        *this, parts,
        ResultsView::Hooks{[this] { return Scanning(); }, [this] { return m_preview->Busy(); },
                           [this] { RunWaitDialog(); },
                           [this](PreviewKind kind, const std::optional<FileInfo>& record) {
                               m_preview->Show(kind, record);
                           },
                           [this] { m_preview->ShowNothingChosen(); }, [this] { m_preview->ExpectMedia(); }});
    m_preview = std::make_unique<PreviewPanel>(
        *this, parts,
        PreviewPanel::Hooks{[this] { return Scanning(); },
                            [this] { return IsCameraRawType(m_results->CurrentRowType()); },
                            [this] { m_results->MarkCurrentRow(); }, [this] { RunWaitDialog(); }});
    m_monitor = std::make_unique<ScanMonitor>(*this);
    m_back = new CButtonST(this);
    PlaceDu(m_back, 360, 277, 38, 30);
    m_save = new CButtonST(this);
    PlaceDu(m_save, 404, 277, 38, 30);
    for (QWidget* corner : std::initializer_list<QWidget*>{m_back, m_save}) Anchor(corner, {1, 1, 0, 0});

    // The skin: the toolbar's live Save just before Help, then the page's own buttons.
    SkinButton(m_toolSave, skin::ToolSave, skin::ToolSaveHover, ToolbarKeyColour, QStringLiteral("Save"));
    SkinToolbar();
    SkinButton(m_back, skin::Back, skin::BackHover, ToolbarKeyColour, QStringLiteral("Back"));
    SkinButton(m_save, skin::Save, skin::SaveHover, ToolbarKeyColour, QStringLiteral("Save"));
    SkinButton(m_monitor->StopButton(), skin::Stop, skin::StopHover, ToolbarKeyColour, QStringLiteral("Stop"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Page)));

    connect(m_toolSave, &QAbstractButton::clicked, this, &CFileDisplayDlg::SaveCommand);
    connect(m_save, &QAbstractButton::clicked, this, &CFileDisplayDlg::SaveCommand);
    connect(Command(IdRecoverSelected), &QAction::triggered, this, &CFileDisplayDlg::SaveCommand);
    connect(m_monitor->StopButton(), &QAbstractButton::clicked, this, &CFileDisplayDlg::StopCommand);
    connect(m_back, &QAbstractButton::clicked, this, &CFileDisplayDlg::BackCommand);

    // Page start: scanning state.
    Command(IdRecoverSelected)->setEnabled(false);
    m_toolSave->hide();
    m_save->hide();
    m_back->hide();
    SavePicture()->show();
    Player()->SetFull(false);
    m_preview->ShowPlaceholder(skin::NoPreview);
}

CButtonST* CFileDisplayDlg::PageButton(int id) const {
    switch (id) {
        case IdBack: return m_back;
        case IdToolSave: return m_toolSave;
        case IdStop: return m_monitor->StopButton();
        case IdSave: return m_save;
        default: return ToolButton(id);
    }
}

bool CFileDisplayDlg::Scanning() const { return m_job && m_job->Running(); }

void CFileDisplayDlg::StartScan() {
    ScanCallbacks callbacks;
    callbacks.previewFoundPicture = [&live = m_preview->Live()](const FileInfo& file) { live.Offer(file); };
    callbacks.selectFirstTypeAtStop = [this] {
        QMetaObject::invokeMethod(this, [this] { m_results->SelectFirstType(); }, Qt::QueuedConnection);
    };
    m_job = std::make_unique<jobs::ScanJob>(
        jobs::ScanJobParts{m_session.Source(), m_session.BadSectors(), m_session.Seams().rawIo, m_session.Types(),
                           m_session.Found(), m_session.Signatures(), m_session.UsesFileSystems()},
        jobs::RunLog(m_session.Logs()), std::move(callbacks));
    m_monitor->Start([this] { OnMonitorTick(); }, [this] { OnTreeTick(); });
    m_job->Start();
}

void CFileDisplayDlg::OnMonitorTick() {
    const bool ended = !m_job->Running();
    const jobs::ScanProgress progress = m_job->Progress();
    m_monitor->Show(static_cast<std::int64_t>(progress.current), static_cast<std::int64_t>(progress.end),
                    static_cast<std::int64_t>(progress.found));
    if (!ended || m_job->Finished()) return;
    m_monitor->EndCounters();
    ReportScanEnd();
}

void CFileDisplayDlg::ReportScanEnd() {
    // The job writes the summary (and the file systems read) to the activity log.
    const ScanSummary summary = m_job->Finish().value();
    if (summary.sourceEndedAt) {
        // The scan failed: what is listed was found before the source ended.
        const QString text = QStringLiteral("The scan failed: %1. The files listed were found before it.")
                                 .arg(QString::fromStdString(SourceEndedText(*summary.sourceEndedAt)));
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Error, MessageButtons::Ok});
    } else if (const std::uint64_t zeros = summary.unreadableSectors; zeros > 0) {
        // The files found over those sectors may be damaged; the user is told once.
        const QString text = zeros == 1 ? QStringLiteral("1 sector could not be read and was scanned as zeros.")
                                        : QStringLiteral("%1 sectors could not be read and were scanned as zeros.")
                                              .arg(zeros);
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Warning, MessageButtons::Ok});
    }
}

void CFileDisplayDlg::OnTreeTick() {
    if (m_session.Found().Count() > 0) m_preview->ShowLatestFound();
    const bool ended = !m_job->Running();
    m_results->Refresh(m_job->Driver());
    if (ended) EndOfScan();
}

void CFileDisplayDlg::EndOfScan() {
    m_monitor->EndTree();
    if (m_inResults) return;
    // The summary is written before Back can be pressed: a Back between this
    // tick and the monitor's next one would otherwise lose it.
    if (!m_job->Finished()) OnMonitorTick();
    m_inResults = true;
    SavePicture()->hide();
    m_back->show();
    m_toolSave->show();
    m_save->show();
    m_monitor->Close();
    Command(IdRecoverSelected)->setEnabled(true);
    m_results->ShowResults(m_job->FileSystems() != nullptr);
}

void CFileDisplayDlg::RunWaitDialog() {
    CWaitDlg wait(
        SkinFolder(), [this] { return m_results->ListFilling(); }, [this] { return m_preview->Busy(); }, this);
    wait.exec();
}

void CFileDisplayDlg::StopCommand() {
    if (!Scanning()) return;
    m_monitor->Hold();
    // The scan waits at its next chunk while the question is open: it can
    // neither run on nor end between the question and the answer.
    const bool stopping = AskToStop(m_job->Slot(), [this] {
        return ShowMessageBox({this, Context().settings.appCaption, kStopQuestion, MessageIcon::Question,
                               MessageButtons::OkCancel}) == MessageAnswer::Ok;
    });
    if (stopping) m_monitor->ShowStopping();
    Picture()->update();
    m_monitor->Release();
}

void CFileDisplayDlg::BackCommand() {
    if (Scanning()) {
        ShowMessageBox(
            {this, Context().settings.appCaption, kProcessRunning, MessageIcon::Warning, MessageButtons::Ok});
        return;
    }
    m_preview->CloseAndForget();
    m_session.Found().Clear();
    m_session.Types().clear();
    GoBack();
}

void CFileDisplayDlg::BeforeExit() { m_preview->RemoveFiles(); }

void CFileDisplayDlg::SaveCommand() {
    const ShellSettings& settings = Context().settings;
    auto refuse = [this, &settings](const QString& text, MessageIcon icon) {
        ShowMessageBox({this, settings.appCaption, text, icon, MessageButtons::Ok});
    };
    if (Scanning()) return refuse(kProcessRunning, MessageIcon::Warning);
    auto message = [](SaveRefusal refusal) { return QString::fromUtf8(SaveRefusalMessage(refusal)); };
    if (const SaveRefusal refusal = CheckFoundFiles(m_session.Found()); refusal != SaveRefusal::None) {
        return refuse(message(refusal), MessageIcon::Warning);
    }
    const QString folder = Browse({this, QStringLiteral("Select Folder of Image File"), BrowseKind::Folder});
    if (folder.isEmpty()) return;
    const std::string destination = QDir::cleanPath(folder).toStdString();
    if (const SaveRefusal refusal = CheckSaveFolder(destination, m_session.Source(), m_session.Seams().destination,
                                                    m_session.Seams().rawIo);
        refusal != SaveRefusal::None) {
        return refuse(message(refusal), MessageIcon::Error);
    }

    Player()->Stop();
    DialogOverwritePrompt prompt(SkinFolder(), settings.windowTitle, this);
    SavingRun run(m_session.Found(), m_session.Source(), m_session.BadSectors(), destination,
                  SavingServices{m_session.Seams().destination, prompt, m_session.Logs(), m_session.Settings(),
                                 m_session.RecoveryHeaderWritten(), m_session.Seams().rawIo});
    ShellServices& services = Context().services;
    CSavingDlg saving(settings, run, [this, &services] { services.ViewLog(this, LogKind::Recovery); }, this,
                      [this, &settings](const QString& opened) {
                          if (!OpenWithDesktop(opened)) {
                              ShowMessageBox({this, settings.appCaption,
                                              QStringLiteral("No file manager could open %1.").arg(opened),
                                              MessageIcon::Warning, MessageButtons::Ok});
                          }
                      });
    saving.exec();
    run.Join();
}

}  // namespace zt::ui
