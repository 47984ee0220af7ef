#include "ui/pages/results_thumbnails.h"

#include <QBuffer>
#include <QCheckBox>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTableView>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "recovery/file_copy.h"
#include "ui/controls/row_ticking.h"
#include "ui/pages/CPictureCtrl.h"
#include "ui/pages/results_list.h"

namespace zt::ui {

namespace {

QImage DecodeShrunk(const QByteArray& bytes, int side) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > side || size.height() > side)) {
        // A JPEG is decoded straight at a fraction of its size: far less work
        // than decoding it whole and shrinking it after.
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    return reader.read();
}

}  // namespace

QImage MakeThumbnail(const QByteArray& bytes, int side, bool cameraRaw) {
    if (bytes.isEmpty() || side <= 0) return {};
    // A camera RAW file read as a TIFF gives at most its tiny thumbnail: the
    // preview picture it carries is the one worth showing.
    QImage image = cameraRaw ? EmbeddedPreviewPicture(bytes) : QImage();
    if (image.isNull()) image = DecodeShrunk(bytes, side);
    if (image.isNull()) return {};
    if (image.width() > side || image.height() > side) {
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

void ThumbnailCache::Put(const QString& name, QPixmap picture) {
    if (m_capacity == 0) return;
    if (auto known = m_index.find(name); known != m_index.end()) {
        known->second->second = std::move(picture);
        m_order.splice(m_order.begin(), m_order, known->second);
        return;
    }
    if (m_order.size() == m_capacity) {
        m_index.erase(m_order.back().first);
        m_order.pop_back();
    }
    m_order.emplace_front(name, std::move(picture));
    m_index.emplace(name, m_order.begin());
}

const QPixmap* ThumbnailCache::Find(const QString& name) {
    const auto known = m_index.find(name);
    if (known == m_index.end()) return nullptr;
    m_order.splice(m_order.begin(), m_order, known->second);
    return &known->second->second;
}

ThumbnailMaker::ThumbnailMaker(const SourceDescriptor& source, BadSectorPolicyState& policy, platform::RawIo& io,
                               const FoundFileList& found, QObject* parent)
    : QObject(parent), m_source(source), m_reader(m_source, policy, io), m_found(found) {
    // The range bounds the scan, not the files it found.
    m_source.RangeStart = 0;
    m_source.RangeEnd = 0;
    (void)m_slot.Start([this] { Run(); });
}

ThumbnailMaker::~ThumbnailMaker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_slot.RequestStop();
    m_wake.notify_all();
    m_slot.Join();
}

void ThumbnailMaker::Want(TypeId type, const QStringList& names) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_type = type;
        m_queue.assign(names.begin(), names.end());
    }
    m_wake.notify_all();
}

QByteArray ThumbnailMaker::ReadFile(const FileInfo& file) {
    const std::uint64_t sectors = static_cast<std::uint32_t>(std::max(file.sectorCount, 0));
    if (sectors * 512 > static_cast<std::uint64_t>(MaxThumbnailSourceBytes)) return {};
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(sectors * 512));
    FileSectorCopy copy(m_reader);
    const int failed = copy.Copy(
        file,
        [this, &bytes](const std::uint8_t* data, std::size_t length, std::uint64_t offset) {
            // A closing page does not wait for the rest of a large file.
            if (m_slot.StopRequested()) return ECANCELED;
            const auto end = static_cast<qsizetype>(offset + length);
            if (bytes.size() < end) bytes.resize(end);
            std::memcpy(bytes.data() + offset, data, length);
            return 0;
        },
        &m_slot.Gate());
    return failed == 0 ? bytes : QByteArray();
}

void ThumbnailMaker::Run() {
    // Decoding takes whole cores; the window's thread must win them whenever
    // it has something to draw, so this thread yields to it (and to the rest
    // of the desktop).
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), WorkerNice);
    TypeId resolved = kNoType;
    std::unordered_map<std::string, FileInfo> records;
    for (;;) {
        TypeId type = kNoType;
        QString name;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_closing) return;
            type = m_type;
            name = m_queue.front();
            m_queue.pop_front();
        }
        if (m_slot.PassBoundary()) return;
        if (type != resolved) {
            // One walk per type shown, not one per file.
            records.clear();
            m_found.Walk([&records, type](const FileInfo& file) {
                if (file.type == type) records.emplace(std::string(file.FileName()), file);
            });
            resolved = type;
        }
        QImage image;
        if (const auto record = records.find(name.toStdString()); record != records.end()) {
            image = MakeThumbnail(ReadFile(record->second), ThumbnailSide, IsCameraRawType(type));
        }
        m_made.fetch_add(1, std::memory_order_relaxed);
        QMetaObject::invokeMethod(
            this, [this, name, image] { emit Made(name, image); }, Qt::QueuedConnection);
    }
}

ThumbnailDelegate::ThumbnailDelegate(ThumbnailCache& cache, QObject* parent)
    : QStyledItemDelegate(parent), m_cache(cache), m_blank(ThumbnailSide, ThumbnailSide) {
    m_blank.fill(PictureFieldColour);
    QPainter painter(&m_blank);
    painter.setPen(PictureFrameColour);
    painter.drawRect(m_blank.rect().adjusted(0, 0, -1, -1));
}

void ThumbnailDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QPixmap* picture = m_cache.Find(index.data(Qt::DisplayRole).toString());
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = QIcon(picture != nullptr && !picture->isNull() ? *picture : m_blank);
    option->decorationSize = QSize(ThumbnailSide, ThumbnailSide);
    option->decorationPosition = QStyleOptionViewItem::Top;
    option->decorationAlignment = Qt::AlignCenter;
    option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
    option->textElideMode = Qt::ElideMiddle;
}

ResultsThumbnailView::ResultsThumbnailView(QWidget* parent) : QListView(parent) {
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setMovement(QListView::Static);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int textHeight = fontMetrics().height();
    setGridSize(QSize(ThumbnailSide + 34, ThumbnailSide + textHeight + 12));
    setIconSize(QSize(ThumbnailSide, ThumbnailSide));
}

QList<int> ResultsThumbnailView::VisibleRows() const {
    const QRect area = viewport()->rect();
    const QSize cell = gridSize();
    std::set<int> rows;
    if (model() == nullptr || area.isEmpty() || cell.isEmpty()) return {};
    // Half a cell apart both ways: every cell in view, even a sliver of one, is hit.
    for (int y = 0; y < area.height() + cell.height() / 2; y += cell.height() / 2) {
        for (int x = 0; x < area.width() + cell.width() / 2; x += cell.width() / 2) {
            const QModelIndex index = indexAt(QPoint(std::min(x, area.width() - 1), std::min(y, area.height() - 1)));
            if (index.isValid()) rows.insert(index.row());
        }
    }
    return QList<int>(rows.begin(), rows.end());
}

ResultsThumbnails::ResultsThumbnails(QWidget* page, QTableView* list, ResultsListModel& model, ThumbnailMaker& maker,
                                     Hooks hooks)
    : QObject(page), m_list(list), m_model(model), m_maker(maker), m_hooks(std::move(hooks)) {
    m_switch = new QCheckBox(QStringLiteral("Thumbnails"), page);
    m_switch->setAccessibleName(QStringLiteral("Show thumbnails"));
    m_switch->setToolTip(QStringLiteral("Show the files as a grid of thumbnails instead of a list"));
    m_switch->hide();

    m_grid = new ResultsThumbnailView(page);
    m_grid->setAccessibleName(QStringLiteral("Found files as thumbnails"));
    m_grid->setModel(&model);
    // One selection for both views: a file picked in one is picked in the other.
    m_grid->setSelectionModel(list->selectionModel());
    m_grid->setItemDelegate(new ThumbnailDelegate(m_cache, m_grid));
    m_grid->setGeometry(list->geometry());
    m_grid->hide();
    EnableRowTicking(m_grid, {m_hooks.canTick, FlipFirstCellCheck,
                              [this](const QModelIndex& row) { Pick(row.row()); }});

    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &ResultsThumbnails::AskForVisible);
    // At most one request per settle time, even while the user keeps
    // scrolling: the cells in view appear as they pass, not only at the end.
    auto settle = [this] {
        if (GridShown() && !m_settle.isActive()) m_settle.start();
    };
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this, settle);
    connect(&model, &QAbstractItemModel::modelReset, this, settle);
    connect(&model, &QAbstractItemModel::rowsInserted, this, settle);
    m_grid->viewport()->installEventFilter(this);

    connect(m_switch, &QCheckBox::toggled, this, &ResultsThumbnails::ShowGrid);
    connect(&maker, &ThumbnailMaker::Made, this, &ResultsThumbnails::OnMade);
    connect(m_grid, &QListView::clicked, this, [this](const QModelIndex& index) { Pick(index.row()); });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { m_picked = -1; });
    // The arrow keys move through the grid as they move through the list: the file picked follows.
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!GridShown() || !m_grid->hasFocus() || !current.isValid()) return;
                // After the view's own handling of the key: picking opens the wait dialog.
                QMetaObject::invokeMethod(
                    this,
                    [this, row = current.row()] {
                        if (m_grid->currentIndex().row() == row) Pick(row);
                    },
                    Qt::QueuedConnection);
            });
}

void ResultsThumbnails::Pick(int row) {
    if (row < 0 || row == m_picked) return;
    m_picked = row;
    m_hooks.pick(row);
    m_grid->setFocus();
}

bool ResultsThumbnails::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid->viewport() && event->type() == QEvent::Resize && GridShown() && !m_settle.isActive()) {
        m_settle.start();
    }
    return QObject::eventFilter(watched, event);
}

bool ResultsThumbnails::GridShown() const { return m_grid->isVisibleTo(m_grid->parentWidget()); }

void ResultsThumbnails::ShowGrid(bool grid) {
    if (m_switch->isChecked() != grid) m_switch->setChecked(grid);
    if (GridShown() == grid) return;
    m_grid->setGeometry(m_list->geometry());
    m_grid->setVisible(grid);
    m_list->setVisible(!grid);
    QAbstractItemView* shown = grid ? static_cast<QAbstractItemView*>(m_grid) : m_list;
    if (const QModelIndex current = m_list->selectionModel()->currentIndex(); current.isValid()) {
        shown->scrollTo(current);
        m_picked = current.row();
    }
    if (grid) {
        m_settle.start();
    } else {
        // Nothing more to make while the list is shown.
        m_maker.Want(kNoType, {});
    }
}

void ResultsThumbnails::AskForVisible() {
    if (!GridShown()) return;
    const TypeId type = m_hooks.type();
    m_asked.clear();
    QStringList names;
    if (m_hooks.pictures(type)) {
        for (const int row : m_grid->VisibleRows()) {
            const QString name = m_model.Row(row).fileName;
            if (m_cache.Contains(name)) continue;
            m_asked.insert(name, row);
            names << name;
        }
    }
    m_maker.Want(type, names);
}

void ResultsThumbnails::OnMade(const QString& name, const QImage& image) {
    // File names are unique across types: a picture made for a type left
    // since is still that file's.
    m_cache.Put(name, image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    const int row = m_asked.value(name, -1);
    if (row < 0 || row >= m_model.rowCount() || m_model.Row(row).fileName != name) return;
    m_grid->update(m_grid->visualRect(m_model.index(row, 0)));
}

}  // namespace zt::ui
