#pragma once
// Looking up texts in a language file, and the table of the five languages.
// Platform-free: the file is read as the bytes of its resource (UTF-16
// little-endian, byte-order mark included, no terminating NUL), so the same
// code serves the device and the native tests.
#include <cstddef>
#include <cstdint>

// Room of the shared result buffer in UTF-16 characters, without its
// terminator. A longer text is cut to this length.
constexpr size_t kLanguageTextCapacity = 514;

// Where the text of one string ID lies in a language file, in UTF-16 units
// from the start of the file (the byte-order mark is unit 0).
struct LangTextSpan {
    bool found = false;  // the key "ID=" occurs in the file
    size_t offset = 0;   // first character of the text
    size_t length = 0;   // characters before the closing double quote
};

// Finds the text of `id` in a language file of `size` bytes (an odd last byte
// is ignored). The key is the ID in decimal followed by "="; its first
// occurrence anywhere in the file wins, comments included, so the files must
// not mention a key before its entry. The text starts one character after the
// key (the opening quote) and ends before the next double quote, or at the end
// of the file when none follows.
LangTextSpan langTextFind(const void* file, size_t size, uint32_t id);

// UTF-16 unit `index` of a language file.
inline char16_t langTextUnit(const void* file, size_t index) {
    const auto* bytes = static_cast<const uint8_t*>(file);
    return static_cast<char16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

// Copies the text of `id` into `out`, which holds `capacity` characters
// including the terminator, and terminates it. A text that does not fit is cut
// (never between the two halves of a surrogate pair); an ID that the file does
// not hold gives an empty text. Returns the number of characters copied.
// `Char` is any character type of at least 16 bits (char16_t, or wchar_t on
// the device).
template <typename Char>
size_t langTextCopy(const void* file, size_t size, uint32_t id, Char* out, size_t capacity) {
    static_assert(sizeof(Char) >= 2, "UTF-16 needs 16-bit characters");
    if (out == nullptr || capacity == 0) return 0;
    LangTextSpan span = file != nullptr ? langTextFind(file, size, id) : LangTextSpan{};
    size_t count = span.length < capacity - 1 ? span.length : capacity - 1;
    if (count < span.length && count > 0) {
        char16_t last = langTextUnit(file, span.offset + count - 1);
        if (last >= 0xD800 && last <= 0xDBFF) --count;  // a lone leading half would be garbage
    }
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<Char>(langTextUnit(file, span.offset + i));
    out[count] = 0;
    return count;
}

// One row of the language table: a primary language ID and the resource that
// carries its file.
struct LanguageEntry {
    uint16_t primaryId;
    uint16_t resourceId;
};

// The languages in the order in which they are searched, which is also the
// order of the settings screen's rows: Czech, English, French, Portuguese,
// Slovak.
inline constexpr LanguageEntry kLanguageTable[] = {
    {5, 104}, {9, 105}, {12, 114}, {22, 125}, {27, 121},
};
inline constexpr size_t kLanguageCount = sizeof(kLanguageTable) / sizeof(kLanguageTable[0]);
inline constexpr LanguageEntry kLanguageEnglish = {9, 105};

// The table row of a language ID's primary language (its low 10 bits); a
// language outside the table falls back to English, so that a device in any
// other language still shows texts.
LanguageEntry langTableFind(uint16_t languageId);

// The table row index (0-4) of a language ID's primary language, or -1.
int langTableRow(uint16_t languageId);
