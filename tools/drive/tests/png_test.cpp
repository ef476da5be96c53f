// The screenshot writer: checksums against published values, deflate data
// that an independent inflate reads back byte for byte (at the edges of the
// format: longest match, farthest distance, incompressible data), and PNG
// files whose pixels come back exactly.
#include "tools/drive/png.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tools/drive/tests/png_reader.h"

namespace {

std::vector<uint8_t> bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    return out;
}

// Compresses and inflates again; fails the test when the two differ.
size_t roundTrip(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> compressed, back;
    zbpng::zlibCompress(data.data(), data.size(), compressed);
    std::string error;
    EXPECT_TRUE(pngtest::inflateZlib(compressed.data(), compressed.size(), back, error)) << error;
    EXPECT_EQ(back, data);
    return compressed.size();
}

TEST(PngChecksums, MatchPublishedValues) {
    auto check = bytes("123456789");
    EXPECT_EQ(zbpng::crc32(check.data(), check.size()), 0xCBF43926u);
    auto wiki = bytes("Wikipedia");
    EXPECT_EQ(zbpng::adler32(wiki.data(), wiki.size()), 0x11E60398u);
    EXPECT_EQ(zbpng::crc32(nullptr, 0), 0u);
    EXPECT_EQ(zbpng::adler32(nullptr, 0), 1u);
    // The IEND chunk's CRC, as every PNG file ends.
    auto iend = bytes("IEND");
    EXPECT_EQ(zbpng::crc32(iend.data(), iend.size()), 0xAE426082u);
}

TEST(PngChecksums, ContinueAcrossPiecesAndLongInputs) {
    // Long runs of 0xFF push Adler-32's sums towards overflow between reductions.
    std::vector<uint8_t> data(1 << 20, 0xFF);
    uint32_t a = 1, b = 0;
    for (uint8_t v : data) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(zbpng::adler32(data.data(), data.size()), (b << 16) | a);
    size_t cut = 777777;
    EXPECT_EQ(zbpng::adler32(data.data() + cut, data.size() - cut, zbpng::adler32(data.data(), cut)),
              zbpng::adler32(data.data(), data.size()));
    auto random = noise(100000, 7);
    EXPECT_EQ(zbpng::crc32(random.data() + 5000, random.size() - 5000, zbpng::crc32(random.data(), 5000)),
              zbpng::crc32(random.data(), random.size()));
}

TEST(PngDeflate, SmallAndDegenerateInputsRoundTrip) {
    roundTrip({});
    roundTrip({0});
    roundTrip({1, 2});
    roundTrip(bytes("abcabcabcabcabcabcabcabc"));
    roundTrip(bytes("aaaa"));
    // Every byte value, which uses both lengths of the fixed literal codes.
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    roundTrip(all);
}

TEST(PngDeflate, LongRunsUseTheLongestMatchAndCompressWell) {
    std::vector<uint8_t> zeros(300000, 0);
    size_t size = roundTrip(zeros);
    // 258 bytes per match of a few bits each: far below one bit per byte.
    EXPECT_LT(size, zeros.size() / 100);
    // Runs ending at every length around the match limits.
    for (size_t n : {257u, 258u, 259u, 260u, 261u, 516u, 517u}) {
        std::vector<uint8_t> run(n, 'x');
        run.push_back('y');
        roundTrip(run);
    }
}

TEST(PngDeflate, MatchesReachBackExactlyTheWindow) {
    for (size_t gap : {32768u - 300u, 32768u - 299u, 32768u - 301u}) {
        auto head = noise(300, 1);
        auto filler = noise(gap, 2);
        std::vector<uint8_t> data = head;
        data.insert(data.end(), filler.begin(), filler.end());
        data.insert(data.end(), head.begin(), head.end());
        roundTrip(data);
    }
}

TEST(PngDeflate, IncompressibleDataStaysCloseToItsSize) {
    auto data = noise(200000, 3);
    size_t size = roundTrip(data);
    // Fixed codes spend 8 or 9 bits on a literal.
    EXPECT_LT(size, data.size() * 9 / 8 + 64);
}

TEST(PngDeflate, ShortMatchesInTextRoundTrip) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "file " + std::to_string(i * 7919 % 1000) + " (\\My Documents\\x" + std::to_string(i % 13) + ")\n";
    size_t size = roundTrip(bytes(text));
    EXPECT_LT(size, text.size() / 3);
}

struct Picture {
    uint32_t width, height;
    std::vector<uint8_t> rgb;
};

Picture picture(uint32_t width, uint32_t height, uint32_t seed, int kind) {
    Picture p{width, height, std::vector<uint8_t>(size_t{width} * height * 3)};
    std::mt19937 random(seed);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* px = &p.rgb[(size_t{y} * width + x) * 3];
            switch (kind) {
                case 0:  // flat white, like an empty screen
                    px[0] = px[1] = px[2] = 255;
                    break;
                case 1:  // gradients: each filter wins somewhere
                    px[0] = static_cast<uint8_t>(x * 3 + y);
                    px[1] = static_cast<uint8_t>(y * 5);
                    px[2] = static_cast<uint8_t>((x * y) >> 3);
                    break;
                default:  // noise
                    px[0] = static_cast<uint8_t>(random());
                    px[1] = static_cast<uint8_t>(random());
                    px[2] = static_cast<uint8_t>(random());
                    break;
            }
        }
    }
    return p;
}

TEST(PngEncode, PixelsComeBackExactly) {
    for (int kind = 0; kind < 3; ++kind) {
        for (auto [w, h] : {std::pair{1u, 1u}, {240u, 320u}, {17u, 13u}, {640u, 240u}, {1u, 300u}, {300u, 1u}}) {
            Picture p = picture(w, h, w * 31 + h, kind);
            std::vector<uint8_t> file;
            ASSERT_EQ(zbpng::encodeRgb(p.rgb.data(), w, h, file), kStatusOk);
            pngtest::Image image;
            std::string error;
            ASSERT_TRUE(pngtest::readPng(file, image, error)) << error << " kind " << kind << " " << w << "x" << h;
            EXPECT_EQ(image.width, w);
            EXPECT_EQ(image.height, h);
            EXPECT_TRUE(image.rgb == p.rgb) << "kind " << kind << " " << w << "x" << h;
        }
    }
}

TEST(PngEncode, FileLayoutIsSignatureHeaderDataEnd) {
    Picture p = picture(240, 320, 1, 1);
    std::vector<uint8_t> file;
    ASSERT_EQ(zbpng::encodeRgb(p.rgb.data(), 240, 320, file), kStatusOk);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(file.size(), 8u + 25u + 12u + 12u);
    EXPECT_EQ(std::memcmp(file.data(), signature, 8), 0);
    // IHDR first: length 13, then width 240 and height 320, big-endian.
    const uint8_t ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 240, 0, 0, 1, 64, 8, 2, 0, 0, 0};
    EXPECT_EQ(std::memcmp(file.data() + 8, ihdr, sizeof ihdr), 0);
    const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(std::memcmp(file.data() + file.size() - 12, iend, 12), 0);
}

TEST(PngEncode, FlatScreenIsSmall) {
    Picture p = picture(240, 320, 1, 0);
    std::vector<uint8_t> file;
    ASSERT_EQ(zbpng::encodeRgb(p.rgb.data(), 240, 320, file), kStatusOk);
    // At least a hundredfold: the runs of a flat screen cost a few bits per 258 bytes.
    EXPECT_LT(file.size(), 240u * 320u * 3u / 100u);
}

TEST(PngEncode, RefusesEmptyOversizedOrMissingImages) {
    uint8_t pixel[3] = {1, 2, 3};
    std::vector<uint8_t> file = {42};
    EXPECT_EQ(zbpng::encodeRgb(pixel, 0, 1, file), kStatusBadArgument);
    EXPECT_EQ(zbpng::encodeRgb(pixel, 1, 0, file), kStatusBadArgument);
    EXPECT_EQ(zbpng::encodeRgb(nullptr, 1, 1, file), kStatusBadArgument);
    EXPECT_EQ(zbpng::encodeRgb(pixel, zbpng::kMaxSide + 1, 1, file), kStatusBadArgument);
    EXPECT_EQ(file, std::vector<uint8_t>{42}) << "a refused image leaves the output alone";
}

TEST(PngReader, RejectsDamagedFiles) {
    // The reader must be able to fail, or the round trips above prove nothing.
    Picture p = picture(8, 8, 1, 2);
    std::vector<uint8_t> file;
    ASSERT_EQ(zbpng::encodeRgb(p.rgb.data(), 8, 8, file), kStatusOk);
    pngtest::Image image;
    std::string error;
    auto damaged = file;
    damaged[40] ^= 0x10;  // inside the IDAT data: its chunk CRC no longer fits
    EXPECT_FALSE(pngtest::readPng(damaged, image, error));
    damaged = file;
    damaged.resize(file.size() - 12);  // no IEND
    EXPECT_FALSE(pngtest::readPng(damaged, image, error));
    std::vector<uint8_t> compressed, back;
    auto data = bytes("hello hello hello");
    zbpng::zlibCompress(data.data(), data.size(), compressed);
    compressed[compressed.size() - 1] ^= 1;  // Adler-32
    EXPECT_FALSE(pngtest::inflateZlib(compressed.data(), compressed.size(), back, error));
}

}  // namespace
