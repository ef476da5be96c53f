// What a program around the update provides, as plain doubles for the tests
// of the update alone; the log stays closed. The binding table is the
// program's own (base/binding.cpp); the process search is either the real
// one or process_doubles.cpp.
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

void showProcessSearchMessage(const wchar_t*) {}

void updateReportNoNewVersion(uint32_t) { ++doubles::noNewVersionReports; }

bool updateRunsInMonitor() { return false; }
