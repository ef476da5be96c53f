#pragma once
// What the tests of the device's CE libraries share: files carried inside a
// test program (the device has no way to the build folder), starting helper
// programs on the device, and finding this process's own windows.
#include <windows.h>

#include <string>
#include <vector>

namespace celibs_test {

// The folder of the running test program, with a trailing backslash.
inline std::wstring ownFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

// Writes the RCDATA resource `name` of this program to `path`.
inline bool extractPayload(const wchar_t* name, const std::wstring& path) {
    HRSRC found = FindResourceW(nullptr, name, RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    const DWORD size = SizeofResource(nullptr, found);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

// Creates `folder` and the folders above it.
inline void makeFolders(const std::wstring& folder) {
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
}

struct RunResult {
    bool started = false;
    bool ended = false;
    DWORD exitCode = 0;
    std::string output;  // what the program wrote to its standard output
};

// Runs `exe` with `arguments` (working folder "\") and collects its output.
inline RunResult runAndCapture(const std::wstring& exe, const std::wstring& arguments, DWORD timeoutMs = 30000) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    result.started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, L"C:\\", &si, &pi);
    CloseHandle(writeEnd);
    if (result.started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
        result.ended = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
        if (!result.ended) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return result;
}

// This process's top-level windows of class `className`.
inline std::vector<HWND> ownWindowsOfClass(const wchar_t* className) {
    struct Search {
        const wchar_t* className;
        std::vector<HWND> found;
    } search{className, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            wchar_t name[64];
            if (process == GetCurrentProcessId() && GetClassNameW(hwnd, name, 64) && lstrcmpiW(name, s->className) == 0) {
                s->found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// An entry of a loaded library as the function type it has.
template <typename T>
T entryOf(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Serves the calling thread's pending messages.
inline void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline std::string narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

}  // namespace celibs_test
