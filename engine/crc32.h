#pragma once
// The standard reflected CRC-32 (the one of zlib and PKZIP), used by the
// database loader and the update container check.
#include <cstdint>

// CRC-32 of `length` bytes at `data`, continuing from `start` (0 for a fresh
// computation): crc32(b, nb, crc32(a, na, 0)) is the CRC of a followed by b.
uint32_t crc32(const uint8_t* data, uint64_t length, uint32_t start);
