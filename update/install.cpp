// The install side of the update: the error box, the container check, the
// unpacking into the temporary folder and the hand-over to the installer,
// and the record of the check time.
#include <windows.h>

#include <cwchar>

#include "base/edition.h"
#include "engine/fileio.h"
#include "log/diaglog.h"
#include "settings/process_search.h"
#include "settings/registry.h"
#include "settings/settings_keys.h"
#include "update/package.h"
#include "update/update.h"

namespace {

constexpr wchar_t kProductCaption[] = L"zerbin! antivirus";
constexpr wchar_t kMonitorExe[] = L"zbMonitor.exe";
constexpr size_t kPathCapacity = kMaxTargetPath + 1;

// The started installer's process and thread handles, closed on every path.
struct ProcessHandles {
    PROCESS_INFORMATION info{};
    ~ProcessHandles() {
        if (info.hThread) CloseHandle(info.hThread);
        if (info.hProcess) CloseHandle(info.hProcess);
    }
};

// Writes one entry's data as `path`; false on any error (a partial file may stay).
bool writeEntry(const wchar_t* path, const PackageEntry& entry) {
    HANDLE file = nullptr;
    if (fileOpen(path, kFileCreateUpdate, &file) != kStatusOk) return false;
    uint32_t written = 0;
    const Status write = fileWrite(file, entry.data, entry.dataLength, &written);
    if (write != kStatusOk || written != entry.dataLength) {
        fileClose(file);
        return false;
    }
    return fileClose(file) == kStatusOk;
}

// The target path of an entry: the folder (with its backslash) and the name
// converted from the device's code page. False when the name converts to
// nothing usable, would leave the folder, or makes the path too long.
bool targetPath(const wchar_t* folder, const PackageEntry& entry, wchar_t* path) {
    wchar_t name[kPathCapacity];
    const int converted = MultiByteToWideChar(CP_ACP, 0, entry.name, static_cast<int>(entry.nameLength) + 1, name,
                                              static_cast<int>(kPathCapacity));
    if (converted <= 1) return false;
    const size_t nameLength = wcslen(name);
    if (!entryNameIsSafe(name, nameLength)) return false;
    const size_t folderLength = wcslen(folder);
    if (folderLength + nameLength > kMaxTargetPath) return false;
    wmemcpy(path, folder, folderLength);
    wmemcpy(path + folderLength, name, nameLength + 1);
    return true;
}

void logEntry(const wchar_t* name) { g_log.Printf(L"Internal", L"\"%s: in\"", name); }

// Removes every file in `folder` (its path without a trailing backslash),
// so that the installer, which takes the folder's files, finds only the
// package's own. Subfolders are never installed and stay. On a failure
// `failed` names the file that could not be removed and the platform's error
// is returned; files removed before it stay removed.
Status emptyFolder(const wchar_t* folder, wchar_t* failed, size_t failedCapacity) {
    wchar_t pattern[kPathCapacity];
    if (swprintf(pattern, kPathCapacity, L"%ls\\*", folder) < 0) return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? kStatusOk : error;
    }
    Status status = kStatusOk;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        wchar_t path[kPathCapacity];
        status = swprintf(path, kPathCapacity, L"%ls\\%ls", folder, found.cFileName) < 0 ? ERROR_FILENAME_EXCED_RANGE
                                                                                         : fileDelete(path, true);
        if (status != kStatusOk) swprintf(failed, failedCapacity, L"%ls", found.cFileName);
    } while (status == kStatusOk && FindNextFileW(search, &found));
    FindClose(search);
    return status;
}

}  // namespace

void updateErrorBox(uint32_t mode, const wchar_t* text) {
    if (!(mode & modeInteractive)) return;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    MessageBoxW(nullptr, text, kProductCaption, MB_ICONHAND);
}

bool updateDecryptFile(uint8_t* buffer, uint32_t size) {
    logEntry(L"updateDecryptFile");
    return containerOpen(buffer, size);
}

uint32_t updateDataFile(uint8_t* buffer, uint32_t size, uint32_t mode) {
    logEntry(L"updateDataFile");
    if (buffer == nullptr || size < kPackageMinimumSize) return 0;
    if (!updateDecryptFile(buffer, size)) {
        updateErrorBox(mode, L"Downloaded data file is corrupted, try again.");
        return 0;
    }
    const uint16_t entryCount = packageEntryCount(buffer);
    if (!packageIsNewer(containerVersion(buffer)) || entryCount == 0) return 0;

    // The temporary folder, kept with its trailing backslash: it is both the
    // prefix of every target path and the installer's argument.
    wchar_t folder[kPathCapacity];
    if (moduleDirectory(folder) != kStatusOk) return 0;
    size_t length = wcslen(folder);
    if (length + 6 > kMaxTargetPath) return 0;
    wmemcpy(folder + length, L"\\temp", 6);
    const Status created = directoryCreate(folder);
    if (created != kStatusOk && created != ERROR_ALREADY_EXISTS) return 0;
    // A file left by an earlier, failed unpack would go into the program
    // folder with this package: the installer takes whatever the folder holds.
    wchar_t failed[MAX_PATH] = {};
    const Status emptied = emptyFolder(folder, failed, MAX_PATH);
    if (emptied != kStatusOk) {
        wchar_t text[MAX_PATH + 128];
        swprintf(text, MAX_PATH + 128,
                 L"The temporary folder holds %ls, which cannot be removed (error %u); nothing was installed.", failed,
                 static_cast<unsigned>(emptied));
        updateErrorBox(mode, text);
        return 0;
    }
    if (kInstallProbesTempFolder) {
        wchar_t probe[MAX_PATH + 1];
        if (GetTempFileNameW(folder, L"tmp", 0, probe) != 0) fileDelete(probe, true);
    }
    length = wcslen(folder);
    folder[length] = L'\\';
    folder[length + 1] = 0;

    wchar_t installer[kPathCapacity] = {};
    PackageWalk walk = packageWalkBegin(buffer, size);
    for (uint32_t i = 0; i < entryCount; ++i) {
        PackageEntry entry;
        if (packageWalkNext(walk, entry) != EntryStatus::ok) return 0;
        wchar_t path[kPathCapacity];
        if (!targetPath(folder, entry, path)) return 0;
        if (!writeEntry(path, entry)) return 0;
        if (entry.flags & kEntryFlagInstaller) wcscpy(installer, path);
    }
    if (installer[0] == 0) {
        // A package must name the program that installs it; without one the
        // unpacked files would wait in the folder for nobody.
        updateErrorBox(mode, L"The update package names no installer; nothing was installed.");
        return 0;
    }

    wchar_t commandLine[kPathCapacity + 16];
    if (!installerCommandLine(commandLine, kPathCapacity + 16, GetCurrentProcessId(), folder, mode)) return 0;

    if (!updateRunsInMonitor()) {
        if (HANDLE monitor = findProcess(kMonitorExe)) {
            TerminateProcess(monitor, 0);
            CloseHandle(monitor);
        }
    }

    ProcessHandles started;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(installer, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started.info)) {
        wchar_t text[64];
        swprintf(text, 64, L"CreateProcess failed, Error: 0x%X", static_cast<unsigned>(GetLastError()));
        updateErrorBox(mode, text);
        return 0;
    }
    if (!updateRunsInMonitor()) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;  // not reached: the installer owns the folder from here on
}

uint32_t updateRegistry() {
    logEntry(L"updateRegistry");
    SYSTEMTIME now;
    GetSystemTime(&now);
    double when = 0;
    SystemTimeToVariantTime(&now, &when);
    RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS) != kStatusOk) return 0;
    RegSetValueExW(key.handle(), kValueUpdateLastCheck, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&when),
                   sizeof when);
    return key.Close();
}
