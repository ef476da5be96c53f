#pragma once
// How large each part of the search table is (engine/search.cpp), from the
// number of records in each class and the grams they index. Platform-free,
// so that the rule is tested natively and the device and the host size
// their tables alike.
//
// The rule: the gate keeps about as many bits per gram as at 10,000 records
// while it fits the second-level cache (kSearchGateCachedBytes); beyond that
// it grows with the grams at about kSearchGateGrownBits bits each, so that
// the share of grams it lets through stays small while it stays within the
// last-level cache (8 MB at a million records of the benchmark's shape). Buckets hold about kSearchGramsPerBucket entries. The
// whole table stays within kSearchTableBytesPerRecord bytes per record plus
// kSearchTableFixedBytes: when it would not, the largest class samples with
// a shorter stride (fewer grams per record) first, then the gate shrinks.
#include <cstdint>

constexpr int kSearchClassCount = 5;  // first patterns of 1, 2, 3, 4..7, 8 and more bytes
constexpr uint32_t kSearchMaxStride = 8;

constexpr uint64_t kSearchTableBytesPerRecord = 64;
constexpr uint64_t kSearchTableFixedBytes = 1u << 20;
constexpr uint64_t kSearchGateCachedBytes = 512u << 10;
constexpr uint32_t kSearchGateCachedBits = 84;  // bits per gram of a gate within kSearchGateCachedBytes
constexpr uint32_t kSearchGateGrownBits = 16;   // ... of a larger one
constexpr uint32_t kSearchGateLeastBits = 10;   // a stride is shortened before the gate gets fewer
constexpr uint32_t kSearchGramsPerBucket = 4;
constexpr uint32_t kSearchRecordIndexStep = 64;  // every 64th record's offset is indexed

// What the first walk over the records finds for one class.
struct SearchClassCount {
    uint64_t records = 0;
    uint32_t shortest = 255;  // the shortest first pattern
};

struct SearchClassSize {
    uint32_t gramLength = 0;    // q
    uint32_t stride = 0;        // s: one window position in s is looked at
    uint32_t prefixLength = 0;  // the first bytes of every first pattern that an entry's key hashes
    uint64_t grams = 0;         // entries: records x stride
    uint32_t bucketBits = 0;    // 2^bucketBits buckets
    uint64_t directGateBytes = 0;  // grams of 1 or 2 bytes: one bit per gram value
    uint64_t bucketBytes = 0;
    uint64_t entryBytes = 0;
};

struct SearchTableSize {
    SearchClassSize classes[kSearchClassCount];
    uint32_t gateBits = 0;  // the shared gate of hashed grams: 2^gateBits 32-bit words (0: none)
    uint64_t gateBytes = 0;
    uint64_t recordIndexBytes = 0;
    bool grown = false;  // the gate is sized per gram past the cache: the kernels make both tests before a branch
    uint64_t total = 0;  // headerBytes included
    uint64_t fixed = 0;  // the part that does not grow with the records: header, direct gates, the cached gate
};

// Bytes of one entry (its key and its record's offset).
constexpr uint64_t kSearchEntryBytes = 8;
// Entries past a class's last, never matched: the search reads a bucket's
// entries in blocks that may run past its end.
constexpr uint64_t kSearchSpareEntries = 16;

// The table for `counts` (records per class, in the order of the classes
// above) of a database of `records` records; `headerBytes` is the table's
// own header. `forceGrown` sizes the gate as a grown one whatever the
// number of grams (tests and fuzzers take small databases through the code
// of large ones with it).
SearchTableSize searchTableSizeFor(const SearchClassCount (&counts)[kSearchClassCount], uint64_t records,
                                   uint64_t headerBytes, bool forceGrown = false);

// The class of a first pattern of n bytes (n >= 1).
inline int searchClassOf(uint32_t n) {
    if (n >= 8) return 4;
    if (n >= 4) return 3;
    return static_cast<int>(n) - 1;
}

// The classes of one database's entries. Every class is a scan of its own
// over each window, and the scan of the class of 4 to 7 bytes samples at
// least as densely as that of 8 and more: when its shortest entry has at
// least kSearchJoinShortest bytes, the longer entries join it, so that a
// window is scanned once at its stride instead of twice (their keys then
// hash at least that many bytes).
constexpr uint32_t kSearchJoinShortest = 6;

struct SearchClassMap {
    bool longJoinShort = false;
    int of(uint32_t n) const {
        const int c = searchClassOf(n);
        return c == 4 && longJoinShort ? 3 : c;
    }
};

// From the shortest entry of each class (255 for none), as searchClassOf
// sorts them.
inline SearchClassMap searchClassMapFor(const uint32_t (&shortest)[kSearchClassCount]) {
    SearchClassMap map;
    map.longJoinShort = shortest[3] != 255 && shortest[3] >= kSearchJoinShortest && shortest[4] != 255;
    return map;
}
