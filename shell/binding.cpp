#include "shell/binding.h"

#include "editions/edition.h"
#include "shell/binding_plan.h"

PlatformEntries g_api;

namespace {

// Binds through the platform loader. Libraries are never freed: the entries
// must stay valid for the life of the process.
class LoaderResolver : public BindingResolver {
public:
    bool load(const wchar_t* file) override {
        module_ = LoadLibraryW(file);
        return module_ != nullptr;
    }
    void* byName(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
    void* byOrdinal(uint16_t ordinal) override {
        return reinterpret_cast<void*>(GetProcAddress(module_, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
    }

private:
    HMODULE module_ = nullptr;
};

template <typename Fn>
void take(Fn& target, void* entry) {
    target = reinterpret_cast<Fn>(entry);
}

}  // namespace

const char* bindPlatformLibraries() {
    LoaderResolver loader;
    if (kBindsConnectionManager) {
        void* slots[kCellCoreSlots];
        if (const char* failure = bindLibrary(kCellCoreLibrary, loader, slots)) return failure;
        take(g_api.ConnMgrReleaseConnection, slots[kConnMgrReleaseConnection]);
        take(g_api.ConnMgrProviderMessage, slots[kConnMgrProviderMessage]);
        take(g_api.ConnMgrConnectionStatus, slots[kConnMgrConnectionStatus]);
        take(g_api.ConnMgrEstablishConnection, slots[kConnMgrEstablishConnection]);
        take(g_api.ConnMgrMapURL, slots[kConnMgrMapURL]);
    }
    {
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
    if (kBindsShell) {
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
