// Round trips of arbitrary data through the screenshot writer: the zlib
// stream and the PNG file must both read back to exactly what went in.
#include <cstdlib>
#include <string>

#include "tools/drive/png.h"
#include "tools/drive/tests/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> compressed, back;
    std::string error;
    zbpng::zlibCompress(data, size, compressed);
    if (!pngtest::inflateZlib(compressed.data(), compressed.size(), back, error) ||
        back != std::vector<uint8_t>(data, data + size)) {
        abort();
    }
    // The first two bytes choose the image's sides; the rest, repeated, its pixels.
    if (size < 3) return 0;
    uint32_t width = data[0] % 64 + 1, height = data[1] % 64 + 1;
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = data[2 + i % (size - 2)];
    std::vector<uint8_t> file;
    pngtest::Image image;
    if (zbpng::encodeRgb(rgb.data(), width, height, file) != 0 || !pngtest::readPng(file, image, error) ||
        image.width != width || image.height != height || image.rgb != rgb) {
        abort();
    }
    return 0;
}
