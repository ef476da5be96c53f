#include "base/binding_entries.h"

namespace {

template <typename Fn>
void take(Fn& target, void* entry) {
    target = reinterpret_cast<Fn>(entry);
}

}  // namespace

bool LoaderResolver::load(const wchar_t* file) {
    module_ = LoadLibraryW(file);
    return module_ != nullptr;
}

void* LoaderResolver::byName(const char* name) { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }

void* LoaderResolver::byOrdinal(uint16_t ordinal) {
    if (!byOrdinal_) return nullptr;  // an entry exported by ordinal alone counts as missing
    return reinterpret_cast<void*>(GetProcAddress(module_, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal))));
}

void takeCellCoreEntries(PlatformEntries& entries, void* const* slots) {
    take(entries.ConnMgrReleaseConnection, slots[kConnMgrReleaseConnection]);
    take(entries.ConnMgrProviderMessage, slots[kConnMgrProviderMessage]);
    take(entries.ConnMgrConnectionStatus, slots[kConnMgrConnectionStatus]);
    take(entries.ConnMgrEstablishConnection, slots[kConnMgrEstablishConnection]);
    take(entries.ConnMgrMapURL, slots[kConnMgrMapURL]);
}

void takeWinInetEntries(PlatformEntries& entries, void* const* slots) {
    take(entries.InternetOpenW, slots[kInternetOpenW]);
    take(entries.InternetConnectW, slots[kInternetConnectW]);
    take(entries.HttpSendRequestW, slots[kHttpSendRequestW]);
    take(entries.HttpOpenRequestW, slots[kHttpOpenRequestW]);
    take(entries.HttpQueryInfoW, slots[kHttpQueryInfoW]);
    take(entries.InternetCloseHandle, slots[kInternetCloseHandle]);
    take(entries.InternetReadFile, slots[kInternetReadFile]);
    take(entries.InternetQueryDataAvailable, slots[kInternetQueryDataAvailable]);
}

void takeOptionalWinInetEntries(PlatformEntries& entries, LoaderResolver& loader) {
    take(entries.InternetSetOptionW, loader.byName("InternetSetOptionW"));
}

void takeAygShellEntries(PlatformEntries& entries, void* const* slots) {
    take(entries.SHDoneButton, slots[kSHDoneButton]);
    take(entries.SHFullScreen, slots[kSHFullScreen]);
    take(entries.SHHandleWMActivate, slots[kSHHandleWMActivate]);
    take(entries.SHCreateMenuBar, slots[kSHCreateMenuBar]);
    take(entries.SHFindMenuBar, slots[kSHFindMenuBar]);
}
