// The database image: header, versions, CRC, scrambled payload, record walk,
// and the refusal of every malformed image without reading past it.
#include "engine/vps_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "engine/search.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Images are put together byte by byte here, from the format itself, so that
// the parser is checked against the layout rather than against its own
// writer. The CRC is the bitwise definition.
uint32_t crcBitwise(const Bytes& data) {
    uint32_t reg = 0xFFFFFFFFu;
    for (uint8_t byte : data) {
        for (int step = 0; step < 8; ++step) {
            reg = ((byte ^ reg) & 1u) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
            byte >>= 1;
        }
    }
    return ~reg;
}

void put16(Bytes& b, uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}
void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}

Bytes image(const std::string& header, uint16_t major, uint16_t minor, const Bytes& area) {
    Bytes out(header.begin(), header.end());
    out.push_back(0);
    put16(out, major);
    put16(out, minor);
    const size_t crcAt = out.size();
    put32(out, 0);
    for (uint8_t b : area) out.push_back(b ^ kVpsScrambleKey);
    const uint32_t crc = crcBitwise(out);
    for (int i = 0; i < 4; ++i) out[crcAt + i] = (crc >> (8 * i)) & 0xFF;
    return out;
}

// A record with the given total length; the name fills what is left.
Bytes record(uint8_t length, uint16_t flags, const Bytes& first, int32_t offset = 0, const Bytes& second = {}) {
    Bytes r;
    r.push_back(length);
    put16(r, flags);
    r.push_back(static_cast<uint8_t>(first.size()));
    r.insert(r.end(), first.begin(), first.end());
    put32(r, static_cast<uint32_t>(offset));
    r.push_back(static_cast<uint8_t>(second.size()));
    r.insert(r.end(), second.begin(), second.end());
    put32(r, 0xFFFFFFF0u);  // crcAreaOffset -16
    put32(r, 64);
    put32(r, 0xDEADBEEFu);
    while (r.size() + 1 < length) r.push_back('A' + r.size() % 26);
    r.push_back(0);
    return r;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Parses a copy of the image in a heap block of exactly its size, so that
// AddressSanitizer (fuzzers) and the checks below see any read past its end.
Status parse(const Bytes& bytes, VpsDatabase& db) {
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
    const Status status = vpsParseImage(copy, bytes.size(), db);
    std::free(copy);
    return status;
}

Status parseArea(const Bytes& area) {
    VpsDatabase db;
    const Status status = parse(image("h", 1, 0, area), db);
    vpsRelease(db);
    return status;
}

const Bytes kFirst = {'V', 'I', 'R', 'U', 'S'};

TEST(VpsFormatTest, LoadsVersionsCountAndDescrambledRecords) {
    const Bytes area = concat({record(30, 0, kFirst), record(40, 1, {'x'}, -3, {'y', 'z'}), record(50, 2, kFirst)});
    ASSERT_EQ(area.size(), 120u);
    VpsDatabase db;
    ASSERT_EQ(parse(image("zerbin database 2024", 1, 37, area), db), kStatusOk);
    EXPECT_EQ(db.versionMajor, 1);
    EXPECT_EQ(db.versionMinor, 37);
    EXPECT_EQ(db.recordCount, 3u);
    ASSERT_EQ(db.recordAreaLength, 120u);
    ASSERT_NE(db.recordArea, nullptr);
    EXPECT_EQ(Bytes(db.recordArea, db.recordArea + 120), area);  // the payload descrambled, as stored
    EXPECT_NE(db.searchTable, nullptr);

    VpsRecord r;
    ASSERT_TRUE(vpsRecordRead(db.recordArea + 30, 90, r));
    EXPECT_EQ(r.length, 40);
    EXPECT_EQ(r.flags, 1);
    EXPECT_EQ(r.firstLength, 1);
    EXPECT_EQ(r.first[0], 'x');
    EXPECT_EQ(r.secondOffset, -3);
    EXPECT_EQ(r.secondLength, 2);
    EXPECT_EQ(r.second[1], 'z');
    EXPECT_EQ(r.crcAreaOffset, -16);
    EXPECT_EQ(r.crcAreaLength, 64u);
    EXPECT_EQ(r.crcAreaValue, 0xDEADBEEFu);
    // The name follows the fields (21 + n + m) and fills the record to its zero byte.
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(r.name), db.recordArea + 30 + 24);
    EXPECT_EQ(std::strlen(r.name), 40u - 24u - 1u);
    vpsRelease(db);
    EXPECT_EQ(db.recordArea, nullptr);
    EXPECT_EQ(db.searchTable, nullptr);
    EXPECT_EQ(db.recordCount, 0u);
    vpsRelease(db);  // twice is harmless
}

TEST(VpsFormatTest, HeaderAndPayloadEdges) {
    VpsDatabase db;
    // The file begins with its zero byte: an empty text header.
    ASSERT_EQ(parse(image("", 1, 2, record(30, 0, kFirst)), db), kStatusOk);
    EXPECT_EQ(db.recordCount, 1u);
    vpsRelease(db);
    // An empty payload: a loaded database without records.
    ASSERT_EQ(parse(image("text", 1, 9, {}), db), kStatusOk);
    EXPECT_EQ(db.recordCount, 0u);
    EXPECT_EQ(db.recordAreaLength, 0u);
    EXPECT_NE(db.recordArea, nullptr);
    MatchResult result;
    const Bytes window(100, 'V');
    EXPECT_EQ(searchFast(db, window.data(), 100, WindowPlace::startOfFile, result), kStatusOk);
    EXPECT_EQ(result.recordNumber, 0u);
    vpsRelease(db);
}

TEST(VpsFormatTest, VersionsAreKeptWhenTheImageIsRefused) {
    VpsDatabase db;
    EXPECT_EQ(parse(image("h", 2, 5, record(30, 0, kFirst)), db), kStatusVpsCorrupted);
    EXPECT_EQ(db.versionMajor, 2);
    EXPECT_EQ(db.versionMinor, 5);
    EXPECT_EQ(db.recordArea, nullptr);
    EXPECT_EQ(parse(image("h", 0, 5, {}), db), kStatusVpsCorrupted);

    Bytes bad = image("h", 1, 7, record(30, 0, kFirst));
    bad.back() ^= 1;
    EXPECT_EQ(parse(bad, db), kStatusVpsCorrupted);
    EXPECT_EQ(db.versionMinor, 7);
    EXPECT_EQ(db.recordArea, nullptr);
    EXPECT_EQ(db.recordCount, 0u);
}

TEST(VpsFormatTest, AnySingleChangedByteIsRefused) {
    const Bytes good = image("a text header", 1, 3, concat({record(30, 0, kFirst), record(26, 0, {'q'})}));
    VpsDatabase db;
    ASSERT_EQ(parse(good, db), kStatusOk);
    vpsRelease(db);
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes changed = good;
            changed[i] ^= flip;
            EXPECT_EQ(parse(changed, db), kStatusVpsCorrupted) << "byte " << i << " xor " << int(flip);
            EXPECT_EQ(db.recordArea, nullptr);
        }
    }
}

TEST(VpsFormatTest, MalformedHeadersAreRefused) {
    VpsDatabase db;
    EXPECT_EQ(parse({}, db), kStatusVpsCorrupted);
    EXPECT_EQ(parse(Bytes(64, 'x'), db), kStatusVpsCorrupted) << "no zero byte";
    const Bytes whole = image("hdr", 1, 0, {});
    ASSERT_EQ(whole.size(), 4u + 8u);
    for (size_t cut = 4; cut < whole.size(); ++cut) {
        EXPECT_EQ(parse(Bytes(whole.begin(), whole.begin() + cut), db), kStatusVpsCorrupted)
            << cut - 4 << " bytes after the zero byte";
    }
    EXPECT_EQ(parse(whole, db), kStatusOk) << "exactly the eight header bytes";
    vpsRelease(db);
}

TEST(VpsFormatTest, MalformedRecordsAreRefused) {
    const Bytes good = record(30, 0, kFirst);
    ASSERT_EQ(parseArea(good), kStatusOk);

    Bytes zeroLength = concat({good, Bytes{0}});
    EXPECT_EQ(parseArea(zeroLength), kStatusVpsCorrupted) << "recordLength 0";

    Bytes pastEnd = concat({good, good});
    pastEnd.pop_back();
    EXPECT_EQ(parseArea(pastEnd), kStatusVpsCorrupted) << "the last record runs past the payload";

    Bytes longer = good;
    longer[0] = 31;
    EXPECT_EQ(parseArea(longer), kStatusVpsCorrupted) << "length one beyond the area";

    // Too short for its own fields: 5-byte pattern, no second, needs 21 + 5 + 1.
    Bytes shortRecord = record(27, 0, kFirst);
    EXPECT_EQ(parseArea(shortRecord), kStatusOk) << "the shortest whole record";
    shortRecord = Bytes(shortRecord.begin(), shortRecord.end() - 1);
    shortRecord[0] = 26;
    EXPECT_EQ(parseArea(shortRecord), kStatusVpsCorrupted) << "no room for the name's zero byte";
    for (uint8_t length = 1; length < 23; ++length) {
        Bytes tiny(length, 0);
        tiny[0] = length;
        tiny[3] = 1;
        EXPECT_EQ(parseArea(tiny), kStatusVpsCorrupted) << "record of " << int(length) << " bytes";
    }

    Bytes emptyFirst = record(30, 0, kFirst);
    emptyFirst[3] = 0;
    EXPECT_EQ(parseArea(emptyFirst), kStatusVpsCorrupted) << "firstPatternLength 0";

    Bytes firstTooLong = record(30, 0, kFirst);
    firstTooLong[3] = 9;  // the fields after the pattern would end past the record
    EXPECT_EQ(parseArea(firstTooLong), kStatusVpsCorrupted);

    Bytes secondTooLong = record(30, 0, kFirst);
    secondTooLong[8 + 5] = 4;  // m = 4 leaves the name no room
    EXPECT_EQ(parseArea(secondTooLong), kStatusVpsCorrupted);

    // A name whose zero byte lies only in the next record.
    Bytes unterminated = record(30, 0, kFirst);
    unterminated.back() = 'Z';
    EXPECT_EQ(parseArea(concat({unterminated, good})), kStatusVpsCorrupted);
    EXPECT_EQ(parseArea(unterminated), kStatusVpsCorrupted);

    // Bytes after the name's zero byte, up to recordLength, are ignored.
    Bytes trailing = record(40, 0, kFirst);
    trailing[21 + 5 + 2] = 0;
    EXPECT_EQ(parseArea(trailing), kStatusOk);
}

TEST(VpsFormatTest, RecordReadStaysInsideWhatItIsGiven) {
    const Bytes r = record(40, 3, kFirst, 5, {'s', 't'});
    VpsRecord decoded;
    for (size_t remaining = 0; remaining < r.size(); ++remaining) {
        // A heap block of exactly `remaining` bytes: nothing past it is read.
        uint8_t* exact = static_cast<uint8_t*>(std::malloc(remaining + 1));
        std::memcpy(exact, r.data(), remaining);
        EXPECT_FALSE(vpsRecordRead(exact, remaining, decoded)) << remaining;
        std::free(exact);
    }
    ASSERT_TRUE(vpsRecordRead(r.data(), r.size(), decoded));
    EXPECT_EQ(decoded.secondOffset, 5);
}

TEST(VpsFormatTest, DescrambleAppliesTheKeyAndIsItsOwnInverse) {
    const uint8_t source[4] = {0x00, 0xFF, kVpsScrambleKey, 0x12};
    uint8_t out[4] = {1, 2, 3, 4};
    vpsDescramble(source, out, 0);
    EXPECT_EQ(out[0], 1) << "length 0 writes nothing";
    vpsDescramble(source, out, 4);
    EXPECT_EQ(out[0], kVpsScrambleKey);
    EXPECT_EQ(out[1], 0xFF ^ kVpsScrambleKey);
    EXPECT_EQ(out[2], 0);
    uint8_t back[4];
    vpsDescramble(out, back, 4);
    EXPECT_EQ(std::memcmp(back, source, 4), 0);
}

}  // namespace
