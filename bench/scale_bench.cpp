// The search table as the database grows (./zb bench scale). For each
// database size given, a database of that many records from the benchmark
// generator (the 10,000-record benchmark database is its first 10,000
// records, so the tree's planted files are found at every size), and:
//  - load: reading the file as zbscan does and vpsParseImage (CRC,
//    descrambling, the record walk and the search table), the median of
//    three, elapsed and in CPU time;
//  - table: its bytes per record beyond its fixed part, and the fixed part,
//    from the table's own accounting;
//  - peak memory: the maximum resident set of `zbscan --db FILE -j 1 TREE`
//    as the OS counts it, with the speed of its summary line and its
//    detections, which must be the same at every size;
//  - search: the tree's windows, read into memory once, searched as
//    scanWindows does (head window, then the tail of a large file that the
//    head left clean), in CPU time, the median of the rounds, for each
//    kernel; and its ratio to the first size's row.
//   bench_scale TREE [--max N] [--rounds N] SIZE...
// TREE is the benchmark tree (bench_tree --export prints it). Sizes above
// --max are left out.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/large_block.h"
#include "engine/scan_windows.h"
#include "engine/search.h"
#include "engine/search_size.h"
#include "engine/vps_format.h"

extern char** environ;

namespace {

// One file of the tree as the scanner sees it: its head window (the whole
// file up to kScanWholeFileLimit) and, for a larger file, its tail window.
struct TreeFile {
    uint64_t head = 0;  // offsets into the windows' bytes
    uint32_t headLength = 0;
    uint64_t tail = 0;
    uint32_t tailLength = 0;  // 0: no tail window
};

struct Tree {
    std::vector<uint8_t> bytes;
    std::vector<TreeFile> files;
};

bool readExactly(int fd, uint64_t offset, uint8_t* to, uint32_t length) {
    return pread(fd, to, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
}

// Walk order of the scan driver: a folder's files, then its subfolders, by name.
void loadTree(const std::string& folder, Tree& tree) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> subfolders;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(path);
            continue;
        }
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        const uint32_t length = scanBufferLength(size);
        if (length == 0) continue;
        const int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) continue;
        TreeFile file;
        file.head = tree.bytes.size();
        file.headLength = length;
        tree.bytes.resize(tree.bytes.size() + length);
        bool ok = readExactly(fd, 0, tree.bytes.data() + file.head, length);
        if (ok && size > kScanWholeFileLimit) {
            file.tail = tree.bytes.size();
            file.tailLength = kScanWindowLength;
            tree.bytes.resize(tree.bytes.size() + kScanWindowLength);
            ok = readExactly(fd, size - kScanWindowLength, tree.bytes.data() + file.tail, kScanWindowLength);
        }
        close(fd);
        if (ok) tree.files.push_back(file);
        else tree.bytes.resize(file.head);
    }
    for (const std::string& sub : subfolders) loadTree(sub, tree);
}

double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TreeScan {
    double seconds = 0;  // CPU
    uint64_t bytes = 0;  // window bytes searched
    uint64_t detections = 0;
};

TreeScan scanTree(const VpsDatabase& db, const Tree& tree) {
    TreeScan scan;
    const double start = cpuSeconds();
    for (const TreeFile& f : tree.files) {
        MatchResult result;
        searchFast(db, tree.bytes.data() + f.head, f.headLength, WindowPlace::startOfFile, result);
        scan.bytes += f.headLength;
        if (result.recordNumber == 0 && f.tailLength != 0) {
            searchFast(db, tree.bytes.data() + f.tail, f.tailLength, WindowPlace::insideFile, result);
            scan.bytes += f.tailLength;
        }
        if (result.recordNumber != 0) ++scan.detections;
    }
    scan.seconds = cpuSeconds() - start;
    return scan;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        ok = bytes.empty() || readExactly(fd, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    close(fd);
    return ok;
}

// What one run of zbscan reported: its peak resident set (from the OS), the
// MB/s of its summary line and its detections.
struct HostRun {
    bool ok = false;
    double peakMb = 0;
    double summaryMbPerSecond = 0;
    uint64_t detections = 0;
};

// Runs zbscan for the main process. The OS starts a new program's peak
// resident set at that of the process that replaced itself with it, so the
// process that starts zbscan must stay small: this one is forked before the
// tree and the databases are loaded. It reads a database path per line and
// answers with the peak in kilobytes (-1: zbscan did not end normally).
struct Runner {
    pid_t pid = -1;
    FILE* requests = nullptr;
    FILE* answers = nullptr;
};

[[noreturn]] void runnerLoop(int in, int out, const std::string& zbscan, const std::string& tree, const std::string& dir) {
    FILE* requests = fdopen(in, "r");
    FILE* answers = fdopen(out, "w");
    char line[4096];
    while (requests != nullptr && answers != nullptr && std::fgets(line, sizeof line, requests) != nullptr) {
        std::string db = line;
        if (!db.empty() && db.back() == '\n') db.pop_back();
        const std::string out1 = dir + "/zbscan.out", err = dir + "/zbscan.err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out1.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const char* args[] = {zbscan.c_str(), "--db", db.c_str(), "-j", "1", tree.c_str(), nullptr};
        pid_t child;
        long peak = -1;
        if (posix_spawn(&child, zbscan.c_str(), &actions, nullptr, const_cast<char**>(args), environ) == 0) {
            int status = 0;
            rusage usage{};
            if (wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) <= 1) {
                peak = usage.ru_maxrss;  // kilobytes on Linux
            }
        }
        posix_spawn_file_actions_destroy(&actions);
        std::fprintf(answers, "%ld\n", peak);
        std::fflush(answers);
    }
    _exit(0);
}

bool startRunner(Runner& runner, const std::string& zbscan, const std::string& tree, const std::string& dir) {
    int toRunner[2], fromRunner[2];
    if (pipe(toRunner) != 0 || pipe(fromRunner) != 0) return false;
    runner.pid = fork();
    if (runner.pid < 0) return false;
    if (runner.pid == 0) {
        close(toRunner[1]);
        close(fromRunner[0]);
        runnerLoop(toRunner[0], fromRunner[1], zbscan, tree, dir);
    }
    close(toRunner[0]);
    close(fromRunner[1]);
    runner.requests = fdopen(toRunner[1], "w");
    runner.answers = fdopen(fromRunner[0], "r");
    return runner.requests != nullptr && runner.answers != nullptr;
}

void stopRunner(Runner& runner) {
    if (runner.requests != nullptr) std::fclose(runner.requests);
    if (runner.answers != nullptr) std::fclose(runner.answers);
    if (runner.pid > 0) waitpid(runner.pid, nullptr, 0);
}

HostRun runZbscan(Runner& runner, const std::string& db, const std::string& dir) {
    HostRun run;
    long peak = -1;
    std::fprintf(runner.requests, "%s\n", db.c_str());
    std::fflush(runner.requests);
    if (std::fscanf(runner.answers, "%ld", &peak) != 1 || peak < 0) return run;
    run.peakMb = static_cast<double>(peak) / 1024.0;
    if (FILE* f = std::fopen((dir + "/zbscan.err").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, f)) {
            unsigned long long files = 0, bytes = 0, detections = 0;
            double seconds = 0, perSecond = 0, mbs = 0;
            if (std::sscanf(line, "files %llu, bytes %llu, detections %llu", &files, &bytes, &detections) == 3) {
                run.detections = detections;
            }
            if (std::sscanf(line, "time %lf s, %lf files/s, %lf MB/s", &seconds, &perSecond, &mbs) == 3) {
                run.summaryMbPerSecond = mbs;
                run.ok = true;
            }
        }
        std::fclose(f);
    }
    return run;
}

// The load averages over 1, 5 and 15 minutes.
std::string loadAverage() {
    char text[128] = {};
    FILE* f = std::fopen("/proc/loadavg", "r");
    if (f == nullptr) return "unknown";
    const bool read = std::fgets(text, sizeof text, f) != nullptr;
    std::fclose(f);
    if (!read) return "unknown";
    const std::string s = text;
    const size_t third = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
    return s.substr(0, third);
}

// zbscan beside this program's folder (bin/bench/ -> bin/zbscan).
std::string zbscanPath(const char* argv0) {
    if (const char* env = std::getenv("ZB_NATIVE_BIN")) return std::string(env) + "/zbscan";
    char resolved[4096];
    if (realpath(argv0, resolved) == nullptr) return "zbscan";
    std::string dir = resolved;
    dir = dir.substr(0, dir.rfind('/'));
    return dir.substr(0, dir.rfind('/')) + "/zbscan";
}

struct Row {
    uint32_t records = 0;
    double fileMb = 0;
    double loadSeconds = 0;  // elapsed
    double loadCpu = 0;
    SearchTableMemory memory;
    HostRun host;
    double gbs[2] = {0, 0};  // vector, portable
    uint64_t detections[2] = {0, 0};
};

std::string cpuModel() {
    FILE* f = std::fopen("/proc/cpuinfo", "r");
    if (f == nullptr) return "unknown processor";
    char line[512];
    std::string model = "unknown processor";
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "model name", 10) == 0) {
            const char* colon = std::strchr(line, ':');
            if (colon != nullptr) model = colon + 2;
            if (!model.empty() && model.back() == '\n') model.pop_back();
            break;
        }
    }
    std::fclose(f);
    return model;
}

std::string fileText(const std::string& path) {
    std::vector<uint8_t> bytes;
    return readFile(path, bytes) ? std::string(bytes.begin(), bytes.end()) : std::string();
}

const char* verdict(bool met) { return met ? "met" : "NOT MET"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_scale TREE [--max N] [--rounds N] SIZE...\n");
        return 2;
    }
    const std::string treeRoot = argv[1];
    uint64_t maxRecords = UINT64_MAX;
    int rounds = 5;
    std::vector<uint32_t> sizes;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--max" && i + 1 < argc) {
            maxRecords = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            const unsigned long n = std::strtoul(arg.c_str(), nullptr, 10);
            if (n == 0 || n > 50000000) {
                std::fprintf(stderr, "bench_scale: a size is a number of records from 1 to 50,000,000: %s\n", arg.c_str());
                return 2;
            }
            if (n <= maxRecords) sizes.push_back(static_cast<uint32_t>(n));
        }
    }
    if (sizes.empty()) {
        std::fprintf(stderr, "bench_scale: no size at or under --max\n");
        return 2;
    }
    char dirTemplate[] = "/tmp/zb-bench-scale-XXXXXX";
    const char* made = mkdtemp(dirTemplate);
    if (made == nullptr) {
        std::fprintf(stderr, "bench_scale: cannot make a temporary folder\n");
        return 1;
    }
    const std::string dir = made;
    const std::string zbscan = zbscanPath(argv[0]);

    Runner runner;
    if (!startRunner(runner, zbscan, treeRoot, dir)) {
        std::fprintf(stderr, "bench_scale: cannot start the process that runs zbscan\n");
        return 1;
    }
    std::printf("machine: %s, %ld cores; load average at the start: %s\n", cpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                loadAverage().c_str());
    Tree tree;
    loadTree(treeRoot, tree);
    std::printf("tree: %s, %zu files, %.1f MB of windows held in memory; search: median of %d rounds per kernel, CPU time\n",
                treeRoot.c_str(), tree.files.size(), tree.bytes.size() / 1e6, rounds);
    std::printf("load: reading the file and vpsParseImage, median of 3; zbscan: --db FILE -j 1 over the tree, its peak\n"
                "resident set from the OS (bound: 2 x the file + 64 bytes per record + 16 MB) and its summary's MB/s\n\n");
    std::printf("%9s %8s %15s %10s %8s %16s %9s %16s %16s %5s\n", "records", "file MB", "load s (CPU s)", "table B/rec",
                "fixed MB", "peak MB (bound)", "scan MB/s", "vector GB/s (x)", "portable GB/s (x)", "found");
    std::fflush(stdout);

    const bool hasVector = searchKernelAvailable(SearchKernel::vector);
    std::vector<Row> rows;
    std::string firstFound;
    int failures = 0;
    for (uint32_t records : sizes) {
        Row row;
        row.records = records;
        std::vector<uint8_t> image;
        std::string error;
        if (vpsImageBuild(signaturesSynthetic(records, kBenchSeed), image, error) != kStatusOk) {
            std::fprintf(stderr, "bench_scale: %u records: %s\n", records, error.c_str());
            return 1;
        }
        const std::string dbPath = dir + "/scale-" + std::to_string(records) + ".vps";
        if (!writeFile(dbPath, image)) {
            std::fprintf(stderr, "bench_scale: cannot write %s\n", dbPath.c_str());
            return 1;
        }
        row.fileMb = image.size() / 1e6;
        std::vector<uint8_t>().swap(image);

        std::vector<double> loads, loadCpus;
        VpsDatabase db;
        for (int i = 0; i < 3; ++i) {
            vpsRelease(db);
            const double start = wallSeconds(), cpuStart = cpuSeconds();
            Status status = kStatusShortRead;
            const int fd = open(dbPath.c_str(), O_RDONLY);
            struct stat st;
            if (fd >= 0 && fstat(fd, &st) == 0) {  // as zbscan reads it: one block of the file's size
                const size_t size = static_cast<size_t>(st.st_size);
                uint8_t* bytes = static_cast<uint8_t*>(largeBlockAllocate(size));
                if (bytes != nullptr && readExactly(fd, 0, bytes, static_cast<uint32_t>(size))) {
                    status = vpsParseImage(bytes, size, db);
                }
                std::free(bytes);
            }
            if (fd >= 0) close(fd);
            loads.push_back(wallSeconds() - start);
            loadCpus.push_back(cpuSeconds() - cpuStart);
            if (status != kStatusOk) {
                std::fprintf(stderr, "bench_scale: %u records: load status %u\n", records, static_cast<unsigned>(status));
                return 1;
            }
        }
        row.loadSeconds = median(loads);
        row.loadCpu = median(loadCpus);
        row.memory = searchTableMemory(db);

        const SearchKernel kernels[2] = {SearchKernel::vector, SearchKernel::portable};
        for (int k = 0; k < 2; ++k) {
            if (!searchTableSetKernel(db, kernels[k])) continue;
            std::vector<double> rates;
            for (int round = 0; round < rounds; ++round) {
                const TreeScan scan = scanTree(db, tree);
                rates.push_back(scan.bytes / scan.seconds / 1e9);
                row.detections[k] = scan.detections;
            }
            row.gbs[k] = median(rates);
        }
        vpsRelease(db);

        row.host = runZbscan(runner, dbPath, dir);
        std::remove(dbPath.c_str());
        const std::string found = fileText(dir + "/zbscan.out");
        if (rows.empty()) firstFound = found;
        rows.push_back(row);
        const Row& first = rows.front();
        const double bound = 2 * row.fileMb + kSearchTableBytesPerRecord * static_cast<double>(records) / 1e6 + 16;
        char load[32], peak[32], vector[32], portable[32];
        std::snprintf(load, sizeof load, "%.3f (%.3f)", row.loadSeconds, row.loadCpu);
        std::snprintf(peak, sizeof peak, "%.1f (%.1f)", row.host.peakMb, bound);
        std::snprintf(vector, sizeof vector, hasVector ? "%.2f (%.2f)" : "-", row.gbs[0], first.gbs[0] > 0 ? row.gbs[0] / first.gbs[0] : 0);
        std::snprintf(portable, sizeof portable, "%.2f (%.2f)", row.gbs[1], first.gbs[1] > 0 ? row.gbs[1] / first.gbs[1] : 0);
        std::printf("%9u %8.1f %15s %10.1f %8.2f %16s %9.1f %16s %16s %5llu\n", records, row.fileMb, load,
                    row.memory.perRecord, row.memory.fixed / 1e6, peak, row.host.summaryMbPerSecond, vector, portable,
                    static_cast<unsigned long long>(row.host.detections));
        std::fflush(stdout);
        if (!row.host.ok) {
            std::fprintf(stderr, "bench_scale: zbscan did not run to its summary (%s)\n", zbscan.c_str());
            ++failures;
        }
        // The benchmark database is the first 10,000 records of every larger
        // one: the same files must be found by the same records everywhere.
        if ((hasVector && row.detections[0] != first.detections[0]) || row.detections[1] != first.detections[1] ||
            row.detections[1] != row.host.detections || found != firstFound) {
            std::fprintf(stderr, "bench_scale: %u records: the detections differ from the first size's\n", records);
            ++failures;
        }
    }
    stopRunner(runner);
    std::remove((dir + "/zbscan.out").c_str());
    std::remove((dir + "/zbscan.err").c_str());
    rmdir(dir.c_str());

    std::printf("\nload average at the end: %s\n", loadAverage().c_str());
    const Row& first = rows.front();
    for (const Row& row : rows) {
        const double bound = 2 * row.fileMb + kSearchTableBytesPerRecord * static_cast<double>(row.records) / 1e6 + 16;
        std::printf("%u records: table within %llu bytes per record and %.0f MB fixed: %s; zbscan's peak within its bound: %s",
                    row.records, static_cast<unsigned long long>(kSearchTableBytesPerRecord), kSearchTableFixedBytes / 1048576.0,
                    verdict(row.memory.perRecord <= kSearchTableBytesPerRecord && row.memory.fixed <= kSearchTableFixedBytes),
                    verdict(row.host.peakMb <= bound));
        if (&row != &first) {
            std::printf("; search at least a quarter of the %u-record row's: vector %s, portable %s", first.records,
                        hasVector ? verdict(row.gbs[0] >= first.gbs[0] / 4) : "-", verdict(row.gbs[1] >= first.gbs[1] / 4));
        }
        if (row.records == 100000) std::printf("; load within 60 ms: %s", verdict(row.loadSeconds <= 0.06));
        if (row.records == 1000000) std::printf("; load within 0.5 s: %s", verdict(row.loadSeconds <= 0.5));
        std::printf("\n");
    }
    return failures == 0 ? 0 : 1;
}
