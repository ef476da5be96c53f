// zerbin's start-up as a person meets it: the messages of a missing database,
// a corrupted one, a missing library or library entry, the second instance,
// and the main screen with the age of the last update check and the Report
// button.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::ZerbinApp;

// Starts the program, expects one stop box with the fixed caption and `text`,
// answers it, and expects the program to end with code 0.
void expectStartupBox(ZerbinApp& app, const std::wstring& text) {
    ASSERT_TRUE(app.start());
    std::wstring caption, shown;
    ASSERT_TRUE(app.answerBox(IDOK, &caption, &shown)) << "no message box";
    EXPECT_EQ(e2e::utf8(caption), "zerbin! antivirus");
    EXPECT_EQ(e2e::utf8(shown), e2e::utf8(text));
    EXPECT_EQ(app.waitExit(), 0);
    HWND window = nullptr;
    zbauto::WindowQuery query;
    query.className = L"zerbin4windowClass";
    EXPECT_NE(zbauto::findTopWindow(query, window), kStatusOk) << "no main window after a failed start";
}

// The last line of the diagnostic log in the device's root.
std::wstring lastLogLine() {
    std::vector<uint8_t> bytes = e2e::readFileBytes(L"\\morvane_pda.log");
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    size_t start = text.rfind(L"\r\n");
    return start == std::wstring::npos ? text : text.substr(start + 2);
}

TEST(ZerbinStartup, DatabaseProblemsShowTheirOwnMessage) {
    ZerbinApp app;
    app.removeDatabase();
    expectStartupBox(app, L"Virus database was not found.");
    std::wstring last = lastLogLine();
    EXPECT_GE(last.size(), 8u);
    EXPECT_EQ(e2e::utf8(last.substr(last.size() - 8)), "init VPS") << "the log ends at the load, with no Stopped line";

    app.writeDatabase();
    std::string bytes;
    {
        std::vector<uint8_t> good = e2e::readFileBytes(app.path(L"zerbinpda.vps"));
        good.back() ^= 0x40;
        app.writeRawDatabase(good);
    }
    expectStartupBox(app, L"Virus database is corrupted.");

    app.writeRawDatabase({});
    expectStartupBox(app, L"Could not initialize scanning engine.\r\n\r\nError code: 87");
}

TEST(ZerbinStartup, MissingLibraryOrEntryStopsWithItsMessage) {
    ZerbinApp app;
    app.writeDatabase();
    app.putLibrary(L"CELLCORE_NO_RELEASECONNECTION", L"cellcore.dll");
    expectStartupBox(app, L"ConnMgrReleaseConnection fn was NOT found in CellCore.dll");
    DeleteFileW(app.path(L"cellcore.dll").c_str());

    app.putLibrary(L"AYGSHELL_NO_FINDMENUBAR", L"AygShell.dll");
    expectStartupBox(app, L"SHFindMenuBar fn was NOT found in AygShell.dll");
    DeleteFileW(app.path(L"AygShell.dll").c_str());

    // A library that exports an entry by its ordinal only binds all the same.
    app.putLibrary(L"AYGSHELL_FULLSCREEN_BY_ORDINAL", L"AygShell.dll");
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.end();
    DeleteFileW(app.path(L"AygShell.dll").c_str());

    // The device without its connection manager: nothing is logged either.
    DeleteFileW(L"\\morvane_pda.log");
    const wchar_t* library = L"C:\\windows\\system32\\cellcore.dll";
    const wchar_t* away = L"C:\\windows\\system32\\cellcore.dll.away";
    ASSERT_TRUE(MoveFileExW(library, away, MOVEFILE_REPLACE_EXISTING));
    expectStartupBox(app, L"CellCore.dll was not found!");
    MoveFileExW(away, library, MOVEFILE_REPLACE_EXISTING);
    EXPECT_EQ(GetFileAttributesW(L"\\morvane_pda.log"), INVALID_FILE_ATTRIBUTES);
}

TEST(ZerbinStartup, SecondInstanceEndsAndTheFirstComesToTheFront) {
    ZerbinApp first;
    first.writeDatabase();
    std::string why;
    ASSERT_TRUE(first.startAndWait(why)) << why;

    // Another window takes the front, then the program is started again.
    PROCESS_INFORMATION other{};
    ASSERT_EQ(zbauto::startProgram(L"\"" + e2e::selfPath() + L"\" --fixture", other), kStatusOk);
    zbauto::WindowQuery fixture;
    fixture.className = e2e::kFixtureClass;
    HWND fixtureWindow = nullptr;
    ASSERT_EQ(zbauto::waitTopWindow(fixture, 20000, fixtureWindow), kStatusOk);

    PROCESS_INFORMATION second{};
    ASSERT_EQ(zbauto::startProgram(L"\"" + first.path(L"zerbin.exe") + L"\"", second), kStatusOk);
    DWORD code = 1;
    EXPECT_EQ(zbauto::waitProcess(second.hProcess, 20000, code), kStatusOk);
    EXPECT_EQ(code, 0u);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
    EXPECT_TRUE(IsWindow(first.window())) << "the first instance keeps running";
    EXPECT_EQ(GetForegroundWindow(), first.window()) << "and comes to the front";

    PostMessageW(fixtureWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(other.hProcess, 5000);
    CloseHandle(other.hProcess);
    CloseHandle(other.hThread);
}

// Looks for a pixel of `colour` in the rows of the screen between `top` and `bottom`.
bool screenRowsHold(COLORREF colour, int top, int bottom) {
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (zbauto::captureScreen(rgb, width, height) != kStatusOk) return false;
    for (int y = std::max(0, top); y < std::min(height, bottom); ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            if (RGB(p[0], p[1], p[2]) == colour) return true;
        }
    }
    return false;
}

// The colours on the age line of the main screen, found from the layout: the
// line is 13 lines and 35 pixels below the top of the client area, and the
// button row 18 lines down gives the line height.
bool ageLineHolds(const ZerbinApp& app, COLORREF colour) {
    RECT button{};
    zbauto::readRect(app.control(8102), button);
    int line = button.top / 18;
    POINT origin{0, 13 * line + 35};
    ClientToScreen(app.window(), &origin);
    return screenRowsHold(colour, origin.y, origin.y + line);
}

// The main screen is painted just after its window appears: waits (a few
// seconds at most) until the age line shows `colour`.
bool ageLineShows(const ZerbinApp& app, COLORREF colour) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (ageLineHolds(app, colour)) return true;
        Sleep(100);
    }
    return false;
}

TEST(ZerbinStartup, MainScreenShowsTheCheckAgeAndTheReportButton) {
    ZerbinApp app;
    app.writeDatabase(57);
    DeleteFileW(app.path(L"report.txt").c_str());
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_EQ(e2e::utf8(app.text(8102)), "Scan");
    EXPECT_EQ(e2e::utf8(app.text(8103)), "Settings");
    EXPECT_EQ(e2e::utf8(app.text(8104)), "Report");
    EXPECT_TRUE(app.enabled(8102));
    EXPECT_FALSE(app.enabled(8104)) << "no report yet";
    // "not yet", in blue.
    EXPECT_TRUE(ageLineShows(app, RGB(0, 0, 255)));
    EXPECT_FALSE(ageLineHolds(app, RGB(255, 0, 0)));
    app.end();

    // With a report beside the program, Report is enabled; a check made
    // minutes ago is blue too.
    e2e::writeFile(app.path(L"report.txt"), "report");
    SYSTEMTIME recent{};
    GetSystemTime(&recent);
    recent.wMinute = recent.wMinute >= 5 ? recent.wMinute - 5 : recent.wMinute;
    e2e::writeCheckTime(recent);
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_TRUE(app.enabled(8104));
    EXPECT_TRUE(ageLineShows(app, RGB(0, 0, 255)));
    EXPECT_FALSE(ageLineHolds(app, RGB(255, 0, 0)));
    app.end();

    // A check stored in another year is "too old!", drawn red.
    SYSTEMTIME old{};
    GetSystemTime(&old);
    old.wYear -= 1;
    e2e::writeCheckTime(old);
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_TRUE(ageLineShows(app, RGB(255, 0, 0)));
    EXPECT_FALSE(ageLineHolds(app, RGB(0, 0, 255)));
    app.end();
}

}  // namespace
