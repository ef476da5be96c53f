#include "monitor/binding.h"

#include <windows.h>

#include "editions/edition.h"
#include "shell/binding.h"
#include "shell/binding_plan.h"

PlatformEntries g_api;

namespace {

// The monitor looks its entries up by name only: an entry exported by
// ordinal alone counts as missing.
class ByNameResolver : public BindingResolver {
public:
    bool load(const wchar_t* file) override {
        module_ = LoadLibraryW(file);
        return module_ != nullptr;
    }
    void* byName(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
    void* byOrdinal(uint16_t) override { return nullptr; }

private:
    HMODULE module_ = nullptr;
};

template <typename Fn>
void take(Fn& target, void* entry) {
    target = reinterpret_cast<Fn>(entry);
}

}  // namespace

const char* bindMonitorLibraries() {
    {
        ByNameResolver loader;
        void* slots[kWinInetSlots];
        if (const char* failure = bindLibrary(kWinInetLibrary, loader, slots)) return failure;
        take(g_api.InternetOpenW, slots[kInternetOpenW]);
        take(g_api.InternetConnectW, slots[kInternetConnectW]);
        take(g_api.HttpSendRequestW, slots[kHttpSendRequestW]);
        take(g_api.HttpOpenRequestW, slots[kHttpOpenRequestW]);
        take(g_api.HttpQueryInfoW, slots[kHttpQueryInfoW]);
        take(g_api.InternetCloseHandle, slots[kInternetCloseHandle]);
        take(g_api.InternetReadFile, slots[kInternetReadFile]);
        take(g_api.InternetQueryDataAvailable, slots[kInternetQueryDataAvailable]);
    }
    // Required though never called: a device of these editions always has the
    // shell library. A Handheld PC has none, so its monitor leaves it alone
    // rather than stop at every boot.
    if (kBindsShell) {
        ByNameResolver loader;
        void* slots[kAygShellSlots];
        if (const char* failure = bindLibrary(kAygShellLibrary, loader, slots)) return failure;
        take(g_api.SHDoneButton, slots[kSHDoneButton]);
        take(g_api.SHFullScreen, slots[kSHFullScreen]);
        take(g_api.SHHandleWMActivate, slots[kSHHandleWMActivate]);
        take(g_api.SHCreateMenuBar, slots[kSHCreateMenuBar]);
        take(g_api.SHFindMenuBar, slots[kSHFindMenuBar]);
    }
    return nullptr;
}
