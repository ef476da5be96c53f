// zbstart: starts a program on the device as its shell does (working folder
// "\", top-level windows filling the work area). With --wait it waits for the
// program and returns its exit code; otherwise it prints the process id.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "launch.h"

static std::wstring quoted(const wchar_t* arg) {
    std::wstring s(arg);
    if (!s.empty() && s.find_first_of(L" \t\"") == std::wstring::npos) return s;
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

int wmain(int argc, wchar_t** argv) {
    bool wait = false;
    int i = 1;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
        if (wcscmp(argv[i], L"--wait") == 0) {
            wait = true;
        } else {
            fwprintf(stderr, L"zbstart: unknown option %ls\n", argv[i]);
            return 2;
        }
    }
    if (i >= argc) {
        fwprintf(stderr, L"usage: zbstart [--wait] PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::wstring line = quoted(argv[i]);
    for (int j = i + 1; j < argc; ++j) line += L" " + quoted(argv[j]);

    PROCESS_INFORMATION info;
    DWORD status = zbdevice::startProgram(nullptr, line.c_str(), info);
    if (status != 0) {
        fwprintf(stderr, L"zbstart: cannot start %ls (error %lu)\n", argv[i], status);
        return 1;
    }
    CloseHandle(info.hThread);
    DWORD code = 0;
    if (wait) {
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &code);
    } else {
        wprintf(L"%lu\n", info.dwProcessId);
    }
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}
