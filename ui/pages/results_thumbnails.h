// The results page's thumbnail grid: the found files of the chosen type shown
// as small pictures, ticked and picked like the rows of the list, which stays
// the page's default view.
//
// The pictures are made from the source's sectors on a worker of their own,
// read into memory (nothing is written anywhere, least of all to the
// source), and only for the cells in view: each scroll or change of type
// replaces what the worker still has to do, so a user scrolling past
// thousands of files never waits behind the ones scrolled past. A bounded
// cache keeps the latest few hundred, whatever the number of files.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QListView>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <unordered_map>

#include "core/scan/found_file_list.h"
#include "core/source/sector_reader.h"
#include "core/source/worker_slot.h"

class QCheckBox;
class QTableView;

namespace zt::ui {

class ResultsListModel;

// The longest side of a thumbnail, in pixels.
inline constexpr int ThumbnailSide = 96;
// A file longer than this is not read for its thumbnail: it keeps the blank one.
inline constexpr qsizetype MaxThumbnailSourceBytes = qsizetype{48} << 20;

// Decodes the bytes of a picture file (a camera RAW file through the preview
// picture it carries) into an image whose longer side is at most side,
// proportions kept and never enlarged; a null image when nothing decodes.
[[nodiscard]] QImage MakeThumbnail(const QByteArray& bytes, int side, bool cameraRaw);

// The thumbnails made so far, by file name, the least recently used going
// first once capacity is reached. User-interface thread only.
class ThumbnailCache {
public:
    explicit ThumbnailCache(std::size_t capacity) : m_capacity(capacity) {}

    void Put(const QString& name, QPixmap picture);
    // Null when the file has none yet; a hit counts as a use.
    [[nodiscard]] const QPixmap* Find(const QString& name);
    [[nodiscard]] bool Contains(const QString& name) const { return m_index.count(name) != 0; }
    [[nodiscard]] std::size_t Size() const { return m_order.size(); }
    [[nodiscard]] std::size_t Capacity() const { return m_capacity; }

private:
    using Entry = std::pair<QString, QPixmap>;
    std::size_t m_capacity;
    std::list<Entry> m_order;  // most recently used first
    std::unordered_map<QString, std::list<Entry>::iterator> m_index;
};

// The worker that reads and decodes thumbnails. Want() hands it the files in
// view; it works through them nearest first and announces each with Made on
// the user-interface thread. A later Want() replaces the earlier one.
class ThumbnailMaker : public QObject {
    Q_OBJECT
public:
    // Reads through a reader of its own over a copy of source whose range is
    // lifted (a file found near the end of a narrowed range has its real
    // sectors). found must outlive the maker.
    ThumbnailMaker(const SourceDescriptor& source, BadSectorPolicyState& policy, platform::RawIo& io,
                   const FoundFileList& found, QObject* parent = nullptr);
    ~ThumbnailMaker() override;

    // The files of this type to make, in order; whatever was still to be
    // made from an earlier call and is not named here is dropped.
    void Want(TypeId type, const QStringList& names);
    // The worker's niceness: the window's thread goes first.
    static constexpr int WorkerNice = 10;

    // How many files the worker has read and decoded since it started.
    [[nodiscard]] int MadeCount() const { return m_made.load(std::memory_order_relaxed); }

signals:
    // A null image: the file is not a picture that decodes.
    void Made(const QString& name, const QImage& image);

private:
    void Run();
    [[nodiscard]] QByteArray ReadFile(const FileInfo& file);

    SourceDescriptor m_source;
    SectorReader m_reader;
    const FoundFileList& m_found;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    TypeId m_type = kNoType;   // guarded by m_mutex
    std::deque<QString> m_queue;  // guarded by m_mutex
    bool m_closing = false;    // guarded by m_mutex
    std::atomic<int> m_made{0};
    WorkerSlot m_slot;  // last: stopped and joined before the rest goes
};

// Draws a grid cell: the thumbnail (or a blank field while it is made), the
// check box and the elided file name below.
class ThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ThumbnailDelegate(ThumbnailCache& cache, QObject* parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    ThumbnailCache& m_cache;
    QPixmap m_blank;
};

// The grid's view: a list of the program's own class, so that assistive
// technology's Toggle action ticks its cells as it ticks the list's rows.
class ResultsThumbnailView : public QListView {
    Q_OBJECT
public:
    explicit ResultsThumbnailView(QWidget* parent = nullptr);

    // The model rows whose cells are at least partly in view, top to bottom.
    [[nodiscard]] QList<int> VisibleRows() const;
};

// The grid and its switch, made beside the page's list: it shows the same
// model through the same selection, so a file ticked or picked in one is
// ticked or picked in the other.
class ResultsThumbnails : public QObject {
    Q_OBJECT
public:
    // Thumbnails kept decoded at most.
    static constexpr std::size_t CacheCapacity = 400;
    // How often, at most, the grid asks for the cells in view while it scrolls.
    static constexpr int SettleMs = 40;

    struct Hooks {
        std::function<TypeId()> type;                   // the type whose files are listed
        std::function<bool(TypeId)> pictures;           // whether that type's files make thumbnails
        std::function<void(int row)> pick;             // a cell picked, as a click on its row
        std::function<bool(const QModelIndex&)> canTick;
    };

    // The grid is made hidden, with the list's geometry; the switch hidden too.
    ResultsThumbnails(QWidget* page, QTableView* list, ResultsListModel& model, ThumbnailMaker& maker, Hooks hooks);

    [[nodiscard]] QCheckBox* Switch() const { return m_switch; }
    [[nodiscard]] ResultsThumbnailView* Grid() const { return m_grid; }
    [[nodiscard]] ThumbnailCache& Cache() { return m_cache; }
    [[nodiscard]] bool GridShown() const;
    // Shows the grid in the list's place, or the list again.
    void ShowGrid(bool grid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AskForVisible();
    // Hands a cell to the page as a click on its row, once per change of cell.
    void Pick(int row);
    void OnMade(const QString& name, const QImage& image);

    QTableView* m_list;
    ResultsListModel& m_model;
    ThumbnailMaker& m_maker;
    Hooks m_hooks;
    ThumbnailCache m_cache{CacheCapacity};
    QCheckBox* m_switch = nullptr;
    ResultsThumbnailView* m_grid = nullptr;
    QTimer m_settle;
    QHash<QString, int> m_asked;  // file name -> its row, of the cells last asked for
    int m_picked = -1;            // the row the grid last handed to the page
};

}  // namespace zt::ui
