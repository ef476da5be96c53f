#include "engine/scan.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "engine/report.h"
#include "shell/config.h"
#include "shell/lang.h"

namespace {

std::wstring text(uint32_t id) {
    wchar_t buffer[kLanguageTextCapacity + 1];
    lang.CopyString(id, buffer, kLanguageTextCapacity + 1);
    return buffer;
}

// A language text used as a format with one 8-bit string argument.
std::wstring formatWithName(uint32_t id, const char* name) {
    wchar_t buffer[1025];
    wsprintfW(buffer, text(id).c_str(), name ? name : "");
    return buffer;
}

bool levelHas(uint32_t bit) { return (g_config.s_nReportLevel & bit) != 0; }

void showProgress(const wchar_t* path) {
    g_config.s_szCurrentFile.set(path);
    updateScanProgress(g_config.s_hMainWnd);
}

// Only these two folders directly under the root are the storage card.
bool isStorageCard(const wchar_t* folder) {
    return _wcsicmp(folder, L"\\StorageCard\\") == 0 || _wcsicmp(folder, L"\\Storage Card\\") == 0;
}

void reportError(const wchar_t* path, Status status) {
    if (!levelHas(kLevelErrors)) {
        // The path of an "all files" entry is already written; without the
        // errors bit no result follows, so the entry ends here.
        if (levelHas(kLevelAllFiles)) reportEndEntry(g_config.s_report);
        return;
    }
    uint32_t textId = 0;
    if (status == ERROR_WRITE_FAULT) textId = 8603;
    if (status == ERROR_READ_FAULT) textId = 8604;
    if (status == ERROR_SHARING_VIOLATION) textId = 8602;
    std::wstring reason = textId ? text(textId) : std::wstring();
    wchar_t line[1025];
    wsprintfW(line, text(8319).c_str(), reason.c_str(), int(status));
    if (!levelHas(kLevelAllFiles)) reportWritePath(g_config.s_report, path);
    reportWriteResult(g_config.s_report, kReportError, line);
}

// One line of the one-line list: "name (path) " and the report's wording;
// the only column grows to the widest line.
void listInfectedLine(HWND list, const wchar_t* name, const wchar_t* path, const std::wstring& detection) {
    std::wstring line = std::wstring(name) + L" (" + path + L") " + detection;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(g_config.s_report.s_nInfected.load());
    item.pszText = line.data();
    if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) return;
    int width = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(line.c_str())));
    if (width > int(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0))) SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(width + 10, 0));
}

void reportDetection(const wchar_t* name, const wchar_t* path, const MatchResult& result) {
    HWND lines = GetDlgItem(g_config.s_hMainWnd, kInfectedLinesId);
    HWND list = lines ? nullptr : GetDlgItem(g_config.s_hMainWnd, kScanListId);

    std::wstring itemText = std::wstring(name) + L" (" + path + L")";
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = int(g_config.s_report.s_nInfected.load());
    item.pszText = itemText.data();
    int index = list ? int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item))) : -1;

    // The list shows the bare virus name, or the variant wording; the report
    // says "is infected by", or the variant wording; " (exact)" ends both.
    std::wstring exact = levelHas(kLevelExact) ? text(8303) : std::wstring();
    std::wstring variant = levelHas(kLevelVariantWording) ? formatWithName(8302, result.virusName) : std::wstring();
    wchar_t bare[1025];
    wsprintfW(bare, L"%S", result.virusName ? result.virusName : "");
    std::wstring shown = (levelHas(kLevelVariantWording) ? variant : std::wstring(bare)) + exact;
    if (index >= 0) {
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = shown.data();
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&sub));
    }

    std::wstring reportText = (levelHas(kLevelVariantWording) ? variant : formatWithName(8301, result.virusName)) + exact;
    if (lines) listInfectedLine(lines, name, path, reportText);
    if (!levelHas(kLevelAllFiles)) reportWritePath(g_config.s_report, path);
    reportWriteResult(g_config.s_report, levelHas(kLevelVariantWording) ? kReportVariant : kReportInfected,
                      reportText.c_str());

    ++g_config.s_report.s_nInfected;
    if (!(result.recordFlags & 1)) ++g_config.s_report.s_nInfectedOpen;
}

void scanOneFile(const wchar_t* name, const wchar_t* path, MatchResult& result) {
    if (levelHas(kLevelAllFiles)) reportWritePath(g_config.s_report, path);
    Status status = scanFile(path, &result);
    // A file that vanished since it was listed has nothing left to scan. A
    // protected file was never examined: that is an error, not a clean file.
    if (status == ERROR_FILE_NOT_FOUND || (status == kStatusOk && result.recordNumber == 0)) {
        if (levelHas(kLevelAllFiles)) reportWriteResult(g_config.s_report, kReportClean, text(8300).c_str());
    } else if (status != kStatusOk) {
        reportError(path, status);
    } else {
        reportDetection(name, path, result);
    }
}

void waitWhilePaused() {
    while (g_config.s_bPauseScan.load()) Sleep(100);
}

// A folder or file whose full path does not fit the walk's buffer is not
// scanned under a cut name; with the errors bit it is reported as an error.
void reportTooLong(const wchar_t* folder, const wchar_t* name) {
    std::wstring path = std::wstring(folder) + name;
    if (levelHas(kLevelAllFiles)) reportWritePath(g_config.s_report, path.c_str());
    reportError(path.c_str(), ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace

Status scanDirectory(const wchar_t* directory, MatchResult& result) {
    if (g_config.s_bStopScan.load()) return kStatusOk;
    size_t folderLength = wcslen(directory);
    if (folderLength + 4 > kScanPathCapacity) return kStatusOk;

    // The walk's path buffer: the search pattern first, then each file's path.
    wchar_t path[kScanPathCapacity];
    wcscpy(path, directory);
    wcscpy(path + folderLength, L"*.*");

    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            showProgress(path);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ++g_config.s_report.s_nScanned;
                size_t nameLength = wcslen(found.cFileName);
                if (folderLength + nameLength + 1 > kScanPathCapacity) {
                    reportTooLong(directory, found.cFileName);
                } else {
                    wcscpy(path + folderLength, found.cFileName);
                    scanOneFile(found.cFileName, path, result);
                }
            }
            waitWhilePaused();
            if (g_config.s_bStopScan.load()) break;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }

    wcscpy(path + folderLength, L"*.*");
    find = FindFirstFileW(path, &found);
    if (find == INVALID_HANDLE_VALUE) return kStatusOk;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.cFileName[0] == L'.') continue;
        size_t nameLength = wcslen(found.cFileName);
        if (folderLength + nameLength + 2 > kScanPathCapacity) {
            if (levelHas(kLevelErrors)) reportTooLong(directory, found.cFileName);
            continue;
        }
        wchar_t sub[kScanPathCapacity];
        wcscpy(sub, directory);
        wcscpy(sub + folderLength, found.cFileName);
        wcscpy(sub + folderLength + nameLength, L"\\");
        if (g_config.s_bStorageCard || !isStorageCard(sub)) scanDirectory(sub, result);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return kStatusOk;
}

DWORD WINAPI scanThread(LPVOID) {
    MatchResult result{};
    result.recordNumber = 0;
    reportBegin(g_config.s_report, L"report.txt");
    g_config.s_bPauseScan = 0;
    g_config.s_bStopScan = 0;
    scanDirectory(L"\\", result);
    showProgress(L"");
    reportEnd(g_config.s_report);
    bool listStays = false;
    if (g_config.s_report.s_nInfected.load() == 0) {
        SendMessageW(g_config.s_hMainWnd, WM_SCAN_DONE, 0, 0);
    } else if (GetDlgItem(g_config.s_hMainWnd, kInfectedLinesId)) {
        SetDlgItemTextW(g_config.s_hMainWnd, kScanCurrentFileId, text(8215).c_str());
        SendMessageW(g_config.s_hMainWnd, WM_SHOW_INFECTED, 0, 0);
    } else {
        SetDlgItemTextW(g_config.s_hMainWnd, kScanCurrentFileId, text(8215).c_str());
        SetDlgItemTextW(g_config.s_hMainWnd, kScanCancelId, text(8214).c_str());
        listStays = true;
    }
    g_config.s_bStopScan = 1;
    g_config.s_hScanThread = nullptr;
    if (listStays) PostMessageW(g_config.s_hMainWnd, WM_SCAN_FINISHED, 0, 0);
    return 0;
}
