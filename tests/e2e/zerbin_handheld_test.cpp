// The Handheld PC edition on its own device (640 x 240, no shell library, no
// connection manager): it starts with the Internet library alone, its main
// screen has a column of four buttons with their descriptions, Exit ends the
// program, and its settings keep the report levels in a list box that a
// language change refills.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::utf8;
using e2e::ZerbinApp;

bool deviceHas(const wchar_t* library) {
    return GetFileAttributesW((std::wstring(L"\\Windows\\System32\\") + library).c_str()) != INVALID_FILE_ATTRIBUTES;
}

RECT rectOf(const ZerbinApp& app, int id) {
    RECT r{};
    zbauto::readRect(app.control(id), r);
    return r;
}

// Counts pixels of `colour` in a rectangle of the main window's client area.
int pixelsIn(const ZerbinApp& app, RECT area, COLORREF colour) {
    zbauto::waitScreenStill(300, 5000);
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (zbauto::captureScreen(rgb, width, height) != kStatusOk) return -1;
    POINT origin{0, 0};
    ClientToScreen(app.window(), &origin);
    int count = 0;
    for (int y = std::max(0, int(area.top + origin.y)); y < std::min(height, int(area.bottom + origin.y)); ++y) {
        for (int x = std::max(0, int(area.left + origin.x)); x < std::min(width, int(area.right + origin.x)); ++x) {
            const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            if (RGB(p[0], p[1], p[2]) == colour) ++count;
        }
    }
    return count;
}

std::vector<std::string> rowsOf(const ZerbinApp& app, int id) {
    std::vector<std::string> out;
    for (const std::wstring& row : app.rows(id)) out.push_back(utf8(row));
    return out;
}

std::vector<std::string> padded(std::vector<std::string> rows) {
    for (std::string& row : rows) row += std::string(69, ' ');
    return rows;
}

TEST(ZerbinHandheld, StartsWithTheInternetLibraryAlone) {
    // A Handheld PC carries neither the shell library nor the connection manager.
    ASSERT_FALSE(deviceHas(L"AygShell.dll"));
    ASSERT_FALSE(deviceHas(L"cellcore.dll"));
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_FALSE(app.boxOpen(0));
    // No shell call on the window: no input-panel button appeared either.
    HWND sip = nullptr;
    zbauto::WindowQuery query;
    query.className = L"MS_SIPBUTTON";
    EXPECT_NE(zbauto::findTopWindow(query, sip), kStatusOk);
}

TEST(ZerbinHandheld, MainScreenHasTheButtonColumnWithItsDescriptions) {
    ZerbinApp app;
    app.writeDatabase();
    DeleteFileW(app.path(L"report.txt").c_str());
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;

    RECT client{};
    GetClientRect(app.window(), &client);
    const int x0 = client.right / 35;
    const int ids[4] = {8102, 8103, 8104, 8120};
    const char* captions[4] = {"Scan", "Settings", "Report", "Exit"};
    RECT first = rectOf(app, 8102);
    const int pitch = (first.bottom - first.top) + 10;
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(captions[row]);
        RECT r = rectOf(app, ids[row]);
        EXPECT_EQ(r.left, x0 + 10);
        EXPECT_EQ(r.top, 75 + row * pitch);
        EXPECT_EQ(r.right - r.left, first.right - first.left);
        EXPECT_EQ(utf8(app.text(ids[row])), captions[row]);
        EXPECT_EQ(app.enabled(ids[row]), ids[row] != 8104) << "Report disabled without a report file";
        // Its description, black on white, beside it, also for the disabled Report.
        const int left = x0 + (first.right - first.left) + 30;
        RECT description{left, 78 + row * pitch, left + 60, 78 + row * pitch + pitch - 10};
        EXPECT_GT(pixelsIn(app, description, RGB(0, 0, 0)), 10) << "no description drawn";
    }
    // The column fits the screen, and the main screen's last line, the age
    // of the update check (a blue "not yet"), is drawn below it and above
    // the screen's bottom edge.
    RECT exit = rectOf(app, 8120);
    EXPECT_LE(exit.bottom, client.bottom);
    RECT belowColumn{0, exit.bottom, client.right, client.bottom};
    EXPECT_GT(pixelsIn(app, belowColumn, RGB(0, 0, 255)), 10) << "no age line under the column";
}

TEST(ZerbinHandheld, ScanAndReportSitLowerOnTheLandscapeScreen) {
    ZerbinApp app;
    app.writeCleanDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    RECT client{};
    GetClientRect(app.window(), &client);
    app.press(8102);
    ASSERT_NE(app.control(8207), nullptr);
    RECT remove = rectOf(app, 8206), cancel = rectOf(app, 8207), list = rectOf(app, 116);
    // A clean scan ends on the report screen, which gives the line height.
    ASSERT_NE(app.control(8318, 120000), nullptr) << "no report screen after the scan";
    RECT text = rectOf(app, 118), back = rectOf(app, 8318);
    const int h = (text.top - 2) / 2;
    const int rowTop = 14 * h;
    const int width = back.right - back.left;
    EXPECT_EQ(text.left, 13);
    EXPECT_EQ(text.right, client.right - 13);
    EXPECT_EQ(text.bottom - text.top, rowTop - 4 * h + 5);
    EXPECT_EQ(back.left, (client.right - width) / 2);
    EXPECT_EQ(back.top, rowTop - 12);
    EXPECT_LE(back.bottom, client.bottom);

    EXPECT_EQ(remove.left, 13);
    EXPECT_EQ(remove.top, rowTop - 11);
    EXPECT_EQ(cancel.left, 13 + width + 10) << "Cancel right beside Delete";
    EXPECT_EQ(cancel.top, rowTop - 11);
    EXPECT_EQ(list.bottom - list.top, 6 * h - 3);
    EXPECT_LE(list.bottom, remove.top) << "the list ends above the buttons";
    EXPECT_LE(remove.bottom, client.bottom);
}

TEST(ZerbinHandheld, ExitEndsTheProgramAsClosingItDoes) {
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    HWND window = app.window();
    app.press(8120);
    EXPECT_EQ(app.waitExit(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(app.boxOpen(0));
}

TEST(ZerbinHandheld, LanguageChangeRefillsTheReportLevelsAndKeepsTheRow) {
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8103);
    ASSERT_NE(app.control(8410), nullptr);
    EXPECT_FALSE(app.exists(8102)) << "the main screen's buttons are gone";
    EXPECT_FALSE(app.exists(8120));

    HWND levels = app.control(8410);
    EXPECT_EQ(zbauto::classOf(levels), L"ListBox");
    DWORD style = 0, exStyle = 0;
    ASSERT_EQ(zbauto::readStyle(levels, style, exStyle), kStatusOk);
    // Created with 0x50A00181; a list box whose rows fit takes its scroll
    // bar (WS_VSCROLL) away again by itself.
    EXPECT_EQ(style | WS_VSCROLL, 0x50A00181u);
    EXPECT_EQ(rowsOf(app, 8410), padded({"All files", "Infected files", "Infected files + errors"}));
    EXPECT_EQ(app.selection(8410), 1) << "the default level 2";

    // The two lists side by side, in the two halves of the screen.
    RECT client{};
    GetClientRect(app.window(), &client);
    RECT languages = rectOf(app, 8401), levelList = rectOf(app, 8410);
    EXPECT_EQ(languages.top, levelList.top);
    EXPECT_LE(languages.right, client.right / 2);
    EXPECT_EQ(levelList.left, client.right / 2 + 13);
    EXPECT_EQ(levelList.right - levelList.left, languages.right - languages.left);

    app.select(8410, 2);
    app.select(8401, 2);  // French
    ASSERT_TRUE(app.waitText(8403, L"Termin\u00e9", 5000));
    EXPECT_EQ(rowsOf(app, 8410),
              padded({"Tous les fichiers", "Fichiers infect\u00e9s", "Fichiers infect\u00e9s + erreurs"}));
    EXPECT_EQ(app.selection(8410), 2) << "the chosen row stays selected";
    EXPECT_EQ(app.rows(8410).size(), 3u);

    app.press(8403);
    ASSERT_NE(app.control(8120), nullptr);
    DWORD level = 0;
    ASSERT_TRUE(e2e::readSetting(L"Report", level));
    EXPECT_EQ(level, 6u) << "row 2 stores 6";
}

}  // namespace
