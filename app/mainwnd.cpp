#include "app/mainwnd.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "base/binding.h"
#include "base/edition.h"
#include "editions/smartphone.h"
#include "engine/fileio.h"
#include "engine/scan.h"
#include "engine/scanner.h"
#include "engine/vps.h"
#include "settings/autostart.h"
#include "settings/settings_store.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/item_path.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/lang_text.h"
#include "shell/msgbox.h"
#include "shell/screens.h"
#include "shell/update_command.h"

const wchar_t kMainWindowClass[] = L"zerbin4windowClass";
const wchar_t kMainWindowTitle[] = L"zerbin! antivirus";

namespace {

SHACTIVATEINFO g_activation;
HBRUSH g_staticBrush = nullptr;  // background of the scan screen's texts, one for the window's life
bool g_destroying = false;
HINSTANCE g_instance = nullptr;

// How long closing the program waits for a scan to leave the file it is in.
constexpr DWORD kScanStopTimeoutMs = 10000;

bool scanRunning() { return g_config.s_hScanThread.load() != nullptr; }

// ---- commands ----

void onCloseRequest(HWND window) {
    if (g_config.s_nScreen == kScreenScan && scanRunning() && !g_config.s_bPauseScan.load()) {
        g_config.s_bPauseScan = 1;
        if (AskUser(8504, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            g_config.s_bPauseScan = 0;
            return;
        }
    }
    SendMessageW(window, WM_CLOSE, 0, 0);
}

void onScan(HWND window) {
    tearDownMainScreen(window);
    buildScanScreen(window);
}

void onSettings(HWND window) {
    tearDownMainScreen(window);
    buildSettingsScreen(window);
}

void onReport(HWND window) {
    tearDownMainScreen(window);
    buildReportScreen(window);
}

void onDelete(HWND window) {
    int index = -1;
    std::wstring path = focusedItemPath(window, &index);
    if (index < 0) return;
    Status status = fileDelete(path.c_str(), 1);
    if (status != kStatusOk) {
        // The file is still there: it stays in the list, and the user is told.
        ShowErrorBox(lang.GetString(8216), status);
        return;
    }
    HWND list = GetDlgItem(window, kScanList);
    SendMessageW(list, LVM_DELETEITEM, WPARAM(index), 0);
    UpdateWindow(list);
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0) SendMessageW(window, WM_SCAN_DONE, 0, 0);
}

void onCancelOrDone(HWND window) {
    if (scanRunning()) {
        g_config.s_bPauseScan = 1;
        if (AskUser(8504, MB_YESNO | MB_ICONQUESTION) == IDYES) g_config.s_bStopScan = 1;
        g_config.s_bPauseScan = 0;
        return;
    }
    if (g_config.s_report.s_nInfectedOpen.load() != 0 && AskUser(8505, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    SendMessageW(window, WM_SCAN_DONE, 0, 0);
}

void onBack(HWND window) {
    tearDownReportScreen(window);
    buildMainScreen(window);
}

void onLanguage(HWND window, WORD notification) {
    LRESULT row = SendDlgItemMessageW(window, kSettingsLanguageList, LB_GETCURSEL, 0, 0);
    if (row < 0 || size_t(row) >= kLanguageCount) return;
    lang.Init(kLanguageTable[row].primaryId);
    relabelSettingsScreen(window, notification == LBN_SELCHANGE);
}

void onUpdate(HWND) { runUpdateCommand(); }

// Exit of the Handheld PC's button column: the main screen goes first, then the
// window closes as by its close box.
void onExit(HWND window) {
    tearDownMainScreen(window);
    SendMessageW(window, WM_CLOSE, 0, 0);
}

void onSettingsDone(HWND window) {
    applySettingsScreen(window);
    regSave(g_config);
    regLoad(g_config);
    monitorAutostart(g_config.s_bAutoUpdate != 0);
    buildMainScreen(window);
}

struct CommandRoute {
    int id;
    void (*handler)(HWND);
};

constexpr CommandRoute kCommands[] = {
    {IDOK, onCloseRequest},     {kMainScan, onScan},       {kMainSettings, onSettings},
    {kMainReport, onReport},    {kScanDelete, onDelete},   {kScanCancel, onCancelOrDone},
    {kReportBack, onBack},      {kSettingsUpdate, onUpdate}, {kSettingsDone, onSettingsDone},
};

// ---- messages ----

LRESULT onCreate(HWND window, WPARAM, LPARAM) {
    if (!kBindsShell) return 0;
    g_activation = SHACTIVATEINFO{};
    g_activation.cbSize = sizeof g_activation;
    if (g_api.SHDoneButton) g_api.SHDoneButton(window, SHDB_HIDE);
    return 0;
}

LRESULT onActivate(HWND window, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!kBindsShell) {
        result = DefWindowProcW(window, WM_ACTIVATE, wParam, lParam);
    } else {
        if (g_api.SHHandleWMActivate) g_api.SHHandleWMActivate(window, wParam, lParam, &g_activation, 0);
        if (g_api.SHFullScreen) g_api.SHFullScreen(window, SHFS_HIDESIPBUTTON);
    }
    if constexpr (!kHasSoftKeys) keyboardActivation(window, wParam);
    return result;
}

LRESULT onPaint(HWND window, WPARAM wParam, LPARAM lParam) {
    DefWindowProcW(window, WM_PAINT, wParam, lParam);
    // Nothing to build before the window is complete and laid out.
    if (window != g_config.s_hMainWnd || !g_config.s_metrics.valid) return 0;
    switch (g_config.s_nScreen) {
        case kScreenMain: buildMainScreen(window); break;
        case kScreenScan: buildScanScreen(window); break;
        case kScreenSettings: buildSettingsScreen(window); break;
        case kScreenReport: buildReportScreen(window); break;
        default: break;
    }
    if constexpr (!kHasSoftKeys) {
        if (g_config.s_nScreen == kScreenScan) paintListFocus(window);
    }
    return 0;
}

LRESULT onSettingChange(HWND, WPARAM, LPARAM) { return 0; }

LRESULT onCtlColorStatic(HWND window, WPARAM wParam, LPARAM lParam) {
    int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (id != kScanCurrentFile && id != kScanScanned && id != kScanInfected) {
        return DefWindowProcW(window, WM_CTLCOLORSTATIC, wParam, lParam);
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, kValueBlue);
    SetBkColor(dc, kBackgroundWhite);
    if (!g_staticBrush) g_staticBrush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(g_staticBrush);
}

LRESULT onNotify(HWND window, WPARAM, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->idFrom != kScanList) return 0;
    if (header->code == static_cast<UINT>(NM_CLICK)) chooseInfectedItem(window);
    if constexpr (!kHasSoftKeys) {
        if (header->code == static_cast<UINT>(NM_SETFOCUS) || header->code == static_cast<UINT>(NM_KILLFOCUS)) {
            listFocusChanged(window, header->code == static_cast<UINT>(NM_SETFOCUS));
        }
    }
    return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    int id = LOWORD(wParam);
    if (id == kSettingsLanguageList) {
        onLanguage(window, HIWORD(wParam));
        return 0;
    }
    if (kHasButtonColumn && id == kMainExit) {
        onExit(window);
        return 0;
    }
    for (const CommandRoute& route : kCommands) {
        if (route.id == id) {
            route.handler(window);
            return 0;
        }
    }
    DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    return 0;
}

LRESULT onScanDone(HWND window, WPARAM, LPARAM) {
    if (g_destroying) return 0;
    tearDownScanScreen(window);
    buildReportScreen(window);
    return 0;
}

// The scan ended with its list of infected files on screen: the user goes on
// from the list.
LRESULT onScanFinished(HWND window, WPARAM, LPARAM) {
    if (g_config.s_nScreen == kScreenScan) focusControl(window, kScanList);
    return 0;
}

LRESULT onShowSettings(HWND window, WPARAM, LPARAM) {
    tearDownMainScreen(window);
    buildSettingsScreen(window);
    return 0;
}

LRESULT onDestroy(HWND, WPARAM, LPARAM) {
    g_destroying = true;
    // The database must outlive every file the scan thread is in: stop the
    // walk (also when a question left it paused) and let the thread finish.
    if (scanRunning()) {
        g_config.s_bStopScan = 1;
        g_config.s_bPauseScan = 0;
        waitForScanThread(kScanStopTimeoutMs);
    }
    if (!scanRunning()) vpsFree();
    if (g_staticBrush) {
        DeleteObject(g_staticBrush);
        g_staticBrush = nullptr;
    }
    PostQuitMessage(0);
    return 0;
}

struct MessageRoute {
    UINT message;
    LRESULT (*handler)(HWND, WPARAM, LPARAM);
};

constexpr MessageRoute kMessages[] = {
    {WM_CREATE, onCreate},
    {WM_ACTIVATE, onActivate},
    {WM_PAINT, onPaint},
    {WM_SETTINGCHANGE, onSettingChange},
    {WM_CTLCOLORSTATIC, onCtlColorStatic},
    {WM_NOTIFY, onNotify},
    {WM_COMMAND, onCommand},
    {WM_SCAN_DONE, onScanDone},
    {WM_SCAN_FINISHED, onScanFinished},
    {WM_SHOW_SETTINGS, onShowSettings},
    {WM_DESTROY, onDestroy},
};

}  // namespace

HINSTANCE programInstance() { return g_instance; }

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if constexpr (kHasSoftKeys) {
        LRESULT result = 0;
        if (smartphone::windowMessage(window, message, wParam, lParam, result)) return result;
    }
    for (const MessageRoute& route : kMessages) {
        if (route.message == message) return route.handler(window, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerMainWindowClass(HINSTANCE instance) {
    g_instance = instance;
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(108));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassW(&wc) != 0;
}

bool createMainWindow(HINSTANCE instance, int showCommand) {
    g_instance = instance;
    // A handheld's windows always clip their children and siblings; a
    // desktop's only when asked, or every clearing of a screen would paint
    // over its controls.
    HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                  CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    g_config.s_hMainWnd = window;
    if constexpr (kHasSoftKeys) smartphone::createMenuBar(window, instance);
    RECT client{};
    if (GetClientRect(window, &client)) {
        ScreenDC dc(window);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc.get(), &tm);
        g_config.s_metrics = computeScreenMetrics(client.right - client.left, client.bottom - client.top,
                                                  tm.tmAveCharWidth, tm.tmHeight, tm.tmExternalLeading,
                                                  GetSystemMetrics(SM_CXBORDER),
                                                  kEdition == Edition::HandheldPC ? 14 : 18);
    }
    if constexpr (kHasSoftKeys) smartphone::createFonts(window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if constexpr (kHasSoftKeys) {
        smartphone::buildMainScreen(window);
    } else {
        buildMainScreen(window);
    }
    return true;
}
