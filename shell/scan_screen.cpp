// Scan screen: starts the scan thread and shows its progress, the counts and
// the list of infected files; Delete and Cancel/Done below.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>

#include "base/edition.h"
#include "engine/report.h"
#include "engine/scan.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/handheld_layout.h"
#include "shell/item_path.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/msgbox.h"
#include "shell/screens.h"

namespace {

// The scan thread clears s_hScanThread itself when it ends; this keeps the
// handle so that the user interface can wait for the thread to be gone.
class ScanThreadHandle {
public:
    ~ScanThreadHandle() { reset(nullptr); }
    void reset(HANDLE handle) {
        if (handle_) CloseHandle(handle_);
        handle_ = handle;
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

ScanThreadHandle g_scanThread;
// What the scan thread is handed; it reads it until it ends.
ScanContext g_scanContext;

void createListView(HWND window, const ScreenMetrics& m) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    ControlPlace place = kHasLandscapeScreens ? layout::handheld::scanList(m) : layout::scanList(m);
    HWND list = createControl(window, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                  LVS_SHOWSELALWAYS,
                              place, kScanList);
    if (!list) return;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const int widths[2] = {layout::scanFirstColumnWidth(m, place.width), layout::scanSecondColumnWidth(m, place.width)};
    for (int column = 0; column < 2; ++column) {
        std::wstring header = lang.GetString(column == 0 ? 8203 : 8204);
        LVCOLUMNW c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        c.fmt = LVCFMT_LEFT;
        c.cx = widths[column];
        c.pszText = header.data();
        c.iSubItem = column;
        if (SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c)) < 0) {
            // Without its columns the list cannot show anything: the screen
            // goes on without it, and the scan's insertions have no effect.
            DestroyWindow(list);
            return;
        }
    }
}

}  // namespace

void startScanThread() {
    g_config.s_report.text = languageText;
    g_scanContext = {g_config.s_nReportLevel, g_config.s_bStorageCard != 0, &g_config.s_bPauseScan,
                     &g_config.s_bStopScan,   &g_config.s_hScanThread,     &g_config.s_szCurrentFile,
                     g_config.s_hMainWnd,     &g_config.s_report};
    g_scanContext.scanArchives = g_config.s_bScanArchives != 0;
    DWORD id = 0;
    // Suspended until its handle is stored: the thread clears s_hScanThread
    // when it ends, and must never find it still unset.
    HANDLE thread = CreateThread(nullptr, 0, scanThread, &g_scanContext, CREATE_SUSPENDED, &id);
    if (!thread) {
        DWORD error = GetLastError();
        ShowErrorBox(lang.GetString(8501), error);
        return;
    }
    g_scanThread.reset(thread);
    g_config.s_hScanThread = thread;
    ResumeThread(thread);
}

void updateScanProgress(HWND window) {
    if (g_config.s_bPauseScan.load()) return;
    wchar_t current[ProgressText::kCapacity];
    g_config.s_szCurrentFile.copyTo(current, ProgressText::kCapacity);
    if (wcsstr(current, L"*.*")) return;
    SetDlgItemTextW(window, kScanCurrentFile, current);
    wchar_t count[16];
    wsprintfW(count, L"%d", static_cast<int>(g_config.s_report.s_nScanned.load()));
    SetDlgItemTextW(window, kScanScanned, count);
    wsprintfW(count, L"%d", static_cast<int>(g_config.s_report.s_nInfected.load()));
    SetDlgItemTextW(window, kScanInfected, count);
}

void buildScanScreen(HWND window) {
    g_config.s_nScreen = kScreenScan;
    const bool first = GetDlgItem(window, kScanCurrentFile) == nullptr;
    if (first) resetCounters(g_config.s_report);
    const ScreenMetrics& m = g_config.s_metrics;
    const int h = m.lineHeight;
    const DWORD style = WS_CHILD | WS_VISIBLE;
    int scannedLabelWidth = 0;
    {
        ScreenDC dc(window);
        drawText(dc.get(), m.leftMargin, h, lang.GetString(8200), kTextBlack);
        if (first) createControl(window, L"STATIC", L"", style, layout::scanCurrentFile(m), kScanCurrentFile);
        std::wstring scannedLabel = lang.GetString(8201);
        drawText(dc.get(), m.leftMargin, 5 * h, scannedLabel.c_str(), kTextBlack);
        scannedLabelWidth = textWidth(dc.get(), scannedLabel.c_str());
        if (first) createControl(window, L"STATIC", L"", style, layout::scanScannedCount(m, scannedLabelWidth), kScanScanned);
        drawText(dc.get(), m.leftMargin, 6 * h, lang.GetString(8202), kTextBlack);
    }
    if (first) {
        createControl(window, L"STATIC", L"", style, layout::scanInfectedCount(m, scannedLabelWidth), kScanInfected);
        createListView(window, m);
        createControl(window, L"BUTTON", lang.GetString(kScanDelete), style | WS_DISABLED,
                      kHasLandscapeScreens ? layout::handheld::scanDelete(m) : layout::scanDelete(m), kScanDelete);
        createControl(window, L"BUTTON", lang.GetString(kScanCancel), style,
                      kHasLandscapeScreens ? layout::handheld::scanCancel(m) : layout::scanCancel(m), kScanCancel);
        focusControl(window, kScanCancel);
    }
    // Once the scan has ended its last progress stands: a repaint must not
    // put the emptied current file over "Finished".
    if (first || g_config.s_hScanThread.load()) updateScanProgress(window);
    if (first) startScanThread();
}

void tearDownScanScreen(HWND window) {
    for (int id : {kScanCurrentFile, kScanDelete, kScanCancel, kScanList, kScanScanned, kScanInfected}) {
        destroyControl(window, id);
    }
    ScreenDC dc(window);
    clearClient(dc.get(), g_config.s_metrics);
    ValidateRect(window, nullptr);
}

bool waitForScanThread(DWORD timeoutMs) {
    HANDLE thread = g_scanThread.get();
    if (!thread) return true;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        // The thread may be sending to this window (progress, end of scan):
        // serve those sends while waiting, or both threads would wait forever.
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (r == WAIT_FAILED) {
            return false;
        }
    }
}

std::wstring focusedItemPath(HWND window, int* index) {
    HWND list = GetDlgItem(window, kScanList);
    *index = list ? static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED)) : -1;
    if (*index < 0) return {};
    wchar_t text[513] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(*index), reinterpret_cast<LPARAM>(&item));
    return std::wstring(pathFromItemText<wchar_t>(std::wstring_view(text)));
}

void chooseInfectedItem(HWND window) {
    if (!g_config.s_bStopScan.load() || g_config.s_hScanThread.load() != nullptr) return;
    int index = -1;
    std::wstring path = focusedItemPath(window, &index);
    if (index < 0) return;
    MatchResult result{};
    // The re-check sees what the scan saw: an archive's members too.
    ArchiveVerdict verdict;
    Status status = g_config.s_bScanArchives ? scanFileWithArchives(path.c_str(), &result, ArchiveEvents{}, verdict)
                                             : scanFile(path.c_str(), &result);
    HWND remove = GetDlgItem(window, kScanDelete);
    EnableWindow(remove, status == kStatusOk);
    SetWindowTextW(remove, lang.GetString(kScanDelete));
}
