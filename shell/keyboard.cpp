// The keyboard on the Pocket PC, WM5 and Handheld PC screens. The message loop
// shows every key here before it is dispatched. A key meant for the main
// window or one of its controls is read together with the control that has
// the focus (its kind, and for a list or the text where its selection or
// caret stands) and handed to planKey (shell/key_plan.cpp), whose answer is
// carried out here: the focus moves along the screen's visible and enabled
// controls, a button is pressed with BM_CLICK as a tap presses it, or the key
// goes on to the control. A key used up here takes its character with it,
// which an automation driver posts right behind the key.
//
// The dialog manager (IsDialogMessage) is left out on purpose: the main window
// is no dialog, and it would turn Enter on any control but a button into
// IDOK, which is the window's close request.
#include "shell/keyboard.h"

#include <commctrl.h>

#include <vector>

#include "base/edition.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/key_plan.h"
#include "shell/screens.h"

static_assert(keys::kScan == kMainScan && keys::kSettings == kMainSettings && keys::kReport == kMainReport &&
              keys::kExit == kMainExit);
static_assert(keys::kInfectedList == kScanList && keys::kDelete == kScanDelete && keys::kCancel == kScanCancel);
static_assert(keys::kReportText == kReportText && keys::kBack == kReportBack);
static_assert(keys::kLanguageList == kSettingsLanguageList && keys::kUpdate == kSettingsUpdate &&
              keys::kDone == kSettingsDone && keys::kStorageCard == kSettingsStorageCard &&
              keys::kAutoUpdate == kSettingsAutoUpdate && keys::kReportLevel == kSettingsReportLevel);
static_assert(keys::kScreenMain == kScreenMain && keys::kScreenScan == kScreenScan &&
              keys::kScreenSettings == kScreenSettings && keys::kScreenReport == kScreenReport);

namespace {

using keys::Act;
using keys::Focus;
using keys::Key;

// The control that gets the focus back when the main window is active again.
HWND g_returnFocus = nullptr;
// The character of the key last used up here, dropped when it follows the key.
WPARAM g_usedChar = 0;

Key keyOf(WPARAM vk) {
    switch (vk) {
        case VK_TAB: return Key::tab;
        case VK_RETURN: return Key::enter;
        case VK_ESCAPE: return Key::escape;
        case VK_UP: return Key::up;
        case VK_DOWN: return Key::down;
        case VK_LEFT: return Key::left;
        case VK_RIGHT: return Key::right;
        default: return Key::other;
    }
}

WPARAM charOf(Key key) {
    switch (key) {
        case Key::tab: return L'\t';
        case Key::enter: return L'\r';
        case Key::escape: return 0x1B;
        default: return 0;
    }
}

bool isClass(HWND control, const wchar_t* name) {
    wchar_t found[32];
    return GetClassNameW(control, found, 32) > 0 && lstrcmpiW(found, name) == 0;
}

// The control of the main window that has the keyboard focus, or null.
HWND focusedControl(HWND window) {
    HWND focus = GetFocus();
    return focus && GetAncestor(focus, GA_PARENT) == window ? focus : nullptr;
}

int focusedItem(HWND list) { return int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED)); }

void setRows(keys::KeyState& state, LRESULT current, LRESULT count) {
    state.firstRow = count <= 0 || current == 0;
    state.lastRow = count <= 0 || current == count - 1;
}

keys::KeyState stateOf(HWND control) {
    keys::KeyState state;
    state.screen = g_config.s_nScreen;
    state.shift = GetKeyState(VK_SHIFT) < 0;
    state.navigationPad = kHasNavigationPad;
    if (!control) return state;
    if (isClass(control, L"Button")) {
        state.focus = Focus::button;
    } else if (isClass(control, L"ListBox")) {
        state.focus = Focus::list;
        setRows(state, SendMessageW(control, LB_GETCURSEL, 0, 0), SendMessageW(control, LB_GETCOUNT, 0, 0));
    } else if (isClass(control, L"ComboBox")) {
        state.focus = SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0) ? Focus::openList : Focus::list;
        setRows(state, SendMessageW(control, CB_GETCURSEL, 0, 0), SendMessageW(control, CB_GETCOUNT, 0, 0));
    } else if (isClass(control, WC_LISTVIEWW)) {
        state.focus = Focus::listView;
        setRows(state, focusedItem(control), SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
    } else if (isClass(control, L"Edit")) {
        state.focus = Focus::text;
        setRows(state, SendMessageW(control, EM_LINEFROMCHAR, WPARAM(-1), 0), SendMessageW(control, EM_GETLINECOUNT, 0, 0));
    }
    return state;
}

void moveFocus(HWND window, HWND from, bool backward) {
    std::vector<int> usable;
    // A Pocket PC held sideways sets its settings in two halves, as the Handheld PC does.
    const bool landscape = kHasLandscapeScreens || g_config.s_metrics.turned;
    for (int id : keys::focusOrder(g_config.s_nScreen, landscape)) {
        HWND control = GetDlgItem(window, id);
        if (control && IsWindowVisible(control) && IsWindowEnabled(control)) usable.push_back(id);
    }
    if (int next = keys::nextControl(usable, from ? GetDlgCtrlID(from) : 0, backward)) {
        SetFocus(GetDlgItem(window, next));
    }
}

void press(HWND button) {
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) SendMessageW(button, BM_CLICK, 0, 0);
}

// Makes item `index` of the list (or its last one) the focused and selected
// item, and makes the check that a tap on it makes.
void chooseItem(HWND window, HWND list, int index) {
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count <= 0) return;
    if (index >= count) index = count - 1;
    if (index < 0) index = 0;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, WPARAM(index), FALSE);
    chooseInfectedItem(window);
}

// Enter on the list of infected files: Delete, when the chosen file can be
// deleted. The focus stays on the list, on the item that took the deleted
// one's place, so that the user goes on from there.
void listDefault(HWND window, HWND list, int command) {
    HWND button = GetDlgItem(window, command);
    if (!button || !IsWindowEnabled(button)) return;
    int index = focusedItem(list);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    // The last file deleted, the report screen has taken the list away.
    if (IsWindow(list)) chooseItem(window, list, index);
}

// A key that the list of infected files moves its focused item with chooses
// that item, as a tap on it would.
void passToList(HWND window, HWND list, MSG& msg) {
    int before = focusedItem(list);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (IsWindow(list) && focusedItem(list) != before) chooseInfectedItem(window);
}

}  // namespace

bool screenKey(MSG& msg) {
    HWND window = g_config.s_hMainWnd;
    if (!window || (msg.hwnd != window && !IsChild(window, msg.hwnd))) return false;
    if (msg.message == WM_CHAR) return g_usedChar && msg.wParam == g_usedChar;
    if (msg.message == WM_KEYUP) g_usedChar = 0;
    if (msg.message != WM_KEYDOWN) return false;
    g_usedChar = 0;

    const Key key = keyOf(msg.wParam);
    HWND control = focusedControl(window);
    const keys::KeyState state = stateOf(control);
    const keys::KeyAction action = keys::planKey(key, state);
    if (action.act == Act::pass) {
        if (state.focus != Focus::listView || msg.hwnd != control) return false;
        passToList(window, control, msg);
        return true;
    }
    // Set before the key is carried out: a button may open a message box,
    // whose own loop then meets the character.
    g_usedChar = charOf(key);
    switch (action.act) {
        case Act::next:
        case Act::previous: moveFocus(window, control, action.act == Act::previous); break;
        case Act::pressFocused: press(control); break;
        case Act::press: press(GetDlgItem(window, action.command)); break;
        case Act::listDefault: listDefault(window, control, action.command); break;
        default: break;
    }
    return true;
}

namespace {

// The frame: two pixels clear of the list's border, in the window's coordinates.
bool listFrame(HWND window, HWND list, RECT& frame) {
    if (!list || !GetWindowRect(list, &frame)) return false;
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&frame), 2);
    InflateRect(&frame, 2, 2);
    return true;
}

}  // namespace

void listFocusChanged(HWND window, bool focused) {
    RECT frame;
    if (!listFrame(window, GetDlgItem(window, kScanList), frame)) return;
    if (focused) {
        paintListFocus(window);
    } else {
        // The screen's next paint restores what the frame covered.
        InvalidateRect(window, &frame, TRUE);
    }
}

void paintListFocus(HWND window) {
    HWND list = GetDlgItem(window, kScanList);
    RECT frame;
    if (!list || GetFocus() != list || !listFrame(window, list, frame)) return;
    ScreenDC dc(window);
    HPEN pen = CreatePen(PS_DOT, 1, kTextBlack);
    HGDIOBJ oldPen = SelectObject(dc.get(), pen);
    HGDIOBJ oldBrush = SelectObject(dc.get(), GetStockObject(NULL_BRUSH));
    SetBkColor(dc.get(), kBackgroundWhite);
    Rectangle(dc.get(), frame.left, frame.top, frame.right, frame.bottom);
    SelectObject(dc.get(), oldBrush);
    SelectObject(dc.get(), oldPen);
    DeleteObject(pen);
}

void focusControl(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (!control) return;
    // Taking the focus would bring the window in front of the one the user
    // works in (a scan may end while the user is elsewhere).
    if (GetActiveWindow() == window) {
        SetFocus(control);
    } else {
        g_returnFocus = control;
    }
}

void keyboardActivation(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        if (HWND focus = focusedControl(window)) g_returnFocus = focus;
        return;
    }
    HWND control = g_returnFocus;
    g_returnFocus = nullptr;
    if (control && IsWindow(control) && GetAncestor(control, GA_PARENT) == window && IsWindowVisible(control) &&
        IsWindowEnabled(control)) {
        SetFocus(control);
    }
}
