#include "shell/update_command.h"

#include <windows.h>

#include "base/binding.h"
#include "base/edition.h"
#include "shell/msgbox.h"
#include "update/update.h"

namespace {

constexpr uint32_t kTextNoNewVersion = 8511;
constexpr uint32_t kTextNoConnection = 8512;

// Fetches the version file and, when it offers a newer package, the package;
// a package that installs ends the program inside.
void downloadAndInstall(HINTERNET internet) {
    updateRegistry();  // the check counts whatever the download brings
    if (downloadVersionFile(internet, modeInteractive)) downloadDataFile(internet, modeInteractive);
    g_api.InternetCloseHandle(internet);
}

// Pocket PC and Smartphone: on line through the connection manager.
void updateThroughConnectionManager(HCURSOR previous) {
    wchar_t proxyName[kProxyNameCapacity] = {};
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    HANDLE connection = updateGetConnectType(modeUnattended, proxyName, &accessType);
    if (connection == nullptr) {
        AskUser(kTextNoConnection, MB_ICONSTOP);
        SetCursor(previous);
        return;
    }
    HINTERNET internet = updateConnect(modeInteractive, proxyName, accessType);
    if (internet == nullptr) {
        SetCursor(previous);
        AskUser(kTextNoConnection, MB_ICONSTOP);
    } else {
        downloadAndInstall(internet);
    }
    g_api.ConnMgrReleaseConnection(connection, 1);
    SetCursor(previous);
}

// WM5 and Handheld PC: the device's own Internet settings, then direct.
void updateWithoutConnectionManager(HCURSOR previous) {
    HINTERNET internet = updateConnect(modeInteractive);
    if (internet == nullptr) {
        SetCursor(previous);
        AskUser(kTextNoConnection, MB_ICONSTOP);
        return;
    }
    downloadAndInstall(internet);
    SetCursor(previous);
}

}  // namespace

void runUpdateCommand() {
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if constexpr (kUpdateUsesConnectionManager) {
        updateThroughConnectionManager(previous);
    } else {
        updateWithoutConnectionManager(previous);
    }
}

// ---- what zerbin provides to the update ----

void updateReportNoNewVersion(uint32_t mode) {
    if (mode & modeInteractive) AskUser(kTextNoNewVersion, MB_ICONINFORMATION);
}

bool updateRunsInMonitor() { return false; }
