#include "settings/monitor_path.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

#include "settings/process_search.h"

bool monitorPath(wchar_t (&path)[kMonitorPathCapacity]) {
    const DWORD length = GetModuleFileNameW(nullptr, path, kMonitorPathCapacity);
    // A path cut short by the platform names no real file: no monitor path.
    if (length == 0 || length >= kMonitorPathCapacity) {
        path[0] = 0;
        return false;
    }
    wchar_t* slash = wcsrchr(path, L'\\');
    const size_t folder = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    if (folder + std::size(kMonitorExeName) > kMonitorPathCapacity) {
        path[0] = 0;
        return false;
    }
    wcscpy(path + folder, kMonitorExeName);
    return true;
}

void startMonitor(const wchar_t* path) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void endMonitor() {
    if (HANDLE monitor = findProcess(kMonitorExeName)) {
        TerminateProcess(monitor, 0);
        CloseHandle(monitor);
    }
}
