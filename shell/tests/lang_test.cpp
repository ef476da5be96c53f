// The language object on the device, reading the five language resources
// linked into this test program: selecting each language, the fallback to
// English, s_nLanguage, and the one result buffer shared by every lookup.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/config.h"
#include "shell/lang.h"

// The program defines these together; a test defines its own.
Language lang;
Config g_config;

namespace {

struct Expected {
    uint16_t primaryId;
    const wchar_t* ownName;  // 8000
    const wchar_t* scan;     // 8102
    const wchar_t* back;     // 8318
};

const Expected kLanguages[] = {
    {5, L"Česky (Czech)", L"Kontrola", L"Zpět"},
    {9, L"English (English)", L"Scan", L"Back"},
    {12, L"Français (Français)", L"Analyser", L"Retour"},
    {22, L"Português (Portuguese)", L"Analisar", L"Voltar"},
    {27, L"Slovensky (Slovak)", L"Kontrola", L"Späť"},
};

std::wstring text(uint32_t id) { return lang.GetString(id); }

TEST(Language, LoadsEachOfTheFiveLanguages) {
    for (const Expected& language : kLanguages) {
        SCOPED_TRACE(language.primaryId);
        g_config.s_nLanguage = 0;
        ASSERT_EQ(lang.Init(language.primaryId), kStatusOk);
        EXPECT_EQ(g_config.s_nLanguage, language.primaryId);
        EXPECT_EQ(lang.LanguageId(), language.primaryId);
        EXPECT_EQ(text(8000), language.ownName);
        EXPECT_EQ(text(8102), language.scan);
        EXPECT_EQ(text(8318), language.back);
        // The same in every file.
        EXPECT_EQ(text(8020), L"zerbin! antivirus");
        EXPECT_EQ(text(8473), L"Português (Portugal)");
        EXPECT_EQ(text(8022), L"");
    }
}

TEST(Language, IgnoresTheSublanguageButKeepsTheWholeId) {
    ASSERT_EQ(lang.Init(0x0C0C), kStatusOk);  // French (Canada)
    EXPECT_EQ(g_config.s_nLanguage, 12u);
    EXPECT_EQ(lang.LanguageId(), 0x0C0C);
    EXPECT_EQ(text(8102), L"Analyser");
}

TEST(Language, FallsBackToEnglishForOtherLanguages) {
    ASSERT_EQ(lang.Init(5), kStatusOk);
    for (uint16_t other : {uint16_t(0x0407), uint16_t(0x0411), uint16_t(0x3FF)}) {
        SCOPED_TRACE(other);
        g_config.s_nLanguage = 0;
        ASSERT_EQ(lang.Init(other), kStatusOk);
        EXPECT_EQ(g_config.s_nLanguage, 9u);
        EXPECT_EQ(lang.LanguageId(), other);
        EXPECT_EQ(text(8102), L"Scan");
        EXPECT_EQ(text(8503), L"Error code: %d");
    }
}

TEST(Language, ZeroSelectsTheUsersDefaultLanguage) {
    const LANGID user = GetUserDefaultLangID();
    const LanguageEntry expected = langTableFind(user);
    ASSERT_EQ(lang.Init(0), kStatusOk);
    EXPECT_EQ(lang.LanguageId(), user);
    EXPECT_EQ(g_config.s_nLanguage, expected.primaryId);
    for (const Expected& language : kLanguages) {
        if (language.primaryId == expected.primaryId) {
            EXPECT_EQ(text(8000), language.ownName);
        }
    }
}

TEST(Language, ConstructionSelectsALanguageWithoutTouchingTheConfiguration) {
    g_config.s_nLanguage = 77;
    Language fresh;
    EXPECT_EQ(g_config.s_nLanguage, 77u);
    EXPECT_EQ(fresh.LanguageId(), GetUserDefaultLangID());
    EXPECT_EQ(std::wstring(fresh.GetString(8020)), L"zerbin! antivirus");
    EXPECT_EQ(std::wstring(fresh.GetString(8021)), L"4.1.19");
}

TEST(Language, EveryLookupOverwritesTheOneResultBuffer) {
    ASSERT_EQ(lang.Init(9), kStatusOk);
    const wchar_t* label = lang.GetString(8105);
    const std::wstring saved = label;  // what a caller must do before the next lookup
    const wchar_t* version = lang.GetString(8021);
    EXPECT_EQ(label, version);
    EXPECT_EQ(std::wstring(label), L"4.1.19");
    EXPECT_EQ(saved + version, L"Engine version: 4.1.19");

    // A shorter or empty text leaves nothing of the longer one before it.
    lang.GetString(8117);
    EXPECT_EQ(std::wstring(lang.GetString(8120)), L"Exit");
    EXPECT_EQ(std::wstring(lang.GetString(8022)), L"");
    lang.GetString(8117);
    EXPECT_EQ(std::wstring(lang.GetString(54321)), L"");
}

TEST(Language, ChangingTheLanguageChangesTheTextsThatFollow) {
    ASSERT_EQ(lang.Init(12), kStatusOk);
    EXPECT_EQ(text(8403), L"Terminé");
    EXPECT_EQ(text(8205), L"Renommer");  // only the French file has it
    ASSERT_EQ(lang.Init(27), kStatusOk);
    EXPECT_EQ(text(8403), L"Hotovo");
    EXPECT_EQ(text(8205), L"");
    EXPECT_EQ(text(8210), L"");  // not in the Slovak file
    ASSERT_EQ(lang.Init(9), kStatusOk);
    EXPECT_EQ(text(8403), L"Done");
    EXPECT_EQ(text(8210), L"Full path");
}

TEST(Language, CopiesIntoTheCallersBufferWithoutTouchingTheSharedOne) {
    ASSERT_EQ(lang.Init(9), kStatusOk);
    const wchar_t* shared = lang.GetString(8020);
    wchar_t own[kLanguageTextCapacity + 1];
    EXPECT_EQ(lang.CopyString(8301, own, kLanguageTextCapacity + 1), 17u);
    EXPECT_EQ(std::wstring(own), L"is infected by %S");
    EXPECT_EQ(std::wstring(shared), L"zerbin! antivirus");

    wchar_t small[6];
    EXPECT_EQ(lang.CopyString(8105, small, 6), 5u);
    EXPECT_EQ(std::wstring(small), L"Engin");
}

}  // namespace
