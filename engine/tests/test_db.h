#pragma once
// Databases for the engine's tests, made from signatures (the maker's
// encoding) and owned for the length of a test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/search.h"
#include "engine/vps_format.h"
#include "tools/vps/signatures.h"

struct TestDb {
    VpsDatabase db;
    TestDb() = default;
    TestDb(const TestDb&) = delete;
    TestDb& operator=(const TestDb&) = delete;
    ~TestDb() { vpsRelease(db); }
};

inline std::vector<uint8_t> encodeArea(const std::vector<Signature>& signatures) {
    std::vector<uint8_t> area;
    std::string error;
    for (const Signature& sig : signatures) EXPECT_EQ(signatureEncode(sig, area, error), kStatusOk) << error;
    return area;
}

inline void loadSignatures(TestDb& test, const std::vector<Signature>& signatures) {
    const std::vector<uint8_t> area = encodeArea(signatures);
    ASSERT_EQ(vpsLoadRecordArea(area.data(), area.size(), test.db), kStatusOk);
}

// The kernels of the search table that run on this machine: the portable
// one always, the vector one where the processor has it.
inline std::vector<SearchKernel> availableKernels() {
    std::vector<SearchKernel> kernels{SearchKernel::portable};
    if (searchKernelAvailable(SearchKernel::vector)) kernels.push_back(SearchKernel::vector);
    return kernels;
}

inline const char* kernelName(SearchKernel kernel) { return kernel == SearchKernel::vector ? "vector" : "portable"; }

// The table as the loader lays it out for its size, and as a grown one (the
// gate per gram and the kernels of large tables) whatever its size.
constexpr SearchTableLayout kLayouts[] = {SearchTableLayout::bySize, SearchTableLayout::grown};

inline const char* layoutName(SearchTableLayout layout) { return layout == SearchTableLayout::grown ? "grown" : "by size"; }

// Builds the database's search table again, laid out as `layout`.
inline void rebuildTable(TestDb& test, SearchTableLayout layout) {
    searchTableFree(test.db);
    ASSERT_EQ(searchTableBuild(test.db, layout), kStatusOk);
}

inline std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

inline Signature sig(const std::string& name, const std::string& first, uint16_t flags = 0) {
    Signature s;
    s.name = name;
    s.first = bytesOf(first);
    s.flags = flags;
    return s;
}

inline Signature sig2(const std::string& name, const std::string& first, int32_t offset, const std::string& second,
                      uint16_t flags = 0) {
    Signature s = sig(name, first, flags);
    s.secondOffset = offset;
    s.second = bytesOf(second);
    return s;
}
