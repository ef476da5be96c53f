#include "engine/scan.h"

#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "engine/report.h"

namespace {

std::wstring text(const ScanContext& context, uint32_t id) {
    return context.report->text ? context.report->text(id) : std::wstring();
}

// A language text used as a format with one 8-bit string argument.
std::wstring formatWithName(const ScanContext& context, uint32_t id, const char* name) {
    wchar_t buffer[1025];
    wsprintfW(buffer, text(context, id).c_str(), name ? name : "");
    return buffer;
}

bool levelHas(const ScanContext& context, uint32_t bit) { return (context.reportLevel & bit) != 0; }

void showProgress(const ScanContext& context, const wchar_t* path) {
    context.currentFile->set(path);
    updateScanProgress(context.mainWindow);
}

// Only these two folders directly under the root are the storage card.
bool isStorageCard(const wchar_t* folder) {
    return _wcsicmp(folder, L"\\StorageCard\\") == 0 || _wcsicmp(folder, L"\\Storage Card\\") == 0;
}

void reportError(const ScanContext& context, const wchar_t* path, Status status) {
    if (!levelHas(context, kLevelErrors)) {
        // The path of an "all files" entry is already written; without the
        // errors bit no result follows, so the entry ends here.
        if (levelHas(context, kLevelAllFiles)) reportEndEntry(*context.report);
        return;
    }
    uint32_t textId = 0;
    if (status == ERROR_WRITE_FAULT) textId = 8603;
    if (status == ERROR_READ_FAULT) textId = 8604;
    if (status == ERROR_SHARING_VIOLATION) textId = 8602;
    std::wstring reason = textId ? text(context, textId) : std::wstring();
    wchar_t line[1025];
    wsprintfW(line, text(context, 8319).c_str(), reason.c_str(), int(status));
    if (!levelHas(context, kLevelAllFiles)) reportWritePath(*context.report, path);
    reportWriteResult(*context.report, kReportError, line);
}

// One line of the one-line list: "name (path) " and the report's wording;
// the only column grows to the widest line.
void listInfectedLine(const ScanContext& context, HWND list, const wchar_t* name, const wchar_t* path, const std::wstring& detection) {
    std::wstring line = std::wstring(name) + L" (" + path + L") " + detection;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(context.report->s_nInfected.load());
    item.pszText = line.data();
    if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) return;
    int width = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(line.c_str())));
    if (width > int(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0))) SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(width + 10, 0));
}

// A member's name (8-bit, as the archive holds it) in the program's UTF-16.
std::wstring memberText(const char* member) {
    wchar_t buffer[kArchiveNameCapacity + 1];
    const int length = MultiByteToWideChar(CP_ACP, 0, member, -1, buffer, kArchiveNameCapacity + 1);
    return length > 0 ? std::wstring(buffer) : std::wstring();
}

// The members of an archive that could not be examined, heard while its
// members are walked and written after the archive's own line, so that an
// "all files" entry is never split: "PATH > MEMBER [E] REASON".
struct ArchiveWalk {
    const ScanContext* context;
    std::vector<std::wstring> members, reasons;
};

// The walk of a large archive polls here between blocks: a pause waits, a
// stop ends it.
bool keepScanning(void* walk) {
    const ScanContext& context = *static_cast<ArchiveWalk*>(walk)->context;
    while (context.pause->load()) Sleep(100);
    return !context.stop->load();
}

void noteNotExamined(void* walk, const char* member, ArchiveProblem problem, const char* detail) {
    ArchiveWalk& w = *static_cast<ArchiveWalk*>(walk);
    std::string reason = archiveProblemText(problem);
    if (detail[0] != 0) reason += std::string(" ") + detail;
    w.members.push_back(memberText(member));
    w.reasons.push_back(memberText(reason.c_str()));
}

void reportNotExamined(const ScanContext& context, const wchar_t* path, const ArchiveWalk& walk) {
    for (size_t i = 0; i < walk.members.size(); ++i) {
        std::wstring entry = path;
        if (!walk.members[i].empty()) entry += L" > " + walk.members[i];
        reportWritePath(*context.report, entry.c_str());
        reportWriteResult(*context.report, kReportError, walk.reasons[i].c_str());
    }
}

void reportDetection(const ScanContext& context, const wchar_t* name, const wchar_t* path, const MatchResult& result,
                     const char* member) {
    HWND lines = GetDlgItem(context.mainWindow, kInfectedLinesId);
    HWND list = lines ? nullptr : GetDlgItem(context.mainWindow, kScanListId);

    std::wstring itemText = std::wstring(name) + L" (" + path + L")";
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_STATE;
    item.iItem = int(context.report->s_nInfected.load());
    item.pszText = itemText.data();
    int index = list ? int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item))) : -1;

    // The list shows the bare virus name, or the variant wording; the report
    // says "is infected by", or the variant wording; " (exact)" ends both.
    std::wstring exact = levelHas(context, kLevelExact) ? text(context, 8303) : std::wstring();
    std::wstring variant = levelHas(context, kLevelVariantWording) ? formatWithName(context, 8302, result.virusName) : std::wstring();
    wchar_t bare[1025];
    wsprintfW(bare, L"%S", result.virusName ? result.virusName : "");
    std::wstring shown = (levelHas(context, kLevelVariantWording) ? variant : std::wstring(bare)) + exact;
    if (index >= 0) {
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = shown.data();
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&sub));
    }

    std::wstring reportText = (levelHas(context, kLevelVariantWording) ? variant : formatWithName(context, 8301, result.virusName)) + exact;
    if (lines) listInfectedLine(context, lines, name, path, reportText);
    if (!levelHas(context, kLevelAllFiles)) reportWritePath(*context.report, path);
    // Inside an archive, the entry names the member: "PATH > MEMBER [L] ...".
    if (member[0] != 0) reportWritePath(*context.report, (L" > " + memberText(member)).c_str());
    reportWriteResult(*context.report, levelHas(context, kLevelVariantWording) ? kReportVariant : kReportInfected,
                      reportText.c_str());

    ++context.report->s_nInfected;
    if (!(result.recordFlags & 1)) ++context.report->s_nInfectedOpen;
}

void scanOneFile(const ScanContext& context, const wchar_t* name, const wchar_t* path, MatchResult& result) {
    if (levelHas(context, kLevelAllFiles)) reportWritePath(*context.report, path);
    ArchiveWalk walk{&context, {}, {}};
    ArchiveVerdict verdict;
    Status status;
    if (context.scanArchives) {
        ArchiveEvents events;
        events.context = &walk;
        events.keepGoing = keepScanning;
        events.notExamined = noteNotExamined;
        status = scanFileWithArchives(path, &result, events, verdict);
    } else {
        status = scanFile(path, &result);
    }
    // A file that vanished since it was listed has nothing left to scan. A
    // protected file was never examined: that is an error, not a clean file.
    if (status == ERROR_FILE_NOT_FOUND || (status == kStatusOk && result.recordNumber == 0)) {
        if (levelHas(context, kLevelAllFiles)) reportWriteResult(*context.report, kReportClean, text(context, 8300).c_str());
    } else if (status != kStatusOk) {
        reportError(context, path, status);
    } else {
        reportDetection(context, name, path, result, verdict.member);
    }
    reportNotExamined(context, path, walk);
}

void waitWhilePaused(const ScanContext& context) {
    while (context.pause->load()) Sleep(100);
}

// A folder or file whose full path does not fit the walk's buffer is not
// scanned under a cut name; with the errors bit it is reported as an error.
void reportTooLong(const ScanContext& context, const wchar_t* folder, const wchar_t* name) {
    std::wstring path = std::wstring(folder) + name;
    if (levelHas(context, kLevelAllFiles)) reportWritePath(*context.report, path.c_str());
    reportError(context, path.c_str(), ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace

Status scanDirectory(const ScanContext& context, const wchar_t* directory, MatchResult& result) {
    if (context.stop->load()) return kStatusOk;
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
            showProgress(context, path);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ++context.report->s_nScanned;
                size_t nameLength = wcslen(found.cFileName);
                if (folderLength + nameLength + 1 > kScanPathCapacity) {
                    reportTooLong(context, directory, found.cFileName);
                } else {
                    wcscpy(path + folderLength, found.cFileName);
                    scanOneFile(context, found.cFileName, path, result);
                }
            }
            waitWhilePaused(context);
            if (context.stop->load()) break;
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
            if (levelHas(context, kLevelErrors)) reportTooLong(context, directory, found.cFileName);
            continue;
        }
        wchar_t sub[kScanPathCapacity];
        wcscpy(sub, directory);
        wcscpy(sub + folderLength, found.cFileName);
        wcscpy(sub + folderLength + nameLength, L"\\");
        if (context.storageCard || !isStorageCard(sub)) scanDirectory(context, sub, result);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return kStatusOk;
}

DWORD WINAPI scanThread(LPVOID argument) {
    const ScanContext& context = *static_cast<const ScanContext*>(argument);
    MatchResult result{};
    result.recordNumber = 0;
    reportBegin(*context.report, L"report.txt");
    *context.pause = 0;
    *context.stop = 0;
    scanDirectory(context, L"\\", result);
    showProgress(context, L"");
    reportEnd(*context.report);
    bool listStays = false;
    if (context.report->s_nInfected.load() == 0) {
        SendMessageW(context.mainWindow, WM_SCAN_DONE, 0, 0);
    } else if (GetDlgItem(context.mainWindow, kInfectedLinesId)) {
        SetDlgItemTextW(context.mainWindow, kScanCurrentFileId, text(context, 8215).c_str());
        SendMessageW(context.mainWindow, WM_SHOW_INFECTED, 0, 0);
    } else {
        SetDlgItemTextW(context.mainWindow, kScanCurrentFileId, text(context, 8215).c_str());
        SetDlgItemTextW(context.mainWindow, kScanCancelId, text(context, 8214).c_str());
        listStays = true;
    }
    *context.stop = 1;
    *context.thread = nullptr;
    if (listStays) PostMessageW(context.mainWindow, WM_SCAN_FINISHED, 0, 0);
    return 0;
}
