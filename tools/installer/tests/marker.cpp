// Stands in for the programs that the installer replaces and restarts: with
// "--sleep" it waits a minute (a starter that has not ended yet); otherwise
// it writes "<its own path>.started" holding its command line and ends.
#include <windows.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    if (wcsstr(commandLine, L"--sleep")) {
        Sleep(60000);
        return 0;
    }
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring marker = std::wstring(path, n) + L".started";
    HANDLE f = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(f, commandLine, static_cast<DWORD>(wcslen(commandLine) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
    return 0;
}
