// Scrolling the results page's thumbnail grid over a card of found JPEGs,
// top to bottom at 60 steps a second, as a user dragging the scroll bar
// would. The pictures are read and decoded off the window's thread; this
// reports the longest the event loop went without running (max_stall_ms),
// how many thumbnails were made against the files in the list (made, files),
// and the cache's size at the end (cached), which stays bounded. The same
// scroll with no thumbnails made (second argument 0) is the baseline: on a
// loaded machine the event loop stalls by itself too, so max_busy_ms gives
// the most processor time the window's thread spent between two beats: its
// own work, whatever else the machine runs.
// Built into results_list_bench, whose main runs it:
// QT_QPA_PLATFORM=offscreen build/bench/results_list_bench --benchmark_filter=ScrollGrid
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>

#include "platform/raw_io.h"
#include "ui/controls/row_ticking.h"
#include "ui/pages/results_list.h"
#include "ui/pages/results_thumbnails.h"

namespace {

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A camera-sized photo: a gradient with noise, so that it compresses as a photo does.
QByteArray Photo(int seed) {
    QImage image(1600, 1200, QImage::Format_RGB32);
    std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28);
            line[x] = qRgb((x / 7 + seed * 40) % 256, (y / 5 + noise) % 256, (x + y + noise * 3) % 256);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

// A card image of `distinct` photos; the found list names `files` JPEGs over them in turn.
struct Card {
    QTemporaryDir dir;
    zt::SourceDescriptor source;
    zt::BadSectorPolicyState policy;
    zt::FoundFileList found;

    Card(int files, int distinct) {
        const QString path = dir.filePath("card.img");
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly)) qFatal("cannot write the card image");
        std::vector<std::pair<std::uint64_t, std::int32_t>> places;
        std::uint64_t sector = 0;
        for (int i = 0; i < distinct; ++i) {
            QByteArray photo = Photo(i);
            photo.append(QByteArray((512 - photo.size() % 512) % 512, '\0'));
            out.write(photo);
            const auto sectors = static_cast<std::int32_t>(photo.size() / 512);
            places.emplace_back(sector, sectors - 1);
            sector += static_cast<std::uint64_t>(sectors);
        }
        for (int i = 1; i <= files; ++i) {
            const auto& [start, count] = places[static_cast<std::size_t>(i % distinct)];
            found.Append(zt::MakeFileInfo("JPEG", i, start, count));
        }
        source.DeviceNames[0] = path.toStdString();
        source.RangeEnd = sector;
    }
};

void ScrollGrid(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const bool pictures = state.range(1) != 0;
    Card card(files, 40);
    const zt::TypeId jpeg = *zt::FindType("JPEG");
    qint64 worstStall = 0;
    double worstBusyMs = 0;
    int made = 0;
    std::size_t cached = 0;
    for (auto _ : state) {
        zt::ui::ThumbnailMaker maker(card.source, card.policy, zt::platform::SystemRawIo(), card.found);
        QWidget page;
        page.resize(1000, 700);
        zt::ui::ResultsListModel model;
        QTableView list(&page);
        list.setModel(&model);
        list.setGeometry(250, 10, 740, 680);
        zt::ui::ResultsThumbnails grid(&page, &list, model, maker,
                                       {[jpeg] { return jpeg; }, [pictures](zt::TypeId) { return pictures; }, [](int) {},
                                        [](const QModelIndex& row) { return zt::ui::FirstCellCheckable(row); }});
        std::vector<zt::ui::ResultsRow> rows;
        card.found.Walk([&rows](const zt::FileInfo& f) {
            rows.push_back({QString::fromLatin1(f.FileName().data()), zt::ui::SizeCellText(f), false});
        });
        model.Append(std::move(rows));
        page.show();
        grid.ShowGrid(true);

        QElapsedTimer sinceTick;
        QTimer heartbeat;
        heartbeat.setInterval(5);
        double busyAtTick = ThreadCpuMs();
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            worstStall = std::max(worstStall, sinceTick.restart());
            const double busy = ThreadCpuMs();
            worstBusyMs = std::max(worstBusyMs, busy - busyAtTick);
            busyAtTick = busy;
        });
        QScrollBar* bar = grid.Grid()->verticalScrollBar();
        QEventLoop loop;
        QTimer step;
        step.setInterval(16);
        QObject::connect(&step, &QTimer::timeout, [&] {
            if (bar->value() < bar->maximum()) {
                bar->setValue(bar->value() + 60);
                return;
            }
            // At the bottom: done once the last cells in view are made.
            const QList<int> shown = grid.Grid()->VisibleRows();
            if (!pictures || (!shown.isEmpty() && grid.Cache().Contains(model.Row(shown.last()).fileName))) loop.quit();
        });
        sinceTick.start();
        busyAtTick = ThreadCpuMs();
        heartbeat.start();
        step.start();
        loop.exec();
        heartbeat.stop();
        made = maker.MadeCount();
        cached = grid.Cache().Size();
    }
    state.counters["max_stall_ms"] = static_cast<double>(worstStall);
    state.counters["max_busy_ms"] = worstBusyMs;
    state.counters["made"] = made;
    state.counters["files"] = files;
    state.counters["cached"] = static_cast<double>(cached);
}

}  // namespace

BENCHMARK(ScrollGrid)->Args({2'000, 0})->Args({2'000, 1})->Args({5'000, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
