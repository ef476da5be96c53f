// The database loader over arbitrary file images. Each input is parsed as
// it is (header, versions, CRC), and once more with its CRC made right, so
// that mutations reach the record walk and the search table behind the CRC.
// Whatever loads is then searched by both searches, which must agree, with
// its search table laid out for its size and grown.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/crc32.h"
#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

void searchKernels(VpsDatabase& db, const uint8_t* window, uint32_t length) {
    for (WindowPlace place : {WindowPlace::startOfFile, WindowPlace::insideFile}) {
        MatchResult literal;
        searchLiteral(db, window, length, place, literal);
        for (SearchKernel kernel : {SearchKernel::portable, SearchKernel::vector}) {
            if (!searchTableSetKernel(db, kernel)) continue;  // no vector kernel on this machine
            MatchResult fast;
            searchFast(db, window, length, place, fast);
            if (literal.recordNumber != fast.recordNumber) __builtin_trap();
            if (literal.recordNumber != 0 &&
                (literal.matchOffset != fast.matchOffset || literal.virusName != fast.virusName)) {
                __builtin_trap();
            }
        }
    }
}

// Both searches, with the table laid out for the database's size and
// grown (the gate and kernels of a large database).
void searchBoth(VpsDatabase& db, const uint8_t* window, uint32_t length) {
    searchKernels(db, window, length);
    searchTableFree(db);
    if (searchTableBuild(db, SearchTableLayout::grown) != kStatusOk) __builtin_trap();
    searchKernels(db, window, length);
    searchTableFree(db);
    if (searchTableBuild(db) != kStatusOk) __builtin_trap();
}

void parseAndSearch(const uint8_t* image, size_t size) {
    VpsDatabase db;
    const Status status = vpsParseImage(image, size, db);
    if (status == kStatusOk) {
        if (db.recordArea == nullptr) __builtin_trap();
        // The record area itself makes a window full of the records' patterns.
        const uint32_t length = db.recordAreaLength < 2048 ? static_cast<uint32_t>(db.recordAreaLength) : 2048;
        searchBoth(db, db.recordArea, length);
        searchBoth(db, image, size < 2048 ? static_cast<uint32_t>(size) : 2048);
    } else if (db.recordArea != nullptr || db.searchTable != nullptr) {
        __builtin_trap();  // a refused image leaves nothing loaded
    }
    vpsRelease(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parseAndSearch(data, size);

    const void* zero = std::memchr(data, 0, size);
    if (zero == nullptr) return 0;
    const size_t t = static_cast<size_t>(static_cast<const uint8_t*>(zero) - data);
    if (size - (t + 1) < kVpsHeaderFieldsLength) return 0;
    // A copy of exactly the input's size, with version 1 and a right CRC.
    uint8_t* fixed = static_cast<uint8_t*>(std::malloc(size));
    std::memcpy(fixed, data, size);
    fixed[t + 1] = 1;
    fixed[t + 2] = 0;
    std::memset(fixed + t + 5, 0, 4);
    const uint32_t crc = crc32(fixed, size, 0);
    for (int i = 0; i < 4; ++i) fixed[t + 5 + i] = static_cast<uint8_t>(crc >> (8 * i));
    parseAndSearch(fixed, size);
    std::free(fixed);
    return 0;
}
