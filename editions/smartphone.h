#pragma once
// The Smartphone edition's user interface: a menu bar with two soft keys in
// place of push buttons, fonts of its own, its own layouts of the screens, an
// infected-files screen between the scan and the report, spinners on the
// settings screen, and the Up and Down keys moving the focus there. The
// shared main window hands its messages here first.
#include <windows.h>

#include <cstdint>

#include "engine/scan.h"  // WM_SHOW_INFECTED and the one-line list the scan fills

namespace smartphone {

// The menu-bar template among the program's resources.
constexpr UINT kMenuBarTemplate = 40007;

// Controls of the Smartphone's own.
constexpr int kInfectedList = kInfectedLinesId;
constexpr int kLanguageArrows = 10003;
constexpr int kReportLevelArrows = 10007;

// Soft keys. Both return 1, or 0 when the window has no menu bar.
int setSoftKeyText(int command, uint32_t textId);
int setSoftKeyState(int command, int disable);

// End of the main window's creation: the menu bar (before the screen's
// layout is measured, since the bar takes the bottom of the screen) ...
void createMenuBar(HWND window, HINSTANCE instance);
// ... and, once the window exists, the fonts, whose 10-point font gives the
// screens their line height.
void createFonts(HWND window);
void destroyFonts();

enum class Font { normal10, bold10, bold8, light8 };
HFONT font(Font which);

// The screens.
void buildMainScreen(HWND window);
void buildScanScreen(HWND window);
void tearDownScanScreen(HWND window);
void buildInfectedScreen(HWND window);
void deleteInfectedFile(HWND window);
void skipInfectedFiles(HWND window);
void buildReportScreen(HWND window);
void tearDownReportScreen(HWND window);
void buildSettingsScreen(HWND window);
void relabelSettingsScreen(HWND window);
void applySettingsScreen(HWND window);

// The main window's messages: true when the message is handled here, with
// its result in `result`. A command may come back translated in `wParam`
// for the shared handling.
bool windowMessage(HWND window, UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result);

// The message loop's look at a message before it is dispatched: true when it
// is a focus key of the settings screen, which is then used up here.
bool focusKey(const MSG& msg);

}  // namespace smartphone
