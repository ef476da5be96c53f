#include "engine/search.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

// The vector kernel is for the host tools: the handheld's processor is not
// an x86, and the device build keeps to the portable code it will run.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define ZB_SEARCH_VECTOR 1
#include <immintrin.h>
#else
#define ZB_SEARCH_VECTOR 0
#endif

// How the fast search works. Records are split into classes by the length n
// of their first pattern. A class looks at q-byte grams (q = min(n, 4) of its
// shortest record) of the window, not at every position but every s-th one,
// where s = (shortest n in the class) - q + 1: an occurrence of a first
// pattern at position p covers the grams at p .. p+s-1, and exactly one of
// those positions is a multiple of s. Each record therefore enters its class
// with the grams at its offsets 0 .. s-1, each tagged with that offset j; a
// gram seen at t proposes a match at p = t - j, which is then compared in
// full exactly as the literal search does. Two bit tables keep the common
// case (no candidate) cheap. One- and two-byte grams index a bit table
// directly, and it is exact. Longer grams are hashed: the gate sets two bits
// in one 32-bit word per gram (a load and two bit tests per gram, four grams
// between two branches), and the few grams that pass it go on to the filter,
// which sets two bits in one 64-bit word per gram; together they keep false
// candidates rare (a false candidate costs a look into the bucket table,
// which is seldom in cache).
//
// The hashed classes have a second kernel for x86-64 hosts with AVX2: it
// gathers sixteen sampled grams per step with byte shuffles, hashes them in
// vector registers and tests their gate words together; only the grams that
// pass go on, one by one, exactly as in the portable kernel. Both kernels
// read the same table and propose the same candidates.
//
// Matches come out of a class in increasing position: every match at p is
// proposed at the one sampled t in p .. p+s-1, and all proposals at one t are
// weighed together. The classes are combined by keeping the lowest position
// and, on a tie, the lowest record number, which is the literal order.

namespace {

constexpr int kClassCount = 5;      // n = 1, 2, 3, 4..7, 8 and more
constexpr uint32_t kMaxStride = 8;  // bounds the grams kept per record
constexpr uint32_t kNone = UINT32_MAX;
// Gate bits per filter word (the gate is as large as the filter): with two
// bits per gram it turns away all but a few in a thousand of the grams that
// belong to no record.
constexpr uint64_t kGateBitsPerWord = 64;

int classOf(uint8_t n) {
    if (n >= 8) return 4;
    if (n >= 4) return 3;
    return n - 1;
}

uint32_t classGramLength(int c) { return c < 3 ? static_cast<uint32_t>(c + 1) : 4; }

// A record decoded once at load; offsets are into the record area.
struct SearchRecord {
    uint32_t first;
    uint32_t second;
    uint32_t name;
    int32_t secondOffset;
    uint16_t flags;
    uint8_t firstLength;
    uint8_t secondLength;
};

struct SearchEntry {
    uint32_t gram;
    uint32_t record;      // 0-based database order
    uint32_t run;         // entries from this one to the end of its group (same gram and shift)
    uint32_t segment;     // entries from this one to the end of its group's records of this first length
    uint32_t sameFirst;   // entries from this one to the end of those with the same first pattern
    uint32_t sameShape;   // ... and the same second-pattern distance and length
    uint8_t shift;        // offset j of the gram inside the first pattern
    uint8_t firstLength;  // the record's n
};

struct SearchClass {
    uint32_t gramLength = 0;  // q
    uint32_t stride = 0;      // s
    uint32_t wordBits = 0;    // the filter has 2^wordBits 64-bit words
    uint32_t entryCount = 0;
    uint64_t* filter = nullptr;
    uint64_t* gate = nullptr;         // q <= 2: one bit per gram value (the filter itself)
    uint32_t* gateWords = nullptr;    // q >= 3: two bits per hashed gram in one of these words
    uint64_t gateMask = 0;            // the gate has gateMask + 1 bits, a power of two
    uint32_t gateShift = 0;           // 32 - log2(gate words of 32 bits)
    // The vector kernel's byte shuffles: the sampled grams at 0, s, 2s and
    // 3s from a base, taken from 16 bytes at the base (pickA) or from 16
    // bytes at the base + pickBOffsetFor(s) (pickB); 0x80 picks a zero byte.
    uint8_t pickA[16] = {};
    uint8_t pickB[16] = {};
    uint32_t* bucketStart = nullptr;  // one bucket per filter word, plus the end
    SearchEntry* entries = nullptr;   // by bucket; in a bucket by group, then first pattern (length, bytes), then record
};

}  // namespace

struct SearchTable {
    uint64_t size = 0;
    uint32_t recordCount = 0;
    SearchKernel kernel = SearchKernel::portable;
    SearchRecord* records = nullptr;
    SearchClass classes[kClassCount];
};

namespace {

template <uint32_t Q>
inline uint32_t gramAt(const uint8_t* p) {
    if constexpr (Q == 4) {
        uint32_t g;
        std::memcpy(&g, p, 4);
        return g;
    } else if constexpr (Q == 3) {
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    } else if constexpr (Q == 2) {
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
    } else {
        return p[0];
    }
}

uint32_t gramAt(const uint8_t* p, uint32_t q) {
    switch (q) {
        case 1: return gramAt<1>(p);
        case 2: return gramAt<2>(p);
        case 3: return gramAt<3>(p);
        default: return gramAt<4>(p);
    }
}

// Where a gram lands in its class's filter: a word (which is also its
// bucket) and the bits it needs set there.
struct Probe {
    uint32_t word;
    uint64_t mask;
};

constexpr uint64_t kGramHash = 0x9E3779B97F4A7C15ull;

template <uint32_t Q>
inline Probe probeOf(uint32_t gram, uint32_t wordBits) {
    if constexpr (Q <= 2) {
        (void)wordBits;
        return Probe{gram >> 6, uint64_t{1} << (gram & 63)};
    } else {
        const uint64_t h = gram * kGramHash;
        const uint64_t mixed = (h ^ (h >> 29)) * 0xBF58476D1CE4E5B9ull;
        return Probe{static_cast<uint32_t>(h >> (64 - wordBits)),
                     (uint64_t{1} << (mixed >> 58)) | (uint64_t{1} << ((mixed >> 52) & 63))};
    }
}

Probe probeOf(uint32_t gram, uint32_t q, uint32_t wordBits) {
    switch (q) {
        case 1: return probeOf<1>(gram, wordBits);
        case 2: return probeOf<2>(gram, wordBits);
        case 3: return probeOf<3>(gram, wordBits);
        default: return probeOf<4>(gram, wordBits);
    }
}

// Direct filters cover every gram value; hashed ones get about 32 bits per
// entry (a word holds 2 entries on average, so a false candidate needs both
// of its bits among about 4 set ones).
uint32_t wordBitsFor(uint32_t q, uint64_t entries) {
    if (q <= 2) return 8 * q - 6 > 0 ? 8 * q - 6 : 0;
    uint32_t bits = 0;
    while ((uint64_t{1} << bits) < entries) ++bits;
    bits -= bits >= 1 ? 1 : 0;
    if (bits < 2) bits = 2;
    if (bits > 16) bits = 16;
    return bits;
}

uint64_t alignUp(uint64_t value) { return (value + 7) & ~uint64_t{7}; }

struct Best {
    uint32_t position = kNone;
    uint32_t record = kNone;
};

inline bool improves(uint32_t position, uint32_t record, const Best& best) {
    return position < best.position || (position == best.position && record < best.record);
}

// The full comparison of one record at one position, as the literal search
// makes it.
inline bool matchesAt(const SearchRecord& rec, const uint8_t* area, const uint8_t* window, uint32_t length,
                      uint32_t p) {
    if (static_cast<uint64_t>(p) + rec.firstLength > length) return false;
    if (std::memcmp(window + p, area + rec.first, rec.firstLength) != 0) return false;
    if (rec.secondLength == 0) return true;
    const int64_t s = static_cast<int64_t>(p) + rec.firstLength + rec.secondOffset;
    if (s < 0 || s + rec.secondLength > static_cast<int64_t>(length)) return false;
    return std::memcmp(window + s, area + rec.second, rec.secondLength) == 0;
}

// The gate: one bit per gram value (q <= 2, exact), or for hashed grams two
// bits in one 32-bit word: the word comes from the top bits of one
// multiplicative hash of the gram, the two bits from the top ten bits of
// another, so that testing a gram costs one load.
constexpr uint32_t kGateWordHash = 0x9E3779B1u;
constexpr uint32_t kGateBitHash = 0x85EBCA77u;

inline uint32_t gateWordOf(uint32_t gram, uint32_t gateShift) { return (gram * kGateWordHash) >> gateShift; }

inline uint32_t gateBitsOf(uint32_t gram) {
    const uint32_t h = gram * kGateBitHash;
    return (uint32_t{1} << (h >> 27)) | (uint32_t{1} << ((h >> 22) & 31));
}

template <uint32_t Q>
using GateWord = std::conditional_t<(Q <= 2), uint64_t, uint32_t>;

template <uint32_t Q>
inline const GateWord<Q>* gateOf(const SearchClass& cls) {
    if constexpr (Q <= 2) {
        return cls.gate;
    } else {
        return cls.gateWords;
    }
}

template <uint32_t Q>
inline bool gatePasses(const GateWord<Q>* gate, uint32_t gateShift, const uint8_t* p) {
    const uint32_t gram = gramAt<Q>(p);
    if constexpr (Q <= 2) {
        (void)gateShift;
        return ((gate[gram >> 6] >> (gram & 63)) & 1) != 0;
    } else {
        const uint32_t bits = gateBitsOf(gram);
        return (gate[gateWordOf(gram, gateShift)] & bits) == bits;
    }
}

template <uint32_t Q>
inline bool filterPasses(const uint64_t* filter, uint32_t wordBits, const uint8_t* p) {
    if constexpr (Q <= 2) {
        (void)filter, (void)wordBits, (void)p;
        return true;  // the gate was exact
    } else {
        const Probe probe = probeOf<Q>(gramAt<Q>(p), wordBits);
        return (probe.mask & ~filter[probe.word]) == 0;
    }
}

// The first of the four grams at p, p + stride, ... that passes both the
// gate and the filter: 0 to 3, or 4 for none. Apart from the loop below, so
// that the loop does not keep its hashes alive for it.
template <uint32_t Q>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint32_t firstOfFour(const SearchClass& cls, const uint8_t* p, uint64_t stride) {
    const uint32_t gateShift = cls.gateShift;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint8_t* at = p + k * stride;
        if (gatePasses<Q>(gateOf<Q>(cls), gateShift, at) && filterPasses<Q>(cls.filter, cls.wordBits, at)) return k;
    }
    return 4;
}

// The first sampled position from `t` on (stepping by `stride`, up to
// `tMax`) whose gram passes the class's gate and filter; past `tMax` when
// there is none. Nearly every gram is turned away by the gate, so four are
// probed between two branches, independently of each other.
// Not inlined: alone, the loop keeps everything it needs in registers.
template <uint32_t Q>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint64_t nextCandidate(const SearchClass& cls, const uint8_t* window, uint64_t t, uint64_t tMax, uint64_t stride) {
    const GateWord<Q>* const gate = gateOf<Q>(cls);
    const uint32_t gateShift = cls.gateShift;
    const uint64_t stride4 = 4 * stride;
    while (t + 3 * stride <= tMax) {
        const uint8_t* p = window + t;
        const bool a = gatePasses<Q>(gate, gateShift, p);
        const bool b = gatePasses<Q>(gate, gateShift, p + stride);
        const bool c = gatePasses<Q>(gate, gateShift, p + 2 * stride);
        const bool d = gatePasses<Q>(gate, gateShift, p + 3 * stride);
        if (a | b | c | d) {
            const uint32_t k = firstOfFour<Q>(cls, p, stride);
            if (k < 4) return t + k * stride;
        }
        t += stride4;
    }
    for (; t <= tMax; t += stride) {
        if (gatePasses<Q>(gate, gateShift, window + t) && filterPasses<Q>(cls.filter, cls.wordBits, window + t)) return t;
    }
    return t;
}

// Where the vector kernel's second 16-byte load starts for stride s: it
// ends with the fourth gram (at 3s); strides up to 4 need no second load.
constexpr uint32_t pickBOffsetFor(uint32_t s) { return s > 4 ? 3 * s - 12 : 0; }

#if ZB_SEARCH_VECTOR
// The vector kernel (hashed classes only). One step looks at the sixteen
// sampled grams at t, t + s, ..., t + 15s: each half of a 256-bit register
// takes four of them from two 16-byte loads by the class's shuffles, one
// multiply makes their gate words' indices and another their bits. The
// gate words are fetched by plain loads, which beat the gather instruction
// on the processor measured, whether the gate was in the first-level cache
// or not. Past the last whole step, the portable kernel finishes.

template <uint32_t S>
__attribute__((target("avx2"), always_inline)) inline __m256i gramsAt(const uint8_t* p, __m256i pickA, __m256i pickB) {
    constexpr uint32_t kB = pickBOffsetFor(S);
    const __m256i a = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 4 * S), reinterpret_cast<const __m128i*>(p));
    if constexpr (kB == 0) {
        (void)pickB;
        return _mm256_shuffle_epi8(a, pickA);
    } else {
        const __m256i b = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 4 * S + kB),
                                              reinterpret_cast<const __m128i*>(p + kB));
        return _mm256_or_si256(_mm256_shuffle_epi8(a, pickA), _mm256_shuffle_epi8(b, pickB));
    }
}

// A bit per gram of the eight in `grams` that passes the gate.
__attribute__((target("avx2"), always_inline)) inline uint32_t gateLanes(const uint32_t* gate, __m256i grams,
                                                                         __m128i gateShift) {
    const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(grams, _mm256_set1_epi32(static_cast<int>(kGateWordHash))),
                                          gateShift);
    const __m128i low = _mm256_castsi256_si128(word);
    const __m128i high = _mm256_extracti128_si256(word, 1);
    const uint64_t w01 = static_cast<uint64_t>(_mm_cvtsi128_si64(low));
    const uint64_t w23 = static_cast<uint64_t>(_mm_extract_epi64(low, 1));
    const uint64_t w45 = static_cast<uint64_t>(_mm_cvtsi128_si64(high));
    const uint64_t w67 = static_cast<uint64_t>(_mm_extract_epi64(high, 1));
    auto at = [gate](uint64_t index) { return static_cast<int>(gate[index]); };
    const __m256i words = _mm256_setr_epi32(at(static_cast<uint32_t>(w01)), at(w01 >> 32), at(static_cast<uint32_t>(w23)),
                                            at(w23 >> 32), at(static_cast<uint32_t>(w45)), at(w45 >> 32),
                                            at(static_cast<uint32_t>(w67)), at(w67 >> 32));
    // Shifting a word left by 31 - b brings bit b to the sign, which
    // movemask collects; 31 - b is b's complement in five bits.
    const __m256i bits = _mm256_xor_si256(_mm256_mullo_epi32(grams, _mm256_set1_epi32(static_cast<int>(kGateBitHash))),
                                          _mm256_set1_epi32(-1));
    const __m256i first = _mm256_sllv_epi32(words, _mm256_srli_epi32(bits, 27));
    const __m256i second = _mm256_sllv_epi32(words, _mm256_and_si256(_mm256_srli_epi32(bits, 22), _mm256_set1_epi32(31)));
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_and_si256(first, second))));
}

template <uint32_t Q, uint32_t S>
__attribute__((target("avx2,bmi"), noinline)) uint64_t nextCandidateVector(const SearchClass& cls,
                                                                           const uint8_t* window, uint32_t length,
                                                                           uint64_t t, uint64_t tMax) {
    const uint32_t* gate = cls.gateWords;
    const __m128i gateShift = _mm_cvtsi32_si128(static_cast<int>(cls.gateShift));
    const __m256i pickA = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cls.pickA)));
    const __m256i pickB = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cls.pickB)));
    // Bytes that one step reads from t: its second group of eight grams
    // starts 8S in, and a group reads 16 bytes from 4S + pickBOffsetFor(S)
    // past its start.
    constexpr uint64_t kSpan = 8 * S + 4 * S + pickBOffsetFor(S) + 16;
    while (t + 15 * S <= tMax && t + kSpan <= length) {
        const uint8_t* p = window + t;
        uint32_t passed = gateLanes(gate, gramsAt<S>(p, pickA, pickB), gateShift) |
                          (gateLanes(gate, gramsAt<S>(p + 8 * S, pickA, pickB), gateShift) << 8);
        while (passed != 0) {
            const uint64_t at = t + S * static_cast<uint64_t>(__builtin_ctz(passed));
            if (filterPasses<Q>(cls.filter, cls.wordBits, window + at)) return at;
            passed &= passed - 1;
        }
        t += 16 * S;
    }
    return nextCandidate<Q>(cls, window, t, tMax, S);
}

template <uint32_t Q>
uint64_t nextCandidateVector(const SearchClass& cls, const uint8_t* window, uint32_t length, uint64_t t, uint64_t tMax) {
    switch (cls.stride) {
        case 1: return nextCandidateVector<Q, 1>(cls, window, length, t, tMax);
        case 2: return nextCandidateVector<Q, 2>(cls, window, length, t, tMax);
        case 3: return nextCandidateVector<Q, 3>(cls, window, length, t, tMax);
        case 4: return nextCandidateVector<Q, 4>(cls, window, length, t, tMax);
        case 5: return nextCandidateVector<Q, 5>(cls, window, length, t, tMax);
        case 6: return nextCandidateVector<Q, 6>(cls, window, length, t, tMax);
        case 7: return nextCandidateVector<Q, 7>(cls, window, length, t, tMax);
        default: return nextCandidateVector<Q, 8>(cls, window, length, t, tMax);
    }
}

bool vectorKernelAvailable() {
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
}
#else
bool vectorKernelAvailable() { return false; }
#endif

// The shuffles of the vector kernel for grams of length q sampled every s
// bytes (see SearchClass).
void setPicks(SearchClass& cls) {
    const uint32_t s = cls.stride;
    const uint32_t bOffset = pickBOffsetFor(s);
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t offset = k * s;
        const bool fromA = offset + 4 <= 16;
        for (uint32_t i = 0; i < 4; ++i) {
            const bool inGram = i < cls.gramLength;
            cls.pickA[4 * k + i] = fromA && inGram ? static_cast<uint8_t>(offset + i) : 0x80;
            cls.pickB[4 * k + i] = !fromA && inGram ? static_cast<uint8_t>(offset - bOffset + i) : 0x80;
        }
    }
}

// Groups up to this size are compared record by record; larger ones (many
// records sharing the gram at the same offset, such as records that share
// their first bytes) are searched by first pattern.
constexpr uint32_t kLinearGroup = 8;

// Orders a group's entries by first pattern: length, then bytes, then record.
int compareFirst(const SearchRecord& a, const SearchRecord& b, const uint8_t* area) {
    if (a.firstLength != b.firstLength) return a.firstLength < b.firstLength ? -1 : 1;
    return std::memcmp(area + a.first, area + b.first, a.firstLength);
}

// Among entries [begin, end) of a group, all with the first pattern found at
// p: the lowest record whose second pattern is in the window too and that
// the anchored rule lets count there, or kNone. They are sorted by the
// distance and length of their second pattern, then by its bytes, then by
// record, so each distance and length costs one binary search.
// memcmp's order for second patterns (m >= 1), with the first byte compared
// in line: a group may hold hundreds of second-pattern shapes, and most of
// the window's bytes differ from a pattern at its first byte.
inline int compareSecond(const uint8_t* pattern, const uint8_t* bytes, uint8_t m) {
    if (pattern[0] != bytes[0]) return pattern[0] < bytes[0] ? -1 : 1;
    return m == 1 ? 0 : std::memcmp(pattern + 1, bytes + 1, m - 1u);
}

uint32_t lowestWithSecond(const SearchTable& table, const SearchEntry* group, uint32_t begin, uint32_t end,
                          const uint8_t* area, const uint8_t* window, uint32_t length, uint32_t p,
                          bool anchoredAtStartOnly) {
    uint32_t lowest = kNone;
    for (uint32_t k = begin; k < end; k += group[k].sameShape) {
        const uint32_t shapeEnd = k + group[k].sameShape;
        const SearchRecord& shape = table.records[group[k].record];
        const uint8_t m = shape.secondLength;
        const uint8_t* second = nullptr;
        uint32_t from = k;
        if (m != 0) {
            const int64_t at = static_cast<int64_t>(p) + shape.firstLength + shape.secondOffset;
            if (at < 0 || at + m > static_cast<int64_t>(length)) continue;
            second = window + at;
            uint32_t hi = shapeEnd;
            while (from < hi) {
                const uint32_t mid = from + (hi - from) / 2;
                if (compareSecond(area + table.records[group[mid].record].second, second, m) < 0) from = mid + 1; else hi = mid;
            }
        }
        for (uint32_t i = from; i < shapeEnd; ++i) {
            const uint32_t record = group[i].record;
            const SearchRecord& rec = table.records[record];
            if (m != 0 && compareSecond(area + rec.second, second, m) != 0) break;
            if (anchoredAtStartOnly && (rec.flags & kVpsFlagAnchored) != 0 && p != 0) continue;
            if (record < lowest) lowest = record;
            break;  // the rest of this run have higher numbers
        }
    }
    return lowest;
}

// One large group, all proposing position p. Only records whose first
// pattern equals the window's bytes at p can match: for each first-pattern
// length in the group, a binary search finds them, and among records with
// the same first pattern the lowest that matches whole is the only one that
// can count (the group is in record order there). So a window costs per
// group a few comparisons per length, not one per record.
void searchGroup(const SearchTable& table, const SearchEntry* group, uint32_t count, const uint8_t* area,
                 const uint8_t* window, uint32_t length, uint32_t p, bool anchoredAtStartOnly, Best& best) {
    uint32_t begin = 0;
    while (begin < count) {
        const uint8_t n = group[begin].firstLength;
        const uint32_t segmentEnd = begin + group[begin].segment;
        if (static_cast<uint64_t>(p) + n <= length) {
            const uint8_t* bytes = window + p;
            uint32_t lo = begin, hi = segmentEnd;
            while (lo < hi) {
                const uint32_t mid = lo + (hi - lo) / 2;
                if (std::memcmp(area + table.records[group[mid].record].first, bytes, n) < 0) lo = mid + 1; else hi = mid;
            }
            if (lo < segmentEnd && std::memcmp(area + table.records[group[lo].record].first, bytes, n) == 0) {
                const uint32_t record = lowestWithSecond(table, group, lo, lo + group[lo].sameFirst, area, window,
                                                         length, p, anchoredAtStartOnly);
                if (record != kNone && improves(p, record, best)) {
                    best.position = p;
                    best.record = record;
                }
            }
        }
        begin = segmentEnd;
    }
}

template <uint32_t Q>
void searchClass(const SearchTable& table, const SearchClass& cls, const uint8_t* area, const uint8_t* window,
                 uint32_t length, bool anchoredAtStartOnly, Best& best) {
    if (cls.entryCount == 0 || length < Q) return;
    const uint64_t stride = cls.stride;
    const uint64_t last = length - Q;  // the last position where a whole gram fits
    auto limit = [&]() {
        // A proposal at t is for a position of at least t - (s - 1).
        const uint64_t bound = best.position == kNone ? last : best.position + stride - 1;
        return bound < last ? bound : last;
    };
    uint64_t tMax = limit();
    for (uint64_t t = 0;; t += stride) {
#if ZB_SEARCH_VECTOR
        if constexpr (Q >= 3) {
            t = table.kernel == SearchKernel::vector ? nextCandidateVector<Q>(cls, window, length, t, tMax)
                                                     : nextCandidate<Q>(cls, window, t, tMax, stride);
        } else {
            t = nextCandidate<Q>(cls, window, t, tMax, stride);
        }
#else
        t = nextCandidate<Q>(cls, window, t, tMax, stride);
#endif
        if (t > tMax) break;
        const uint32_t gram = gramAt<Q>(window + t);
        const Probe probe = probeOf<Q>(gram, cls.wordBits);
        const uint32_t end = cls.bucketStart[probe.word + 1];
        for (uint32_t i = cls.bucketStart[probe.word]; i < end; i += cls.entries[i].run) {
            const SearchEntry& e = cls.entries[i];
            if (e.gram != gram || t < e.shift) continue;
            const uint32_t p = static_cast<uint32_t>(t - e.shift);
            if (e.run <= kLinearGroup) {
                for (uint32_t k = i; k < i + e.run; ++k) {
                    const uint32_t record = cls.entries[k].record;
                    if (!improves(p, record, best)) continue;
                    const SearchRecord& rec = table.records[record];
                    if (anchoredAtStartOnly && (rec.flags & kVpsFlagAnchored) != 0 && p != 0) continue;
                    if (!matchesAt(rec, area, window, length, p)) continue;
                    best.position = p;
                    best.record = record;
                }
            } else {
                searchGroup(table, cls.entries + i, e.run, area, window, length, p, anchoredAtStartOnly, best);
            }
        }
        tMax = limit();
    }
}

void fill(MatchResult& result, const SearchRecord& rec, const uint8_t* area, uint32_t index, uint32_t position) {
    result.recordNumber = index + 1;
    result.matchOffset = position;
    result.recordFlags = rec.flags;
    result.virusName = reinterpret_cast<const char*>(area + rec.name);
}

}  // namespace

Status searchLiteral(const VpsDatabase& db, const uint8_t* window, uint32_t length, WindowPlace place,
                     MatchResult& result) {
    if (db.recordArea == nullptr || window == nullptr || length == 0) return kStatusOk;
    const bool anchoredAtStartOnly = place == WindowPlace::startOfFile;
    for (uint32_t p = 0; p < length; ++p) {
        // The records were validated at load: walking by lengths stays inside
        // the area and every field lies inside its record.
        const uint8_t* rec = db.recordArea;
        uint64_t left = db.recordAreaLength;
        uint32_t index = 0;
        while (left != 0) {
            const uint8_t recordLength = rec[0];
            const uint8_t n = rec[3];
            const uint8_t* first = rec + 4;
            if (length - p >= n && window[p] == first[0] && std::memcmp(window + p + 1, first + 1, n - 1u) == 0) {
                const uint8_t m = rec[8 + n];
                bool matched = true;
                if (m != 0) {
                    const int64_t s = static_cast<int64_t>(p) + n + static_cast<int32_t>(vpsRead32(rec + 4 + n));
                    matched = s >= 0 && s + m <= static_cast<int64_t>(length) &&
                              std::memcmp(window + s, rec + 9 + n, m) == 0;
                }
                const uint16_t flags = vpsRead16(rec + 1);
                if (matched && !(anchoredAtStartOnly && (flags & kVpsFlagAnchored) != 0 && p != 0)) {
                    result.recordNumber = index + 1;
                    result.matchOffset = p;
                    result.recordFlags = flags;
                    result.virusName = reinterpret_cast<const char*>(rec + kVpsRecordFixedLength + n + m);
                    return kStatusOk;
                }
            }
            rec += recordLength;
            left -= recordLength;
            ++index;
        }
    }
    return kStatusOk;
}

Status searchFast(const VpsDatabase& db, const uint8_t* window, uint32_t length, WindowPlace place,
                  MatchResult& result) {
    if (db.recordArea == nullptr || window == nullptr || length == 0) return kStatusOk;
    const SearchTable* table = db.searchTable;
    if (table == nullptr) return searchLiteral(db, window, length, place, result);
    const bool anchoredAtStartOnly = place == WindowPlace::startOfFile;
    const uint8_t* area = db.recordArea;
    Best best;
    // The long-pattern classes sample sparsely and usually settle the
    // position first, which bounds the denser classes after them.
    for (int c = kClassCount - 1; c >= 0; --c) {
        const SearchClass& cls = table->classes[c];
        switch (cls.gramLength) {
            case 1: searchClass<1>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 2: searchClass<2>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 3: searchClass<3>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 4: searchClass<4>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            default: break;
        }
    }
    if (best.record != kNone) fill(result, table->records[best.record], area, best.record, best.position);
    return kStatusOk;
}

Status searchTableBuild(VpsDatabase& db) {
    db.searchTable = nullptr;
    if (db.recordArea == nullptr) return kStatusOk;
    if (db.recordAreaLength > UINT32_MAX) return kStatusOutOfMemory;  // offsets are 32-bit

    // First walk: how many records fall in each class and the shortest
    // first pattern of each, which fixes the class's gram length and stride.
    uint64_t classRecords[kClassCount] = {};
    uint32_t shortest[kClassCount] = {255, 255, 255, 255, 255};
    {
        uint64_t offset = 0;
        VpsRecord record;
        while (offset < db.recordAreaLength &&
               vpsRecordRead(db.recordArea + offset, db.recordAreaLength - offset, record)) {
            const int c = classOf(record.firstLength);
            ++classRecords[c];
            if (record.firstLength < shortest[c]) shortest[c] = record.firstLength;
            offset += record.length;
        }
    }

    SearchClass shape[kClassCount];
    uint64_t size = alignUp(sizeof(SearchTable)) + alignUp(uint64_t{sizeof(SearchRecord)} * db.recordCount);
    for (int c = 0; c < kClassCount; ++c) {
        if (classRecords[c] == 0) continue;
        SearchClass& cls = shape[c];
        cls.gramLength = classGramLength(c);
        uint32_t stride = shortest[c] - cls.gramLength + 1;
        cls.stride = stride > kMaxStride ? kMaxStride : stride;
        const uint64_t entries = classRecords[c] * cls.stride;
        if (entries >= UINT32_MAX) return kStatusOutOfMemory;
        cls.entryCount = static_cast<uint32_t>(entries);
        cls.wordBits = wordBitsFor(cls.gramLength, entries);
        const uint64_t words = uint64_t{1} << cls.wordBits;
        cls.gateMask = cls.gramLength <= 2 ? 0 : kGateBitsPerWord * words - 1;
        cls.gateShift = 32;
        for (uint64_t words32 = (cls.gateMask + 1) / 32; words32 > 1; words32 >>= 1) --cls.gateShift;
        setPicks(cls);
        const uint64_t gateBytes = cls.gramLength <= 2 ? 0 : (cls.gateMask + 1) / 8;
        size += alignUp(words * 8) + alignUp(gateBytes) + alignUp((words + 1) * 4) + alignUp(entries * sizeof(SearchEntry));
    }
    if (size > SIZE_MAX) return kStatusOutOfMemory;

    uint8_t* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (block == nullptr) return kStatusOutOfMemory;
    uint8_t* cursor = block;
    auto carve = [&](uint64_t bytes) {
        uint8_t* at = cursor;
        cursor += alignUp(bytes);
        return at;
    };
    SearchTable* table = new (carve(sizeof(SearchTable))) SearchTable;
    table->size = size;
    table->recordCount = db.recordCount;
    table->records = reinterpret_cast<SearchRecord*>(carve(uint64_t{sizeof(SearchRecord)} * db.recordCount));
    for (int c = 0; c < kClassCount; ++c) {
        SearchClass& cls = table->classes[c];
        cls = shape[c];
        if (cls.entryCount == 0) continue;
        const uint64_t words = uint64_t{1} << cls.wordBits;
        cls.filter = reinterpret_cast<uint64_t*>(carve(words * 8));
        if (cls.gramLength <= 2) {
            cls.gate = cls.filter;
        } else {
            const uint64_t gateBytes = (cls.gateMask + 1) / 8;
            cls.gateWords = reinterpret_cast<uint32_t*>(carve(gateBytes));
            std::memset(cls.gateWords, 0, static_cast<size_t>(gateBytes));
        }
        cls.bucketStart = reinterpret_cast<uint32_t*>(carve((words + 1) * 4));
        cls.entries = reinterpret_cast<SearchEntry*>(carve(uint64_t{cls.entryCount} * sizeof(SearchEntry)));
        std::memset(cls.filter, 0, static_cast<size_t>(words * 8));
        std::memset(cls.bucketStart, 0, static_cast<size_t>((words + 1) * 4));
    }

    // Second walk: decode the records, set the filter bits and count the
    // entries of every bucket.
    const uint8_t* area = db.recordArea;
    {
        uint64_t offset = 0;
        uint32_t index = 0;
        VpsRecord record;
        while (index < db.recordCount && vpsRecordRead(area + offset, db.recordAreaLength - offset, record)) {
            SearchRecord& rec = table->records[index];
            rec.first = static_cast<uint32_t>(record.first - area);
            rec.second = static_cast<uint32_t>(record.second - area);
            rec.name = static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(record.name) - area);
            rec.secondOffset = record.secondOffset;
            rec.flags = record.flags;
            rec.firstLength = record.firstLength;
            rec.secondLength = record.secondLength;
            SearchClass& cls = table->classes[classOf(record.firstLength)];
            for (uint32_t j = 0; j < cls.stride; ++j) {
                const uint32_t gram = gramAt(record.first + j, cls.gramLength);
                const Probe probe = probeOf(gram, cls.gramLength, cls.wordBits);
                cls.filter[probe.word] |= probe.mask;
                if (cls.gramLength > 2) {  // the hashed gate is the same for q = 3, 4
                    cls.gateWords[gateWordOf(gram, cls.gateShift)] |= gateBitsOf(gram);
                }
                ++cls.bucketStart[probe.word];
            }
            offset += record.length;
            ++index;
        }
    }
    // Counts become starts; placing an entry advances its bucket's start to
    // the next bucket's, so one shift restores the starts afterwards.
    for (SearchClass& cls : table->classes) {
        if (cls.entryCount == 0) continue;
        const uint32_t buckets = 1u << cls.wordBits;
        uint32_t sum = 0;
        for (uint32_t b = 0; b < buckets; ++b) {
            const uint32_t count = cls.bucketStart[b];
            cls.bucketStart[b] = sum;
            sum += count;
        }
        cls.bucketStart[buckets] = sum;
    }
    for (uint32_t index = 0; index < db.recordCount; ++index) {
        const SearchRecord& rec = table->records[index];
        SearchClass& cls = table->classes[classOf(rec.firstLength)];
        for (uint32_t j = 0; j < cls.stride; ++j) {
            const uint32_t gram = gramAt(area + rec.first + j, cls.gramLength);
            const Probe probe = probeOf(gram, cls.gramLength, cls.wordBits);
            cls.entries[cls.bucketStart[probe.word]++] = SearchEntry{gram, index, 1, 1, 1, 1, static_cast<uint8_t>(j), rec.firstLength};
        }
    }
    for (SearchClass& cls : table->classes) {
        if (cls.entryCount == 0) continue;
        const uint32_t buckets = 1u << cls.wordBits;
        for (uint32_t b = buckets; b > 0; --b) cls.bucketStart[b] = cls.bucketStart[b - 1];
        cls.bucketStart[0] = 0;
        // Each bucket by group, then by first pattern, then by record; every
        // entry learns how far its group runs.
        const SearchRecord* records = table->records;
        for (uint32_t b = 0; b < buckets; ++b) {
            SearchEntry* first = cls.entries + cls.bucketStart[b];
            SearchEntry* last = cls.entries + cls.bucketStart[b + 1];
            if (last - first > 1) {
                std::sort(first, last, [&](const SearchEntry& x, const SearchEntry& y) {
                    if (x.gram != y.gram) return x.gram < y.gram;
                    if (x.shift != y.shift) return x.shift < y.shift;
                    const SearchRecord& rx = records[x.record];
                    const SearchRecord& ry = records[y.record];
                    const int order = compareFirst(rx, ry, area);
                    if (order != 0) return order < 0;
                    if (rx.secondOffset != ry.secondOffset) return rx.secondOffset < ry.secondOffset;
                    if (rx.secondLength != ry.secondLength) return rx.secondLength < ry.secondLength;
                    const int second = std::memcmp(area + rx.second, area + ry.second, rx.secondLength);
                    if (second != 0) return second < 0;
                    return x.record < y.record;
                });
            }
            for (SearchEntry* e = last; e != first;) {
                --e;
                const bool sameGroup = e + 1 != last && e[1].gram == e->gram && e[1].shift == e->shift;
                e->run = sameGroup ? e[1].run + 1 : 1;
                e->segment = sameGroup && e[1].firstLength == e->firstLength ? e[1].segment + 1 : 1;
                const SearchRecord& here = records[e->record];
                const SearchRecord* next = e->segment > 1 ? &records[e[1].record] : nullptr;
                const bool sameFirst = next != nullptr && compareFirst(here, *next, area) == 0;
                e->sameFirst = sameFirst ? e[1].sameFirst + 1 : 1;
                const bool sameShape = sameFirst && here.secondOffset == next->secondOffset &&
                                       here.secondLength == next->secondLength;
                e->sameShape = sameShape ? e[1].sameShape + 1 : 1;
            }
        }
    }
    table->kernel = vectorKernelAvailable() ? SearchKernel::vector : SearchKernel::portable;
    db.searchTable = table;
    return kStatusOk;
}

void searchTableFree(VpsDatabase& db) {
    if (db.searchTable == nullptr) return;
    db.searchTable->~SearchTable();
    std::free(db.searchTable);
    db.searchTable = nullptr;
}

uint64_t searchTableSize(const VpsDatabase& db) { return db.searchTable == nullptr ? 0 : db.searchTable->size; }

bool searchKernelAvailable(SearchKernel kernel) { return kernel == SearchKernel::portable || vectorKernelAvailable(); }

bool searchTableSetKernel(VpsDatabase& db, SearchKernel kernel) {
    if (db.searchTable == nullptr || !searchKernelAvailable(kernel)) return false;
    db.searchTable->kernel = kernel;
    return true;
}

SearchKernel searchTableKernel(const VpsDatabase& db) {
    return db.searchTable == nullptr ? SearchKernel::portable : db.searchTable->kernel;
}
