#pragma once
// The optional platform libraries the main program binds at start-up: which
// entries, in which order they are looked up (by name, then by ordinal), in
// which order they are tested, and the fixed message for each failure.
#include <cstddef>
#include <cstdint>

struct BindingEntry {
    const char* name;            // looked up by name first
    uint16_t ordinal;            // then by this ordinal when the name is not exported
    const char* missingMessage;  // shown when neither finds it
    int testRank;                // position in the order in which entries are tested
};

struct BindingLibrary {
    const wchar_t* file;          // as loaded
    const char* notFoundMessage;  // shown when the library cannot be loaded
    const BindingEntry* entries;  // in lookup order
    size_t count;
};

// The platform side of binding: a real one loads DLLs, a test one pretends.
class BindingResolver {
public:
    virtual ~BindingResolver() = default;
    virtual bool load(const wchar_t* file) = 0;  // the library stays loaded for the process's life
    virtual void* byName(const char* name) = 0;
    virtual void* byOrdinal(uint16_t ordinal) = 0;
};

// Binds one library: loads it, fills `slots` (one per entry, lookup order),
// first every entry by name, then every entry still missing by ordinal, then
// tests them in test order. Returns the message of the first failure, or null.
const char* bindLibrary(const BindingLibrary& library, BindingResolver& resolver, void** slots);

extern const BindingLibrary kCellCoreLibrary;
extern const BindingLibrary kWinInetLibrary;
extern const BindingLibrary kAygShellLibrary;

// Lookup-order positions of the entries in each library's slots.
enum CellCoreSlot { kConnMgrReleaseConnection, kConnMgrProviderMessage, kConnMgrConnectionStatus,
                    kConnMgrEstablishConnection, kConnMgrMapURL, kCellCoreSlots };
enum WinInetSlot { kInternetOpenW, kInternetConnectW, kHttpSendRequestW, kHttpOpenRequestW, kHttpQueryInfoW,
                   kInternetCloseHandle, kInternetReadFile, kInternetQueryDataAvailable, kWinInetSlots };
enum AygShellSlot { kSHDoneButton, kSHFullScreen, kSHHandleWMActivate, kSHCreateMenuBar, kSHFindMenuBar,
                    kAygShellSlots };
