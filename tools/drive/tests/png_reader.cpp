#include "tools/drive/tests/png_reader.h"

#include <cstdlib>
#include <cstring>

namespace pngtest {

namespace {

// Own checksums, so that a fault in the writer's cannot hide itself.
uint32_t crcOf(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

uint32_t adlerOf(const uint8_t* data, size_t size) {
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

uint32_t bigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct Huffman {
    uint16_t count[16] = {};
    uint16_t symbol[320] = {};
};

class Inflater {
public:
    Inflater(const uint8_t* data, size_t size, std::vector<uint8_t>& out) : data_(data), size_(size), out_(out) {}

    bool run(std::string& error) {
        bool last = false;
        while (!last) {
            last = bits(1) == 1;
            uint32_t type = bits(2);
            if (failed_) break;
            bool ok = type == 0 ? stored() : type == 1 ? fixed() : type == 2 ? dynamic() : fail("block type 3");
            if (!ok) break;
        }
        if (failed_) error = reason_;
        return !failed_;
    }
    size_t consumed() const { return position_; }

private:
    bool fail(const char* reason) {
        if (!failed_) reason_ = reason;
        failed_ = true;
        return false;
    }

    uint32_t bits(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bitCount_ == 0) {
                if (position_ >= size_) {
                    fail("deflate data ends early");
                    return 0;
                }
                bitBuffer_ = data_[position_++];
                bitCount_ = 8;
            }
            value |= (bitBuffer_ & 1u) << i;
            bitBuffer_ >>= 1;
            --bitCount_;
        }
        return value;
    }

    bool stored() {
        bitCount_ = 0;  // to the byte boundary
        if (position_ + 4 > size_) return fail("stored block header ends early");
        uint32_t length = data_[position_] | (data_[position_ + 1] << 8);
        uint32_t check = data_[position_ + 2] | (data_[position_ + 3] << 8);
        position_ += 4;
        if ((length ^ 0xFFFF) != check) return fail("stored block length check");
        if (position_ + length > size_) return fail("stored block ends early");
        out_.insert(out_.end(), data_ + position_, data_ + position_ + length);
        position_ += length;
        return true;
    }

    bool build(Huffman& h, const uint8_t* lengths, int n) {
        std::memset(h.count, 0, sizeof h.count);
        for (int i = 0; i < n; ++i) ++h.count[lengths[i]];
        if (h.count[0] == n) return true;  // no codes: allowed for an unused distance table
        int left = 1;
        for (int len = 1; len < 16; ++len) {
            left <<= 1;
            left -= h.count[len];
            if (left < 0) return fail("over-subscribed code");
        }
        uint16_t offsets[16] = {};
        for (int len = 1; len < 15; ++len) offsets[len + 1] = offsets[len] + h.count[len];
        for (int i = 0; i < n; ++i)
            if (lengths[i]) h.symbol[offsets[lengths[i]]++] = static_cast<uint16_t>(i);
        return true;
    }

    int decode(const Huffman& h) {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            code |= static_cast<int>(bits(1));
            if (failed_) return -1;
            int count = h.count[len];
            if (code - count < first) return h.symbol[index + (code - first)];
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        fail("invalid Huffman code");
        return -1;
    }

    bool codes(const Huffman& literals, const Huffman& distances) {
        static const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const uint16_t distBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                              33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                              1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const uint8_t distExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int symbol = decode(literals);
            if (symbol < 0) return false;
            if (symbol < 256) {
                out_.push_back(static_cast<uint8_t>(symbol));
                continue;
            }
            if (symbol == 256) return true;
            symbol -= 257;
            if (symbol >= 29) return fail("invalid length symbol");
            size_t length = lengthBase[symbol] + bits(lengthExtra[symbol]);
            int d = decode(distances);
            if (d < 0) return false;
            if (d >= 30) return fail("invalid distance symbol");
            size_t distance = distBase[d] + bits(distExtra[d]);
            if (failed_) return false;
            if (distance > out_.size()) return fail("distance before the start");
            size_t from = out_.size() - distance;
            for (size_t i = 0; i < length; ++i) out_.push_back(out_[from + i]);
        }
    }

    bool fixed() {
        uint8_t lengths[320];
        int i = 0;
        for (; i < 144; ++i) lengths[i] = 8;
        for (; i < 256; ++i) lengths[i] = 9;
        for (; i < 280; ++i) lengths[i] = 7;
        for (; i < 288; ++i) lengths[i] = 8;
        Huffman literals, distances;
        build(literals, lengths, 288);
        for (i = 0; i < 30; ++i) lengths[i] = 5;
        build(distances, lengths, 30);
        return codes(literals, distances);
    }

    bool dynamic() {
        static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        int nlen = static_cast<int>(bits(5)) + 257, ndist = static_cast<int>(bits(5)) + 1, ncode = static_cast<int>(bits(4)) + 4;
        if (failed_) return false;
        if (nlen > 286 || ndist > 30) return fail("too many codes");
        uint8_t lengths[320] = {};
        for (int i = 0; i < ncode; ++i) lengths[order[i]] = static_cast<uint8_t>(bits(3));
        Huffman lencode;
        if (!build(lencode, lengths, 19)) return false;
        int index = 0;
        while (index < nlen + ndist) {
            int symbol = decode(lencode);
            if (symbol < 0) return false;
            if (symbol < 16) {
                lengths[index++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t value = 0;
            int repeat = 0;
            if (symbol == 16) {
                if (index == 0) return fail("repeat with no previous length");
                value = lengths[index - 1];
                repeat = 3 + static_cast<int>(bits(2));
            } else if (symbol == 17) {
                repeat = 3 + static_cast<int>(bits(3));
            } else {
                repeat = 11 + static_cast<int>(bits(7));
            }
            if (index + repeat > nlen + ndist) return fail("too many lengths");
            while (repeat--) lengths[index++] = value;
        }
        if (lengths[256] == 0) return fail("no end-of-block code");
        Huffman literals, distances;
        if (!build(literals, lengths, nlen) || !build(distances, lengths + nlen, ndist)) return false;
        return codes(literals, distances);
    }

    const uint8_t* data_;
    size_t size_;
    std::vector<uint8_t>& out_;
    size_t position_ = 0;
    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    bool failed_ = false;
    std::string reason_;
};

int paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

bool inflateZlib(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& error) {
    if (size < 6) {
        error = "zlib stream too short";
        return false;
    }
    if ((data[0] & 0x0F) != 8 || (data[0] >> 4) > 7 || ((data[0] << 8) | data[1]) % 31 != 0 || (data[1] & 0x20)) {
        error = "bad zlib header";
        return false;
    }
    out.clear();
    Inflater inflater(data + 2, size - 6, out);
    if (!inflater.run(error)) return false;
    if (inflater.consumed() != size - 6) {
        error = "data after the final block";
        return false;
    }
    if (bigEndian(data + size - 4) != adlerOf(out.data(), out.size())) {
        error = "Adler-32 mismatch";
        return false;
    }
    return true;
}

bool readPng(const std::vector<uint8_t>& file, Image& image, std::string& error) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0) {
        error = "no PNG signature";
        return false;
    }
    std::vector<uint8_t> compressed;
    bool haveHeader = false, ended = false;
    size_t p = 8;
    while (p < file.size() && !ended) {
        if (file.size() - p < 12) {
            error = "chunk header ends early";
            return false;
        }
        uint32_t length = bigEndian(&file[p]);
        if (length > file.size() - p - 12) {
            error = "chunk ends early";
            return false;
        }
        std::string type(reinterpret_cast<const char*>(&file[p + 4]), 4);
        const uint8_t* body = &file[p + 8];
        if (bigEndian(body + length) != crcOf(&file[p + 4], length + 4)) {
            error = "CRC mismatch in " + type;
            return false;
        }
        if (type == "IHDR") {
            if (length != 13 || haveHeader) {
                error = "bad IHDR";
                return false;
            }
            image.width = bigEndian(body);
            image.height = bigEndian(body + 4);
            if (body[8] != 8 || body[9] != 2 || body[10] || body[11] || body[12]) {
                error = "not 8-bit RGB, deflate, non-interlaced";
                return false;
            }
            haveHeader = true;
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), body, body + length);
        } else if (type == "IEND") {
            ended = true;
        }
        p += 12 + length;
    }
    if (!haveHeader || !ended || p != file.size()) {
        error = "missing IHDR or IEND, or data after IEND";
        return false;
    }
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        error = "bad image size";
        return false;
    }
    std::vector<uint8_t> raw;
    if (!inflateZlib(compressed.data(), compressed.size(), raw, error)) return false;
    const size_t stride = size_t{image.width} * 3;
    if (raw.size() != (stride + 1) * image.height) {
        error = "image data has the wrong size";
        return false;
    }
    image.rgb.assign(stride * image.height, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        int filter = raw[y * (stride + 1)];
        const uint8_t* in = &raw[y * (stride + 1) + 1];
        uint8_t* row = &image.rgb[y * stride];
        const uint8_t* above = y ? row - stride : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= 3 ? row[i - 3] : 0, b = above ? above[i] : 0, c = (above && i >= 3) ? above[i - 3] : 0;
            int predicted = 0;
            switch (filter) {
                case 0: break;
                case 1: predicted = a; break;
                case 2: predicted = b; break;
                case 3: predicted = (a + b) / 2; break;
                case 4: predicted = paeth(a, b, c); break;
                default: error = "bad filter type"; return false;
            }
            row[i] = static_cast<uint8_t>(in[i] + predicted);
        }
    }
    return true;
}

}  // namespace pngtest
