// The Smartphone's screens: no push buttons (the soft keys stand for them),
// centred lines on the main screen, the infected files on a screen of their
// own, a read-only report, and spinners on the settings screen. Each build
// sets both soft keys; each teardown enables again what its screen disabled.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cwchar>
#include <string>

#include "editions/smartphone.h"
#include "editions/smartphone_keys.h"
#include "engine/fileio.h"
#include "engine/report.h"
#include "engine/scan.h"
#include "engine/vps.h"
#include "settings/settings_store.h"
#include "shell/age_text.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/lang.h"
#include "shell/lang_text.h"
#include "shell/msgbox.h"
#include "shell/screens.h"
#include "shell/smartphone_layout.h"

namespace smartphone {
namespace {

namespace places = layout::smartphone;
using places::kHalfMargin;
constexpr uint32_t kReportLevels[3] = {1, 2, 6};

std::wstring text(uint32_t id) { return lang.GetString(id); }

// The screen, not the client area: below a caption and above the menu bar a
// portrait screen's client area can be wider than it is tall.
bool landscape(const ScreenMetrics&) { return GetSystemMetrics(SM_CXSCREEN) > GetSystemMetrics(SM_CYSCREEN); }

// A device context of the main window with one of the Smartphone fonts.
class FontDC {
public:
    FontDC(HWND window, Font which) : dc_(window) { previous_ = SelectObject(dc_.get(), font(which)); }
    ~FontDC() { SelectObject(dc_.get(), previous_); }
    HDC get() const { return dc_.get(); }

private:
    ScreenDC dc_;
    HGDIOBJ previous_;
};

void setFont(HWND control, Font which) {
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font(which)), FALSE);
}

HWND createWithFont(HWND window, const wchar_t* className, const wchar_t* caption, DWORD style,
                    const ControlPlace& place, int id, Font which) {
    HWND control = createControl(window, className, caption, style, place, id);
    setFont(control, which);
    return control;
}

void clearWhite(HWND window) {
    ScreenDC dc(window);
    clearClient(dc.get(), g_config.s_metrics);
}

// ---- main screen ----

// One of the main screen's lines: a black label and a coloured value.
struct MainText {
    std::wstring label, value;
    COLORREF valueColor;
};

void drawCentred(HDC dc, const ScreenMetrics& m, int y, const std::wstring& label, const std::wstring& value,
                 COLORREF valueColor) {
    int labelWidth = textWidth(dc, label.c_str());
    int x = (m.clientWidth - textWidth(dc, (label + value).c_str())) / 2;
    drawText(dc, x, y, label.c_str(), kTextBlack);
    drawText(dc, x + labelWidth, y, value.c_str(), valueColor);
}

int widthIn(HDC dc, Font which, const std::wstring& text) {
    HGDIOBJ previous = SelectObject(dc, font(which));
    int width = textWidth(dc, text.c_str());
    SelectObject(dc, previous);
    return width;
}

// Draws the line as the layout says: whole, whole in the 8-point font, or its
// label above its value. `dc` holds the 10-point font.
void drawMainLine(HDC dc, const ScreenMetrics& m, const places::MainLine& line, const MainText& text) {
    switch (line.form) {
        case places::LineForm::oneLine:
            drawCentred(dc, m, line.top, text.label, text.value, text.valueColor);
            break;
        case places::LineForm::smallFont: {
            HGDIOBJ previous = SelectObject(dc, font(Font::light8));
            drawCentred(dc, m, line.top, text.label, text.value, text.valueColor);
            SelectObject(dc, previous);
            break;
        }
        case places::LineForm::twoLines:
            drawCentred(dc, m, line.top, text.label, L"", kTextBlack);
            drawCentred(dc, m, line.top + m.lineHeight, L"", text.value, text.valueColor);
            break;
    }
}

void drawProduct(HDC dc, const ScreenMetrics& m) {
    HBITMAP bitmap = LoadBitmapW(programInstance(), MAKEINTRESOURCEW(111));
    BITMAP info{};
    if (bitmap) GetObjectW(bitmap, sizeof info, &info);
    const int w = info.bmWidth, h = info.bmHeight;
    const int x = (m.clientWidth - w) / 2;
    const int y = static_cast<int>(((m.clientHeight - h) / 2) * 0.1);
    if (bitmap) {
        drawBitmap(dc, bitmap, x, y, w, h);
        DeleteObject(bitmap);
    }
    POINT rule[6] = {{x - 28, y + 35}, {x + w + 28, y + 35}, {x + w + 28, y + 36},
                     {x - 28, y + 36}, {x - 28, y + 37},     {x + w + 29, y + 37}};
    Polyline(dc, rule, 6);
}

std::wstring ageValue(const CheckAgeText& age) {
    if (!age.hasCount) return L" " + text(age.textId);
    wchar_t buffer[kLanguageTextCapacity + 32];
    std::wstring unit = text(age.textId);
    wsprintfW(buffer, L" %d %s", static_cast<int>(age.count), unit.c_str());
    return buffer;
}

// ---- settings screen ----

void fillReportLevels(HWND list) {
    while (SendMessageW(list, LB_DELETESTRING, 0, 0) != LB_ERR) {
    }
    for (uint32_t id : {8405u, 8406u, 8407u}) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lang.GetString(id)));
}

int reportLevelRow(uint32_t level) { return level == 1 ? 0 : level == 2 ? 1 : 2; }

// A spinner: a one-row list with its arrows beside it. The arrows take the
// list created just before them as their buddy.
HWND createSpinner(HWND window, int listId, int arrowsId, const ControlPlace& place) {
    // The window style is given with WS_CHILD: the list and its arrows are
    // children of the main window, found by their identifiers.
    HWND list = createWithFont(window, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, place,
                               listId, Font::light8);
    // One row fills the list, as a spinner shows only its current row.
    if (list) SendMessageW(list, LB_SETITEMHEIGHT, 0, place.height);
    ControlPlace arrows{place.x + place.width - place.height, place.y, place.height, place.height};
    createControl(window, UPDOWN_CLASSW, L"",
                  WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_WRAP | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY |
                      UDS_ARROWKEYS | UDS_HORZ | 0x0200 /* expandable */,
                  arrows, arrowsId);
    return list;
}

// The storage card's caption in the current language, in the check boxes' font.
captions::SettingsCaptions currentCaptions(HWND window) {
    FontDC dc(window, Font::light8);
    return {0, measureCaption(dc.get(), lang.GetString(8404)), digitWidth(dc.get())};
}

void createSettingsControls(HWND window, const ScreenMetrics& m) {
    const DWORD label = WS_CHILD | WS_VISIBLE;
    createWithFont(window, L"STATIC", lang.GetString(8400), label, places::settingsLanguageLabel(m), 8400, Font::bold8);
    createWithFont(window, L"STATIC", lang.GetString(8408), label, places::settingsReportLabel(m), 8408, Font::bold8);

    HWND languages = createSpinner(window, kLanguageSpinner, kLanguageArrows, places::settingsLanguageSpinner(m));
    int selected = 0;
    for (size_t row = 0; row < kLanguageCount; ++row) {
        std::wstring rowText = text(8470 + uint32_t(row)) + std::wstring(70, L' ');
        SendMessageW(languages, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rowText.c_str()));
        if (kLanguageTable[row].primaryId == (lang.LanguageId() & 0x3FFu)) selected = int(row);
    }
    SendMessageW(languages, LB_SETCURSEL, selected, 0);

    const DWORD box = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
    const captions::SettingsCaptions c = currentCaptions(window);
    const captions::CheckBoxRoom cardRoom = places::settingsStorageCard(m, c);
    HWND card = createWithFont(window, L"BUTTON", lang.GetString(8404), box | multiLineStyle(cardRoom.lines),
                               cardRoom.place, kStorageCardBox, Font::light8);
    SendMessageW(card, BM_SETCHECK, g_config.s_bStorageCard ? BST_CHECKED : BST_UNCHECKED, 0);
    HWND autoUpdate = createWithFont(window, L"BUTTON", lang.GetString(8409), box, places::settingsAutoUpdate(m, c),
                                     kAutoUpdateBox, Font::light8);
    SendMessageW(autoUpdate, BM_SETCHECK, g_config.s_bAutoUpdate ? BST_CHECKED : BST_UNCHECKED, 0);

    HWND levels = createSpinner(window, kReportLevelSpinner, kReportLevelArrows, places::settingsReportSpinner(m));
    fillReportLevels(levels);
    SendMessageW(levels, LB_SETCURSEL, reportLevelRow(g_config.s_nReportLevel), 0);
    SetFocus(languages);
}

}  // namespace

// ---- main screen ----

void buildMainScreen(HWND window) {
    g_config.s_nScreen = kScreenMain;
    const ScreenMetrics& m = g_config.s_metrics;
    clearWhite(window);
    setSoftKeyText(kLeftSoftKey, 10000);
    setSoftKeyText(kRightSoftKey, 10001);
    FontDC dc(window, Font::normal10);
    drawProduct(dc.get(), m);
    wchar_t version[32];
    wsprintfW(version, L"%d.%d", static_cast<int>(g_vps.versionMajor), static_cast<int>(g_vps.versionMinor));
    CheckAgeText age = describeCheckAge(lastCheckAge());
    const MainText texts[places::kMainLines] = {
        {L"", text(10002), kTextBlack},
        {L"", text(8101), kValueBlue},
        {text(8105), text(8021), kValueBlue},
        {text(8112), version, kValueBlue},
        {text(checkAgeLabelId(g_config.s_nLanguage, age)), ageValue(age), age.warning ? kWarningRed : kValueBlue}};
    std::array<places::LineWidths, places::kMainLines> widths;
    for (int i = 0; i < places::kMainLines; ++i) {
        const std::wstring whole = texts[i].label + texts[i].value;
        widths[i] = {textWidth(dc.get(), whole.c_str()), widthIn(dc.get(), Font::light8, whole)};
    }
    const auto lines = places::mainLines(m, landscape(m), widths);
    for (int i = 0; i < places::kMainLines; ++i) drawMainLine(dc.get(), m, lines[i], texts[i]);
    ValidateRect(window, nullptr);
}

// ---- scan screen ----

void buildScanScreen(HWND window) {
    g_config.s_nScreen = kScreenScan;
    const bool first = GetDlgItem(window, kScanCurrentFile) == nullptr;
    if (first) resetCounters(g_config.s_report);
    const ScreenMetrics& m = g_config.s_metrics;
    places::ScanPlaces at;
    {
        FontDC dc(window, Font::bold10);
        const std::wstring labels[2] = {text(8201), text(8202)};
        const int widths[2] = {textWidth(dc.get(), labels[0].c_str()), textWidth(dc.get(), labels[1].c_str())};
        at = places::scanPlaces(m, landscape(m), widths);
        drawText(dc.get(), kHalfMargin, at.headingTop, lang.GetString(8200), kTextBlack);
        for (int row = 0; row < 2; ++row) {
            drawText(dc.get(), kHalfMargin, at.labelTop[row], labels[row].c_str(), kTextBlack);
        }
    }
    if (first) {
        const DWORD style = WS_CHILD | WS_VISIBLE;
        createWithFont(window, L"STATIC", L"", style, at.currentFile, kScanCurrentFile, Font::normal10);
        createWithFont(window, L"STATIC", L"", style, at.count[0], kScanScanned, Font::normal10);
        createWithFont(window, L"STATIC", L"", style, at.count[1], kScanInfected, Font::normal10);

        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&classes);
        HWND list = createWithFont(window, WC_LISTVIEWW, L"",
                                   WS_CHILD | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                       LVS_NOCOLUMNHEADER,
                                   places::infectedList(m), kInfectedList,
                                   Font::normal10);
        if (list) {
            std::wstring header = text(8203);
            LVCOLUMNW column{};
            column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
            column.fmt = LVCFMT_LEFT;
            column.cx = m.clientWidth;
            column.pszText = header.data();
            if (SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)) < 0) DestroyWindow(list);
        }
        setSoftKeyText(kLeftSoftKey, 8207);
        setSoftKeyText(kRightSoftKey, 0);
        setSoftKeyState(kRightSoftKey, 1);
    }
    updateScanProgress(window);
    if (first) startScanThread();
}

void tearDownScanScreen(HWND window) {
    for (int id : {kScanCurrentFile, kScanScanned, kScanInfected}) destroyControl(window, id);
    setSoftKeyState(kLeftSoftKey, 0);
    clearWhite(window);
}

// ---- infected-files screen ----

void buildInfectedScreen(HWND window) {
    g_config.s_nScreen = kScreenInfected;
    const ScreenMetrics& m = g_config.s_metrics;
    {
        FontDC dc(window, Font::bold10);
        drawText(dc.get(), kHalfMargin, places::headingTop(m), lang.GetString(10012), kTextBlack);
    }
    HWND list = GetDlgItem(window, kInfectedList);
    if (list && !(GetWindowLongW(list, GWL_STYLE) & WS_VISIBLE)) {
        SetWindowLongW(list, GWL_STYLE, GetWindowLongW(list, GWL_STYLE) | WS_VISIBLE);
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        SetFocus(list);
        setSoftKeyText(kLeftSoftKey, 8206);
        setSoftKeyText(kRightSoftKey, kSkip);
        setSoftKeyState(kRightSoftKey, 0);
    }
    ValidateRect(window, nullptr);
    if (list) {
        ShowWindow(list, SW_SHOW);
        InvalidateRect(list, nullptr, TRUE);
        UpdateWindow(list);
    }
}

void skipInfectedFiles(HWND window) {
    destroyControl(window, kInfectedList);
    clearWhite(window);
    smartphone::buildReportScreen(window);
}

void deleteInfectedFile(HWND window) {
    HWND list = GetDlgItem(window, kInfectedList);
    if (!list) return;
    int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (index < 0) return;
    wchar_t line[513] = {};
    LVITEMW item{};
    item.pszText = line;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
    std::wstring path(pathFromInfectedLine(line));
    Status status = path.empty() ? Status(ERROR_FILE_NOT_FOUND) : fileDelete(path.c_str(), true);
    if (status != kStatusOk) {
        // The file is still there: it stays in the list, and the user is told.
        ShowErrorBox(lang.GetString(8216), status);
        SetFocus(list);
        return;
    }
    SendMessageW(list, LVM_DELETEITEM, WPARAM(index), 0);
    UpdateWindow(list);
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (count == 0) {
        skipInfectedFiles(window);
        return;
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(count - 1), reinterpret_cast<LPARAM>(&state));
}

// ---- report screen ----

void buildReportScreen(HWND window) {
    g_config.s_nScreen = kScreenReport;
    const ScreenMetrics& m = g_config.s_metrics;
    {
        FontDC dc(window, Font::bold10);
        drawText(dc.get(), kHalfMargin, places::headingTop(m), lang.GetString(8317), kTextBlack);
    }
    if (GetDlgItem(window, kReportText)) return;
    HWND box = createWithFont(window, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                  ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY,
                              places::reportText(m), kReportText, Font::normal10);
    if (box) {
        loadReportText(box);
        SetFocus(box);
    }
    setSoftKeyText(kLeftSoftKey, 8318);
    setSoftKeyText(kRightSoftKey, 0);
    setSoftKeyState(kRightSoftKey, 1);
}

void tearDownReportScreen(HWND window) {
    destroyControl(window, kReportText);
    setSoftKeyState(kRightSoftKey, 0);
    clearWhite(window);
    ValidateRect(window, nullptr);
}

// ---- settings screen ----

void buildSettingsScreen(HWND window) {
    g_config.s_nScreen = kScreenSettings;
    const ScreenMetrics& m = g_config.s_metrics;
    clearWhite(window);
    if (!GetDlgItem(window, kLanguageSpinner)) createSettingsControls(window, m);
    setSoftKeyText(kLeftSoftKey, 10013);
    setSoftKeyText(kRightSoftKey, 8403);
    ValidateRect(window, nullptr);
}

void relabelSettingsScreen(HWND window) {
    HWND levels = GetDlgItem(window, kReportLevelSpinner);
    LRESULT row = SendMessageW(levels, LB_GETCURSEL, 0, 0);
    fillReportLevels(levels);
    SendMessageW(levels, LB_SETCURSEL, row, 0);
    for (int id : {8408, 8400, kStorageCardBox, kAutoUpdateBox}) SetDlgItemTextW(window, id, lang.GetString(id));
    // The new caption's room.
    const ScreenMetrics& m = g_config.s_metrics;
    const captions::SettingsCaptions c = currentCaptions(window);
    const captions::CheckBoxRoom card = places::settingsStorageCard(m, c);
    setCheckBoxLines(window, kStorageCardBox, card.lines);
    placeControl(window, kStorageCardBox, card.place);
    placeControl(window, kAutoUpdateBox, places::settingsAutoUpdate(m, c));
    setSoftKeyText(kLeftSoftKey, 10013);
    setSoftKeyText(kRightSoftKey, 8403);
}

void applySettingsScreen(HWND window) {
    g_config.s_bAutoUpdate = IsDlgButtonChecked(window, kAutoUpdateBox) == BST_CHECKED ? 1 : 0;
    g_config.s_bStorageCard = IsDlgButtonChecked(window, kStorageCardBox) == BST_CHECKED ? 1 : 0;
    LRESULT row = SendDlgItemMessageW(window, kReportLevelSpinner, LB_GETCURSEL, 0, 0);
    // A value that is no row (no selection) is stored as read.
    g_config.s_nReportLevel = (row >= 0 && row < 3) ? kReportLevels[row] : static_cast<uint32_t>(row);
    for (int id : {8400, kLanguageSpinner, kLanguageArrows, 8408, kReportLevelSpinner, kReportLevelArrows,
                   kStorageCardBox, kAutoUpdateBox}) {
        destroyControl(window, id);
    }
    setSoftKeyState(kRightSoftKey, 0);
    ValidateRect(window, nullptr);
}

}  // namespace smartphone
