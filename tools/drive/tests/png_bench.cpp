// How fast a screenshot is written: the screens of the device editions with
// the content of a typical screen (flat areas, text-like detail), and noise
// as the worst case.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "tools/drive/png.h"

namespace {

std::vector<uint8_t> screen(int width, int height, bool noisy) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3, 255);
    std::mt19937 random(1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (noisy) {
                p[0] = static_cast<uint8_t>(random()), p[1] = static_cast<uint8_t>(random()), p[2] = static_cast<uint8_t>(random());
            } else if (y < 26) {
                p[0] = 0, p[1] = 0, p[2] = static_cast<uint8_t>(128 + x / 4);  // caption bar
            } else if ((y / 14) % 3 == 1 && (random() & 3) == 0) {
                p[0] = p[1] = p[2] = 0;  // lines of "text"
            }
        }
    }
    return rgb;
}

void encode(benchmark::State& state, int width, int height, bool noisy) {
    std::vector<uint8_t> rgb = screen(width, height, noisy), file;
    for (auto _ : state) {
        zbpng::encodeRgb(rgb.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), file);
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
    state.counters["png_bytes"] = static_cast<double>(file.size());
}

void BM_PocketPcScreen(benchmark::State& state) { encode(state, 240, 320, false); }
void BM_HandheldPcScreen(benchmark::State& state) { encode(state, 640, 240, false); }
void BM_PocketPcNoise(benchmark::State& state) { encode(state, 240, 320, true); }

BENCHMARK(BM_PocketPcScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandheldPcScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PocketPcNoise)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
