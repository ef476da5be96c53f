#include "engine/scanner.h"

#include <cstdlib>

#include "engine/fileio.h"
#include "engine/vps.h"

namespace {

struct Window {
    uint8_t* bytes = nullptr;
    ~Window() { std::free(bytes); }
};

Status search(ScanMethod method, const uint8_t* window, uint32_t length, WindowPlace place, MatchResult& result) {
    return method == ScanMethod::table ? searchFast(g_vps, window, length, place, result)
                                       : searchLiteral(g_vps, window, length, place, result);
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
    if (size == kFileFailed || size < kScanMinimumSize) return kStatusOk;
    const uint32_t length = size <= kScanWholeFileLimit ? static_cast<uint32_t>(size) : kScanWindowLength;

    Window window;
    window.bytes = static_cast<uint8_t*>(std::malloc(length));
    if (window.bytes == nullptr) return kStatusOutOfMemory;

    // The head window starts at offset 0 of the file: an anchored record
    // counts there only at position 0, and a match elsewhere does not stop
    // the search (it would hide a detection further on).
    status = fileRead(file.get(), window.bytes, length, nullptr);
    if (status != kStatusOk) return status;
    search(method, window.bytes, length, WindowPlace::startOfFile, *result);
    if (result->recordNumber != 0 || size <= kScanWholeFileLimit) return kStatusOk;

    // The tail window: every match counts; its offset is within the window.
    const uint64_t tail = size - kScanWindowLength;
    status = fileSeek(file.get(), static_cast<uint32_t>(tail), static_cast<uint32_t>(tail >> 32), kFileBegin);
    if (status != kStatusOk) return status;
    status = fileRead(file.get(), window.bytes, kScanWindowLength, nullptr);
    if (status != kStatusOk) return status;
    search(method, window.bytes, kScanWindowLength, WindowPlace::insideFile, *result);
    return kStatusOk;
}

Status scanFile(const wchar_t* path, MatchResult* result) { return scanFileWith(path, result, ScanMethod::table); }
