// TOOLHELP.DLL of the emulated device: the CE tool-help process list over the
// system's own snapshot, which lists every process of the device. The CE
// record differs from the desktop's (32-bit heap identifier, two fields more),
// so each entry is copied across. The exported names are the CE ones; the
// functions here carry other names so that the desktop's declarations of the
// same names stay usable (see toolhelp.def).
#include <windows.h>
#include <tlhelp32.h>

#include "ce_toolhelp.h"

namespace {

// The CE flags this device understands; CE-only bits have no desktop meaning.
constexpr DWORD kSupportedFlags = CE_TH32CS_SNAPHEAPLIST | CE_TH32CS_SNAPPROCESS | CE_TH32CS_SNAPTHREAD |
                                  CE_TH32CS_SNAPMODULE;

bool recordUsable(const CE_PROCESSENTRY32* entry) {
    if (!entry || entry->dwSize < sizeof(CE_PROCESSENTRY32)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return true;
}

void copyEntry(const PROCESSENTRY32W& from, CE_PROCESSENTRY32& to) {
    const DWORD size = to.dwSize;
    to = CE_PROCESSENTRY32{};
    to.dwSize = size;
    to.cntUsage = from.cntUsage;
    to.th32ProcessID = from.th32ProcessID;
    to.cntThreads = from.cntThreads;
    to.th32ParentProcessID = from.th32ParentProcessID;
    to.pcPriClassBase = from.pcPriClassBase;
    static_assert(sizeof to.szExeFile == sizeof from.szExeFile);
    lstrcpynW(to.szExeFile, from.szExeFile, MAX_PATH);
}

BOOL walk(HANDLE snapshot, CE_PROCESSENTRY32* entry, bool first) {
    if (!recordUsable(entry)) return FALSE;
    PROCESSENTRY32W desktop{};
    desktop.dwSize = sizeof desktop;
    if (!(first ? Process32FirstW(snapshot, &desktop) : Process32NextW(snapshot, &desktop))) return FALSE;
    copyEntry(desktop, *entry);
    return TRUE;
}

}  // namespace

extern "C" {

HANDLE WINAPI ceCreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    return CreateToolhelp32Snapshot(flags & kSupportedFlags, processId);
}

BOOL WINAPI ceCloseToolhelp32Snapshot(HANDLE snapshot) {
    if (snapshot == INVALID_HANDLE_VALUE || !snapshot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(snapshot);
}

BOOL WINAPI ceProcess32First(HANDLE snapshot, CE_PROCESSENTRY32* entry) { return walk(snapshot, entry, true); }

BOOL WINAPI ceProcess32Next(HANDLE snapshot, CE_PROCESSENTRY32* entry) { return walk(snapshot, entry, false); }

}  // extern "C"
