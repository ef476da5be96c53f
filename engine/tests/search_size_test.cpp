// The sizing rule of the search table: the gate keeps its bits per gram
// while it fits the cache and then grows with the grams, and the whole table
// stays within 64 bytes per record and a fixed megabyte, whatever the shape
// of the database.
#include "engine/search_size.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr uint64_t kHeader = 512;  // about the table's own header

struct Census {
    SearchClassCount classes[kSearchClassCount];
    uint64_t records = 0;
};

// `records` records whose first patterns are `shortest` bytes or more.
Census census(std::initializer_list<std::pair<uint32_t, uint64_t>> shortestAndRecords) {
    Census c;
    for (const auto& [shortest, records] : shortestAndRecords) {
        SearchClassCount& cls = c.classes[searchClassOf(shortest)];
        cls.records += records;
        if (shortest < cls.shortest) cls.shortest = shortest;
        c.records += records;
    }
    return c;
}

uint64_t hashedGrams(const SearchTableSize& size) {
    uint64_t grams = 0;
    for (const SearchClassSize& cls : size.classes) grams += cls.gramLength >= 3 ? cls.grams : 0;
    return grams;
}

TEST(SearchSizeTest, TheGateKeepsItsBitsPerGramInTheCacheThenGrowsWithTheGrams) {
    struct Case {
        uint64_t records;   // of first patterns of 8 bytes and more (the benchmark's shape)
        uint64_t gateBytes;
        bool grown;
    };
    const Case cases[] = {
        {100, 4u << 10, false},      // 500 grams at about 84 bits each (the nearest power of two: 66)
        {10000, 512u << 10, false},  // 50,000 grams: the largest gate that stays in the cache
        {40000, 512u << 10, false},  // fewer bits per gram, still no more than the cache
        {100000, 1u << 20, true},    // 500,000 grams at about 16 bits each
        {1000000, 8u << 20, true},   // 5 million grams: 13 bits each
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.records) + " records");
        const Census shape = census({{8, c.records}});
        const SearchTableSize size = searchTableSizeFor(shape.classes, shape.records, kHeader);
        EXPECT_EQ(size.classes[4].stride, 5u);
        EXPECT_EQ(size.classes[4].prefixLength, 8u);
        EXPECT_EQ(size.classes[4].grams, c.records * 5);
        EXPECT_EQ(size.gateBytes, c.gateBytes);
        EXPECT_EQ(uint64_t{4} << size.gateBits, c.gateBytes);
        EXPECT_EQ(size.grown, c.grown);
        // About four entries to a bucket.
        const double perBucket = static_cast<double>(size.classes[4].grams) / (uint64_t{1} << size.classes[4].bucketBits);
        EXPECT_GE(perBucket, 2.8);
        EXPECT_LE(perBucket, 5.7);
    }
}

TEST(SearchSizeTest, EveryShapeStaysWithinItsBudget) {
    struct Case {
        const char* what;
        Census shape;
    };
    const Case cases[] = {
        {"one record", census({{8, 1}})},
        {"the benchmark's shape, 100,000", census({{8, 100000}})},
        {"the benchmark's shape, 1,000,000", census({{8, 1000000}})},
        {"the benchmark's shape, 10,000,000", census({{8, 10000000}})},
        {"long patterns: eight grams a record", census({{11, 2000000}})},
        {"every class", census({{1, 50}, {2, 3000}, {3, 200000}, {5, 300000}, {8, 500000}})},
        {"four-byte patterns, one gram a record", census({{4, 3000000}})},
        {"grams of one and two bytes only", census({{1, 200}, {2, 400000}})},
        {"a few long patterns", census({{40, 700}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SearchTableSize size = searchTableSizeFor(c.shape.classes, c.shape.records, kHeader);
        EXPECT_LE(size.total, c.shape.records * kSearchTableBytesPerRecord + kSearchTableFixedBytes);
        EXPECT_LE(size.fixed, kSearchTableFixedBytes);
        EXPECT_LE(size.fixed, size.total);
        uint64_t parts = size.gateBytes + size.recordIndexBytes;
        for (const SearchClassSize& cls : size.classes) {
            parts += cls.directGateBytes + cls.bucketBytes + cls.entryBytes;
            if (cls.grams == 0) continue;
            EXPECT_GE(cls.stride, 1u);
            EXPECT_LE(cls.stride, kSearchMaxStride);
            EXPECT_EQ(cls.entryBytes % 64, 0u);  // every part starts on a cache line
            EXPECT_GE(cls.entryBytes, cls.grams * kSearchEntryBytes);
            EXPECT_LE(cls.prefixLength, 8u);
        }
        EXPECT_LE(parts, size.total);
        EXPECT_GE(size.gateBits, hashedGrams(size) == 0 ? 0u : 4u);  // at least one 64-byte block
    }
}

TEST(SearchSizeTest, AStrideShortensBeforeTheGateGetsTooFewBitsPerGram) {
    // Patterns of 11 bytes and more: eight grams a record would leave the
    // gate too little room at two million records, so the stride gives way;
    // at ten thousand the fixed part holds them all.
    const Census large = census({{11, 2000000}});
    const SearchTableSize grown = searchTableSizeFor(large.classes, large.records, kHeader);
    EXPECT_LT(grown.classes[4].stride, 8u);
    EXPECT_GE(grown.gateBytes * 8, hashedGrams(grown) * kSearchGateLeastBits);

    const Census small = census({{11, 10000}});
    EXPECT_EQ(searchTableSizeFor(small.classes, small.records, kHeader).classes[4].stride, 8u);
}

TEST(SearchSizeTest, AGrownLayoutCanBeAskedForAtAnySize) {
    const Census shape = census({{8, 200}, {3, 10}, {2, 5}});
    const SearchTableSize bySize = searchTableSizeFor(shape.classes, shape.records, kHeader);
    const SearchTableSize grown = searchTableSizeFor(shape.classes, shape.records, kHeader, true);
    EXPECT_FALSE(bySize.grown);
    EXPECT_TRUE(grown.grown);
    // 1,010 hashed grams at about 16 bits each: 2 KB, against 8 KB by size.
    EXPECT_EQ(grown.gateBytes, 2048u);
    EXPECT_EQ(bySize.gateBytes, 8192u);
    // Grams of two bytes have an exact gate in either layout.
    EXPECT_EQ(grown.classes[1].directGateBytes, 8192u);

    const Census direct = census({{1, 10}, {2, 10}});
    EXPECT_FALSE(searchTableSizeFor(direct.classes, direct.records, kHeader, true).grown);  // nothing is hashed
}

TEST(SearchSizeTest, LongEntriesJoinTheClassOfSixAndSevenBytes) {
    struct Case {
        const char* what;
        uint32_t shortestFourToSeven, shortestEightAndMore;  // 255: no such entries
        bool joined;
    };
    const Case cases[] = {
        {"entries of 6 bytes and of 8 and more", 6, 8, true},
        {"entries of 7 bytes and of 12 and more", 7, 12, true},
        {"entries of 5 bytes: a denser scan would cost the long ones more", 5, 8, false},
        {"entries of 4 bytes", 4, 9, false},
        {"only entries of 6 and 7 bytes", 6, 255, false},
        {"only entries of 8 bytes and more", 255, 8, false},
    };
    for (const Case& c : cases) {
        const uint32_t shortest[kSearchClassCount] = {255, 255, 255, c.shortestFourToSeven, c.shortestEightAndMore};
        const SearchClassMap map = searchClassMapFor(shortest);
        EXPECT_EQ(map.longJoinShort, c.joined) << c.what;
        EXPECT_EQ(map.of(8), c.joined ? 3 : 4) << c.what;
        EXPECT_EQ(map.of(6), 3) << c.what;
        EXPECT_EQ(map.of(2), 1) << c.what;
    }
}

}  // namespace
