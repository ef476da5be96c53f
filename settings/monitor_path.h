#pragma once
// Where the monitor lies: beside the running program, as "zbMonitor.exe".
#include <cstddef>

constexpr size_t kMonitorPathCapacity = 512;  // UTF-16 characters, with the terminating zero
constexpr wchar_t kMonitorExeName[] = L"zbMonitor.exe";

// The running program's full path with its file name replaced by the
// monitor's. False (and an empty path) when the result would not fit.
bool monitorPath(wchar_t (&path)[kMonitorPathCapacity]);

// Starts the monitor at `path` with no command line; its failure is not reported.
void startMonitor(const wchar_t* path);

// Ends a running monitor other than the caller, if any.
void endMonitor();
