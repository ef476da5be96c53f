#pragma once
// The scan report "report.txt": header, one line per reported file, footer.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/status.h"

// The report writer's state, one instance in g_config. The file is open only
// while one piece of the report is written. The counters are written by the
// scan thread and read by the scan screen, so they are atomic.
struct ScanReport {
    HANDLE file = nullptr;
    uint32_t headerLength = 0;  // bytes of the title line; sets both rules of dashes
    std::atomic<uint32_t> s_nScanned{0};
    std::atomic<uint32_t> s_nInfected{0};
    std::atomic<uint32_t> s_nUnknown{0};
    std::atomic<uint32_t> s_nInfectedOpen{0};
    std::atomic<uint32_t> s_nRenamed{0};
    std::atomic<uint32_t> s_nDeleted{0};
    SYSTEMTIME startTime{};
    SYSTEMTIME endTime{};
    wchar_t path[512] = {};
};
