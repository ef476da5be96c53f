#include "tools/scan/host_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace {

enum class Kind : uint8_t { file, error, skipped };

// One entry of the walk, then its outcome.
struct Item {
    std::string path;
    Kind kind = Kind::file;
    std::string message;  // why an error or a skip
    uint64_t bytes = 0;
    MatchResult result;
    std::string member;                    // the infected member, when the detection is inside an archive
    std::vector<std::string> notExamined;  // "MEMBER: REASON" lines, in archive order
    uint32_t archives = 0, membersExamined = 0;
    bool done = false;
};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

using Emit = std::function<void(Item&&)>;

struct FolderId {
    dev_t device;
    ino_t inode;
};

class Walker {
public:
    explicit Walker(Emit emit) : emit_(std::move(emit)) {}

    void path(const std::string& path) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            emitProblem(path, errno);
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            folder(path, st);
        } else {
            entry(path, st);
        }
    }

private:
    void emitProblem(const std::string& path, int error) {
        Item item;
        item.path = path;
        if (error == ELOOP) {
            item.kind = Kind::skipped;
            item.message = "symbolic link loop, skipped";
        } else {
            item.kind = Kind::error;
            item.message = std::strerror(error);
        }
        emit_(std::move(item));
    }

    void entry(const std::string& path, const struct stat& st) {
        Item item;
        item.path = path;
        if (!S_ISREG(st.st_mode)) {
            item.kind = Kind::skipped;
            item.message = "not a regular file, skipped";
        }
        emit_(std::move(item));
    }

    void folder(const std::string& path, const struct stat& st) {
        for (const FolderId& open : ancestors_) {
            if (open.device == st.st_dev && open.inode == st.st_ino) {
                Item item;
                item.path = path;
                item.kind = Kind::skipped;
                item.message = "symbolic link loop, skipped";
                emit_(std::move(item));
                return;
            }
        }
        DIR* dir = opendir(path.c_str());
        if (dir == nullptr) {
            emitProblem(path, errno);
            return;
        }
        // Regular files need no stat here: the scan's own open and fstat
        // look at them. Links and unknown kinds are looked at through stat.
        std::vector<std::pair<std::string, unsigned char>> names;
        errno = 0;
        while (dirent* e = readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name, e->d_type);
        }
        const int readError = errno;
        closedir(dir);
        if (readError != 0) emitProblem(path, readError);
        std::sort(names.begin(), names.end());

        const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
        std::vector<std::pair<std::string, struct stat>> subfolders;
        for (const auto& [name, type] : names) {
            const std::string child = prefix + name;
            if (type == DT_REG) {
                Item item;
                item.path = child;
                emit_(std::move(item));
                continue;
            }
            struct stat cs;
            if (stat(child.c_str(), &cs) != 0) {
                emitProblem(child, errno);  // vanished, a dangling link, a loop of links
            } else if (S_ISDIR(cs.st_mode)) {
                subfolders.emplace_back(child, cs);
            } else {
                entry(child, cs);
            }
        }
        ancestors_.push_back(FolderId{st.st_dev, st.st_ino});
        for (const auto& [child, cs] : subfolders) folder(child, cs);
        ancestors_.pop_back();
    }

    Emit emit_;
    std::vector<FolderId> ancestors_;
};

struct Reader {
    int fd;
};

Status readAt(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    const int fd = static_cast<Reader*>(file)->fd;
    uint32_t got = 0;
    while (got < length) {
        const ssize_t n = pread(fd, buffer + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return static_cast<Status>(errno);
        if (n == 0) return kStatusShortRead;  // the file shrank under us
        got += static_cast<uint32_t>(n);
    }
    return kStatusOk;
}

void tellNotExamined(void* context, const char* member, ArchiveProblem problem, const char* detail) {
    Item& item = *static_cast<Item*>(context);
    std::string line = member[0] != 0 ? std::string("member ") + member + " not examined: " : "not examined: ";
    line += archiveProblemText(problem);
    if (detail[0] != 0) line += std::string(" ") + detail;
    item.notExamined.push_back(line);
}

// Scans one walked file into its item. `buffer` holds kScanWholeFileLimit bytes.
void scanItem(const VpsDatabase& db, const HostScanOptions& options, uint8_t* buffer, Item& item) {
    if (item.kind != Kind::file) return;
    // Not blocking: a file replaced by a pipe since the walk must not hang the scan.
    const int fd = open(item.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        item.kind = Kind::error;
        item.message = std::strerror(errno);
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        item.kind = Kind::skipped;
        item.message = "not a regular file, skipped";
        close(fd);
        return;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    Reader reader{fd};
    Status status;
    if (options.archives) {
        ArchiveEvents events;
        events.context = &item;
        events.notExamined = tellNotExamined;
        ArchiveVerdict verdict;
        status = scanWithArchives(db, size, WindowSource{&reader, readAt}, buffer, options.method, options.limits,
                                  events, item.result, verdict);
        item.member = verdict.member;
        item.archives = verdict.archives;
        item.membersExamined = verdict.membersExamined;
    } else {
        status = scanWindows(db, size, WindowSource{&reader, readAt}, buffer, options.method, item.result);
    }
    close(fd);
    if (status != kStatusOk) {
        item.kind = Kind::error;
        item.message = status == kStatusShortRead ? "the file changed while it was read" : std::strerror(static_cast<int>(status));
        item.result = MatchResult{};
        return;
    }
    const uint32_t window = scanBufferLength(size);
    const bool foundInHead = item.result.recordNumber != 0 && item.member.empty();  // the tail was not read
    item.bytes = window == 0 ? 0 : (size > kScanWholeFileLimit && !foundInHead ? 2ull * window : window);
}

class Printer {
public:
    Printer(FILE* out, FILE* err, bool progress, HostScanTotals& totals)
        : out_(out), err_(err), progress_(progress), totals_(totals), start_(now()) {}

    void print(const Item& item) {
        if (item.kind == Kind::file) {
            ++totals_.files;
            totals_.bytes += item.bytes;
        }
        if (item.kind != Kind::file || item.result.recordNumber != 0) clearProgress();
        switch (item.kind) {
            case Kind::file:
                if (item.result.recordNumber != 0) {
                    ++totals_.detections;
                    std::fprintf(out_, "status=0 record=%u offset=%u flags=%u name=%s", item.result.recordNumber,
                                 item.result.matchOffset, item.result.recordFlags, item.result.virusName);
                    if (!item.member.empty()) std::fprintf(out_, " member=%s", item.member.c_str());
                    std::fprintf(out_, " path=%s\n", item.path.c_str());
                    std::fflush(out_);
                }
                totals_.archives += item.archives;
                totals_.membersExamined += item.membersExamined;
                totals_.membersNotExamined += item.notExamined.size();
                for (const std::string& line : item.notExamined) {
                    clearProgress();
                    std::fprintf(err_, "zb scan: %s: %s\n", item.path.c_str(), line.c_str());
                }
                break;
            case Kind::error:
                ++totals_.errors;
                std::fprintf(err_, "zb scan: %s: %s\n", item.path.c_str(), item.message.c_str());
                break;
            case Kind::skipped:
                ++totals_.skipped;
                std::fprintf(err_, "zb scan: %s: %s\n", item.path.c_str(), item.message.c_str());
                break;
        }
        tick();
    }

    // Redraws the progress line at most four times a second.
    void tick() {
        if (!progress_) return;
        const double t = now();
        if (t - lastDrawn_ < 0.25) return;
        lastDrawn_ = t;
        std::fprintf(err_, "\r%llu files, %.1f MB, %llu detections, %llu errors",
                     static_cast<unsigned long long>(totals_.files), totals_.bytes / 1e6,
                     static_cast<unsigned long long>(totals_.detections), static_cast<unsigned long long>(totals_.errors));
        std::fflush(err_);
        drawn_ = true;
    }

    void finish() {
        clearProgress();
        totals_.seconds = now() - start_;
    }

private:
    void clearProgress() {
        if (!drawn_) return;
        std::fprintf(err_, "\r\033[K");
        drawn_ = false;
    }

    FILE* out_;
    FILE* err_;
    bool progress_;
    HostScanTotals& totals_;
    double start_;
    double lastDrawn_ = 0;
    bool drawn_ = false;
};

struct Buffer {
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(kScanWholeFileLimit));
    ~Buffer() { std::free(bytes); }
};

void scanInline(const VpsDatabase& db, const HostScanOptions& options, Printer& printer) {
    Buffer buffer;
    Walker walker([&](Item&& item) {
        scanItem(db, options, buffer.bytes, item);
        printer.print(item);
    });
    for (const std::string& path : options.paths) walker.path(path);
}

// Threads: one walks, `threads` scan, this one prints in walk order.
void scanThreaded(const VpsDatabase& db, const HostScanOptions& options, Printer& printer) {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Item> items;  // from `first` on: printed ones are dropped
    uint64_t first = 0, nextToScan = 0;
    bool walked = false;

    std::thread walkerThread([&] {
        Walker walker([&](Item&& item) {
            std::lock_guard<std::mutex> hold(lock);
            items.push_back(std::move(item));
            changed.notify_all();
        });
        for (const std::string& path : options.paths) walker.path(path);
        std::lock_guard<std::mutex> hold(lock);
        walked = true;
        changed.notify_all();
    });

    std::vector<std::thread> scanners;
    for (unsigned i = 0; i < options.threads; ++i) {
        scanners.emplace_back([&] {
            Buffer buffer;
            std::unique_lock<std::mutex> hold(lock);
            for (;;) {
                changed.wait(hold, [&] { return nextToScan < first + items.size() || walked; });
                if (nextToScan >= first + items.size()) return;
                // A deque keeps its elements in place when others are added
                // or the printed ones taken from its front.
                Item& item = items[nextToScan - first];
                ++nextToScan;
                hold.unlock();
                scanItem(db, options, buffer.bytes, item);
                hold.lock();
                item.done = true;
                changed.notify_all();
            }
        });
    }

    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        changed.wait_for(hold, std::chrono::milliseconds(250), [&] {
            return (!items.empty() && items.front().done) || (walked && items.empty());
        });
        while (!items.empty() && items.front().done) {
            Item item = std::move(items.front());
            items.pop_front();
            ++first;
            hold.unlock();
            printer.print(item);
            hold.lock();
        }
        if (walked && items.empty()) break;
        hold.unlock();
        printer.tick();
        hold.lock();
    }
    hold.unlock();
    walkerThread.join();
    for (std::thread& t : scanners) t.join();
}

}  // namespace

int hostScan(const VpsDatabase& db, const HostScanOptions& options, FILE* out, FILE* err, HostScanTotals& totals) {
    totals = HostScanTotals{};
    Printer printer(out, err, options.progress, totals);
    if (options.threads <= 1) {
        scanInline(db, options, printer);
    } else {
        scanThreaded(db, options, printer);
    }
    printer.finish();
    if (totals.detections != 0) return 1;
    return totals.errors != 0 ? 2 : 0;
}

void hostScanSummary(const HostScanTotals& totals, FILE* to) {
    const double seconds = totals.seconds > 0 ? totals.seconds : 1e-9;
    std::fprintf(to, "files %llu, bytes %llu, detections %llu, errors %llu, skipped %llu\n",
                 static_cast<unsigned long long>(totals.files), static_cast<unsigned long long>(totals.bytes),
                 static_cast<unsigned long long>(totals.detections), static_cast<unsigned long long>(totals.errors),
                 static_cast<unsigned long long>(totals.skipped));
    std::fprintf(to, "time %.3f s, %.0f files/s, %.1f MB/s\n", totals.seconds, totals.files / seconds,
                 totals.bytes / 1e6 / seconds);
    std::fprintf(to, "archives %llu, members examined %llu, not examined %llu\n",
                 static_cast<unsigned long long>(totals.archives), static_cast<unsigned long long>(totals.membersExamined),
                 static_cast<unsigned long long>(totals.membersNotExamined));
}
