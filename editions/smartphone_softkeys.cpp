// The Smartphone's menu bar: two soft keys whose labels and states each
// screen sets; and the fonts the Smartphone screens draw with.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "base/binding.h"
#include "editions/smartphone.h"
#include "editions/smartphone_keys.h"
#include "shell/config.h"
#include "shell/lang.h"

namespace smartphone {
namespace {

constexpr int kLabelCapacity = 50;

HFONT g_fonts[4] = {};

HWND menuBar() {
    if (!g_api.SHFindMenuBar || !g_config.s_hMainWnd) return nullptr;
    return g_api.SHFindMenuBar(g_config.s_hMainWnd);
}

HFONT makeFont(int pixelsPerInch, FontSpec spec) {
    LOGFONTW record{};
    record.lfHeight = fontHeight(spec.points, pixelsPerInch);
    record.lfWeight = spec.weight;
    return CreateFontIndirectW(&record);
}

}  // namespace

int setSoftKeyText(int command, uint32_t textId) {
    HWND bar = menuBar();
    if (!bar) return 0;
    wchar_t label[kLabelCapacity + 1] = {};
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = label;
    info.cchText = kLabelCapacity;
    SendMessageW(bar, TB_GETBUTTONINFOW, WPARAM(command), reinterpret_cast<LPARAM>(&info));
    if (textId == 0) {
        label[0] = 0;
    } else {
        lang.CopyString(textId, label, kLabelCapacity);
    }
    info.pszText = label;
    info.cchText = kLabelCapacity;
    SendMessageW(bar, TB_SETBUTTONINFOW, WPARAM(command), reinterpret_cast<LPARAM>(&info));
    return 1;
}

int setSoftKeyState(int command, int disable) {
    HWND bar = menuBar();
    if (!bar) return 0;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_STATE;
    SendMessageW(bar, TB_GETBUTTONINFOW, WPARAM(command), reinterpret_cast<LPARAM>(&info));
    if (disable) {
        info.fsState = BYTE(info.fsState & ~TBSTATE_ENABLED);
    } else {
        info.fsState = BYTE(info.fsState | TBSTATE_ENABLED);
    }
    SendMessageW(bar, TB_SETBUTTONINFOW, WPARAM(command), reinterpret_cast<LPARAM>(&info));
    return 1;
}

void createMenuBar(HWND window, HINSTANCE instance) {
    if (!g_api.SHCreateMenuBar) return;
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = window;
    info.dwFlags = 0;
    info.nToolBarId = kMenuBarTemplate;
    info.hInstRes = instance;
    // Without a bar the screens still work; their soft keys just carry no labels.
    g_api.SHCreateMenuBar(&info);
}

void createFonts(HWND window) {
    if (g_fonts[0]) return;
    HDC dc = GetDC(window);
    int pixelsPerInch = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(window, dc);
    g_fonts[int(Font::normal10)] = makeFont(pixelsPerInch, kFontNormal10);
    g_fonts[int(Font::bold10)] = makeFont(pixelsPerInch, kFontBold10);
    g_fonts[int(Font::bold8)] = makeFont(pixelsPerInch, kFontBold8);
    g_fonts[int(Font::light8)] = makeFont(pixelsPerInch, kFontLight8);
    // The Smartphone's screens write their lines in the 10-point font: their
    // line height is that font's, not the smaller interface font's.
    if (HDC measure = GetDC(window)) {
        HGDIOBJ previous = SelectObject(measure, g_fonts[int(Font::normal10)]);
        TEXTMETRICW tm{};
        if (GetTextMetricsW(measure, &tm) && tm.tmHeight > 0) {
            g_config.s_metrics.lineHeight = tm.tmHeight + tm.tmExternalLeading;
        }
        SelectObject(measure, previous);
        ReleaseDC(window, measure);
    }
}

void destroyFonts() {
    for (HFONT& f : g_fonts) {
        if (f) DeleteObject(f);
        f = nullptr;
    }
}

HFONT font(Font which) {
    HFONT f = g_fonts[int(which)];
    return f ? f : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace smartphone
