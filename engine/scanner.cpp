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

Status scanFileWith(const wchar_t* path, MatchResult* result, ScanMethod method) {
    if (path == nullptr || path[0] == 0 || result == nullptr) return kStatusBadArgument;
    result->recordNumber = 0;

    FileHandle file;
    Status status = file.open(path, kFileRead);
    if (status != kStatusOk) return status;

    const uint64_t size = fileSize(file.get());
    if (size == kFileFailed) return kStatusOk;
    const uint32_t length = scanBufferLength(size);
    if (length == 0) return kStatusOk;

    Window window;
    window.bytes = static_cast<uint8_t*>(std::malloc(length));
    if (window.bytes == nullptr) return kStatusOutOfMemory;
    return scanWindows(g_vps, size, WindowSource{file.get(), readAt}, window.bytes, method, *result);
}

Status scanFile(const wchar_t* path, MatchResult* result) { return scanFileWith(path, result, ScanMethod::table); }

Status scanFileWithArchives(const wchar_t* path, MatchResult* result, const ArchiveEvents& events,
                            ArchiveVerdict& verdict) {
    verdict = ArchiveVerdict{};
    if (path == nullptr || path[0] == 0 || result == nullptr) return kStatusBadArgument;
    result->recordNumber = 0;

    FileHandle file;
    Status status = file.open(path, kFileRead);
    if (status != kStatusOk) return status;
    const uint64_t size = fileSize(file.get());
    if (size == kFileFailed || scanBufferLength(size) == 0) return kStatusOk;

    // The whole window even for a small file: an archive's members may be larger.
    Window window;
    window.bytes = static_cast<uint8_t*>(std::malloc(kScanWholeFileLimit));
    if (window.bytes == nullptr) return kStatusOutOfMemory;
    TrackedFile tracked{file.get(), 0};
    return scanWithArchives(g_vps, size, WindowSource{&tracked, readTracked}, window.bytes, ScanMethod::table,
                            ArchiveLimits{}, events, *result, verdict);
}
