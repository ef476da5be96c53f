// The diagnostic log on the device: line format, banners, blocks, the cut of
// long texts, failures that stay silent and the size control of a grown log.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "log/diaglog.h"
#include "log/log_trim.h"

namespace {

std::wstring testFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring readText(const std::wstring& path) {
    std::wstring text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    text.resize(static_cast<size_t>(size.QuadPart) / 2);
    DWORD got = 0;
    if (!text.empty()) ReadFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &got, nullptr);
    CloseHandle(file);
    text.resize(got / 2);
    return text;
}

void writeText(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &written, nullptr));
    ASSERT_EQ(written, text.size() * 2);
    CloseHandle(file);
}

std::vector<std::wstring> lines(const std::wstring& text) {
    std::vector<std::wstring> result;
    size_t at = 0;
    for (size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2) {
        result.push_back(text.substr(at, end - at));
    }
    if (at < text.size()) result.push_back(text.substr(at));  // an unended last line
    return result;
}

// The text of a log line after its time prefix; empty when the line has none.
std::wstring textOf(const std::wstring& line) {
    static const std::wregex prefix(L"^[0-2]\\d:[0-5]\\d:[0-5]\\d\\.\\d{3}  ");
    std::wsmatch match;
    if (!std::regex_search(line, match, prefix)) return L"";
    return line.substr(match.length(0));
}

bool isBanner(const std::wstring& line, const wchar_t* word) {
    std::wregex banner(std::wstring(L"^[0-2]\\d:[0-5]\\d:[0-5]\\d\\.\\d{3}  ") + word +
                       L": [0-3]\\d\\.[01]\\d\\.\\d{4}, [0-2]\\d:[0-5]\\d:[0-5]\\d$");
    return std::regex_match(line, banner);
}

// True when `text` is whole blocks: each a "Started:" line, any lines, a
// "Stopped:" line and two empty lines.
::testing::AssertionResult wholeBlocks(const std::wstring& text) {
    std::vector<std::wstring> all = lines(text);
    if (text.size() < 2 || text.substr(text.size() - 2) != L"\r\n") {
        return ::testing::AssertionFailure() << "the text does not end with a line end";
    }
    size_t i = 0;
    while (i < all.size()) {
        if (!isBanner(all[i], L"Started")) return ::testing::AssertionFailure() << "line " << i << " starts no block";
        ++i;
        while (i < all.size() && !isBanner(all[i], L"Stopped")) {
            if (textOf(all[i]).empty()) return ::testing::AssertionFailure() << "line " << i << " has no time prefix";
            ++i;
        }
        if (i + 2 >= all.size()) {
            return ::testing::AssertionFailure() << "block without its ending at line " << i;
        }
        if (!all[i + 1].empty() || !all[i + 2].empty()) {
            return ::testing::AssertionFailure() << "the block ending at line " << i << " lacks its empty lines";
        }
        i += 3;
    }
    return ::testing::AssertionSuccess();
}

// Equality of two long texts, reported by where they part.
::testing::AssertionResult sameText(const std::wstring& actual, const std::wstring& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    std::string around;
    for (size_t i = at; i < at + 60 && i < actual.size(); ++i) around.push_back(static_cast<char>(actual[i] & 0x7F));
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << " characters, parting at " << at << ": \"" << around << "\"";
}

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path = testFolder() + std::wstring(name.begin(), name.end()) + L".log";
        remove();
    }
    void TearDown() override { remove(); }
    void remove() {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        DeleteFileW((path + L".tmp").c_str());
    }

    std::wstring path;
};

}  // namespace

TEST_F(DiagnosticLogTest, OneStartIsOneBlockOfPlainUtf16Lines) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    DiagnosticLog log;
    EXPECT_EQ(log.Open(path.c_str()), 0u);
    EXPECT_TRUE(log.isOpen());
    EXPECT_STREQ(log.path(), path.c_str());
    log.Write(L"Internal", L"EXE is starting...");
    log.Close();
    EXPECT_FALSE(log.isOpen());

    std::wstring text = readText(path);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text[0], L'\xFEFF') << "no byte-order mark";
    EXPECT_TRUE(wholeBlocks(text));
    std::vector<std::wstring> all = lines(text);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(textOf(all[1]), L"EXE is starting...");
    EXPECT_EQ(text.find(L"Internal"), std::wstring::npos) << "the category is not written";

    // The banner carries the local date.
    wchar_t date[16];
    swprintf(date, 16, L"%02d.%02d.%04d", before.wDay, before.wMonth, before.wYear);
    SYSTEMTIME after{};
    GetLocalTime(&after);
    wchar_t dateAfter[16];
    swprintf(dateAfter, 16, L"%02d.%02d.%04d", after.wDay, after.wMonth, after.wYear);
    EXPECT_TRUE(all[0].find(date) != std::wstring::npos || all[0].find(dateAfter) != std::wstring::npos) << all[0];
}

TEST_F(DiagnosticLogTest, TwoStartsLeaveTwoBlocks) {
    for (int run = 0; run < 2; ++run) {
        DiagnosticLog log;
        log.Open(path.c_str());
        log.Printf(L"Internal", L"run %d", run);
        log.Close();
    }
    std::wstring text = readText(path);
    EXPECT_TRUE(wholeBlocks(text));
    std::vector<std::wstring> all = lines(text);
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(textOf(all[1]), L"run 0");
    EXPECT_EQ(textOf(all[6]), L"run 1");
}

TEST_F(DiagnosticLogTest, PrintfFormatsNumbersAndWideStrings) {
    DiagnosticLog log;
    log.Open(path.c_str());
    log.Printf(L"Internal", L"%d", 42);
    log.Printf(L"Internal", L"regLoad inside - key: %s", L"Software\\Morvane Software\\ZerbinPDA\\4.1");
    log.Printf(L"Internal", L"regLoad failed - error: %d", 2);
    log.Close();
    std::vector<std::wstring> all = lines(readText(path));
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(textOf(all[1]), L"42");
    EXPECT_EQ(all[1].size(), 12u + 2u + 2u) << "time prefix, two blanks, the number";
    EXPECT_EQ(textOf(all[2]), L"regLoad inside - key: Software\\Morvane Software\\ZerbinPDA\\4.1");
    EXPECT_EQ(textOf(all[3]), L"regLoad failed - error: 2");
}

TEST_F(DiagnosticLogTest, ALongTextIsCutAt1241Characters) {
    std::wstring longText(3000, L'a');
    for (size_t i = 0; i < longText.size(); ++i) longText[i] = static_cast<wchar_t>(L'a' + i % 26);
    std::wstring huge(40000, L'b');  // more than the formatting buffer holds
    DiagnosticLog log;
    log.Open(path.c_str());
    log.Write(L"Internal", longText.c_str());
    log.Printf(L"Internal", L"%s", huge.c_str());
    log.Write(L"Internal", std::wstring(1241, L'c').c_str());
    log.Close();
    std::vector<std::wstring> all = lines(readText(path));
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(textOf(all[1]), longText.substr(0, 1241));
    EXPECT_EQ(textOf(all[2]), std::wstring(1241, L'b'));
    EXPECT_EQ(textOf(all[3]), std::wstring(1241, L'c'));
}

TEST_F(DiagnosticLogTest, NothingReachesAClosedLog) {
    DiagnosticLog log;
    log.Write(L"Internal", L"before open");
    log.Close();  // on a log never opened
    EXPECT_FALSE(exists(path));

    log.Open(path.c_str());
    log.Close();
    std::wstring closed = readText(path);
    log.Write(L"Internal", L"after close");
    log.Printf(L"Internal", L"after close %d", 1);
    log.Close();
    EXPECT_EQ(readText(path), closed);
}

TEST_F(DiagnosticLogTest, LinesGoToTheCurrentEndWhenAnotherWriterAppends) {
    DiagnosticLog log;
    log.Open(path.c_str());
    HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << "the log is shared for writing";
    SetFilePointer(other, 0, nullptr, FILE_END);
    const wchar_t foreign[] = L"foreign line\r\n";
    DWORD written = 0;
    WriteFile(other, foreign, sizeof foreign - sizeof(wchar_t), &written, nullptr);
    CloseHandle(other);
    log.Write(L"Internal", L"mine");
    log.Close();

    std::vector<std::wstring> all = lines(readText(path));
    ASSERT_EQ(all.size(), 6u);
    EXPECT_TRUE(isBanner(all[0], L"Started"));
    EXPECT_EQ(all[1], L"foreign line");
    EXPECT_EQ(textOf(all[2]), L"mine");
}

TEST_F(DiagnosticLogTest, AReadOnlyLogLetsTheProgramGoOnAndStaysUnchanged) {
    writeText(path, L"old content\r\n");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    DiagnosticLog log;
    EXPECT_EQ(log.Open(path.c_str()), 0u);
    EXPECT_FALSE(log.isOpen());
    log.Write(L"Internal", L"dropped");
    log.Close();
    EXPECT_EQ(readText(path), L"old content\r\n");
}

TEST_F(DiagnosticLogTest, ALockedLogLetsTheProgramGoOnAndStaysUnchanged) {
    writeText(path, L"old content\r\n");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    DiagnosticLog log;
    EXPECT_EQ(log.Open(path.c_str()), 0u);
    EXPECT_FALSE(log.isOpen());
    log.Write(L"Internal", L"dropped");
    log.Close();
    CloseHandle(lock);
    EXPECT_EQ(readText(path), L"old content\r\n");
}

TEST_F(DiagnosticLogTest, AnUnreachablePathIsNoError) {
    std::wstring nowhere = testFolder() + L"no such folder\\x.log";
    DiagnosticLog log;
    EXPECT_EQ(log.Open(nowhere.c_str()), 0u);
    EXPECT_FALSE(log.isOpen());
    log.Write(L"Internal", L"dropped");
    log.Close();
    EXPECT_FALSE(exists(nowhere));
    std::wstring tooLong(MAX_PATH + 10, L'x');
    EXPECT_EQ(log.Open(tooLong.c_str()), 0u);
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(log.Open(nullptr), 0u);
}

TEST_F(DiagnosticLogTest, ABareNameIsTakenInTheWorkingFolder) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    std::wstring folder = testFolder();
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    std::wstring bare = path.substr(folder.size());
    DiagnosticLog log;
    log.Open(bare.c_str());
    log.Close();
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(wholeBlocks(readText(path)));
}

// A grown log: `count` finished blocks after a `lead` of older text.
struct GrownLog {
    std::wstring text;
    std::vector<size_t> blockStarts;  // characters
};

GrownLog grownLog(size_t lead, size_t count) {
    GrownLog log;
    log.text = std::wstring(lead, L'z') + L"\r\n";
    for (size_t i = 0; i < count; ++i) {
        log.blockStarts.push_back(log.text.size());
        log.text += L"09:00:00.000  Started: 01.02.2026, 09:00:00\r\n";
        for (int line = 0; line < 20; ++line) {
            log.text += L"09:00:00.001  block " + std::to_wstring(i) + L" line " + std::to_wstring(line) +
                        L" with some words of a start-up trace\r\n";
        }
        log.text += L"09:00:00.002  Stopped: 01.02.2026, 09:00:01\r\n\r\n\r\n";
    }
    return log;
}

// The log's text after one more start, when the size control has done its work.
std::wstring startOnce(const std::wstring& path) {
    DiagnosticLog log;
    log.Open(path.c_str());
    log.Write(L"Internal", L"the new start");
    log.Close();
    return readText(path);
}

TEST_F(DiagnosticLogTest, AOneMebibyteLogIsCutToItsRecentWholeBlocks) {
    // Place the read offset in the body of a block, so that the cut is known:
    // right after that block.
    GrownLog grown;
    size_t cutBlock = 0;
    for (size_t lead = 0;; ++lead) {
        size_t perBlock = grownLog(0, 1).text.size() - 2;
        grown = grownLog(lead, (kLogTrimThreshold / 2 + perBlock - 1) / perBlock);
        uint64_t offset = logTrimReadOffset(grown.text.size() * 2) / 2;
        size_t block = 0;
        while (block + 1 < grown.blockStarts.size() && grown.blockStarts[block + 1] <= offset) ++block;
        size_t bannerAt = grown.text.find(L"Stopped:", grown.blockStarts[block]) - 14;
        if (offset > grown.blockStarts[block] && offset < bannerAt) {
            cutBlock = block + 1;
            break;
        }
    }
    ASSERT_GE(grown.text.size() * 2, kLogTrimThreshold);
    writeText(path, grown.text);

    std::wstring text = startOnce(path);
    std::wstring recent = grown.text.substr(grown.blockStarts[cutBlock]);
    ASSERT_GT(text.size(), recent.size());
    EXPECT_TRUE(sameText(text.substr(0, recent.size()), recent));
    EXPECT_TRUE(wholeBlocks(text));
    EXPECT_LE(text.size() * 2, kLogTrimWindow + 4096);
    EXPECT_EQ(textOf(lines(text.substr(recent.size()))[1]), L"the new start");
    EXPECT_FALSE(exists(path + L".tmp"));
}

TEST_F(DiagnosticLogTest, ALogJustBelowOneMebibyteIsNotTouched) {
    std::wstring below = grownLog(0, 0).text;
    below += std::wstring(kLogTrimThreshold / 2 - 1 - below.size() - 2, L'y') + L"\r\n";
    ASSERT_EQ(below.size() * 2, kLogTrimThreshold - 2);
    writeText(path, below);
    std::wstring text = startOnce(path);
    EXPECT_TRUE(sameText(text.substr(0, below.size()), below));
    EXPECT_TRUE(wholeBlocks(text.substr(below.size())));

    // The next start finds it over the limit and cuts it after the block just written.
    std::wstring again = startOnce(path);
    EXPECT_TRUE(wholeBlocks(again));
    EXPECT_EQ(lines(again).size(), 5u);
}

TEST_F(DiagnosticLogTest, ACopyLeftByACrashDoesNotSpoilTheCut) {
    GrownLog grown = grownLog(0, 400);
    ASSERT_GE(grown.text.size() * 2, kLogTrimThreshold);
    writeText(path, grown.text);
    // A longer ".tmp" from an earlier start that never finished its replace.
    writeText(path + L".tmp", std::wstring(kLogTrimThreshold, L'#'));

    std::wstring text = startOnce(path);
    EXPECT_EQ(text.find(L'#'), std::wstring::npos);
    EXPECT_TRUE(wholeBlocks(text));
    EXPECT_LT(text.size() * 2, kLogTrimThreshold);
    EXPECT_FALSE(exists(path + L".tmp"));
}

TEST_F(DiagnosticLogTest, AReadOnlyGrownLogIsNeitherCutNorWritten) {
    GrownLog grown = grownLog(0, 400);
    ASSERT_GE(grown.text.size() * 2, kLogTrimThreshold);
    writeText(path, grown.text);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(sameText(startOnce(path), grown.text));
    EXPECT_FALSE(exists(path + L".tmp"));
}
