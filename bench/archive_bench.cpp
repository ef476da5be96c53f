// The scan of archives against zlib's own inflate of the same members, and
// the cost of the archive check on a tree without archives; side by side,
// round after round, each the median of its rounds (elapsed / CPU time).
//  - A tree without archives: the benchmark tree (bench_tree's) scanned as
//    before (scanWindows) and with the archive check (scanWithArchives).
//  - A tree of archives: folders of the benchmark tree packed once by gcab
//    (stored and MSZIP cabinets) and python3's zipfile (stored and deflated
//    ZIPs). The floor reads each archive whole and inflates its members with
//    zlib alone (MSZIP block by block with the 32 KB history, as it must be);
//    the scan is scanWithArchives, raw windows and members, one thread.
//   bench_archive [ROUNDS]   (default 5, at least 3)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "engine/archive.h"
#include "engine/scan_windows.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

constexpr const char* kArchiveTreeVersion = "zerbin archive tree 2";
constexpr int kFoldersPerKind = 2;  // bench tree folders packed per kind of archive

enum class Work { before, withArchives, withoutArchives, inflateFloor };

struct Totals {
    uint64_t files = 0;
    uint64_t detections = 0;
    uint64_t members = 0;
    uint64_t memberBytes = 0;  // uncompressed bytes the floor produced
    uint64_t peakMemory = 0;
};

VpsDatabase g_db;
uint8_t* g_window = nullptr;

double clockSeconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Status readAt(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    const int fd = *static_cast<int*>(file);
    return pread(fd, buffer, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length) ? kStatusOk
                                                                                                : kStatusShortRead;
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }

// zlib alone over one archive's members, in memory.
struct Floor {
    z_stream z{};
    std::vector<uint8_t> out = std::vector<uint8_t>(1 << 16);
    std::vector<uint8_t> history = std::vector<uint8_t>(32768);
    std::vector<uint8_t>* keep = nullptr;  // where the output goes when it is kept
    Floor() { inflateInit2(&z, -MAX_WBITS); }
    ~Floor() { inflateEnd(&z); }

    void stored(const uint8_t* in, size_t length) {
        std::memcpy(out.data(), in, std::min<size_t>(length, out.size()));
        if (keep != nullptr) keep->insert(keep->end(), in, in + length);
    }

    // The members of an archive of one member, kept: the next level down.
    std::vector<uint8_t> firstMember(const std::vector<uint8_t>& archive) {
        std::vector<uint8_t> member;
        Totals ignored;
        keep = &member;
        if (std::memcmp(archive.data(), "MSCF", 4) == 0) {
            cab(archive, ignored);
        } else {
            zip(archive, ignored);
        }
        keep = nullptr;
        return member;
    }

    uint64_t inflateAll(const uint8_t* in, size_t length) {
        uint64_t made = 0;
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(length);
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            status = inflate(&z, Z_NO_FLUSH);
            made += out.size() - z.avail_out;
            if (keep != nullptr) keep->insert(keep->end(), out.data(), out.data() + (out.size() - z.avail_out));
            if (status == Z_BUF_ERROR) break;
        }
        return made;
    }

    uint64_t zip(const std::vector<uint8_t>& a, Totals& totals) {
        uint64_t made = 0;
        size_t at = 0;
        while (at + 30 <= a.size() && le32(&a[at]) == 0x04034b50) {
            const uint16_t method = le16(&a[at + 8]);
            const uint32_t packed = le32(&a[at + 18]);
            const size_t data = at + 30 + le16(&a[at + 26]) + le16(&a[at + 28]);
            if (data + packed > a.size()) break;
            if (method == 8) {
                inflateReset(&z);
                made += inflateAll(&a[data], packed);
            } else {
                stored(&a[data], packed);
                made += packed;
            }
            ++totals.members;
            at = data + packed;
        }
        return made;
    }

    // Our own cabinets only: no reserved fields, no neighbouring cabinets.
    uint64_t cab(const std::vector<uint8_t>& a, Totals& totals) {
        uint64_t made = 0;
        const uint16_t folders = le16(&a[26]);
        totals.members += le16(&a[28]);
        for (uint32_t f = 0; f < folders; ++f) {
            const uint8_t* entry = &a[36 + 8 * f];
            size_t at = le32(entry);
            const uint16_t blocks = le16(entry + 4);
            const bool mszip = (le16(entry + 6) & 0x0F) == 1;
            for (uint32_t b = 0; b < blocks && at + 8 <= a.size(); ++b) {
                const uint16_t packed = le16(&a[at + 4]);
                const uint16_t size = le16(&a[at + 6]);
                if (at + 8 + packed > a.size()) break;
                if (mszip) {
                    uInt kept = 0;
                    if (b != 0) inflateGetDictionary(&z, history.data(), &kept);
                    inflateReset(&z);
                    if (kept != 0) inflateSetDictionary(&z, history.data(), kept);
                    made += inflateAll(&a[at + 10], packed - 2u);
                } else {
                    stored(&a[at + 8], packed);
                    made += size;
                }
                at += 8 + packed;
            }
        }
        return made;
    }
};

void scanOne(const std::string& path, Work work, Totals& totals) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return;
    }
    ++totals.files;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    MatchResult result;
    int handle = fd;
    const WindowSource source{&handle, readAt};
    if (work == Work::inflateFloor) {
        static Floor floor;
        std::vector<uint8_t> bytes(size);
        if (size >= 36 && pread(fd, bytes.data(), size, 0) == static_cast<ssize_t>(size)) {
            totals.memberBytes += std::memcmp(bytes.data(), "MSCF", 4) == 0 ? floor.cab(bytes, totals)
                                                                            : floor.zip(bytes, totals);
            // The nested archive is inflated level by level, as the scan must.
            if (path.size() > 11 && path.compare(path.size() - 11, 11, "/nested.zip") == 0) {
                std::vector<uint8_t> level = bytes;
                for (int depth = 0; depth < 2 && level.size() >= 36; ++depth) {
                    level = floor.firstMember(level);
                    totals.memberBytes += std::memcmp(level.data(), "MSCF", 4) == 0 ? floor.cab(level, totals)
                                                                                    : floor.zip(level, totals);
                }
            }
        }
    } else if (work == Work::withArchives) {
        ArchiveVerdict verdict;
        scanWithArchives(g_db, size, source, g_window, ScanMethod::table, ArchiveLimits{}, ArchiveEvents{}, result,
                         verdict);
        totals.members += verdict.membersExamined;
        totals.peakMemory = std::max(totals.peakMemory, verdict.peakMemory);
    } else {
        scanWindows(g_db, size, source, g_window, ScanMethod::table, result);
    }
    if (result.recordNumber != 0) ++totals.detections;
    close(fd);
}

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
            scanOne(path, work, totals);
        }
    }
    closedir(dir);
    for (const std::string& sub : subfolders) walk(sub, work, totals);
}

struct Sample {
    double wall;
    double cpu;
};

Sample timed(const std::string& root, Work work, Totals& totals) {
    const double wall = clockSeconds(CLOCK_MONOTONIC), cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    walk(root, work, totals);
    return Sample{clockSeconds(CLOCK_MONOTONIC) - wall, clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu};
}

// The archives, packed once from the benchmark tree's first folders, from
// its clean files only, so that every scan goes through every member.
bool makeArchives(const std::string& tree, const std::string& root, double scale) {
    const std::string marker = root + "/.complete";
    {
        std::ifstream in(marker);
        std::string line;
        if (std::getline(in, line) && line == kArchiveTreeVersion) return true;
    }
    std::fprintf(stderr, "packing the archive tree in %s (once)\n", root.c_str());
    std::vector<std::string> lists(4 * kFoldersPerKind);
    for (const BenchFile& f : benchTreeFiles(scale)) {
        const int folder = std::atoi(f.folder.c_str() + 1);
        if (folder < 4 * kFoldersPerKind && f.index % 100 != 42) lists[folder] += " " + f.folder + "/" + f.name;
    }
    std::string script = "set -e; rm -rf '" + root + "'; mkdir -p '" + root + "'; cd '" + tree + "'\n";
    const char* kinds[] = {"cab", "cab-mszip", "zip", "zip-deflated"};
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < kFoldersPerKind; ++i) {
            const int folder = k * kFoldersPerKind + i;
            const std::string out = root + "/d" + std::to_string(folder) + "-" + kinds[k] + (k < 2 ? ".cab" : ".zip");
            if (k < 2) {
                script += std::string("gcab -c ") + (k == 1 ? "-z " : "") + "'" + out + "'" + lists[folder] + "\n";
            } else {
                script += std::string("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w',zipfile.") +
                          (k == 3 ? "ZIP_DEFLATED" : "ZIP_STORED") +
                          "); [z.write(f) for f in sys.argv[2:]]; z.close()\" '" + out + "'" + lists[folder] + "\n";
            }
        }
    }
    // Three levels: a deflated ZIP in an MSZIP cabinet in a deflated ZIP.
    script += "cd '" + root + "'; mkdir nest; cp d6-zip-deflated.zip nest/inner.zip; (cd nest && gcab -c -z middle.cab inner.zip && "
              "python3 -c \"import zipfile; z=zipfile.ZipFile('../nested.zip','w',zipfile.ZIP_DEFLATED); z.write('middle.cab'); z.close()\"); rm -r nest\n";
    script += "echo '" + std::string(kArchiveTreeVersion) + "' > '" + marker + "'\n";
    return std::system(script.c_str()) == 0;
}

std::string buildFolder(const char* argv0) {
    char resolved[4096];
    if (realpath(argv0, resolved) == nullptr) return ".";
    std::string dir = resolved;
    for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.rfind('/'));
    return dir;
}

void row(const char* label, const std::vector<double>& wall, const std::vector<double>& cpu) {
    std::printf("%-44s %8.3f s %8.3f s\n", label, median(wall), median(cpu));
}

double ratio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> r;
    for (size_t i = 0; i < a.size(); ++i) r.push_back(a[i] / b[i]);
    return median(r);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 5;
    const std::string build = buildFolder(argv[0]);
    const std::string tree = std::getenv("ZB_BENCH_TREE") ? std::getenv("ZB_BENCH_TREE") : build + "/bench-tree";
    const std::string archives = build + "/bench-archives";
    struct stat st;
    if (stat((tree + "/.complete").c_str(), &st) != 0) {
        std::fprintf(stderr, "no benchmark tree in %s: run bench_tree first (./zb bench native)\n", tree.c_str());
        return 1;
    }
    const char* scaleEnv = std::getenv("ZB_BENCH_SCALE");
    if (!makeArchives(tree, archives, scaleEnv ? std::atof(scaleEnv) : 1.0)) {
        std::fprintf(stderr, "cannot pack the archive tree in %s (gcab and python3 are needed)\n", archives.c_str());
        return 1;
    }
    const SignatureList database = benchDatabase();
    std::vector<uint8_t> image;
    std::string error;
    if (vpsImageBuild(database, image, error) != kStatusOk || vpsParseImage(image.data(), image.size(), g_db) != kStatusOk) {
        std::fprintf(stderr, "benchmark database: %s\n", error.c_str());
        return 1;
    }
    g_window = static_cast<uint8_t*>(std::malloc(kScanWholeFileLimit));

    Totals warm;
    walk(tree, Work::before, warm);
    walk(archives, Work::inflateFloor, warm);

    std::vector<double> beforeW, beforeC, checkW, checkC, floorW, floorC, scanW, scanC, rawW, rawC;
    Totals plain, floorTotals, scanTotals;
    for (int round = 0; round < rounds; ++round) {
        Totals a, b, c, d, e;
        Sample s = timed(tree, Work::before, a);
        beforeW.push_back(s.wall), beforeC.push_back(s.cpu);
        s = timed(tree, Work::withArchives, b);
        checkW.push_back(s.wall), checkC.push_back(s.cpu);
        s = timed(archives, Work::inflateFloor, c);
        floorW.push_back(s.wall), floorC.push_back(s.cpu);
        s = timed(archives, Work::withArchives, d);
        scanW.push_back(s.wall), scanC.push_back(s.cpu);
        s = timed(archives, Work::withoutArchives, e);
        rawW.push_back(s.wall), rawC.push_back(s.cpu);
        plain = b;
        floorTotals = c;
        scanTotals = d;
        std::fprintf(stderr, "  round %d done\n", round + 1);
    }
    std::printf("medians of %d rounds, one thread, elapsed / CPU time\n", rounds);
    std::printf("\ntree without archives: %llu files (the benchmark tree), %llu detections\n",
                static_cast<unsigned long long>(plain.files), static_cast<unsigned long long>(plain.detections));
    row("scan as before (scanWindows)", beforeW, beforeC);
    row("scan with the archive check", checkW, checkC);
    std::printf("%-44s %8.2f   %8.2f\n", "with the check / before, median ratio", ratio(checkW, beforeW),
                ratio(checkC, beforeC));
    std::printf("\ntree of archives: %llu CABs and ZIPs (stored, MSZIP, stored, deflated), %llu members, %.1f MB "
                "uncompressed, %llu detections\n",
                static_cast<unsigned long long>(scanTotals.files), static_cast<unsigned long long>(floorTotals.members),
                floorTotals.memberBytes / 1e6, static_cast<unsigned long long>(scanTotals.detections));
    row("zlib's inflate of the members (floor)", floorW, floorC);
    row("scan with archives", scanW, scanC);
    row("scan without archives (--no-archives)", rawW, rawC);
    std::printf("%-44s %8.2f   %8.2f\n", "scan with archives / floor, median ratio", ratio(scanW, floorW),
                ratio(scanC, floorC));
    std::printf("memory beyond the window, largest of any archive: %.1f KB\n", scanTotals.peakMemory / 1024.0);
    std::free(g_window);
    vpsRelease(g_db);
    return 0;
}
