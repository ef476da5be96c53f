#include "shell/draw.h"

#include <cwchar>
#include <string_view>

HFONT screenFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

ScreenDC::ScreenDC(HWND window) : window_(window), dc_(GetDC(window)), previousFont_(nullptr) {
    if (dc_) previousFont_ = SelectObject(dc_, screenFont());
}

ScreenDC::~ScreenDC() {
    if (!dc_) return;
    SelectObject(dc_, previousFont_);
    ReleaseDC(window_, dc_);
}

void clearClient(HDC dc, const ScreenMetrics& metrics) {
    RECT all{0, 0, metrics.clientWidth + 1, metrics.clientHeight + 1};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void drawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int w, int h) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

void drawText(HDC dc, int x, int y, const wchar_t* text, COLORREF color) {
    if (!text) return;
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutW(dc, x, y, 0, nullptr, text, static_cast<UINT>(wcslen(text)), nullptr);
}

int textWidth(HDC dc, const wchar_t* text) {
    SIZE size{};
    if (!text || !GetTextExtentExPointW(dc, text, static_cast<int>(wcslen(text)), 0, nullptr, nullptr, &size)) return 0;
    return size.cx;
}

captions::Measured measureCaption(HDC dc, const wchar_t* text) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return captions::measure(std::wstring_view(text ? text : L""), int(metrics.tmHeight), [dc](std::wstring_view s) {
        SIZE size{};
        GetTextExtentPoint32W(dc, s.data(), int(s.size()), &size);
        return int(size.cx);
    });
}

int digitWidth(HDC dc) {
    INT width = 0;
    GetCharWidth32W(dc, L'0', L'0', &width);
    return width;
}

HWND createControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, const ControlPlace& place,
                   int id, DWORD extendedStyle) {
    HWND control = CreateWindowExW(extendedStyle, className, text, style, place.x, place.y, place.width, place.height,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(screenFont()), FALSE);
    return control;
}

void placeControl(HWND parent, int id, const ControlPlace& place) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return;
    RECT was{};
    GetWindowRect(control, &was);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&was), 2);
    if (was.left == place.x && was.top == place.y && was.right - was.left == place.width &&
        was.bottom - was.top == place.height) {
        return;
    }
    MoveWindow(control, place.x, place.y, place.width, place.height, TRUE);
    // After the move: what the control no longer covers is the parent's again
    // (its drawing leaves the children out), and a relabel may validate the
    // parent before it repaints.
    if (HDC dc = GetDC(parent)) {
        FillRect(dc, &was, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ReleaseDC(parent, dc);
    }
}

void setCheckBoxLines(HWND parent, int id, int lines) {
    HWND control = GetDlgItem(parent, id);
    if (!control) return;
    const DWORD style = DWORD(GetWindowLongW(control, GWL_STYLE));
    const DWORD wanted = (style & ~DWORD(BS_MULTILINE)) | multiLineStyle(lines);
    if (wanted == style) return;
    SetWindowLongW(control, GWL_STYLE, LONG(wanted));
    InvalidateRect(control, nullptr, TRUE);
}

void destroyControl(HWND parent, int id) {
    if (HWND control = GetDlgItem(parent, id)) DestroyWindow(control);
}
