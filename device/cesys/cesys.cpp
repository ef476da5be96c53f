// Stand-in for the device's own system programs of the boot start list: it
// acknowledges its start, as they do, and has nothing else to do here.
#include <windows.h>
#include <cwchar>

#include "ce_boot.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    SignalStarted(static_cast<DWORD>(wcstoul(commandLine ? commandLine : L"0", nullptr, 10)));
    return 0;
}
