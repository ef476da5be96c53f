#pragma once
// Driving a running program of the device from outside, as a person at the
// screen would: finding its windows, reading and pressing its controls, its
// lists and its message boxes, typing, and looking at the screen.
//
// Everything works across processes. Messages whose data Wine copies between
// processes (WM_GETTEXT, LB_GETTEXT, CB_GETLBTEXT) are sent directly; list
// view messages carry their structures in memory allocated inside the target
// process. Presses are posted, never sent, so that a press whose handler opens
// a modal message box does not hold the caller until the box is answered.
//
// Every function returns a Status: 0 done, otherwise a platform error number,
// mostly the ones named below.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

namespace zbauto {

constexpr Status kTimedOut = ERROR_TIMEOUT;            // a wait ran out
constexpr Status kNotFound = ERROR_NOT_FOUND;          // no such window, control, item or button
constexpr Status kGone = ERROR_INVALID_WINDOW_HANDLE;  // the window no longer exists
constexpr Status kDisabled = ERROR_INVALID_STATE;      // a disabled or hidden control cannot be pressed
constexpr Status kWrongKind = ERROR_INVALID_FUNCTION;  // the control is not of the kind the call reads

// How long a single message to another process may take before the target is
// considered hung (the call then fails with kTimedOut).
constexpr DWORD kMessageTimeoutMs = 5000;

// ---- windows ----

// Which top-level window: any of the fields left empty / 0 matches anything.
struct WindowQuery {
    std::wstring className;
    std::wstring title;
    DWORD processId = 0;
    bool visibleOnly = true;
};

struct WindowInfo {
    HWND window = nullptr;
    DWORD processId = 0;
    std::wstring className;
    std::wstring title;
    bool visible = false;
    RECT rect{};  // screen coordinates
};

// The top-level windows of the desktop, topmost first.
Status listTopWindows(std::vector<WindowInfo>& out);
// The first top-level window that matches (kNotFound when none).
Status findTopWindow(const WindowQuery& query, HWND& out);
Status waitTopWindow(const WindowQuery& query, DWORD timeoutMs, HWND& out);
// Waits until `window` has been destroyed.
Status waitWindowGone(HWND window, DWORD timeoutMs);

// ---- controls ----

// The descendant of `window` with control id `id` (direct children first).
Status findControl(HWND window, int id, HWND& out);
Status waitControl(HWND window, int id, DWORD timeoutMs, HWND& out);

struct ControlInfo {
    HWND control = nullptr;
    int id = 0;
    std::wstring className;
    std::wstring text;
    bool enabled = false;
    bool visible = false;
    RECT rect{};  // in the parent's client coordinates
};
// The direct children of `window`, in z order.
Status listControls(HWND window, std::vector<ControlInfo>& out);

Status readText(HWND window, std::wstring& out);
// Waits until the window's text equals `expected`; `last` receives the text
// last read (for a message when the wait runs out).
Status waitText(HWND window, const std::wstring& expected, DWORD timeoutMs, std::wstring& last);
Status readEnabled(HWND window, bool& out);
Status readVisible(HWND window, bool& out);
// BM_GETCHECK: 0 unchecked, 1 checked, 2 indeterminate (kWrongKind for a non-button).
Status readChecked(HWND control, int& out);
// The window's rectangle in its parent's client coordinates (screen
// coordinates for a top-level window).
Status readRect(HWND window, RECT& out);
Status readStyle(HWND window, DWORD& style, DWORD& exStyle);
std::wstring classOf(HWND window);

// Presses a button as a click would (BM_CLICK, posted): a check box toggles,
// a push button sends BN_CLICKED to its parent. kDisabled for a disabled or
// hidden button. Returns as soon as the target has the press; when the
// target's handler opens a message box, the box is left for the caller.
Status pressButton(HWND button);
// Posts WM_COMMAND(id, code) to `window`, with the control's handle as
// lParam when `window` has a child with that id.
Status postCommand(HWND window, int id, int code);
// Posts WM_CLOSE, as the close box of a caption does.
Status postClose(HWND window);

// ---- list views ("SysListView32") ----

Status listViewCount(HWND listView, int& count);
Status listViewColumnCount(HWND listView, int& count);
Status listViewText(HWND listView, int item, int subItem, std::wstring& out);
// Every item with its sub-items: one entry per item, one string per column.
Status listViewItems(HWND listView, std::vector<std::vector<std::wstring>>& out);
// LVM_GETNEXTITEM from -1 with `flags` (LVNI_FOCUSED, LVNI_SELECTED): -1 when none.
Status listViewNext(HWND listView, UINT flags, int& item);
// The item's label rectangle in the list view's client coordinates.
Status listViewItemRect(HWND listView, int item, RECT& out);
// Clicks an item with the left button (posted), so that it becomes focused
// and selected and the list sends NM_CLICK to its parent.
Status listViewClick(HWND listView, int item);

// ---- list boxes and combo boxes ----

Status listRows(HWND list, std::vector<std::wstring>& out);
// The selected row, -1 when none.
Status listSelection(HWND list, int& row);
// Selects `row` and tells the parent as a person's choice would: LBN_SELCHANGE
// for a list box with LBS_NOTIFY, CBN_SELCHANGE for a combo box.
Status listSelect(HWND list, int row);

// ---- soft keys ----

struct SoftKey {
    int command = 0;
    bool enabled = false;
    std::wstring text;
};

// The keys of the menu bar that `window` owns (a handheld without a touch
// screen), left to right. kNotFound when the window has no menu bar.
Status readSoftKeys(HWND window, std::vector<SoftKey>& out);

// ---- message boxes ----

// Waits for a visible dialog of class "#32770" of process `processId` (0:
// any) owned by `owner` (null: any owner).
Status waitMessageBox(DWORD processId, HWND owner, DWORD timeoutMs, HWND& box);

struct MessageBoxButton {
    int id = 0;
    std::wstring text;
};
struct MessageBoxContent {
    std::wstring caption;
    std::wstring text;
    std::vector<MessageBoxButton> buttons;  // visible buttons only
};
Status readMessageBox(HWND box, MessageBoxContent& out);
// Presses the box's button `id` (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7) and
// waits until the box is gone. kNotFound when the box shows no such button.
Status pressMessageBoxButton(HWND box, int id, DWORD timeoutMs);

// ---- keys ----

// The window that has the keyboard focus in the thread of `window`, or
// `window` itself when the thread reports none.
HWND focusOf(HWND window);
// The identifier of the control of `window` that has the keyboard focus, 0
// when the window itself has it; kNotFound when the focus is elsewhere.
Status focusedControl(HWND window, int& id);
// Posts WM_KEYDOWN and WM_KEYUP of virtual key `vk` to `window`, with the
// key's character (WM_CHAR) between them when it has one, so that keys posted
// one after another arrive with their characters in order.
Status postKey(HWND window, UINT vk);
// Posts one WM_CHAR per UTF-16 unit of `text`.
Status postChars(HWND window, const std::wstring& text);
// Presses the keys `vks` in turn as the device's keyboard does, each with
// Shift held where `shifted` says so: real key input, which goes to the
// focused control of the window in front, and which the program reads
// together with the state of Shift. `window` is brought to the front first.
// A posted key carries no Shift: this is how Shift+Tab reaches a program.
Status typeKeys(HWND window, const std::vector<UINT>& vks, const std::vector<bool>& shifted);

// ---- the screen ----

// The device screen (the whole virtual desktop) as rows of R, G, B bytes.
Status captureScreen(std::vector<uint8_t>& rgb, int& width, int& height);
Status readPixel(int x, int y, COLORREF& out);
// Waits until the screen has stopped changing: two captures `quietMs` apart
// are the same (a program paints in its own time after its window appears).
Status waitScreenStill(DWORD quietMs, DWORD timeoutMs);
// Captures the screen and writes it as a PNG file (replaced if it exists; the
// new file is complete before it takes the name).
Status saveScreenshot(const std::wstring& path);

// ---- programs ----

// Starts a program as the device's shell does (working folder "\", its window
// filling the work area). The caller closes both handles of `info`.
Status startProgram(const std::wstring& commandLine, PROCESS_INFORMATION& info);
Status waitProcess(HANDLE process, DWORD timeoutMs, DWORD& exitCode);
Status waitProcessId(DWORD processId, DWORD timeoutMs, DWORD& exitCode);
Status endProcess(DWORD processId, UINT exitCode);
// The first process whose executable name matches, case-insensitively.
Status findProcessByName(const std::wstring& exeName, DWORD& processId);

// Repeats `probe` until it returns 0 or something other than `retryOn`, or
// `timeoutMs` has passed (kTimedOut then).
template <typename Probe>
Status waitFor(DWORD timeoutMs, Status retryOn, Probe probe) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        Status s = probe();
        if (s != retryOn) return s;
        if (GetTickCount64() >= deadline) return kTimedOut;
        Sleep(20);
    }
}

}  // namespace zbauto
