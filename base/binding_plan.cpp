#include "base/binding_plan.h"

#include <algorithm>
#include <array>

namespace {

constexpr BindingEntry kCellCoreEntries[] = {
    {"ConnMgrReleaseConnection", 122, "ConnMgrReleaseConnection fn was NOT found in CellCore.dll", 0},
    {"ConnMgrProviderMessage", 124, "ConnMgrProviderMessage fn was NOT found in CellCore.dll", 1},
    {"ConnMgrConnectionStatus", 121, "ConnMgrConnectionStatus fn was NOT found in CellCore.dll", 2},
    {"ConnMgrEstablishConnection", 120, "ConnMgrEstablishConnection fn was NOT found in CellCore.dll", 3},
    {"ConnMgrMapURL", 128, "ConnMgrMapURL fn was NOT found in CellCore.dll", 4},
};

// The Internet entries are tested in another order than they are looked up.
constexpr BindingEntry kWinInetEntries[] = {
    {"InternetOpenW", 79, "InternetOpen fn was NOT found in WinInet.dll", 0},
    {"InternetConnectW", 63, "InternetConnect fn was NOT found in WinInet.dll", 1},
    {"HttpSendRequestW", 56, "HttpSendRequest fn was NOT found in WinInet.dll", 5},
    {"HttpOpenRequestW", 50, "HttpOpenRequest fn was NOT found in WinInet.dll", 6},
    {"HttpQueryInfoW", 52, "HttpQueryInfo fn was NOT found in WinInet.dll", 7},
    {"InternetCloseHandle", 59, "InternetCloseHandle fn was NOT found in WinInet.dll", 2},
    {"InternetReadFile", 83, "InternetReadFile fn was NOT found in WinInet.dll", 3},
    {"InternetQueryDataAvailable", 80, "InternetQueryDataAvailable fn was NOT found in WinInet.dll", 4},
};

constexpr BindingEntry kAygShellEntries[] = {
    {"SHDoneButton", 69, "SHDoneButton fn was NOT found in AygShell.dll", 0},
    {"SHFullScreen", 65, "SHFullScreen fn was NOT found in AygShell.dll", 1},
    {"SHHandleWMActivate", 84, "SHHandleWMActivate fn was NOT found in AygShell.dll", 2},
    {"SHCreateMenuBar", 34, "SHCreateMenuBar fn was NOT found in AygShell.dll", 3},
    {"SHFindMenuBar", 188, "SHFindMenuBar fn was NOT found in AygShell.dll", 4},
};

static_assert(std::size(kCellCoreEntries) == kCellCoreSlots);
static_assert(std::size(kWinInetEntries) == kWinInetSlots);
static_assert(std::size(kAygShellEntries) == kAygShellSlots);

}  // namespace

const BindingLibrary kCellCoreLibrary = {L"cellcore.dll", "CellCore.dll was not found!", kCellCoreEntries,
                                         std::size(kCellCoreEntries)};
const BindingLibrary kWinInetLibrary = {L"WinInet.dll", "WinInet.dll was not found!", kWinInetEntries,
                                        std::size(kWinInetEntries)};
const BindingLibrary kAygShellLibrary = {L"AygShell.dll", "AygShell.dll was not found!", kAygShellEntries,
                                         std::size(kAygShellEntries)};

const char* bindLibrary(const BindingLibrary& library, BindingResolver& resolver, void** slots) {
    for (size_t i = 0; i < library.count; ++i) slots[i] = nullptr;
    if (!resolver.load(library.file)) return library.notFoundMessage;
    for (size_t i = 0; i < library.count; ++i) slots[i] = resolver.byName(library.entries[i].name);
    for (size_t i = 0; i < library.count; ++i) {
        if (!slots[i]) slots[i] = resolver.byOrdinal(library.entries[i].ordinal);
    }
    for (size_t rank = 0; rank < library.count; ++rank) {
        for (size_t i = 0; i < library.count; ++i) {
            if (library.entries[i].testRank == static_cast<int>(rank) && !slots[i]) {
                return library.entries[i].missingMessage;
            }
        }
    }
    return nullptr;
}
