#include "update/content_length.h"

uint32_t contentLengthValue(const wchar_t* text) {
    if (text == nullptr || text[0] == 0) return 0;
    uint64_t value = 0;
    for (const wchar_t* at = text; *at != 0; ++at) {
        if (*at < L'0' || *at > L'9') return 0;
        value = value * 10 + static_cast<uint64_t>(*at - L'0');
        if (value > UINT32_MAX) return 0;
    }
    return static_cast<uint32_t>(value);
}
