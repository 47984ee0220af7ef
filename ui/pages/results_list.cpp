#include "ui/pages/results_list.h"

#include <QImageReader>

#include <QMetaObject>

namespace zt::ui {

namespace {

// Above the card folders' key role, which the same tree uses.
constexpr int TypeRole = Qt::UserRole + 2;

}  // namespace

void SetNodeType(QTreeWidgetItem* node, TypeId type) {
    node->setData(0, TypeRole, static_cast<int>(type));
}

TypeId NodeType(const QTreeWidgetItem* item) {
    if (item == nullptr) return kNoType;
    bool ok = false;
    const int value = item->data(0, TypeRole).toInt(&ok);
    return ok ? static_cast<TypeId>(value) : kNoType;
}

bool IsCameraRawType(TypeId type) { return TraitsOf(type).shownBy == PreviewSource::CameraRaw; }

PreviewKind ShownPreviewKind(TypeId type) {
    const TypeTraits traits = TraitsOf(type);
    if (traits.shownBy != PreviewSource::ImageReader) return traits.Preview();
    static const QList<QByteArray> readers = QImageReader::supportedImageFormats();
    const QByteArray format(traits.imageFormat.data(), static_cast<qsizetype>(traits.imageFormat.size()));
    return readers.contains(format) ? PreviewKind::Picture : PreviewKind::None;
}

QStringList ExtraPreviewTypeNames() {
    QStringList names;
    for (const TypeId type : AllTypes()) {
        const PreviewSource source = TraitsOf(type).shownBy;
        if (source == PreviewSource::None || source == PreviewSource::FromStart) continue;
        names << QString::fromLatin1(TypeName(type).data(), static_cast<qsizetype>(TypeName(type).size()));
    }
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

bool ResultsListFill::Start(const FoundFileList& found, TypeId type) {
    if (Running()) return false;
    // The last fill has handed over its last batch; its thread ends just after.
    m_slot.Join();
    m_running.store(true, std::memory_order_release);
    const bool started = m_slot.Start([this, &found, type] {
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
            if (file.type != type) return;
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
