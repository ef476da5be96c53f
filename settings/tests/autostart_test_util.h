#pragma once
// What the autostart tests share: a stand-in monitor (a copy of the test
// program named zbMonitor.exe beside it, which only waits when started under
// that name) and the count of running monitors.
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

namespace autostart_test {

inline std::wstring ownPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

inline std::wstring monitorBeside() {
    std::wstring path = ownPath();
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"zbMonitor.exe";
}

// True when this process is the stand-in monitor.
inline bool runningAsMonitor() {
    std::wstring path = ownPath();
    return _wcsicmp(path.c_str() + path.find_last_of(L'\\') + 1, L"zbMonitor.exe") == 0;
}

inline bool placeMonitor() { return CopyFileW(ownPath().c_str(), monitorBeside().c_str(), FALSE) != 0; }

// Running processes named zbMonitor.exe (the device's own list).
inline int monitorCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"zbMonitor.exe") == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// Waits until `count` monitors run (a start or an end takes a moment under Wine).
inline bool waitMonitorCount(int count) {
    for (int i = 0; i < 200; ++i, Sleep(50)) {
        if (monitorCount() == count) return true;
    }
    return false;
}

inline void endAllMonitors() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"zbMonitor.exe") != 0) continue;
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

}  // namespace autostart_test
