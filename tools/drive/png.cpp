#include "tools/drive/png.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace zbpng {

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

// ---- deflate with the fixed Huffman codes ----

constexpr size_t kWindow = 32768;
constexpr size_t kWindowMask = kWindow - 1;
constexpr int kHashBits = 15;
constexpr size_t kHashSize = size_t{1} << kHashBits;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
// How many earlier positions with the same hash are tried: long enough for the
// repeated rows of a screen, short enough that noise does not cost much.
constexpr int kMaxChain = 96;
// A match this long is taken at once, without looking one byte further.
constexpr int kLazyEnough = 64;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr uint32_t reverseBits(uint32_t code, int length) {
    uint32_t out = 0;
    for (int i = 0; i < length; ++i) {
        out = (out << 1) | (code & 1);
        code >>= 1;
    }
    return out;
}

struct FixedCode {
    uint16_t bits;  // already reversed: deflate sends Huffman codes first bit first
    uint8_t length;
};

constexpr std::array<FixedCode, 288> makeLiteralCodes() {
    std::array<FixedCode, 288> codes{};
    for (uint32_t s = 0; s < 288; ++s) {
        uint32_t code = 0;
        int length = 0;
        if (s < 144) {
            code = 0x30 + s, length = 8;
        } else if (s < 256) {
            code = 0x190 + (s - 144), length = 9;
        } else if (s < 280) {
            code = s - 256, length = 7;
        } else {
            code = 0xC0 + (s - 280), length = 8;
        }
        codes[s] = FixedCode{static_cast<uint16_t>(reverseBits(code, length)), static_cast<uint8_t>(length)};
    }
    return codes;
}
constexpr std::array<FixedCode, 288> kLiteralCodes = makeLiteralCodes();

constexpr std::array<uint8_t, kMaxMatch + 1> makeLengthSymbols() {
    std::array<uint8_t, kMaxMatch + 1> symbols{};
    for (int i = 0; i < 29; ++i) {
        // 258 has its own code (285); code 284 stops at 257.
        int end = i + 1 < 29 ? kLengthBase[i + 1] : kMaxMatch + 1;
        for (int length = kLengthBase[i]; length < end; ++length) symbols[length] = static_cast<uint8_t>(i);
    }
    return symbols;
}
constexpr std::array<uint8_t, kMaxMatch + 1> kLengthSymbols = makeLengthSymbols();

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(uint32_t bits, int count) {
        buffer_ |= static_cast<uint64_t>(bits) << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<uint8_t>(buffer_));
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }
    void flush() {
        if (filled_ > 0) out_.push_back(static_cast<uint8_t>(buffer_));
        buffer_ = 0;
        filled_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t buffer_ = 0;
    int filled_ = 0;
};

void putLiteral(BitWriter& bits, unsigned symbol) {
    bits.put(kLiteralCodes[symbol].bits, kLiteralCodes[symbol].length);
}

void putMatch(BitWriter& bits, int length, size_t distance) {
    int l = kLengthSymbols[length];
    putLiteral(bits, 257 + l);
    if (kLengthExtra[l]) bits.put(length - kLengthBase[l], kLengthExtra[l]);
    int d = 29;
    while (kDistanceBase[d] > distance) --d;
    bits.put(reverseBits(d, 5), 5);
    if (kDistanceExtra[d]) bits.put(static_cast<uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

// The LZ77 search: hash chains over the last 32 KiB.
class Matcher {
public:
    Matcher(const uint8_t* data, size_t size) : data_(data), size_(size), head_(kHashSize, -1), prev_(kWindow, -1) {}

    void insert(size_t position) {
        if (position + kMinMatch > size_) return;
        uint32_t h = hash(position);
        prev_[position & kWindowMask] = head_[h];
        head_[h] = static_cast<int32_t>(position);
    }

    // The longest earlier match at `position` (length 0 when none reaches 3).
    int longest(size_t position, size_t& distance) const {
        if (position + kMinMatch > size_) return 0;
        size_t limit = size_ - position < static_cast<size_t>(kMaxMatch) ? size_ - position : kMaxMatch;
        int best = 0;
        int32_t candidate = head_[hash(position)];
        for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
            size_t c = static_cast<size_t>(candidate);
            if (c >= position || position - c > kWindow) break;
            if (data_[c + best] == data_[position + best]) {
                size_t length = 0;
                while (length < limit && data_[c + length] == data_[position + length]) ++length;
                if (static_cast<int>(length) > best) {
                    best = static_cast<int>(length);
                    distance = position - c;
                    if (length == limit) break;
                }
            }
            int32_t next = prev_[c & kWindowMask];
            if (next >= candidate) break;  // the slot was reused by a newer position
            candidate = next;
        }
        return best >= kMinMatch ? best : 0;
    }

private:
    uint32_t hash(size_t p) const {
        return ((uint32_t{data_[p]} << 10) ^ (uint32_t{data_[p + 1]} << 5) ^ data_[p + 2]) & (kHashSize - 1);
    }

    const uint8_t* data_;
    size_t size_;
    std::vector<int32_t> head_;
    std::vector<int32_t> prev_;
};

void deflateFixed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    BitWriter bits(out);
    bits.put(1, 1);  // the only and final block
    bits.put(1, 2);  // compressed with the fixed codes
    Matcher matcher(data, size);
    size_t position = 0;
    while (position < size) {
        size_t distance = 0;
        int length = matcher.longest(position, distance);
        if (length && length < kLazyEnough && position + 1 < size) {
            // One step of lazy matching: a longer match one byte on is worth a literal.
            matcher.insert(position);
            size_t nextDistance = 0;
            int next = matcher.longest(position + 1, nextDistance);
            if (next > length) {
                putLiteral(bits, data[position]);
                ++position;
                length = next;
                distance = nextDistance;
            } else {
                putMatch(bits, length, distance);
                for (int i = 1; i < length; ++i) matcher.insert(position + i);
                position += length;
                continue;
            }
        }
        if (length) {
            putMatch(bits, length, distance);
            for (int i = 0; i < length; ++i) matcher.insert(position + i);
            position += length;
        } else {
            putLiteral(bits, data[position]);
            matcher.insert(position);
            ++position;
        }
    }
    putLiteral(bits, 256);
    bits.flush();
}

// ---- PNG ----

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

uint8_t paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

// Filters one row with filter `type` (0 none, 1 sub, 2 up, 3 average, 4 Paeth)
// into `out`; `above` is the previous row (zeros for the first).
void filterRow(int type, const uint8_t* row, const uint8_t* above, size_t length, uint8_t* out) {
    constexpr size_t bpp = 3;
    for (size_t i = 0; i < length; ++i) {
        int left = i >= bpp ? row[i - bpp] : 0;
        int up = above[i];
        int upLeft = i >= bpp ? above[i - bpp] : 0;
        int predicted = 0;
        switch (type) {
            case 1: predicted = left; break;
            case 2: predicted = up; break;
            case 3: predicted = (left + up) / 2; break;
            case 4: predicted = paeth(left, up, upLeft); break;
            default: break;
        }
        out[i] = static_cast<uint8_t>(row[i] - predicted);
    }
}

// The usual choice of filter: the one whose output, read as signed bytes, has
// the smallest sum of magnitudes.
uint64_t filterCost(const uint8_t* filtered, size_t length) {
    uint64_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(filtered[i])));
    return sum;
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size, uint32_t start) {
    uint32_t c = start ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = kCrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t adler32(const uint8_t* data, size_t size, uint32_t start) {
    constexpr uint32_t kBase = 65521;
    // 5552 bytes is the most that can be summed before the 32-bit sums could overflow.
    constexpr size_t kBlock = 5552;
    uint32_t a = start & 0xFFFF, b = start >> 16;
    while (size > 0) {
        size_t n = size < kBlock ? size : kBlock;
        size -= n;
        while (n--) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}

void zlibCompress(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    out.push_back(0x78);  // deflate with a 32 KiB window
    out.push_back(0x9C);  // no dictionary; check bits make the header a multiple of 31
    deflateFixed(data, size, out);
    putBigEndian(out, adler32(data, size));
}

Status encodeRgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    if (!rgb || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return kStatusBadArgument;
    const size_t stride = size_t{width} * 3;

    std::vector<uint8_t> raw;
    raw.reserve((stride + 1) * height);
    std::vector<uint8_t> zeros(stride, 0), candidate(stride), best(stride);
    const uint8_t* above = zeros.data();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = rgb + stride * y;
        int bestType = 0;
        uint64_t bestCost = UINT64_MAX;
        for (int type = 0; type < 5; ++type) {
            filterRow(type, row, above, stride, candidate.data());
            uint64_t cost = filterCost(candidate.data(), stride);
            if (cost < bestCost) {
                bestCost = cost;
                bestType = type;
                best.swap(candidate);
            }
        }
        raw.push_back(static_cast<uint8_t>(bestType));
        raw.insert(raw.end(), best.begin(), best.end());
        above = row;
    }

    std::vector<uint8_t> header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header.push_back(8);  // bits per sample
    header.push_back(2);  // colour type: RGB
    header.push_back(0);  // compression: deflate
    header.push_back(0);  // filtering: adaptive, five types
    header.push_back(0);  // not interlaced
    std::vector<uint8_t> compressed;
    zlibCompress(raw.data(), raw.size(), compressed);

    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.assign(kSignature, kSignature + 8);
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", compressed);
    putChunk(out, "IEND", {});
    return kStatusOk;
}

}  // namespace zbpng
