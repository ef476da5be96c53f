// Finding the cut in the largest tail there is (512 KiB), with the banner
// near its start (the usual case) and with no banner at all (both scans run
// to the end).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "log/log_trim.h"

namespace {

std::vector<uint8_t> tail(bool withBanners) {
    std::u16string line = u"10:00:00.001  EXE is starting... and some more text of a start-up line\r\n";
    std::u16string stopped = u"10:00:00.002  Stopped: 01.02.2026, 10:00:01\r\n\r\n\r\n";
    std::u16string text;
    for (int lines = 1; text.size() * 2 < kLogTrimWindow; ++lines) {
        text += line;
        if (withBanners && lines % 10 == 0) text += stopped;
    }
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.resize(kLogTrimWindow - 1);
    return bytes;
}

void BM_KeepFromWithBanners(benchmark::State& state) {
    std::vector<uint8_t> bytes = tail(true);
    for (auto _ : state) benchmark::DoNotOptimize(logTrimKeepFrom(bytes.data(), bytes.size()));
}
BENCHMARK(BM_KeepFromWithBanners);

void BM_KeepFromWithoutBanners(benchmark::State& state) {
    std::vector<uint8_t> bytes = tail(false);
    for (auto _ : state) benchmark::DoNotOptimize(logTrimKeepFrom(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_KeepFromWithoutBanners);

}  // namespace

BENCHMARK_MAIN();
