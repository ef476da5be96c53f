// The monitor's start at boot through a shortcut "zbMonitor.lnk" in the
// platform's Startup folder, whose shortcuts the platform runs at boot. This
// edition leaves the boot start list "Init" alone.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <iterator>

#include "base/edition.h"
#include "engine/fileio.h"
#include "settings/autostart.h"
#include "settings/monitor_path.h"
#include "settings/process_search.h"
#include "settings/shortcut_text.h"

static_assert(kAutostartByShortcut, "this edition starts the monitor from the boot start list");

namespace {

constexpr wchar_t kShortcutName[] = L"\\zbMonitor.lnk";

// The shortcut's path; false when the platform names no Startup folder.
bool shortcutPath(wchar_t (&path)[MAX_PATH + std::size(kShortcutName)]) {
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_STARTUP, TRUE)) return false;
    wcscat(path, kShortcutName);
    return true;
}

void writeShortcut(const wchar_t* shortcut, const wchar_t* monitor) {
    FileHandle file;
    if (file.open(shortcut, kFileCreateUpdate) != 0) return;
    char target[kMonitorPathCapacity * 2];
    const int targetLength =
        WideCharToMultiByte(CP_ACP, 0, monitor, -1, target, sizeof target, nullptr, nullptr) - 1;
    if (targetLength < 0) return;
    char content[kShortcutTextCapacity];
    const size_t length = shortcutText(target, static_cast<size_t>(targetLength), content);
    uint32_t written = 0;
    fileWrite(file.get(), content, static_cast<uint32_t>(length), &written);
}

}  // namespace

void monitorAutostart(bool autoUpdate) {
    wchar_t shortcut[MAX_PATH + std::size(kShortcutName)];
    const bool haveShortcut = shortcutPath(shortcut);
    if (autoUpdate) {
        wchar_t monitor[kMonitorPathCapacity];
        if (!monitorPath(monitor)) return;
        // A shortcut that cannot be written costs only the start at the next boot.
        if (haveShortcut) writeShortcut(shortcut, monitor);
        if (!isProcessRunning(kMonitorExeName)) startMonitor(monitor);
    } else {
        if (haveShortcut) fileDelete(shortcut, true);
        endMonitor();
    }
}
