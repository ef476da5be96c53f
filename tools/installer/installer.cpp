// zbinstall.exe: the installer that every update package carries. The program
// that unpacked the package into "<program folder>\temp\" starts it with
// "@PID FOLDER" (interactive) or "PID FOLDER" (unattended) and ends itself.
// The installer waits for that process to end, replaces the program folder's
// files with the package's (each through a copy beside it and one replacing
// move, so that a failure leaves the old file working), and when every file
// is in place puts the package's record (zbpackage.ver) beside them, so that
// the device knows which package it has installed. Then it empties the
// temporary folder and restarts zerbin (interactive) or zbMonitor
// (unattended; it ends itself when automatic updates are off). What it did
// goes to zbinstall.log in the program folder.
//
// It travels in every package, over links paid by the kilobyte, so it is
// written against the platform alone: fixed buffers and the platform's own
// formatting, no C++ library containers or streams.
#include <windows.h>

#include <cstdarg>

#include "device/launch/launch.h"
#include "tools/installer/install_args.h"
#include "update/package.h"

namespace {

constexpr DWORD kStarterWaitMs = 30000;
constexpr DWORD kLogLimitBytes = 64 * 1024;  // an older log is started anew
constexpr int kPathCapacity = 2 * MAX_PATH;
constexpr int kLineCapacity = 1024;  // what wvsprintfW writes at most

// "FOLDER" + "NAME" (+ "SUFFIX") into `out`; false when it does not fit.
bool joinPath(wchar_t* out, const wchar_t* folder, const wchar_t* name, const wchar_t* suffix = L"") {
    if (lstrlenW(folder) + lstrlenW(name) + lstrlenW(suffix) >= kPathCapacity) return false;
    lstrcpyW(out, folder);
    lstrcatW(out, name);
    lstrcatW(out, suffix);
    return true;
}

// The installer's log: one line per step, with the local time, in UTF-8.
class InstallLog {
public:
    explicit InstallLog(const wchar_t* path) {
        file_ = CreateFileW(path, FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE && GetFileSize(file_, nullptr) > kLogLimitBytes) {
            CloseHandle(file_);
            file_ = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
        }
    }
    ~InstallLog() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;

    // One line, formatted as wsprintfW formats.
    void line(const wchar_t* format, ...) {
        if (file_ == INVALID_HANDLE_VALUE) return;
        wchar_t text[kLineCapacity + 1];
        va_list args;
        va_start(args, format);
        wvsprintfW(text, format, args);
        va_end(args);
        SYSTEMTIME t;
        GetLocalTime(&t);
        char out[32 + 3 * kLineCapacity + 2];
        int n = wsprintfA(out, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                          t.wSecond);
        n += WideCharToMultiByte(CP_UTF8, 0, text, lstrlenW(text), out + n, 3 * kLineCapacity, nullptr, nullptr);
        out[n++] = '\r';
        out[n++] = '\n';
        DWORD written = 0;
        WriteFile(file_, out, static_cast<DWORD>(n), &written, nullptr);
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// The files of a folder, one by one, subfolders left out.
class FolderFiles {
public:
    explicit FolderFiles(const wchar_t* folder) {
        wchar_t pattern[kPathCapacity];
        if (joinPath(pattern, folder, L"*")) search_ = FindFirstFileW(pattern, &found_);
        fresh_ = search_ != INVALID_HANDLE_VALUE;
    }
    ~FolderFiles() {
        if (search_ != INVALID_HANDLE_VALUE) FindClose(search_);
    }
    FolderFiles(const FolderFiles&) = delete;
    FolderFiles& operator=(const FolderFiles&) = delete;

    // The next file's name, or null at the end.
    const wchar_t* next() {
        while (search_ != INVALID_HANDLE_VALUE) {
            if (!fresh_ && !FindNextFileW(search_, &found_)) break;
            fresh_ = false;
            if (!(found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return found_.cFileName;
        }
        return nullptr;
    }

private:
    HANDLE search_ = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found_{};
    bool fresh_ = false;
};

// The starter must be gone before its files are replaced. A process that
// cannot be opened has ended already.
bool waitForStarter(uint32_t pid, InstallLog& log) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process) {
        const DWORD w = WaitForSingleObject(process, kStarterWaitMs);
        CloseHandle(process);
        if (w != WAIT_OBJECT_0) {
            log.line(L"process %u is still running after %u s: nothing replaced", pid, kStarterWaitMs / 1000);
            return false;
        }
    }
    log.line(L"process %u has ended", pid);
    return true;
}

// Copies the new file beside the old one, then replaces the old one in one
// move; on any failure the old file is untouched.
bool replaceFile(const InstallArgs& args, const wchar_t* name, InstallLog& log) {
    wchar_t from[kPathCapacity], to[kPathCapacity], beside[kPathCapacity];
    if (!joinPath(from, args.tempFolder, name) || !joinPath(to, args.programFolder, name) ||
        !joinPath(beside, to, L".zbnew")) {
        log.line(L"could not copy %s (error %u): the old file stays", name, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!CopyFileW(from, beside, FALSE)) {
        const DWORD e = GetLastError();
        DeleteFileW(beside);
        log.line(L"could not copy %s (error %u): the old file stays", name, e);
        return false;
    }
    if (!MoveFileExW(beside, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD e = GetLastError();
        DeleteFileW(beside);
        log.line(L"could not replace %s (error %u): the old file stays", name, e);
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(to, GetFileExInfoStandard, &data);
    log.line(L"installed %s (%u bytes)", name, data.nFileSizeLow);
    return true;
}

// The package version in the unpacked record, 0 when the package carries none.
uint32_t unpackedRecord(const InstallArgs& args) {
    wchar_t path[kPathCapacity];
    if (!joinPath(path, args.tempFolder, kPackageRecordFile)) return 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint8_t bytes[kPackageRecordSize + 1];
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    CloseHandle(file);
    return ok && read == kPackageRecordSize ? bytes[0] | (bytes[1] << 8) : 0;
}

// Empties the temporary folder. The installer's own file goes too where the
// platform lets a running program's file be deleted; otherwise the next
// package's installer replaces it.
void emptyTempFolder(const InstallArgs& args, const wchar_t* self, InstallLog& log) {
    unsigned removed = 0, left = 0;
    wchar_t path[kPathCapacity];
    {
        FolderFiles files(args.tempFolder);
        while (const wchar_t* name = files.next()) {
            if (lstrcmpiW(name, self) == 0) continue;
            if (joinPath(path, args.tempFolder, name) && DeleteFileW(path)) {
                ++removed;
            } else {
                ++left;
                log.line(L"could not remove %s from the temporary folder (error %u)", name, GetLastError());
            }
        }
    }
    if (joinPath(path, args.tempFolder, self)) DeleteFileW(path);
    if (left) {
        log.line(L"temporary folder emptied: %u files removed, %u left", removed, left);
    } else {
        log.line(L"temporary folder emptied: %u files removed", removed);
    }
}

// Started as the device's shell starts a program, so that its window fills
// the screen's work area as after a start by the person.
void restart(const InstallArgs& args, const wchar_t* program, InstallLog& log) {
    wchar_t path[kPathCapacity], commandLine[kPathCapacity + 2];
    if (!joinPath(path, args.programFolder, program)) return;
    wsprintfW(commandLine, L"\"%s\"", path);
    PROCESS_INFORMATION pi{};
    const DWORD error = zbdevice::startProgram(path, commandLine, pi);
    if (error != 0) {
        log.line(L"could not start %s (error %u)", program, error);
        return;
    }
    log.line(L"started %s (process %u)", program, pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    InstallArgs args;
    if (!parseInstallArgs(GetCommandLineW(), &args)) return 2;  // no folder to write a log in
    wchar_t logPath[kPathCapacity];
    if (!joinPath(logPath, args.programFolder, L"zbinstall.log")) return 2;
    InstallLog log(logPath);
    log.line(L"install started: %s, process %u, folder %s", args.interactive ? L"interactive" : L"unattended",
             args.starterPid, args.tempFolder);
    if (!waitForStarter(args.starterPid, log)) return 1;

    wchar_t self[kPathCapacity];
    const DWORD length = GetModuleFileNameW(nullptr, self, kPathCapacity);
    const wchar_t* selfName = self;
    for (DWORD i = 0; i < length && i < kPathCapacity; ++i) {
        if (self[i] == L'\\') selfName = self + i + 1;
    }
    unsigned installed = 0, failed = 0;
    {
        FolderFiles files(args.tempFolder);
        while (const wchar_t* name = files.next()) {
            if (lstrcmpiW(name, selfName) == 0 || lstrcmpiW(name, kPackageRecordFile) == 0) continue;
            if (replaceFile(args, name, log)) {
                ++installed;
            } else {
                ++failed;
            }
        }
    }
    // The record goes last, and only after a complete install: a device that
    // kept an old file counts itself as before and takes the package again.
    if (const uint32_t version = unpackedRecord(args)) {
        if (failed) {
            log.line(L"package %u not recorded: not every file was installed", version);
        } else if (replaceFile(args, kPackageRecordFile, log)) {
            log.line(L"recorded package %u as installed", version);
        } else {
            ++failed;
        }
    }
    emptyTempFolder(args, selfName, log);
    log.line(L"install finished: %u files installed, %u failed", installed, failed);
    restart(args, args.interactive ? L"zerbin.exe" : L"zbMonitor.exe", log);
    return failed ? 1 : 0;
}
