#include "settings/process_search.h"

#include <cwchar>

#include "ce_toolhelp.h"

namespace {

// The tool-help library is loaded for one search only and freed before the
// search returns, so a device without it costs nothing between searches.
class ToolhelpLibrary {
public:
    ToolhelpLibrary() : module_(LoadLibraryW(L"TOOLHELP.DLL")) {}
    ~ToolhelpLibrary() {
        if (module_) FreeLibrary(module_);
    }
    ToolhelpLibrary(const ToolhelpLibrary&) = delete;
    ToolhelpLibrary& operator=(const ToolhelpLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }

    template <typename Fn>
    Fn entry(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

}  // namespace

HANDLE findProcess(const wchar_t* exeName) {
    ToolhelpLibrary library;
    if (!library.loaded()) {
        showProcessSearchMessage(L"Couldn't find TOOLHELP.DLL library.");
        return nullptr;
    }
    auto createSnapshot = library.entry<PFN_CreateToolhelp32Snapshot>("CreateToolhelp32Snapshot");
    auto closeSnapshot = library.entry<PFN_CloseToolhelp32Snapshot>("CloseToolhelp32Snapshot");
    auto first = library.entry<PFN_Process32First>("Process32First");
    auto next = library.entry<PFN_Process32Next>("Process32Next");
    const wchar_t* missing = !createSnapshot  ? L"Couldn't find CreateToolhelp32Snapshot function in TOOLHELP.DLL."
                             : !closeSnapshot ? L"Couldn't find CloseToolhelp32Snapshot function in TOOLHELP.DLL."
                             : !first         ? L"Couldn't find Process32First function in TOOLHELP.DLL."
                             : !next          ? L"Couldn't find Process32Next function in TOOLHELP.DLL."
                                              : nullptr;
    if (missing) {
        showProcessSearchMessage(missing);
        return nullptr;
    }

    HANDLE snapshot = createSnapshot(CE_TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return nullptr;
    const DWORD self = GetCurrentProcessId();
    HANDLE found = nullptr;
    CE_PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0 && entry.th32ProcessID != self) {
            found = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            break;
        }
    }
    closeSnapshot(snapshot);
    return found;
}

bool isProcessRunning(const wchar_t* exeName) {
    HANDLE process = findProcess(exeName);
    if (!process) return false;
    CloseHandle(process);
    return true;
}
