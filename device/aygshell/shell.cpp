// AygShell.dll of the emulated device: the title-bar OK button, the
// activation bookkeeping and the full-screen control. The device's title bar
// is the window's caption, so the OK button is the caption's close box.
#include "device/aygshell/aygshell_internal.h"

#include "ce_aygshell.h"

namespace aygshell {

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

namespace {

// Window properties of a window whose close box acts as its OK button.
constexpr const wchar_t* kPreviousProcedure = L"ZbDoneButtonProc";
constexpr const wchar_t* kDoneCommand = L"ZbDoneButtonCmd";

bool ownWindow(HWND hwnd) {
    DWORD process = 0;
    if (!IsWindow(hwnd) || !GetWindowThreadProcessId(hwnd, &process) || process != GetCurrentProcessId()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return true;
}

LRESULT CALLBACK doneButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT onCloseBox(HWND hwnd, WNDPROC previous) {
    const WORD command = static_cast<WORD>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kDoneCommand)));
    return CallWindowProcW(previous, hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

LRESULT onFinalDestroy(HWND hwnd, WNDPROC previous, WPARAM wParam, LPARAM lParam) {
    // Hand the window back to its own procedure unless someone subclassed it after us.
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == doneButtonProcedure) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
    RemovePropW(hwnd, kPreviousProcedure);
    RemovePropW(hwnd, kDoneCommand);
    return CallWindowProcW(previous, hwnd, WM_NCDESTROY, wParam, lParam);
}

LRESULT CALLBACK doneButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kPreviousProcedure));
    if (!previous) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) return onCloseBox(hwnd, previous);
    if (message == WM_NCDESTROY) return onFinalDestroy(hwnd, previous, wParam, lParam);
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

void rememberFocus(HWND hwnd, SHACTIVATEINFO& info) {
    HWND focus = GetFocus();
    info.hwndLastFocus = (focus && (focus == hwnd || IsChild(hwnd, focus))) ? focus : nullptr;
    info.fSipOnDeactivation = info.fSipUp;
    info.fActive = 0;
}

void restoreFocus(HWND hwnd, SHACTIVATEINFO& info) {
    info.fActive = 1;
    HWND last = info.hwndLastFocus;
    if (last && last != hwnd && IsWindow(last) && IsChild(hwnd, last) && IsWindowVisible(last)) SetFocus(last);
}

void showSipButton(bool show) {
    HWND button = sipButton();
    if (button) ShowWindow(button, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

}  // namespace
}  // namespace aygshell

extern "C" {

BOOL WINAPI SHDoneButton(HWND hwnd, DWORD state) {
    using namespace aygshell;
    sipButton();
    if (!ownWindow(hwnd)) return FALSE;
    WORD command;
    switch (state) {
    case SHDB_SHOW:
    case SHDB_HIDE:
        command = IDOK;
        break;
    case SHDB_SHOWCANCEL:
        command = IDCANCEL;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetPropW(hwnd, kDoneCommand, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(command)));
    if (!GetPropW(hwnd, kPreviousProcedure)) {
        auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        if (!previous || !SetPropW(hwnd, kPreviousProcedure, reinterpret_cast<HANDLE>(previous))) return FALSE;
        if (!SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(doneButtonProcedure))) {
            RemovePropW(hwnd, kPreviousProcedure);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags) {
    using namespace aygshell;
    (void)lParam;
    (void)flags;
    sipButton();
    if (!info || info->cbSize != sizeof(SHACTIVATEINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (LOWORD(wParam) == WA_INACTIVE) {
        rememberFocus(hwnd, *info);
    } else {
        restoreFocus(hwnd, *info);
    }
    return TRUE;
}

BOOL WINAPI SHFullScreen(HWND hwnd, DWORD state) {
    using namespace aygshell;
    sipButton();
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const bool show = state & SHFS_SHOWSIPBUTTON, hide = state & SHFS_HIDESIPBUTTON;
    if (show && hide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The task bar and start icon do not exist on this device's screen.
    if (show || hide) showSipButton(show);
    return TRUE;
}

}  // extern "C"
