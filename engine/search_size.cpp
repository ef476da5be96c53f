#include "engine/search_size.h"

namespace {

// Every part starts on a cache line: the gate's 64-byte blocks must be lines.
constexpr uint64_t kLine = 64;

uint64_t alignLine(uint64_t bytes) { return (bytes + kLine - 1) & ~(kLine - 1); }

// The exponent of the power of two nearest to x (x >= 1), nearest as a
// ratio: between 2^k and 2^(k+1) the boundary is 2^k times the root of 2.
uint32_t log2Nearest(double x) {
    uint32_t k = 0;
    while (k < 62 && static_cast<double>(uint64_t{2} << k) <= x) ++k;
    return x >= static_cast<double>(uint64_t{1} << k) * 1.4142135623730951 ? k + 1 : k;
}

uint32_t log2Floor(uint64_t x) {
    uint32_t k = 0;
    while (k < 63 && (uint64_t{2} << k) <= x) ++k;
    return k;
}

// The gate that the hashed grams would like: as many bits per gram as at
// 10,000 records while that fits the cache, else about kSearchGateGrownBits
// each (the nearest power of two: 11 to 23).
uint64_t wantedGateBytes(uint64_t hashedGrams, bool forceGrown) {
    if (hashedGrams == 0) return 0;
    uint64_t cached = uint64_t{1} << log2Nearest(static_cast<double>(hashedGrams) * kSearchGateCachedBits / 8);
    if (cached > kSearchGateCachedBytes) cached = kSearchGateCachedBytes;
    if (forceGrown) cached = 0;
    const uint64_t grown = uint64_t{1} << log2Nearest(static_cast<double>(hashedGrams) * kSearchGateGrownBits / 8);
    const uint64_t wanted = cached > grown ? cached : grown;
    return wanted < kLine ? kLine : wanted;
}

// Everything but the gate, for the strides chosen so far.
uint64_t sizeClasses(SearchTableSize& size, uint64_t records, uint64_t headerBytes, uint64_t& hashedGrams) {
    uint64_t total = alignLine(headerBytes) + kLine;  // and the slack that aligns the allocation
    hashedGrams = 0;
    for (SearchClassSize& cls : size.classes) {
        if (cls.stride == 0) continue;
        const uint64_t grams = cls.grams;
        const double buckets = static_cast<double>(grams) / kSearchGramsPerBucket;
        cls.bucketBits = buckets < 2 ? 1 : log2Nearest(buckets);
        cls.bucketBytes = alignLine(((uint64_t{1} << cls.bucketBits) + 1) * 4);
        cls.entryBytes = alignLine((grams + kSearchSpareEntries) * kSearchEntryBytes);
        cls.directGateBytes = cls.gramLength <= 2 ? alignLine((uint64_t{1} << (8 * cls.gramLength)) / 8) : 0;
        if (cls.gramLength >= 3) hashedGrams += grams;
        total += cls.bucketBytes + cls.entryBytes + cls.directGateBytes;
    }
    size.recordIndexBytes = alignLine((records / kSearchRecordIndexStep + 1) * 4);
    return total + size.recordIndexBytes;
}

}  // namespace

SearchTableSize searchTableSizeFor(const SearchClassCount (&counts)[kSearchClassCount], uint64_t records,
                                   uint64_t headerBytes, bool forceGrown) {
    SearchTableSize size;
    for (int c = 0; c < kSearchClassCount; ++c) {
        if (counts[c].records == 0) continue;
        SearchClassSize& cls = size.classes[c];
        cls.gramLength = c < 3 ? static_cast<uint32_t>(c + 1) : 4;
        const uint32_t stride = counts[c].shortest - cls.gramLength + 1;
        cls.stride = stride > kSearchMaxStride ? kSearchMaxStride : stride;
        cls.prefixLength = counts[c].shortest < 8 ? counts[c].shortest : 8;
        cls.grams = counts[c].records * cls.stride;
    }
    const uint64_t budget = records * kSearchTableBytesPerRecord + kSearchTableFixedBytes;
    uint64_t others = 0, hashedGrams = 0, gate = 0;
    for (;;) {
        others = sizeClasses(size, records, headerBytes, hashedGrams);
        gate = wantedGateBytes(hashedGrams, forceGrown);
        const uint64_t room = budget > others ? budget - others : 0;
        while (gate > room && gate > kLine) gate /= 2;
        if (hashedGrams == 0 || gate * 8 >= hashedGrams * kSearchGateLeastBits) break;
        // Too little room for a useful gate: the class with the most grams
        // looks at a position in fewer, and indexes fewer grams per record.
        SearchClassSize* widest = nullptr;
        for (int c = 0; c < kSearchClassCount; ++c) {
            SearchClassSize& cls = size.classes[c];
            if (cls.stride > 1 && (widest == nullptr || cls.grams > widest->grams)) widest = &cls;
        }
        if (widest == nullptr) break;
        --widest->stride;
        widest->grams = counts[widest - size.classes].records * widest->stride;
    }
    size.gateBytes = gate;
    size.gateBits = gate == 0 ? 0 : log2Floor(gate / 4);
    size.grown = gate > kSearchGateCachedBytes || (forceGrown && gate != 0);
    size.total = others + gate;
    size.fixed = alignLine(headerBytes) + kLine + (gate < kSearchGateCachedBytes ? gate : kSearchGateCachedBytes);
    for (const SearchClassSize& cls : size.classes) size.fixed += cls.directGateBytes;
    return size;
}
