// Scans of images made of hostile headers, one at every sector start, whose
// tables claim millions of entries: what the extended signatures' format
// walks cost per sector against the standard signatures on the same bytes.
// The source is memory, so the figures are the walks' own work.
// Run: build/bench/walk_bench   (reads_per_sector: the source reads a sector took)
#include <benchmark/benchmark.h>

#include <string_view>
#include <vector>

#include "core/scan/scan_driver.h"
#include "core/scan/tests/crafted_headers.h"
#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"

namespace {

using zt::testing::Image;

Image ImageOf(const std::vector<std::uint8_t>& bytes) {
    Image image((bytes.size() + zt::kSectorBytes - 1) / zt::kSectorBytes);
    image.Put(0, 0, bytes);
    return image;
}

void Scan(benchmark::State& state, const Image& image, std::string_view type) {
    const auto mode = state.range(0) ? zt::SignatureMode::Extended : zt::SignatureMode::Standard;
    std::vector<zt::TypeRow> rows = zt::DefaultTypeRows(mode);
    for (zt::TypeRow& row : rows) row.ticked = row.fileType == type;
    const zt::TypeDefinitionList selected = zt::BuildTypeDefinitionList(rows, mode).definitions;
    std::uint64_t reads = 0;
    for (auto _ : state) {
        zt::TypeDefinitionList types = selected;
        zt::SourceDescriptor source;
        source.DeviceNames[0] = "memory";
        source.RangeEnd = image.Sectors();
        zt::BadSectorPolicyState policy;
        zt::testing::MemoryRawIo io(image.Bytes());
        zt::SectorReader reader(source, policy, io);
        zt::FoundFileList found;
        zt::ScanDriver(reader, types, found, {}, mode).Run();
        reads += io.requests.size();
        benchmark::DoNotOptimize(found.Count());
    }
    const auto sectors = static_cast<double>(state.iterations() * image.Sectors());
    state.SetBytesProcessed(static_cast<std::int64_t>(sectors) * static_cast<std::int64_t>(zt::kSectorBytes));
    state.counters["reads_per_sector"] = static_cast<double>(reads) / sectors;
}

// 50 headers, each a chain of 16 directories naming one table of a million strips.
void BM_TiffSharingAMillionStripTable(benchmark::State& state) {
    static const Image image = ImageOf(zt::testing::CraftedTiff(50, 16, 1'000'000, true));
    Scan(state, image, "TIFF");
}

// 500 headers naming the same two tables of 500,000 strips: a walk that must
// read both, once per header.
void BM_TiffNamingTwoHalfMillionStripTables(benchmark::State& state) {
    static const Image image = ImageOf(zt::testing::CraftedTiff(500, 16, 500'000, false));
    Scan(state, image, "TIFF");
}

// 10 MB of PSD headers whose row tables run on through the headers after them.
void BM_PsdRowTablesThroughTenMegabytes(benchmark::State& state) {
    static const Image image = ImageOf(zt::testing::CraftedPsd(20480, 1'000'000, 1));
    Scan(state, image, "PSD");
}

// 10 MB of ASF headers, each 2 MB long and made of sector-long objects.
void BM_AsfHeadersOfThousandsOfObjects(benchmark::State& state) {
    static const Image image = ImageOf(zt::testing::CraftedAsf(20480, 3907 * 512, true));
    Scan(state, image, "WMA");
}

}  // namespace

// Argument: 0 the standard signatures, 1 the extended ones.
BENCHMARK(BM_TiffSharingAMillionStripTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffNamingTwoHalfMillionStripTables)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsdRowTablesThroughTenMegabytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsfHeadersOfThousandsOfObjects)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
