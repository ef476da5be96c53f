#include "bench/bench_tree.h"

#include <cstring>

namespace {

// splitmix64: fast, reproducible, the same on every platform.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

const char* const kWords[] = {"the", "device", "memory", "card", "program", "file", "window", "message",
                              "settings", "update", "contact", "calendar", "note", "task", "inbox", "sync",
                              "power", "battery", "screen", "today", "start", "menu", "phone", "data"};

void fillProgramLike(Random& r, uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        const uint32_t kind = r.below(10);
        const size_t run = 16 + r.below(2048);
        const size_t end = i + run < n ? i + run : n;
        if (kind < 3) {
            std::memset(p + i, 0, end - i);  // padding and tables
            i = end;
        } else if (kind < 5) {
            for (; i < end; ++i) p[i] = static_cast<uint8_t>(r.below(4) == 0 ? r.next() : r.below(16));
        } else {
            for (; i + 8 <= end; i += 8) {
                const uint64_t v = r.next();
                std::memcpy(p + i, &v, 8);
            }
            for (; i < end; ++i) p[i] = static_cast<uint8_t>(r.next());
        }
    }
}

void fillText(Random& r, uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        const char* word = kWords[r.below(sizeof kWords / sizeof kWords[0])];
        for (const char* c = word; *c && i < n; ++c) p[i++] = static_cast<uint8_t>(*c);
        if (i < n) p[i++] = r.below(12) == 0 ? '\n' : ' ';
    }
}

void fillNoise(Random& r, uint8_t* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t v = r.next();
        std::memcpy(p + i, &v, 8);
    }
    for (; i < n; ++i) p[i] = static_cast<uint8_t>(r.next());
}

}  // namespace

std::vector<BenchFile> benchTreeFiles(double scale) {
    Random r{kBenchSeed};
    std::vector<BenchFile> files;
    const uint32_t small = static_cast<uint32_t>(kBenchSmallFiles * scale);
    const uint32_t large = static_cast<uint32_t>(kBenchLargeFiles * scale);
    char folder[16], name[32];
    for (uint32_t i = 0; i < small + large; ++i) {
        BenchFile f;
        f.index = i;
        std::snprintf(folder, sizeof folder, "d%03u", i % 120);
        std::snprintf(name, sizeof name, "f%05u.bin", i);
        f.folder = folder;
        f.name = name;
        f.size = i < small ? 1024 + r.below(99 * 1024 + 1) : 100 * 1024 + r.below(1900 * 1024);
        files.push_back(f);
    }
    return files;
}

void benchFileContents(const BenchFile& file, const SignatureList& database, std::vector<uint8_t>& out,
                       uint32_t* planted) {
    if (planted != nullptr) *planted = 0;
    Random r{kBenchSeed ^ (uint64_t{file.index} * 0x100000001B3ull)};
    out.resize(file.size);
    const uint32_t kind = file.index % 10;
    if (kind < 4) {
        fillProgramLike(r, out.data(), out.size());
    } else if (kind < 7) {
        fillText(r, out.data(), out.size());
    } else {
        fillNoise(r, out.data(), out.size());
    }
    if (file.index % 100 == 42 && !database.signatures.empty()) {
        const uint32_t chosen = r.below(static_cast<uint32_t>(database.signatures.size()));
        const Signature& s = database.signatures[chosen];
        const std::vector<uint8_t> sample = signatureSample(s);
        const uint64_t window = file.size <= 100000 ? file.size : 50000;
        if (sample.size() < window) {
            const uint64_t at = r.below(static_cast<uint32_t>(window - sample.size()));
            std::memcpy(out.data() + at, sample.data(), sample.size());
            if (planted != nullptr) *planted = chosen + 1;
        }
    }
}

SignatureList benchDatabase() { return signaturesSynthetic(kBenchRecords, kBenchSeed); }
