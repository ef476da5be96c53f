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

// A test file that the signature detects on its own: the first pattern at
// the start of the file (after room for a second pattern placed before it),
// the second pattern at its distance, blanks in between and up to 8 bytes.
std::vector<uint8_t> signatureSample(const Signature& signature);

// A reproducible database of `count` random signatures with first patterns
// of 8 to 16 bytes, half of them with a second pattern (benchmarks).
SignatureList signaturesSynthetic(uint32_t count, uint32_t seed);
