// zbMonitor: the windowless program that runs automatic updates. It binds its
// libraries, reads the setting, acknowledges its start to the boot, and then
// (setting on, no other monitor) runs the worker and a one-second timer on a
// message loop.
#include <windows.h>

#include <cwchar>

#include "ce_boot.h"
#include "log/diaglog.h"
#include "monitor/auto_update.h"
#include "monitor/binding.h"
#include "monitor/monitor.h"
#include "settings/process_search.h"

uint8_t s_bAutoUpdate = 0;

// Never opened: the monitor keeps no diagnostic log, so its update operations
// write no log lines.
DiagnosticLog g_log;

namespace {

constexpr wchar_t kCaption[] = L"zerbin! antivirus";

void showStop(const wchar_t* text) { MessageBoxW(nullptr, text, kCaption, MB_ICONHAND); }

void showStop(const char* text) {
    wchar_t wide[256];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256);
    showStop(wide);
}

}  // namespace

void showProcessSearchMessage(const wchar_t* text) { showStop(text); }

bool startCheckThread() {
    if (isProcessRunning(L"zbMonitor.exe")) return false;
    HANDLE worker = CreateThread(nullptr, 0, checkThread, nullptr, 0, nullptr);
    if (!worker) return false;
    CloseHandle(worker);
    return true;
}

void CALLBACK monitorTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    loadAutoUpdate(s_bAutoUpdate);
    if (s_bAutoUpdate == 0) TerminateProcess(GetCurrentProcess(), 0);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    if (const char* failure = bindMonitorLibraries()) {
        showStop(failure);
        return 0;
    }
    s_bAutoUpdate = 0;
    loadAutoUpdate(s_bAutoUpdate);
    SignalStarted(static_cast<DWORD>(_wtol(commandLine ? commandLine : L"")));
    if (!monitorShouldRun(s_bAutoUpdate)) return 0;
    if (!startCheckThread()) return 0;

    SetTimer(nullptr, 0, 1000, monitorTimerProc);
    MSG message;
    // An error from the loop (-1) ends it as a quit does, rather than spin.
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_CLOSE) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
