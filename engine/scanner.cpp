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
