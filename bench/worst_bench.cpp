// The fast search's worst case: windows made to slow it, against the
// benchmark database and against databases whose records share short
// first patterns or their first bytes, each measured per byte of window
// against one yardstick: the ordinary windows of the benchmark tree
// (program-like, text, noise) searched with the benchmark database by the
// same kernel of the search table (the default one, and the portable one
// where they differ). The ordinary windows searched with each other
// database are cases too, so a database that slows ordinary files shows
// it. Everything runs side by side in one run; each figure is the median
// of its rounds, in CPU time.
//   bench_worst [ROUNDS [RECORDS [WHAT]]]   (default 7 rounds, 10,000 records)
// RECORDS is the size of the benchmark database and of the databases whose
// records share their first bytes or a short first pattern (./zb bench
// native runs 10,000 and 100,000); the databases of 1,000 records keep
// their size. WHAT keeps only the cases whose description contains it.
// It fails when a case inside the bound costs more than it.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/scan_windows.h"
#include "engine/search.h"
#include "engine/search_entry.h"
#include "engine/vps_format.h"

namespace {

constexpr uint32_t kWindow = kScanWindowLength;
constexpr double kBound = 20;  // no window may cost more per byte than this many ordinary ones

double cpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Db {
    VpsDatabase db;
    SignatureList list;
    size_t slow = 0;  // records the database tool warns about
    explicit Db(SignatureList l) : list(std::move(l)) {
        std::vector<uint8_t> image;
        std::string error;
        if (vpsImageBuild(list, image, error) != kStatusOk || vpsParseImage(image.data(), image.size(), db) != kStatusOk) {
            std::fprintf(stderr, "bench_worst: database: %s\n", error.c_str());
            std::exit(1);
        }
        std::vector<SlowSignature> warned;
        if (signaturesSlow(list, warned) != kStatusOk) std::exit(1);
        slow = warned.size();
    }
    ~Db() { vpsRelease(db); }
};

// Nanoseconds per window byte: the search of `windows` (each searched as a
// head window) over enough repetitions to last a few milliseconds.
double nsPerByte(VpsDatabase& db, SearchKernel kernel, const std::vector<std::vector<uint8_t>>& windows,
                 uint32_t& detections) {
    searchTableSetKernel(db, kernel);
    uint64_t bytes = 0;
    uint32_t found = 0;
    const double start = cpuNow();
    int reps = 0;
    do {
        for (const std::vector<uint8_t>& w : windows) {
            MatchResult r;
            searchFast(db, w.data(), static_cast<uint32_t>(w.size()), WindowPlace::startOfFile, r);
            bytes += w.size();
            found += r.recordNumber != 0;
        }
        ++reps;
    } while (cpuNow() - start < 0.02);
    detections = found / static_cast<uint32_t>(reps);
    return (cpuNow() - start) * 1e9 / static_cast<double>(bytes);
}

std::vector<std::vector<uint8_t>> ordinaryWindows() {
    std::vector<std::vector<uint8_t>> out;
    for (uint32_t kind : {0u, 4u, 7u, 10u, 14u, 17u}) {
        BenchFile f{"", "", kWindow, kind};
        std::vector<uint8_t> bytes;
        benchFileContents(f, SignatureList{}, bytes);
        out.push_back(bytes);
    }
    return out;
}

// Repeats `unit` over a whole window.
std::vector<uint8_t> tiled(const std::vector<uint8_t>& unit) {
    std::vector<uint8_t> w(kWindow);
    for (uint32_t i = 0; i < kWindow; ++i) w[i] = unit[i % unit.size()];
    return w;
}

struct Case {
    std::string what;
    Db* db;
    std::vector<std::vector<uint8_t>> windows;
};

// `count` records whose first pattern is `first`, each with a second
// pattern of its own (6 to 12 random bytes, or `secondLength` when it is
// not 0, none repeating itself) at one of `distances` distances.
SignatureList sharedFirstPattern(const std::vector<uint8_t>& first, uint32_t count, uint32_t distances, uint32_t seed,
                                 uint32_t secondLength = 0) {
    SignatureList list = signaturesSynthetic(count, seed);
    std::mt19937 random(seed);
    for (size_t i = 0; i < list.signatures.size(); ++i) {
        Signature& s = list.signatures[i];
        s.first = first;
        s.second.resize(secondLength != 0 ? secondLength : 6 + i % 7);
        // A pattern that repeats itself within its length ("ab12ab") is
        // another case, which the tool warns about: a window of it holds
        // an entry every period.
        do {
            for (uint8_t& b : s.second) b = static_cast<uint8_t>(random());
        } while (searchEntryPeriod(s.second.data(), static_cast<uint32_t>(s.second.size())) < s.second.size());
        s.secondOffset = static_cast<int32_t>(i % distances);
    }
    return list;
}

// Second patterns of random records back to back: every one of them is
// found, and the first pattern at its distance is not there.
std::vector<uint8_t> secondPatternsWindow(const SignatureList& list, std::mt19937& random) {
    std::vector<uint8_t> w;
    while (w.size() < kWindow) {
        const Signature& s = list.signatures[random() % list.signatures.size()];
        w.insert(w.end(), s.second.begin(), s.second.end());
    }
    w.resize(kWindow);
    return w;
}

SignatureList sharedFirstBytes(uint32_t shared, uint32_t count) {
    SignatureList list = signaturesSynthetic(count, kBenchSeed);
    for (Signature& s : list.signatures) {
        for (uint32_t i = 0; i < shared && i < s.first.size(); ++i) s.first[i] = static_cast<uint8_t>("MZ\x90\x00\x03\x00\x00\x00"[i]);
    }
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;
    const uint32_t records = argc > 2 ? static_cast<uint32_t>(std::max(1000, std::atoi(argv[2]))) : kBenchRecords;
    std::mt19937 random(kBenchSeed);
    Db bench(signaturesSynthetic(records, kBenchSeed));  // its first 10,000 records are the benchmark database
    Db shared4(sharedFirstBytes(4, records));
    Db shared8(sharedFirstBytes(8, records));
    // 1,000 records with one and the same first pattern, told apart only by
    // their second patterns: the table finds the second patterns by binary
    // search, where the literal search compares each record.
    SignatureList sameFirstList = signaturesSynthetic(1000, kBenchSeed);
    for (Signature& s : sameFirstList.signatures) {
        s.first = {'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00};
        s.second = {0x50, 0x45, static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
        s.secondOffset = 4;
    }
    Db sameFirst(sameFirstList);
    // RECORDS records sharing their first 4 bytes, with 120 different
    // first-pattern lengths (4 to 123 bytes): a binary search per length.
    SignatureList manyLengthsList = signaturesSynthetic(records, kBenchSeed + 1);
    for (size_t i = 0; i < manyLengthsList.signatures.size(); ++i) {
        Signature& s = manyLengthsList.signatures[i];
        std::vector<uint8_t> first = {'M', 'Z', 0x90, 0x00};
        while (first.size() < 4 + i % 120) first.push_back(static_cast<uint8_t>(random()));
        s.first = first;
        s.second.clear();
        s.secondOffset = 0;
    }
    Db manyLengths(manyLengthsList);
    // 1,000 records with the two-byte first pattern "xy" and second patterns
    // at 50 different distances, each missing by its last byte in a window
    // of "xy" repeated.
    SignatureList nearMissList = signaturesSynthetic(1000, kBenchSeed + 2);
    for (size_t i = 0; i < nearMissList.signatures.size(); ++i) {
        Signature& s = nearMissList.signatures[i];
        s.first = {'x', 'y'};
        s.second = {'x', 'y', 'x', static_cast<uint8_t>('a' + i % 20)};
        s.secondOffset = static_cast<int32_t>(i % 50);
    }
    Db nearMiss(nearMissList);
    // Outside the bound: 1,000 records with the one-byte first pattern "A"
    // and 1,000 different second-pattern distances. Every "A" of a window
    // is a candidate, and each distance must be looked at.
    SignatureList manyDistancesList = signaturesSynthetic(1000, kBenchSeed + 3);
    for (size_t i = 0; i < manyDistancesList.signatures.size(); ++i) {
        Signature& s = manyDistancesList.signatures[i];
        s.first = {'A'};
        s.second = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
        s.secondOffset = static_cast<int32_t>(i);
    }
    Db manyDistances(manyDistancesList);
    // Records that share a short first pattern, each told apart by a long
    // second pattern of its own at one of 1,000 distances: the ordinary
    // starts of signatures that would make every window of those bytes
    // slow if they were looked for by their first pattern.
    Db sharedXy(sharedFirstPattern({'x', 'y'}, records, 1000, kBenchSeed + 4));
    Db sharedZeros(sharedFirstPattern({0, 0}, records, 1000, kBenchSeed + 5));
    Db sharedMz(sharedFirstPattern({'M', 'Z'}, records, 1000, kBenchSeed + 6));
    Db sharedA(sharedFirstPattern({'A'}, records, 1000, kBenchSeed + 7));
    // The shortest second patterns that such records may have, all alike:
    // a window of them is the most candidates per byte.
    Db sharedXy6(sharedFirstPattern({'x', 'y'}, records, 1000, kBenchSeed + 8, 6));
    const std::vector<std::vector<uint8_t>> ordinary = ordinaryWindows();

    std::vector<Case> cases;
    const std::vector<Signature>& sigs = bench.list.signatures;
    {
        // Every sampled gram belongs to some record: first patterns back to
        // back, each with its last byte changed so that none matches whole.
        std::vector<uint8_t> w;
        while (w.size() < kWindow) {
            const Signature& s = sigs[random() % sigs.size()];
            for (size_t i = 0; i + 1 < s.first.size(); ++i) w.push_back(s.first[i]);
            w.push_back(static_cast<uint8_t>(s.first.back() ^ 0x5A));
        }
        w.resize(kWindow);
        cases.push_back({"first patterns back to back, last byte wrong", &bench, {w}});
    }
    {
        // Records with a second pattern: the first pattern whole everywhere,
        // the second never there, so both are compared at every candidate.
        std::vector<uint8_t> w;
        while (w.size() < kWindow) {
            const Signature& s = sigs[2 * (random() % (sigs.size() / 2)) + 1];
            w.insert(w.end(), s.first.begin(), s.first.end());
        }
        w.resize(kWindow);
        cases.push_back({"first patterns whole, second patterns missing", &bench, {w}});
    }
    {
        std::vector<uint8_t> unit = sigs[7].first;
        unit.back() ^= 0x5A;
        cases.push_back({"one record's first pattern repeated, last byte wrong", &bench, {tiled(unit)}});
    }
    cases.push_back({"zeros", &bench, {std::vector<uint8_t>(kWindow, 0)}});
    cases.push_back({"0xFF", &bench, {std::vector<uint8_t>(kWindow, 0xFF)}});
    for (Db* d : {&shared4, &shared8}) {
        const uint32_t n = d == &shared4 ? 4 : 8;
        const std::vector<uint8_t> prefix(d->list.signatures[0].first.begin(), d->list.signatures[0].first.begin() + n);
        std::vector<uint8_t> unit = prefix;
        unit.push_back(0xEE);  // the shared bytes, then one that no record has there
        cases.push_back({"shared first " + std::to_string(n) + " bytes, window of them", d, {tiled(prefix), tiled(unit)}});
    }
    cases.push_back({"1,000 records, one first pattern, window of it", &sameFirst,
                     {tiled(sameFirst.list.signatures[0].first)}});
    cases.push_back({"shared first 4 bytes, 120 lengths, window of them", &manyLengths, {tiled({'M', 'Z', 0x90, 0x00})}});
    cases.push_back({"\"xy\", 50 second distances missing by a byte", &nearMiss, {tiled({'x', 'y'})}});
    cases.push_back({"\"A\", 1,000 second distances, window of A", &manyDistances, {std::vector<uint8_t>(kWindow, 'A')}});
    struct Short {
        const char* name;
        Db* db;
        std::vector<uint8_t> unit;
    };
    for (const Short& c : {Short{"\"xy\"", &sharedXy, {'x', 'y'}}, Short{"two zero bytes", &sharedZeros, {0, 0}},
                           Short{"\"MZ\"", &sharedMz, {'M', 'Z'}}, Short{"\"A\"", &sharedA, {'A'}}}) {
        const std::string what = std::string("shared first ") + c.name + ", long seconds: ";
        cases.push_back({what + "ordinary windows", c.db, ordinary});
        cases.push_back({what + "window of the first", c.db, {tiled(c.unit)}});
        cases.push_back({what + "window of seconds", c.db, {secondPatternsWindow(c.db->list, random)}});
    }
    cases.push_back({"shared first \"xy\", seconds of 6 bytes: window of seconds", &sharedXy6,
                     {secondPatternsWindow(sharedXy6.list, random)}});

    // Kernel 0 is the table's default; kernel 1 the portable one, measured
    // apart only where the default is the vector kernel.
    const SearchKernel kernels[2] = {searchTableKernel(bench.db), SearchKernel::portable};
    const int kernelCount = kernels[0] == SearchKernel::portable ? 1 : 2;
    struct Row {
        std::vector<double> ratio[2];
        std::vector<double> ns[2];
        uint32_t detections = 0;
    };
    if (argc > 3) {  // only the cases whose description contains the third argument
        cases.erase(std::remove_if(cases.begin(), cases.end(),
                                   [&](const Case& c) { return c.what.find(argv[3]) == std::string::npos; }),
                    cases.end());
    }
    std::vector<Row> rows(cases.size());
    Db* dbs[] = {&bench, &shared4, &shared8, &sameFirst, &manyLengths, &nearMiss, &manyDistances};
    constexpr int kDbs = sizeof dbs / sizeof dbs[0];
    std::vector<double> base[2][kDbs];
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < kernelCount; ++k) {
            double ordinaryNs[kDbs];
            uint32_t ignored;
            for (int i = 0; i < kDbs; ++i) {
                ordinaryNs[i] = nsPerByte(dbs[i]->db, kernels[k], ordinary, ignored);
                base[k][i].push_back(ordinaryNs[i]);
            }
            // The one yardstick: ordinary windows, benchmark database, this kernel.
            for (size_t c = 0; c < cases.size(); ++c) {
                const double ns = nsPerByte(cases[c].db->db, kernels[k], cases[c].windows, rows[c].detections);
                rows[c].ns[k].push_back(ns);
                rows[c].ratio[k].push_back(ns / ordinaryNs[0]);
            }
        }
    }
    const char* kernelLabel = kernels[0] == SearchKernel::vector ? "vector kernel" : "portable kernel";

    std::printf("ordinary windows (benchmark tree contents), search alone (%s), medians of %d rounds:\n",
                kernelLabel, rounds);
    std::printf("  benchmark database, %7u records:      %.3f ns/byte = %.2f GB/s\n", records, median(base[0][0]),
                1 / median(base[0][0]));
    std::printf("  records sharing their first 4 bytes:      %.3f ns/byte\n", median(base[0][1]));
    std::printf("  records sharing their first 8 bytes:      %.3f ns/byte\n", median(base[0][2]));
    std::printf("  1,000 records with one first pattern:     %.3f ns/byte\n", median(base[0][3]));
    std::printf("  sharing 4 bytes, 120 lengths:             %.3f ns/byte\n", median(base[0][4]));
    std::printf("  \"xy\" and 50 second distances:             %.3f ns/byte\n", median(base[0][5]));
    std::printf("  \"A\" and 1,000 second distances:           %.3f ns/byte\n", median(base[0][6]));
    if (kernelCount == 2) {
        std::printf("  (portable kernel: %.3f ns/byte with the benchmark database)\n", median(base[1][0]));
    }
    std::printf("\n%-66s %12s %10s%s\n", "adversarial window", "ns/byte", "x ordinary",
                kernelCount == 2 ? "   portable: ns/byte  x ordinary" : "");
    double worst = 0;
    for (size_t c = 0; c < cases.size(); ++c) {
        std::printf("%-66s %12.3f %10.1f", cases[c].what.c_str(), median(rows[c].ns[0]), median(rows[c].ratio[0]));
        // The bound covers the databases that the tool builds without a warning.
        const bool bounded = cases[c].db->slow == 0;
        for (int k = 0; k < kernelCount; ++k) {
            if (bounded) worst = std::max(worst, median(rows[c].ratio[k]));
        }
        if (kernelCount == 2) std::printf("   %18.3f %11.1f", median(rows[c].ns[1]), median(rows[c].ratio[1]));
        if (bounded) {
            std::printf("\n");
        } else {
            std::printf("  (outside the bound: the tool warns about %zu records)\n", cases[c].db->slow);
        }
    }
    std::printf("\nworst: %.1f x an ordinary window per byte (bound: %.0f x) %s\n", worst, kBound,
                worst <= kBound ? "within the bound" : "OVER THE BOUND");
    return worst <= kBound ? 0 : 1;
}
