// Detection runs on every sector of every scan, so it must cost far less than
// reading the sector. Run: build/bench/match_type_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/detection.h"

namespace {

zt::TypeDefinitionList AllTypes() {
    zt::TypeDefinitionList list;
    for (const auto& row : zt::CatalogueRows())
        if (auto d = zt::LookupDefinition(row.fileType)) list.push_back(*d);
    return list;
}

constexpr std::size_t kSectors = 1000;  // one scan chunk

void Run(benchmark::State& state, const std::vector<std::uint8_t>& chunk) {
    auto list = AllTypes();
    zt::SignatureDetector detector(list);
    std::string_view name;
    std::int32_t limit = 0;
    for (auto _ : state) {
        int found = 0;
        for (std::size_t s = 0; s < kSectors; ++s)
            found += detector.MatchType(chunk.data() + s * 512, chunk.size() - s * 512, name, limit) >= 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSectors));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSectors * 512));
}

void BM_MatchTypeRandomSectors(benchmark::State& state) {
    std::mt19937 rng(1);
    std::vector<std::uint8_t> chunk(kSectors * 512);
    for (auto& b : chunk) b = static_cast<std::uint8_t>(rng());
    Run(state, chunk);
}

void BM_MatchTypeZeroSectors(benchmark::State& state) {
    Run(state, std::vector<std::uint8_t>(kSectors * 512, 0));
}

// Header sectors of the common formats, including the ones that need a maker
// text searched through the whole sector (RIFF, TIFF family).
void BM_MatchTypeHeaderSectors(benchmark::State& state) {
    std::mt19937 rng(2);
    std::vector<std::uint8_t> chunk(kSectors * 512);
    for (auto& b : chunk) b = static_cast<std::uint8_t>(rng());
    const std::vector<std::vector<std::uint8_t>> headers = {
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'},
        {0xFF, 0xD8, 0xFF, 0xE1, 0x01, 0x9A, 'E', 'x'},
        {0x89, 'P', 'N', 'G'},
        {'G', 'I', 'F', '8', '9', 'a'},
        {'I', 'I', 0x2A, 0x00},
        {'M', 'M', 0x00, 0x2A},
        {'R', 'I', 'F', 'F', 0x00, 0x10, 0x00, 0x00, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'},
        {'B', 'M', 0x36, 0x10, 0x0E, 0x00},
        {'I', 'D', '3', 0x03},
    };
    for (std::size_t s = 0; s < kSectors; ++s) {
        const auto& h = headers[s % headers.size()];
        std::memcpy(chunk.data() + s * 512, h.data(), h.size());
    }
    Run(state, chunk);
}

BENCHMARK(BM_MatchTypeRandomSectors);
BENCHMARK(BM_MatchTypeZeroSectors);
BENCHMARK(BM_MatchTypeHeaderSectors);

}  // namespace

BENCHMARK_MAIN();
