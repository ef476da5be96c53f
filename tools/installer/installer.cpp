// zbinstall.exe: the installer that every update package carries. The program
// that unpacked the package into "<program folder>\temp\" starts it with
// "@PID FOLDER" (interactive) or "PID FOLDER" (unattended) and ends itself.
// The installer waits for that process to end, replaces the program folder's
// files with the package's (each through a copy beside it and one replacing
// move, so that a failure leaves the old file working), empties the temporary
// folder, and restarts zerbin (interactive) or zbMonitor (unattended; it ends
// itself when automatic updates are off). What it did goes to
// zbinstall.log in the program folder.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/installer/install_args.h"

namespace {

constexpr DWORD kStarterWaitMs = 30000;
constexpr LONGLONG kLogLimitBytes = 64 * 1024;  // an older log is started anew

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The installer's log: one line per step, with the local time.
struct InstallLog {
    HANDLE file = INVALID_HANDLE_VALUE;

    explicit InstallLog(const std::wstring& path) {
        file = CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size{};
        if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && size.QuadPart > kLogLimitBytes) {
            CloseHandle(file);
            file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        }
    }
    ~InstallLog() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;

    void line(const std::wstring& text) {
        if (file == INVALID_HANDLE_VALUE) return;
        SYSTEMTIME t;
        GetLocalTime(&t);
        char stamp[64];
        snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour,
                 t.wMinute, t.wSecond);
        const std::string out = stamp + utf8(text) + "\r\n";
        DWORD written = 0;
        WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    }
};

std::wstring errorText(DWORD error) { return L"error " + std::to_wstring(error); }

std::wstring ownFileName() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(s.find_last_of(L'\\') + 1);
}

// The starter must be gone before its files are replaced. A process that
// cannot be opened has ended already.
bool waitForStarter(uint32_t pid, InstallLog& log) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) {
        log.line(L"process " + std::to_wstring(pid) + L" has ended");
        return true;
    }
    const DWORD w = WaitForSingleObject(process, kStarterWaitMs);
    CloseHandle(process);
    if (w == WAIT_OBJECT_0) {
        log.line(L"process " + std::to_wstring(pid) + L" has ended");
        return true;
    }
    log.line(L"process " + std::to_wstring(pid) + L" is still running after " + std::to_wstring(kStarterWaitMs / 1000) +
             L" s: nothing replaced");
    return false;
}

// The package's files: every file of the temporary folder but the installer.
std::vector<std::wstring> packageFiles(const std::wstring& tempFolder, const std::wstring& self) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((tempFolder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (lstrcmpiW(found.cFileName, self.c_str()) == 0) continue;
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Copies the new file beside the old one, then replaces the old one in one
// move; on any failure the old file is untouched.
bool replaceFile(const std::wstring& from, const std::wstring& to, InstallLog& log, const std::wstring& name) {
    const std::wstring beside = to + L".zbnew";
    if (!CopyFileW(from.c_str(), beside.c_str(), FALSE)) {
        const DWORD e = GetLastError();
        DeleteFileW(beside.c_str());
        log.line(L"could not copy " + name + L" (" + errorText(e) + L"): the old file stays");
        return false;
    }
    if (!MoveFileExW(beside.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD e = GetLastError();
        DeleteFileW(beside.c_str());
        log.line(L"could not replace " + name + L" (" + errorText(e) + L"): the old file stays");
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &data);
    log.line(L"installed " + name + L" (" + std::to_wstring(data.nFileSizeLow) + L" bytes)");
    return true;
}

// Empties the temporary folder. The installer's own file goes too where the
// platform lets a running program's file be deleted; otherwise the next
// package's installer replaces it.
void emptyTempFolder(const std::wstring& tempFolder, const std::wstring& self, InstallLog& log) {
    int removed = 0, left = 0;
    for (const std::wstring& name : packageFiles(tempFolder, self)) {
        if (DeleteFileW((tempFolder + name).c_str())) {
            ++removed;
        } else {
            ++left;
            log.line(L"could not remove " + name + L" from the temporary folder (" + errorText(GetLastError()) + L")");
        }
    }
    DeleteFileW((tempFolder + self).c_str());
    log.line(L"temporary folder emptied: " + std::to_wstring(removed) + L" files removed" +
             (left ? L", " + std::to_wstring(left) + L" left" : L""));
}

void restart(const std::wstring& programFolder, const wchar_t* program, InstallLog& log) {
    const std::wstring path = programFolder + program;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        log.line(L"could not start " + std::wstring(program) + L" (" + errorText(GetLastError()) + L")");
        return;
    }
    log.line(L"started " + std::wstring(program) + L" (process " + std::to_wstring(pi.dwProcessId) + L")");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    InstallArgs args;
    if (!parseInstallArgs(GetCommandLineW(), &args)) return 2;  // no folder to write a log in
    InstallLog log(args.programFolder + L"zbinstall.log");
    log.line(std::wstring(L"install started: ") + (args.interactive ? L"interactive" : L"unattended") +
             L", process " + std::to_wstring(args.starterPid) + L", folder " + args.tempFolder);
    if (!waitForStarter(args.starterPid, log)) return 1;

    const std::wstring self = ownFileName();
    int installed = 0, failed = 0;
    for (const std::wstring& name : packageFiles(args.tempFolder, self)) {
        if (replaceFile(args.tempFolder + name, args.programFolder + name, log, name)) {
            ++installed;
        } else {
            ++failed;
        }
    }
    emptyTempFolder(args.tempFolder, self, log);
    log.line(L"install finished: " + std::to_wstring(installed) + L" files installed, " + std::to_wstring(failed) +
             L" failed");
    restart(args.programFolder, args.interactive ? L"zerbin.exe" : L"zbMonitor.exe", log);
    return failed ? 1 : 0;
}
