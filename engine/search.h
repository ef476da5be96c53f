#pragma once
// Searching one window of a file for the loaded records, two ways with
// identical results:
// - searchLiteral: the plain two-pattern byte comparison, position by
//   position and record by record in database order, walking the record area
//   by lengths. It is the reference.
// - searchFast: the same answer through the search table built once at load.
//
// Result rule (both): the lowest position that has a counting match wins, and
// among the records counting there the one stored first. In a window that
// starts at offset 0 of its file, an anchored record (flag bit 0) counts only
// at position 0: found anywhere else it does not count and the search goes on,
// so that a harmless occurrence of it cannot hide a later detection.
#include <cstdint>

#include "base/status.h"
#include "engine/search_table.h"
#include "engine/vps_format.h"

// The detection block the scanner fills.
struct MatchResult {
    uint32_t recordNumber = 0;   // 0 none, else the 1-based position of the record in the database
    uint32_t matchOffset = 0;    // position of the first pattern within the window
    uint16_t recordFlags = 0;    // copied from the record
    const char* virusName = nullptr;  // inside the record area, valid while the database is loaded
};

// Where a window lies in its file.
enum class WindowPlace : uint8_t {
    startOfFile,  // begins at file offset 0: anchored records count only at position 0
    insideFile,   // anywhere else: every match counts
};

// Both searches return 0 and write `result` only on a detection.
Status searchLiteral(const VpsDatabase& db, const uint8_t* window, uint32_t length, WindowPlace place,
                     MatchResult& result);
Status searchFast(const VpsDatabase& db, const uint8_t* window, uint32_t length, WindowPlace place,
                  MatchResult& result);

// Bytes held by the search table (0 when there is none).
uint64_t searchTableSize(const VpsDatabase& db);

// The table's own accounting: all its bytes, the part that does not grow
// with the records (its header, the direct gates, the gate up to the size
// that fits the cache), and the rest per record.
struct SearchTableMemory {
    uint64_t total = 0;
    uint64_t fixed = 0;
    double perRecord = 0;
};
SearchTableMemory searchTableMemory(const VpsDatabase& db);

// The code that walks the search table: the portable one, or the vector one
// of x86-64 hosts with AVX2 (never in the device build). They read the same
// table and give the same results; a table starts with the vector kernel
// where it is available.
enum class SearchKernel : uint8_t { portable, vector };
bool searchKernelAvailable(SearchKernel kernel);
// False, and nothing changed, when there is no table or the kernel is not
// available here.
bool searchTableSetKernel(VpsDatabase& db, SearchKernel kernel);
SearchKernel searchTableKernel(const VpsDatabase& db);
