#pragma once
// The four screens: sets of child controls and painted text built on the main
// window when a screen is entered and torn down when it is left.
#include <windows.h>

#include <string>

void buildMainScreen(HWND window);
void tearDownMainScreen(HWND window);

void buildScanScreen(HWND window);
void tearDownScanScreen(HWND window);
// Waits (at most `timeoutMs`, serving messages sent to this thread meanwhile)
// for a running scan thread to end; true when no scan thread runs any more.
bool waitForScanThread(DWORD timeoutMs);
// Starts the scan thread; shows the error box when it cannot be created.
void startScanThread();
// The full path of the item of the list of infected files that has the
// focus, or an empty text; `index` gets the item's number, or -1.
std::wstring focusedItemPath(HWND window, int* index);
// The check that a tap on the list of infected files makes: the focused
// item's file is scanned again, and Delete is enabled when it is still there.
void chooseInfectedItem(HWND window);

void buildReportScreen(HWND window);
void tearDownReportScreen(HWND window);
// Reads "report.txt" into the text box; a missing or unreadable report leaves it empty.
void loadReportText(HWND box);

void buildSettingsScreen(HWND window);
void applySettingsScreen(HWND window);
void relabelSettingsScreen(HWND window, bool selectionChanged);

// The screen's own instance handle for resources and controls.
HINSTANCE programInstance();
