#pragma once
// Test-side reader of the PNG files the driver writes: an independent inflate
// (stored, fixed and dynamic blocks), the zlib and chunk checksums, and the
// row filters undone. Only 8-bit RGB images are accepted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pngtest {

// Inflates a zlib stream (header, deflate blocks, Adler-32). False, with the
// reason in `error`, on any malformed or truncated input.
bool inflateZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& error);

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;  // rows of R, G, B bytes, top row first
};

// Decodes a whole PNG file: signature, chunk CRCs, IHDR, IDAT data, IEND.
bool readPng(const std::vector<uint8_t>& file, Image& image, std::string& error);

}  // namespace pngtest
