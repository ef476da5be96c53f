// The scan of a tree on the device, with the program's own code: vpsLoad of
// a 10,000-record database beside this program, then scanFile over every
// file of a generated tree, against the I/O floor of opening the same files
// and reading the same windows through the file layer; then the same with a
// 100,000-record database, with the bytes its record area and search table
// take in the process. Run side by side in one run, best of three each; the
// literal search runs over a few files and is extrapolated per window byte
// (said so in the output). The search alone, over every 20th file's windows
// held in memory, shows the device code's own share of scanFile's time,
// which the file layer's noise hides in the ratio to the floor.
//   bench_device.exe [SCALE]     SCALE 1 (default) is the full tree
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/fileio.h"
#include "engine/scanner.h"
#include "engine/search.h"
#include "engine/vps.h"

namespace {

constexpr wchar_t kTreeRoot[] = L"C:\\bench-tree";
constexpr uint32_t kLiteralSubsetFiles = 4;

struct Totals {
    uint64_t files = 0;
    uint64_t windowBytes = 0;
    uint64_t detections = 0;
    uint64_t failures = 0;
};

enum class Work { ioFloor, table, literal };

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// What the scanner reads of a file, without searching it.
void readWindows(const wchar_t* path, Totals& totals) {
    FileHandle file;
    if (file.open(path, kFileRead) != kStatusOk) {
        ++totals.failures;
        return;
    }
    const uint64_t size = fileSize(file.get());
    if (size == kFileFailed || size < kScanMinimumSize) return;
    const uint32_t length = size <= kScanWholeFileLimit ? static_cast<uint32_t>(size) : kScanWindowLength;
    uint8_t* window = static_cast<uint8_t*>(std::malloc(length));
    if (fileRead(file.get(), window, length, nullptr) == kStatusOk) totals.windowBytes += length;
    if (size > kScanWholeFileLimit) {
        const uint64_t tail = size - kScanWindowLength;
        if (fileSeek(file.get(), static_cast<uint32_t>(tail), static_cast<uint32_t>(tail >> 32), kFileBegin) == kStatusOk &&
            fileRead(file.get(), window, kScanWindowLength, nullptr) == kStatusOk) {
            totals.windowBytes += kScanWindowLength;
        }
    }
    std::free(window);
}

// Every kSampleEvery-th file's windows, held in memory, each with its place:
// the search alone, without the file layer, and so without its noise.
constexpr uint32_t kSampleEvery = 20;
struct SampleWindow {
    std::vector<uint8_t> bytes;
    WindowPlace place;
};

std::vector<SampleWindow> sampleWindows(double scale) {
    std::vector<SampleWindow> sample;
    uint32_t index = 0;
    for (const BenchFile& f : benchTreeFiles(scale)) {
        if (index++ % kSampleEvery != 0 || f.size < kScanMinimumSize) continue;
        const std::wstring path = std::wstring(kTreeRoot) + L"\\" + widen(f.folder) + L"\\" + widen(f.name);
        FileHandle file;
        if (file.open(path.c_str(), kFileRead) != kStatusOk) continue;
        const uint64_t size = fileSize(file.get());
        if (size == kFileFailed || size < kScanMinimumSize) continue;
        const uint32_t length = scanBufferLength(size);
        SampleWindow head{std::vector<uint8_t>(length), WindowPlace::startOfFile};
        if (fileRead(file.get(), head.bytes.data(), length, nullptr) != kStatusOk) continue;
        sample.push_back(std::move(head));
        if (size > kScanWholeFileLimit) {
            const uint64_t tail = size - kScanWindowLength;
            SampleWindow window{std::vector<uint8_t>(kScanWindowLength), WindowPlace::insideFile};
            if (fileSeek(file.get(), static_cast<uint32_t>(tail), static_cast<uint32_t>(tail >> 32), kFileBegin) == kStatusOk &&
                fileRead(file.get(), window.bytes.data(), kScanWindowLength, nullptr) == kStatusOk) {
                sample.push_back(std::move(window));
            }
        }
    }
    return sample;
}

void visit(const std::wstring& path, Work work, Totals& totals) {
    ++totals.files;
    if (work == Work::ioFloor) {
        readWindows(path.c_str(), totals);
        return;
    }
    MatchResult result;
    const Status status =
        scanFileWith(path.c_str(), &result, work == Work::table ? ScanMethod::table : ScanMethod::literal);
    if (status != kStatusOk) ++totals.failures;
    if (result.recordNumber != 0) ++totals.detections;
}

// Depth first, a folder's files before its subfolders, as the scan driver.
void walk(const std::wstring& folder, Work work, Totals& totals) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> subfolders;
    do {
        if (found.cFileName[0] == L'.') continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            subfolders.push_back(path);
        } else {
            visit(path, work, totals);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    for (const std::wstring& sub : subfolders) walk(sub, work, totals);
}

bool writeAll(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FileHandle file;
    if (file.open(path.c_str(), kFileCreateUpdate) != kStatusOk) return false;
    return bytes.empty() || fileWrite(file.get(), bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr) == kStatusOk;
}

bool makeTree(double scale, const SignatureList& database) {
    const std::wstring marker = std::wstring(kTreeRoot) + L".txt";  // beside the tree, not in it
    const std::string stamp = std::string(kBenchTreeVersion) + " scale " + std::to_string(scale);
    {
        FileHandle file;
        char text[128] = {};
        uint32_t got = 0;
        if (file.open(marker.c_str(), kFileRead) == kStatusOk) {
            fileRead(file.get(), text, sizeof text - 1, &got);
            if (std::string(text, got) == stamp) return true;
        }
    }
    std::printf("generating the benchmark tree in C:\\bench-tree (once)\n");
    std::fflush(stdout);
    directoryCreate(kTreeRoot);
    std::vector<uint8_t> bytes;
    for (const BenchFile& f : benchTreeFiles(scale)) {
        const std::wstring folder = std::wstring(kTreeRoot) + L"\\" + widen(f.folder);
        directoryCreate(folder.c_str());
        benchFileContents(f, database, bytes);
        if (!writeAll(folder + L"\\" + widen(f.name), bytes)) return false;
    }
    return writeAll(marker, std::vector<uint8_t>(stamp.begin(), stamp.end()));
}

// One database size: the database written beside this program, vpsLoad
// (best of five), then the I/O floor and scanFile over the tree, alternating,
// best of three each.
struct SizeRow {
    uint32_t records = 0;
    double load = 0;
    double floor = 0;
    double table = 0;
    uint64_t areaBytes = 0;
    uint64_t tableBytes = 0;
    double searchNsPerByte = 0;  // searchFast alone over the sample
    Totals floorTotals, tableTotals;
};

bool measure(const SignatureList& database, const std::vector<SampleWindow>& sample, SizeRow& row) {
    std::vector<uint8_t> image;
    std::string error;
    wchar_t directory[kModuleDirectoryCapacity];
    if (vpsImageBuild(database, image, error) != kStatusOk || moduleDirectory(directory) != kStatusOk ||
        !writeAll(std::wstring(directory) + L"\\zerbinpda.vps", image)) {
        std::printf("cannot write the benchmark database\n");
        return false;
    }
    row.records = static_cast<uint32_t>(database.signatures.size());
    row.load = 1e300;
    for (int i = 0; i < 5; ++i) {
        const double start = now();
        const Status status = vpsLoad();
        const double took = now() - start;
        if (status != kStatusOk) {
            std::printf("vpsLoad: status %u\n", static_cast<unsigned>(status));
            return false;
        }
        if (took < row.load) row.load = took;
    }
    row.areaBytes = g_vps.recordAreaLength;
    row.tableBytes = searchTableSize(g_vps);
    row.floor = row.table = 1e300;
    for (int round = 0; round < 3; ++round) {
        Totals f, t;
        double start = now();
        walk(kTreeRoot, Work::ioFloor, f);
        const double floorTime = now() - start;
        start = now();
        walk(kTreeRoot, Work::table, t);
        const double tableTime = now() - start;
        if (floorTime < row.floor) row.floor = floorTime;
        if (tableTime < row.table) row.table = tableTime;
        row.floorTotals = f;
        row.tableTotals = t;
        std::printf("%u records, round %d: I/O floor %.3f s, scanFile %.3f s\n", row.records, round + 1, floorTime,
                    tableTime);
        std::fflush(stdout);
    }
    row.searchNsPerByte = 1e300;
    for (int round = 0; round < 3; ++round) {
        uint64_t bytes = 0;
        const double start = now();
        for (const SampleWindow& w : sample) {
            MatchResult result;
            searchFast(g_vps, w.bytes.data(), static_cast<uint32_t>(w.bytes.size()), w.place, result);
            bytes += w.bytes.size();
        }
        const double ns = bytes == 0 ? 0 : (now() - start) * 1e9 / static_cast<double>(bytes);
        if (ns < row.searchNsPerByte) row.searchNsPerByte = ns;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const double scale = argc > 1 ? _wtof(argv[1]) : 1.0;
    const SignatureList database = benchDatabase();
    if (!makeTree(scale, database)) {
        std::printf("cannot write the benchmark tree\n");
        return 1;
    }
    Totals warm;
    walk(kTreeRoot, Work::ioFloor, warm);  // the host's page cache, as for the native benchmark

    // The benchmark database, then one ten times its size: the records the
    // tree's files carry are its first 10,000, so both find the same files.
    SizeRow rows[2];
    const std::vector<SampleWindow> sample = sampleWindows(scale);
    uint64_t sampleBytes = 0;
    for (const SampleWindow& w : sample) sampleBytes += w.bytes.size();
    if (!measure(database, sample, rows[0])) return 1;

    // The literal search on the first large files (head and tail windows).
    Totals literal;
    double literalTime = 0;
    for (const BenchFile& f : benchTreeFiles(scale)) {
        if (literal.files >= kLiteralSubsetFiles) break;
        if (f.size <= kScanWholeFileLimit) continue;
        const std::wstring path = std::wstring(kTreeRoot) + L"\\" + widen(f.folder) + L"\\" + widen(f.name);
        Totals bytes;
        readWindows(path.c_str(), bytes);
        const double start = now();
        visit(path, Work::literal, literal);
        literalTime += now() - start;
        literal.windowBytes += bytes.windowBytes;
    }
    const double literalTree =
        literalTime / static_cast<double>(literal.windowBytes) * static_cast<double>(rows[0].floorTotals.windowBytes);

    if (!measure(signaturesSynthetic(10 * kBenchRecords, kBenchSeed), sample, rows[1])) return 1;

    std::printf("\ndevice tree: %llu files, %.1f MB of windows, %llu failures\n",
                static_cast<unsigned long long>(rows[0].tableTotals.files), rows[0].floorTotals.windowBytes / 1e6,
                static_cast<unsigned long long>(rows[0].tableTotals.failures + rows[1].tableTotals.failures));
    for (const SizeRow& row : rows) {
        std::printf("%u records: vpsLoad %.1f ms; record area %.2f MB + search table %.2f MB = %.2f MB; %llu detections\n",
                    row.records, row.load * 1000, row.areaBytes / 1048576.0, row.tableBytes / 1048576.0,
                    (row.areaBytes + row.tableBytes) / 1048576.0, static_cast<unsigned long long>(row.tableTotals.detections));
        std::printf("  I/O floor (walk, fileOpen, fileSize, fileRead of the windows): %.3f s\n", row.floor);
        std::printf("  scanFile over the tree:                                      %.3f s = %.2f x the I/O floor\n",
                    row.table, row.table / row.floor);
        const double searchTree = row.searchNsPerByte * static_cast<double>(row.floorTotals.windowBytes) * 1e-9;
        std::printf("  searchFast alone (every %uth file's windows in memory, %.1f MB): %.3f ns/byte,\n"
                    "    %.3f s over the tree's windows = %.2f x the I/O floor added\n",
                    kSampleEvery, sampleBytes / 1e6, row.searchNsPerByte, searchTree, searchTree / row.floor);
    }
    std::printf("literal scan, %u records (extrapolated from %llu files, %.1f MB, %.2f s): %.0f s = %.0f x the I/O floor\n",
                rows[0].records, static_cast<unsigned long long>(literal.files), literal.windowBytes / 1e6, literalTime,
                literalTree, literalTree / rows[0].floor);
    vpsFree();
    return rows[0].tableTotals.detections == rows[1].tableTotals.detections ? 0 : 1;
}
