// The menu bar of a handheld without push buttons: a window along the bottom
// of the screen, owned by the program's window, holding a toolbar whose
// buttons are the two soft keys. The bar window stands for its toolbar: the
// toolbar's messages sent to the bar reach the toolbar, and the toolbar's
// commands and notifications reach the owner, so that pressing a soft key
// arrives at the program as WM_COMMAND with the key's command.
#include "device/aygshell/aygshell_internal.h"

#include <commctrl.h>

#include "ce_aygshell.h"
#include "device/aygshell/menubar_template.h"

namespace aygshell {
namespace {

constexpr int kBarHeight = 26;
// The toolbar's notifications reach the program with this control id: one
// that no program control uses (1 would read as IDOK).
constexpr int kToolbarId = 0x5A01;
constexpr int kLabelCapacity = 64;
// Where an owner keeps its menu bar, for SHFindMenuBar (also from outside).
constexpr const wchar_t* kMenuBarProperty = L"ZbMenuBar";

INIT_ONCE g_classOnce = INIT_ONCE_STATIC_INIT;

HWND toolbarOf(HWND bar) { return GetDlgItem(bar, kToolbarId); }

LRESULT onOwnerDestroyingBar(HWND bar) {
    HWND owner = GetWindow(bar, GW_OWNER);
    if (owner && GetPropW(owner, kMenuBarProperty) == bar) RemovePropW(owner, kMenuBarProperty);
    return 0;
}

LRESULT toOwner(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND owner = GetWindow(bar, GW_OWNER);
    return owner ? SendMessageW(owner, message, wParam, lParam) : 0;
}

LRESULT CALLBACK barProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER && message < WM_APP) {
        HWND toolbar = toolbarOf(bar);
        return toolbar ? SendMessageW(toolbar, message, wParam, lParam) : 0;
    }
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
        return toOwner(bar, message, wParam, lParam);
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;  // a soft key press leaves the program active
    case WM_DESTROY:
        return onOwnerDestroyingBar(bar);
    default:
        return DefWindowProcW(bar, message, wParam, lParam);
    }
}

BOOL CALLBACK registerBarClass(INIT_ONCE*, void*, void**) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW wc{};
    wc.lpfnWndProc = barProcedure;
    wc.hInstance = thisModule();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = ZB_MENUBAR_CLASS;
    return RegisterClassW(&wc) != 0;
}

// Finds and reads the template; false when it is missing or malformed.
bool loadTemplate(HINSTANCE module, UINT id, MenuBarTemplate& out) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    return parseMenuBarTemplate(static_cast<const uint8_t*>(bytes), SizeofResource(module, found), out) == kStatusOk;
}

HWND createToolbar(HWND bar, HINSTANCE strings, const MenuBarTemplate& layout, int width) {
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                   WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NODIVIDER |
                                       CCS_NOPARENTALIGN,
                                   0, 0, width, kBarHeight, bar, reinterpret_cast<HMENU>(kToolbarId), thisModule(),
                                   nullptr);
    if (!toolbar) return nullptr;
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // Each soft key takes an equal share of the bar, whatever its label.
    const int keyWidth = width / layout.keyCount;
    SendMessageW(toolbar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(keyWidth, keyWidth));
    wchar_t labels[kMenuBarMaxKeys][kLabelCapacity];
    TBBUTTON buttons[kMenuBarMaxKeys]{};
    for (size_t k = 0; k < layout.keyCount; ++k) {
        const SoftKeyTemplate& key = layout.keys[k];
        // A label comes from the program's string table when it has the
        // string; screens usually set their own labels later.
        if (LoadStringW(strings, key.stringId, labels[k], kLabelCapacity) <= 0) labels[k][0] = 0;
        buttons[k].iBitmap = I_IMAGENONE;
        buttons[k].idCommand = key.command;
        buttons[k].fsState = key.state;
        // A soft key is a push button whatever other style bits the template
        // carries (a desktop toolbar would take bit 0 for a separator).
        buttons[k].fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT | BTNS_NOPREFIX;
        buttons[k].iString = reinterpret_cast<INT_PTR>(labels[k]);
    }
    if (!SendMessageW(toolbar, TB_ADDBUTTONSW, layout.keyCount, reinterpret_cast<LPARAM>(buttons))) {
        DestroyWindow(toolbar);
        return nullptr;
    }
    SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(keyWidth, kBarHeight));
    return toolbar;
}

// The program's window ends where the bar begins.
void fitOwnerAboveBar(HWND owner, int barTop) {
    RECT r;
    if (!GetWindowRect(owner, &r) || r.bottom <= barTop) return;
    const int height = barTop > r.top ? barTop - r.top : 0;
    SetWindowPos(owner, nullptr, 0, 0, r.right - r.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- the keys of a handheld without a touch screen ----
//
// The two soft keys arrive as F1 and F2 and press the menu bar's keys; Left
// and Right on a one-row list with arrows beside it (a spinner) turn its row,
// and the arrows tell their parent as if they had been pressed. A thread gets
// this from its first menu bar on.

thread_local HHOOK t_keyHook = nullptr;

HWND menuBarOf(HWND window) {
    HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
    HWND bar = top ? static_cast<HWND>(GetPropW(top, kMenuBarProperty)) : nullptr;
    return bar && IsWindow(bar) ? bar : nullptr;
}

// The soft key's press: its command reaches the bar's owner, unless the key
// is disabled or missing.
void pressSoftKey(HWND bar, int index) {
    HWND toolbar = toolbarOf(bar);
    TBBUTTON button{};
    if (!toolbar || !SendMessageW(toolbar, TB_GETBUTTON, WPARAM(index), reinterpret_cast<LPARAM>(&button))) return;
    if (!(button.fsState & TBSTATE_ENABLED)) return;
    HWND owner = GetWindow(bar, GW_OWNER);
    if (owner) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(button.idCommand, 0), reinterpret_cast<LPARAM>(toolbar));
}

struct ArrowsSearch {
    HWND list;
    HWND arrows;
};

BOOL CALLBACK findArrows(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ArrowsSearch*>(data);
    wchar_t name[32];
    if (GetClassNameW(child, name, 32) && lstrcmpiW(name, UPDOWN_CLASSW) == 0 &&
        reinterpret_cast<HWND>(SendMessageW(child, UDM_GETBUDDY, 0, 0)) == search->list) {
        search->arrows = child;
        return FALSE;
    }
    return TRUE;
}

// Turns a spinner one row on; true when `list` is one.
bool turnSpinner(HWND list, bool forward) {
    wchar_t name[32];
    if (!GetClassNameW(list, name, 32) || lstrcmpiW(name, L"LISTBOX") != 0) return false;
    HWND parent = GetParent(list);
    ArrowsSearch search{list, nullptr};
    if (parent) EnumChildWindows(parent, findArrows, reinterpret_cast<LPARAM>(&search));
    if (!search.arrows) return false;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) return true;
    LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
    const bool wrap = (GetWindowLongW(search.arrows, GWL_STYLE) & UDS_WRAP) != 0;
    if (row < 0) row = 0;
    else if (forward) row = row + 1 < count ? row + 1 : (wrap ? 0 : row);
    else row = row > 0 ? row - 1 : (wrap ? count - 1 : row);
    SendMessageW(list, LB_SETCURSEL, WPARAM(row), 0);
    const UINT scroll = (GetWindowLongW(search.arrows, GWL_STYLE) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
    PostMessageW(parent, scroll, MAKEWPARAM(SB_THUMBPOSITION, row), reinterpret_cast<LPARAM>(search.arrows));
    return true;
}

LRESULT CALLBACK keyHook(int code, WPARAM remove, LPARAM data) {
    MSG* msg = reinterpret_cast<MSG*>(data);
    if (code == HC_ACTION && remove == PM_REMOVE && msg &&
        (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP)) {
        const bool down = msg->message == WM_KEYDOWN;
        const bool repeat = (msg->lParam & (LPARAM{1} << 30)) != 0;
        if (msg->wParam == VK_F1 || msg->wParam == VK_F2) {
            if (HWND bar = menuBarOf(msg->hwnd)) {
                if (down && !repeat) pressSoftKey(bar, msg->wParam == VK_F1 ? 0 : 1);
                msg->message = WM_NULL;
            }
        } else if (down && (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT)) {
            if (turnSpinner(msg->hwnd, msg->wParam == VK_RIGHT)) msg->message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, remove, data);
}

bool usableParent(HWND hwnd) {
    DWORD process = 0;
    return IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &process) && process == GetCurrentProcessId();
}

}  // namespace
}  // namespace aygshell

extern "C" {

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info) {
    using namespace aygshell;
    sipButton();
    if (!info || info->cbSize != sizeof(SHMENUBARINFO) || !usableParent(info->hwndParent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hwndMB = nullptr;
    HINSTANCE resources = info->hInstRes ? info->hInstRes : GetModuleHandleW(nullptr);
    MenuBarTemplate layout;
    if (!loadTemplate(resources, info->nToolBarId, layout)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    if (!InitOnceExecuteOnce(&g_classOnce, registerBarClass, nullptr, nullptr)) return FALSE;

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int top = GetSystemMetrics(SM_CYSCREEN) - kBarHeight;
    HWND bar = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, ZB_MENUBAR_CLASS, L"", WS_POPUP, 0, top, width,
                               kBarHeight, info->hwndParent, nullptr, thisModule(), nullptr);
    if (!bar) return FALSE;
    if (!createToolbar(bar, resources, layout, width)) {
        DestroyWindow(bar);
        return FALSE;
    }
    // A new bar replaces the one the window had.
    HWND old = static_cast<HWND>(GetPropW(info->hwndParent, kMenuBarProperty));
    if (old && IsWindow(old)) DestroyWindow(old);
    SetPropW(info->hwndParent, kMenuBarProperty, bar);
    ShowWindow(bar, SW_SHOWNOACTIVATE);
    fitOwnerAboveBar(info->hwndParent, top);
    if (!t_keyHook) t_keyHook = SetWindowsHookExW(WH_GETMESSAGE, keyHook, nullptr, GetCurrentThreadId());
    info->hwndMB = bar;
    return TRUE;
}

HWND WINAPI SHFindMenuBar(HWND hwnd) {
    using namespace aygshell;
    sipButton();
    if (!IsWindow(hwnd)) return nullptr;
    HWND bar = static_cast<HWND>(GetPropW(hwnd, kMenuBarProperty));
    return bar && IsWindow(bar) ? bar : nullptr;
}

}  // extern "C"
