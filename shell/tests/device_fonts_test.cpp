// The table of the device's fonts (shell/tests/device_fonts.txt), which the
// platform-free layout check lays the screens out with, against the device:
// each font's height, leading and average width, each character's advance,
// and the drawn width of every text of the five language files, which must be
// the sum of its characters' advances.
//
// `test_device_fonts --print` measures the table anew on the device and
// prints it (docs/testing.md): after a change of the device's fonts,
//   device/wine-test build/win/bin/tests/test_device_fonts.exe --print > shell/tests/device_fonts.txt
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "editions/smartphone_keys.h"
#include "shell/lang_text.h"
#include "shell/tests/device_fonts.h"

namespace {

// A screen device context with each of the screens' fonts, made as the
// programs make them.
class Fonts {
public:
    Fonts() : dc_(GetDC(nullptr)) {
        const int pixelsPerInch = GetDeviceCaps(dc_, LOGPIXELSY);
        fonts_[0] = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        const smartphone::FontSpec specs[] = {smartphone::kFontNormal10, smartphone::kFontBold10,
                                              smartphone::kFontBold8, smartphone::kFontLight8};
        for (int i = 0; i < 4; ++i) {
            LOGFONTW record{};
            record.lfHeight = smartphone::fontHeight(specs[i].points, pixelsPerInch);
            record.lfWeight = specs[i].weight;
            fonts_[i + 1] = CreateFontIndirectW(&record);
        }
        previous_ = SelectObject(dc_, fonts_[0]);
    }
    ~Fonts() {
        SelectObject(dc_, previous_);
        for (int i = 1; i < kDeviceFontCount; ++i) DeleteObject(fonts_[i]);
        ReleaseDC(nullptr, dc_);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    HDC select(int font) {
        SelectObject(dc_, fonts_[font]);
        return dc_;
    }
    DeviceFontMetrics metrics(int font) {
        TEXTMETRICW tm{};
        GetTextMetricsW(select(font), &tm);
        return {int(tm.tmHeight), int(tm.tmExternalLeading), int(tm.tmAveCharWidth)};
    }
    int advance(int font, wchar_t c) {
        INT width = -1;
        GetCharWidth32W(select(font), c, c, &width);
        return width;
    }
    int width(int font, const std::wstring& text) {
        SIZE size{};
        GetTextExtentExPointW(select(font), text.c_str(), int(text.size()), 0, nullptr, nullptr, &size);
        return size.cx;
    }

private:
    HDC dc_;
    HFONT fonts_[kDeviceFontCount] = {};
    HGDIOBJ previous_ = nullptr;
};

std::string_view resource(const wchar_t* type, const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, type);
    HGLOBAL data = found ? LoadResource(nullptr, found) : nullptr;
    if (!data) return {};
    return {static_cast<const char*>(LockResource(data)), SizeofResource(nullptr, found)};
}

std::string_view languageFile(const LanguageEntry& language) {
    return resource(L"LANG", MAKEINTRESOURCEW(language.resourceId));
}

// Every text of every language file: the IDs the files use lie in these ranges.
std::vector<std::wstring> allTexts() {
    std::vector<std::wstring> out;
    for (const LanguageEntry& language : kLanguageTable) {
        std::string_view file = languageFile(language);
        for (uint32_t id = 8000; id < 10100; ++id) {
            LangTextSpan span = langTextFind(file.data(), file.size(), id);
            if (!span.found) continue;
            std::wstring text(span.length, L' ');
            langTextCopy(file.data(), file.size(), id, text.data(), text.size() + 1);
            out.push_back(text);
        }
    }
    return out;
}

// The characters worth a row: printable ASCII and every other character of
// the language files.
std::set<wchar_t> tableCharacters() {
    std::set<wchar_t> out;
    for (wchar_t c = 0x20; c < 0x7F; ++c) out.insert(c);
    for (const LanguageEntry& language : kLanguageTable) {
        std::string_view file = languageFile(language);
        for (size_t i = 1; i < file.size() / 2; ++i) {
            char16_t c = langTextUnit(file.data(), i);
            if (c >= 0xA0) out.insert(wchar_t(c));
        }
    }
    return out;
}

int printTable() {
    _setmode(_fileno(stdout), _O_BINARY);  // the table's lines end in LF, as in the source tree
    Fonts fonts;
    std::printf("# The device's fonts: metrics and advance widths in pixels, measured on the\n"
                "# device by test_device_fonts --print (shell/tests/device_fonts.h).\n");
    for (int f = 0; f < kDeviceFontCount; ++f) {
        DeviceFontMetrics m = fonts.metrics(f);
        std::printf("font %s %d %d %d\n", kDeviceFontNames[f], m.height, m.leading, m.average);
    }
    std::printf("# code %s %s %s %s %s\n", kDeviceFontNames[0], kDeviceFontNames[1], kDeviceFontNames[2],
                kDeviceFontNames[3], kDeviceFontNames[4]);
    for (wchar_t c : tableCharacters()) {
        std::printf("%04X", unsigned(c));
        for (int f = 0; f < kDeviceFontCount; ++f) std::printf(" %d", fonts.advance(f, c));
        std::printf("\n");
    }
    return 0;
}

DeviceFontTable committedTable() {
    DeviceFontTable table;
    std::string error;
    std::string_view text = resource(RT_RCDATA, L"DEVICE_FONTS");
    EXPECT_FALSE(text.empty()) << "the table is linked into the test";
    EXPECT_TRUE(table.parse(text, error)) << error;
    return table;
}

TEST(DeviceFonts, MetricsOfEachFontAreTheTables) {
    DeviceFontTable table = committedTable();
    Fonts fonts;
    for (int f = 0; f < kDeviceFontCount; ++f) {
        SCOPED_TRACE(kDeviceFontNames[f]);
        DeviceFontMetrics device = fonts.metrics(f), listed = table.metrics(DeviceFont(f));
        EXPECT_EQ(device.height, listed.height);
        EXPECT_EQ(device.leading, listed.leading);
        EXPECT_EQ(device.average, listed.average);
    }
}

TEST(DeviceFonts, EveryCharacterOfTheLanguagesHasTheTablesAdvance) {
    DeviceFontTable table = committedTable();
    Fonts fonts;
    for (wchar_t c : tableCharacters()) {
        for (int f = 0; f < kDeviceFontCount; ++f) {
            EXPECT_EQ(fonts.advance(f, c), table.advance(DeviceFont(f), char16_t(c)))
                << "U+" << std::hex << unsigned(c) << " in " << kDeviceFontNames[f];
        }
    }
}

TEST(DeviceFonts, EveryTextIsAsWideAsItsCharactersAdvances) {
    DeviceFontTable table = committedTable();
    Fonts fonts;
    std::vector<std::wstring> texts = allTexts();
    ASSERT_GT(texts.size(), 500u) << "the five files' texts";
    for (const std::wstring& text : texts) {
        std::u16string units(text.begin(), text.end());
        for (int f = 0; f < kDeviceFontCount; ++f) {
            bool missing = false;
            EXPECT_EQ(fonts.width(f, text), table.width(DeviceFont(f), units, &missing)) << kDeviceFontNames[f];
            EXPECT_FALSE(missing) << "a character of the text is not in the table";
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--print") == 0) return printTable();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
