#pragma once
// The benchmark tree, the same on the host and on the device: about 12,000
// files of 1 to 100 KB and a few hundred larger ones, in 120 folders, with
// contents like a handheld's (program-like binaries with zero runs, text,
// compressed-like noise). One file in a hundred carries a signature of the
// benchmark database, so that scans also find things.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/vps/signatures.h"

struct BenchFile {
    std::string folder;  // "d007"
    std::string name;    // "f00123.bin"
    uint64_t size;
    uint32_t index;
};

constexpr uint32_t kBenchSmallFiles = 12000;
constexpr uint32_t kBenchLargeFiles = 300;
constexpr uint32_t kBenchRecords = 10000;
constexpr uint32_t kBenchSeed = 20240601;
constexpr const char* kBenchTreeVersion = "zerbin bench tree 1";

// The files of the tree; `scale` (1 = full) shrinks it for quick runs.
std::vector<BenchFile> benchTreeFiles(double scale);

// The contents of one file; the database decides what is planted. `planted`
// (when given) receives the 1-based number of the record planted, else 0.
void benchFileContents(const BenchFile& file, const SignatureList& database, std::vector<uint8_t>& out,
                       uint32_t* planted = nullptr);

// The benchmark database: 10,000 records of 8-16-byte first patterns, half
// with a second pattern.
SignatureList benchDatabase();
