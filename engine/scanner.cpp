#include "engine/scanner.h"

#include <cstdlib>

#include "engine/fileio.h"
#include "engine/vps.h"

namespace {

struct Window {
    uint8_t* bytes = nullptr;
    ~Window() { std::free(bytes); }
};

// The head window is read where a new handle stands, at offset 0; only the
// tail window needs a seek.
Status readAt(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    HANDLE handle = static_cast<HANDLE>(file);
    if (offset != 0) {
        const Status status =
            fileSeek(handle, static_cast<uint32_t>(offset), static_cast<uint32_t>(offset >> 32), kFileBegin);
        if (status != kStatusOk) return status;
    }
    return fileRead(handle, buffer, length, nullptr);
}

// The archive reader reads anywhere, in any order: the position is kept and
// a seek made only where the next read does not follow the last.
struct TrackedFile {
    HANDLE handle = nullptr;
    uint64_t position = 0;
};

Status readTracked(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) {
    TrackedFile& f = *static_cast<TrackedFile*>(file);
    if (offset != f.position) {
        const Status status =
            fileSeek(f.handle, static_cast<uint32_t>(offset), static_cast<uint32_t>(offset >> 32), kFileBegin);
        if (status != kStatusOk) {
            f.position = ~0ull;
            return status;
        }
    }
    const Status status = fileRead(f.handle, buffer, length, nullptr);
    f.position = status == kStatusOk ? offset + length : ~0ull;
    return status;
}

}  // namespace

Status scanBuffer(const uint8_t* buffer, uint32_t length, MatchResult* result) {
    if (result == nullptr) return kStatusOk;
    return searchLiteral(g_vps, buffer, length, WindowPlace::insideFile, *result);
}

// What every scan of a file starts with: the arguments checked, the result
// cleared, the file opened and its size taken. False, with `status` set, when
// the scan ends there (a file too small to carry a signature is clean).
static bool openForScan(const wchar_t* path, MatchResult* result, FileHandle& file, uint64_t& size, Status& status) {
    status = kStatusOk;
    if (path == nullptr || path[0] == 0 || result == nullptr) {
        status = kStatusBadArgument;
        return false;
    }
    result->recordNumber = 0;
    status = file.open(path, kFileRead);
    if (status != kStatusOk) return false;
    size = fileSize(file.get());
    return size != kFileFailed && scanBufferLength(size) != 0;
}

Status scanFileWith(const wchar_t* path, MatchResult* result, ScanMethod method) {
    FileHandle file;
    uint64_t size = 0;
    Status status = kStatusOk;
    if (!openForScan(path, result, file, size, status)) return status;
    const uint32_t length = scanBufferLength(size);

    Window window;
    window.bytes = static_cast<uint8_t*>(std::malloc(length));
    if (window.bytes == nullptr) return kStatusOutOfMemory;
    return scanWindows(g_vps, size, WindowSource{file.get(), readAt}, window.bytes, method, *result);
}

Status scanFile(const wchar_t* path, MatchResult* result) { return scanFileWith(path, result, ScanMethod::table); }

Status scanFileWithArchives(const wchar_t* path, MatchResult* result, const ArchiveEvents& events,
                            ArchiveVerdict& verdict) {
    verdict = ArchiveVerdict{};
    FileHandle file;
    uint64_t size = 0;
    Status status = kStatusOk;
    if (!openForScan(path, result, file, size, status)) return status;

    // The whole window even for a small file: an archive's members may be larger.
    Window window;
    window.bytes = static_cast<uint8_t*>(std::malloc(kScanWholeFileLimit));
    if (window.bytes == nullptr) return kStatusOutOfMemory;
    TrackedFile tracked{file.get(), 0};
    return scanWithArchives(g_vps, size, WindowSource{&tracked, readTracked}, window.bytes, ScanMethod::table,
                            ArchiveLimits{}, events, *result, verdict);
}
