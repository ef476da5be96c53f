#pragma once
// The device's boot start acknowledgement (exported by coredll.dll): a program
// started from the "Init" start list reports with the sequence number that it
// received on its command line that it is up, so that the boot goes on.
#include <windows.h>

#ifdef ZB_COREDLL_BUILD
#define ZB_COREDLL_API __declspec(dllexport)
#else
#define ZB_COREDLL_API __declspec(dllimport)
#endif

extern "C" ZB_COREDLL_API void WINAPI SignalStarted(DWORD sequence);

// The named event that the boot waits on for one sequence number.
#define ZB_BOOT_EVENT_FORMAT L"Local\\ZbDeviceStarted%lu"
