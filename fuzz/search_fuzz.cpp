// The search table against the literal search over arbitrary databases and
// windows. An input is read as a recipe: records drawn from a small alphabet
// (so that patterns collide and share first bytes), a window, and patterns
// planted in it, at its edges too (fuzz/seeds/search: records sharing a
// short first pattern, with long second patterns). With the first byte's top bit set the
// rest is instead a raw record area and a window, so that arbitrary record
// bytes go through validation. Each search table is laid out both ways, as
// for its size and grown. Any disagreement stops the fuzzer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/search.h"
#include "engine/vps_format.h"

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t next16() { return static_cast<uint16_t>(next() | (next() << 8)); }
    size_t left() const { return size_ - (at_ < size_ ? at_ : size_); }
    const uint8_t* rest() const { return data_ + (at_ < size_ ? at_ : size_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Through both kernels of the table (the vector one where this machine has it).
void compareKernels(VpsDatabase& db, const uint8_t* window, uint32_t length) {
    for (WindowPlace place : {WindowPlace::startOfFile, WindowPlace::insideFile}) {
        MatchResult literal;
        searchLiteral(db, window, length, place, literal);
        for (SearchKernel kernel : {SearchKernel::portable, SearchKernel::vector}) {
            if (!searchTableSetKernel(db, kernel)) continue;
            MatchResult fast;
            searchFast(db, window, length, place, fast);
            if (literal.recordNumber != fast.recordNumber) __builtin_trap();
            if (literal.recordNumber == 0) continue;
            if (literal.matchOffset != fast.matchOffset || literal.recordFlags != fast.recordFlags ||
                literal.virusName != fast.virusName) {
                __builtin_trap();
            }
        }
    }
}

// In both layouts of the table: as the loader lays it out for the
// database's size, and grown (the gate and kernels of a large database),
// which takes these small databases through the code of large ones.
void compare(VpsDatabase& db, const uint8_t* window, uint32_t length) {
    compareKernels(db, window, length);
    searchTableFree(db);
    if (searchTableBuild(db, SearchTableLayout::grown) != kStatusOk) __builtin_trap();
    compareKernels(db, window, length);
    searchTableFree(db);
    if (searchTableBuild(db) != kStatusOk) __builtin_trap();
}

// The window goes into a heap block of exactly its length, so that a read
// past it is caught.
void compareExact(VpsDatabase& db, const std::vector<uint8_t>& window) {
    uint8_t* exact = static_cast<uint8_t*>(std::malloc(window.empty() ? 1 : window.size()));
    if (!window.empty()) std::memcpy(exact, window.data(), window.size());
    compare(db, exact, static_cast<uint32_t>(window.size()));
    std::free(exact);
}

void rawCase(Input& in) {
    const uint16_t areaLength = in.next16() % 2048;
    const size_t take = areaLength < in.left() ? areaLength : in.left();
    VpsDatabase db;
    if (vpsLoadRecordArea(in.rest(), take, db) == kStatusOk) {
        const uint8_t* window = in.rest() + take;
        const size_t windowLength = in.left() - take;
        compareExact(db, std::vector<uint8_t>(window, window + windowLength));
        compareExact(db, std::vector<uint8_t>(in.rest(), in.rest() + take));
    }
    vpsRelease(db);
}

struct Pattern {
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    int32_t offset = 0;
};

void recipeCase(Input& in, uint8_t head) {
    static const uint8_t kSymbols[] = {'a', 0x00, 0xFF, 'b', 'c', 0x80, 'd', 'e'};
    const uint32_t alphabet = 2 + (head >> 4) % 7;
    auto symbol = [&]() { return kSymbols[in.next() % alphabet]; };
    const uint32_t records = 1 + (head & 0x0F) * 4 + in.next() % 4;
    const uint32_t longest = 1 + in.next() % 40;

    std::vector<uint8_t> area;
    std::vector<Pattern> patterns;
    for (uint32_t i = 0; i < records && !in.empty(); ++i) {
        Pattern p;
        const uint32_t n = 1 + in.next() % longest;
        for (uint32_t k = 0; k < n; ++k) p.first.push_back(symbol());
        const uint8_t shape = in.next();
        const uint16_t flags = (shape & 1) ? kVpsFlagAnchored : static_cast<uint16_t>(shape & 6);
        // A second pattern of 4 to 12 bytes is drawn from every byte value:
        // records that share a short first pattern and are told apart by a
        // long second one, which the table finds them by.
        uint32_t m = (shape >> 3) % 5;
        if (m == 4) {
            m += in.next() % 9;
            for (uint32_t k = 0; k < m; ++k) p.second.push_back(in.next());
        } else {
            for (uint32_t k = 0; k < m; ++k) p.second.push_back(symbol());
        }
        p.offset = m == 0 ? 0 : static_cast<int8_t>(in.next());
        if (i > 0 && (shape & 0xC0) == 0xC0) p.first = patterns[in.next() % patterns.size()].first;
        const uint32_t length = kVpsRecordFixedLength + static_cast<uint32_t>(p.first.size()) + m + 2;
        area.push_back(static_cast<uint8_t>(length));
        put(area, flags, 2);
        area.push_back(static_cast<uint8_t>(p.first.size()));
        area.insert(area.end(), p.first.begin(), p.first.end());
        put(area, static_cast<uint32_t>(p.offset), 4);
        area.push_back(static_cast<uint8_t>(m));
        area.insert(area.end(), p.second.begin(), p.second.end());
        put(area, 0, 4);  // the checksummed-area fields
        put(area, 0, 4);
        put(area, 0, 4);
        area.push_back(static_cast<uint8_t>('A' + i % 26));
        area.push_back(0);
        patterns.push_back(p);
    }
    VpsDatabase db;
    if (vpsLoadRecordArea(area.data(), area.size(), db) != kStatusOk) __builtin_trap();

    const uint32_t windowLength = in.next16() % 1200;
    std::vector<uint8_t> window(windowLength);
    for (uint8_t& b : window) b = symbol();
    const uint32_t plants = windowLength == 0 ? 0 : in.next() % 6;
    auto place = [&](int64_t at, const std::vector<uint8_t>& bytes) {
        for (size_t k = 0; k < bytes.size(); ++k) {
            const int64_t w = at + static_cast<int64_t>(k);
            if (w >= 0 && w < static_cast<int64_t>(windowLength)) window[static_cast<size_t>(w)] = bytes[k];
        }
    };
    for (uint32_t k = 0; k < plants && !patterns.empty(); ++k) {
        const Pattern& p = patterns[in.next() % patterns.size()];
        const uint8_t where = in.next();
        int64_t at = where < 64 ? 0 : where < 128 ? static_cast<int64_t>(windowLength) - static_cast<int64_t>(p.first.size())
                                                  : static_cast<int64_t>(in.next16() % windowLength);
        place(at, p.first);
        if (!p.second.empty()) place(at + static_cast<int64_t>(p.first.size()) + p.offset, p.second);
    }
    compareExact(db, window);
    vpsRelease(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint8_t head = in.next();
    if (head & 0x80) {
        rawCase(in);
    } else {
        recipeCase(in, head);
    }
    return 0;
}
