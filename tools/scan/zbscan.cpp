// zbscan: the engine's scan of host folders and files (./zb scan).
//   zbscan [--db FILE] [-j N] [--literal | --portable] [--no-archives] PATH...
// Without --db, the database named by ZB_SCAN_DB (./zb sets it to the
// build's sample database). Exit status: 0 clean, 1 something found, 2
// errors (a file or folder unreadable, a bad database or command line).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/large_block.h"
#include "engine/search.h"
#include "engine/vps_format.h"
#include "tools/scan/host_scan.h"

namespace {

constexpr const char* kUsage =
    "usage: zb scan [--db FILE] [-j N] [--literal | --portable] [--no-archives] PATH...\n"
    "  --db FILE   the database (default: the build's sample database)\n"
    "  -j N        scan on N threads (default: the machine's cores); output stays in walk order\n"
    "  --literal   use the literal reference search instead of the search table\n"
    "  --portable  walk the search table with its portable code (the device's), not the vector code\n"
    "  --no-archives  scan CAB and ZIP files as plain files, not their members\n"
    "One line per detection on standard output:\n"
    "  status=0 record=N offset=N flags=N name=NAME path=PATH\n"
    "  status=0 record=N offset=N flags=N name=NAME member=MEMBER path=ARCHIVE   (inside an archive)\n"
    "errors, skipped entries, members not examined and the summary on standard error:\n"
    "  zb scan: ARCHIVE: member MEMBER not examined: REASON\n"
    "Exit status: 0 clean, 1 something found, 2 errors.\n";

int usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "zb scan: %s\n", problem);
    std::fprintf(stderr, "%s", kUsage);
    return 2;
}

const char* loadProblem(Status status) {
    switch (status) {
        case kStatusVpsCorrupted: return "the virus database is corrupted";
        case kStatusOutOfMemory: return "out of memory";
        default: return "cannot load the virus database";
    }
}

// The database file's image, in one block of exactly its size: a large
// database is read whole while its record area and search table are built,
// so the image must not be held twice over by a growing buffer.
struct Image {
    uint8_t* bytes = nullptr;
    size_t size = 0;
    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image() { release(); }
    void release() {
        std::free(bytes);
        bytes = nullptr;
        size = 0;
    }
};

bool readWhole(const std::string& path, Image& image, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
        image.size = static_cast<size_t>(st.st_size);
        image.bytes = static_cast<uint8_t*>(largeBlockAllocate(image.size));
        if (image.bytes == nullptr) {
            error = "out of memory";
        } else if (std::fread(image.bytes, 1, image.size, f) != image.size) {
            error = "read error";
        }
    } else {  // a pipe, say: read to its end
        std::vector<uint8_t> bytes;
        uint8_t chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        if (std::ferror(f) != 0) error = "read error";
        image.size = bytes.size();
        image.bytes = static_cast<uint8_t*>(largeBlockAllocate(image.size));
        if (image.bytes == nullptr) {
            error = "out of memory";
        } else if (!bytes.empty()) {
            std::memcpy(image.bytes, bytes.data(), bytes.size());
        }
    }
    std::fclose(f);
    if (error.empty() && image.size == 0) error = "the file is empty";
    return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
    HostScanOptions options;
    const unsigned cores = std::thread::hardware_concurrency();
    options.threads = cores == 0 ? 1 : cores;
    std::string dbPath;
    if (const char* fromEnv = std::getenv("ZB_SCAN_DB")) dbPath = fromEnv;
    bool onlyPaths = false;
    bool portable = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyPaths || arg.empty() || arg[0] != '-') {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "--db" && i + 1 < argc) {
            dbPath = argv[++i];
        } else if ((arg == "-j" && i + 1 < argc) || (arg.rfind("-j", 0) == 0 && arg.size() > 2)) {
            const std::string value = arg.size() > 2 ? arg.substr(2) : argv[++i];
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != 0 || n < 1 || n > 1024) return usage("-j wants a number of threads from 1 to 1024");
            options.threads = static_cast<unsigned>(n);
        } else if (arg == "--literal") {
            options.method = ScanMethod::literal;
        } else if (arg == "--portable") {
            portable = true;
        } else if (arg == "--no-archives") {
            options.archives = false;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("%s", kUsage);
            return 0;
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (options.paths.empty()) return usage("nothing to scan: give at least one PATH");
    if (dbPath.empty()) return usage("no database: give --db FILE");

    Image image;
    std::string error;
    if (!readWhole(dbPath, image, error)) {
        std::fprintf(stderr, "zb scan: %s: %s\n", dbPath.c_str(), error.c_str());
        return 2;
    }
    VpsDatabase db;
    const Status loaded = vpsParseImage(image.bytes, image.size, db);
    if (loaded != kStatusOk) {
        std::fprintf(stderr, "zb scan: %s: %s (status %u)\n", dbPath.c_str(), loadProblem(loaded),
                     static_cast<unsigned>(loaded));
        return 2;
    }
    image.release();
    if (portable) searchTableSetKernel(db, SearchKernel::portable);

    options.progress = isatty(STDERR_FILENO) != 0;
    HostScanTotals totals;
    const int exitStatus = hostScan(db, options, stdout, stderr, totals);
    std::fflush(stdout);
    hostScanSummary(totals, stderr);
    vpsRelease(db);
    return exitStatus;
}
