// The search rules, each checked through both the literal search and the
// search table: tie-break, anchoring, window edges, second patterns.
#include "engine/search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/tests/test_db.h"

namespace {

struct Expected {
    uint32_t recordNumber;
    uint32_t matchOffset;
};

// Runs both searches and checks that they agree with the expected detection
// (recordNumber 0: none, and the result block left untouched).
void expectBoth(VpsDatabase& db, const std::vector<uint8_t>& window, WindowPlace place, Expected expected,
                const char* what) {
    const std::vector<SearchKernel> kernels = availableKernels();
    const size_t methods = 1 + 2 * kernels.size();  // literal, then each kernel of each layout
    for (size_t method = 0; method < methods; ++method) {
        const SearchKernel kernel = method == 0 ? SearchKernel::portable : kernels[(method - 1) % kernels.size()];
        const SearchTableLayout layout = method == 0 ? SearchTableLayout::bySize : kLayouts[(method - 1) / kernels.size()];
        if (method > 0 && db.searchTable != nullptr) {
            if ((method - 1) % kernels.size() == 0) {
                searchTableFree(db);
                ASSERT_EQ(searchTableBuild(db, layout), kStatusOk);
            }
            ASSERT_TRUE(searchTableSetKernel(db, kernel));
        }
        SCOPED_TRACE(std::string(what) + (method == 0 ? " [literal]"
                                                      : std::string(" [table ") + layoutName(layout) + ", " +
                                                            kernelName(kernel) + "]"));
        MatchResult result;
        result.recordNumber = 0;
        result.matchOffset = 0xABCD;
        result.recordFlags = 0x5555;
        result.virusName = "untouched";
        const Status status = method == 0
                                  ? searchLiteral(db, window.data(), static_cast<uint32_t>(window.size()), place, result)
                                  : searchFast(db, window.data(), static_cast<uint32_t>(window.size()), place, result);
        EXPECT_EQ(status, kStatusOk);
        EXPECT_EQ(result.recordNumber, expected.recordNumber);
        if (expected.recordNumber == 0) {
            EXPECT_EQ(result.matchOffset, 0xABCDu);
            EXPECT_EQ(result.recordFlags, 0x5555);
            EXPECT_STREQ(result.virusName, "untouched");
        } else {
            EXPECT_EQ(result.matchOffset, expected.matchOffset);
        }
    }
}

std::vector<uint8_t> windowWith(size_t length, std::initializer_list<std::pair<size_t, std::string>> placed) {
    std::vector<uint8_t> w(length, '.');
    for (const auto& [at, text] : placed) std::memcpy(w.data() + at, text.data(), text.size());
    return w;
}

TEST(SearchTest, LowestPositionWinsThenDatabaseOrder) {
    TestDb t;
    loadSignatures(t, {sig("A", "AAAAAAAAAA"), sig("B", "BBBBBBBBBB"), sig("C", "BBBBBBBB"), sig("D", "BBBBB")});
    auto w = windowWith(1000, {{500, "AAAAAAAAAA"}, {200, "BBBBBBBBBB"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {2, 200}, "the match at 200 beats the earlier record at 500");
    // At 200, B, C and D all match: the first stored of them is reported.
    w = windowWith(1000, {{200, "BBBBBBBB"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {3, 200}, "C is the first record matching 8 Bs");
    w = windowWith(1000, {{200, "BBBBB"}, {300, "AAAAAAAAAA"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {4, 200}, "only D matches at 200");
}

TEST(SearchTest, ResultNamesTheRecordInsideTheArea) {
    TestDb t;
    loadSignatures(t, {sig("First.Virus", "xyz"), sig2("Second.Virus", "MZ", 3, "PE", 0x8001)});
    const auto w = windowWith(64, {{10, "MZ"}, {15, "PE"}});
    MatchResult r;
    ASSERT_EQ(searchFast(t.db, w.data(), 64, WindowPlace::insideFile, r), kStatusOk);
    EXPECT_EQ(r.recordNumber, 2u);
    EXPECT_EQ(r.matchOffset, 10u);
    EXPECT_EQ(r.recordFlags, 0x8001);
    EXPECT_STREQ(r.virusName, "Second.Virus");
    EXPECT_GE(reinterpret_cast<const uint8_t*>(r.virusName), t.db.recordArea);
    EXPECT_LT(reinterpret_cast<const uint8_t*>(r.virusName), t.db.recordArea + t.db.recordAreaLength);
    MatchResult literal;
    searchLiteral(t.db, w.data(), 64, WindowPlace::insideFile, literal);
    EXPECT_EQ(literal.virusName, r.virusName);
}

TEST(SearchTest, AnchoredRecordsCountOnlyAtTheStartOfTheFile) {
    TestDb t;
    loadSignatures(t, {sig("Anchored", "HEADER!!", kVpsFlagAnchored), sig("Plain", "PAYLOAD!")});
    auto w = windowWith(100, {{0, "HEADER!!"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {1, 0}, "anchored at offset 0");
    w = windowWith(100, {{10, "HEADER!!"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {0, 0}, "anchored at 10 of the head window does not count");
    expectBoth(t.db, w, WindowPlace::insideFile, {1, 10}, "in a tail window any match counts");
}

TEST(SearchTest, AnAnchoredMatchElsewhereDoesNotHideALaterDetection) {
    TestDb t;
    loadSignatures(t, {sig("Anchored", "HEADER!!", kVpsFlagAnchored), sig("Plain", "PAYLOAD!")});
    // The masking case: a harmless occurrence of the anchored pattern at 10
    // must not make the file clean when the real virus sits at 20.
    auto w = windowWith(200, {{10, "HEADER!!"}, {20, "PAYLOAD!"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {2, 20}, "masking case");
    // The search goes on at the same position too: a later record at 10.
    TestDb same;
    loadSignatures(same, {sig("Anchored", "HEADER!!", kVpsFlagAnchored), sig("Plain", "HEADER")});
    w = windowWith(200, {{10, "HEADER!!"}});
    expectBoth(same.db, w, WindowPlace::startOfFile, {2, 10}, "a non-anchored record at the same position");
    expectBoth(same.db, w, WindowPlace::insideFile, {1, 10}, "without anchoring the first record wins");
    // An anchored match at 0 still beats everything after it.
    w = windowWith(200, {{0, "HEADER!!"}, {10, "HEADER!!"}});
    expectBoth(same.db, w, WindowPlace::startOfFile, {1, 0}, "anchored at 0 with a copy further on");
    // Many anchored occurrences and nothing else: clean.
    w = windowWith(300, {{1, "HEADER!!"}, {50, "HEADER!!"}, {250, "HEADER!!"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {0, 0}, "only anchored matches away from 0");
}

TEST(SearchTest, WindowEdges) {
    TestDb t;
    loadSignatures(t, {sig("Ten", "0123456789"), sig("One", "#")});
    auto w = windowWith(50, {{40, "0123456789"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {1, 40}, "pattern ending at the last byte");
    w = windowWith(50, {{41, "012345678"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "pattern cut by the end of the window");
    w = windowWith(10, {{0, "0123456789"}});
    expectBoth(t.db, w, WindowPlace::startOfFile, {1, 0}, "pattern filling the window");
    w = windowWith(50, {{49, "#"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {2, 49}, "one-byte pattern at the last byte");
    w = windowWith(1, {{0, "#"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {2, 0}, "one-byte window");
    w.clear();
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "empty window");
}

TEST(SearchTest, SecondPatternMustLieWhollyInsideTheWindow) {
    TestDb t;
    // s = p + n + offset: forward +5, backward -12 (before the first pattern).
    loadSignatures(t, {sig2("Fwd", "FIRST", 5, "SEC"), sig2("Back", "after", -12, "before")});
    auto w = windowWith(100, {{10, "FIRST"}, {20, "SEC"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {1, 10}, "second pattern at its distance");
    w = windowWith(100, {{10, "FIRST"}, {21, "SEC"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "second pattern one byte off");
    w = windowWith(23, {{10, "FIRST"}, {20, "SEC"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {1, 10}, "second pattern ending at the window's end");
    w = windowWith(22, {{10, "FIRST"}, {20, "SE"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "second pattern would end after the window");

    w = windowWith(100, {{7, "before"}, {14, "after"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {2, 14}, "negative offset: second pattern before the first");
    w = windowWith(100, {{0, "before"}, {7, "after"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {2, 7}, "negative offset reaching offset 0 exactly");
    w = windowWith(100, {{0, "efore"}, {6, "after"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "second pattern would begin before the window");
}

TEST(SearchTest, PatternsThatOverlapAndShareBytes) {
    TestDb t;
    // The second pattern may overlap the first (offset -n starts it at p).
    loadSignatures(t, {sig2("Overlap", "ABCD", -4, "AB"), sig2("Adjacent", "XY", 0, "Z"), sig("Plain", "ABCDE")});
    auto w = windowWith(30, {{5, "ABCDE"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {1, 5}, "second pattern inside the first");
    w = windowWith(30, {{3, "XYZ"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {2, 3}, "second pattern right after the first");
    w = windowWith(30, {{3, "XY"}, {6, "Z"}});
    expectBoth(t.db, w, WindowPlace::insideFile, {0, 0}, "not right after");
}

TEST(SearchTest, RecordsOfEveryPatternLength) {
    // One record per first-pattern length, 1 to 40, sharing their first
    // byte; each is found alone where it is placed, and the shortest wins
    // where several match.
    std::vector<Signature> sigs;
    std::string text = "Q";
    for (int n = 1; n <= 40; ++n) {
        sigs.push_back(sig("Len" + std::to_string(n), text));
        text += static_cast<char>('a' + n % 26);
    }
    TestDb t;
    loadSignatures(t, sigs);
    for (int n = 40; n >= 1; --n) {
        std::vector<uint8_t> w(200, '.');
        std::memcpy(w.data() + 150 - n, sigs[n - 1].first.data(), n);
        expectBoth(t.db, w, WindowPlace::insideFile, {1, static_cast<uint32_t>(150 - n)}, "Len1 is stored first");
    }
    TestDb reversed;
    loadSignatures(reversed, std::vector<Signature>(sigs.rbegin(), sigs.rend()));
    for (int n = 1; n <= 40; ++n) {
        std::vector<uint8_t> w(200, '.');
        std::memcpy(w.data() + 3, sigs[n - 1].first.data(), n);
        expectBoth(reversed.db, w, WindowPlace::insideFile, {static_cast<uint32_t>(41 - n), 3},
                   "the longest matching record is stored first");
    }
}

TEST(SearchTest, NothingLoadedFindsNothing) {
    VpsDatabase none;
    const auto w = windowWith(64, {{0, "anything"}});
    expectBoth(none, w, WindowPlace::startOfFile, {0, 0}, "no database");
    TestDb empty;
    loadSignatures(empty, {});
    EXPECT_EQ(empty.db.recordCount, 0u);
    expectBoth(empty.db, w, WindowPlace::startOfFile, {0, 0}, "no records");
}

}  // namespace
