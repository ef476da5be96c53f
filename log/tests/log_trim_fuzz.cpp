// Any bytes as the tail of a grown log: the cut lies inside the tail, on a
// character boundary, right after a line feed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "log/log_trim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t from = logTrimKeepFrom(data, size);
    if (from > size) abort();
    if (from == size) return 0;
    if (from % 2 != 0 || from < 2) abort();
    if (data[from - 2] != '\n' || data[from - 1] != 0) abort();
    return 0;
}
