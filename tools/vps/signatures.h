#pragma once
// The database maker's side: signature lists (the plain-text form of a
// database), record encoding and file images. Used by the database tool, and
// by tests, fuzzers and benchmarks to produce databases.
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "engine/vps_format.h"

struct Signature {
    uint32_t line = 0;  // its line in the list it was read from (0: not read from a list)
    std::string name;  // 8-bit text without zero bytes
    uint16_t flags = 0;
    std::vector<uint8_t> first;
    int32_t secondOffset = 0;  // from the end of the first pattern
    std::vector<uint8_t> second;
    int32_t crcAreaOffset = 0;
    uint32_t crcAreaLength = 0;
    uint32_t crcAreaValue = 0;
};

struct SignatureList {
    uint16_t versionMajor = 1;
    uint16_t versionMinor = 0;
    std::string header = "zerbin virus database";
    std::vector<Signature> signatures;
};

// The list format, one record per line (see signatureListHelp()).
Status signatureListParse(const std::string& text, SignatureList& list, std::string& error);
std::string signatureListFormat(const SignatureList& list, uint32_t recordCount);
const char* signatureListHelp();

// Appends one record's bytes; 87 with a reason when the record cannot be
// encoded (empty first pattern, a name with a zero byte, over 255 bytes).
Status signatureEncode(const Signature& signature, std::vector<uint8_t>& out, std::string& error);
Signature signatureFromRecord(const VpsRecord& record);

// A whole file image: header text, zero byte, versions, CRC, scrambled area.
std::vector<uint8_t> vpsImageFromArea(const std::string& header, uint16_t major, uint16_t minor,
                                      const std::vector<uint8_t>& area);
Status vpsImageBuild(const SignatureList& list, std::vector<uint8_t>& image, std::string& error);

// A record that no choice of its entry can make cheap to search for: the
// bytes the search table finds it by are short, repeat themselves or are
// shared by other records, so that a window made of them would cost more
// than kSignatureCostBound ordinary windows per byte. `cost` is that
// estimate: records behind one candidate times the cost of a candidate
// (about kSignatureCandidateCost bytes of an ordinary window), per byte
// between two candidates.
constexpr double kSignatureCostBound = 20;
constexpr double kSignatureCandidateCost = 100;
struct SlowSignature {
    size_t index = 0;  // in the list
    double cost = 0;
    std::vector<uint8_t> entry;  // the bytes it is found by
    uint32_t sharing = 0;        // records found by the same bytes, itself included
};
// The slow records of a list whose every record encodes, in list order; 8
// when the entries cannot be chosen.
Status signaturesSlow(const SignatureList& list, std::vector<SlowSignature>& slow);

// A test file that the signature detects on its own: the first pattern at
// the start of the file (after room for a second pattern placed before it),
// the second pattern at its distance, blanks in between and up to 8 bytes.
std::vector<uint8_t> signatureSample(const Signature& signature);

// A reproducible database of `count` random signatures with first patterns
// of 8 to 16 bytes, half of them with a second pattern (benchmarks).
SignatureList signaturesSynthetic(uint32_t count, uint32_t seed);
