#include "settings/shortcut_text.h"

#include <cstdio>
#include <cstring>

size_t shortcutText(const char* target, size_t targetLength, char (&out)[kShortcutTextCapacity]) {
    if (targetLength > 1024) return 0;
    const int head = std::snprintf(out, sizeof out, "%zu#\"", targetLength + 2);
    if (head < 0) return 0;
    size_t length = static_cast<size_t>(head);
    std::memcpy(out + length, target, targetLength);
    length += targetLength;
    out[length++] = '"';
    return length;
}
