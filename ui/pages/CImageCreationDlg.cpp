#include "ui/pages/CImageCreationDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "core/imaging/imaging_destination.h"
#include "ui/base/message_box.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/key_colour.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {
namespace {

const QString ImagePathNotFound = QStringLiteral("Image path not found. Please specify image path.");

}  // namespace

CImageCreationDlg::CImageCreationDlg(ShellContext& context, const QString& information, const QString& group,
                                     const QString& source, QWidget* parent)
    : CPageDlg(context, parent),
      m_tree(new QTreeWidget(this)),
      m_information(new QPlainTextEdit(this)),
      m_destinationLabel(new CTransparentStatic(QStringLiteral("Destination Image :"), this)),
      m_destination(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("Browse"), this)),
      m_multifile(new QCheckBox(QStringLiteral("Multifile"), this)),
      m_frame(new QGroupBox(this)),
      m_currentLabel(new CTransparentStatic(QStringLiteral("Current Sector  : "), this)),
      m_current(new CTransparentStatic(QString(), this)),
      m_lastFileLabel(new CTransparentStatic(QStringLiteral("Last File Name : "), this)),
      m_lastFile(new CTransparentStatic(QString(), this)),
      m_bar(new QProgressBar(this)),
      m_nextGrey(new QLabel(this)),
      m_start(new CButtonST(this)),
      m_stop(new CButtonST(this)),
      m_back(new CButtonST(this)),
      m_job({context.session.Source(), context.session.BadSectors(), context.session.Seams().rawIo,
             context.session.Seams().destination},
            jobs::RunLog(context.session.Logs())) {
    PlaceDu(m_tree, 14, 50, 160, 150);
    PlaceDu(m_information, 182, 50, 256, 150);
    PlaceDu(m_destinationLabel, 14, 212, 84, 10);
    PlaceDu(m_destination, 100, 210, 236, 13);
    PlaceDu(m_browse, 342, 209, 50, 15);
    PlaceDu(m_multifile, 100, 228, 80, 12);
    PlaceDu(m_frame, 14, 242, 330, 62);
    PlaceDu(m_currentLabel, 24, 252, 70, 10);
    PlaceDu(m_current, 96, 252, 240, 10);
    PlaceDu(m_lastFileLabel, 24, 266, 70, 10);
    PlaceDu(m_lastFile, 96, 266, 240, 10);
    PlaceDu(m_bar, 24, 282, 310, 12);
    PlaceDu(m_start, 400, 228, 38, 30);
    PlaceDu(m_stop, 400, 228, 38, 30);
    PlaceDu(m_back, 356, 272, 38, 30);
    PlaceDu(m_nextGrey, 400, 272, 38, 30);
    Anchor(m_tree, {0, 0, 0.4, 1});
    Anchor(m_information, {0.4, 0, 0.6, 1});
    Anchor(m_destinationLabel, {0, 1, 0, 0});
    Anchor(m_destination, {0, 1, 1, 0});
    // A path longer than the box is read whole in its tooltip.
    connect(m_destination, &QLineEdit::textChanged, m_destination, &QLineEdit::setToolTip);
    Anchor(m_multifile, {0, 1, 0, 0});
    Anchor(m_browse, {1, 1, 0, 0});
    for (QWidget* below : std::initializer_list<QWidget*>{m_currentLabel, m_lastFileLabel}) {
        Anchor(below, {0, 1, 0, 0});
    }
    Anchor(m_frame, {0, 1, 1, 0});
    for (QWidget* grows : std::initializer_list<QWidget*>{m_current, m_lastFile, m_bar}) Anchor(grows, {0, 1, 1, 0});
    for (QWidget* corner : std::initializer_list<QWidget*>{m_start, m_stop, m_back, m_nextGrey}) {
        Anchor(corner, {1, 1, 0, 0});
    }
    m_frame->lower();

    // The source's group and, under it, the source itself, selected.
    m_tree->setHeaderHidden(true);
    m_tree->setAccessibleName(QStringLiteral("Source"));
    const QIcon drive = style()->standardIcon(QStyle::SP_DriveHDIcon);
    auto* root = new QTreeWidgetItem(m_tree, {group});
    root->setIcon(0, drive);
    auto* item = new QTreeWidgetItem(root, {source});
    item->setIcon(0, drive);
    root->setExpanded(true);
    m_tree->setCurrentItem(item);

    m_information->setReadOnly(true);
    m_information->setPlainText(QString(information).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_information->setAccessibleName(QStringLiteral("Source Information"));
    m_destination->setAccessibleName(QStringLiteral("Destination Image"));
    m_browse->setAccessibleName(m_browse->text());
    m_multifile->setAccessibleName(m_multifile->text());
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    // The values keep their own text as their name, so a screen reader reads
    // the position and the file; their captions are the labels beside them.
    for (CTransparentStatic* label : {m_destinationLabel, m_currentLabel, m_lastFileLabel}) {
        label->setAccessibleName(label->text().simplified().remove(QLatin1Char(':')).trimmed());
    }
    ShowProgressControls(false);

    connect(m_browse, &QPushButton::clicked, this, &CImageCreationDlg::PressBrowse);
    connect(m_start, &QAbstractButton::clicked, this, &CImageCreationDlg::PressStart);
    connect(m_stop, &QAbstractButton::clicked, this, &CImageCreationDlg::PressStop);
    connect(m_back, &QAbstractButton::clicked, this, &CImageCreationDlg::PressBack);
    m_timer.setInterval(TimerMs);
    connect(&m_timer, &QTimer::timeout, this, &CImageCreationDlg::Tick);

    SkinToolbar();
    SkinButton(m_start, skin::Start, skin::StartHover, ToolbarKeyColour, QStringLiteral("Start"));
    SkinButton(m_stop, skin::Stop, skin::StopHover, ToolbarKeyColour, QStringLiteral("Stop"));
    SkinButton(m_back, skin::Back, skin::BackHover, ToolbarKeyColour, QStringLiteral("Back"));
    m_nextGrey->setPixmap(QPixmap::fromImage(LoadSkin(skin::NextGrey)));
    m_nextGrey->setAccessibleName(QStringLiteral("Next"));
    m_nextGrey->setAccessibleDescription(QStringLiteral("There is no page after this one"));
    SetBackground(QPixmap::fromImage(LoadSkin(skin::Page)));
}

CImageCreationDlg::~CImageCreationDlg() {
    // Only a test closes the page during a run (Exit ends the process); the copy stops at its next chunk.
    m_job.Slot().StopAndJoin();
}

QString CImageCreationDlg::ProgressText() const { return m_current->text(); }

QString CImageCreationDlg::LastFileText() const { return m_lastFile->text(); }

void CImageCreationDlg::ShowProgressControls(bool shown) {
    for (QWidget* widget : std::initializer_list<QWidget*>{m_currentLabel, m_current, m_frame, m_bar, m_stop,
                                                           m_lastFileLabel, m_lastFile}) {
        widget->setVisible(shown);
    }
    m_start->setVisible(!shown);
}

void CImageCreationDlg::EnableInputs(bool enabled) {
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_browse, m_multifile, m_destination, m_destinationLabel}) {
        widget->setEnabled(enabled);
    }
}

void CImageCreationDlg::PressBrowse() {
    const QString folder = Browse({this, QStringLiteral("Select Folder of Image File"), BrowseKind::Folder});
    if (folder.isEmpty()) {
        return;
    }
    if (!Context().session.Seams().destination.IsFolder(folder.toStdString())) {
        ShowMessageBox({this, Context().settings.appCaption, ImagePathNotFound, MessageIcon::Error,
                        MessageButtons::Ok});
        return;
    }
    m_destination->setText(folder);
}

void CImageCreationDlg::PressStart() {
    if (m_job.Running() || Busy()) {
        return;
    }
    Session& session = Context().session;
    const SourceDescriptor& source = session.Source();
    const std::string destination = m_destination->text().toStdString();
    auto refuse = [this](const QString& text) {
        ShowMessageBox({this, Context().settings.appCaption, text, MessageIcon::Error, MessageButtons::Ok});
    };
    // Missing folder, the source's own files, the medium being copied, too little space: in that order.
    const DestinationCheck check =
        CheckImagingDestination(session.Seams().destination, destination, source, session.Seams().rawIo);
    if (check != DestinationCheck::Ok) {
        refuse(QString::fromStdString(DestinationCheckMessage(check)));
        return;
    }

    ImagingJob job;
    job.ImageBaseName = MakeImageBaseName(destination);
    job.ImagingMultiFile = m_multifile->isChecked();
    m_timer.start();
    ShowProgressControls(true);
    m_back->hide();
    EnableInputs(false);
    if (!m_job.Start(std::move(job))) {
        m_timer.stop();
    }
}

void CImageCreationDlg::PressStop() {
    if (!m_job.Running()) {
        return;
    }
    // The copy waits at its next chunk until the question is answered.
    (void)AskToStop(m_job.Slot(), [this] {
        return ShowMessageBox({this, Context().settings.appCaption,
                               QStringLiteral("Are you sure you want to stop this process?"), MessageIcon::Question,
                               MessageButtons::OkCancel}) == MessageAnswer::Ok;
    });
}

void CImageCreationDlg::PressBack() {
    if (m_job.Running() || Busy()) {
        ShowMessageBox({this, Context().settings.appCaption, QStringLiteral("Process is running."),
                        MessageIcon::Warning, MessageButtons::Ok});
        return;
    }
    GoBack();
}

void CImageCreationDlg::Tick() {
    const ImagingProgress& copied = m_job.Progress();
    const std::uint64_t current = copied.CurrentSector.load();
    const std::uint64_t total = Context().session.Source().RangeEnd;
    const QString progress = QStringLiteral("%1 / %2").arg(current).arg(total);
    m_current->SetText(progress);
    const QString lastFile = QString::fromStdString(copied.LastFileName());
    m_lastFile->SetText(lastFile);
    m_bar->setValue(total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(100, current * 100 / total)));
    if (m_job.Running()) {
        return;
    }
    m_timer.stop();
    const ImagingOutcome outcome = m_job.Outcome();
    ShowProgressControls(false);

    // An aborted or failed run shows the stop icon, a completed one the information icon.
    const MessageIcon icon = outcome.result == ImagingResult::Completed ? MessageIcon::Information : MessageIcon::Error;
    // Sectors that could not be read are in the image as zeros: the end message says how many.
    const std::uint64_t unreadable = m_job.UnreadableSectors();
    QString message = QString::fromStdString(ImagingOutcomeMessage(outcome));
    if (unreadable != 0) {
        message += QStringLiteral("\n%1 unreadable sector(s) were written as zeros.").arg(unreadable);
    }
    ShowMessageBox({this, Context().settings.appCaption, message, icon, MessageButtons::Ok});
    m_back->show();
    EnableInputs(true);
    // The job writes the copy's summary to the activity log, after the message as ever.
    (void)m_job.Finish();
}

}  // namespace zt::ui
