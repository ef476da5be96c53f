#pragma once
// A small PNG writer for screenshots of the device screen: 8-bit RGB, each row
// filtered with the filter that suits it best, the image data compressed with
// LZ77 and the fixed Huffman codes of deflate inside a zlib stream. No
// platform calls, so that it also builds natively for tests and benchmarks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/status.h"

namespace zbpng {

// The largest side accepted; a screen is far smaller, and the limit keeps
// every size computation well inside 32 bits.
constexpr uint32_t kMaxSide = 16384;

// Checksums of the formats: CRC-32 (of PNG chunks) and Adler-32 (of the zlib
// stream). Both can be continued: pass the previous result as `start`.
uint32_t crc32(const uint8_t* data, size_t size, uint32_t start = 0);
uint32_t adler32(const uint8_t* data, size_t size, uint32_t start = 1);

// Compresses `size` bytes into a zlib stream (header, deflate data, Adler-32)
// appended to `out`.
void zlibCompress(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

// Encodes an image of `width` x `height` pixels given as rows of R, G, B bytes
// (top row first, no padding) as a PNG file in `out` (replacing its content).
// 87 when a side is 0 or larger than kMaxSide or `rgb` is null.
Status encodeRgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out);

}  // namespace zbpng
