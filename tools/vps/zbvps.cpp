// zbvps: the maker's database tool (./zb vps ...).
//   build [--strict] LIST OUT.vps
//                           a database from a signature list, with a warning
//                           for each record that windows can make slow
//                           (--strict: none is written then)
//   dump DB                 a database back as a signature list
//   samples LIST DIR        one test file per record of a list
//   scan DB FILE...         the program's own loader and file scanner over
//                           files (device build only: it runs under Wine)
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/status.h"
#include "engine/search.h"
#include "engine/vps_format.h"
#include "tools/vps/signatures.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "engine/scanner.h"
#include "engine/vps.h"
#else
#include <sys/stat.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: zbvps build [--strict] LIST OUT.vps\n"
    "                                    build a database from a signature list; warn about\n"
    "                                    records that windows can make slow (--strict: refuse them)\n"
    "       zbvps dump DB                print a database as a signature list\n"
    "       zbvps samples LIST DIR       write a test file for every record of a list\n"
    "       zbvps scan DB [--show NAME] FILE...\n"
    "                                    scan files with the program's loader and scanner\n"
    "       zbvps help                   this text and the signature list format\n";

#ifdef _WIN32
std::wstring widen(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

FILE* openFile(const std::string& path, const char* mode) { return _wfopen(widen(path).c_str(), widen(mode).c_str()); }
#else
FILE* openFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
#endif

// 0, or the loader's status for the same failure: 8600 for a missing file,
// 87 for an empty one unless `emptyIsFine` (nothing to read); the reason in `error`.
Status readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error, bool emptyIsFine = false) {
    FILE* f = openFile(path, "rb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return errno == ENOENT ? kStatusVpsNotFound : kStatusBadArgument;
    }
    bytes.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "read error";
        return kStatusShortRead;
    }
    if (bytes.empty() && !emptyIsFine) {
        error = "the file is empty";
        return kStatusBadArgument;
    }
    return kStatusOk;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    // Written beside the target and renamed, so that a failed run never
    // leaves half a database where a good one was.
    const std::string temporary = path + ".tmp";
    FILE* f = openFile(temporary, "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
#ifdef _WIN32
    if (!MoveFileExW(widen(temporary).c_str(), widen(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(widen(temporary).c_str());
        return false;
    }
    return true;
#else
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
#endif
}

const char* statusText(Status status) {
    switch (status) {
        case kStatusVpsNotFound: return "virus database was not found";
        case kStatusVpsCorrupted: return "virus database is corrupted";
        case kStatusOutOfMemory: return "out of memory";
        case kStatusShortRead: return "the file could not be read whole";
        case kStatusBadArgument: return "the file is empty";
        default: return "could not read the virus database";
    }
}

int fail(const std::string& message) {
    std::fprintf(stderr, "zbvps: %s\n", message.c_str());
    return 1;
}

bool loadList(const std::string& path, SignatureList& list, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (readFile(path, bytes, reason, true) != kStatusOk) {
        error = path + ": " + reason;
        return false;
    }
    if (signatureListParse(std::string(bytes.begin(), bytes.end()), list, reason) != kStatusOk) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

std::string hexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        out += hex;
    }
    return out;
}

// One line for each record that no choice of entry makes cheap to search
// for; the number of them.
size_t warnSlow(const std::string& listPath, const SignatureList& list, std::string& error) {
    std::vector<SlowSignature> slow;
    if (signaturesSlow(list, slow) != kStatusOk) {
        error = listPath + ": out of memory";
        return 0;
    }
    for (const SlowSignature& s : slow) {
        const Signature& sig = list.signatures[s.index];
        std::fprintf(stderr,
                     "warning: line %u: %s: found by the bytes %s, shared by %u record%s: a window of them may cost "
                     "about %.0f x an ordinary window per byte\n",
                     sig.line, sig.name.c_str(), hexBytes(s.entry).c_str(), s.sharing, s.sharing == 1 ? "" : "s",
                     s.cost);
    }
    return slow.size();
}

int commandBuild(const std::string& listPath, const std::string& out, bool strict) {
    SignatureList list;
    std::string error;
    if (!loadList(listPath, list, error)) return fail(error);
    std::vector<uint8_t> image;
    if (vpsImageBuild(list, image, error) != kStatusOk) return fail(listPath + ": " + error);
    const size_t slow = warnSlow(listPath, list, error);
    if (!error.empty()) return fail(error);
    if (slow != 0 && strict) {
        return fail(listPath + ": " + std::to_string(slow) + " slow record" + (slow == 1 ? "" : "s") +
                    " (--strict): nothing written");
    }
    if (!writeFile(out, image)) return fail(out + ": cannot write: " + std::strerror(errno));
    std::printf("%s: version %u.%u, %zu records, %zu bytes\n", out.c_str(), list.versionMajor, list.versionMinor,
                list.signatures.size(), image.size());
    return 0;
}

int commandDump(const std::string& path) {
    std::vector<uint8_t> image;
    std::string error;
    Status status = readFile(path, image, error);
    VpsDatabase db;
    if (status == kStatusOk) status = vpsParseImage(image.data(), image.size(), db);
    if (status != kStatusOk) {
        return fail(path + ": " + statusText(status) + " (status " + std::to_string(status) + ")" +
                    (error.empty() || error == statusText(status) ? "" : ": " + error));
    }
    SignatureList list;
    list.versionMajor = db.versionMajor;
    list.versionMinor = db.versionMinor;
    list.header.clear();
    for (uint8_t c : image) {
        if (c == 0) break;
        list.header += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);  // one line, whatever it holds
    }
    uint64_t offset = 0;
    VpsRecord record;
    while (offset < db.recordAreaLength &&
           vpsRecordRead(db.recordArea + offset, db.recordAreaLength - offset, record)) {
        list.signatures.push_back(signatureFromRecord(record));
        offset += record.length;
    }
    const std::string text = signatureListFormat(list, db.recordCount);
    std::fwrite(text.data(), 1, text.size(), stdout);
    vpsRelease(db);
    return 0;
}

std::string sampleName(size_t index, const std::string& name) {
    std::string safe;
    for (unsigned char c : name) safe += (std::isalnum(c) || c == '-' || c == '.' || c == '_') ? static_cast<char>(c) : '_';
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03zu-", index + 1);
    return prefix + safe + ".bin";
}

int commandSamples(const std::string& listPath, const std::string& dir) {
    SignatureList list;
    std::string error;
    if (!loadList(listPath, list, error)) return fail(error);
#ifdef _WIN32
    CreateDirectoryW(widen(dir).c_str(), nullptr);
#else
    mkdir(dir.c_str(), 0777);
#endif
    int result = 0;
    for (size_t i = 0; i < list.signatures.size(); ++i) {
        const Signature& sig = list.signatures[i];
        const std::vector<uint8_t> sample = signatureSample(sig);
        // A sample is kept only when the record alone really finds it where
        // the scanner looks: in the file's first window.
        std::vector<uint8_t> area;
        signatureEncode(sig, area, error);
        VpsDatabase one;
        MatchResult match;
        const uint32_t window = sample.size() <= 100000 ? static_cast<uint32_t>(sample.size()) : 50000;
        if (vpsLoadRecordArea(area.data(), area.size(), one) == kStatusOk)
            searchFast(one, sample.data(), window, WindowPlace::startOfFile, match);
        vpsRelease(one);
        if (match.recordNumber == 0) {
            std::fprintf(stderr, "zbvps: record %zu (%s): its patterns cannot be placed in a file's first window; no sample\n",
                         i + 1, sig.name.c_str());
            result = 1;
            continue;
        }
        const std::string path = dir + "/" + sampleName(i, sig.name);
        if (!writeFile(path, sample)) return fail(path + ": cannot write: " + std::strerror(errno));
        std::printf("%s\n", path.c_str());
    }
    return result;
}

#ifdef _WIN32
// scan [--show NAME] DB [--show NAME] FILE...: --show gives the name that
// messages and lines print for the next path (the host path that the Wine
// path stands for).
int commandScan(const std::vector<std::string>& args) {
    struct Named {
        std::string path;
        std::string shown;
    };
    std::vector<Named> paths;
    std::string show;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--show" && i + 1 < args.size()) {
            show = args[++i];
            continue;
        }
        paths.push_back({args[i], show.empty() ? args[i] : show});
        show.clear();
    }
    if (paths.size() < 2) return fail("scan needs a database and at least one file");
    const Status loaded = vpsLoadFile(widen(paths[0].path).c_str());
    if (loaded != kStatusOk) {
        return fail(paths[0].shown + ": " + statusText(loaded) + " (status " + std::to_string(loaded) + ")");
    }
    for (size_t i = 1; i < paths.size(); ++i) {
        MatchResult result;
        const Status status = scanFile(widen(paths[i].path).c_str(), &result);
        const bool found = status == kStatusOk && result.recordNumber != 0;
        const std::string line = "status=" + std::to_string(status) + " record=" + std::to_string(result.recordNumber) +
                                 " offset=" + std::to_string(found ? result.matchOffset : 0) +
                                 " flags=" + std::to_string(found ? result.recordFlags : 0) +
                                 " name=" + (found ? result.virusName : "") + " path=" + paths[i].shown + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    vpsFree();
    return 0;
}
#endif

int run(const std::vector<std::string>& args) {
    const std::string command = args.empty() ? "help" : args[0];
    if (command == "help" || command == "-h" || command == "--help") {
        std::printf("%s\n%s", kUsage, signatureListHelp());
        return 0;
    }
    if (command == "build" && args.size() == 3) return commandBuild(args[1], args[2], false);
    if (command == "build" && args.size() == 4 && args[1] == "--strict") return commandBuild(args[2], args[3], true);
    if (command == "dump" && args.size() == 2) return commandDump(args[1]);
    if (command == "samples" && args.size() == 3) return commandSamples(args[1], args[2]);
    if (command == "scan") {
#ifdef _WIN32
        return commandScan(std::vector<std::string>(args.begin() + 1, args.end()));
#else
        return fail("scan runs the device build under Wine: use ./zb vps scan DB FILE...");
#endif
    }
    std::fprintf(stderr, "%s", kUsage);
    return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
