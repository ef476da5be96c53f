// One 50000-byte window searched by the literal search and by the search
// table (through its portable kernel and, where the processor has AVX2, its
// vector kernel), over the three kinds of content of the benchmark tree,
// with databases of 100, 1,000 and 10,000 records (bytes_per_second is the
// search alone, in GB/s); and the load of a 10,000-record database (CRC,
// descrambling, validation and the search table).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

constexpr uint32_t kWindow = 50000;

struct Loaded {
    VpsDatabase db;
    std::vector<uint8_t> image;
    explicit Loaded(uint32_t records) {
        SignatureList list = benchDatabase();
        list.signatures.resize(records);
        std::string error;
        vpsImageBuild(list, image, error);
        vpsParseImage(image.data(), image.size(), db);
    }
    ~Loaded() { vpsRelease(db); }
};

Loaded& database(uint32_t records) {
    static Loaded small(100), middle(1000), large(10000);
    return records == 100 ? small : records == 1000 ? middle : large;
}

// Index 0: program-like, 4: text, 7: noise (see benchFileContents).
std::vector<uint8_t> window(uint32_t kind) {
    BenchFile f{"", "", kWindow, kind};
    std::vector<uint8_t> bytes;
    benchFileContents(f, SignatureList{}, bytes);
    return bytes;
}

const char* kindName(int64_t kind) { return kind == 0 ? "program" : kind == 4 ? "text" : "noise"; }

void BM_Literal(benchmark::State& state) {
    const Loaded& d = database(static_cast<uint32_t>(state.range(1)));
    const std::vector<uint8_t> w = window(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        MatchResult r;
        searchLiteral(d.db, w.data(), kWindow, WindowPlace::startOfFile, r);
        benchmark::DoNotOptimize(r);
    }
    state.SetLabel(kindName(state.range(0)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWindow);
}

// Arguments: content, records, kernel (0 portable, 1 vector).
void BM_Table(benchmark::State& state) {
    Loaded& d = database(static_cast<uint32_t>(state.range(1)));
    const SearchKernel kernel = state.range(2) == 1 ? SearchKernel::vector : SearchKernel::portable;
    if (!searchTableSetKernel(d.db, kernel)) {
        state.SkipWithError("this processor has no vector kernel");
        return;
    }
    const std::vector<uint8_t> w = window(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        MatchResult r;
        searchFast(d.db, w.data(), kWindow, WindowPlace::startOfFile, r);
        benchmark::DoNotOptimize(r);
    }
    state.SetLabel(std::string(kindName(state.range(0))) + (kernel == SearchKernel::vector ? ", vector" : ", portable"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWindow);
}

void BM_Load10000(benchmark::State& state) {
    SignatureList list = benchDatabase();
    std::vector<uint8_t> image;
    std::string error;
    vpsImageBuild(list, image, error);
    for (auto _ : state) {
        VpsDatabase db;
        if (vpsParseImage(image.data(), image.size(), db) != kStatusOk) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(db.searchTable);
        state.counters["table_bytes"] = static_cast<double>(searchTableSize(db));
        vpsRelease(db);
    }
    state.counters["records"] = static_cast<double>(list.signatures.size());
}

}  // namespace

BENCHMARK(BM_Literal)->Args({0, 100})->Args({4, 100})->Args({7, 100})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Table)
    ->ArgsProduct({{0, 4, 7}, {100, 1000, 10000}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
