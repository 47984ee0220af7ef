#include "ui/pages/preview_panel.h"

#include <QMetaObject>
#include <QTimer>
#include <utility>

#include "core/filesystems/named_files.h"
#include "platform/private_file.h"
#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/media_preview.h"
#include "ui/pages/results_list.h"
#include "ui/skin/CBDialog.h"
#include "ui/skin/skin_files.h"

namespace zt::ui {

NewestExtraction::~NewestExtraction() { m_slot.StopAndJoin(); }

void NewestExtraction::Request(Work work, Done done) {
    if (m_running) {
        m_waiting = Job{std::move(work), std::move(done)};
        return;
    }
    Begin(Job{std::move(work), std::move(done)});
}

void NewestExtraction::Begin(Job job) {
    m_running = true;
    m_done = std::move(job.done);
    // The last run has handed its result over; its thread ends just after.
    m_slot.Join();
    const bool started = m_slot.Start([this, work = std::move(job.work)] {
        std::optional<std::string> path = work();
        // Handled on the user-interface thread; dropped there if this object is gone.
        QMetaObject::invokeMethod(this, [this, path = std::move(path)] { Ended(path); }, Qt::QueuedConnection);
    });
    if (!started) {
        // Cannot happen after the join; never leave the page waiting on it.
        m_running = false;
        Done done = std::move(m_done);
        done(std::nullopt);
    }
}

void NewestExtraction::Ended(const std::optional<std::string>& path) {
    if (m_waiting) {
        Job next = std::move(*m_waiting);
        m_waiting.reset();
        Begin(std::move(next));
        return;
    }
    Done done = std::move(m_done);
    done(path);
    // Busy until the controls show the result.
    m_running = false;
}

PreviewPanel::PreviewPanel(CBDialog& page, ScanPageParts parts, Hooks hooks)
    : m_parts(parts),
      m_skinFolder(page.SkinFolder()),
      m_hooks(std::move(hooks)),
      m_extractor(parts.source, parts.badSectors,
                  ChoosePreviewFolder(PreviewFolderCandidates(), parts.source, parts.destination, parts.io),
                  parts.io),
      m_live(m_extractor) {
    m_picture = new CPictureCtrl(&page);
    m_picture->setAccessibleName(QStringLiteral("Preview"));
    page.PlaceDu(m_picture, 132, 155, 310, 113);
    m_media = new MediaPreview(&page);
    m_media->setGeometry(m_picture->geometry());
    // Grown, the preview shares the added height with the list above it.
    page.Anchor(m_picture, {0.25, 0.5, 0.75, 0.5});
    page.Anchor(m_media, {0.25, 0.5, 0.75, 0.5});
}

void PreviewPanel::Show(PreviewKind kind, const std::optional<FileInfo>& record) {
    if (kind == PreviewKind::Media) {
        m_picture->hide();
        if (!record) return;
        m_media->Close();
        Extract(*record, kind);
        return;
    }
    m_media->Stop();
    m_media->SetFull(false);
    m_picture->show();
    if (kind == PreviewKind::None) {
        ShowPlaceholder(skin::Preview);
        return;
    }
    if (!record) return;
    Extract(*record, kind);
    m_picture->update();
}

void PreviewPanel::Extract(const FileInfo& record, PreviewKind kind) {
    // A file the card's file system names is previewed from its pieces, as it is saved.
    std::vector<SectorRun> runs;
    if (const std::optional<NamedFile> named = m_parts.found.NamedByName(record.FileName())) runs = named->runs;
    // One wait box covers a request made while an earlier one still runs.
    const bool waiting = m_extraction.Busy();
    m_extraction.Request([this, record, runs = std::move(runs)] { return m_extractor.Extract(record, runs); },
                         [this, kind](const std::optional<std::string>& path) { Present(path, kind); });
    if (!waiting) m_hooks.wait();
}

void PreviewPanel::Present(const std::optional<std::string>& path, PreviewKind kind) {
    if (!path || m_hooks.scanning()) return;
    m_shownPath = QString::fromStdString(*path);
    if (kind == PreviewKind::Picture) {
        // A RAW file without a preview picture is not damaged: it has no preview.
        if (!m_picture->Load(m_shownPath)) {
            ShowPlaceholder(m_hooks.cameraRawInView() ? skin::Preview : skin::Corrupted);
        }
    } else {
        QTimer::singleShot(MediaStartMs, this, [this] { m_media->Play(m_shownPath); });
    }
    m_hooks.shown();
}

void PreviewPanel::ShowPlaceholder(const QString& name) { m_picture->Load(m_skinFolder + name); }

void PreviewPanel::ShowNothingChosen() {
    // The player would hide the placeholder: the picture takes its place again.
    m_media->Stop();
    m_media->SetFull(false);
    m_picture->show();
    ShowPlaceholder(skin::SelectFile);
}

void PreviewPanel::ShowLatestFound() {
    if (std::optional<std::string> path = m_live.TakeReady()) {
        m_shownPath = QString::fromStdString(*path);
        if (!m_picture->Load(m_shownPath)) ShowPlaceholder(skin::Corrupted);
    }
}

void PreviewPanel::ExpectMedia() { m_media->SetFull(true); }

void PreviewPanel::CloseAndForget() {
    m_media->Close();
    if (!m_shownPath.isEmpty()) platform::RemoveEntry(m_shownPath.toStdString());
}

void PreviewPanel::RemoveFiles() {
    m_media->Close();
    RemovePreviewFiles(m_extractor.Folder());
    for (const QString& type : ExtraPreviewTypeNames()) platform::RemoveEntry(m_extractor.PathFor(type.toStdString()));
}

}  // namespace zt::ui
