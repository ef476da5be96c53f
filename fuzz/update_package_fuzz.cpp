// The container check and the package walk over arbitrary bytes. Each input
// is checked as a container as it is, and walked once more as an opened
// package, so that mutations reach the entries without having to match a
// checksum. Every entry handed out must lie inside the input and be safely named.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "update/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    const uint32_t n = static_cast<uint32_t>(size);
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    std::memcpy(copy, data, size);
    if (containerOpen(copy, n)) {
        containerScramble(copy, n);
        if (std::memcmp(copy, data, size) != 0) __builtin_trap();  // scrambling is its own inverse
    } else if (std::memcmp(copy, data, size) != 0) {
        __builtin_trap();  // a refused container stays as it was
    }

    PackageSummary summary;
    const bool whole = packageSummarize(copy, n, summary);
    if (whole && summary.entriesRead != summary.entryCount) __builtin_trap();
    if (n >= kPackageHeaderSize) {
        PackageWalk walk = packageWalkBegin(copy, n);
        PackageEntry entry;
        for (int i = 0; i < 70000 && packageWalkNext(walk, entry) == EntryStatus::ok; ++i) {
            if (entry.data < copy || entry.data + entry.dataLength > copy + n) __builtin_trap();
            if (!entryNameIsSafe(entry.name, std::strlen(entry.name))) __builtin_trap();
            if (std::strlen(entry.name) != entry.nameLength) __builtin_trap();
        }
    }
    std::free(copy);
    return 0;
}
