#include "engine/scan_windows.h"

#include <cstring>

namespace {

void search(const VpsDatabase& db, ScanMethod method, const uint8_t* window, uint32_t length, WindowPlace place,
            MatchResult& result) {
    if (method == ScanMethod::table) {
        searchFast(db, window, length, place, result);
    } else {
        searchLiteral(db, window, length, place, result);
    }
}

}  // namespace

uint32_t scanBufferLength(uint64_t size) {
    if (size < kScanMinimumSize) return 0;
    return size <= kScanWholeFileLimit ? static_cast<uint32_t>(size) : kScanWindowLength;
}

Status scanWindows(const VpsDatabase& db, uint64_t size, const WindowSource& source, uint8_t* buffer,
                   ScanMethod method, MatchResult& result, FileEnds* ends) {
    result.recordNumber = 0;
    if (ends != nullptr) *ends = FileEnds{};
    const uint32_t length = scanBufferLength(size);
    if (length == 0) return kStatusOk;

    // The head window starts at offset 0 of the file: an anchored record
    // counts there only at position 0, and a match elsewhere does not stop
    // the search (it would hide a detection further on).
    Status status = source.read(source.file, 0, buffer, length);
    if (status != kStatusOk) return status;
    search(db, method, buffer, length, WindowPlace::startOfFile, result);
    if (ends != nullptr) {
        ends->headLength = length < kFileHeadBytes ? length : kFileHeadBytes;
        std::memcpy(ends->head, buffer, ends->headLength);
        ends->size = size;
        ends->tail = buffer;
        ends->tailLength = length;
    }
    if (result.recordNumber != 0 || size <= kScanWholeFileLimit) return kStatusOk;

    // The tail window: every match counts; its offset is within the window.
    status = source.read(source.file, size - kScanWindowLength, buffer, kScanWindowLength);
    if (status != kStatusOk) return status;
    search(db, method, buffer, kScanWindowLength, WindowPlace::insideFile, result);
    if (ends != nullptr) ends->tailLength = kScanWindowLength;
    return kStatusOk;
}
