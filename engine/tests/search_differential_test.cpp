// The search table must give exactly the literal search's result, for every
// database and window. Thousands of random databases over small alphabets
// (so that patterns share first bytes and collide), random windows with
// patterns planted at random places, at the window's edges and with their
// second patterns, both window places.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/search.h"
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

// Both places, through every kernel of the table this machine runs.
void compare(VpsDatabase& db, const std::vector<uint8_t>& w, uint32_t seed, int& detections) {
    for (WindowPlace place : {WindowPlace::startOfFile, WindowPlace::insideFile}) {
        MatchResult literal;
        searchLiteral(db, w.data(), static_cast<uint32_t>(w.size()), place, literal);
        if (literal.recordNumber != 0) ++detections;
        for (SearchKernel kernel : availableKernels()) {
            ASSERT_TRUE(searchTableSetKernel(db, kernel));
            MatchResult fast;
            searchFast(db, w.data(), static_cast<uint32_t>(w.size()), place, fast);
            ASSERT_EQ(fast.recordNumber, literal.recordNumber)
                << "seed " << seed << " length " << w.size() << " kernel " << kernelName(kernel);
            if (literal.recordNumber == 0) continue;
            ASSERT_EQ(fast.matchOffset, literal.matchOffset) << "seed " << seed << " kernel " << kernelName(kernel);
            ASSERT_EQ(fast.recordFlags, literal.recordFlags) << "seed " << seed;
            ASSERT_EQ(fast.virusName, literal.virusName) << "seed " << seed;
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
            TestDb t;
            loadSignatures(t, sigs);
            for (int k = 0; k < 8; ++k) {
                const uint32_t length = k == 0 ? random.below(4) : random.below(400);
                compare(t.db, random.window(sigs, shape, length), seed, detections);
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
        TestDb t;
        const std::vector<Signature> sigs = random.database(shape);
        loadSignatures(t, sigs);
        for (uint32_t length : {50000u, 100000u, 8u}) {
            std::vector<uint8_t> w(length);
            for (uint8_t& b : w) b = static_cast<uint8_t>(random.below(256));
            // One record planted late, at a position of each residue class.
            const Signature& s = sigs[random.below(static_cast<uint32_t>(sigs.size()))];
            const uint32_t at = length > 64 ? length - 64 + random.below(40) : 0;
            for (size_t i = 0; i < s.first.size() && at + i < length; ++i) w[at + i] = s.first[i];
            compare(t.db, w, seed, detections);
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
        for (SearchKernel kernel : availableKernels()) {
            EXPECT_TRUE(searchTableSetKernel(t.db, kernel));
            MatchResult fast;
            searchFast(t.db, w.data(), static_cast<uint32_t>(w.size()), place, fast);
            EXPECT_EQ(fast.recordNumber, literal.recordNumber) << text << " " << kernelName(kernel);
            EXPECT_EQ(fast.matchOffset, literal.matchOffset) << text << " " << kernelName(kernel);
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

}  // namespace
