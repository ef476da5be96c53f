#include "shell/msgbox.h"

#include <cwchar>

#include "shell/config.h"
#include "shell/lang.h"

namespace {
constexpr wchar_t kFixedCaption[] = L"zerbin! antivirus";
}

void composeErrorText(const wchar_t* text, uint32_t code, wchar_t* out, size_t capacity) {
    if (capacity == 0) return;
    if (code >= 8600 && code <= 8620) {
        wcsncpy(out, lang.GetString(code), capacity - 1);
        out[capacity - 1] = 0;
        return;
    }
    wcsncpy(out, text ? text : L"", capacity - 1);
    out[capacity - 1] = 0;
    if (code == 0) return;
    wchar_t codeLine[kLanguageTextCapacity + 32];
    wsprintfW(codeLine, lang.GetString(8503), static_cast<int>(code));
    size_t used = wcslen(out);
    if (used + 4 < capacity) {
        wcscat(out, L"\r\n\r\n");
        wcsncat(out, codeLine, capacity - used - 5);
    }
}

int ShowErrorBox(const wchar_t* text, uint32_t code) {
    wchar_t message[2 * kLanguageTextCapacity + 64];
    composeErrorText(text, code, message, sizeof message / sizeof message[0]);
    return MessageBoxW(g_config.s_hMainWnd, message, kFixedCaption, MB_ICONHAND);
}

int AskUser(uint32_t id, UINT flags) {
    wchar_t caption[kLanguageTextCapacity + 1];
    wcsncpy(caption, lang.GetString(8020), kLanguageTextCapacity);
    caption[kLanguageTextCapacity] = 0;
    return MessageBoxW(g_config.s_hMainWnd, lang.GetString(id), caption, flags);
}
