#include "ui/pages/results_list.h"

#include <QImageReader>

#include <QMetaObject>

namespace zt::ui {

namespace {

const QStringList kCameraRawTypes{"CR2", "CRW", "RAF", "MRW", "NEF", "PEF", "ORF", "X3F", "SR2",
                                  "ERF", "DNG", "RAW", "MEF", "DCR", "CR3", "ARW", "RW2"};
// Picture types with the image-reader format that decodes them.
const QList<QPair<QString, QByteArray>> kReaderPictureTypes{
    {"WEBP", "webp"}, {"HEIC", "heic"}, {"JP2", "jp2"}, {"PSD", "psd"}};
const QStringList kMoreMediaTypes{"AIFF", "OGG", "AU", "RM", "MOV", "MP4", "VOB", "3G2", "MKV", "DIVX",
                                  "DV", "ASF", "M4V", "FLAC", "M4A", "3GP", "WEBM", "MTS"};

QString TypeOfLabel(const QString& label) { return label.section(QStringLiteral(" ("), 0, 0); }

}  // namespace

bool IsCameraRawType(const QString& label) { return kCameraRawTypes.contains(TypeOfLabel(label)); }

PreviewKind ShownPreviewKind(const QString& label) {
    const QString type = TypeOfLabel(label);
    // The types previewed from the start keep their rule (it goes by the label's start).
    if (const PreviewKind kind = PreviewKindOf(label.toStdString()); kind != PreviewKind::None) return kind;
    if (kCameraRawTypes.contains(type) || kMoreMediaTypes.contains(type)) {
        return kCameraRawTypes.contains(type) ? PreviewKind::Picture : PreviewKind::Media;
    }
    static const QList<QByteArray> readers = QImageReader::supportedImageFormats();
    for (const auto& [name, format] : kReaderPictureTypes) {
        if (type == name && readers.contains(format)) return PreviewKind::Picture;
    }
    return PreviewKind::None;
}

QStringList ExtraPreviewTypeNames() {
    QStringList names = kCameraRawTypes + kMoreMediaTypes;
    for (const auto& type : kReaderPictureTypes) names << type.first;
    return names;
}


QString SizeText(std::int32_t sectorCount) {
    const double bytes = static_cast<double>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(sectorCount)) * 512u);
    constexpr double kMiB = 1'048'576.0;
    constexpr double kGiB = 1'073'741'824.0;
    if (bytes < kMiB) return QString::asprintf("%.2f KB", bytes / 1024.0);
    if (bytes < kGiB) return QString::asprintf("%.2f MB", bytes / kMiB);
    return QString::asprintf("%.2f GB", bytes / kGiB);
}

QString SizeCellText(const FileInfo& file) {
    QString text = SizeText(file.sectorCount);
    if (file.cut != 0) text += QStringLiteral(" (cut)");
    return text;
}

QString TypeNodeLabel(std::string_view typeName, std::int32_t foundCount) {
    return QString::fromLatin1(typeName.data(), static_cast<qsizetype>(typeName.size())) +
           QStringLiteral(" (%1)").arg(foundCount);
}

bool BelongsToLabel(const FileInfo& file, const QString& label) {
    const std::string_view type = file.TypeName();
    return label.startsWith(QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size())));
}

int ResultsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultsListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ResultsListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ResultsRow& row = Row(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return index.column() == 0 ? row.fileName : row.size;
        case Qt::CheckStateRole:
            if (index.column() == 0) return row.ticked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == 1) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

QVariant ResultsListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("File Name") : QStringLiteral("Size");
}

Qt::ItemFlags ResultsListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool ResultsListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || index.row() >= rowCount()) {
        return false;
    }
    const bool ticked = value.toInt() == Qt::Checked;
    ResultsRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (row.ticked == ticked) return true;
    row.ticked = ticked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit RowTickChanged(index.row(), ticked);
    return true;
}

void ResultsListModel::Clear() {
    if (m_rows.empty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ResultsListModel::Append(std::vector<ResultsRow> rows) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

bool ResultsListModel::AnyTicked() const {
    return std::any_of(m_rows.begin(), m_rows.end(), [](const ResultsRow& r) { return r.ticked; });
}

ResultsListFill::ResultsListFill(ResultsListModel& model, QObject* parent) : QObject(parent), m_model(model) {}

ResultsListFill::~ResultsListFill() { m_slot.StopAndJoin(); }

bool ResultsListFill::Start(const FoundFileList& found, const QString& label) {
    if (Running()) return false;
    // The last fill has handed over its last batch; its thread ends just after.
    m_slot.Join();
    m_running.store(true, std::memory_order_release);
    const bool started = m_slot.Start([this, &found, label] {
        std::vector<ResultsRow> batch;
        int rowsMade = 0;
        auto hand = [this, &batch, &rowsMade](bool last) {
            const int scrollTo = last ? 0 : std::max(rowsMade - 2, 0);
            QMetaObject::invokeMethod(
                this,
                [this, rows = std::move(batch), scrollTo, last]() mutable {
                    m_model.Append(std::move(rows));
                    emit RowsAdded(scrollTo);
                    if (last) {
                        // Emptied on the user-interface thread, after the last rows are in.
                        m_running.store(false, std::memory_order_release);
                        emit Finished();
                    }
                },
                Qt::QueuedConnection);
            batch = {};
        };
        found.Walk([&](const FileInfo& file) {
            // Asked by an owner going away: the rest of the list is not made.
            if (m_slot.StopRequested()) return;
            if (!BelongsToLabel(file, label)) return;
            batch.push_back({QString::fromLatin1(file.FileName().data(), static_cast<qsizetype>(file.FileName().size())),
                             SizeCellText(file), file.selected != 0});
            ++rowsMade;
            if (static_cast<int>(batch.size()) == BatchRows) hand(false);
        });
        hand(true);
    });
    if (!started) m_running.store(false, std::memory_order_release);
    return started;
}

}  // namespace zt::ui
