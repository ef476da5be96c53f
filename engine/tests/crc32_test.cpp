// CRC-32: the check values, the chaining property, and agreement with the
// bit-by-bit algorithm the format is defined by.
#include "engine/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

const uint8_t* bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// The definition: eight register steps per byte, reflected polynomial.
uint32_t crc32Bitwise(const uint8_t* data, size_t length, uint32_t start) {
    uint32_t reg = ~start;
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int step = 0; step < 8; ++step) {
            reg = ((byte ^ reg) & 1u) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
            byte >>= 1;
        }
    }
    return ~reg;
}

TEST(Crc32Test, CheckValues) {
    EXPECT_EQ(crc32(bytes("abc"), 3, 0), 0x352441C2u);
    EXPECT_EQ(crc32(bytes("123456789"), 9, 0), 0xCBF43926u);
    EXPECT_EQ(crc32(bytes("The quick brown fox jumps over the lazy dog"), 43, 0), 0x414FA339u);
    EXPECT_EQ(crc32(bytes(""), 0, 0), 0u);
    const uint8_t zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(crc32(zeros, 4, 0), 0x2144DF1Cu);
}

TEST(Crc32Test, ChainingEqualsOneCall) {
    const uint32_t ab = crc32(bytes("ab"), 2, 0);
    EXPECT_EQ(crc32(bytes("c"), 1, ab), 0x352441C2u);
    // An empty piece leaves the running value as it was.
    EXPECT_EQ(crc32(bytes(""), 0, ab), ab);

    std::mt19937 random(7);
    std::vector<uint8_t> data(5000);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    const uint32_t whole = crc32(data.data(), data.size(), 0);
    for (int trial = 0; trial < 50; ++trial) {
        size_t a = random() % data.size(), b = random() % data.size();
        if (a > b) std::swap(a, b);
        uint32_t crc = crc32(data.data(), a, 0);
        crc = crc32(data.data() + a, b - a, crc);
        crc = crc32(data.data() + b, data.size() - b, crc);
        EXPECT_EQ(crc, whole) << "split at " << a << " and " << b;
    }
}

TEST(Crc32Test, TableAgreesWithTheBitwiseDefinition) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> data(random() % 300);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        const uint32_t start = trial % 3 == 0 ? 0 : static_cast<uint32_t>(random());
        EXPECT_EQ(crc32(data.data(), data.size(), start), crc32Bitwise(data.data(), data.size(), start));
    }
}

}  // namespace
