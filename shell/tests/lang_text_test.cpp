// Looking up a string ID in a language file's bytes, and the language table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/lang_text.h"

namespace {

// A language file's bytes as a resource carries them: BOM, UTF-16LE, no NUL.
std::vector<uint8_t> fileBytes(const std::u16string& body) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : body) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    return bytes;
}

std::u16string lookUp(const std::vector<uint8_t>& file, uint32_t id, size_t capacity = kLanguageTextCapacity + 1) {
    std::u16string out(capacity, u'#');
    size_t count = langTextCopy(file.data(), file.size(), id, out.data(), capacity);
    EXPECT_LT(count, capacity);
    EXPECT_EQ(out[count], u'\0') << "the copy is terminated";
    return out.substr(0, count);
}

const std::u16string kSample =
    u"{** WinCE zerbin! antivirus language file - english one **}\r\n"
    u"{** two **}\r\n"
    u"{** three **}\r\n"
    u"{Main messages, 8000 - 8099}\r\n"
    u"8020=\"zerbin! antivirus\"\r\n"
    u"8022=\"\"\r\n"
    u"{Main screen, 8100 - 8199}\r\n"
    u"8102=\"Scan\"\r\n"
    u"8105=\"Engine version: \"\r\n"
    u"8473=\"Português (Portugal)\"\r\n"
    u"10000=\"Scan\"\r\n"
    u"$\r\n";

TEST(LangTextLookup, FindsEntriesAndGivesEmptyTextForMissingIds) {
    const std::vector<uint8_t> file = fileBytes(kSample);
    EXPECT_EQ(lookUp(file, 8020), u"zerbin! antivirus");
    EXPECT_EQ(lookUp(file, 8102), u"Scan");
    EXPECT_EQ(lookUp(file, 8105), u"Engine version: ");  // the closing blank stays
    EXPECT_EQ(lookUp(file, 8473), u"Português (Portugal)");
    EXPECT_EQ(lookUp(file, 10000), u"Scan");

    EXPECT_EQ(lookUp(file, 8022), u"");
    EXPECT_TRUE(langTextFind(file.data(), file.size(), 8022).found);

    EXPECT_EQ(lookUp(file, 8103), u"");
    EXPECT_FALSE(langTextFind(file.data(), file.size(), 8103).found);
    EXPECT_EQ(lookUp(file, 4294967295u), u"");
    // "8000 - 8099}" in a comment holds digits but no key.
    EXPECT_FALSE(langTextFind(file.data(), file.size(), 8099).found);
}

TEST(LangTextLookup, FirstOccurrenceOfTheKeyWinsEvenInsideCommentsOrLongerIds) {
    // Comments are not skipped: a comment mentioning "8203=" hides the entry.
    const std::vector<uint8_t> commented = fileBytes(u"{see 8203=\"old\"}\r\n8203=\"File name\"\r\n$\r\n");
    EXPECT_EQ(lookUp(commented, 8203), u"old");
    // "8100=" occurs inside "18100=", which comes first.
    const std::vector<uint8_t> longer = fileBytes(u"18100=\"long\"\r\n8100=\"short\"\r\n$\r\n");
    EXPECT_EQ(lookUp(longer, 8100), u"long");
    EXPECT_EQ(lookUp(longer, 18100), u"long");
    // Any shorter ID whose key ends an earlier longer key is found there too.
    EXPECT_EQ(lookUp(longer, 100), u"long");
}

TEST(LangTextLookup, CutsATextLongerThanTheBuffer) {
    std::u16string longText;
    for (int i = 0; i < 600; ++i) longText += char16_t(u'a' + i % 26);
    const std::vector<uint8_t> file = fileBytes(u"8209=\"" + longText + u"\"\r\n$\r\n");

    std::u16string got = lookUp(file, 8209);
    EXPECT_EQ(got.size(), kLanguageTextCapacity);
    EXPECT_EQ(got, longText.substr(0, kLanguageTextCapacity));
    EXPECT_EQ(langTextFind(file.data(), file.size(), 8209).length, 600u);

    // A text of exactly the buffer's length is whole.
    const std::u16string exact = longText.substr(0, kLanguageTextCapacity);
    const std::vector<uint8_t> fits = fileBytes(u"8209=\"" + exact + u"\"\r\n$\r\n");
    EXPECT_EQ(lookUp(fits, 8209), exact);

    // Small buffers.
    EXPECT_EQ(lookUp(file, 8209, 5), longText.substr(0, 4));
    EXPECT_EQ(lookUp(file, 8209, 1), u"");
    char16_t untouched = u'#';
    EXPECT_EQ(langTextCopy(file.data(), file.size(), 8209, &untouched, 0), 0u);
    EXPECT_EQ(untouched, u'#');
}

TEST(LangTextLookup, NeverCutsBetweenTheHalvesOfASurrogatePair) {
    // "ab" then U+1F600 (two units): a cut after 3 units would leave half a pair.
    const std::vector<uint8_t> file = fileBytes(u"8020=\"ab\U0001F600c\"\r\n$\r\n");
    EXPECT_EQ(lookUp(file, 8020, 4), u"ab");
    EXPECT_EQ(lookUp(file, 8020, 5), u"ab\U0001F600");
    EXPECT_EQ(lookUp(file, 8020), u"ab\U0001F600c");
}

TEST(LangTextLookup, StaysInsideTheResourceWhateverItsEnd) {
    // No closing quote: the text runs to the end of the resource.
    EXPECT_EQ(lookUp(fileBytes(u"8102=\"Scan"), 8102), u"Scan");
    // The key is the last thing in the resource.
    const std::vector<uint8_t> bare = fileBytes(u"8102=");
    EXPECT_TRUE(langTextFind(bare.data(), bare.size(), 8102).found);
    EXPECT_EQ(lookUp(bare, 8102), u"");
    EXPECT_EQ(lookUp(fileBytes(u"8102=\""), 8102), u"");

    // An odd last byte is not half a character.
    std::vector<uint8_t> odd = fileBytes(u"8102=\"Sc");
    odd.push_back('a');
    EXPECT_EQ(lookUp(odd, 8102), u"Sc");

    // The size bounds the search: a key beyond it is not seen.
    const std::vector<uint8_t> file = fileBytes(kSample);
    EXPECT_EQ(langTextCopy(file.data(), 20, 8020, std::u16string(8, u'#').data(), 8), 0u);

    // No file at all.
    std::u16string out(4, u'#');
    EXPECT_EQ(langTextCopy(nullptr, 100, 8020, out.data(), out.size()), 0u);
    EXPECT_EQ(out[0], u'\0');
    EXPECT_FALSE(langTextFind(nullptr, 100, 8020).found);
}

TEST(LangTextLookup, CopiesIntoWideCharacterBuffersAsWell) {
    const std::vector<uint8_t> file = fileBytes(kSample);
    wchar_t out[32];
    size_t count = langTextCopy(file.data(), file.size(), 8473, out, 32);
    EXPECT_EQ(std::wstring(out, count), L"Português (Portugal)");
    EXPECT_EQ(out[count], L'\0');
}

TEST(LanguageTable, KeepsItsOrderAndFallsBackToEnglish) {
    const uint16_t primaries[] = {5, 9, 12, 22, 27};
    const uint16_t resources[] = {104, 105, 114, 125, 121};
    ASSERT_EQ(kLanguageCount, 5u);
    for (size_t row = 0; row < kLanguageCount; ++row) {
        EXPECT_EQ(kLanguageTable[row].primaryId, primaries[row]);
        EXPECT_EQ(kLanguageTable[row].resourceId, resources[row]);
        EXPECT_EQ(langTableRow(primaries[row]), int(row));
    }

    // Only the low 10 bits count: the sublanguage does not matter.
    EXPECT_EQ(langTableFind(0x0405).resourceId, 104);  // Czech
    EXPECT_EQ(langTableFind(0x0809).resourceId, 105);  // English (United Kingdom)
    EXPECT_EQ(langTableFind(0x0C0C).resourceId, 114);  // French (Canada)
    EXPECT_EQ(langTableFind(0x0816).resourceId, 125);  // Portuguese (Portugal)
    EXPECT_EQ(langTableFind(0x0416).resourceId, 125);  // Portuguese (Brazil)
    EXPECT_EQ(langTableFind(0x041B).resourceId, 121);  // Slovak
    EXPECT_EQ(langTableFind(0xFC05).primaryId, 5);

    for (uint16_t other : {uint16_t(0), uint16_t(0x0407), uint16_t(0x0410), uint16_t(0x0415), uint16_t(0x3FF)}) {
        EXPECT_EQ(langTableRow(other), -1) << other;
        EXPECT_EQ(langTableFind(other).primaryId, 9) << other;
        EXPECT_EQ(langTableFind(other).resourceId, 105) << other;
    }
}

}  // namespace
