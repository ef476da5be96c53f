#include "engine/search.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "engine/large_block.h"
#include "engine/search_entry.h"
#include "engine/search_size.h"

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
// full exactly as the literal search does.
//
// Two tests keep the common case (no candidate) cheap. One- and two-byte
// grams index a bit table directly, and it is exact. Longer grams are hashed
// into the gate, one table of 64-byte blocks shared by the hashed classes:
// the first test is two bits in one 32-bit word (a load and two bit tests
// per gram, four grams between two branches), and the few grams that pass
// it meet the second test, two bits in another word of the same block,
// which is then already in the first-level cache. Together they keep false
// candidates rare (a candidate costs a look into its bucket, which is
// seldom in cache). The gate grows with the grams (engine/search_size.h):
// while it fits the second-level cache it keeps as many bits per gram as it
// has at 10,000 records; beyond, a fixed number per gram, so that at a
// million records it passes few grams and still fits the last-level cache.
// Every gram then costs one load from it, and the kernels keep many of those
// loads in flight at once.
//
// A gram that passes both tests opens its bucket (chosen by another hash of
// the gram); candidates are taken sixteen at a time, so that the cache
// misses of their buckets overlap. An entry of a bucket is 8 bytes: its
// record's offset in the record area (offsets keep the database order; a
// detection's record number comes from an index of every 64th record's
// offset and a short walk) and a key, a hash of the
// first prefixLength bytes of the record's first pattern (every first
// pattern of the class has at least that many) whose low three bits are the
// shift j. A bucket is sorted by key, then by first pattern, second pattern
// and record; the window's key for each shift is computed once per bucket,
// so a gram that belongs to a record only by its four bytes is turned away
// without touching the record. Entries with one key form a group: records
// that share their first bytes. A large group is searched by binary search
// on the first pattern, then on the second, instead of record by record.
//
// The hashed classes have a second kernel for x86-64 hosts with AVX2: it
// gathers sixteen sampled grams per step with byte shuffles, hashes them in
// vector registers and tests their gate words together; only the grams that
// pass go on, one by one, exactly as in the portable kernel. Both kernels
// read the same table and propose the same candidates. Each has a grown
// variant for a gate past the second-level cache (nextCandidateBoth).
//
// Matches come out of a class in increasing position: every match at p is
// proposed at the one sampled t in p .. p+s-1, and all proposals at one t are
// weighed together. The classes are combined by keeping the lowest position
// and, on a tie, the lowest record, which is the literal order.

#if defined(__GNUC__)
#define ZB_PREFETCH(address) __builtin_prefetch(address)
#define ZB_ALWAYS_INLINE __attribute__((always_inline))
#else
#define ZB_PREFETCH(address) ((void)(address))
#define ZB_ALWAYS_INLINE
#endif

namespace {

constexpr uint32_t kNone = UINT32_MAX;
// How far ahead of the grams it tests a grown kernel asks for their gate
// words: far enough that the words have come from the last-level cache by
// the time they are tested.
constexpr uint32_t kPrefetchGrams = 128;

struct SearchEntry {
    uint32_t key;     // hash of the entry's first prefixLength bytes, the shift j and the entry's place (keyOf)
    uint32_t record;  // the record's offset in the record area
};

struct SearchClass {
    uint32_t gramLength = 0;    // q
    uint32_t stride = 0;        // s
    uint32_t prefixLength = 0;  // bytes of the first pattern that a key hashes
    uint32_t bucketBits = 0;    // 2^bucketBits buckets
    uint32_t entryCount = 0;
    uint64_t* directGate = nullptr;  // q <= 2: one bit per gram value
    uint32_t* gate = nullptr;        // q >= 3: the table's shared gate
    uint32_t gateShift = 32;         // 32 - log2(words of the gate)
    uint32_t wordHash = 0;           // the multiplier that takes the class's grams to the shared gate's words
    bool bothTests = false;          // the gate is past the cache: both tests before a branch
    int64_t farthest = 0;            // the largest distance of an entry after its record's first pattern
    // The vector kernel's byte shuffles: the sampled grams at 0, s, 2s and
    // 3s from a base, taken from 16 bytes at the base (pickA) or from 16
    // bytes at the base + pickBOffsetFor(s) (pickB); 0x80 picks a zero byte.
    uint8_t pickA[16] = {};
    uint8_t pickB[16] = {};
    uint32_t* bucketStart = nullptr;  // one per bucket, plus the end
    SearchEntry* entries = nullptr;   // by bucket; in a bucket by key, first pattern, second pattern, record
};

}  // namespace

struct SearchTable {
    void* allocation = nullptr;  // the one block; the table starts on its first cache line
    uint64_t size = 0;
    uint64_t fixed = 0;
    uint32_t recordCount = 0;
    SearchKernel kernel = SearchKernel::portable;
    uint32_t* recordIndex = nullptr;  // the offset of every kSearchRecordIndexStep-th record
    SearchClass classes[kSearchClassCount];
};

namespace {

// A record's fields, read from the record area at its offset (the records
// were validated at load).
inline uint8_t firstLengthAt(const uint8_t* area, uint32_t r) { return area[r + 3]; }
inline const uint8_t* firstAt(const uint8_t* area, uint32_t r) { return area + r + 4; }
inline uint8_t secondLengthAt(const uint8_t* area, uint32_t r) { return area[r + 8 + area[r + 3]]; }
inline const uint8_t* secondAt(const uint8_t* area, uint32_t r) { return area + r + 9 + area[r + 3]; }
inline int32_t secondOffsetAt(const uint8_t* area, uint32_t r) {
    return secondLengthAt(area, r) == 0 ? 0 : static_cast<int32_t>(vpsRead32(area + r + 4 + area[r + 3]));
}
inline uint16_t flagsAt(const uint8_t* area, uint32_t r) { return vpsRead16(area + r + 1); }
// How far an entry with this place starts after its record's first pattern.
inline int64_t distanceOf(const uint8_t* area, uint32_t r, uint32_t place) {
    const uint32_t offset = place & 0xFF;
    if ((place & 0x100) == 0) return offset;
    return static_cast<int64_t>(firstLengthAt(area, r)) + secondOffsetAt(area, r) + offset;
}
inline const uint8_t* entryAt(const uint8_t* area, uint32_t r, uint32_t place) {
    return ((place & 0x100) == 0 ? firstAt(area, r) : secondAt(area, r)) + (place & 0xFF);
}

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

// The gate: for hashed grams, the word of the first test comes from the top
// bits of one multiplicative hash of the gram (a multiplier per class,
// kGateWordHashes), its two bits from the top ten
// bits of another; the second test takes a word of the same 64-byte block
// (16 words) and two bits from a third.
constexpr uint32_t kGateWordHash = 0x9E3779B1u;
constexpr uint32_t kGateBitHash = 0x85EBCA77u;
constexpr uint32_t kGateSecondHash = 0xC2B2AE3Du;

inline uint32_t gateWordOf(uint32_t gram, uint32_t wordHash, uint32_t gateShift) { return (gram * wordHash) >> gateShift; }

inline uint32_t gateBitsOf(uint32_t gram) {
    const uint32_t h = gram * kGateBitHash;
    return (uint32_t{1} << (h >> 27)) | (uint32_t{1} << ((h >> 22) & 31));
}

inline uint32_t secondWordOf(uint32_t gram, uint32_t word) { return (word & ~15u) | ((gram * kGateSecondHash) >> 28); }

inline uint32_t secondBitsOf(uint32_t gram) {
    const uint32_t h = gram * kGateSecondHash;
    return (uint32_t{1} << ((h >> 23) & 31)) | (uint32_t{1} << ((h >> 18) & 31));
}

// The bucket of a gram.
constexpr uint64_t kBucketHash = 0x9E3779B97F4A7C15ull;
inline uint32_t bucketOf(uint32_t gram, uint32_t bucketBits) {
    return static_cast<uint32_t>((gram * kBucketHash) >> (64 - bucketBits));
}

// An entry's key: the mark of its gram at shift j (the top 10 bits, a hash
// of the gram alone), a hash of the first prefixLength bytes of its entry
// (the next 10 bits), the shift j (3 bits) and the entry's place in its
// record (the low 9 bits, kKeyPlace: the part in the high one, the offset
// in the pattern below). The mark turns away the entries of other grams
// that share the bucket without hashing the window at their shifts; the
// place is 0 for a whole first pattern; a window's key has none, so it is
// compared with an entry's key without its place.
constexpr uint32_t kGramMarkHash = 0x27D4EB2Fu;
constexpr uint32_t kKeyMark = 0xFFC00000u;
constexpr uint64_t kKeyHash = 0xD6E8FEB86659FD93ull;
constexpr uint32_t kKeyPlace = 0x1FF;
constexpr uint32_t kKeyShiftAt = 9;
inline uint32_t shiftOfKey(uint32_t key) { return (key >> kKeyShiftAt) & 7; }
inline uint32_t placeOf(const SearchEntryChoice& c) {
    return (c.part == SearchPart::second ? 0x100u : 0u) | c.offset;
}
inline uint32_t markOf(uint32_t gram) { return (gram * kGramMarkHash) & kKeyMark; }
// `v` holds the prefix's bytes, the first in its low byte.
inline uint32_t keyOfBytes(uint32_t mark, uint64_t v, uint32_t shift) {
    const uint64_t h = (v ^ (v >> 31)) * kKeyHash;
    return mark | (static_cast<uint32_t>(h >> 54) << 12) | (shift << kKeyShiftAt);
}
inline uint32_t keyOf(uint32_t mark, const uint8_t* prefix, uint32_t length, uint32_t shift) {
    uint64_t v = 0;
    if (length == 8) {
        std::memcpy(&v, prefix, 8);
    } else {
        for (uint32_t i = 0; i < length; ++i) v |= static_cast<uint64_t>(prefix[i]) << (8 * i);
    }
    return keyOfBytes(mark, v, shift);
}

template <uint32_t Q>
using GateWord = std::conditional_t<(Q <= 2), uint64_t, uint32_t>;

template <uint32_t Q>
inline const GateWord<Q>* gateOf(const SearchClass& cls) {
    if constexpr (Q <= 2) {
        return cls.directGate;
    } else {
        return cls.gate;
    }
}

// The multiplier of each hashed class into the gate's words. The hashed
// classes share one gate, and with one multiplier a window made of one
// class's entries would pass another class's first test at nearly every
// gram (its grams are in the gate), each such pass a candidate that finds
// nothing in that class's buckets. A multiplier of its own costs a class
// nothing per gram.
constexpr uint32_t kGateWordHashes[kSearchClassCount] = {0, 0, 0xCC9E2D51u, 0x165667B1u, kGateWordHash};

template <uint32_t Q>
inline bool gatePasses(const GateWord<Q>* gate, uint32_t gateShift, uint32_t wordHash, const uint8_t* p) {
    const uint32_t gram = gramAt<Q>(p);
    if constexpr (Q <= 2) {
        (void)gateShift, (void)wordHash;
        return ((gate[gram >> 6] >> (gram & 63)) & 1) != 0;
    } else {
        const uint32_t bits = gateBitsOf(gram);
        return (gate[gateWordOf(gram, wordHash, gateShift)] & bits) == bits;
    }
}

template <uint32_t Q>
inline bool secondPasses(const SearchClass& cls, const uint8_t* p) {
    if constexpr (Q <= 2) {
        (void)cls, (void)p;
        return true;  // the gate was exact
    } else {
        const uint32_t gram = gramAt<Q>(p);
        const uint32_t bits = secondBitsOf(gram);
        return (cls.gate[secondWordOf(gram, gateWordOf(gram, cls.wordHash, cls.gateShift))] & bits) == bits;
    }
}

uint64_t alignLine(uint64_t value) { return (value + 63) & ~uint64_t{63}; }

struct Best {
    uint32_t position = kNone;
    uint32_t record = kNone;  // an offset in the record area, which orders records as the database does
};

inline bool improves(uint32_t position, uint32_t record, const Best& best) {
    return position < best.position || (position == best.position && record < best.record);
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Whether n bytes (n >= 1) are equal. Patterns of up to 16 bytes are
// compared in line by two loads that overlap, touching only the n bytes: a
// window made of entries asks this at every few bytes, and a call to memcmp
// would cost more than the comparison.
inline bool sameBytes(const uint8_t* a, const uint8_t* b, uint32_t n) {
    if (n >= 8) {
        if (n > 16) return std::memcmp(a, b, n) == 0;
        return load64(a) == load64(b) && load64(a + n - 8) == load64(b + n - 8);
    }
    if (n >= 4) return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
    return a[0] == b[0] && a[n - 1] == b[n - 1] && a[n / 2] == b[n / 2];
}

// The full comparison of one record at one position, as the literal search
// makes it.
inline bool matchesAt(const uint8_t* area, uint32_t r, const uint8_t* window, uint32_t length, uint32_t p) {
    const uint8_t n = firstLengthAt(area, r);
    if (static_cast<uint64_t>(p) + n > length) return false;
    if (!sameBytes(window + p, firstAt(area, r), n)) return false;
    const uint8_t m = secondLengthAt(area, r);
    if (m == 0) return true;
    const int64_t s = static_cast<int64_t>(p) + n + secondOffsetAt(area, r);
    if (s < 0 || s + m > static_cast<int64_t>(length)) return false;
    return sameBytes(window + s, secondAt(area, r), m);
}

// The first of the four grams at p, p + stride, ... that passes both tests:
// 0 to 3, or 4 for none. Apart from the loop below, so that the loop does
// not keep its hashes alive for it.
template <uint32_t Q>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint32_t firstOfFour(const SearchClass& cls, const uint8_t* p, uint64_t stride) {
    const uint32_t gateShift = cls.gateShift;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint8_t* at = p + k * stride;
        if (gatePasses<Q>(gateOf<Q>(cls), gateShift, cls.wordHash, at) && secondPasses<Q>(cls, at)) return k;
    }
    return 4;
}

// The first sampled position from `t` on (stepping by `stride`, up to
// `tMax`) whose gram passes both tests; past `tMax` when there is none.
// Nearly every gram is turned away by the first test, so four are probed
// between two branches, independently of each other.
// Not inlined: alone, the loop keeps everything it needs in registers.
// H, when not 0, is the class's word multiplier, known to the compiler (the
// class of long entries): a multiply by a constant needs no register copy.
template <uint32_t Q, uint32_t H = 0>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint64_t nextCandidate(const SearchClass& cls, const uint8_t* window, uint64_t t, uint64_t tMax, uint64_t stride) {
    const GateWord<Q>* const gate = gateOf<Q>(cls);
    const uint32_t gateShift = cls.gateShift;
    const uint32_t wordHash = H != 0 ? H : cls.wordHash;
    const uint64_t stride4 = 4 * stride;
    while (t + 3 * stride <= tMax) {
        const uint8_t* p = window + t;
        const bool a = gatePasses<Q>(gate, gateShift, wordHash, p);
        const bool b = gatePasses<Q>(gate, gateShift, wordHash, p + stride);
        const bool c = gatePasses<Q>(gate, gateShift, wordHash, p + 2 * stride);
        const bool d = gatePasses<Q>(gate, gateShift, wordHash, p + 3 * stride);
        if (a | b | c | d) {
            const uint32_t k = firstOfFour<Q>(cls, p, stride);
            if (k < 4) return t + k * stride;
        }
        t += stride4;
    }
    for (; t <= tMax; t += stride) {
        if (gatePasses<Q>(gate, gateShift, wordHash, window + t) && secondPasses<Q>(cls, window + t)) return t;
    }
    return t;
}

// Both tests of a hashed gram, without a branch between them.
template <uint32_t Q>
inline uint32_t bothPass(const uint32_t* gate, uint32_t gateShift, uint32_t wordHash, const uint8_t* p) {
    const uint32_t gram = gramAt<Q>(p);
    const uint32_t word = gateWordOf(gram, wordHash, gateShift);
    const uint32_t first = gateBitsOf(gram), second = secondBitsOf(gram);
    return static_cast<uint32_t>((gate[word] & first) == first) &
           static_cast<uint32_t>((gate[secondWordOf(gram, word)] & second) == second);
}

// nextCandidate for a gate that has outgrown the cache (hashed grams only).
// There the first test lets a few grams in a hundred through, and a branch
// on it would be mispredicted often enough to throw away the loads that
// are in flight after it; so both tests are made for four grams before
// one branch, which nearly always goes the same way, and the loads of the
// gate words (both in one line) keep streaming.
template <uint32_t Q, uint32_t H = 0>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint64_t nextCandidateBoth(const SearchClass& cls, const uint8_t* window, uint32_t length, uint64_t t, uint64_t tMax,
                           uint64_t stride) {
    const uint32_t* const gate = cls.gate;
    const uint32_t gateShift = cls.gateShift;
    const uint32_t wordHash = H != 0 ? H : cls.wordHash;
    const uint64_t ahead = kPrefetchGrams * stride;
    while (t + 3 * stride <= tMax) {
        const uint8_t* p = window + t;
        if (t + ahead + 3 * stride + 4 <= length) {
            for (uint32_t k = 0; k < 4; ++k) {
                ZB_PREFETCH(gate + gateWordOf(gramAt<Q>(p + ahead + k * stride), wordHash, gateShift));
            }
        }
        const uint32_t passed = bothPass<Q>(gate, gateShift, wordHash, p) | bothPass<Q>(gate, gateShift, wordHash, p + stride) << 1 |
                                bothPass<Q>(gate, gateShift, wordHash, p + 2 * stride) << 2 |
                                bothPass<Q>(gate, gateShift, wordHash, p + 3 * stride) << 3;
        if (passed != 0) return t + stride * ((passed & 1) ? 0 : (passed & 2) ? 1 : (passed & 4) ? 2 : 3);
        t += 4 * stride;
    }
    for (; t <= tMax; t += stride) {
        if (bothPass<Q>(gate, gateShift, wordHash, window + t)) return t;
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
// or not; with the gate in the last-level cache, the sixteen loads of a
// step and those of the steps after it are in flight together. Past the
// last whole step, the portable kernel finishes.

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

// The gate words at the eight indices of `index`, by plain loads.
__attribute__((target("avx2"), always_inline)) inline __m256i wordsAt(const uint32_t* gate, __m256i index) {
    const __m128i low = _mm256_castsi256_si128(index);
    const __m128i high = _mm256_extracti128_si256(index, 1);
    const uint64_t w01 = static_cast<uint64_t>(_mm_cvtsi128_si64(low));
    const uint64_t w23 = static_cast<uint64_t>(_mm_extract_epi64(low, 1));
    const uint64_t w45 = static_cast<uint64_t>(_mm_cvtsi128_si64(high));
    const uint64_t w67 = static_cast<uint64_t>(_mm_extract_epi64(high, 1));
    auto at = [gate](uint64_t i) { return static_cast<int>(gate[i]); };
    return _mm256_setr_epi32(at(static_cast<uint32_t>(w01)), at(w01 >> 32), at(static_cast<uint32_t>(w23)), at(w23 >> 32),
                             at(static_cast<uint32_t>(w45)), at(w45 >> 32), at(static_cast<uint32_t>(w67)), at(w67 >> 32));
}

// Asks for the gate words of the eight grams in `grams`.
__attribute__((target("avx2"), always_inline)) inline void prefetchWords(const uint32_t* gate, __m256i grams,
                                                                        __m256i wordHash, __m128i gateShift) {
    const __m256i index = _mm256_srl_epi32(_mm256_mullo_epi32(grams, wordHash),
                                           gateShift);
    alignas(32) uint32_t words[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(words), index);
    for (uint32_t word : words) ZB_PREFETCH(gate + word);
}

// Lanes whose word has both bits: shifting a word left by 31 - b brings bit
// b to the sign, and 31 - b is b's complement in five bits. `bits` holds the
// complemented hash; the bits are its five bits from `high` and from `low`.
__attribute__((target("avx2"), always_inline)) inline __m256i hasBits(__m256i words, __m256i bits, int high, int low) {
    const __m256i mask = _mm256_set1_epi32(31);
    const __m256i a = _mm256_sllv_epi32(words, _mm256_and_si256(_mm256_srli_epi32(bits, high), mask));
    const __m256i b = _mm256_sllv_epi32(words, _mm256_and_si256(_mm256_srli_epi32(bits, low), mask));
    return _mm256_and_si256(a, b);
}

// The lanes of the eight grams in `grams`, whose first words are at `word`,
// that pass the gate's second test.
__attribute__((target("avx2"), always_inline)) inline __m256i secondTest(const uint32_t* gate, __m256i grams, __m256i word) {
    const __m256i hash = _mm256_mullo_epi32(grams, _mm256_set1_epi32(static_cast<int>(kGateSecondHash)));
    const __m256i second = _mm256_or_si256(_mm256_andnot_si256(_mm256_set1_epi32(15), word), _mm256_srli_epi32(hash, 28));
    return hasBits(wordsAt(gate, second), _mm256_xor_si256(hash, _mm256_set1_epi32(-1)), 23, 18);
}

// A bit per gram of the eight in `grams` that passes the gate's first test
// (Both: and its second).
template <bool Both>
__attribute__((target("avx2"), always_inline)) inline uint32_t gateLanes(const uint32_t* gate, __m256i grams,
                                                                         __m256i wordHash, __m128i gateShift) {
    const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(grams, wordHash), gateShift);
    const __m256i bits = _mm256_xor_si256(_mm256_mullo_epi32(grams, _mm256_set1_epi32(static_cast<int>(kGateBitHash))),
                                          _mm256_set1_epi32(-1));
    __m256i lanes = hasBits(wordsAt(gate, word), bits, 27, 22);
    if constexpr (Both) lanes = _mm256_and_si256(lanes, secondTest(gate, grams, word));
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(lanes)));
}

// A bit per gram of the eight in `grams` that passes the gate's second test.
__attribute__((target("avx2"), always_inline)) inline uint32_t secondLanes(const uint32_t* gate, __m256i grams,
                                                                           __m256i wordHash, __m128i gateShift) {
    const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(grams, wordHash), gateShift);
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(secondTest(gate, grams, word))));
}

// The lanes of each 8-bit mask, in increasing order, a byte each.
constexpr std::array<uint64_t, 256> kLanesOfMask = [] {
    std::array<uint64_t, 256> lanes{};
    for (uint32_t mask = 0; mask < 256; ++mask) {
        uint32_t n = 0;
        for (uint32_t lane = 0; lane < 8; ++lane) {
            if ((mask >> lane) & 1) lanes[mask] |= uint64_t{lane} << (8 * n++);
        }
    }
    return lanes;
}();

// Writes the positions t + S * lane of the lanes in an 8-bit mask to out,
// eight positions whatever the mask (out has room for them), and returns
// how many are the mask's: a window made of entries passes half the lanes
// of a step, and a branch per lane would be mispredicted as often.
template <uint32_t S>
__attribute__((target("avx2,popcnt"), always_inline)) inline uint32_t storeLanes(uint64_t* out, uint64_t t, uint32_t mask) {
    const __m128i lanes = _mm_cvtsi64_si128(static_cast<long long>(kLanesOfMask[mask]));
    const __m256i base = _mm256_set1_epi64x(static_cast<long long>(t));
    const __m256i stride = _mm256_set1_epi64x(S);
    const __m256i low = _mm256_add_epi64(base, _mm256_mul_epu32(_mm256_cvtepu8_epi64(lanes), stride));
    const __m256i high = _mm256_add_epi64(base, _mm256_mul_epu32(_mm256_cvtepu8_epi64(_mm_srli_si128(lanes, 4)), stride));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4), high);
    return static_cast<uint32_t>(__builtin_popcount(mask));
}

// Appends the sampled positions from t on (up to tMax) whose grams pass
// both tests to out from out[count], in increasing order, until there are
// room of them (a dense step may take out up to 15 past it), whole steps of
// sixteen grams at a time, and returns the position to go on from. Every
// passing lane of a step is taken, so that a window full of candidates
// costs one step per sixteen grams, not one per candidate. The loop comes
// in two kinds (Dense) for a gate in the cache: an ordinary window seldom
// has two grams of a step that pass the first test, and each gets its
// second test alone; a window made of entries has several in nearly every
// step, and all sixteen get it at once. Each loop stops (`other` set) at a
// step that is the other's, so that neither carries the other's code.
template <uint32_t Q, uint32_t S, bool Both, bool Dense>
__attribute__((target("avx2,bmi,popcnt"), noinline)) uint64_t vectorSteps(const SearchClass& cls, const uint8_t* window,
                                                                   uint32_t length, uint64_t t, uint64_t tMax,
                                                                   uint64_t* out, uint32_t room, uint32_t& count,
                                                                   bool& other) {
    const uint32_t* gate = cls.gate;
    const __m128i gateShift = _mm_cvtsi32_si128(static_cast<int>(cls.gateShift));
    const __m256i pickA = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cls.pickA)));
    const __m256i pickB = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cls.pickB)));
    const __m256i wordHash = _mm256_set1_epi32(static_cast<int>(cls.wordHash));
    // Bytes that one step reads from t: its second group of eight grams
    // starts 8S in, and a group reads 16 bytes from 4S + pickBOffsetFor(S)
    // past its start.
    constexpr uint64_t kSpan = 8 * S + 4 * S + pickBOffsetFor(S) + 16;
    const uint64_t ahead = uint64_t{kPrefetchGrams} * S;
    other = false;
    while (t + 15 * S <= tMax && t + kSpan <= length) {
        const uint8_t* p = window + t;
        if constexpr (Both) {
            if (t + ahead + kSpan <= length) {
                prefetchWords(gate, gramsAt<S>(p + ahead, pickA, pickB), wordHash, gateShift);
                prefetchWords(gate, gramsAt<S>(p + ahead + 8 * S, pickA, pickB), wordHash, gateShift);
            }
        }
        const __m256i low = gramsAt<S>(p, pickA, pickB);
        const __m256i high = gramsAt<S>(p + 8 * S, pickA, pickB);
        uint32_t passed = gateLanes<Both>(gate, low, wordHash, gateShift) |
                          gateLanes<Both>(gate, high, wordHash, gateShift) << 8;
        if constexpr (!Both) {
            if (((passed & (passed - 1)) != 0) != Dense) {
                other = true;
                return t;
            }
            if constexpr (Dense) {
                passed &= secondLanes(gate, low, wordHash, gateShift) | secondLanes(gate, high, wordHash, gateShift) << 8;
                count += storeLanes<S>(out + count, t, passed & 0xFF);
                count += storeLanes<S>(out + count, t + 8 * S, passed >> 8);
                t += 16 * S;
                if (count >= room) return t;
                continue;
            }
        }
        while (passed != 0) {
            const uint64_t at = t + S * static_cast<uint64_t>(__builtin_ctz(passed));
            passed &= passed - 1;
            if (!Both && !Dense && !secondPasses<Q>(cls, window + at)) continue;
            out[count++] = at;
            if (count == room) return at + S;
        }
        t += 16 * S;
    }
    return t;
}

// `dense` carries the kind of loop from one call to the next: a window made
// of entries stays one for batch after batch.
template <uint32_t Q, uint32_t S, bool Both>
uint64_t candidatesVector(const SearchClass& cls, const uint8_t* window, uint32_t length, uint64_t t, uint64_t tMax,
                          uint64_t* out, uint32_t room, uint32_t& count, bool& dense) {
    bool other = false;
    if constexpr (Both) {
        (void)dense;
        t = vectorSteps<Q, S, true, false>(cls, window, length, t, tMax, out, room, count, other);
    } else {
        do {
            t = dense ? vectorSteps<Q, S, false, true>(cls, window, length, t, tMax, out, room, count, other)
                      : vectorSteps<Q, S, false, false>(cls, window, length, t, tMax, out, room, count, other);
            if (other) dense = !dense;
        } while (other);
    }
    // Past the last whole step, the portable kernel finishes.
    for (; count < room; t += S) {
        t = Both ? nextCandidateBoth<Q>(cls, window, length, t, tMax, S) : nextCandidate<Q>(cls, window, t, tMax, S);
        if (t > tMax) return t;
        out[count++] = t;
    }
    return t;
}

template <uint32_t Q, bool Both>
uint64_t candidatesVector(const SearchClass& cls, const uint8_t* window, uint32_t length, uint64_t t, uint64_t tMax,
                          uint64_t* out, uint32_t room, uint32_t& count, bool& dense) {
    switch (cls.stride) {
        case 1: return candidatesVector<Q, 1, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 2: return candidatesVector<Q, 2, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 3: return candidatesVector<Q, 3, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 4: return candidatesVector<Q, 4, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 5: return candidatesVector<Q, 5, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 6: return candidatesVector<Q, 6, Both>(cls, window, length, t, tMax, out, room, count, dense);
        case 7: return candidatesVector<Q, 7, Both>(cls, window, length, t, tMax, out, room, count, dense);
        default: return candidatesVector<Q, 8, Both>(cls, window, length, t, tMax, out, room, count, dense);
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

// Buckets up to this size are read entry by entry; larger ones (many
// records behind one gram, such as records that share their first bytes)
// are searched by key for each shift.
constexpr uint32_t kLinearBucket = 16;
// Groups up to this size are compared record by record; larger ones (many
// records sharing their first bytes) are searched by first pattern.
constexpr uint32_t kLinearGroup = 8;

// Orders records as a group keeps them: first pattern (length, then bytes),
// second pattern (its shape, then bytes), then database order.
int compareFirst(const uint8_t* area, uint32_t a, uint32_t b) {
    const uint8_t na = firstLengthAt(area, a), nb = firstLengthAt(area, b);
    if (na != nb) return na < nb ? -1 : 1;
    return std::memcmp(firstAt(area, a), firstAt(area, b), na);
}

// The distance and length of a record's second pattern (0 without one) as
// one number, for a record whose first pattern is n bytes long. Groups are
// sorted by it, so only its equality and its being the same order
// everywhere matter, and the distance is taken as this machine reads it.
inline uint64_t shapeOf(const uint8_t* area, uint32_t r, uint8_t n) {
    uint32_t distance;
    std::memcpy(&distance, area + r + 4 + n, 4);
    const uint8_t m = area[r + 8 + n];
    return m == 0 ? 0 : (uint64_t{distance} << 8) | m;
}

bool recordLess(const uint8_t* area, uint32_t a, uint32_t b) {
    const int first = compareFirst(area, a, b);
    if (first != 0) return first < 0;
    const uint8_t n = firstLengthAt(area, a);
    const uint64_t shapeA = shapeOf(area, a, n), shapeB = shapeOf(area, b, n);
    if (shapeA != shapeB) return shapeA < shapeB;
    const int second = std::memcmp(secondAt(area, a), secondAt(area, b), secondLengthAt(area, a));
    if (second != 0) return second < 0;
    return a < b;
}

// memcmp's order for second patterns (m >= 1), with the first byte compared
// in line: a group may hold hundreds of second-pattern shapes, and most of
// the window's bytes differ from a pattern at its first byte.
inline int compareSecond(const uint8_t* pattern, const uint8_t* bytes, uint8_t m) {
    if (pattern[0] != bytes[0]) return pattern[0] < bytes[0] ? -1 : 1;
    return m == 1 ? 0 : std::memcmp(pattern + 1, bytes + 1, m - 1u);
}

// The first index in [lo, hi) for which `after` holds (it holds from some
// index on).
template <typename After>
inline uint32_t firstWhere(uint32_t lo, uint32_t hi, After after) {
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (after(mid)) hi = mid; else lo = mid + 1;
    }
    return lo;
}

// The end of the run from `begin` (exclusive `end`) for which `same` holds
// (it holds at `begin`): the last index first, since a run often fills the
// rest; else by steps that double from `begin`, then a binary search in the
// last step, so that a short run costs few comparisons whatever follows it.
template <typename Same>
inline uint32_t runEnd(uint32_t begin, uint32_t end, Same same) {
    if (same(end - 1)) return end;
    uint32_t known = begin;  // same(known)
    uint32_t step = 1;
    while (known + step < end - 1 && same(known + step)) {
        known += step;
        step *= 2;
    }
    const uint32_t differs = known + step < end - 1 ? known + step : end - 1;  // !same(differs)
    return firstWhere(known + 1, differs, [&](uint32_t i) { return !same(i); });
}

// Among entries [begin, end) of a group, all with the first pattern (n
// bytes) found at p: the lowest record whose second pattern is in the window
// too and that the anchored rule lets count there, or kNone. They are sorted
// by the distance and length of their second pattern, then by its bytes,
// then by record, so each distance and length costs two binary searches: one
// for where it ends, one for its bytes.
uint32_t lowestWithSecond(const SearchEntry* group, uint32_t begin, uint32_t end, uint8_t n, const uint8_t* area,
                          const uint8_t* window, uint32_t length, uint32_t p, bool anchoredAtStartOnly) {
    uint32_t lowest = kNone;
    for (uint32_t k = begin; k < end;) {
        const uint32_t record = group[k].record;
        const uint64_t shape = shapeOf(area, record, n);
        const uint32_t shapeEnd = runEnd(k, end, [&](uint32_t i) { return shapeOf(area, group[i].record, n) == shape; });
        const uint8_t m = static_cast<uint8_t>(shape);
        const uint8_t* second = nullptr;
        uint32_t from = k;
        if (m != 0) {
            const int64_t at = static_cast<int64_t>(p) + n + secondOffsetAt(area, record);
            if (at < 0 || at + m > static_cast<int64_t>(length)) {
                k = shapeEnd;
                continue;
            }
            second = window + at;
            const uint32_t secondAtRecord = 9u + n;  // the second pattern's place in a record
            from = firstWhere(k, shapeEnd, [&](uint32_t i) {
                return compareSecond(area + group[i].record + secondAtRecord, second, m) >= 0;
            });
        }
        for (uint32_t i = from; i < shapeEnd; ++i) {
            const uint32_t candidate = group[i].record;
            if (m != 0 && compareSecond(secondAt(area, candidate), second, m) != 0) break;
            if (anchoredAtStartOnly && (flagsAt(area, candidate) & kVpsFlagAnchored) != 0 && p != 0) continue;
            if (candidate < lowest) lowest = candidate;
            break;  // the rest of this run come later in the database
        }
        k = shapeEnd;
    }
    return lowest;
}

// One large group, all proposing position p. Only records whose first
// pattern equals the window's bytes at p can match: for each first-pattern
// length in the group, a binary search finds them, and among records with
// the same first pattern the lowest that matches whole is the only one that
// can count. So a window costs per group a few comparisons per length, not
// one per record.
void searchLargeGroup(const SearchEntry* group, uint32_t count, const uint8_t* area, const uint8_t* window,
                      uint32_t length, uint32_t p, bool anchoredAtStartOnly, Best& best) {
    uint32_t begin = 0;
    while (begin < count) {
        const uint8_t n = firstLengthAt(area, group[begin].record);
        const uint32_t segmentEnd = runEnd(begin, count, [&](uint32_t i) { return firstLengthAt(area, group[i].record) == n; });
        if (static_cast<uint64_t>(p) + n <= length) {
            const uint8_t* bytes = window + p;
            auto order = [&](uint32_t i) { return std::memcmp(area + group[i].record + 4, bytes, n); };
            const uint32_t lo = order(begin) >= 0 ? begin : firstWhere(begin + 1, segmentEnd, [&](uint32_t i) { return order(i) >= 0; });
            if (lo < segmentEnd && order(lo) == 0) {
                const uint32_t hi = runEnd(lo, segmentEnd, [&](uint32_t i) { return order(i) == 0; });
                const uint32_t record = lowestWithSecond(group, lo, hi, n, area, window, length, p, anchoredAtStartOnly);
                if (record != kNone && improves(p, record, best)) {
                    best.position = p;
                    best.record = record;
                }
            }
        }
        begin = segmentEnd;
    }
}

// One entry whose gram's mark is the window's, with its entry at q in the
// window: the record's first pattern is at q less the entry's distance after it.
// The record's fields are read once: a window made of entries comes here at
// every few bytes.
ZB_ALWAYS_INLINE inline void weighEntry(uint32_t record, uint32_t place, const uint8_t* area, const uint8_t* window,
                                        uint32_t length, uint32_t q, bool anchoredAtStartOnly, Best& best) {
    const uint8_t* fields = area + record;
    const uint32_t n = fields[3];
    const uint32_t m = fields[8 + n];
    const int64_t second = m == 0 ? 0 : static_cast<int32_t>(vpsRead32(fields + 4 + n));  // the distance after the first
    int64_t at = q;
    if (place != 0) at -= (place & 0x100) == 0 ? (place & 0xFF) : n + second + (place & 0xFF);
    if (at < 0 || at + n > length) return;
    const uint32_t p = static_cast<uint32_t>(at);
    // A window made of entries found elsewhere in their records seldom
    // has even the first byte of a first pattern where they put it.
    if (window[p] != fields[4] || !improves(p, record, best)) return;
    if (!sameBytes(window + p, fields + 4, n)) return;
    if (m != 0) {
        const int64_t s = at + n + second;
        if (s < 0 || s + m > static_cast<int64_t>(length) || !sameBytes(window + s, fields + 9 + n, m)) return;
    }
    if (anchoredAtStartOnly && (vpsRead16(fields + 1) & kVpsFlagAnchored) != 0 && p != 0) return;
    best.position = p;
    best.record = record;
}

// The entries of one group, all with their entry at q in the window and
// one place in their records. Whole first patterns propose p = q; any
// other entry proposes its own record's first-pattern position, which is
// then compared in full like any other.
void searchGroup(const SearchEntry* group, uint32_t count, const uint8_t* area, const uint8_t* window,
                 uint32_t length, uint32_t q, uint32_t place, bool anchoredAtStartOnly, Best& best) {
    if (place != 0) {
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t record = group[k].record;
            const int64_t at = static_cast<int64_t>(q) - distanceOf(area, record, place);
            if (at < 0 || at >= static_cast<int64_t>(length)) continue;
            const uint32_t p = static_cast<uint32_t>(at);
            if (!improves(p, record, best)) continue;
            if (anchoredAtStartOnly && (flagsAt(area, record) & kVpsFlagAnchored) != 0 && p != 0) continue;
            if (!matchesAt(area, record, window, length, p)) continue;
            best.position = p;
            best.record = record;
        }
        return;
    }
    const uint32_t p = q;
    if (count > kLinearGroup) {
        searchLargeGroup(group, count, area, window, length, p, anchoredAtStartOnly, best);
        return;
    }
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t record = group[k].record;
        if (!improves(p, record, best)) continue;
        if (anchoredAtStartOnly && (flagsAt(area, record) & kVpsFlagAnchored) != 0 && p != 0) continue;
        if (!matchesAt(area, record, window, length, p)) continue;
        best.position = p;
        best.record = record;
    }
}

// The window's key at t for a shift, whose gram at t has `mark`; a shift
// that puts the first pattern before the window or its prefix past the end
// has none (kNoKey, which no entry's 32-bit key equals). Eight bytes are
// loaded and masked where the window has them.
constexpr uint64_t kNoKey = uint64_t{1} << 32;

inline uint64_t windowKey(const uint8_t* window, uint32_t length, uint64_t t, uint32_t shift, uint32_t prefixLength,
                          uint32_t mark) {
    if (t < shift) return kNoKey;
    const uint64_t at = t - shift;
    if (at + 8 <= length) return keyOfBytes(mark, load64(window + at) & (~uint64_t{0} >> (64 - 8 * prefixLength)), shift);
    return at + prefixLength > length ? kNoKey : keyOf(mark, window + at, prefixLength, shift);
}

// The window's keys at t for every shift of the class, for a large bucket.
struct WindowKeys {
    uint64_t keys[kSearchMaxStride];

    WindowKeys(const uint8_t* window, uint32_t length, uint64_t t, uint32_t prefixLength, uint32_t stride, uint32_t mark) {
        for (uint32_t shift = 0; shift < stride; ++shift) keys[shift] = windowKey(window, length, t, shift, prefixLength, mark);
    }

    uint64_t of(uint32_t shift) const { return keys[shift]; }
};

// The groups of [from, to), all of whose keys equal the window's at t for
// their shift: each run of one key is one group.
void searchGroups(const SearchEntry* from, const SearchEntry* to, const uint8_t* area, const uint8_t* window,
                  uint32_t length, uint64_t t, bool anchoredAtStartOnly, Best& best) {
    while (from != to) {
        const SearchEntry* end = from + 1;
        while (end != to && end->key == from->key) ++end;
        searchGroup(from, static_cast<uint32_t>(end - from), area, window, length,
                    static_cast<uint32_t>(t - shiftOfKey(from->key)), from->key & kKeyPlace, anchoredAtStartOnly, best);
        from = end;
    }
}

// All records of the class whose grams sit in the bucket [first, last) of
// the gram at t, a bucket larger than kLinearBucket: it is searched by key
// for each shift.
void searchLargeBucket(const SearchClass& cls, const SearchEntry* first, const SearchEntry* last, const uint8_t* area,
                       const uint8_t* window, uint32_t length, uint64_t t, uint32_t gram, bool anchoredAtStartOnly,
                       Best& best) {
    const WindowKeys keys(window, length, t, cls.prefixLength, cls.stride, markOf(gram));
    // Records that share their first bytes give a bucket of one key.
    if (first->key == last[-1].key) {
        if (keys.of(shiftOfKey(first->key)) == (first->key & ~kKeyPlace)) {
            searchGroups(first, last, area, window, length, t, anchoredAtStartOnly, best);
        }
        return;
    }
    for (uint32_t shift = 0; shift < cls.stride; ++shift) {
        const uint64_t key = keys.of(shift);
        if (key == kNoKey) continue;
        const SearchEntry* lo = std::lower_bound(first, last, key, [](const SearchEntry& e, uint64_t k) { return e.key < k; });
        if (lo == last || (lo->key & ~kKeyPlace) != key) continue;
        const uint64_t end = key | kKeyPlace;
        const SearchEntry* hi = std::upper_bound(lo, last, end, [](uint64_t k, const SearchEntry& e) { return k < e.key; });
        searchGroups(lo, hi, area, window, length, t, anchoredAtStartOnly, best);
    }
}

// Candidates weighed together (weighCandidates). A bucket of a large table
// is seldom in any cache, so this way the misses of a batch overlap instead
// of following one another.
constexpr uint32_t kCandidateBatch = 32;
// What a batch may hold: the vector kernel's dense steps add a step's
// sixteen candidates at once, past kCandidateBatch.
constexpr uint32_t kCandidateRoom = kCandidateBatch + 16;
// The entries of a bucket whose marks are compared together (the class's
// entries end with kSearchSpareEntries, so a bucket's last block may read
// past it).
constexpr uint32_t kEntryBlock = 8;
static_assert(2 * kEntryBlock <= kSearchSpareEntries && kLinearBucket <= 2 * kEntryBlock, "blocks stay in the entries");

// A bit for each of the kEntryBlock entries from `block` whose key has
// `mark`. The vector kernel's host compares them four at a time (SSE2,
// which every x86-64 has); the portable code is what the device runs.
inline uint32_t marksOf(const SearchEntry* block, uint32_t mark, bool vector) {
#if ZB_SEARCH_VECTOR
    if (vector) {
        const __m128i keyMark = _mm_set1_epi32(static_cast<int>(kKeyMark));
        const __m128i wanted = _mm_set1_epi32(static_cast<int>(mark));
        uint32_t matched = 0;
        for (uint32_t k = 0; k < kEntryBlock; k += 4) {
            const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k)));
            const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k + 2)));
            const __m128i keys = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
            const __m128i same = _mm_cmpeq_epi32(_mm_and_si128(keys, keyMark), wanted);
            matched |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(same))) << k;
        }
        return matched;
    }
#else
    (void)vector;
#endif
    uint32_t matched = 0;
    for (uint32_t k = 0; k < kEntryBlock; ++k) matched |= static_cast<uint32_t>((block[k].key & kKeyMark) == mark) << k;
    return matched;
}

// What a batch finds, in one array (weighCandidates): lone entries from its
// front, each with where its gram puts the entry in the window; from its
// back, the groups of linear buckets whose keys are the window's, or (count
// 0) large buckets, each for the candidate'th of the batch.
struct LoneHit {
    uint32_t record;
    uint32_t place;  // the entry's place in its record (kKeyPlace)
    uint32_t q;
};
struct GroupHit {
    uint32_t candidate;
    uint32_t entry;
    uint32_t count;
};
union Hit {
    LoneHit lone;
    GroupHit group;
};

// Whether a group's key is the window's at t. Apart from weighCandidates,
// so that its loop does not keep what the key needs alive for the rare
// group.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
bool groupIsWindows(uint32_t key, const uint8_t* window, uint32_t length, uint64_t t, uint32_t prefixLength,
                    uint32_t mark) {
    return (key & ~kKeyPlace) == windowKey(window, length, t, shiftOfKey(key), prefixLength, mark);
}

// The position past which a proposal at t cannot improve on `best`: a
// proposal at t is for a position of at least t - (s - 1) minus the
// farthest distance of an entry after its first pattern. `last` is the
// last position where a whole gram fits.
inline int64_t proposalLimit(const SearchClass& cls, const Best& best, uint64_t last) {
    if (best.position == kNone) return static_cast<int64_t>(last);
    const int64_t bound = static_cast<int64_t>(best.position) + static_cast<int64_t>(cls.stride) - 1 + cls.farthest;
    return bound < static_cast<int64_t>(last) ? bound : static_cast<int64_t>(last);
}

// A batch of candidates (`at`, in increasing order, each with its gram)
// weighed together: their buckets are looked up first, all of them, then
// their entries, then the lone entries with the gram's mark and the groups
// whose keys match, each noted once with its record asked for, so that where every candidate is a record's (a
// window made of entries) their misses overlap too. The marks of a
// bucket's entries are compared eight at a time without a branch, and only
// the entries whose mark is the window gram's go on; a large bucket is left
// whole to searchLargeBucket. One for all gram lengths: only the grams
// depend on them.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void weighCandidates(const SearchClass& cls, const uint8_t* area, const uint8_t* window, uint32_t length,
                     const uint64_t* at, const uint32_t* grams, uint32_t count, uint64_t last, bool vector,
                     bool anchoredAtStartOnly, Best& best) {
    uint32_t bucket[kCandidateRoom];
    for (uint32_t i = 0; i < count; ++i) {
        bucket[i] = bucketOf(grams[i], cls.bucketBits);
        ZB_PREFETCH(cls.bucketStart + bucket[i]);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const SearchEntry* first = cls.entries + cls.bucketStart[bucket[i]];
        ZB_PREFETCH(first);
        ZB_PREFETCH(first + 7);  // a bucket of eight entries spans a line boundary at most once
    }
    // A bucket gives at most kLinearBucket hits, or one for a large bucket.
    constexpr uint32_t kHitRoom = kCandidateRoom * kLinearBucket;
    Hit hits[kHitRoom];
    uint32_t loneCount = 0;
    uint32_t groupsFrom = kHitRoom;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t t = at[i];
        const uint32_t mark = markOf(grams[i]);
        const SearchEntry* first = cls.entries + cls.bucketStart[bucket[i]];
        const uint32_t size = cls.bucketStart[bucket[i] + 1] - cls.bucketStart[bucket[i]];
        if (size > kLinearBucket) {
            hits[--groupsFrom].group = GroupHit{i, static_cast<uint32_t>(first - cls.entries), 0};
            continue;
        }
        uint32_t matched = marksOf(first, mark, vector);
        if (size > kEntryBlock) matched |= marksOf(first + kEntryBlock, mark, vector) << kEntryBlock;
        matched &= (uint32_t{1} << size) - 1;
        while (matched != 0) {
            const uint32_t k = static_cast<uint32_t>(__builtin_ctz(matched));
            const uint32_t key = first[k].key;
            // A group's entries share their key and so their mark: only an
            // entry whose next one has the mark too can begin one.
            uint32_t end = k + 1;
            while (((matched >> end) & 1) != 0 && first[end].key == key) ++end;
            matched &= ~uint32_t{0} << end;
            ZB_PREFETCH(area + first[k].record);
            // A lone entry is compared in full by weighEntry: where every
            // candidate is an entry's, its key's comparison would be a cost
            // and no saving. A group's entries must be the window's bytes to
            // be weighed together. An entry that would start before the
            // window is none of these.
            if (t < shiftOfKey(key)) continue;
            if (end - k == 1) {
                hits[loneCount++].lone = LoneHit{first[k].record, key & kKeyPlace, static_cast<uint32_t>(t - shiftOfKey(key))};
            } else if (groupIsWindows(key, window, length, t, cls.prefixLength, mark)) {
                hits[--groupsFrom].group = GroupHit{i, static_cast<uint32_t>(first + k - cls.entries), end - k};
            }
        }
    }
    // Each kind in increasing position, as far as a proposal can still
    // improve on the best match (the order of proposals does not change
    // which one wins). The limit moves only with the best match, which
    // seldom changes.
    uint32_t limitFor = best.position;
    int64_t limit = proposalLimit(cls, best, last);
    for (uint32_t h = 0; h < loneCount; ++h) {
        if (best.position != limitFor) {
            limitFor = best.position;
            limit = proposalLimit(cls, best, last);
        }
        const LoneHit& hit = hits[h].lone;
        if (static_cast<int64_t>(hit.q) > limit) break;  // q is at most its candidate's position
        weighEntry(hit.record, hit.place, area, window, length, hit.q, anchoredAtStartOnly, best);
    }
    for (uint32_t h = kHitRoom; h-- > groupsFrom;) {
        const GroupHit& hit = hits[h].group;
        const uint64_t t = at[hit.candidate];
        if (static_cast<int64_t>(t) > proposalLimit(cls, best, last)) break;
        const SearchEntry* entries = cls.entries + hit.entry;
        if (hit.count == 0) {
            const uint32_t b = bucket[hit.candidate];
            searchLargeBucket(cls, entries, cls.entries + cls.bucketStart[b + 1], area, window, length, t,
                              grams[hit.candidate], anchoredAtStartOnly, best);
        } else {
            searchGroup(entries, hit.count, area, window, length, static_cast<uint32_t>(t - shiftOfKey(entries->key)),
                        entries->key & kKeyPlace, anchoredAtStartOnly, best);
        }
    }
}

template <uint32_t Q>
void searchClass(const SearchTable& table, const SearchClass& cls, const uint8_t* area, const uint8_t* window,
                 uint32_t length, bool anchoredAtStartOnly, Best& best) {
    if (cls.entryCount == 0 || length < Q) return;
    const uint64_t stride = cls.stride;
    const uint64_t last = length - Q;  // the last position where a whole gram fits
    auto next = [&](uint64_t t, uint64_t tMax) {
        if constexpr (Q == 4) {
            if (cls.wordHash == kGateWordHash) {
                return cls.bothTests ? nextCandidateBoth<Q, kGateWordHash>(cls, window, length, t, tMax, stride)
                                     : nextCandidate<Q, kGateWordHash>(cls, window, t, tMax, stride);
            }
        }
        if constexpr (Q >= 3) {
            return cls.bothTests ? nextCandidateBoth<Q>(cls, window, length, t, tMax, stride)
                                 : nextCandidate<Q>(cls, window, t, tMax, stride);
        } else {
            return nextCandidate<Q>(cls, window, t, tMax, stride);
        }
    };
    // Up to kCandidateBatch candidates from t on into `at`.
    [[maybe_unused]] bool dense = false;  // the vector kernel's kind of loop (candidatesVector)
    auto collect = [&](uint64_t& t, uint64_t tMax, uint64_t* at) {
        uint32_t count = 0;
#if ZB_SEARCH_VECTOR
        if constexpr (Q >= 3) {
            if (table.kernel == SearchKernel::vector) {
                t = cls.bothTests ? candidatesVector<Q, true>(cls, window, length, t, tMax, at, kCandidateBatch, count, dense)
                                  : candidatesVector<Q, false>(cls, window, length, t, tMax, at, kCandidateBatch, count, dense);
                return count;
            }
        }
#endif
        for (; count < kCandidateBatch; t += stride) {
            t = next(t, tMax);
            if (t > tMax) break;
            at[count++] = t;
        }
        return count;
    };
    const bool vector = table.kernel == SearchKernel::vector;
    uint64_t t = 0;
    for (;;) {
        uint64_t at[kCandidateRoom];
        uint32_t grams[kCandidateRoom];
        const int64_t bound = proposalLimit(cls, best, last);
        if (bound < 0) break;
        const uint32_t count = collect(t, static_cast<uint64_t>(bound), at);
        for (uint32_t i = 0; i < count; ++i) grams[i] = gramAt<Q>(window + at[i]);
        weighCandidates(cls, area, window, length, at, grams, count, last, vector, anchoredAtStartOnly, best);
        if (count < kCandidateBatch) break;
    }
}

// The 0-based number of the record at `offset`: the nearest indexed record
// at or before it, then a walk by lengths.
uint32_t recordNumberAt(const SearchTable& table, const uint8_t* area, uint32_t offset) {
    const uint32_t indexed = (table.recordCount + kSearchRecordIndexStep - 1) / kSearchRecordIndexStep;
    const uint32_t slot = firstWhere(0, indexed, [&](uint32_t i) { return table.recordIndex[i] > offset; }) - 1;
    uint32_t number = slot * kSearchRecordIndexStep;
    for (uint32_t at = table.recordIndex[slot]; at < offset; at += area[at]) ++number;
    return number;
}

void fill(MatchResult& result, const SearchTable& table, const uint8_t* area, uint32_t record, uint32_t position) {
    result.recordNumber = recordNumberAt(table, area, record) + 1;
    result.matchOffset = position;
    result.recordFlags = flagsAt(area, record);
    result.virusName = reinterpret_cast<const char*>(area + record + kVpsRecordFixedLength + firstLengthAt(area, record) +
                                                     secondLengthAt(area, record));
}

// The grams of all records, a batch at a time: the build writes at random
// into tables far larger than the cache, and with a batch in hand it asks for
// all the lines the batch will write before it writes any.
struct BuildGram {
    uint32_t record;
    uint32_t gram;
    uint32_t bucket;
    uint16_t place;
    uint8_t cls;
    uint8_t shift;
};
constexpr uint32_t kBuildBatch = 256;

template <typename Batch>
void forEachGramBatch(const SearchTable& table, const uint8_t* area, uint64_t length, const SearchEntryChoice* choices,
                      const SearchClassMap& classes, Batch batch) {
    BuildGram grams[kBuildBatch + kSearchMaxStride];
    uint32_t count = 0;
    uint32_t index = 0;
    for (uint64_t offset = 0; offset < length; offset += area[offset], ++index) {
        const uint32_t r = static_cast<uint32_t>(offset);
        const SearchEntryChoice& choice = choices[index];
        const int c = classes.of(choice.length);
        const SearchClass& cls = table.classes[c];
        const uint16_t place = static_cast<uint16_t>(placeOf(choice));
        const uint8_t* entry = entryAt(area, r, place);
        for (uint32_t j = 0; j < cls.stride; ++j) {
            const uint32_t gram = gramAt(entry + j, cls.gramLength);
            grams[count++] = BuildGram{r, gram, bucketOf(gram, cls.bucketBits), place, static_cast<uint8_t>(c),
                                       static_cast<uint8_t>(j)};
        }
        if (count >= kBuildBatch) {
            batch(grams, count);
            count = 0;
        }
    }
    if (count != 0) batch(grams, count);
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
    for (int c = kSearchClassCount - 1; c >= 0; --c) {
        const SearchClass& cls = table->classes[c];
        switch (cls.gramLength) {
            case 1: searchClass<1>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 2: searchClass<2>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 3: searchClass<3>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            case 4: searchClass<4>(*table, cls, area, window, length, anchoredAtStartOnly, best); break;
            default: break;
        }
    }
    if (best.record != kNone) fill(result, *table, area, best.record, best.position);
    return kStatusOk;
}

Status searchTableBuild(VpsDatabase& db, SearchTableLayout layout) {
    db.searchTable = nullptr;
    if (db.recordArea == nullptr) return kStatusOk;
    if (db.recordAreaLength > UINT32_MAX) return kStatusOutOfMemory;  // offsets are 32-bit
    const uint8_t* area = db.recordArea;

    // Each record's entry (engine/search_entry.h), for the walks below.
    struct Choices {
        SearchEntryChoice* at = nullptr;
        ~Choices() { std::free(at); }
    } choices;
    choices.at = static_cast<SearchEntryChoice*>(std::malloc((db.recordCount + 1u) * sizeof(SearchEntryChoice)));
    if (choices.at == nullptr) return kStatusOutOfMemory;
    if (searchChooseEntries(area, db.recordAreaLength, db.recordCount, choices.at) != kStatusOk) return kStatusOutOfMemory;

    // First walk: how many entries fall in each class and the shortest of
    // each, which fix the class's gram length and stride, and how far the
    // entries of each lie from their first patterns.
    uint32_t shortest[kSearchClassCount];
    for (uint32_t& s : shortest) s = 255;
    for (uint32_t i = 0; i < db.recordCount; ++i) {
        uint32_t& s = shortest[searchClassOf(choices.at[i].length)];
        if (choices.at[i].length < s) s = choices.at[i].length;
    }
    const SearchClassMap classes = searchClassMapFor(shortest);
    SearchClassCount counts[kSearchClassCount];
    int64_t farthest[kSearchClassCount];
    for (int64_t& f : farthest) f = INT64_MIN;
    {
        uint32_t index = 0;
        for (uint64_t offset = 0; offset < db.recordAreaLength; offset += area[offset], ++index) {
            const SearchEntryChoice& choice = choices.at[index];
            const int c = classes.of(choice.length);
            SearchClassCount& count = counts[c];
            ++count.records;
            if (choice.length < count.shortest) count.shortest = choice.length;
            const int64_t distance = distanceOf(area, static_cast<uint32_t>(offset), placeOf(choice));
            if (distance > farthest[c]) farthest[c] = distance;
        }
    }
    const SearchTableSize plan =
        searchTableSizeFor(counts, db.recordCount, sizeof(SearchTable), layout == SearchTableLayout::grown);
    for (const SearchClassSize& cls : plan.classes) {
        if (cls.grams >= UINT32_MAX) return kStatusOutOfMemory;
    }
    if (plan.total > SIZE_MAX) return kStatusOutOfMemory;

    void* allocation = largeBlockAllocate(static_cast<size_t>(plan.total));
    if (allocation == nullptr) return kStatusOutOfMemory;
    uint8_t* cursor = reinterpret_cast<uint8_t*>(alignLine(reinterpret_cast<uintptr_t>(allocation)));
    auto carve = [&](uint64_t bytes, bool zeroed = true) {
        uint8_t* at = cursor;
        cursor += alignLine(bytes);
        if (zeroed) std::memset(at, 0, static_cast<size_t>(bytes));
        return at;
    };
    SearchTable* table = new (carve(sizeof(SearchTable))) SearchTable;
    table->allocation = allocation;
    table->size = plan.total;
    table->fixed = plan.fixed;
    table->recordCount = db.recordCount;
    table->recordIndex = reinterpret_cast<uint32_t*>(carve(plan.recordIndexBytes, false));
    uint32_t* gate = plan.gateBytes == 0 ? nullptr : reinterpret_cast<uint32_t*>(carve(plan.gateBytes));
    const uint32_t gateShift = 32 - plan.gateBits;
    for (int c = 0; c < kSearchClassCount; ++c) {
        const SearchClassSize& size = plan.classes[c];
        if (size.grams == 0) continue;
        SearchClass& cls = table->classes[c];
        cls.gramLength = size.gramLength;
        cls.stride = size.stride;
        cls.prefixLength = size.prefixLength;
        cls.bucketBits = size.bucketBits;
        cls.entryCount = static_cast<uint32_t>(size.grams);
        cls.farthest = farthest[c];
        if (size.gramLength <= 2) {
            cls.directGate = reinterpret_cast<uint64_t*>(carve(size.directGateBytes));
        } else {
            cls.gate = gate;
            cls.gateShift = gateShift;
            cls.wordHash = kGateWordHashes[c];
            cls.bothTests = plan.grown;
        }
        setPicks(cls);
        cls.bucketStart = reinterpret_cast<uint32_t*>(carve(size.bucketBytes));
        cls.entries = reinterpret_cast<SearchEntry*>(carve(size.entryBytes, false));  // every entry is written
        std::memset(cls.entries + size.grams, 0, kSearchSpareEntries * sizeof(SearchEntry));
    }

    // Second walk: the record index, the gate bits and the size of every
    // bucket.
    {
        uint32_t index = 0;
        for (uint64_t offset = 0; offset < db.recordAreaLength; offset += area[offset], ++index) {
            if (index % kSearchRecordIndexStep == 0) table->recordIndex[index / kSearchRecordIndexStep] = static_cast<uint32_t>(offset);
        }
    }
    forEachGramBatch(*table, area, db.recordAreaLength, choices.at, classes, [&](const BuildGram* grams, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            const SearchClass& cls = table->classes[grams[i].cls];
            ZB_PREFETCH(cls.bucketStart + grams[i].bucket);
            if (cls.gramLength >= 3) ZB_PREFETCH(gate + gateWordOf(grams[i].gram, cls.wordHash, gateShift));
        }
        for (uint32_t i = 0; i < count; ++i) {
            SearchClass& cls = table->classes[grams[i].cls];
            const uint32_t gram = grams[i].gram;
            if (cls.gramLength <= 2) {
                cls.directGate[gram >> 6] |= uint64_t{1} << (gram & 63);
            } else {
                const uint32_t word = gateWordOf(gram, cls.wordHash, gateShift);
                gate[word] |= gateBitsOf(gram);
                gate[secondWordOf(gram, word)] |= secondBitsOf(gram);
            }
            ++cls.bucketStart[grams[i].bucket];
        }
    });
    // Counts become starts; placing an entry advances its bucket's start to
    // the next bucket's, so one shift restores the starts afterwards.
    for (SearchClass& cls : table->classes) {
        if (cls.entryCount == 0) continue;
        const uint32_t buckets = 1u << cls.bucketBits;
        uint32_t sum = 0;
        for (uint32_t b = 0; b < buckets; ++b) {
            const uint32_t count = cls.bucketStart[b];
            cls.bucketStart[b] = sum;
            sum += count;
        }
        cls.bucketStart[buckets] = sum;
    }
    forEachGramBatch(*table, area, db.recordAreaLength, choices.at, classes, [&](const BuildGram* grams, uint32_t count) {
        uint32_t slot[kBuildBatch + kSearchMaxStride];
        for (uint32_t i = 0; i < count; ++i) ZB_PREFETCH(table->classes[grams[i].cls].bucketStart + grams[i].bucket);
        for (uint32_t i = 0; i < count; ++i) {
            SearchClass& cls = table->classes[grams[i].cls];
            slot[i] = cls.bucketStart[grams[i].bucket]++;
            ZB_PREFETCH(cls.entries + slot[i]);
        }
        for (uint32_t i = 0; i < count; ++i) {
            const SearchClass& cls = table->classes[grams[i].cls];
            const uint32_t r = grams[i].record;
            const uint32_t place = grams[i].place;
            const uint32_t mark = markOf(grams[i].gram);
            cls.entries[slot[i]] = SearchEntry{keyOf(mark, entryAt(area, r, place), cls.prefixLength, grams[i].shift) | place, r};
        }
    });
    for (SearchClass& cls : table->classes) {
        if (cls.entryCount == 0) continue;
        const uint32_t buckets = 1u << cls.bucketBits;
        for (uint32_t b = buckets; b > 0; --b) cls.bucketStart[b] = cls.bucketStart[b - 1];
        cls.bucketStart[0] = 0;
        for (uint32_t b = 0; b < buckets; ++b) {
            SearchEntry* first = cls.entries + cls.bucketStart[b];
            SearchEntry* last = cls.entries + cls.bucketStart[b + 1];
            if (last - first < 2) continue;
            std::sort(first, last, [area](const SearchEntry& x, const SearchEntry& y) {
                if (x.key != y.key) return x.key < y.key;
                return recordLess(area, x.record, y.record);
            });
        }
    }
    table->kernel = vectorKernelAvailable() ? SearchKernel::vector : SearchKernel::portable;
    db.searchTable = table;
    return kStatusOk;
}

void searchTableFree(VpsDatabase& db) {
    if (db.searchTable == nullptr) return;
    void* allocation = db.searchTable->allocation;
    db.searchTable->~SearchTable();
    std::free(allocation);
    db.searchTable = nullptr;
}

uint64_t searchTableSize(const VpsDatabase& db) { return db.searchTable == nullptr ? 0 : db.searchTable->size; }

SearchTableMemory searchTableMemory(const VpsDatabase& db) {
    SearchTableMemory memory;
    if (db.searchTable == nullptr) return memory;
    memory.total = db.searchTable->size;
    memory.fixed = db.searchTable->fixed;
    memory.perRecord = db.recordCount == 0 ? 0 : static_cast<double>(memory.total - memory.fixed) / db.recordCount;
    return memory;
}

bool searchKernelAvailable(SearchKernel kernel) { return kernel == SearchKernel::portable || vectorKernelAvailable(); }

bool searchTableSetKernel(VpsDatabase& db, SearchKernel kernel) {
    if (db.searchTable == nullptr || !searchKernelAvailable(kernel)) return false;
    db.searchTable->kernel = kernel;
    return true;
}

SearchKernel searchTableKernel(const VpsDatabase& db) {
    return db.searchTable == nullptr ? SearchKernel::portable : db.searchTable->kernel;
}
