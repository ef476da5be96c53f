// coredll.dll of the emulated device: the few core calls that a desktop lacks.
#include <windows.h>
#include <cwchar>

#include "ce_boot.h"

extern "C" void WINAPI SignalStarted(DWORD sequence) {
    wchar_t name[64];
    swprintf(name, 64, ZB_BOOT_EVENT_FORMAT, static_cast<unsigned long>(sequence));
    // Nobody waits when the program was started by hand: nothing to report then.
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}
