#pragma once
// g_config: the one global state object of the main program.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/report.h"
#include "engine/scan.h"
#include "settings/settings_store.h"
#include "shell/metrics.h"

// The settings (persisted in the settings key) come first, as the store
// keeps them.
struct Config : StoredSettings {
    Config();  // the defaults; out of line, so that g_config is built in its place among the globals

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
