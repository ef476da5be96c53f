#pragma once
// Finding another running program by its executable name, through the
// platform's tool-help library (loaded for each search).
#include <windows.h>

// A process whose executable file name equals `exeName` (ignoring case) and
// that is not the caller, opened with PROCESS_TERMINATE; nullptr when none.
HANDLE findProcess(const wchar_t* exeName);

// True when findProcess finds one (its handle is closed at once).
bool isProcessRunning(const wchar_t* exeName);

// Provided by each program: shows a message of the process search (a
// missing library or entry). zerbin shows it in its error box, owned by the
// main window; zbMonitor in a box with no owner.
void showProcessSearchMessage(const wchar_t* text);
