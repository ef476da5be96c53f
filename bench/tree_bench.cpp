// The scan of a whole tree against the I/O floor, side by side in one run.
//  - I/O floor: walk the tree, open every file, take its size, read its
//    windows as the scanner does (whole file up to 100000 bytes, else the
//    head and tail 50000), close.
//  - Table scan: the same, plus the search table with the 10,000-record
//    benchmark database, through scanWindows exactly as scanFile does it,
//    with the table's default kernel (the vector one where the processor
//    has AVX2); and once more with its portable kernel, the device's code.
//  - Literal scan: the literal search is far too slow for the whole tree;
//    it runs over a fixed subset of files, and its time per window byte is
//    extrapolated to the tree's window bytes (said so in the output).
// Floor and scan alternate, round after round, and each is the median of
// its rounds. Both the elapsed time and the process's CPU time are shown:
// on a machine shared with other work the CPU time is the steadier one.
//   bench_tree [ROUNDS]      (default 7, at least 5)
//   bench_tree --export DIR  the tree, and in DIR its database (bench.vps),
//                            the same signatures as YARA rules (bench.yar)
//                            and the planted files (planted.txt); prints
//                            the tree's folder (./zb bench compare)
//   bench_tree --floor       one walk of the I/O floor; prints its seconds
// The tree is generated once into bench-tree/ of the build folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/scan_windows.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

constexpr uint32_t kLiteralSubsetFiles = 4;

enum class Work { ioFloor, table, tablePortable, literal };

struct Totals {
    uint64_t files = 0;
    uint64_t windowBytes = 0;
    uint64_t detections = 0;
};

VpsDatabase g_db;
std::string g_root;
std::vector<std::string> g_subset;  // the literal scan's files
uint8_t* g_window = nullptr;        // kScanWholeFileLimit bytes
SearchKernel g_defaultKernel = SearchKernel::portable;

struct Reader {
    int fd;
    uint64_t* bytes;
};

Status readAt(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    Reader* r = static_cast<Reader*>(file);
    if (pread(r->fd, buffer, length, static_cast<off_t>(offset)) != static_cast<ssize_t>(length)) return kStatusShortRead;
    *r->bytes += length;
    return kStatusOk;
}

// One file as scanFile handles it, with the search chosen by `work`; the
// floor reads the same windows and searches nothing.
void scanOne(const char* path, Work work, Totals& totals) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return;
    }
    ++totals.files;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    Reader reader{fd, &totals.windowBytes};
    if (work == Work::ioFloor) {
        const uint32_t length = scanBufferLength(size);
        if (length != 0 && readAt(&reader, 0, g_window, length) == kStatusOk && size > kScanWholeFileLimit) {
            readAt(&reader, size - kScanWindowLength, g_window, kScanWindowLength);
        }
    } else {
        MatchResult result;
        scanWindows(g_db, size, WindowSource{&reader, readAt}, g_window,
                    work == Work::literal ? ScanMethod::literal : ScanMethod::table, result);
        if (result.recordNumber != 0) ++totals.detections;
    }
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

double clockSeconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Sample {
    double wall;
    double cpu;
};

Sample timed(Work work, Totals& totals) {
    if (work == Work::table) searchTableSetKernel(g_db, g_defaultKernel);
    if (work == Work::tablePortable) searchTableSetKernel(g_db, SearchKernel::portable);
    const double wall = clockSeconds(CLOCK_MONOTONIC), cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    walk(g_root, work, totals);
    return Sample{clockSeconds(CLOCK_MONOTONIC) - wall, clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X ", b);
        out += two;
    }
    return out;
}

// One rule per record, named by its number. The second pattern stands at
// its fixed distance from the end of the first: a jump in the hex string
// when the distance is not negative, else an explicit offset condition (a
// hex string cannot jump backwards). An anchored record counts at offset 0.
std::string yaraRules(const SignatureList& list) {
    std::string out;
    for (size_t i = 0; i < list.signatures.size(); ++i) {
        const Signature& s = list.signatures[i];
        const bool anchored = (s.flags & kVpsFlagAnchored) != 0;
        const int64_t n = static_cast<int64_t>(s.first.size());
        out += "rule r" + std::to_string(i + 1) + " {\n  strings:\n";
        if (s.second.empty()) {
            out += "    $a = { " + hex(s.first) + "}\n  condition:\n    " + (anchored ? "$a at 0" : "$a") + "\n}\n";
        } else if (s.secondOffset >= 0) {
            out += "    $a = { " + hex(s.first) + (s.secondOffset > 0 ? "[" + std::to_string(s.secondOffset) + "] " : "") +
                   hex(s.second) + "}\n  condition:\n    " + (anchored ? "$a at 0" : "$a") + "\n}\n";
        } else {
            const std::string distance = std::to_string(n + s.secondOffset);
            out += "    $a = { " + hex(s.first) + "}\n    $b = { " + hex(s.second) + "}\n  condition:\n    " +
                   (anchored ? "$a at 0 and $b at " + distance
                             : "for any i in (1..#a) : ($b at @a[i] + " + distance + ")") +
                   "\n}\n";
        }
    }
    return out;
}

bool writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

int exportFor(const std::string& dir, double scale, const SignatureList& database) {
    std::vector<uint8_t> image;
    std::string error;
    if (vpsImageBuild(database, image, error) != kStatusOk) return 1;
    std::string planted;
    std::vector<uint8_t> bytes;
    for (const BenchFile& f : benchTreeFiles(scale)) {
        uint32_t record = 0;
        if (f.index % 100 != 42) continue;  // only these carry a signature
        benchFileContents(f, database, bytes, &record);
        if (record != 0) planted += g_root + "/" + f.folder + "/" + f.name + " " + std::to_string(record) + "\n";
    }
    if (!writeText(dir + "/bench.vps", std::string(image.begin(), image.end())) ||
        !writeText(dir + "/bench.yar", yaraRules(database)) || !writeText(dir + "/planted.txt", planted)) {
        std::fprintf(stderr, "cannot write in %s\n", dir.c_str());
        return 1;
    }
    std::printf("%s\n", g_root.c_str());
    return 0;
}

}  // namespace

// The tree's folder: ZB_BENCH_TREE, else bench-tree/ of the build folder
// (bin/bench/ is two levels below it).
static std::string benchTreeRoot(const char* argv0) {
    if (const char* env = std::getenv("ZB_BENCH_TREE")) return env;
    char resolved[4096];
    if (realpath(argv0, resolved) == nullptr) return "bench-tree";
    std::string dir = resolved;
    for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.rfind('/'));
    return dir + "/bench-tree";
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int rounds = argc > 1 && mode[0] != '-' ? std::max(5, std::atoi(argv[1])) : 7;
    const char* scaleEnv = std::getenv("ZB_BENCH_SCALE");
    const double scale = scaleEnv ? std::atof(scaleEnv) : 1.0;
    g_root = benchTreeRoot(argv[0]);
    const SignatureList database = benchDatabase();
    if (!makeTree(g_root, scale, database)) {
        std::fprintf(stderr, "cannot write the benchmark tree in %s\n", g_root.c_str());
        return 1;
    }
    g_window = static_cast<uint8_t*>(std::malloc(kScanWholeFileLimit));
    if (mode == "--export" && argc > 2) return exportFor(argv[2], scale, database);
    if (mode == "--floor") {
        Totals once;
        const Sample s = timed(Work::ioFloor, once);
        std::printf("%.6f\n", s.wall);
        return 0;
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
        if (f.size > kScanWholeFileLimit) g_subset.push_back(g_root + "/" + f.folder + "/" + f.name);
    }

    g_defaultKernel = searchTableKernel(g_db);

    // Warm the page cache, so that both sides read from memory.
    Totals warm;
    walk(g_root, Work::ioFloor, warm);

    std::vector<double> floorWall, floorCpu, tableWall, tableCpu, portableCpu, portableRatio;
    Totals tree;
    std::printf("round   I/O floor wall   cpu     table scan wall   cpu     ratio wall  cpu     portable cpu  ratio\n");
    for (int round = 0; round < rounds; ++round) {
        Totals f, t, p;
        const Sample a = timed(Work::ioFloor, f);
        const Sample b = timed(Work::table, t);
        const Sample c = timed(Work::tablePortable, p);
        floorWall.push_back(a.wall);
        floorCpu.push_back(a.cpu);
        tableWall.push_back(b.wall);
        tableCpu.push_back(b.cpu);
        portableCpu.push_back(c.cpu);
        portableRatio.push_back(c.cpu / a.cpu);
        tree = t;
        std::printf("%5d   %8.3f s %8.3f s   %8.3f s %8.3f s   %6.2f %6.2f   %8.3f s %6.2f\n", round + 1, a.wall, a.cpu,
                    b.wall, b.cpu, b.wall / a.wall, b.cpu / a.cpu, c.cpu, c.cpu / a.cpu);
        std::fflush(stdout);
    }
    searchTableSetKernel(g_db, g_defaultKernel);

    Totals literal;
    const double literalStart = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    for (const std::string& path : g_subset) scanOne(path.c_str(), Work::literal, literal);
    const double literalCpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - literalStart;
    const double literalTree = literalCpu / static_cast<double>(literal.windowBytes) * static_cast<double>(tree.windowBytes);

    const double fw = median(floorWall), fc = median(floorCpu), tw = median(tableWall), tc = median(tableCpu);
    std::vector<double> ratioWall, ratioCpu;
    for (int i = 0; i < rounds; ++i) {
        ratioWall.push_back(tableWall[i] / floorWall[i]);
        ratioCpu.push_back(tableCpu[i] / floorCpu[i]);
    }
    std::printf("\ntree: %llu files, %.1f MB of windows, %u records, %llu detections\n",
                static_cast<unsigned long long>(tree.files), tree.windowBytes / 1e6, kBenchRecords,
                static_cast<unsigned long long>(tree.detections));
    std::printf("medians of %d rounds, floor and scan alternating (elapsed / CPU time):\n", rounds);
    std::printf("I/O floor (walk, open, read windows): %.3f s / %.3f s\n", fw, fc);
    std::printf("table scan, one thread:               %.3f s / %.3f s\n", tw, tc);
    std::printf("table scan / I/O floor, median ratio: %.2f / %.2f (goal: at most 2)\n", median(ratioWall),
                median(ratioCpu));
    std::printf("search alone over the tree's windows: %.2f GB/s (CPU time of scan minus floor)\n",
                tc > fc ? tree.windowBytes / (tc - fc) / 1e9 : 0.0);
    std::printf("search table kernel of the table scan: %s\n",
                g_defaultKernel == SearchKernel::vector ? "vector (AVX2)" : "portable");
    const double pc = median(portableCpu);
    std::printf("portable kernel (the device's code):  %.3f s CPU, median ratio %.2f, search alone %.2f GB/s\n", pc,
                median(portableRatio), pc > fc ? tree.windowBytes / (pc - fc) / 1e9 : 0.0);
    std::printf("literal scan (extrapolated from %zu files, %.1f MB, %.2f s CPU): %.0f s = %.0f x the I/O floor\n",
                g_subset.size(), literal.windowBytes / 1e6, literalCpu, literalTree, literalTree / fc);
    std::free(g_window);
    vpsRelease(g_db);
    return 0;
}
