// The scan of a whole tree against the I/O floor, side by side in one run.
//  - I/O floor: walk the tree, open every file, take its size, read its
//    windows as the scanner does (whole file up to 100000 bytes, else the
//    head and tail 50000), close.
//  - Table scan: the same, plus searchFast over each window with the
//    10,000-record benchmark database, exactly as scanFile goes about it.
//  - Literal scan: the literal search is far too slow for the whole tree;
//    it runs over a fixed subset of files, and its time per window byte is
//    extrapolated to the tree's window bytes (said so in the output).
// The tree is generated once into bench-tree/ of the build folder.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

constexpr uint64_t kWholeFileLimit = 100000;
constexpr uint32_t kWindowLength = 50000;
constexpr uint32_t kLiteralSubsetFiles = 4;

enum class Work { ioFloor, table, literal };

struct Totals {
    uint64_t files = 0;
    uint64_t windowBytes = 0;
    uint64_t detections = 0;
};

VpsDatabase g_db;
std::string g_root;
std::vector<std::string> g_subset;  // the literal scan's files

// One file as scanFile handles it, with the search chosen by `work`.
void scanOne(const char* path, Work work, Totals& totals) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    const off_t end = lseek(fd, 0, SEEK_END);
    lseek(fd, position, SEEK_SET);
    ++totals.files;
    if (end < 8) {
        close(fd);
        return;
    }
    const uint64_t size = static_cast<uint64_t>(end);
    const uint32_t length = size <= kWholeFileLimit ? static_cast<uint32_t>(size) : kWindowLength;
    uint8_t* window = static_cast<uint8_t*>(std::malloc(length));
    MatchResult result;
    if (read(fd, window, length) == static_cast<ssize_t>(length)) {
        totals.windowBytes += length;
        if (work == Work::table) searchFast(g_db, window, length, WindowPlace::startOfFile, result);
        if (work == Work::literal) searchLiteral(g_db, window, length, WindowPlace::startOfFile, result);
        if (result.recordNumber == 0 && size > kWholeFileLimit &&
            pread(fd, window, kWindowLength, static_cast<off_t>(size - kWindowLength)) == kWindowLength) {
            totals.windowBytes += kWindowLength;
            if (work == Work::table) searchFast(g_db, window, kWindowLength, WindowPlace::insideFile, result);
            if (work == Work::literal) searchLiteral(g_db, window, kWindowLength, WindowPlace::insideFile, result);
        }
    }
    if (result.recordNumber != 0) ++totals.detections;
    std::free(window);
    close(fd);
}

// Depth first, every file of a folder before its subfolders, as the scan
// driver walks.
void walk(const std::string& folder, Work work, Totals& totals) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> subfolders;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string path = folder + "/" + entry->d_name;
        if (entry->d_type == DT_DIR) {
            subfolders.push_back(path);
        } else {
            scanOne(path.c_str(), work, totals);
        }
    }
    closedir(dir);
    for (const std::string& sub : subfolders) walk(sub, work, totals);
}

struct Measured {
    double best = 1e300;
    Totals totals;
};
Measured g_floor, g_table, g_literal;

void record(Measured& m, double seconds, const Totals& totals) {
    if (seconds < m.best) m.best = seconds;
    m.totals = totals;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_TreeIoFloor(benchmark::State& state) {
    for (auto _ : state) {
        Totals totals;
        const double start = now();
        walk(g_root, Work::ioFloor, totals);
        record(g_floor, now() - start, totals);
    }
    state.counters["files"] = static_cast<double>(g_floor.totals.files);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_floor.totals.windowBytes));
}

void BM_TreeTableScan(benchmark::State& state) {
    for (auto _ : state) {
        Totals totals;
        const double start = now();
        walk(g_root, Work::table, totals);
        record(g_table, now() - start, totals);
    }
    state.counters["files"] = static_cast<double>(g_table.totals.files);
    state.counters["detections"] = static_cast<double>(g_table.totals.detections);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_table.totals.windowBytes));
}

void BM_SubsetLiteralScan(benchmark::State& state) {
    for (auto _ : state) {
        Totals totals;
        const double start = now();
        for (const std::string& path : g_subset) scanOne(path.c_str(), Work::literal, totals);
        record(g_literal, now() - start, totals);
    }
    state.counters["files"] = static_cast<double>(g_literal.totals.files);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_literal.totals.windowBytes));
}

bool makeTree(const std::string& root, double scale, const SignatureList& database) {
    const std::string marker = root + "/.complete";
    const std::string stamp = std::string(kBenchTreeVersion) + " scale " + std::to_string(scale);
    {
        std::ifstream in(marker);
        std::string line;
        if (std::getline(in, line) && line == stamp) return true;
    }
    std::fprintf(stderr, "generating the benchmark tree in %s (once)\n", root.c_str());
    std::string command = "rm -rf '" + root + "'";
    if (std::system(command.c_str()) != 0) return false;
    mkdir(root.c_str(), 0777);
    std::vector<uint8_t> bytes;
    for (const BenchFile& f : benchTreeFiles(scale)) {
        const std::string folder = root + "/" + f.folder;
        mkdir(folder.c_str(), 0777);
        benchFileContents(f, database, bytes);
        FILE* out = std::fopen((folder + "/" + f.name).c_str(), "wb");
        if (out == nullptr) return false;
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (std::fclose(out) != 0 || !ok) return false;
    }
    std::ofstream(marker) << stamp << "\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The tree lives in the build folder: bin/bench/ is two levels below it.
    std::string self = argv[0];
    const char* env = std::getenv("ZB_BENCH_TREE");
    const char* scaleEnv = std::getenv("ZB_BENCH_SCALE");
    const double scale = scaleEnv ? std::atof(scaleEnv) : 1.0;
    if (env != nullptr) {
        g_root = env;
    } else {
        char resolved[4096];
        if (realpath(self.c_str(), resolved) == nullptr) return 1;
        std::string dir = resolved;
        for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.rfind('/'));
        g_root = dir + "/bench-tree";
    }
    const SignatureList database = benchDatabase();
    if (!makeTree(g_root, scale, database)) {
        std::fprintf(stderr, "cannot write the benchmark tree in %s\n", g_root.c_str());
        return 1;
    }
    std::vector<uint8_t> image;
    std::string error;
    if (vpsImageBuild(database, image, error) != kStatusOk || vpsParseImage(image.data(), image.size(), g_db) != kStatusOk) {
        std::fprintf(stderr, "benchmark database: %s\n", error.c_str());
        return 1;
    }
    // The literal subset: the first large files (a head and a tail window each).
    for (const BenchFile& f : benchTreeFiles(scale)) {
        if (g_subset.size() >= kLiteralSubsetFiles) break;
        if (f.size > kWholeFileLimit) g_subset.push_back(g_root + "/" + f.folder + "/" + f.name);
    }

    // Warm the page cache, so that both sides read from memory.
    Totals warm;
    walk(g_root, Work::ioFloor, warm);

    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("TreeIoFloor", BM_TreeIoFloor)->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("TreeTableScan", BM_TreeTableScan)->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("TreeIoFloorAgain", BM_TreeIoFloor)->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("SubsetLiteralScan", BM_SubsetLiteralScan)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RunSpecifiedBenchmarks();

    const double floor = g_floor.best, table = g_table.best;
    const double literalPerByte = g_literal.best / static_cast<double>(g_literal.totals.windowBytes);
    const double literalTree = literalPerByte * static_cast<double>(g_table.totals.windowBytes);
    std::printf("\ntree: %llu files, %.1f MB of windows, %u records, %llu detections\n",
                static_cast<unsigned long long>(g_table.totals.files), g_table.totals.windowBytes / 1e6, kBenchRecords,
                static_cast<unsigned long long>(g_table.totals.detections));
    std::printf("I/O floor (walk, open, read windows): %.3f s\n", floor);
    std::printf("table scan:                           %.3f s  = %.2f x the I/O floor (goal: at most 3)\n", table,
                table / floor);
    std::printf("literal scan (extrapolated from %zu files, %.1f MB, %.2f s): %.0f s = %.0f x the I/O floor\n",
                g_subset.size(), g_literal.totals.windowBytes / 1e6, g_literal.best, literalTree, literalTree / floor);
    vpsRelease(g_db);
    return 0;
}
