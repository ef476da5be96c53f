// The Smartphone's side of the main window: the soft keys and the Back key
// become the commands of the current screen, the screens are the
// Smartphone's own, the infected files get a screen of their own, the
// spinners relabel the settings screen at once, and the Up and Down keys
// move the focus on the settings screen.
#include <windows.h>

#include "editions/smartphone.h"
#include "editions/smartphone_keys.h"
#include "engine/scan.h"
#include "settings/autostart.h"
#include "settings/settings_store.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/lang.h"
#include "shell/lang_text.h"

namespace smartphone {
namespace {

bool g_destroying = false;

// Leaving the main screen: it has no controls of its own, only its drawing.
void clearMainScreen(HWND window) {
    ScreenDC dc(window);
    clearClient(dc.get(), g_config.s_metrics);
}

void onScan(HWND window) {
    clearMainScreen(window);
    smartphone::buildScanScreen(window);
}

void onSettings(HWND window) { smartphone::buildSettingsScreen(window); }

void onBack(HWND window) {
    smartphone::tearDownReportScreen(window);
    smartphone::buildMainScreen(window);
}

// The language of the language spinner's row, applied at once.
void onLanguageChange(HWND window) {
    if (g_config.s_nScreen != kScreenSettings) return;
    LRESULT row = SendDlgItemMessageW(window, kLanguageSpinner, LB_GETCURSEL, 0, 0);
    if (row < 0 || size_t(row) >= kLanguageCount) return;
    lang.Init(kLanguageTable[row].primaryId);
    smartphone::relabelSettingsScreen(window);
}

void onDone(HWND window) {
    smartphone::applySettingsScreen(window);
    regSave(g_config);
    regLoad(g_config);
    // The monitor's start at boot (the Startup shortcut) follows the setting.
    monitorAutostart(g_config.s_bAutoUpdate != 0);
    smartphone::buildMainScreen(window);
}

struct CommandRoute {
    int id;
    int screen;  // the screen the command belongs to: elsewhere it does nothing
    void (*handler)(HWND);
};

constexpr CommandRoute kCommands[] = {
    {8102, kScreenMain, onScan},
    {8103, kScreenMain, onSettings},
    {8206, kScreenInfected, deleteInfectedFile},
    {kSkip, kScreenInfected, skipInfectedFiles},
    {8318, kScreenReport, onBack},
    {8403, kScreenSettings, onDone},
    {kLanguageSpinner, kScreenSettings, onLanguageChange},
};

bool onCommand(HWND window, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    TranslatedCommand translated = translateCommand(g_config.s_nScreen, LOWORD(wParam));
    result = 0;
    if (translated.route == smartphone::CommandRoute::ignore) return true;
    if (translated.route == smartphone::CommandRoute::defaultHandling) {
        result = DefWindowProcW(window, WM_COMMAND, wParam, lParam);
        return true;
    }
    for (const CommandRoute& route : kCommands) {
        if (route.id == translated.command) {
            if (route.screen == g_config.s_nScreen) route.handler(window);
            return true;
        }
    }
    // Cancel, Update and closing are the same in every edition.
    wParam = MAKEWPARAM(translated.command, HIWORD(wParam));
    return false;
}

void onPaint(HWND window) {
    switch (g_config.s_nScreen) {
        case kScreenMain: smartphone::buildMainScreen(window); break;
        case kScreenScan: smartphone::buildScanScreen(window); break;
        case kScreenSettings: smartphone::buildSettingsScreen(window); break;
        case kScreenReport: smartphone::buildReportScreen(window); break;
        case kScreenInfected: smartphone::buildInfectedScreen(window); break;
        default: break;
    }
}

}  // namespace

bool windowMessage(HWND window, UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_PAINT:
            DefWindowProcW(window, message, wParam, lParam);
            if (window == g_config.s_hMainWnd && g_config.s_metrics.valid) onPaint(window);
            return true;
        case WM_COMMAND:
            return onCommand(window, wParam, lParam, result);
        case WM_HSCROLL:
        case WM_VSCROLL:
            onLanguageChange(window);
            return true;
        case WM_SCAN_DONE:
            // A scan ending while the window closes builds no more screens.
            if (g_destroying) return true;
            smartphone::tearDownScanScreen(window);
            smartphone::buildReportScreen(window);
            return true;
        case WM_SHOW_INFECTED:
            if (g_destroying) return true;
            smartphone::tearDownScanScreen(window);
            smartphone::buildInfectedScreen(window);
            return true;
        case WM_SHOW_SETTINGS:
            smartphone::buildSettingsScreen(window);
            return true;
        case WM_DESTROY:
            // The shared ending follows: it waits for a running scan, whose
            // last messages then find the window closing.
            g_destroying = true;
            destroyFonts();
            return false;
        default:
            return false;
    }
}

bool focusKey(const MSG& msg) {
    if (g_config.s_nScreen != kScreenSettings) return false;
    if (msg.wParam != VK_UP && msg.wParam != VK_DOWN) return false;
    const bool down = msg.message == WM_KEYDOWN, up = msg.message == WM_KEYUP;
    if (!down && !up) return false;
    // Up moves on its key-up alone, Down on its key-down alone: one press
    // moves the focus once.
    if (down && msg.wParam == VK_UP) return true;
    if (up && msg.wParam == VK_DOWN) return false;
    HWND window = g_config.s_hMainWnd;
    HWND focused = GetFocus();
    int current = focused && GetParent(focused) == window ? GetDlgCtrlID(focused) : 0;
    if (HWND next = GetDlgItem(window, nextFocus(current, msg.wParam == VK_DOWN))) SetFocus(next);
    return true;
}

}  // namespace smartphone
