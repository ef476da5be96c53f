// Settings screen: language, storage card, automatic update, report level,
// and the Update and Done buttons.
#include <cwchar>
#include <string>

#include "base/binding.h"
#include "base/edition.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/handheld_layout.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/lang_text.h"
#include "shell/screens.h"

namespace {

// Rows of the report-level list and the level each stores.
constexpr uint32_t kReportLevels[3] = {1, 2, 6};

int reportLevelRow(uint32_t level) { return level == 1 ? 0 : level == 2 ? 1 : 2; }

// The report-level control: a drop-down list, or on the landscape screens a
// list box beside the language list, whose rows are padded like the
// languages' so that a selected row is marked across the whole list.
struct LevelControl {
    const wchar_t* className;
    DWORD style;
    UINT deleteRow, addRow, getSelection, setSelection;
    size_t padding;  // blanks after each row's text
};
constexpr LevelControl kLevelControl =
    kHasLandscapeScreens
        ? LevelControl{L"LISTBOX",
                       WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT,
                       LB_DELETESTRING, LB_ADDSTRING, LB_GETCURSEL, LB_SETCURSEL, 69}
        : LevelControl{L"COMBOBOX", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                       CB_DELETESTRING, CB_ADDSTRING, CB_GETCURSEL, CB_SETCURSEL, 0};
static_assert(LB_ERR == CB_ERR);

void fillReportLevels(HWND levels) {
    // Row 0 goes until the control has none left to delete.
    while (SendMessageW(levels, kLevelControl.deleteRow, 0, 0) != LB_ERR) {
    }
    for (uint32_t id : {8405u, 8406u, 8407u}) {
        std::wstring row = std::wstring(lang.GetString(id)) + std::wstring(kLevelControl.padding, L' ');
        SendMessageW(levels, kLevelControl.addRow, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
}

// The places that differ on the landscape screens.
ControlPlace languageLabelPlace(const ScreenMetrics& m) {
    return kHasLandscapeScreens ? layout::handheld::settingsLanguageLabel(m) : layout::settingsLanguageLabel(m);
}
ControlPlace languageListPlace(const ScreenMetrics& m) {
    return kHasLandscapeScreens ? layout::handheld::settingsLanguageList(m) : layout::settingsLanguageList(m);
}
ControlPlace reportLabelPlace(const ScreenMetrics& m) {
    return kHasLandscapeScreens ? layout::handheld::settingsReportLabel(m) : layout::settingsReportLabel(m);
}
ControlPlace reportLevelPlace(const ScreenMetrics& m) {
    return kHasLandscapeScreens ? layout::handheld::settingsReportLevel(m) : layout::settingsReportLevel(m);
}

// The captions of the current language whose room the layout decides, in the
// controls' font.
captions::SettingsCaptions currentCaptions(HWND window) {
    ScreenDC dc(window);
    return {textWidth(dc.get(), lang.GetString(kSettingsUpdate)),
            measureCaption(dc.get(), lang.GetString(kSettingsStorageCard)), digitWidth(dc.get())};
}
captions::CheckBoxRoom storageCardRoom(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    return kHasLandscapeScreens ? layout::handheld::settingsStorageCard(m, c) : layout::settingsStorageCard(m, c);
}
ControlPlace autoUpdatePlace(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    return kHasLandscapeScreens ? layout::handheld::settingsAutoUpdate(m) : layout::settingsAutoUpdate(m, c);
}

// After a change of language: the room of the new captions.
void placeCaptionedControls(HWND window, const ScreenMetrics& m) {
    const captions::SettingsCaptions c = currentCaptions(window);
    const captions::CheckBoxRoom card = storageCardRoom(m, c);
    placeControl(window, kSettingsUpdate, layout::settingsUpdate(m, c));
    setCheckBoxLines(window, kSettingsStorageCard, card.lines);
    placeControl(window, kSettingsStorageCard, card.place);
    placeControl(window, kSettingsAutoUpdate, autoUpdatePlace(m, c));
}

void createLabels(HWND window, const ScreenMetrics& m) {
    destroyControl(window, kSettingsLanguageLabel);
    createControl(window, L"STATIC", lang.GetString(kSettingsLanguageLabel), WS_CHILD | WS_VISIBLE,
                  languageLabelPlace(m), kSettingsLanguageLabel);
}

void createReportLabel(HWND window, const ScreenMetrics& m) {
    createControl(window, L"STATIC", lang.GetString(kSettingsReportLabel), WS_CHILD | WS_VISIBLE,
                  reportLabelPlace(m), kSettingsReportLabel);
}

void createControls(HWND window, const ScreenMetrics& m) {
    HWND list = createControl(window, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS |
                                  LBS_NOINTEGRALHEIGHT,
                              languageListPlace(m), kSettingsLanguageList);
    int selected = 0;
    // The rows follow the language table: Czech, English, French, Portuguese, Slovak.
    for (size_t row = 0; row < kLanguageCount; ++row) {
        std::wstring text = std::wstring(lang.GetString(8470 + uint32_t(row))) + std::wstring(70, L' ');
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (kLanguageTable[row].primaryId == (lang.LanguageId() & 0x3FFu)) selected = int(row);
    }
    SendMessageW(list, LB_SETCURSEL, selected, 0);

    const DWORD button = WS_CHILD | WS_VISIBLE;
    const captions::SettingsCaptions c = currentCaptions(window);
    const captions::CheckBoxRoom cardRoom = storageCardRoom(m, c);
    createControl(window, L"BUTTON", lang.GetString(kSettingsUpdate), button, layout::settingsUpdate(m, c),
                  kSettingsUpdate);
    createControl(window, L"BUTTON", lang.GetString(kSettingsDone), button, layout::settingsDone(m), kSettingsDone);
    HWND card = createControl(window, L"BUTTON", lang.GetString(kSettingsStorageCard),
                              button | BS_AUTOCHECKBOX | multiLineStyle(cardRoom.lines), cardRoom.place,
                              kSettingsStorageCard);
    SendMessageW(card, BM_SETCHECK, g_config.s_bStorageCard ? BST_CHECKED : BST_UNCHECKED, 0);
    HWND autoUpdate = createControl(window, L"BUTTON", lang.GetString(kSettingsAutoUpdate), button | BS_AUTOCHECKBOX,
                                    autoUpdatePlace(m, c), kSettingsAutoUpdate);
    SendMessageW(autoUpdate, BM_SETCHECK, g_config.s_bAutoUpdate ? BST_CHECKED : BST_UNCHECKED, 0);

    HWND levels = createControl(window, kLevelControl.className, lang.GetString(kSettingsReportLevel),
                                kLevelControl.style, reportLevelPlace(m), kSettingsReportLevel);
    fillReportLevels(levels);
    SendMessageW(levels, kLevelControl.setSelection, reportLevelRow(g_config.s_nReportLevel), 0);
    focusControl(window, kSettingsLanguageList);
}

// The band under the input panel's button, where a handheld's menu bar would be.
void drawInputPanelBand(HWND window, const ScreenMetrics& m) {
    if (!kHasInputPanel) return;
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
    if (kHasInputPanel && kBindsShell && g_api.SHFullScreen) g_api.SHFullScreen(window, state);
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
    LRESULT row = SendDlgItemMessageW(window, kSettingsReportLevel, kLevelControl.getSelection, 0, 0);
    g_config.s_nReportLevel = (row >= 0 && row < 3) ? kReportLevels[row] : static_cast<uint32_t>(row);
    for (int id : {kSettingsLanguageLabel, kSettingsLanguageList, kSettingsUpdate, kSettingsDone, kSettingsStorageCard,
                   kSettingsReportLabel, kSettingsAutoUpdate, kSettingsReportLevel}) {
        destroyControl(window, id);
    }
    showInputPanelButton(window, SHFS_HIDESIPBUTTON);
    if (HWND sip = kHasInputPanel ? FindWindowW(L"MS_SIPBUTTON", nullptr) : nullptr) {
        ShowWindow(sip, SW_HIDE);
        UpdateWindow(sip);
    }
    ValidateRect(window, nullptr);
}

void relabelSettingsScreen(HWND window, bool selectionChanged) {
    const ScreenMetrics& m = g_config.s_metrics;
    HWND levels = GetDlgItem(window, kSettingsReportLevel);
    LRESULT row = SendMessageW(levels, kLevelControl.getSelection, 0, 0);
    fillReportLevels(levels);
    SendMessageW(levels, kLevelControl.setSelection, row, 0);
    for (int id : {kSettingsReportLabel, kSettingsLanguageLabel, kSettingsDone, kSettingsStorageCard,
                   kSettingsAutoUpdate, kSettingsUpdate}) {
        SetDlgItemTextW(window, id, lang.GetString(id));
    }
    placeCaptionedControls(window, m);
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
