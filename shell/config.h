#pragma once
// g_config: the one global state object of the main program.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <mutex>

#include "engine/report.h"
#include "shell/metrics.h"

// The progress path that the scan thread writes and the scan screen shows.
// Copied under a lock so that the screen never shows a half-written path.
class ProgressText {
public:
    static constexpr size_t kCapacity = 512;

    void set(const wchar_t* text) {
        std::lock_guard<std::mutex> hold(lock_);
        wcsncpy(text_, text ? text : L"", kCapacity - 1);
        text_[kCapacity - 1] = 0;
    }
    void copyTo(wchar_t* out, size_t capacity) const {
        if (capacity == 0) return;
        std::lock_guard<std::mutex> hold(lock_);
        wcsncpy(out, text_, capacity - 1);
        out[capacity - 1] = 0;
    }

private:
    mutable std::mutex lock_;
    wchar_t text_[kCapacity] = {};
};

struct Config {
    Config();  // the defaults; out of line, so that g_config is built in its place among the globals

    // Settings, persisted in the settings key.
    uint32_t s_nReportLevel;
    uint8_t s_bStorageCard;
    uint32_t s_nLanguage;
    uint8_t s_bAutoUpdate;

    // Scan hand-over between the user-interface thread and the scan thread.
    std::atomic<HANDLE> s_hScanThread;
    std::atomic<uint8_t> s_bPauseScan;
    std::atomic<uint8_t> s_bStopScan;
    ProgressText s_szCurrentFile;
    ScanReport s_report;  // the report writer's state with the scan counters

    int s_nScreen;  // 0 main, 1 scan, 2 settings, 3 report (4 infected files: Smartphone)
    HWND s_hMainWnd;
    uint32_t s_nEngineError;
    ScreenMetrics s_metrics;
};

extern Config g_config;
