#include "monitor/binding.h"

#include <windows.h>

#include "base/binding.h"
#include "base/binding_entries.h"
#include "base/edition.h"

PlatformEntries g_api;

const char* bindMonitorLibraries() {
    {
        // The monitor looks its entries up by name only.
        LoaderResolver loader(false);
        void* slots[kWinInetSlots];
        if (const char* failure = bindLibrary(kWinInetLibrary, loader, slots)) return failure;
        takeWinInetEntries(g_api, slots);
        takeOptionalWinInetEntries(g_api, loader);
    }
    // Required though never called: a device of these editions always has the
    // shell library. A Handheld PC has none, so its monitor leaves it alone
    // rather than stop at every boot.
    if (kBindsShell) {
        LoaderResolver loader(false);
        void* slots[kAygShellSlots];
        if (const char* failure = bindLibrary(kAygShellLibrary, loader, slots)) return failure;
        takeAygShellEntries(g_api, slots);
    }
    return nullptr;
}
