#include "engine/large_block.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Smaller blocks keep the heap's own placement: a huge page would be mostly
// unused, and the faults saved are few.
constexpr size_t kLargeBlock = size_t{4} << 20;

}  // namespace

void* largeBlockAllocate(size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kLargeBlock) {
        void* block = nullptr;
        if (posix_memalign(&block, kHugePage, bytes) != 0) return nullptr;
        madvise(block, bytes, MADV_HUGEPAGE);  // a hint: without it the block is still good
        return block;
    }
#endif
    return std::malloc(bytes == 0 ? 1 : bytes);
}
