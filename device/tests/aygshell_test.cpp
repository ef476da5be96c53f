// AygShell.dll on the device: the menu bar built from a program's template
// (its soft keys read, changed and pressed), the caption's close box as the
// OK button, the activation record, and the input panel's button on devices
// with and without a touch screen.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce_aygshell.h"
#include "device/tests/celibs_test_util.h"

namespace {

using celibs_test::ownWindowsOfClass;

struct AygShell {
    HMODULE module = LoadLibraryW(L"AygShell.dll");
    PFN_SHDoneButton doneButton = celibs_test::entryOf<PFN_SHDoneButton>(module, "SHDoneButton");
    PFN_SHFullScreen fullScreen = celibs_test::entryOf<PFN_SHFullScreen>(module, "SHFullScreen");
    PFN_SHHandleWMActivate handleActivate =
        celibs_test::entryOf<PFN_SHHandleWMActivate>(module, "SHHandleWMActivate");
    PFN_SHCreateMenuBar createMenuBar = celibs_test::entryOf<PFN_SHCreateMenuBar>(module, "SHCreateMenuBar");
    PFN_SHFindMenuBar findMenuBar = celibs_test::entryOf<PFN_SHFindMenuBar>(module, "SHFindMenuBar");
    bool complete() const { return doneButton && fullScreen && handleActivate && createMenuBar && findMenuBar; }
};

AygShell& aygShell() {
    static AygShell library;
    return library;
}

// What the program's window received.
struct Received {
    std::vector<WORD> commands;
    int closes = 0;
};

LRESULT CALLBACK recordingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* received = reinterpret_cast<Received*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (received && message == WM_COMMAND) {
        received->commands.push_back(LOWORD(wParam));
        return 0;
    }
    if (received && message == WM_CLOSE) {
        ++received->closes;  // kept open: the test decides when it ends
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A top-level window of the program's kind, filling the screen, that records
// the commands and close requests it receives.
class ProgramWindow {
public:
    explicit ProgramWindow(DWORD style = WS_VISIBLE) {
        static const ATOM registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = recordingProcedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"CeLibsTestWindow";
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            return RegisterClassW(&wc);
        }();
        (void)registered;
        hwnd_ = CreateWindowExW(0, L"CeLibsTestWindow", L"test", style, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received_));
    }
    ~ProgramWindow() {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    }
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;
    HWND hwnd() const { return hwnd_; }
    Received& received() { return received_; }

private:
    Received received_;
    HWND hwnd_;
};

SHMENUBARINFO menuBarRequest(HWND parent, UINT templateId) {
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = parent;
    info.nToolBarId = templateId;
    info.hInstRes = GetModuleHandleW(nullptr);
    return info;
}

struct Key {
    std::wstring text;
    BYTE state = 0;
    bool found = false;
};

Key readKey(HWND bar, int command) {
    wchar_t text[50] = L"#";
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_STATE;
    info.pszText = text;
    info.cchText = 50;
    Key key;
    key.found = SendMessageW(bar, TB_GETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info)) >= 0;
    key.text = text;
    key.state = info.fsState;
    return key;
}

bool writeKeyText(HWND bar, int command, const wchar_t* text) {
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = const_cast<wchar_t*>(text);
    return SendMessageW(bar, TB_SETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info)) != 0;
}

bool writeKeyEnabled(HWND bar, int command, bool enabled) {
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_STATE;
    if (SendMessageW(bar, TB_GETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info)) < 0) return false;
    info.fsState = enabled ? (info.fsState | TBSTATE_ENABLED) : (info.fsState & ~TBSTATE_ENABLED);
    return SendMessageW(bar, TB_SETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info)) != 0;
}

HWND toolbarOf(HWND bar) { return FindWindowExW(bar, nullptr, TOOLBARCLASSNAMEW, nullptr); }

// A press of the soft key with `command`: the mouse goes down and up over
// the key's rectangle, as a finger does, through the thread's message queue.
// (Input injected at the screen is not used: on the shared test display the
// real pointer of the X server overrides its position while other programs
// open windows.)
void pressKey(HWND bar, int command) {
    HWND toolbar = toolbarOf(bar);
    RECT key{};
    ASSERT_TRUE(SendMessageW(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&key)));
    const LPARAM at = MAKELPARAM((key.left + key.right) / 2, (key.top + key.bottom) / 2);
    PostMessageW(toolbar, WM_MOUSEMOVE, 0, at);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(toolbar, WM_LBUTTONUP, 0, at);
    celibs_test::pumpMessages();
}

class MenuBarTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(aygShell().complete()); }
    AygShell& ayg = aygShell();
};

TEST_F(MenuBarTest, TemplateBuildsABarOfTwoKeysAlongTheBottomOfTheScreen) {
    ProgramWindow program;
    SHMENUBARINFO info = menuBarRequest(program.hwnd(), 40007);
    ASSERT_TRUE(ayg.createMenuBar(&info));
    HWND bar = info.hwndMB;
    ASSERT_TRUE(IsWindow(bar));
    EXPECT_EQ(ayg.findMenuBar(program.hwnd()), bar);
    EXPECT_EQ(GetWindow(bar, GW_OWNER), program.hwnd());
    EXPECT_TRUE(IsWindowVisible(bar));

    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    RECT r;
    GetWindowRect(bar, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, width);
    EXPECT_EQ(r.bottom, height);
    EXPECT_EQ(r.bottom - r.top, 26);
    // The program's window now ends where the bar begins.
    RECT p;
    GetWindowRect(program.hwnd(), &p);
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(p.bottom, r.top);

    ASSERT_NE(toolbarOf(bar), nullptr);
    EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2);
    // The two keys share the bar: left half, right half.
    RECT left{}, right{};
    SendMessageW(bar, TB_GETRECT, 11000, reinterpret_cast<LPARAM>(&left));
    SendMessageW(bar, TB_GETRECT, 11001, reinterpret_cast<LPARAM>(&right));
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(left.right - left.left, width / 2);
    EXPECT_EQ(right.left, left.right);
    EXPECT_EQ(right.right - right.left, width / 2);

    // No string 10000/10001 here: the keys start without labels, enabled.
    Key k0 = readKey(bar, 11000), k1 = readKey(bar, 11001);
    ASSERT_TRUE(k0.found && k1.found);
    EXPECT_EQ(k0.text, L"");
    EXPECT_EQ(k1.text, L"");
    EXPECT_TRUE(k0.state & TBSTATE_ENABLED);
    EXPECT_TRUE(k1.state & TBSTATE_ENABLED);
    EXPECT_FALSE(readKey(bar, 11002).found);
}

TEST_F(MenuBarTest, LabelsComeFromTheProgramsStringTableWhenItHasThem) {
    ProgramWindow program;
    SHMENUBARINFO info = menuBarRequest(program.hwnd(), 40008);
    ASSERT_TRUE(ayg.createMenuBar(&info));
    Key left = readKey(info.hwndMB, 12000), right = readKey(info.hwndMB, 12001);
    EXPECT_EQ(left.text, L"Scan");
    EXPECT_EQ(right.text, L"Settings");
    EXPECT_TRUE(left.state & TBSTATE_ENABLED);
    EXPECT_FALSE(right.state & TBSTATE_ENABLED) << "the template's state";
}

TEST_F(MenuBarTest, KeyTextsAndStatesRoundTrip) {
    ProgramWindow program;
    SHMENUBARINFO info = menuBarRequest(program.hwnd(), 40007);
    ASSERT_TRUE(ayg.createMenuBar(&info));
    HWND bar = ayg.findMenuBar(program.hwnd());
    ASSERT_NE(bar, nullptr);

    ASSERT_TRUE(writeKeyText(bar, 11000, L"Update now"));
    ASSERT_TRUE(writeKeyText(bar, 11001, L"Done"));
    EXPECT_EQ(readKey(bar, 11000).text, L"Update now");
    EXPECT_EQ(readKey(bar, 11001).text, L"Done");
    ASSERT_TRUE(writeKeyText(bar, 11001, L""));
    EXPECT_EQ(readKey(bar, 11001).text, L"");
    EXPECT_EQ(readKey(bar, 11000).text, L"Update now");

    ASSERT_TRUE(writeKeyEnabled(bar, 11001, false));
    EXPECT_FALSE(readKey(bar, 11001).state & TBSTATE_ENABLED);
    EXPECT_TRUE(readKey(bar, 11000).state & TBSTATE_ENABLED);
    EXPECT_FALSE(SendMessageW(bar, TB_ISBUTTONENABLED, 11001, 0));
    ASSERT_TRUE(writeKeyEnabled(bar, 11001, true));
    EXPECT_TRUE(readKey(bar, 11001).state & TBSTATE_ENABLED);

    // A longer label does not move the keys.
    ASSERT_TRUE(writeKeyText(bar, 11000, L"A much longer label than fits"));
    RECT right{};
    SendMessageW(bar, TB_GETRECT, 11001, reinterpret_cast<LPARAM>(&right));
    EXPECT_EQ(right.left, GetSystemMetrics(SM_CXSCREEN) / 2);
}

TEST_F(MenuBarTest, PressedKeysArriveAsCommandsAndADisabledKeySendsNothing) {
    ProgramWindow program;
    SHMENUBARINFO info = menuBarRequest(program.hwnd(), 40007);
    ASSERT_TRUE(ayg.createMenuBar(&info));
    HWND bar = info.hwndMB;
    std::vector<WORD>& commands = program.received().commands;

    pressKey(bar, 11000);
    EXPECT_EQ(commands, (std::vector<WORD>{11000}));
    pressKey(bar, 11001);
    EXPECT_EQ(commands, (std::vector<WORD>{11000, 11001}));

    ASSERT_TRUE(writeKeyEnabled(bar, 11001, false));
    pressKey(bar, 11001);
    EXPECT_EQ(commands, (std::vector<WORD>{11000, 11001}));
    ASSERT_TRUE(writeKeyEnabled(bar, 11001, true));
    pressKey(bar, 11001);
    EXPECT_EQ(commands, (std::vector<WORD>{11000, 11001, 11001}));
}

TEST_F(MenuBarTest, MissingOrMalformedTemplatesCreateNothing) {
    for (UINT id : {40009u /* no such resource */, 40010u, 40011u, 40012u}) {
        ProgramWindow program;
        RECT before;
        GetWindowRect(program.hwnd(), &before);
        SHMENUBARINFO info = menuBarRequest(program.hwnd(), id);
        info.hwndMB = reinterpret_cast<HWND>(1);
        EXPECT_FALSE(ayg.createMenuBar(&info)) << id;
        EXPECT_EQ(info.hwndMB, nullptr) << id;
        EXPECT_EQ(ayg.findMenuBar(program.hwnd()), nullptr) << id;
        RECT after;
        GetWindowRect(program.hwnd(), &after);
        EXPECT_EQ(after.bottom, before.bottom) << id;
    }
    EXPECT_TRUE(ownWindowsOfClass(ZB_MENUBAR_CLASS).empty());

    ProgramWindow program;
    SHMENUBARINFO wrongSize = menuBarRequest(program.hwnd(), 40007);
    wrongSize.cbSize = sizeof wrongSize - 4;
    EXPECT_FALSE(ayg.createMenuBar(&wrongSize));
    SHMENUBARINFO noParent = menuBarRequest(nullptr, 40007);
    EXPECT_FALSE(ayg.createMenuBar(&noParent));
    EXPECT_FALSE(ayg.createMenuBar(nullptr));
    EXPECT_TRUE(ownWindowsOfClass(ZB_MENUBAR_CLASS).empty());
}

TEST_F(MenuBarTest, ABarLivesAsLongAsItsWindowAndANewOneReplacesIt) {
    ProgramWindow other;
    EXPECT_EQ(ayg.findMenuBar(other.hwnd()), nullptr);
    EXPECT_EQ(ayg.findMenuBar(nullptr), nullptr);

    HWND first, second;
    {
        ProgramWindow program;
        SHMENUBARINFO info = menuBarRequest(program.hwnd(), 40007);
        ASSERT_TRUE(ayg.createMenuBar(&info));
        first = info.hwndMB;
        SHMENUBARINFO again = menuBarRequest(program.hwnd(), 40008);
        ASSERT_TRUE(ayg.createMenuBar(&again));
        second = again.hwndMB;
        EXPECT_FALSE(IsWindow(first));
        EXPECT_EQ(ayg.findMenuBar(program.hwnd()), second);
        EXPECT_EQ(ayg.findMenuBar(other.hwnd()), nullptr);
    }
    EXPECT_FALSE(IsWindow(second));
    EXPECT_TRUE(ownWindowsOfClass(ZB_MENUBAR_CLASS).empty());
}

class DoneButtonTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(aygShell().complete()); }
    AygShell& ayg = aygShell();
};

TEST_F(DoneButtonTest, CaptionCloseBoxBecomesTheOkButton) {
    ProgramWindow program(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Received& got = program.received();
    // Before: the close box asks the window to close.
    SendMessageW(program.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(got.closes, 1);
    EXPECT_TRUE(got.commands.empty());

    ASSERT_TRUE(ayg.doneButton(program.hwnd(), SHDB_HIDE));
    SendMessageW(program.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(got.closes, 1);
    EXPECT_EQ(got.commands, (std::vector<WORD>{IDOK}));
    // Other system commands and messages still reach the window as before.
    SendMessageW(program.hwnd(), WM_COMMAND, 8102, 0);
    EXPECT_EQ(got.commands, (std::vector<WORD>{IDOK, 8102}));
    // Showing the button again keeps it the OK button; once only per press.
    ASSERT_TRUE(ayg.doneButton(program.hwnd(), SHDB_SHOW));
    SendMessageW(program.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(got.commands, (std::vector<WORD>{IDOK, 8102, IDOK}));
    EXPECT_EQ(got.closes, 1);
    EXPECT_TRUE(IsWindow(program.hwnd()));
}

TEST_F(DoneButtonTest, CancelButtonAndRefusals) {
    ProgramWindow program(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(ayg.doneButton(program.hwnd(), SHDB_SHOWCANCEL));
    SendMessageW(program.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.received().commands, (std::vector<WORD>{IDCANCEL}));

    EXPECT_FALSE(ayg.doneButton(program.hwnd(), 0x0008));
    EXPECT_FALSE(ayg.doneButton(nullptr, SHDB_HIDE));
    // Another program's window (the desktop's) cannot be given the button.
    EXPECT_FALSE(ayg.doneButton(GetDesktopWindow(), SHDB_HIDE));
}

TEST_F(DoneButtonTest, ActivationRecordKeepsTheFocusAcrossDeactivation) {
    ProgramWindow program(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND first = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, program.hwnd(), nullptr,
                                 nullptr, nullptr);
    HWND second = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 30, 50, 20, program.hwnd(), nullptr,
                                  nullptr, nullptr);
    SHACTIVATEINFO record{};
    EXPECT_FALSE(ayg.handleActivate(program.hwnd(), WA_ACTIVE, 0, &record, 0)) << "size field not set";
    EXPECT_FALSE(ayg.handleActivate(program.hwnd(), WA_ACTIVE, 0, nullptr, 0));
    record.cbSize = sizeof record;
    ASSERT_TRUE(ayg.handleActivate(program.hwnd(), WA_ACTIVE, 0, &record, 0));
    EXPECT_EQ(record.fActive, 1u);

    SetFocus(second);
    ASSERT_TRUE(ayg.handleActivate(program.hwnd(), WA_INACTIVE, 0, &record, 0));
    EXPECT_EQ(record.fActive, 0u);
    EXPECT_EQ(record.hwndLastFocus, second);
    SetFocus(first);
    ASSERT_TRUE(ayg.handleActivate(program.hwnd(), WA_CLICKACTIVE, 0, &record, 0));
    EXPECT_EQ(record.fActive, 1u);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_EQ(record.cbSize, sizeof record);
}

// The input panel's button windows of this process.
std::vector<HWND> sipButtons() { return ownWindowsOfClass(ZB_SIPBUTTON_CLASS); }

DWORD deviceTouch() {
    DWORD touch = 99, size = sizeof touch;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZbDevice", L"Touch", RRF_RT_REG_DWORD, nullptr, &touch, &size);
    return touch;
}

// Runs on a touch-screen device (Touch = 1).
TEST(SipButtonTouchTest, ButtonExistsFromTheFirstCallAndFollowsSHFullScreen) {
    if (deviceTouch() != 1) GTEST_SKIP() << "for a touch-screen device";
    // Run alone (a program of its own), the button cannot be there before
    // the library is used.
    if (!GetModuleHandleW(L"AygShell.dll")) {
        EXPECT_TRUE(sipButtons().empty());
    }
    AygShell& ayg = aygShell();
    ASSERT_TRUE(ayg.complete());
    ProgramWindow program;
    ASSERT_TRUE(ayg.findMenuBar(program.hwnd()) == nullptr);  // any first call brings the button
    std::vector<HWND> buttons = sipButtons();
    ASSERT_EQ(buttons.size(), 1u);
    HWND sip = buttons[0];
    EXPECT_EQ(FindWindowW(ZB_SIPBUTTON_CLASS, nullptr) != nullptr, true);

    RECT r;
    GetWindowRect(sip, &r);
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom - r.top, 26);
    EXPECT_GE(r.right - r.left, 24);
    EXPECT_LE(r.right - r.left, 48);
    const LONG_PTR exStyle = GetWindowLongPtrW(sip, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(exStyle & WS_EX_NOACTIVATE);
    EXPECT_TRUE(GetWindowLongPtrW(sip, GWL_STYLE) & WS_POPUP);

    ASSERT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_HIDESIPBUTTON));
    EXPECT_FALSE(IsWindowVisible(sip));
    ASSERT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_SHOWSIPBUTTON));
    EXPECT_TRUE(IsWindowVisible(sip));
    // Other flags leave the button as it is; contradicting ones are refused.
    ASSERT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_HIDETASKBAR | SHFS_HIDESTARTICON));
    EXPECT_TRUE(IsWindowVisible(sip));
    EXPECT_FALSE(ayg.fullScreen(program.hwnd(), SHFS_HIDESIPBUTTON | SHFS_SHOWSIPBUTTON));
    EXPECT_TRUE(IsWindowVisible(sip));
    EXPECT_FALSE(ayg.fullScreen(nullptr, SHFS_HIDESIPBUTTON));
    EXPECT_TRUE(IsWindowVisible(sip));
    ASSERT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_HIDESIPBUTTON | SHFS_HIDETASKBAR));
    EXPECT_FALSE(IsWindowVisible(sip));
    ASSERT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_SHOWSIPBUTTON));
    // Still one button, however often it is shown.
    EXPECT_EQ(sipButtons().size(), 1u);
}

// Runs on a device without a touch screen (Touch = 0).
TEST(SipButtonNoTouchTest, NoButtonAtAll) {
    if (deviceTouch() != 0) GTEST_SKIP() << "for a device without a touch screen";
    AygShell& ayg = aygShell();
    ASSERT_TRUE(ayg.complete());
    ProgramWindow program;
    EXPECT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_SHOWSIPBUTTON));
    EXPECT_TRUE(ayg.doneButton(program.hwnd(), SHDB_HIDE));
    EXPECT_TRUE(ayg.fullScreen(program.hwnd(), SHFS_HIDESIPBUTTON));
    EXPECT_TRUE(sipButtons().empty());
}

}  // namespace
