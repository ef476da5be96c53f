// What a program around the update provides, as plain doubles for the tests
// of the update alone: no process is ever found and the log stays closed.
// The binding table is the program's own (shell/binding.cpp).
#include <windows.h>

#include "log/diaglog.h"
#include "settings/process_search.h"
#include "update/update.h"
#include "update/tests/update_doubles.h"

DiagnosticLog g_log;

namespace doubles {
int processSearches = 0;
int noNewVersionReports = 0;
}  // namespace doubles

HANDLE findProcess(const wchar_t*) {
    ++doubles::processSearches;
    return nullptr;
}

bool isProcessRunning(const wchar_t*) {
    ++doubles::processSearches;
    return false;
}

void showProcessSearchMessage(const wchar_t*) {}

void updateReportNoNewVersion(uint32_t) { ++doubles::noNewVersionReports; }

bool updateRunsInMonitor() { return false; }
