// Lookups in arbitrary resource bytes stay inside the resource and the
// buffer: the first four bytes choose the ID, the next two the capacity.
#include <cstdint>
#include <cstring>
#include <vector>

#include "shell/lang_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    uint32_t id;
    std::memcpy(&id, data, 4);
    if (data[4] & 1) id %= 20000;  // mostly IDs of the sizes the files use
    const size_t capacity = (data[5] % 3 == 0) ? kLanguageTextCapacity + 1 : data[5] % 16;
    std::vector<uint8_t> file(data + 6, data + size);  // exactly sized, so overreads are seen
    std::vector<char16_t> out(capacity + 1, u'#');

    LangTextSpan span = langTextFind(file.data(), file.size(), id);
    if (span.found && span.offset + span.length > file.size() / 2) __builtin_trap();
    size_t count = langTextCopy(file.data(), file.size(), id, out.data(), capacity);
    if (capacity == 0) {
        if (count != 0 || out[0] != u'#') __builtin_trap();
    } else if (count >= capacity || out[count] != 0 || out[capacity] != u'#' || count > span.length) {
        __builtin_trap();
    }
    return 0;
}
