#include "engine/crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // 0x04C11DB7 reflected

// Eight tables: table 0 holds, per byte value, the eight register steps of
// the bitwise algorithm for that byte; table k, the same byte followed by k
// zero bytes. With them eight bytes cost eight independent lookups instead
// of a chain of eight (a database of a million records is 50 MB). The
// device's programs keep table 0 alone: its databases are a few MB, and the
// other 7 KB would travel in every program of every update package.
#if defined(_WIN32)
constexpr int kSlices = 1;
#else
constexpr int kSlices = 8;
#endif
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr Tables makeTables() {
    Tables tables{};
    for (uint32_t value = 0; value < 256; ++value) {
        uint32_t reg = value;
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) ? (reg >> 1) ^ kPolynomial : reg >> 1;
        tables[0][value] = reg;
    }
    for (uint32_t value = 0; value < 256; ++value) {
        for (int k = 1; k < kSlices; ++k) {
            const uint32_t previous = tables[k - 1][value];
            tables[k][value] = tables[0][previous & 0xFFu] ^ (previous >> 8);
        }
    }
    return tables;
}

constexpr Tables kTables = makeTables();

inline uint32_t read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

uint32_t crc32(const uint8_t* data, uint64_t length, uint32_t start) {
    // Presetting the register to the complement of the previous result is
    // what makes chained calls equal one call over the joined bytes.
    uint32_t reg = ~start;
    if (data == nullptr) return start;
    const auto& t = kTables;
    if constexpr (kSlices == 8) {
        for (; length >= 8; data += 8, length -= 8) {
            const uint32_t low = read32(data) ^ reg;
            const uint32_t high = read32(data + 4);
            reg = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^
                  t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^ t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
        }
    }
    for (; length != 0; ++data, --length) reg = t[0][(reg ^ *data) & 0xFFu] ^ (reg >> 8);
    return ~reg;
}
