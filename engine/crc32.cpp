#include "engine/crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // 0x04C11DB7 reflected

// One table entry per byte value: the eight register steps of the bitwise
// algorithm for that byte, done once at compile time.
constexpr std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t value = 0; value < 256; ++value) {
        uint32_t reg = value;
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) ? (reg >> 1) ^ kPolynomial : reg >> 1;
        table[value] = reg;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

}  // namespace

uint32_t crc32(const uint8_t* data, uint64_t length, uint32_t start) {
    // Presetting the register to the complement of the previous result is
    // what makes chained calls equal one call over the joined bytes.
    uint32_t reg = ~start;
    if (data == nullptr) return start;
    for (uint64_t i = 0; i < length; ++i) reg = kTable[(reg ^ data[i]) & 0xFFu] ^ (reg >> 8);
    return ~reg;
}
