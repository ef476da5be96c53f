// The search table must give exactly the literal search's result, for every
// database and window. Thousands of random databases over small alphabets
// (so that patterns share first bytes and collide), random windows with
// patterns planted at random places, at the window's edges and with their
// second patterns, both window places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/search.h"
#include "engine/search_entry.h"
#include "engine/tests/test_db.h"

namespace {

struct Shape {
    const char* what;
    int minFirst;
    int maxFirst;
    int maxRecords;
    int alphabet;
};

class RandomCase {
public:
    explicit RandomCase(uint32_t seed) : random_(seed) {}

    uint32_t below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(random_() % n); }

    uint8_t symbol(int alphabet) {
        static const uint8_t kSymbols[] = {'a', 0x00, 0xFF, 'b', 'c', 0x80, 'd', 'e'};
        return kSymbols[below(static_cast<uint32_t>(alphabet))];
    }

    std::vector<Signature> database(const Shape& shape) {
        std::vector<Signature> sigs(1 + below(shape.maxRecords));
        for (size_t i = 0; i < sigs.size(); ++i) {
            Signature& s = sigs[i];
            s.name = "R" + std::to_string(i + 1);
            // Short patterns are favoured so that they actually occur.
            const int span = shape.maxFirst - shape.minFirst + 1;
            const int n = shape.minFirst + static_cast<int>(below(span) * below(span) / span);
            for (int k = 0; k < n; ++k) s.first.push_back(symbol(shape.alphabet));
            s.flags = below(4) == 0 ? kVpsFlagAnchored : static_cast<uint16_t>(below(3) << 1);
            if (below(2) == 0) {
                const int m = 1 + below(4);
                for (int k = 0; k < m; ++k) s.second.push_back(symbol(shape.alphabet));
                s.secondOffset = static_cast<int32_t>(below(40)) - 20 - (below(4) == 0 ? n : 0);
            }
            // Duplicates of an earlier record's pattern test the tie-break.
            if (i > 0 && below(6) == 0) s.first = sigs[below(static_cast<uint32_t>(i))].first;
        }
        return sigs;
    }

    std::vector<uint8_t> window(const std::vector<Signature>& sigs, const Shape& shape, uint32_t length) {
        std::vector<uint8_t> w(length);
        for (uint8_t& b : w) b = symbol(shape.alphabet);
        if (length == 0) return w;
        const uint32_t plants = below(6);
        for (uint32_t k = 0; k < plants; ++k) {
            const Signature& s = sigs[below(static_cast<uint32_t>(sigs.size()))];
            const int64_t n = static_cast<int64_t>(s.first.size());
            int64_t p;
            switch (below(4)) {
                case 0: p = 0; break;
                case 1: p = static_cast<int64_t>(length) - n; break;  // ending at the window's end
                default: p = below(length); break;
            }
            put(w, p, s.first);
            if (!s.second.empty()) put(w, p + n + s.secondOffset, s.second);
        }
        return w;
    }

private:
    static void put(std::vector<uint8_t>& w, int64_t at, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const int64_t k = at + static_cast<int64_t>(i);
            if (k >= 0 && k < static_cast<int64_t>(w.size())) w[static_cast<size_t>(k)] = bytes[i];
        }
    }

    std::mt19937 random_;
};

// One database loaded twice: its table laid out for its size, and grown.
struct BothLayouts {
    TestDb bySize, grown;
    explicit BothLayouts(const std::vector<Signature>& sigs) {
        loadSignatures(bySize, sigs);
        loadSignatures(grown, sigs);
        rebuildTable(grown, SearchTableLayout::grown);
    }
};

// Both places, through every kernel of the table this machine runs, in
// both layouts of the table.
void compare(BothLayouts& t, const std::vector<uint8_t>& w, uint32_t seed, int& detections) {
    for (WindowPlace place : {WindowPlace::startOfFile, WindowPlace::insideFile}) {
        MatchResult literal;
        searchLiteral(t.bySize.db, w.data(), static_cast<uint32_t>(w.size()), place, literal);
        if (literal.recordNumber != 0) ++detections;
        for (TestDb* test : {&t.bySize, &t.grown}) {
            VpsDatabase& db = test->db;
            const char* layout = test == &t.grown ? "grown" : "by size";
            for (SearchKernel kernel : availableKernels()) {
                ASSERT_TRUE(searchTableSetKernel(db, kernel));
                MatchResult fast;
                searchFast(db, w.data(), static_cast<uint32_t>(w.size()), place, fast);
                ASSERT_EQ(fast.recordNumber, literal.recordNumber)
                    << "seed " << seed << " length " << w.size() << " kernel " << kernelName(kernel) << ", " << layout;
                if (literal.recordNumber == 0) continue;
                ASSERT_EQ(fast.matchOffset, literal.matchOffset) << "seed " << seed << " kernel " << kernelName(kernel) << ", " << layout;
                ASSERT_EQ(fast.recordFlags, literal.recordFlags) << "seed " << seed;
                ASSERT_EQ(fast.virusName - reinterpret_cast<const char*>(db.recordArea),
                          literal.virusName - reinterpret_cast<const char*>(t.bySize.db.recordArea))
                    << "seed " << seed;
            }
        }
    }
}

TEST(SearchDifferentialTest, TableEqualsLiteralOnRandomDatabases) {
    const Shape shapes[] = {
        {"one- to three-byte patterns", 1, 3, 12, 3},
        {"every class", 1, 20, 40, 3},
        {"four to seven bytes", 4, 7, 30, 2},
        {"eight bytes and more", 8, 24, 60, 2},
        {"long patterns, wide alphabet", 10, 60, 30, 8},
        {"many records sharing a first byte", 2, 12, 120, 2},
        // Sampled classes next to each other: a match found by one class
        // bounds the others, which must still see matches just before it.
        {"four to twelve bytes, two symbols", 4, 12, 24, 2},
        {"seven to ten bytes, two symbols", 7, 10, 16, 2},
        // Dozens of records behind one gram at one offset: the table searches
        // such a group by first pattern instead of record by record.
        {"large groups of eight to sixteen bytes", 8, 16, 200, 2},
        {"large groups of four to six bytes", 4, 6, 150, 2},
    };
    int detections = 0, windows = 0;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        for (uint32_t seed = 1; seed <= 400; ++seed) {
            RandomCase random(seed * 7919u + static_cast<uint32_t>(shape.maxFirst));
            const std::vector<Signature> sigs = random.database(shape);
            BothLayouts t(sigs);
            for (int k = 0; k < 8; ++k) {
                const uint32_t length = k == 0 ? random.below(4) : random.below(400);
                compare(t, random.window(sigs, shape, length), seed, detections);
                ++windows;
                if (HasFatalFailure()) return;
            }
        }
    }
    // The planted patterns must make most windows detections, or the test
    // would compare mostly empty answers.
    EXPECT_GT(detections, windows / 2) << detections << " detections in " << windows << " windows";
}

TEST(SearchDifferentialTest, TableEqualsLiteralOnFullSizeWindows) {
    // Windows of the scanner's real sizes, with records of eight bytes and
    // more sampled sparsely by the table: a match must not be missed at any
    // residue of its position.
    const Shape shape = {"scanner-sized windows", 8, 40, 200, 8};
    int detections = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        RandomCase random(seed);
        const std::vector<Signature> sigs = random.database(shape);
        BothLayouts t(sigs);
        for (uint32_t length : {50000u, 100000u, 8u}) {
            std::vector<uint8_t> w(length);
            for (uint8_t& b : w) b = static_cast<uint8_t>(random.below(256));
            // One record planted late, at a position of each residue class.
            const Signature& s = sigs[random.below(static_cast<uint32_t>(sigs.size()))];
            const uint32_t at = length > 64 ? length - 64 + random.below(40) : 0;
            for (size_t i = 0; i < s.first.size() && at + i < length; ++i) w[at + i] = s.first[i];
            compare(t, w, seed, detections);
        }
    }
    EXPECT_GT(detections, 12);
}


TEST(SearchDifferentialTest, LargeGroupsFindTheLowestRecordThatMatchesWhole) {
    // 60 records behind the same first four bytes, of three lengths, some
    // with the same first pattern and different second patterns: the table
    // searches them as one group by first pattern.
    std::vector<Signature> sigs;
    for (int i = 0; i < 60; ++i) {
        Signature s;
        s.name = "G" + std::to_string(i + 1);
        const std::string tail = i < 40 ? std::string(1, static_cast<char>('a' + i % 20)) + std::string(1, static_cast<char>('A' + i / 20))
                                        : "zz";  // records 41-60 share "MZ..zz"
        s.first = bytesOf("MZPE" + tail + std::string(i % 3, '#'));
        if (i >= 40) {
            s.second = bytesOf("S" + std::to_string(i));
            s.secondOffset = 2;
        }
        sigs.push_back(s);
    }
    TestDb t;
    loadSignatures(t, sigs);
    auto find = [&](const std::string& text, WindowPlace place = WindowPlace::insideFile) {
        const std::vector<uint8_t> w = bytesOf(text);
        MatchResult literal;
        searchLiteral(t.db, w.data(), static_cast<uint32_t>(w.size()), place, literal);
        for (SearchTableLayout layout : kLayouts) {
            rebuildTable(t, layout);
            for (SearchKernel kernel : availableKernels()) {
                EXPECT_TRUE(searchTableSetKernel(t.db, kernel));
                MatchResult fast;
                searchFast(t.db, w.data(), static_cast<uint32_t>(w.size()), place, fast);
                EXPECT_EQ(fast.recordNumber, literal.recordNumber) << text << " " << kernelName(kernel) << " " << layoutName(layout);
                EXPECT_EQ(fast.matchOffset, literal.matchOffset) << text << " " << kernelName(kernel) << " " << layoutName(layout);
            }
        }
        return literal.recordNumber;
    };
    const std::string pad(37, '.');
    EXPECT_EQ(find(pad + "MZPEcA##" + pad), 3u);      // "MZPE" "cA" "##"
    EXPECT_EQ(find(pad + "MZPEcB##" + pad), 23u);     // "MZPE" "cB" "#", the longer text around it
    EXPECT_EQ(find(pad + "MZPEcA#" + pad), 0u);       // one '#' short of record 3
    EXPECT_EQ(find(pad + "MZPEzz..S54" + pad), 55u);  // same first pattern as 43, 46, ..., 58: the second decides
    EXPECT_EQ(find(pad + "MZPEzz##..S59" + pad), 60u);
    EXPECT_EQ(find(pad + "MZPEzq" + pad), 0u);
    EXPECT_EQ(find(std::string(300, 'M') + "MZPEzz#..S43" + pad), 44u);
}


// Databases whose records the table finds through other bytes than their
// first pattern: records sharing a short first pattern, told apart by their
// second patterns before or after it; anchored ones; patterns that overlap;
// second patterns shorter than the first; first patterns that share their
// first eight bytes. Each against windows with matches planted whole and
// decoys (the entry's bytes without the rest of the record), near the
// window's edges too.
TEST(SearchDifferentialTest, RecordsFoundThroughTheirMostSelectiveBytes) {
    struct Family {
        const char* what;
        std::vector<uint8_t> first;  // shared by every record (empty: own first patterns)
        uint32_t records;
        uint32_t secondMin, secondMax;  // second-pattern lengths
        int32_t distanceMin, distanceMax;
        uint32_t anchoredEvery;  // 0: none
    };
    const Family families[] = {
        {"\"xy\", long seconds after it", {'x', 'y'}, 300, 6, 12, 0, 60, 0},
        {"two zero bytes, seconds before and after, some anchored", {0, 0}, 200, 6, 9, -40, 40, 5},
        {"\"MZ\", seconds overlapping it", {'M', 'Z'}, 120, 6, 8, -8, 2, 0},
        {"\"A\", seconds up to 1,000 bytes away", {'A'}, 200, 6, 7, 0, 1000, 7},
        {"twelve-byte firsts sharing eight, seconds shorter than them", {'S', 'H', 'A', 'R', 'E', 'D', '8', '!'}, 150, 2, 3,
         -20, 20, 4},
    };
    int detections = 0, windows = 0;
    for (const Family& family : families) {
        SCOPED_TRACE(family.what);
        std::mt19937 random(static_cast<uint32_t>(family.records * 31 + family.first.size()));
        auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
        std::vector<Signature> sigs(family.records);
        for (uint32_t i = 0; i < family.records; ++i) {
            Signature& s = sigs[i];
            s.name = "F" + std::to_string(i + 1);
            s.first = family.first;
            while (s.first.size() < 12 && family.first.size() == 8) s.first.push_back(static_cast<uint8_t>('a' + below(4)));
            s.second.resize(family.secondMin + below(family.secondMax - family.secondMin + 1));
            for (uint8_t& b : s.second) b = static_cast<uint8_t>(below(3) == 0 ? family.first[0] : random());
            s.secondOffset = family.distanceMin + static_cast<int32_t>(below(static_cast<uint32_t>(family.distanceMax - family.distanceMin + 1)));
            if (family.anchoredEvery != 0 && i % family.anchoredEvery == 1) s.flags = kVpsFlagAnchored;
            if (i > 0 && below(10) == 0) s.second = sigs[i - 1].second, s.secondOffset = sigs[i - 1].secondOffset;  // twins
        }
        // The table must find these records through other bytes, or this
        // test would not test that.
        const std::vector<uint8_t> area = encodeArea(sigs);
        std::vector<SearchEntryChoice> choices(sigs.size());
        ASSERT_EQ(searchChooseEntries(area.data(), area.size(), static_cast<uint32_t>(sigs.size()), choices.data()), kStatusOk);
        EXPECT_GT(std::count_if(choices.begin(), choices.end(), [](const SearchEntryChoice& c) { return !searchEntryIsWholeFirst(c); }),
                  static_cast<long>(sigs.size() / 2));
        BothLayouts t(sigs);
        for (uint32_t k = 0; k < 24; ++k) {
            const uint32_t length = k < 4 ? 16 + below(40) : 1200 + below(2000);
            std::vector<uint8_t> w(length);
            for (uint8_t& b : w) b = below(2) == 0 && !family.first.empty() ? family.first[below(static_cast<uint32_t>(family.first.size()))]
                                                                            : static_cast<uint8_t>(random());
            auto put = [&](int64_t at, const std::vector<uint8_t>& bytes) {
                for (size_t i = 0; i < bytes.size(); ++i) {
                    if (at + static_cast<int64_t>(i) >= 0 && at + static_cast<int64_t>(i) < static_cast<int64_t>(length)) w[at + i] = bytes[i];
                }
            };
            // Decoys first: second patterns whose first pattern is one byte
            // off, and first patterns without their second.
            for (uint32_t d = 0; d < 12; ++d) {
                const Signature& s = sigs[below(family.records)];
                const int64_t p = below(length);
                const int64_t second = p + static_cast<int64_t>(s.first.size()) + s.secondOffset;
                put(second, s.second);
                std::vector<uint8_t> off = s.first;
                off.back() ^= 0x01;
                if (d % 2 == 0) put(p, off);
            }
            // Then a few whole matches, the first of them at offset 0 now and then.
            for (uint32_t m = 0; m < 1 + k % 3; ++m) {
                const Signature& s = sigs[below(family.records)];
                const int64_t before = std::max<int64_t>(0, -(static_cast<int64_t>(s.first.size()) + s.secondOffset));
                const int64_t p = m == 0 && k % 4 == 0 ? before : before + below(length);
                put(p, s.first);
                put(p + static_cast<int64_t>(s.first.size()) + s.secondOffset, s.second);
            }
            compare(t, w, k, detections);
            ++windows;
            if (HasFatalFailure()) return;
        }
        // Windows made of entries: second patterns back to back, so that
        // nearly every sampled gram is a candidate, and one whole match in
        // the middle of them now and then.
        for (uint32_t k = 0; k < 6; ++k) {
            std::vector<uint8_t> w;
            while (w.size() < 3000) {
                const Signature& s = sigs[below(family.records)];
                w.insert(w.end(), s.second.begin(), s.second.end());
            }
            if (k % 2 == 0) {
                const Signature& s = sigs[below(family.records)];
                const int64_t p = 1500;
                for (size_t i = 0; i < s.first.size(); ++i) w[p + i] = s.first[i];
                const int64_t second = p + static_cast<int64_t>(s.first.size()) + s.secondOffset;
                for (size_t i = 0; i < s.second.size(); ++i) w[second + i] = s.second[i];
            }
            compare(t, w, 100 + k, detections);
            ++windows;
            if (HasFatalFailure()) return;
        }
    }
    EXPECT_GT(detections, windows / 2) << detections << " detections in " << windows << " windows";
}

// The literal answer for a database too large to search literally window
// after window: only records whose first pattern occurs in the window can
// match, so the literal search over those records alone, in database order,
// gives the answer. They are found through an exact map of first patterns'
// first (up to four) bytes.
class LiteralOracle {
public:
    explicit LiteralOracle(const std::vector<Signature>& sigs) : sigs_(sigs) {
        for (uint32_t i = 0; i < sigs.size(); ++i) byPrefix_[prefixKey(sigs[i].first.data(), sigs[i].first.size())].push_back(i);
    }

    // Fills `result` (recordNumber in the whole database) and `name`.
    void search(const std::vector<uint8_t>& w, WindowPlace place, MatchResult& result, std::string& name) const {
        std::vector<uint32_t> occurring;
        std::vector<bool> seen(sigs_.size());
        for (size_t p = 0; p < w.size(); ++p) {
            for (size_t q = 1; q <= 4 && p + q <= w.size(); ++q) {
                const auto found = byPrefix_.find(prefixKey(w.data() + p, q));
                if (found == byPrefix_.end()) continue;
                for (uint32_t i : found->second) {
                    const std::vector<uint8_t>& first = sigs_[i].first;
                    if (seen[i] || p + first.size() > w.size() || std::memcmp(w.data() + p, first.data(), first.size()) != 0) continue;
                    seen[i] = true;
                    occurring.push_back(i);
                }
            }
        }
        std::sort(occurring.begin(), occurring.end());
        std::vector<Signature> subset;
        for (uint32_t i : occurring) subset.push_back(sigs_[i]);
        TestDb small;
        loadSignatures(small, subset);
        searchLiteral(small.db, w.data(), static_cast<uint32_t>(w.size()), place, result);
        if (result.recordNumber != 0) {
            name = result.virusName;
            result.recordNumber = occurring[result.recordNumber - 1] + 1;
        }
    }

private:
    static uint64_t prefixKey(const uint8_t* bytes, size_t n) {
        const size_t q = n < 4 ? n : 4;
        uint64_t key = q;
        for (size_t k = 0; k < q; ++k) key |= static_cast<uint64_t>(bytes[k]) << (8 * k + 8);
        return key;
    }

    const std::vector<Signature>& sigs_;
    std::unordered_map<uint64_t, std::vector<uint32_t>> byPrefix_;
};

TEST(SearchDifferentialTest, TableEqualsLiteralAtTwoHundredThousandRecords) {
    // Databases large enough that the table is laid out grown (a gate past
    // the second-level cache, both tests before a branch, buckets weighed
    // in batches), in four shapes, against scanner-sized windows full of
    // planted patterns and of patterns one byte off.
    constexpr uint32_t kRecords = 200000;
    struct LargeShape {
        const char* what;
        int minFirst, maxFirst;
        int family;  // records in a row sharing their first `familyPrefix` bytes (1: none)
        int familyPrefix;
        int shortOnes;  // records of one to three bytes among them
    };
    const LargeShape shapes[] = {
        {"the benchmark's shape: 8 to 16 bytes, half with a second pattern", 8, 16, 1, 0, 0},
        {"families of 100 sharing their first 4 to 8 bytes", 8, 14, 100, 6, 0},
        {"4 to 20 bytes, and a few of 2 and 3 bytes", 4, 20, 1, 0, 12},
        {"12 to 30 bytes: eight grams a record would not fit, the stride shortens", 12, 30, 1, 0, 0},
    };
    int detections = 0, windows = 0;
    for (const LargeShape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        std::mt19937 random(static_cast<uint32_t>(shape.maxFirst * 131 + shape.family));
        auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
        std::vector<Signature> sigs(kRecords);
        std::vector<uint8_t> prefix;
        for (uint32_t i = 0; i < kRecords; ++i) {
            Signature& s = sigs[i];
            s.name = "L" + std::to_string(i + 1);
            if (shape.family > 1 && i % shape.family == 0) {
                prefix.resize(static_cast<size_t>(shape.familyPrefix - 2 + static_cast<int>(below(3))));
                for (uint8_t& b : prefix) b = static_cast<uint8_t>(random());
            }
            const bool isShort = shape.shortOnes != 0 && i % (kRecords / shape.shortOnes) == 7;
            const uint32_t n = isShort ? 2 + below(2) : static_cast<uint32_t>(shape.minFirst) + below(static_cast<uint32_t>(shape.maxFirst - shape.minFirst + 1));
            s.first.resize(n);
            for (uint8_t& b : s.first) b = static_cast<uint8_t>(random());
            if (isShort) s.first[0] = 0xF7;  // rare in the windows: a short pattern must not settle every window at once
            for (size_t k = 0; k < prefix.size() && k + 1 < n; ++k) s.first[k] = prefix[k];
            s.flags = below(8) == 0 ? kVpsFlagAnchored : 0;
            if (i % 2 == 1) {
                s.second.resize(4 + below(9));
                for (uint8_t& b : s.second) b = static_cast<uint8_t>(random());
                s.secondOffset = shape.family > 1 ? static_cast<int32_t>(below(3)) : static_cast<int32_t>(below(200)) - 40;
            }
        }
        TestDb t;  // a table of this size is laid out grown
        loadSignatures(t, sigs);
        const LiteralOracle oracle(sigs);
        for (int k = 0; k < 4; ++k) {
            std::vector<uint8_t> w(k == 0 ? 100000 : 50000);
            for (uint8_t& b : w) b = static_cast<uint8_t>(k == 1 ? "to the device "[below(14)] : random() & (k == 2 ? 0x7F : 0xF6));
            // Patterns whole and one byte off, late in the window, so that
            // the grams before them all go through the gate first.
            for (int plant = 0; plant < 60; ++plant) {
                const Signature& s = sigs[below(kRecords)];
                const uint32_t at = static_cast<uint32_t>(w.size() / 2) + below(static_cast<uint32_t>(w.size() / 2 - 300)) + 100;
                std::copy(s.first.begin(), s.first.end(), w.begin() + at);
                if (plant % 3 != 0) w[at + s.first.size() - 1] ^= 0x5A;
                if (!s.second.empty() && plant % 3 == 0) {
                    const int64_t second = static_cast<int64_t>(at) + static_cast<int64_t>(s.first.size()) + s.secondOffset;
                    if (second >= 0 && second + static_cast<int64_t>(s.second.size()) <= static_cast<int64_t>(w.size())) {
                        std::copy(s.second.begin(), s.second.end(), w.begin() + second);
                    }
                }
            }
            for (WindowPlace place : {WindowPlace::startOfFile, WindowPlace::insideFile}) {
                MatchResult literal;
                std::string name;
                oracle.search(w, place, literal, name);
                if (literal.recordNumber != 0) ++detections;
                ++windows;
                for (SearchKernel kernel : availableKernels()) {
                    ASSERT_TRUE(searchTableSetKernel(t.db, kernel));
                    MatchResult fast;
                    searchFast(t.db, w.data(), static_cast<uint32_t>(w.size()), place, fast);
                    ASSERT_EQ(fast.recordNumber, literal.recordNumber) << "window " << k << ", " << kernelName(kernel);
                    if (literal.recordNumber == 0) continue;
                    EXPECT_EQ(fast.matchOffset, literal.matchOffset) << "window " << k << ", " << kernelName(kernel);
                    EXPECT_EQ(fast.recordFlags, literal.recordFlags);
                    EXPECT_EQ(name, fast.virusName);
                }
            }
        }
    }
    EXPECT_GT(detections, windows / 2) << detections << " detections in " << windows << " windows";
}

}  // namespace
