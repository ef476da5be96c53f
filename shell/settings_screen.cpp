// Settings screen: language, storage card, automatic update, report level,
// and the Update and Done buttons.
#include <cwchar>
#include <string>

#include "editions/edition.h"
#include "shell/binding.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/lang.h"
#include "shell/lang_text.h"
#include "shell/screens.h"

namespace {

// Rows of the report-level list and the level each stores.
constexpr uint32_t kReportLevels[3] = {1, 2, 6};

int reportLevelRow(uint32_t level) { return level == 1 ? 0 : level == 2 ? 1 : 2; }

void fillReportLevels(HWND combo) {
    while (SendMessageW(combo, CB_DELETESTRING, 0, 0) > 0) {
    }
    for (uint32_t id : {8405u, 8406u, 8407u}) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lang.GetString(id)));
    }
}

void createLabels(HWND window, const ScreenMetrics& m) {
    destroyControl(window, kSettingsLanguageLabel);
    createControl(window, L"STATIC", lang.GetString(kSettingsLanguageLabel), WS_CHILD | WS_VISIBLE,
                  layout::settingsLanguageLabel(m), kSettingsLanguageLabel);
}

void createReportLabel(HWND window, const ScreenMetrics& m) {
    createControl(window, L"STATIC", lang.GetString(kSettingsReportLabel), WS_CHILD | WS_VISIBLE,
                  layout::settingsReportLabel(m), kSettingsReportLabel);
}

void createControls(HWND window, const ScreenMetrics& m) {
    HWND list = createControl(window, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS |
                                  LBS_NOINTEGRALHEIGHT,
                              layout::settingsLanguageList(m), kSettingsLanguageList);
    int selected = 0;
    // The rows follow the language table: Czech, English, French, Portuguese, Slovak.
    for (size_t row = 0; row < kLanguageCount; ++row) {
        std::wstring text = std::wstring(lang.GetString(8470 + uint32_t(row))) + std::wstring(70, L' ');
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (kLanguageTable[row].primaryId == (lang.LanguageId() & 0x3FFu)) selected = int(row);
    }
    SendMessageW(list, LB_SETCURSEL, selected, 0);

    const DWORD button = WS_CHILD | WS_VISIBLE;
    createControl(window, L"BUTTON", lang.GetString(kSettingsUpdate), button, layout::settingsUpdate(m), kSettingsUpdate);
    createControl(window, L"BUTTON", lang.GetString(kSettingsDone), button, layout::settingsDone(m), kSettingsDone);
    HWND card = createControl(window, L"BUTTON", lang.GetString(kSettingsStorageCard), button | BS_AUTOCHECKBOX,
                              layout::settingsStorageCard(m), kSettingsStorageCard);
    SendMessageW(card, BM_SETCHECK, g_config.s_bStorageCard ? BST_CHECKED : BST_UNCHECKED, 0);
    HWND autoUpdate = createControl(window, L"BUTTON", lang.GetString(kSettingsAutoUpdate), button | BS_AUTOCHECKBOX,
                                    layout::settingsAutoUpdate(m), kSettingsAutoUpdate);
    SendMessageW(autoUpdate, BM_SETCHECK, g_config.s_bAutoUpdate ? BST_CHECKED : BST_UNCHECKED, 0);

    HWND combo = createControl(window, L"COMBOBOX", lang.GetString(kSettingsReportLevel),
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                               layout::settingsReportLevel(m), kSettingsReportLevel);
    fillReportLevels(combo);
    SendMessageW(combo, CB_SETCURSEL, reportLevelRow(g_config.s_nReportLevel), 0);
}

// The band under the input panel's button, where a handheld's menu bar would be.
void drawInputPanelBand(HWND window, const ScreenMetrics& m) {
    HWND sip = FindWindowW(L"MS_SIPBUTTON", nullptr);
    if (!sip) return;
    RECT r{};
    GetWindowRect(sip, &r);
    int y = m.clientHeight - (r.bottom - r.top) - 2;
    ScreenDC dc(window);
    // Filled first: the line on its top edge stays visible.
    HBRUSH band = CreateSolidBrush(GetSysColor(COLOR_SCROLLBAR));
    RECT area{0, y, m.clientWidth, m.clientHeight};
    FillRect(dc.get(), &area, band);
    DeleteObject(band);
    MoveToEx(dc.get(), 0, y, nullptr);
    LineTo(dc.get(), m.clientWidth, y);
}

void showInputPanelButton(HWND window, DWORD state) {
    if (kBindsShell && g_api.SHFullScreen) g_api.SHFullScreen(window, state);
}

}  // namespace

void buildSettingsScreen(HWND window) {
    g_config.s_nScreen = kScreenSettings;
    const ScreenMetrics& m = g_config.s_metrics;
    {
        ScreenDC dc(window);
        clearClient(dc.get(), m);
    }
    createLabels(window, m);
    destroyControl(window, kSettingsReportLabel);
    if (!GetDlgItem(window, kSettingsLanguageList)) createControls(window, m);
    createReportLabel(window, m);
    showInputPanelButton(window, SHFS_SHOWSIPBUTTON);
    drawInputPanelBand(window, m);
    ValidateRect(window, nullptr);
}

void applySettingsScreen(HWND window) {
    g_config.s_bAutoUpdate = IsDlgButtonChecked(window, kSettingsAutoUpdate) == BST_CHECKED ? 1 : 0;
    g_config.s_bStorageCard = IsDlgButtonChecked(window, kSettingsStorageCard) == BST_CHECKED ? 1 : 0;
    LRESULT row = SendDlgItemMessageW(window, kSettingsReportLevel, CB_GETCURSEL, 0, 0);
    g_config.s_nReportLevel = (row >= 0 && row < 3) ? kReportLevels[row] : static_cast<uint32_t>(row);
    for (int id : {kSettingsLanguageLabel, kSettingsLanguageList, kSettingsUpdate, kSettingsDone, kSettingsStorageCard,
                   kSettingsReportLabel, kSettingsAutoUpdate, kSettingsReportLevel}) {
        destroyControl(window, id);
    }
    showInputPanelButton(window, SHFS_HIDESIPBUTTON);
    if (HWND sip = FindWindowW(L"MS_SIPBUTTON", nullptr)) {
        ShowWindow(sip, SW_HIDE);
        UpdateWindow(sip);
    }
    ValidateRect(window, nullptr);
}

void relabelSettingsScreen(HWND window, bool selectionChanged) {
    const ScreenMetrics& m = g_config.s_metrics;
    HWND combo = GetDlgItem(window, kSettingsReportLevel);
    LRESULT row = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    fillReportLevels(combo);
    SendMessageW(combo, CB_SETCURSEL, row, 0);
    for (int id : {kSettingsReportLabel, kSettingsLanguageLabel, kSettingsDone, kSettingsStorageCard,
                   kSettingsAutoUpdate, kSettingsUpdate}) {
        SetDlgItemTextW(window, id, lang.GetString(id));
    }
    {
        ScreenDC dc(window);
        HGDIOBJ brush = SelectObject(dc.get(), GetStockObject(WHITE_BRUSH));
        HGDIOBJ pen = SelectObject(dc.get(), GetStockObject(WHITE_PEN));
        Rectangle(dc.get(), m.leftMargin, m.lineHeight, m.clientWidth + 1, 2 * m.lineHeight);
        SelectObject(dc.get(), pen);
        SelectObject(dc.get(), brush);
        drawText(dc.get(), m.leftMargin, m.lineHeight, lang.GetString(kSettingsLanguageLabel), kTextBlack);
    }
    if (selectionChanged) ValidateRect(window, nullptr);
}
