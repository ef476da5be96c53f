// A process search that never finds a process, for the update's tests that
// must not touch the programs running on the device.
#include "settings/process_search.h"
#include "update/tests/update_doubles.h"

HANDLE findProcess(const wchar_t*) {
    ++doubles::processSearches;
    return nullptr;
}

bool isProcessRunning(const wchar_t*) {
    ++doubles::processSearches;
    return false;
}
