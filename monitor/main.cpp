// Entry of the monitor program. (Stand-in until the monitor lands: it
// acknowledges its start to the boot and ends.)
#include <windows.h>
#include <cwchar>

#include "ce_boot.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    SignalStarted(static_cast<DWORD>(_wtol(commandLine ? commandLine : L"0")));
    return 0;
}
