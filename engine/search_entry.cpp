#include "engine/search_entry.h"

#include <cstdlib>
#include <cstring>

#include "engine/vps_format.h"

namespace {

// A record's fields at its offset in the validated record area.
inline uint8_t firstLength(const uint8_t* area, uint32_t r) { return area[r + 3]; }
inline const uint8_t* firstBytes(const uint8_t* area, uint32_t r) { return area + r + 4; }
inline uint8_t secondLength(const uint8_t* area, uint32_t r) { return area[r + 8 + area[r + 3]]; }
inline const uint8_t* secondBytes(const uint8_t* area, uint32_t r) { return area + r + 9 + area[r + 3]; }

// How often a byte is expected in the files a handheld holds: zeros fill
// programs, 0xFF pads them, text is 7-bit; anything else is as good as rare.
// A byte equal to the one before it is a run, and runs are common.
inline double byteWeight(uint8_t b, int previous) {
    double w = b == 0 ? 0.2 : b == 0xFF ? 0.03 : (b >= 0x20 && b < 0x7F) ? 0.005 : 0.0018;
    if (previous == b && w < 0.5) w = 0.5;
    return w;
}

// The expected share of window positions at which this gram lies.
double gramWeight(const uint8_t* p, uint32_t q) {
    double w = 1;
    int previous = -1;
    for (uint32_t i = 0; i < q; ++i) {
        w *= byteWeight(p[i], previous);
        previous = p[i];
    }
    return w;
}

// Records sharing an entry's first gram with more than kCrowdFree others:
// each is weighed like a gram seen once in 100 KB of ordinary files.
constexpr uint32_t kCrowdFree = 3;
constexpr double kCrowdWeight = 1e-5;
// The whole first pattern stays the entry while it costs no more than this
// (a gram seen once in 100 KB; five grams of random bytes cost about 5e-9,
// "MZ" 2.5e-5, a run of zeros 0.025).
constexpr double kKeepWeight = 1e-5;
constexpr double kSwitchFactor = 4;
// A first pattern shared by a hundred records or more, or made of bytes
// that fill ordinary files (runs of zeros, "MZ" and a few more), gives way
// to any cheaper entry, shorter ones too.
constexpr double kHopelessWeight = 1e-3;

// The sampled grams of an entry of `length` bytes, as the table takes them:
// 4-byte grams (the whole entry when shorter) at its first offsets.
inline uint32_t gramLengthOf(uint32_t length) { return length < 4 ? length : 4; }
inline uint32_t gramCountOf(uint32_t length) {
    const uint32_t e = length < kSearchEntryPartLength ? length : kSearchEntryPartLength;
    return e - gramLengthOf(length) + 1;
}

inline uint32_t gramValue(const uint8_t* p, uint32_t q) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < q; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v | (q << 30);  // grams of different lengths never share a count
}

// Records per entry start (its first gram), counted in a hashed table of
// saturating bytes. Records of one family share their first bytes; the
// first gram is where that shows, and one count per record keeps the
// counting within the load's time at a million records.
struct Crowd {
    // Two tables with hashes of their own, read as the smaller count: a
    // gram that shares a slot with a crowded one in one table seldom does
    // in both.
    uint8_t* counts = nullptr;
    uint32_t shift = 32;
    uint32_t slots = 0;

    uint8_t* at(uint32_t gram, int table) const {
        return counts + (table == 0 ? (gram * 0x9E3779B1u) >> shift : slots + ((gram * 0x85EBCA77u) >> shift));
    }
    uint32_t gramOf(const uint8_t* bytes, uint32_t length) const { return gramValue(bytes, gramLengthOf(length)); }
    void add(const uint8_t* bytes, uint32_t length) const {
        const uint32_t gram = gramOf(bytes, length);
        for (int t = 0; t < 2; ++t) {
            uint8_t* c = at(gram, t);
            if (*c != 0xFF) ++*c;
        }
    }
    void remove(const uint8_t* bytes, uint32_t length) const {
        const uint32_t gram = gramOf(bytes, length);
        for (int t = 0; t < 2; ++t) {
            uint8_t* c = at(gram, t);
            if (*c != 0xFF && *c != 0) --*c;
        }
    }
    uint32_t count(const uint8_t* bytes, uint32_t length) const {
        const uint32_t gram = gramOf(bytes, length);
        const uint8_t a = *at(gram, 0), b = *at(gram, 1);
        return a < b ? a : b;
    }
    // A few records behind one gram cost nothing a bucket does not already
    // hold (and a shared slot overstates a crowd); past them each costs a
    // look whenever the gram is in a window.
    // `counted`: this record is among the counted ones.
    double weigh(const uint8_t* bytes, uint32_t length, bool counted) const {
        const uint32_t q = gramLengthOf(length);
        double w = 0;
        for (uint32_t j = 0; j < gramCountOf(length); ++j) w += gramWeight(bytes + j, q);
        const uint32_t n = count(bytes, length);
        const uint32_t crowd = counted && n != 0xFF && n != 0 ? n - 1u : n;
        return w + (crowd > kCrowdFree ? kCrowdWeight * (crowd - kCrowdFree) : 0);
    }
};

}  // namespace

const uint8_t* searchEntryBytes(const uint8_t* area, uint32_t record, const SearchEntryChoice& choice) {
    return (choice.part == SearchPart::first ? firstBytes(area, record) : secondBytes(area, record)) + choice.offset;
}

int64_t searchEntryDistance(const uint8_t* area, uint32_t record, const SearchEntryChoice& choice) {
    if (choice.part == SearchPart::first) return choice.offset;
    const uint8_t n = firstLength(area, record);
    return static_cast<int64_t>(n) + static_cast<int32_t>(vpsRead32(area + record + 4 + n)) + choice.offset;
}

uint32_t searchEntryPeriod(const uint8_t* bytes, uint32_t length) {
    for (uint32_t period = 1; period < length; ++period) {
        if (std::memcmp(bytes, bytes + period, length - period) == 0) return period;
    }
    return length;
}

Status searchChooseEntries(const uint8_t* area, uint64_t areaLength, uint32_t recordCount, SearchEntryChoice* choices) {
    // At least two slots per record in each table, both together at most
    // 2 MB so that the counting stays in the last-level cache.
    uint32_t bits = 16;
    while (bits < 20 && (uint64_t{1} << bits) < uint64_t{recordCount} * 2) ++bits;
    Crowd crowd;
    crowd.counts = static_cast<uint8_t*>(std::calloc(size_t{2} << bits, 1));
    if (crowd.counts == nullptr) return kStatusOutOfMemory;
    crowd.shift = 32 - bits;
    crowd.slots = 1u << bits;

    uint32_t index = 0;
    for (uint64_t offset = 0; offset < areaLength && index < recordCount; offset += area[offset], ++index) {
        const uint32_t r = static_cast<uint32_t>(offset);
        choices[index] = SearchEntryChoice{SearchPart::first, 0, firstLength(area, r)};
        crowd.add(firstBytes(area, r), firstLength(area, r));
    }
    index = 0;
    for (uint64_t offset = 0; offset < areaLength && index < recordCount; offset += area[offset], ++index) {
        const uint32_t r = static_cast<uint32_t>(offset);
        const uint8_t n = firstLength(area, r);
        const double whole = crowd.weigh(firstBytes(area, r), n, true);
        SearchEntryChoice best = choices[index];
        if (whole > kKeepWeight) {
            double bestWeight = whole;
            // Not shorter than the whole first pattern's first eight bytes
            // unless that is hopeless: a shorter entry is sampled more
            // densely, in a class that every window then pays for.
            const uint32_t least = whole >= kHopelessWeight ? 1 : n < kSearchEntryPartLength ? n : kSearchEntryPartLength;
            auto consider = [&](SearchPart part, const uint8_t* pattern, uint32_t length, uint32_t from) {
                const uint32_t e = length < kSearchEntryPartLength ? length : kSearchEntryPartLength;
                if (e == 0 || e < least) return;
                for (uint32_t k = from; k + e <= length; ++k) {
                    const double w = crowd.weigh(pattern + k, e, false);
                    if (w * kSwitchFactor < whole && w < bestWeight) {
                        bestWeight = w;
                        best = SearchEntryChoice{part, static_cast<uint8_t>(k), static_cast<uint8_t>(e)};
                    }
                }
            };
            if (n > kSearchEntryPartLength) consider(SearchPart::first, firstBytes(area, r), n, 1);
            consider(SearchPart::second, secondBytes(area, r), secondLength(area, r), 0);
        }
        if (!searchEntryIsWholeFirst(best)) {
            crowd.remove(firstBytes(area, r), n);
            crowd.add(searchEntryBytes(area, r, best), best.length);
        }
        choices[index] = best;
    }
    std::free(crowd.counts);
    return kStatusOk;
}
