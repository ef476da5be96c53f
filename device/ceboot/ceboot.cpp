// ceboot: the device's boot. Starts every program of the "Init" start list in
// the order of its number, with the number as its command line, and waits for
// its start acknowledgement; then runs the shortcuts of the Startup folder
// (format: count#"path" arguments, count being the length of what follows "#"). Prints one line per program.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "ce_boot.h"
#include "launch.h"

namespace {

struct LaunchEntry {
    unsigned long number;
    std::wstring program;
};

std::vector<LaunchEntry> readStartList() {
    std::vector<LaunchEntry> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        BYTE data[2048];
        size = sizeof data - sizeof(wchar_t);
        LONG r = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        if (_wcsnicmp(name, L"Launch", 6) != 0 || name[6] == 0) continue;
        wchar_t* end = nullptr;
        unsigned long number = wcstoul(name + 6, &end, 10);
        if (*end != 0) continue;
        data[size] = 0;
        data[size + 1] = 0;
        entries.push_back({number, reinterpret_cast<const wchar_t*>(data)});
    }
    RegCloseKey(key);
    std::sort(entries.begin(), entries.end(),
              [](const LaunchEntry& a, const LaunchEntry& b) { return a.number < b.number; });
    return entries;
}

void launch(const LaunchEntry& entry, DWORD timeoutMs) {
    wchar_t eventName[64];
    swprintf(eventName, 64, ZB_BOOT_EVENT_FORMAT, entry.number);
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, eventName);
    std::wstring line = L"\"" + entry.program + L"\" " + std::to_wstring(entry.number);
    PROCESS_INFORMATION info;
    DWORD status = zbdevice::startProgram(nullptr, line.c_str(), info);
    if (status != 0) {
        wprintf(L"Launch%lu: %ls: not started (error %lu)\n", entry.number, entry.program.c_str(), status);
    } else {
        HANDLE waits[2] = {started, info.hProcess};
        DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
        // A program may acknowledge and end at once; the event tells either way.
        bool acknowledged = WaitForSingleObject(started, 0) == WAIT_OBJECT_0;
        const wchar_t* how = acknowledged ? L"started" : (w == WAIT_TIMEOUT ? L"no acknowledgement" : L"ended without acknowledgement");
        wprintf(L"Launch%lu: %ls: %ls\n", entry.number, entry.program.c_str(), how);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    if (started) CloseHandle(started);
}

void runStartupFolder() {
    wchar_t folder[MAX_PATH];
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, FALSE)) return;
    std::wstring pattern = std::wstring(folder) + L"\\*.lnk";
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring path = std::wstring(folder) + L"\\" + found.cFileName;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char text[1024];
        DWORD got = 0;
        ReadFile(file, text, sizeof text - 1, &got, nullptr);
        CloseHandle(file);
        text[got] = 0;
        const char* hash = strchr(text, '#');
        if (!hash) {
            wprintf(L"Startup: %ls: not a shortcut\n", found.cFileName);
            continue;
        }
        // The count before "#" is the number of characters of the command
        // line that follows; the platform reads that many and no more.
        char* afterCount = nullptr;
        const long count = strtol(text, &afterCount, 10);
        if (afterCount != hash || count < 0) {
            wprintf(L"Startup: %ls: not a shortcut\n", found.cFileName);
            continue;
        }
        std::string command(hash + 1, std::min<size_t>(strlen(hash + 1), static_cast<size_t>(count)));
        wchar_t line[1024];
        MultiByteToWideChar(CP_ACP, 0, command.c_str(), -1, line, 1024);
        PROCESS_INFORMATION info;
        DWORD status = zbdevice::startProgram(nullptr, line, info);
        if (status != 0) {
            wprintf(L"Startup: %ls: not started (error %lu)\n", found.cFileName, status);
            continue;
        }
        wprintf(L"Startup: %ls: started\n", found.cFileName);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD timeoutMs = 10000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (wcscmp(argv[i], L"--timeout-ms") == 0) timeoutMs = wcstoul(argv[++i], nullptr, 10);
    }
    for (const LaunchEntry& entry : readStartList()) launch(entry, timeoutMs);
    runStartupFolder();
    fflush(stdout);
    return 0;
}
