// The automation driver against a fixture program of its own, running in
// another process on the device: every reading must show what the fixture
// shows, every press must reach it as a person's would, and a press that
// opens a message box must leave the caller free to answer it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tools/drive/automation.h"
#include "tools/drive/tests/png_reader.h"

namespace {

using namespace zbauto;
using namespace e2e;

constexpr DWORD kWait = 10000;

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

class DriveTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // A fixture left behind by an interrupted run would be found instead of ours.
        HWND stale = nullptr;
        WindowQuery any;
        any.className = kFixtureClass;
        while (findTopWindow(any, stale) == kStatusOk) {
            DWORD staleId = 0;
            GetWindowThreadProcessId(stale, &staleId);
            if (endProcess(staleId, 0) != kStatusOk) break;
        }
        PROCESS_INFORMATION info{};
        ASSERT_EQ(startProgram(L"\"" + selfPath() + L"\" --fixture", info), kStatusOk);
        CloseHandle(info.hThread);
        s_process = info.hProcess;
        s_processId = info.dwProcessId;
        WindowQuery query;
        query.className = kFixtureClass;
        query.title = kFixtureTitle;
        query.processId = s_processId;
        ASSERT_EQ(waitTopWindow(query, 30000, s_window), kStatusOk) << "the fixture window did not open";
        // The window is there from its creation on; its controls follow (the blue label last).
        HWND last = nullptr;
        ASSERT_EQ(waitControl(s_window, kBlue, 30000, last), kStatusOk) << "the fixture has no controls";
    }
    static void TearDownTestSuite() {
        if (s_window) postClose(s_window);
        DWORD code = 0;
        if (s_process && waitProcess(s_process, kWait, code) != kStatusOk) TerminateProcess(s_process, 1);
        if (s_process) CloseHandle(s_process);
        s_process = nullptr;
        s_window = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(s_window && IsWindow(s_window)) << "the fixture is not running";
        // A box left open by a failed test would block every later one.
        HWND box = nullptr;
        while (waitMessageBox(s_processId, nullptr, 0, box) == kStatusOk) pressMessageBoxButton(box, IDNO, kWait);
        ASSERT_EQ(postCommand(s_window, kClearLog, 0), kStatusOk);
        std::wstring last;
        ASSERT_EQ(waitText(control(kLog), L"", kWait, last), kStatusOk) << narrow(last);
    }

    static HWND control(int id) {
        HWND found = nullptr;
        EXPECT_EQ(findControl(s_window, id, found), kStatusOk) << "control " << id;
        return found;
    }

    // Waits until the fixture's event log reads `expected` exactly.
    static void expectLog(const std::wstring& expected) {
        std::wstring last;
        EXPECT_EQ(waitText(control(kLog), expected, kWait, last), kStatusOk)
            << "log \"" << narrow(last) << "\", expected \"" << narrow(expected) << "\"";
    }

    static HWND s_window;
    static HANDLE s_process;
    static DWORD s_processId;
};
HWND DriveTest::s_window = nullptr;
HANDLE DriveTest::s_process = nullptr;
DWORD DriveTest::s_processId = 0;

TEST_F(DriveTest, FindsTheWindowThatFillsTheWorkArea) {
    HWND found = nullptr;
    WindowQuery byTitle;
    byTitle.title = kFixtureTitle;
    EXPECT_EQ(findTopWindow(byTitle, found), kStatusOk);
    EXPECT_EQ(found, s_window);
    WindowQuery wrongTitle;
    wrongTitle.className = kFixtureClass;
    wrongTitle.title = L"Drive fixture 2";
    EXPECT_EQ(findTopWindow(wrongTitle, found), kNotFound);
    EXPECT_EQ(waitTopWindow(wrongTitle, 200, found), kTimedOut);

    std::vector<WindowInfo> windows;
    ASSERT_EQ(listTopWindows(windows), kStatusOk);
    bool listed = false;
    for (const WindowInfo& w : windows) {
        if (w.window != s_window) continue;
        listed = true;
        EXPECT_EQ(w.processId, s_processId);
        EXPECT_EQ(w.title, kFixtureTitle);
        EXPECT_TRUE(w.visible);
    }
    EXPECT_TRUE(listed);

    // Started as the device's shell starts programs: the window takes the work area.
    RECT work{}, rect{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_EQ(readRect(s_window, rect), kStatusOk);
    EXPECT_TRUE(EqualRect(&rect, &work)) << rect.left << " " << rect.top << " " << rect.right << " " << rect.bottom;
}

TEST_F(DriveTest, ReadsControlsAsTheFixtureShowsThem) {
    HWND found = nullptr;
    EXPECT_EQ(findControl(s_window, 4242, found), kNotFound);
    EXPECT_EQ(waitControl(s_window, 4242, 100, found), kTimedOut);

    std::wstring text;
    ASSERT_EQ(readText(control(kAsk), text), kStatusOk);
    EXPECT_EQ(text, L"Ask");
    ASSERT_EQ(readText(s_window, text), kStatusOk);
    EXPECT_EQ(text, kFixtureTitle);

    bool flag = true;
    ASSERT_EQ(readEnabled(control(kOff), flag), kStatusOk);
    EXPECT_FALSE(flag);
    ASSERT_EQ(readEnabled(control(kPress), flag), kStatusOk);
    EXPECT_TRUE(flag);
    ASSERT_EQ(readVisible(control(kLog), flag), kStatusOk);
    EXPECT_FALSE(flag);
    ASSERT_EQ(readVisible(control(kSwatch), flag), kStatusOk);
    EXPECT_TRUE(flag);

    int checked = -1;
    ASSERT_EQ(readChecked(control(kCard), checked), kStatusOk);
    EXPECT_EQ(checked, BST_UNCHECKED);
    EXPECT_EQ(readChecked(control(kLabel), checked), kWrongKind);

    RECT rect{};
    ASSERT_EQ(readRect(control(kPress), rect), kStatusOk);
    EXPECT_EQ(rect.left, 2);
    EXPECT_EQ(rect.top, 2);
    EXPECT_EQ(rect.right, 58);
    EXPECT_EQ(rect.bottom, 24);

    DWORD style = 0, exStyle = 0;
    ASSERT_EQ(readStyle(control(kLanguages), style, exStyle), kStatusOk);
    EXPECT_TRUE(style & LBS_NOTIFY);
    ASSERT_EQ(readStyle(control(kQuiet), style, exStyle), kStatusOk);
    EXPECT_FALSE(style & LBS_NOTIFY);

    std::vector<ControlInfo> controls;
    ASSERT_EQ(listControls(s_window, controls), kStatusOk);
    int seen = 0;
    for (const ControlInfo& c : controls) {
        if (c.id == kOff) {
            ++seen;
            EXPECT_EQ(c.text, L"Off");
            EXPECT_FALSE(c.enabled);
            EXPECT_EQ(_wcsicmp(c.className.c_str(), L"Button"), 0);
        }
        if (c.id == kFiles) ++seen;
    }
    EXPECT_EQ(seen, 2);
}

TEST_F(DriveTest, PressesReachTheFixtureAsClicks) {
    ASSERT_EQ(pressButton(control(kPress)), kStatusOk);
    expectLog(L"pressed 1");
    // A check box toggles on a click, as it does under a finger.
    ASSERT_EQ(pressButton(control(kCard)), kStatusOk);
    expectLog(L"pressed 1;check 1");
    int checked = 0;
    ASSERT_EQ(readChecked(control(kCard), checked), kStatusOk);
    EXPECT_EQ(checked, BST_CHECKED);
    ASSERT_EQ(pressButton(control(kCard)), kStatusOk);
    expectLog(L"pressed 1;check 1;check 0");
    // A command posted with its control's handle is the same event.
    ASSERT_EQ(postCommand(s_window, kPress, BN_CLICKED), kStatusOk);
    expectLog(L"pressed 1;check 1;check 0;pressed 2");
}

TEST_F(DriveTest, DisabledHiddenAndWrongControlsCannotBePressed) {
    EXPECT_EQ(pressButton(control(kOff)), kDisabled);
    EXPECT_EQ(pressButton(control(kLabel)), kWrongKind);
    EXPECT_EQ(pressButton(nullptr), kGone);
    // Nothing of the refused presses may arrive: the next real press is the only event.
    ASSERT_EQ(pressButton(control(kPress)), kStatusOk);
    expectLog(L"pressed 1");
}

TEST_F(DriveTest, PressThatOpensAMessageBoxReturnsAndTheBoxIsAnswered) {
    // The press runs on its own thread so that a press that blocked would
    // fail this test instead of hanging it.
    auto press = std::async(std::launch::async, [] { return pressButton(control(kAsk)); });
    HWND box = nullptr;
    ASSERT_EQ(waitMessageBox(s_processId, s_window, kWait, box), kStatusOk);
    bool returned = press.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) pressMessageBoxButton(box, IDNO, kWait);  // frees a press that waits for the box
    ASSERT_TRUE(returned) << "the press waited for the box to be answered";
    EXPECT_EQ(press.get(), kStatusOk);

    MessageBoxContent content;
    ASSERT_EQ(readMessageBox(box, content), kStatusOk);
    EXPECT_EQ(content.caption, kQuestionCaption);
    EXPECT_EQ(content.text, kQuestionText);
    ASSERT_EQ(content.buttons.size(), 2u);
    EXPECT_EQ(content.buttons[0].id, IDYES);
    EXPECT_EQ(content.buttons[1].id, IDNO);

    // While the box is up its owner is disabled: its buttons cannot be pressed.
    EXPECT_EQ(pressButton(control(kPress)), kDisabled);
    // A Yes/No box has no OK button to press.
    EXPECT_EQ(pressMessageBoxButton(box, IDOK, 200), kNotFound);
    EXPECT_TRUE(IsWindow(box));

    ASSERT_EQ(pressMessageBoxButton(box, IDNO, kWait), kStatusOk);
    EXPECT_FALSE(IsWindow(box));
    expectLog(L"answer no");

    ASSERT_EQ(pressButton(control(kAsk)), kStatusOk);
    ASSERT_EQ(waitMessageBox(s_processId, nullptr, kWait, box), kStatusOk);
    ASSERT_EQ(pressMessageBoxButton(box, IDYES, kWait), kStatusOk);
    expectLog(L"answer no;answer yes");

    // Enter on the box chooses its default button, Yes.
    ASSERT_EQ(pressButton(control(kAsk)), kStatusOk);
    ASSERT_EQ(waitMessageBox(s_processId, s_window, kWait, box), kStatusOk);
    ASSERT_EQ(postKey(focusOf(box), VK_RETURN), kStatusOk);
    EXPECT_EQ(waitWindowGone(box, kWait), kStatusOk);
    expectLog(L"answer no;answer yes;answer yes");

    // No box of the fixture is left, and none of another process counts.
    EXPECT_EQ(waitMessageBox(s_processId, nullptr, 200, box), kTimedOut);
}

TEST_F(DriveTest, ListViewItemsSubItemsAndClicks) {
    HWND files = control(kFiles);
    int count = 0, columns = 0;
    ASSERT_EQ(listViewCount(files, count), kStatusOk);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(listViewColumnCount(files, columns), kStatusOk);
    EXPECT_EQ(columns, 2);

    std::vector<std::vector<std::wstring>> items;
    ASSERT_EQ(listViewItems(files, items), kStatusOk);
    std::vector<std::vector<std::wstring>> expected = {
        {L"eicar.com", L"\\My Documents\\eicar.com"},
        {L"virus.exe", L"\\Storage Card\\virus.exe"},
        {L"Fran\u00e7ais (1).txt", L"\\Temp\\Fran\u00e7ais (1).txt"},
    };
    EXPECT_EQ(items, expected);
    std::wstring text;
    ASSERT_EQ(listViewText(files, 1, 1, text), kStatusOk);
    EXPECT_EQ(text, L"\\Storage Card\\virus.exe");
    EXPECT_EQ(listViewText(files, 3, 0, text), kNotFound);

    int item = 99;
    ASSERT_EQ(listViewNext(files, LVNI_SELECTED, item), kStatusOk);
    EXPECT_EQ(item, -1);

    RECT rect{}, client{};
    ASSERT_EQ(listViewItemRect(files, 1, rect), kStatusOk);
    GetClientRect(files, &client);
    EXPECT_LT(rect.left, rect.right);
    EXPECT_LT(rect.top, rect.bottom);
    EXPECT_TRUE(rect.top >= client.top && rect.bottom <= client.bottom) << rect.top << " " << rect.bottom;
    RECT first{};
    ASSERT_EQ(listViewItemRect(files, 0, first), kStatusOk);
    EXPECT_LT(first.top, rect.top);
    EXPECT_EQ(listViewItemRect(files, 9, rect), kNotFound);

    ASSERT_EQ(listViewClick(files, 1), kStatusOk);
    expectLog(L"clicked 1");
    ASSERT_EQ(listViewNext(files, LVNI_FOCUSED, item), kStatusOk);
    EXPECT_EQ(item, 1);
    ASSERT_EQ(listViewNext(files, LVNI_SELECTED, item), kStatusOk);
    EXPECT_EQ(item, 1);
    // The click gave the list the keyboard focus, as a tap would.
    EXPECT_EQ(focusOf(s_window), files);

    ASSERT_EQ(listViewClick(files, 2), kStatusOk);
    expectLog(L"clicked 1;clicked 2");
    EXPECT_EQ(listViewClick(files, 3), kNotFound);
    EXPECT_EQ(listViewCount(control(kLanguages), count), kWrongKind);
}

TEST_F(DriveTest, ListAndComboRowsAndChoices) {
    std::vector<std::wstring> rows;
    ASSERT_EQ(listRows(control(kLanguages), rows), kStatusOk);
    std::vector<std::wstring> languages = {L"\u010ce\u0161tina", L"English", L"Fran\u00e7ais", L"Portugu\u00eas",
                                           L"Sloven\u010dina"};
    EXPECT_EQ(rows, languages);
    ASSERT_EQ(listRows(control(kLevels), rows), kStatusOk);
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"Minimal", L"Normal", L"Full"}));
    EXPECT_EQ(listRows(control(kFiles), rows), kWrongKind);

    int row = 99;
    ASSERT_EQ(listSelection(control(kLanguages), row), kStatusOk);
    EXPECT_EQ(row, -1);

    ASSERT_EQ(listSelect(control(kLanguages), 2), kStatusOk);
    expectLog(L"list 2");
    ASSERT_EQ(listSelection(control(kLanguages), row), kStatusOk);
    EXPECT_EQ(row, 2);

    // A list box that does not notify is chosen silently: the press after it
    // is the next event, with nothing before it.
    ASSERT_EQ(listSelect(control(kQuiet), 1), kStatusOk);
    ASSERT_EQ(pressButton(control(kPress)), kStatusOk);
    expectLog(L"list 2;pressed 1");
    ASSERT_EQ(listSelection(control(kQuiet), row), kStatusOk);
    EXPECT_EQ(row, 1);

    ASSERT_EQ(listSelect(control(kLevels), 2), kStatusOk);
    expectLog(L"list 2;pressed 1;combo 2");
    ASSERT_EQ(listSelection(control(kLevels), row), kStatusOk);
    EXPECT_EQ(row, 2);
    std::wstring shown;
    ASSERT_EQ(readText(control(kLevels), shown), kStatusOk);
    EXPECT_EQ(shown, L"Full");

    EXPECT_EQ(listSelect(control(kLanguages), 5), kNotFound);
    EXPECT_EQ(listSelect(control(kLevels), -1), kNotFound);
    ASSERT_EQ(listSelection(control(kLanguages), row), kStatusOk);
    EXPECT_EQ(row, 2) << "a refused choice changes nothing";
}

TEST_F(DriveTest, TypedCharactersAndKeysReachTheEdit) {
    HWND edit = control(kEdit);
    std::wstring last;
    ASSERT_EQ(postChars(edit, L"Z\u00fcrich"), kStatusOk);
    EXPECT_EQ(waitText(edit, L"Z\u00fcrich", kWait, last), kStatusOk) << narrow(last);
    // Keys posted in one go arrive in order, each with its character: the
    // backspace deletes at the end before Home moves the caret, and the letter
    // key becomes a lower-case character at the start. The fixture is kept
    // busy meanwhile, so that all of them wait in its queue together.
    ASSERT_EQ(postCommand(s_window, kBusy, 0), kStatusOk);
    ASSERT_EQ(postKey(edit, VK_BACK), kStatusOk);
    ASSERT_EQ(postKey(edit, VK_HOME), kStatusOk);
    ASSERT_EQ(postKey(edit, 'X'), kStatusOk);
    EXPECT_EQ(waitText(edit, L"xZ\u00fcric", kWait, last), kStatusOk) << narrow(last);
    ASSERT_EQ(postKey(edit, VK_END), kStatusOk);
    ASSERT_EQ(postKey(edit, VK_LEFT), kStatusOk);
    ASSERT_EQ(postKey(edit, VK_DELETE), kStatusOk);
    EXPECT_EQ(waitText(edit, L"xZ\u00fcri", kWait, last), kStatusOk) << narrow(last);
}

TEST_F(DriveTest, ShiftedKeysArriveAsTheKeyboardTypesThem) {
    HWND edit = control(kEdit);
    ASSERT_EQ(postCommand(s_window, kFocusEdit, 0), kStatusOk);
    int focused = 0;
    ASSERT_EQ(waitFor(kWait, ERROR_BUSY, [&]() -> Status {
                  Status s = focusedControl(s_window, focused);
                  return s == kStatusOk && focused != kEdit ? ERROR_BUSY : s;
              }),
              kStatusOk);
    EXPECT_EQ(focused, kEdit);
    // Shift held for the first key only: the program reads it with the key,
    // and lets it go before the next.
    ASSERT_EQ(typeKeys(s_window, {'Q', 'Q', VK_LEFT, 'W'}, {true, false, false, true}), kStatusOk);
    std::wstring last;
    EXPECT_EQ(waitText(edit, L"QWq", kWait, last), kStatusOk) << narrow(last);
    EXPECT_EQ(typeKeys(nullptr, {'Q'}, {true}), kGone);
}

POINT onScreen(HWND control, int x, int y) {
    POINT p{x, y};
    ClientToScreen(control, &p);
    return p;
}

TEST_F(DriveTest, PixelsAndScreenshotShowTheScreen) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
    HWND swatch = control(kSwatch);
    RECT box{};
    GetClientRect(swatch, &box);
    POINT centre = onScreen(swatch, box.right / 2, box.bottom / 2);
    COLORREF colour = 0;
    // Painting happens in the fixture's own time.
    Status s = waitFor(kWait, ERROR_BUSY, [&]() -> Status {
        Status r = readPixel(centre.x, centre.y, colour);
        return r != kStatusOk ? r : colour == kSwatchColour ? kStatusOk : ERROR_BUSY;
    });
    EXPECT_EQ(s, kStatusOk) << "pixel " << std::hex << colour;
    EXPECT_EQ(readPixel(240, 0, colour), kStatusBadArgument);
    EXPECT_EQ(readPixel(-1, 5, colour), kStatusBadArgument);

    const std::wstring path = L"C:\\Temp\\e2e_drive_screen.png";
    DeleteFileW(path.c_str());
    ASSERT_EQ(saveScreenshot(path), kStatusOk);
    pngtest::Image image;
    std::string error;
    ASSERT_TRUE(pngtest::readPng(readFileBytes(path), image, error)) << error;
    ASSERT_EQ(image.width, 240u);
    ASSERT_EQ(image.height, 320u);
    const uint8_t* px = &image.rgb[(static_cast<size_t>(centre.y) * 240 + centre.x) * 3];
    EXPECT_EQ(RGB(px[0], px[1], px[2]), kSwatchColour);

    // The blue label's text is drawn in pure blue somewhere inside its rectangle.
    HWND blue = control(kBlue);
    GetClientRect(blue, &box);
    POINT from = onScreen(blue, 0, 0), to = onScreen(blue, box.right, box.bottom);
    int bluePixels = 0, otherColoured = 0;
    for (int y = from.y; y < to.y; ++y) {
        for (int x = from.x; x < to.x; ++x) {
            const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * 240 + x) * 3];
            if (p[0] == 0 && p[1] == 0 && p[2] == 255) ++bluePixels;
            if (p[0] > p[2] + 40 || p[1] > p[2] + 40) ++otherColoured;
        }
    }
    EXPECT_GT(bluePixels, 10);
    EXPECT_EQ(otherColoured, 0) << "only white and blues in the label";

    // Saving again replaces the file; a folder that does not exist is an error
    // that leaves nothing behind.
    ASSERT_EQ(saveScreenshot(path), kStatusOk);
    EXPECT_TRUE(pngtest::readPng(readFileBytes(path), image, error)) << error;
    EXPECT_EQ(saveScreenshot(L"C:\\No such folder\\x.png"), static_cast<Status>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(L"C:\\No such folder\\x.png.zbnew"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((path + L".zbnew").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(path.c_str());
}

TEST_F(DriveTest, WaitsForTheScreenToStopChanging) {
    EXPECT_EQ(waitScreenStill(300, kWait), kStatusOk);
    ASSERT_EQ(postCommand(s_window, kBlinkOn, 0), kStatusOk);
    EXPECT_EQ(waitScreenStill(300, 2000), kTimedOut) << "the swatch blinks every 100 ms";
    ASSERT_EQ(postCommand(s_window, kBlinkOff, 0), kStatusOk);
    EXPECT_EQ(waitScreenStill(300, kWait), kStatusOk);
}

TEST(DrivePrograms, StartWaitEndAndFind) {
    PROCESS_INFORMATION info{};
    ASSERT_EQ(startProgram(L"\"" + selfPath() + L"\" --exit 7", info), kStatusOk);
    CloseHandle(info.hThread);
    DWORD code = 0;
    EXPECT_EQ(waitProcess(info.hProcess, kWait, code), kStatusOk);
    EXPECT_EQ(code, 7u);
    CloseHandle(info.hProcess);

    ASSERT_EQ(startProgram(L"\"" + selfPath() + L"\" --sleep", info), kStatusOk);
    CloseHandle(info.hThread);
    EXPECT_EQ(waitProcess(info.hProcess, 100, code), kTimedOut);
    EXPECT_EQ(waitProcessId(info.dwProcessId, 100, code), kTimedOut);
    EXPECT_EQ(endProcess(info.dwProcessId, 0), kStatusOk);
    EXPECT_EQ(waitProcess(info.hProcess, kWait, code), kStatusOk);
    EXPECT_EQ(code, 0u);
    CloseHandle(info.hProcess);

    DWORD found = 0;
    std::wstring self = selfPath();
    ASSERT_EQ(findProcessByName(self.substr(self.rfind(L'\\') + 1), found), kStatusOk);
    EXPECT_NE(found, 0u);
    EXPECT_EQ(findProcessByName(L"no-such-program.exe", found), kNotFound);
    EXPECT_EQ(startProgram(L"C:\\no-such-program.exe", info), static_cast<Status>(ERROR_FILE_NOT_FOUND));
}

}  // namespace

// ---- the command-line driver, as a shell script uses it ----

struct CliRun {
    std::string out;
    std::string err;
    DWORD code = 255;
};

// Runs the device's zbdrive.exe on the fixture window with `arguments`.
CliRun zbdrive(const std::wstring& arguments) {
    CliRun run;
    std::wstring line = L"C:\\windows\\zbdrive.exe --class ZbDriveFixture " + arguments;
    EXPECT_TRUE(runProgram(line, run.out, run.err, run.code)) << "zbdrive did not end: " << narrow(arguments);
    return run;
}

class DriveCliTest : public DriveTest {};

TEST_F(DriveCliTest, ReadsTheFixtureAsPlainLines) {
    CliRun r = zbdrive(L"wait-window");
    char expected[64];
    snprintf(expected, sizeof expected, "0x%llX\t%lu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(s_window)),
             static_cast<unsigned long>(s_processId));
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.code, 0u);

    r = zbdrive(L"text 1003");
    EXPECT_EQ(r.out, "Ask\n");
    EXPECT_EQ(r.code, 0u) << r.err;
    r = zbdrive(L"rect 1001");
    EXPECT_EQ(r.out, "2 2 58 24\n");
    r = zbdrive(L"enabled 1004");
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(r.code, 1u);
    r = zbdrive(L"enabled 0x3E9");
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(r.code, 0u);
    r = zbdrive(L"checked 1005");
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(r.code, 1u);

    r = zbdrive(L"list-items 1010");
    EXPECT_EQ(r.out, "eicar.com\t\\My Documents\\eicar.com\n"
                     "virus.exe\t\\Storage Card\\virus.exe\n"
                     "Fran\xC3\xA7" "ais (1).txt\t\\Temp\\Fran\xC3\xA7" "ais (1).txt\n");
    EXPECT_EQ(r.code, 0u) << r.err;
    r = zbdrive(L"rows 1020");
    EXPECT_EQ(r.out, "\xC4\x8C" "e\xC5\xA1tina\nEnglish\nFran\xC3\xA7" "ais\nPortugu\xC3\xAAs\nSloven\xC4\x8Dina\n");
    r = zbdrive(L"list-count 1030");
    EXPECT_EQ(r.out, "3\n");
    r = zbdrive(L"selection 1020");
    EXPECT_EQ(r.out, "-1\n");
    EXPECT_EQ(r.code, 1u);
}

TEST_F(DriveCliTest, DrivesTheFixture) {
    EXPECT_EQ(zbdrive(L"press 1001").code, 0u);
    EXPECT_EQ(zbdrive(L"wait-text 1002 \"pressed 1\"").code, 0u);
    EXPECT_EQ(zbdrive(L"command 1001 0").code, 0u);
    EXPECT_EQ(zbdrive(L"select 1020 3").code, 0u);
    EXPECT_EQ(zbdrive(L"list-click 1010 0").code, 0u);
    expectLog(L"pressed 1;pressed 2;list 3;clicked 0");
    CliRun r = zbdrive(L"list-focused 1010");
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(zbdrive(L"wait-count 1010 3").code, 0u);

    EXPECT_EQ(zbdrive(L"type --to 1040 abc").code, 0u);
    EXPECT_EQ(zbdrive(L"wait-text 1040 abc").code, 0u);
    EXPECT_EQ(zbdrive(L"keys --to 1040 backspace left x").code, 0u);
    r = zbdrive(L"wait-text 1040 axb");
    EXPECT_EQ(r.code, 0u) << r.err;

    const std::wstring path = L"C:\\Temp\\e2e_cli_screen.png";
    DeleteFileW(path.c_str());
    EXPECT_EQ(zbdrive(L"screenshot " + path).code, 0u);
    pngtest::Image image;
    std::string error;
    EXPECT_TRUE(pngtest::readPng(readFileBytes(path), image, error)) << error;
    EXPECT_EQ(image.width, 240u);
    DeleteFileW(path.c_str());
    RECT swatch{};
    readRect(control(kSwatch), swatch);
    POINT centre = onScreen(s_window, (swatch.left + swatch.right) / 2, (swatch.top + swatch.bottom) / 2);
    r = zbdrive(L"pixel " + std::to_wstring(centre.x) + L" " + std::to_wstring(centre.y));
    EXPECT_EQ(r.out, "255 0 0\n");
}

TEST_F(DriveCliTest, PressOpeningABoxEndsAndTheBoxIsAnsweredByName) {
    // The press command ends while the box is up: it does not wait for it.
    EXPECT_EQ(zbdrive(L"press 1003").code, 0u);
    CliRun r = zbdrive(L"msgbox");
    EXPECT_EQ(r.out, "Fixture question\nDelete the infected file?\n");
    EXPECT_EQ(r.code, 0u) << r.err;
    r = zbdrive(L"msgbox-buttons --pid " + std::to_wstring(s_processId));
    EXPECT_EQ(r.out, "6\t&Yes\n7\t&No\n");
    r = zbdrive(L"msgbox-press ok --timeout 300");
    EXPECT_EQ(r.code, 1u) << "a Yes/No box has no OK";
    r = zbdrive(L"press 1001 --timeout 300");
    EXPECT_EQ(r.code, 1u) << "the window under a modal box cannot be pressed";
    r = zbdrive(L"msgbox-press no --any");
    EXPECT_EQ(r.code, 0u) << r.err;
    expectLog(L"answer no");
    r = zbdrive(L"msgbox --timeout 200");
    EXPECT_EQ(r.code, 1u) << "no box is left";
}

TEST_F(DriveCliTest, ExitCodesTellScriptsWhatHappened) {
    CliRun r = zbdrive(L"text 4242 --timeout 200");
    EXPECT_EQ(r.code, 1u);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("control 4242"), std::string::npos) << r.err;
    EXPECT_EQ(zbdrive(L"press 1004").code, 1u) << "disabled";
    EXPECT_EQ(zbdrive(L"frobnicate").code, 2u);
    EXPECT_EQ(zbdrive(L"text").code, 2u);
    EXPECT_EQ(zbdrive(L"text eleven").code, 2u);
    EXPECT_EQ(zbdrive(L"--timeout soon text 1003").code, 2u);
    EXPECT_EQ(zbdrive(L"keys --to 1040 nosuchkey").code, 2u);
    EXPECT_EQ(zbdrive(L"msgbox-press perhaps").code, 2u);
    EXPECT_EQ(zbdrive(L"rows 1010").code, 3u) << "a list view has items, not rows";
    EXPECT_EQ(zbdrive(L"screenshot \"C:\\No such folder\\x.png\"").code, 3u);
    r = zbdrive(L"help");
    EXPECT_EQ(r.code, 0u);
    EXPECT_NE(r.out.find("msgbox-press"), std::string::npos);
    // Nothing of the refused commands reached the fixture.
    expectLog(L"");
}
