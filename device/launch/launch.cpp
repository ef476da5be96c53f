#include "launch.h"

#include <cstring>
#include <cwchar>

namespace zbdevice {

DWORD startProgram(const wchar_t* application, const wchar_t* commandLine, PROCESS_INFORMATION& info) {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // A handheld's shell gives every top-level window the whole work area;
    // these values become the defaults of CW_USEDEFAULT in the new process.
    si.dwFlags = STARTF_USEPOSITION | STARTF_USESIZE;
    si.dwX = static_cast<DWORD>(work.left);
    si.dwY = static_cast<DWORD>(work.top);
    si.dwXSize = static_cast<DWORD>(work.right - work.left);
    si.dwYSize = static_cast<DWORD>(work.bottom - work.top);

    // The platform may write into the command line: a copy of it, from the
    // process heap (the installer, which uses this, carries no C++ library).
    wchar_t* line = nullptr;
    if (commandLine) {
        const size_t bytes = (wcslen(commandLine) + 1) * sizeof(wchar_t);
        line = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, bytes));
        if (line == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
        memcpy(line, commandLine, bytes);
    }
    info = PROCESS_INFORMATION{};
    const BOOL started = CreateProcessW(application, line, nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &si, &info);
    const DWORD error = started ? 0 : GetLastError();
    if (line) HeapFree(GetProcessHeap(), 0, line);
    return error;
}

}  // namespace zbdevice
