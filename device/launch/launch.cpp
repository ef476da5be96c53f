#include "launch.h"

#include <vector>
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

    std::vector<wchar_t> line;
    if (commandLine) line.assign(commandLine, commandLine + wcslen(commandLine) + 1);
    info = PROCESS_INFORMATION{};
    if (!CreateProcessW(application, line.empty() ? nullptr : line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        L"C:\\", &si, &info)) {
        return GetLastError();
    }
    return 0;
}

}  // namespace zbdevice
