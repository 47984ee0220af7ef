// The results page's preview: the picture control and the sound and video
// player in the same place, the file extractions that feed them, and the
// pictures shown live while the scan runs. The files are extracted from the
// source's sectors into the preview folder on a worker, one at a time.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "core/scan/found_file_list.h"
#include "core/source/worker_slot.h"
#include "recovery/preview.h"
#include "ui/pages/scan_page_parts.h"

namespace zt {
}

namespace zt::ui {

class CBDialog;
class CPictureCtrl;
class MediaPreview;

// Runs extractions one at a time on a worker slot, the newest request
// winning: a request made while one runs waits for it and takes the place of
// any request still waiting, and the one that ran meanwhile is not shown.
// Its done is called, on the user-interface thread, only for a request no
// newer one replaced. Going away stops and joins the worker.
class NewestExtraction : public QObject {
    Q_OBJECT
public:
    using Work = std::function<std::optional<std::string>()>;
    using Done = std::function<void(const std::optional<std::string>& path)>;

    using QObject::QObject;
    ~NewestExtraction() override;

    void Request(Work work, Done done);
    // From a request until the done of the newest one has returned.
    [[nodiscard]] bool Busy() const { return m_running || m_waiting.has_value(); }

private:
    struct Job {
        Work work;
        Done done;
    };
    void Begin(Job job);
    void Ended(const std::optional<std::string>& path);

    bool m_running = false;     // user-interface thread only, like the rest
    Done m_done;                // of the job on the worker
    std::optional<Job> m_waiting;
    WorkerSlot m_slot;  // last: stopped and joined before the rest goes
};

class PreviewPanel : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> scanning;
        // Whether the row previewed is a camera RAW file: one without a
        // preview picture is shown as having none, not as damaged.
        std::function<bool()> cameraRawInView;
        // A preview is in place: the list marks the row it came from again.
        std::function<void()> shown;
        // Runs the page's wait box until the extraction is done.
        std::function<void()> wait;
    };
    static constexpr int MediaStartMs = 100;

    // Makes the picture and the player on page, over the same place.
    PreviewPanel(CBDialog& page, ScanPageParts parts, Hooks hooks);

    [[nodiscard]] CPictureCtrl* Picture() const { return m_picture; }
    [[nodiscard]] MediaPreview* Player() const { return m_media; }
    [[nodiscard]] LivePreview& Live() { return m_live; }
    [[nodiscard]] bool Busy() const { return m_extraction.Busy(); }
    [[nodiscard]] const QString& ShownPath() const { return m_shownPath; }
    [[nodiscard]] const std::string& Folder() const { return m_extractor.Folder(); }

    // Shows a found file as its type is shown: a picture, the player, or
    // the "no preview" picture; nothing changes for a file not found.
    void Show(PreviewKind kind, const std::optional<FileInfo>& record);
    // The picture in the preview's place, with one of the skin's pictures.
    void ShowPlaceholder(const QString& name);
    // No file chosen: the picture again, saying to choose one.
    void ShowNothingChosen();
    // The last picture the scan found, if a new one is ready.
    void ShowLatestFound();
    // A sound or video type is listed: the player takes the place.
    void ExpectMedia();
    // Back: lets go of the played file and removes the file last shown.
    void CloseAndForget();
    // Exit: removes every preview file the page may have made.
    void RemoveFiles();

private:
    void Extract(const FileInfo& record, PreviewKind kind);
    void Present(const std::optional<std::string>& path, PreviewKind kind);

    ScanPageParts m_parts;
    QString m_skinFolder;
    Hooks m_hooks;
    CPictureCtrl* m_picture = nullptr;
    MediaPreview* m_media = nullptr;
    QString m_shownPath;
    PreviewExtractor m_extractor;
    LivePreview m_live;
    NewestExtraction m_extraction;  // after the extractor: its worker uses it
};

}  // namespace zt::ui
