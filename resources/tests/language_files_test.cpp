// The five language files exactly as the device reads them: encoding, line
// structure, entry syntax, the same IDs and format placeholders in every file,
// and keys that the lookup (first occurrence of "ID=" anywhere) finds at their
// own entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "shell/lang_text.h"

namespace {

const char* const kFileNames[] = {"czech", "english", "french", "portuguese", "slovak"};

// Every string ID that some edition looks up: main screen, scan and report
// screens, settings, the report file, message boxes and the Smartphone's soft
// keys and screens.
std::set<uint32_t> lookedUpIds() {
    std::set<uint32_t> ids = {8020, 8021, 8022, 8201, 8202, 8203, 8204, 8206, 8207, 8214,
                              8215, 8216, 8312, 8313, 8400, 8511, 8512, 10000, 10001,
                              10002, 10011, 10012, 10013};
    auto range = [&ids](uint32_t first, uint32_t last) {
        for (uint32_t id = first; id <= last; ++id) ids.insert(id);
    };
    range(8030, 8059);  // weekdays, months, ordinal suffixes, "Time"
    range(8100, 8113);
    range(8116, 8121);
    range(8200, 8200);
    range(8300, 8310);
    range(8316, 8319);
    range(8402, 8410);
    range(8470, 8474);
    range(8501, 8505);
    range(8600, 8604);
    return ids;
}

// How a file's ID set differs from the English one: only in entries that no
// edition looks up.
struct IdQuirks {
    std::set<uint32_t> extra;
    std::set<uint32_t> missing;
};
const std::map<std::string, IdQuirks> kQuirks = {
    {"czech", {{}, {8210}}},
    {"english", {{}, {}}},
    {"french", {{8205}, {}}},
    {"portuguese", {{}, {8311}}},
    {"slovak", {{}, {8210}}},
};

std::string utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct Entry {
    std::u16string text;
    size_t lineOffset = 0;  // UTF-16 unit where the entry's line starts (BOM = unit 0)
};

struct LanguageFile {
    std::string name;
    std::vector<uint8_t> bytes;
    std::u16string units;  // the whole file, BOM included
    std::vector<std::u16string> lines;
    std::vector<size_t> lineOffsets;
    std::map<uint32_t, Entry> entries;
    std::vector<std::string> problems;  // syntax faults found while reading
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// An entry line: ID without leading zeros, "=", a quoted text without quotes,
// nothing after the closing quote.
bool parseEntry(const std::u16string& line, uint32_t* id, std::u16string* text) {
    size_t digits = 0;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    if (digits == 0 || digits > 5 || (digits > 1 && line[0] == u'0')) return false;
    if (line.size() < digits + 3 || line[digits] != u'=' || line[digits + 1] != u'"') return false;
    if (line.back() != u'"') return false;
    *text = line.substr(digits + 2, line.size() - digits - 3);
    if (text->find(u'"') != std::u16string::npos) return false;
    *id = 0;
    for (size_t i = 0; i < digits; ++i) *id = *id * 10 + (line[i] - u'0');
    return true;
}

bool isComment(const std::u16string& line) {
    return line.size() >= 2 && line.front() == u'{' && line.back() == u'}' &&
           line.find(u'{', 1) == std::u16string::npos && line.find(u'}') == line.size() - 1;
}

LanguageFile readLanguageFile(const std::string& name) {
    LanguageFile file;
    file.name = name;
    std::ifstream in(std::string(ZB_RESOURCES_DIR) + "/" + name + ".lang", std::ios::binary);
    file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (file.bytes.empty()) {
        file.problems.push_back("missing or empty");
        return file;
    }
    if (file.bytes.size() % 2 != 0) file.problems.push_back("odd size");
    for (size_t i = 0; i + 1 < file.bytes.size(); i += 2) {
        file.units += char16_t(file.bytes[i] | (file.bytes[i + 1] << 8));
    }

    // Lines: every one ended by CR LF, the last one too; no CR or LF alone.
    size_t start = 1;  // after the byte-order mark
    for (size_t i = 1; i < file.units.size(); ++i) {
        char16_t c = file.units[i];
        if (c == u'\r') {
            if (i + 1 >= file.units.size() || file.units[i + 1] != u'\n') {
                file.problems.push_back("CR without LF at unit " + std::to_string(i));
                continue;
            }
            file.lines.push_back(file.units.substr(start, i - start));
            file.lineOffsets.push_back(start);
            start = i + 2;
            ++i;
        } else if (c == u'\n') {
            file.problems.push_back("LF without CR at unit " + std::to_string(i));
        }
    }
    if (start != file.units.size()) file.problems.push_back("text after the last CR LF");

    for (size_t n = 0; n < file.lines.size(); ++n) {
        const std::u16string& line = file.lines[n];
        const std::string where = "line " + std::to_string(n + 1) + " \"" + utf8(line) + "\"";
        if (n + 1 == file.lines.size()) {
            if (line != u"$") file.problems.push_back("last line is not $: " + where);
            continue;
        }
        if (isComment(line)) continue;
        uint32_t id = 0;
        std::u16string text;
        if (n < 3 || !parseEntry(line, &id, &text)) {
            file.problems.push_back("neither comment nor entry: " + where);
            continue;
        }
        if (file.entries.count(id)) file.problems.push_back("second entry: " + where);
        file.entries[id] = Entry{text, file.lineOffsets[n]};
    }
    return file;
}

const std::vector<LanguageFile>& languageFiles() {
    static const std::vector<LanguageFile> files = [] {
        std::vector<LanguageFile> all;
        for (const char* name : kFileNames) all.push_back(readLanguageFile(name));
        return all;
    }();
    return files;
}

const LanguageFile& languageFile(const std::string& name) {
    for (const LanguageFile& file : languageFiles()) {
        if (file.name == name) return file;
    }
    ADD_FAILURE() << "no file " << name;
    static const LanguageFile none;
    return none;
}

// The wsprintfW placeholders of a text, in order. A "%" that starts none of
// the forms the program passes arguments for is returned as "?" so that it
// fails the comparison: the program would read it as a format.
std::vector<std::u16string> placeholders(const std::u16string& text) {
    static const std::u16string kForms[] = {u"%0.2d", u"%d", u"%s", u"%S"};
    std::vector<std::u16string> found;
    for (size_t i = text.find(u'%'); i != std::u16string::npos; i = text.find(u'%', i + 1)) {
        std::u16string form = u"?";
        for (const std::u16string& candidate : kForms) {
            if (text.compare(i, candidate.size(), candidate) == 0) {
                form = candidate;
                break;
            }
        }
        found.push_back(form);
    }
    return found;
}

std::set<uint32_t> idsOf(const LanguageFile& file) {
    std::set<uint32_t> ids;
    for (const auto& [id, entry] : file.entries) ids.insert(id);
    return ids;
}

TEST(LanguageFiles, AreUtf16WithByteOrderMarkAndCrLfLinesEndingInDollar) {
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        ASSERT_GE(file.bytes.size(), 2u);
        EXPECT_EQ(file.bytes[0], 0xFF);
        EXPECT_EQ(file.bytes[1], 0xFE);
        for (const std::string& problem : file.problems) ADD_FAILURE() << problem;
        ASSERT_FALSE(file.lines.empty());
        EXPECT_EQ(file.lines.back(), u"$");
        EXPECT_GT(file.entries.size(), 100u);
        // No second byte-order mark, no NUL (the resource has no terminator),
        // no control character and no unpaired surrogate anywhere.
        for (size_t i = 1; i < file.units.size(); ++i) {
            char16_t c = file.units[i];
            if (c == u'\r' || c == u'\n') continue;
            EXPECT_GE(c, 0x20) << "control character at unit " << i;
            EXPECT_NE(c, 0xFEFF) << "byte-order mark inside at unit " << i;
            if (c >= 0xD800 && c <= 0xDBFF) {
                EXPECT_TRUE(i + 1 < file.units.size() && file.units[i + 1] >= 0xDC00 && file.units[i + 1] <= 0xDFFF)
                    << "unpaired surrogate at unit " << i;
                ++i;
            } else {
                EXPECT_FALSE(c >= 0xDC00 && c <= 0xDFFF) << "unpaired surrogate at unit " << i;
            }
        }
    }
}

TEST(LanguageFiles, BeginWithThreeBannerCommentsNamingTheLanguage) {
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        ASSERT_GE(file.lines.size(), 4u);
        for (size_t n = 0; n < 3; ++n) EXPECT_TRUE(isComment(file.lines[n])) << utf8(file.lines[n]);
        EXPECT_EQ(utf8(file.lines[0]), "{** WinCE zerbin! antivirus language file - " + file.name + " one **}");
        EXPECT_FALSE(isComment(file.lines[3]) && file.lines[3].find(u"**") != std::u16string::npos)
            << "the banner is three lines";
    }
}

TEST(LanguageFiles, CarryTheEnglishIdsApartFromTheKnownQuirks) {
    const std::set<uint32_t> english = idsOf(languageFile("english"));
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        const IdQuirks& quirks = kQuirks.at(file.name);
        std::set<uint32_t> expected = english;
        for (uint32_t id : quirks.missing) expected.erase(id);
        expected.insert(quirks.extra.begin(), quirks.extra.end());
        const std::set<uint32_t> ids = idsOf(file);
        for (uint32_t id : expected) EXPECT_TRUE(ids.count(id)) << "missing " << id;
        for (uint32_t id : ids) EXPECT_TRUE(expected.count(id)) << "unexpected " << id;
    }
}

TEST(LanguageFiles, HoldEveryIdTheProgramLooksUp) {
    const std::set<uint32_t> wanted = lookedUpIds();
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        for (uint32_t id : wanted) EXPECT_TRUE(file.entries.count(id)) << "missing " << id;
        // The IDs that the quirks leave out are ones nobody looks up.
        for (uint32_t id : kQuirks.at(file.name).missing) EXPECT_FALSE(wanted.count(id)) << id;
    }
}

TEST(LanguageFiles, UseTheSamePlaceholdersPerIdAsEnglish) {
    const LanguageFile& english = languageFile("english");
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        for (const auto& [id, entry] : file.entries) {
            auto own = english.entries.find(id);
            const std::vector<std::u16string> expected =
                own != english.entries.end() ? placeholders(own->second.text) : std::vector<std::u16string>{};
            EXPECT_EQ(placeholders(entry.text), expected) << id << " \"" << utf8(entry.text) << "\"";
        }
    }
}

TEST(LanguageFiles, FirstOccurrenceOfEveryKeyIsItsOwnEntry) {
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        for (const auto& [id, entry] : file.entries) {
            std::u16string key;
            for (char c : std::to_string(id) + "=") key += char16_t(c);
            EXPECT_EQ(file.units.find(key), entry.lineOffset) << "key " << id << "= found elsewhere first";

            // And the loader's lookup gives the entry's text in full.
            std::u16string looked(kLanguageTextCapacity + 1, u'\0');
            size_t count = langTextCopy(file.bytes.data(), file.bytes.size(), id, looked.data(), looked.size());
            looked.resize(count);
            EXPECT_EQ(looked, entry.text) << id;
        }
    }
}

TEST(LanguageFiles, TextsFitTheLookupBuffer) {
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        for (const auto& [id, entry] : file.entries) EXPECT_LE(entry.text.size(), kLanguageTextCapacity) << id;
    }
}

TEST(LanguageFiles, NameTheirLanguageAndListTheFiveAlike) {
    const std::map<std::string, std::u16string> ownName = {
        {"czech", u"Česky (Czech)"},           {"english", u"English (English)"},
        {"french", u"Français (Français)"},    {"portuguese", u"Português (Portuguese)"},
        {"slovak", u"Slovensky (Slovak)"},
    };
    const std::u16string listed[] = {u"Česky (Czech)", u"English (English)", u"Français (French)",
                                     u"Português (Portugal)", u"Slovensky (Slovak)"};
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        ASSERT_TRUE(file.entries.count(8000));
        EXPECT_EQ(file.entries.at(8000).text, ownName.at(file.name));
        for (uint32_t row = 0; row < 5; ++row) {
            ASSERT_TRUE(file.entries.count(8470 + row));
            EXPECT_EQ(file.entries.at(8470 + row).text, listed[row]) << 8470 + row;
        }
    }
}

TEST(LanguageFiles, ShareTheProductVersionAndMakerTexts) {
    for (const LanguageFile& file : languageFiles()) {
        SCOPED_TRACE(file.name);
        const auto& e = file.entries;
        ASSERT_TRUE(e.count(8020) && e.count(8021) && e.count(8022) && e.count(8100) && e.count(8101) &&
                    e.count(10002));
        EXPECT_EQ(e.at(8020).text, u"zerbin! antivirus");  // the questions' caption, the report's title
        EXPECT_EQ(e.at(8021).text, u"4.1.19");
        EXPECT_EQ(e.at(8022).text, u"");
        EXPECT_EQ(e.at(8101).text, u"www.morvane.example");
        for (uint32_t id : {8100u, 10002u}) {
            EXPECT_NE(e.at(id).text.find(u"2007"), std::u16string::npos) << id;
            EXPECT_NE(e.at(id).text.find(u"Morvane Software"), std::u16string::npos) << id;
        }
        // Labels that a value follows directly keep their closing blank.
        for (uint32_t id : {8105u, 8112u}) EXPECT_EQ(e.at(id).text.back(), u' ') << id;
        EXPECT_EQ(e.at(8303).text.front(), u' ');
        EXPECT_EQ(e.at(8319).text, u"%s(%d)");
    }
}

TEST(LanguageFiles, EnglishTextsComposeTheReportAndScreensAsWorded) {
    const auto& e = languageFile("english").entries;
    auto text = [&e](uint32_t id) { return e.count(id) ? utf8(e.at(id).text) : "<missing " + std::to_string(id) + ">"; };

    // The date line of the report: weekday + ", " + day + suffix by the
    // day's last digit + " " + month + ", " + year + " " + "Time" + " " + time.
    auto created = [&text](int weekday, int day, int month) {
        return text(8316) + " " + text(8030 + weekday) + ", " + std::to_string(day) + text(8049 + day % 10) + " " +
               text(8036 + month) + ", 2026 " + text(8059) + " 14:05:09";
    };
    EXPECT_EQ(created(0, 6, 12), "Created: Sunday, 6th December, 2026 Time 14:05:09");
    EXPECT_EQ(created(1, 1, 1), "Created: Monday, 1st January, 2026 Time 14:05:09");
    EXPECT_EQ(created(6, 22, 8), "Created: Saturday, 22nd August, 2026 Time 14:05:09");
    EXPECT_EQ(created(3, 23, 3), "Created: Wednesday, 23rd March, 2026 Time 14:05:09");
    EXPECT_EQ(created(2, 30, 6), "Created: Tuesday, 30th June, 2026 Time 14:05:09");

    EXPECT_EQ(text(8105) + text(8021), "Engine version: 4.1.19");
    EXPECT_EQ(text(8304), "Report list of %S v.");
    EXPECT_EQ(text(8313), "Scan time: %0.2d:%0.2d:%0.2d");
    EXPECT_EQ(text(8106) + " 5 " + text(8109), "Checked for updates: 5 min ago");
    EXPECT_EQ(text(8216), "The file could not be deleted.");
    EXPECT_EQ(text(8602), "The process cannot access the file because it is being used by another process. ");
}

TEST(LanguageFiles, FrenchCarriesItsOwnNoCountLabelAndUnitsWithoutAgo) {
    const auto& fr = languageFile("french").entries;
    ASSERT_TRUE(fr.count(8106) && fr.count(8121) && fr.count(8205));
    // The ordinary label ends in the word for "ago"; the units do not repeat it.
    const std::u16string label = fr.at(8106).text;
    EXPECT_EQ(label.substr(label.size() - 6), u"il y a");
    for (uint32_t id = 8108; id <= 8111; ++id) EXPECT_EQ(fr.at(id).text.find(u"il y a"), std::u16string::npos) << id;
    EXPECT_EQ(fr.at(8121).text.find(u"il y a"), std::u16string::npos);
    EXPECT_EQ(fr.at(8205).text, u"Renommer");
}

}  // namespace
