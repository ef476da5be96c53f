#pragma once
// Which bytes of a file the scanner searches, and how: platform-free, so that
// the device's scanFile and the host's scan tool decide every file alike.
// Files under kScanMinimumSize bytes are clean and unread; up to
// kScanWholeFileLimit a file is one window; a larger one has a head window
// and, when the head finds nothing, a tail window, each kScanWindowLength.
#include <cstdint>

#include "base/status.h"
#include "engine/search.h"

constexpr uint64_t kScanMinimumSize = 8;          // smaller files are clean, unread
constexpr uint64_t kScanWholeFileLimit = 100000;  // up to this size a file is one window
constexpr uint32_t kScanWindowLength = 50000;     // head and tail windows of larger files

// The search a scan uses: the search table (what scanFile uses) or the
// literal comparison (to reproduce a verdict by hand).
enum class ScanMethod : uint8_t { table, literal };

// Reads exactly `length` bytes at `offset` of an open file into `buffer`; 0,
// or the status that ends the file's scan.
struct WindowSource {
    void* file = nullptr;
    Status (*read)(void* file, uint64_t offset, uint8_t* buffer, uint32_t length) = nullptr;
};

// The two ends of a file as the raw scan saw them, for the archive check
// (engine/archive.h): its first bytes, copied, and its last ones (`tail`
// ends at `size`, inside the scan's buffer). When the file fits one window
// the tail is the whole file.
constexpr uint32_t kFileHeadBytes = 64;
struct FileEnds {
    uint8_t head[kFileHeadBytes] = {};
    uint32_t headLength = 0;
    const uint8_t* tail = nullptr;
    uint32_t tailLength = 0;
    uint64_t size = 0;
};

// The bytes scanWindows needs in its buffer for a file of `size` bytes (0:
// the file is not read).
uint32_t scanBufferLength(uint64_t size);

// Searches a file of `size` bytes through `source` with `db`; `buffer` holds
// at least scanBufferLength(size) bytes. 0 when the file was examined
// (result.recordNumber 0 clean, else the detection); otherwise the read's
// status, and recordNumber is 0. With `ends`, a file found clean leaves its
// ends there (a file under kScanMinimumSize bytes has none).
Status scanWindows(const VpsDatabase& db, uint64_t size, const WindowSource& source, uint8_t* buffer,
                   ScanMethod method, MatchResult& result, FileEnds* ends = nullptr);
