// What the update operations ask of the program they run in: the monitor.
#include "update/update.h"

void updateReportNoNewVersion(uint32_t mode) { updateErrorBox(mode, L"No new version is available."); }

bool updateRunsInMonitor() { return true; }
