#pragma once
// Starting a program as the device's shell does: with the device's root as the
// working folder and, for a program that opens a top-level window with default
// position and size, that window filling the work area of the screen.
#include <windows.h>

namespace zbdevice {

// Starts `application` (may be null: then the first token of `commandLine`)
// with `commandLine` (may be null). On success fills `info` (the caller closes
// both handles) and returns 0; otherwise the platform error.
DWORD startProgram(const wchar_t* application, const wchar_t* commandLine, PROCESS_INFORMATION& info);

}  // namespace zbdevice
