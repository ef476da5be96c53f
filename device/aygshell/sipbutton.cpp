// The input panel's button of a touch-screen device: a small window at the
// right of the screen's bottom edge that shows a keyboard. It lives on a
// thread of its own so that it is drawn whatever the calling thread does, and
// it is never activated, as the device's own button takes no focus.
#include "device/aygshell/aygshell_internal.h"

#include "ce_aygshell.h"

namespace aygshell {
namespace {

constexpr int kSipWidth = 34;
constexpr int kSipHeight = 26;

INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
HWND g_button = nullptr;

bool deviceHasTouchScreen() {
    DWORD touch = 0, size = sizeof touch;
    return RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\ZbDevice", L"Touch", RRF_RT_REG_DWORD, nullptr, &touch,
                        &size) == ERROR_SUCCESS &&
           touch == 1;
}

void paintKeyboard(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    // The keyboard: a frame with two rows of keys and a space bar.
    const int left = 5, top = 5, width = client.right - 10, height = client.bottom - 10;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, left, top, left + width, top + height);
    for (int row = 0; row < 2; ++row) {
        for (int key = 0; key < 5; ++key) {
            const int x = left + 2 + key * ((width - 4) / 5);
            const int y = top + 2 + row * 4;
            Rectangle(dc, x, y, x + 3, y + 3);
        }
    }
    Rectangle(dc, left + width / 4, top + height - 5, left + 3 * width / 4, top + height - 2);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK sipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintKeyboard(hwnd);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

struct ThreadStart {
    HANDLE ready;
};

DWORD WINAPI sipThread(void* parameter) {
    HANDLE ready = static_cast<ThreadStart*>(parameter)->ready;
    WNDCLASSW wc{};
    wc.lpfnWndProc = sipProc;
    wc.hInstance = thisModule();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = ZB_SIPBUTTON_CLASS;
    RegisterClassW(&wc);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    HWND button = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, ZB_SIPBUTTON_CLASS, L"",
                                  WS_POPUP, screenWidth - kSipWidth, screenHeight - kSipHeight, kSipWidth, kSipHeight,
                                  nullptr, nullptr, thisModule(), nullptr);
    if (button) ShowWindow(button, SW_SHOWNOACTIVATE);
    g_button = button;
    SetEvent(ready);
    if (!button) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// Waits for `event` (the button's thread always sets it) while still serving
// messages sent to the calling thread's windows, so that creating the button
// can never wait on a caller that waits on it.
void waitServingSentMessages(HANDLE event) {
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

BOOL CALLBACK startButton(INIT_ONCE*, void*, void**) {
    if (!deviceHasTouchScreen()) return TRUE;
    // The button's thread runs this library's code for the rest of the
    // process, so the library must stay loaded.
    HMODULE pinned = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&sipThread), &pinned)) {
        return TRUE;
    }
    ThreadStart start{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!start.ready) return TRUE;
    HANDLE thread = CreateThread(nullptr, 0, sipThread, &start, 0, nullptr);
    if (thread) {
        waitServingSentMessages(start.ready);
        CloseHandle(thread);
    }
    CloseHandle(start.ready);
    return TRUE;
}

}  // namespace

HWND sipButton() {
    InitOnceExecuteOnce(&g_once, startButton, nullptr, nullptr);
    return g_button;
}

}  // namespace aygshell
