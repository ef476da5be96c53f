#include "shell/lang_text.h"

namespace {

constexpr char16_t kEquals = u'=';
constexpr char16_t kQuote = u'"';

// The key's digits, most significant first, without leading zeros.
size_t decimalDigits(uint32_t id, char16_t (&digits)[10]) {
    char16_t reversed[10];
    size_t count = 0;
    do {
        reversed[count++] = static_cast<char16_t>(u'0' + id % 10);
        id /= 10;
    } while (id != 0);
    for (size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

}  // namespace

LangTextSpan langTextFind(const void* file, size_t size, uint32_t id) {
    LangTextSpan span;
    if (file == nullptr) return span;
    const size_t units = size / 2;
    char16_t digits[10];
    const size_t digitCount = decimalDigits(id, digits);

    // The "=" of a key is rarer than its digits: look for it and compare the
    // digits before it. Taking the "=" positions in ascending order finds the
    // key's first occurrence, since every key has the same length.
    for (size_t equals = digitCount; equals < units; ++equals) {
        if (langTextUnit(file, equals) != kEquals) continue;
        const size_t start = equals - digitCount;
        size_t matched = 0;
        while (matched < digitCount && langTextUnit(file, start + matched) == digits[matched]) ++matched;
        if (matched != digitCount) continue;

        span.found = true;
        span.offset = equals + 2 <= units ? equals + 2 : units;  // past the opening quote
        size_t end = span.offset;
        while (end < units && langTextUnit(file, end) != kQuote) ++end;
        span.length = end - span.offset;
        return span;
    }
    return span;
}

LanguageEntry langTableFind(uint16_t languageId) {
    int row = langTableRow(languageId);
    return row >= 0 ? kLanguageTable[row] : kLanguageEnglish;
}

int langTableRow(uint16_t languageId) {
    const uint16_t primary = languageId & 0x3FF;
    for (size_t row = 0; row < kLanguageCount; ++row) {
        if (kLanguageTable[row].primaryId == primary) return static_cast<int>(row);
    }
    return -1;
}
