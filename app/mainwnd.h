#pragma once
// The main window: its class, its creation, and the window procedure that
// routes the platform's messages and carries out every command.
#include <windows.h>

extern const wchar_t kMainWindowClass[];
extern const wchar_t kMainWindowTitle[];

bool registerMainWindowClass(HINSTANCE instance);

// Creates the main window, computes the screens' layout for it, shows it and
// paints the main screen. False when the window cannot be created.
bool createMainWindow(HINSTANCE instance, int showCommand);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
