// Main screen: the product bitmap, copyright line and web address, the engine
// and database versions, the age of the last update check, and the Scan,
// Settings and Report buttons.
#include <cwchar>
#include <string>

#include "base/edition.h"
#include "engine/report.h"
#include "engine/vps.h"
#include "settings/settings_store.h"
#include "shell/age_text.h"
#include "shell/button_column.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/handheld_layout.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/screens.h"

namespace {

std::wstring text(uint32_t id) { return lang.GetString(id); }

void createButtons(HWND window, const ScreenMetrics& m) {
    const DWORD style = WS_CHILD | WS_VISIBLE;
    createControl(window, L"BUTTON", text(kMainScan).c_str(), style, layout::mainButton(m, 0), kMainScan);
    createControl(window, L"BUTTON", text(kMainSettings).c_str(), style, layout::mainButton(m, 1), kMainSettings);
    createControl(window, L"BUTTON", text(kMainReport).c_str(), style | (reportExists() ? 0 : WS_DISABLED),
                  layout::mainButton(m, 2), kMainReport);
    focusControl(window, kMainScan);
}

// Draws the product bitmap centred near the top, with the rule under it; gives
// back where the bitmap went.
void drawProduct(HDC dc, const ScreenMetrics& m) {
    HBITMAP bitmap = LoadBitmapW(programInstance(), MAKEINTRESOURCEW(111));
    BITMAP info{};
    if (bitmap) GetObjectW(bitmap, sizeof info, &info);
    int w = info.bmWidth, h = info.bmHeight;
    // Centred, or at the head of the Handheld PC's button column.
    int left = kHasButtonColumn ? layout::handheld::productLeft(m) : (m.clientWidth - w) / 2;
    int top = static_cast<int>(((m.clientHeight - h) / 2) * 0.1);
    if (bitmap) {
        drawBitmap(dc, bitmap, left, top, w, h);
        DeleteObject(bitmap);
    }
    POINT rule[6] = {{left - 50, top + 35},     {left + w + 50, top + 35}, {left + w + 50, top + 36},
                     {left - 50, top + 36},     {left - 50, top + 37},     {left + w + 51, top + 37}};
    Polyline(dc, rule, 6);
}

// A line made of a black label and a coloured value, centred as one text
// between `areaLeft` and the client's right edge.
void drawCentredPair(HDC dc, const ScreenMetrics& m, int areaLeft, int y, const std::wstring& label,
                     const std::wstring& value, COLORREF valueColor) {
    int labelWidth = textWidth(dc, label.c_str());
    int x = areaLeft + (m.clientWidth - areaLeft - textWidth(dc, (label + value).c_str())) / 2;
    drawText(dc, x, y, label.c_str(), kTextBlack);
    drawText(dc, x + labelWidth, y, value.c_str(), valueColor);
}

std::wstring ageText(const CheckAgeText& age) {
    if (!age.hasCount) return L" " + text(age.textId);
    wchar_t buffer[kLanguageTextCapacity + 32];
    std::wstring unit = text(age.textId);
    wsprintfW(buffer, L" %d %s", static_cast<int>(age.count), unit.c_str());
    return buffer;
}

}  // namespace

void buildMainScreen(HWND window) {
    g_config.s_nScreen = kScreenMain;
    const ScreenMetrics& m = g_config.s_metrics;
    ScreenDC dc(window);
    clearClient(dc.get(), m);
    int areaLeft = 0;
    if constexpr (kHasButtonColumn) {
        if (!GetDlgItem(window, kMainScan)) handheld::createButtonColumn(window, m);
        areaLeft = layout::handheld::textAreaLeft(m, handheld::drawDescriptions(dc.get(), m));
    } else {
        if (!GetDlgItem(window, kMainScan)) createButtons(window, m);
    }
    drawProduct(dc.get(), m);

    drawCentredPair(dc.get(), m, areaLeft, layout::mainTextTop(m, 0), L"", text(8100), kTextBlack);
    drawCentredPair(dc.get(), m, areaLeft, layout::mainTextTop(m, 2), L"", text(8101), kValueBlue);
    drawCentredPair(dc.get(), m, areaLeft, layout::mainTextTop(m, 6), text(8105), text(8021), kValueBlue);
    wchar_t version[32];
    wsprintfW(version, L"%d.%d", static_cast<int>(g_vps.versionMajor), static_cast<int>(g_vps.versionMinor));
    drawCentredPair(dc.get(), m, areaLeft, layout::mainTextTop(m, 7), text(8112), version, kValueBlue);

    CheckAgeText age = describeCheckAge(lastCheckAge());
    drawCentredPair(dc.get(), m, areaLeft, layout::mainTextTop(m, 10), text(checkAgeLabelId(g_config.s_nLanguage, age)),
                    ageText(age), age.warning ? kWarningRed : kValueBlue);
    ValidateRect(window, nullptr);
}

void tearDownMainScreen(HWND window) {
    if constexpr (kHasButtonColumn) {
        handheld::destroyButtonColumn(window);
    } else {
        destroyControl(window, kMainScan);
        destroyControl(window, kMainSettings);
        destroyControl(window, kMainReport);
    }
    ScreenDC dc(window);
    clearClient(dc.get(), g_config.s_metrics);
}
