// Where a grown diagnostic log is cut: on character boundaries, after a
// finished block, never in the middle of one.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "log/log_trim.h"

namespace {

std::vector<uint8_t> utf16le(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

std::u16string fromUtf16le(const std::vector<uint8_t>& bytes, size_t from) {
    std::u16string text;
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

// The text that is kept when the log's tail is `tail`.
std::u16string kept(const std::u16string& tail) {
    std::vector<uint8_t> bytes = utf16le(tail);
    size_t from = logTrimKeepFrom(bytes.data(), bytes.size());
    EXPECT_LE(from, bytes.size());
    return fromUtf16le(bytes, from);
}

// One program start's block as the log writes it.
std::u16string block(int n) {
    std::u16string number;
    for (char c : std::to_string(n)) number.push_back(static_cast<char16_t>(c));
    return u"10:00:00.000  Started: 01.02.2026, 10:00:00\r\n"
           u"10:00:00.001  EXE is starting... run " +
           number +
           u"\r\n"
           u"10:00:00.002  Stopped: 01.02.2026, 10:00:01\r\n\r\n\r\n";
}

}  // namespace

TEST(LogTrimSize, OnlyALogOfOneMebibyteOrMoreIsCut) {
    EXPECT_FALSE(logNeedsTrim(0));
    EXPECT_FALSE(logNeedsTrim(1048575));
    EXPECT_TRUE(logNeedsTrim(1048576));
    EXPECT_TRUE(logNeedsTrim(50u * 1048576));
}

TEST(LogTrimSize, ReadingStartsOnACharacterBoundaryWithinTheWindow) {
    for (uint64_t size : {uint64_t{1048576}, uint64_t{1048577}, uint64_t{1048578}, uint64_t{3000001}}) {
        uint64_t offset = logTrimReadOffset(size);
        EXPECT_EQ(offset % 2, 0u) << size;
        EXPECT_GE(offset, size - kLogTrimWindow) << size;
        EXPECT_LE(offset, size - kLogTrimWindow + 1) << size;
    }
    EXPECT_EQ(logTrimReadOffset(1048576), 524290u);
    EXPECT_EQ(logTrimReadOffset(100), 0u);
    EXPECT_EQ(logTrimReadOffset(kLogTrimWindow), 0u);
}

TEST(LogTrimCut, KeepsTheBlocksAfterTheFirstStoppedBanner) {
    // The tail starts inside block 1: its end and block 2 remain, block 2 whole.
    std::u16string tail = u"is starting... run 1\r\n10:00:00.002  Stopped: 01.02.2026, 10:00:01\r\n\r\n\r\n" +
                          block(2) + block(3);
    EXPECT_EQ(kept(tail), block(2) + block(3));
}

TEST(LogTrimCut, TheEmptyLinesEndingABlockGoWithIt) {
    std::u16string tail = u"Stopped: 01.02.2026\r\n\r\n\r\n" + block(4);
    EXPECT_EQ(kept(tail), block(4));
    // Lines ended by a bare line feed are lines too.
    EXPECT_EQ(kept(u"x Stopped: now\n\n" + block(5)), block(5));
}

TEST(LogTrimCut, ABannerCutAtTheStartOfTheTailIsNotABannerLine) {
    // Only "opped:" of block 1's banner is in the tail; the cut comes after block 2.
    std::u16string tail = u"opped: 01.02.2026, 10:00:01\r\n\r\n\r\n" + block(2) + block(3);
    EXPECT_EQ(kept(tail), block(3));
}

TEST(LogTrimCut, NothingIsKeptWhenTheLastBlockEndsTheTail) {
    EXPECT_EQ(kept(u"run 1\r\n" + block(2)), u"");
    EXPECT_EQ(kept(u"10:00:00.002  Stopped: 01.02.2026"), u"");
}

TEST(LogTrimCut, WithoutAnyStoppedBannerTheCutIsAtABlockStart) {
    // Starts that never reached their banner (a second instance ends early).
    std::u16string unfinished = u"10:00:00.000  Started: 01.02.2026, 10:00:00\r\n10:00:00.001  EXE is starting...\r\n";
    EXPECT_EQ(kept(u"ing...\r\n10:00:00.001  regLoad inside\r\n" + unfinished + unfinished), unfinished + unfinished);
    // The first line may be the end of a banner line: never a block start.
    EXPECT_EQ(kept(u"Started: 01.02.2026\r\nline\r\n" + unfinished), unfinished);
}

TEST(LogTrimCut, WithoutAnyBannerTheCutIsAtTheFirstWholeLine) {
    EXPECT_EQ(kept(u"partial line\r\nwhole line\r\nlast"), u"whole line\r\nlast");
    EXPECT_EQ(kept(u"no line end at all"), u"");
    EXPECT_EQ(kept(u""), u"");
}

TEST(LogTrimCut, WorksOnCharactersNotBytes) {
    // U+0A00 and U+0D0A carry the bytes of a line feed and of CR LF in the
    // wrong halves; a byte-wise search would cut inside them.
    std::u16string odd = u"\u0A00\u0D0A\u0A0D text\r\n";
    EXPECT_EQ(kept(odd + u"Stopped:\u0A00\r\n" + odd), odd);
    // So do the letters of "Stopped:" shifted by one byte.
    std::vector<uint8_t> shifted = utf16le(u"xStopped:\r\nkeep\r\n");
    shifted.erase(shifted.begin());
    shifted.push_back(0);
    // Read as characters, that text has no line end and no banner at all.
    EXPECT_EQ(logTrimKeepFrom(shifted.data(), shifted.size()), shifted.size());
}

TEST(LogTrimCut, AnOddTrailingByteIsIgnored) {
    std::vector<uint8_t> bytes = utf16le(u"a\r\nStopped:\r\n" + block(1));
    bytes.push_back(0x41);
    size_t from = logTrimKeepFrom(bytes.data(), bytes.size());
    EXPECT_EQ(from % 2, 0u);
    EXPECT_EQ(fromUtf16le(bytes, from), block(1));
    EXPECT_EQ(logTrimKeepFrom(bytes.data(), 1), 1u);
    EXPECT_EQ(logTrimKeepFrom(nullptr, 0), 0u);
}

TEST(LogTrimCut, AnyReadOffsetLeavesWholeBlocksOnly) {
    std::mt19937 random(7);
    std::u16string log;
    std::vector<size_t> blockStarts;
    for (int i = 0; i < 200; ++i) {
        blockStarts.push_back(log.size());
        std::u16string b = block(i);
        // Blocks of varying length, some with non-ASCII text.
        for (unsigned extra = random() % 6; extra > 0; --extra) {
            b.insert(b.find(u"10:00:00.002"), u"10:00:00.001  line \u00E9\u0A00 " + std::u16string(random() % 40, u'x') + u"\r\n");
        }
        log += b;
    }
    std::vector<uint8_t> bytes = utf16le(log);
    for (int trial = 0; trial < 500; ++trial) {
        size_t offset = 2 * (random() % (bytes.size() / 2));
        size_t from = offset + logTrimKeepFrom(bytes.data() + offset, bytes.size() - offset);
        if (from == bytes.size()) continue;
        ASSERT_EQ(from % 2, 0u);
        // It is the next block after the one that contains the offset, or the
        // one after that when the offset fell inside the first one's banner.
        size_t containing = 0;
        while (containing + 1 < blockStarts.size() && 2 * blockStarts[containing + 1] <= offset) ++containing;
        ASSERT_LT(containing + 1, blockStarts.size()) << "kept a part of the last block from " << from;
        ASSERT_TRUE(2 * blockStarts[containing + 1] == from ||
                    (containing + 2 < blockStarts.size() && 2 * blockStarts[containing + 2] == from))
            << "offset " << offset << " kept from " << from;
    }
}
