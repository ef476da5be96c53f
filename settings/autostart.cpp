// The monitor's start at boot through the boot start list "Init" of
// HKEY_LOCAL_MACHINE: one "Launch%d" value between 51 and 99 names it while
// automatic updates are on. Numbers below 51 belong to the platform.
#include "settings/autostart.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

#include "base/edition.h"
#include "settings/monitor_path.h"
#include "settings/process_search.h"
#include "settings/registry.h"

static_assert(!kAutostartByShortcut, "this edition starts the monitor by a Startup shortcut");

namespace {

constexpr int kFirstLaunchNumber = 99;
constexpr int kLastLaunchNumber = 51;
constexpr DWORD kLaunchValueCapacity = 1024;  // bytes

void launchValueName(int number, wchar_t (&name)[16]) { swprintf(name, std::size(name), L"Launch%d", number); }

enum class LaunchValue { Absent, Monitor, Other };

// A value that exists but cannot be read whole (too long, say) is another
// program's: only an absent number is free.
LaunchValue readLaunchValue(RegistryKey& init, const wchar_t* name, const wchar_t* monitor) {
    wchar_t value[kLaunchValueCapacity / sizeof(wchar_t) + 1] = {};
    DWORD size = kLaunchValueCapacity;
    const Status status = init.QueryValue(value, name, &size);
    if (status == ERROR_FILE_NOT_FOUND) return LaunchValue::Absent;
    if (status != 0) return LaunchValue::Other;
    value[size / sizeof(wchar_t)] = 0;  // a stored value need not carry its terminator
    return wcscmp(value, monitor) == 0 ? LaunchValue::Monitor : LaunchValue::Other;
}

void registerMonitor() {
    RegistryKey init;
    if (init.Open(HKEY_LOCAL_MACHINE, L"Init", KEY_ALL_ACCESS) != 0) return;
    wchar_t monitor[kMonitorPathCapacity];
    if (!monitorPath(monitor)) return;
    for (int number = kFirstLaunchNumber; number >= kLastLaunchNumber; --number) {
        wchar_t name[16];
        launchValueName(number, name);
        const LaunchValue value = readLaunchValue(init, name, monitor);
        if (value == LaunchValue::Absent) {
            init.SetString(monitor, name);
            break;
        }
        if (value == LaunchValue::Monitor) break;
    }
    init.Close();
    if (!isProcessRunning(kMonitorExeName)) startMonitor(monitor);
}

void unregisterMonitor() {
    RegistryKey init;
    if (init.Open(HKEY_LOCAL_MACHINE, L"Init", KEY_ALL_ACCESS) != 0) return;
    wchar_t monitor[kMonitorPathCapacity];
    if (monitorPath(monitor)) {
        for (int number = kFirstLaunchNumber; number >= kLastLaunchNumber; --number) {
            wchar_t name[16];
            launchValueName(number, name);
            if (readLaunchValue(init, name, monitor) == LaunchValue::Monitor) RegDeleteValueW(init.handle(), name);
        }
    }
    endMonitor();
    init.Close();
}

}  // namespace

void monitorAutostart(bool autoUpdate) {
    if (autoUpdate) {
        registerMonitor();
    } else {
        unregisterMonitor();
    }
}
