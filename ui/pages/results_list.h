// The results list: the found files of one type with a check box and a size
// each, and the thread that fills it from the found-file list.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <QTreeWidgetItem>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/scan/found_file_list.h"
#include "core/source/worker_slot.h"
#include "recovery/preview.h"

namespace zt::ui {

// "%.2f KB" below 1 MiB, "%.2f MB" below 1 GiB, else "%.2f GB", of
// sectorCount x 512 bytes.
[[nodiscard]] QString SizeText(std::int32_t sectorCount);
// The Size cell of a record: its SizeText, followed by " (cut)" when the
// record is not the whole file.
[[nodiscard]] QString SizeCellText(const FileInfo& file);
// "JPEG (12)": a type node's label.
[[nodiscard]] QString TypeNodeLabel(std::string_view typeName, std::int32_t foundCount);
// A type node carries its type as item data; the label is only its words.
void SetNodeType(QTreeWidgetItem* node, TypeId type);
// The type of a type node; kNoType for any other item.
[[nodiscard]] TypeId NodeType(const QTreeWidgetItem* item);

// How the page previews a type's files: the picture and sound types it
// always showed, and beyond them every type this machine can show: pictures
// that an installed image reader decodes (WebP, HEIC, JPEG 2000, PSD),
// camera RAW files through their preview picture, and every sound and video
// type, which the media backend plays or reports it cannot.
[[nodiscard]] PreviewKind ShownPreviewKind(TypeId type);
// Camera RAW types: shown through the preview picture they carry.
[[nodiscard]] bool IsCameraRawType(TypeId type);
// The type names whose preview files the page makes beyond the ones the
// recovery side always removes at Exit.
[[nodiscard]] QStringList ExtraPreviewTypeNames();

struct ResultsRow {
    QString fileName;
    QString size;
    bool ticked = false;
};

class ResultsListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void Clear();
    void Append(std::vector<ResultsRow> rows);
    [[nodiscard]] const ResultsRow& Row(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    [[nodiscard]] bool AnyTicked() const;

signals:
    // A row's check box was changed through the view.
    void RowTickChanged(int row, bool ticked);

private:
    std::vector<ResultsRow> m_rows;
};

// The list's view: a table of the program's own class, so that assistive
// technology's Toggle action ticks its rows (see row_ticking.h).
class ResultsListView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
};

// Fills a model with the records of one type on a worker thread: the rows are
// made there and handed to the model on the user-interface thread in
// batches, so a type with tens of thousands of files never stalls the
// window. Running() stays true until the last batch is in the model. A fill
// going away stops its worker at the next record and waits for it.
class ResultsListFill : public QObject {
    Q_OBJECT
public:
    static constexpr int BatchRows = 1000;

    explicit ResultsListFill(ResultsListModel& model, QObject* parent = nullptr);
    ~ResultsListFill() override;

    // Refused (false) while a fill runs. The list must no longer grow.
    bool Start(const FoundFileList& found, TypeId type);
    [[nodiscard]] bool Running() const { return m_running.load(std::memory_order_acquire); }

signals:
    // After a batch is in the model: the row to scroll into view.
    void RowsAdded(int scrollTo);
    void Finished();

private:
    ResultsListModel& m_model;
    std::atomic<bool> m_running{false};
    WorkerSlot m_slot;  // last: stopped and joined before the rest goes
};

}  // namespace zt::ui
