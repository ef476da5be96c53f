// Cost of one text lookup in the English file: every screen build and every
// report line makes several, each a linear search from the file's start.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "shell/lang_text.h"

namespace {

std::vector<uint8_t> englishFile() {
    std::ifstream in(ZB_RESOURCES_DIR "/english.lang", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void lookUp(benchmark::State& state) {
    static const std::vector<uint8_t> file = englishFile();
    const uint32_t id = static_cast<uint32_t>(state.range(0));
    char16_t out[kLanguageTextCapacity + 1];
    for (auto _ : state) {
        benchmark::DoNotOptimize(langTextCopy(file.data(), file.size(), id, out, kLanguageTextCapacity + 1));
        benchmark::ClobberMemory();
    }
}

}  // namespace

// Near the start, in the middle, the last entry, and an ID the file lacks
// (the whole file is searched).
BENCHMARK(lookUp)->Arg(8020)->Arg(8301)->Arg(10013)->Arg(9999);

BENCHMARK_MAIN();
