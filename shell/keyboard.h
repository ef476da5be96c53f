#pragma once
// The keyboard on the Pocket PC, WM5 and Handheld PC screens: Tab and
// Shift+Tab, Enter, Esc and the Pocket PC's navigation pad (shell/key_plan.h
// says what each key does). The Smartphone keeps its own keys.
#include <windows.h>

// The message loop's look at a message before it is dispatched: true when it
// is a key of the screens, which has then been carried out here.
bool screenKey(MSG& msg);

// Gives control `id` of the main window the keyboard focus, as a screen does
// when it is built. While another window is in front the control gets it
// when the main window becomes active again.
void focusControl(HWND window, int id);

// A list view shows the keyboard focus only on its focused item, and the list
// of infected files has none until the user chooses one: while the list has
// the focus, a dotted frame around it shows where the user is. The list's
// NM_SETFOCUS and NM_KILLFOCUS come here ...
void listFocusChanged(HWND window, bool focused);
// ... and every paint of the scan screen draws the frame again.
void paintListFocus(HWND window);

// The main window's activation (WM_ACTIVATE, after its own handling): the
// control that had the focus when the window was left gets it back.
void keyboardActivation(HWND window, WPARAM wParam);
