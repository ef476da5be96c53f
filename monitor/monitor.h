#pragma once
// The monitor program: its state and its two threads' bodies.
#include <windows.h>

#include <cstdint>

// The "AutoUpdate" setting as the monitor last read it; written by the main
// thread only.
extern uint8_t s_bAutoUpdate;

// Starts the worker unless another monitor runs; true when it runs.
bool startCheckThread();

// The worker: checks on the schedule, forever.
DWORD WINAPI checkThread(void*);

// Every second on the main thread: re-reads the setting, and ends the
// process at once when it has been switched off.
void CALLBACK monitorTimerProc(HWND, UINT, UINT_PTR, DWORD);
