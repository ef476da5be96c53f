#include "base/binding.h"

#include "base/binding_entries.h"
#include "base/edition.h"

PlatformEntries g_api;

const char* bindPlatformLibraries() {
    LoaderResolver loader(true);
    if (kBindsConnectionManager) {
        void* slots[kCellCoreSlots];
        if (const char* failure = bindLibrary(kCellCoreLibrary, loader, slots)) return failure;
        takeCellCoreEntries(g_api, slots);
    }
    {
        void* slots[kWinInetSlots];
        if (const char* failure = bindLibrary(kWinInetLibrary, loader, slots)) return failure;
        takeWinInetEntries(g_api, slots);
        takeOptionalWinInetEntries(g_api, loader);
    }
    if (kBindsShell) {
        void* slots[kAygShellSlots];
        if (const char* failure = bindLibrary(kAygShellLibrary, loader, slots)) return failure;
        takeAygShellEntries(g_api, slots);
    }
    return nullptr;
}
