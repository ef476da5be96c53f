// The device's CE libraries as a program binds them: each loads by its name
// from the device's system folder, and each entry of the program's binding
// tables resolves by its name and by its CE ordinal, to the same function.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ce_aygshell.h"
#include "ce_connmgr.h"
#include "ce_toolhelp.h"
#include "device/tests/celibs_test_util.h"

namespace {

struct Entry {
    const char* name;
    WORD ordinal;
};

std::wstring lowered(std::wstring s) {
    CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

HMODULE loadFromSystemFolder(const wchar_t* file) {
    HMODULE module = LoadLibraryW(file);
    EXPECT_NE(module, nullptr) << "LoadLibraryW failed with " << GetLastError();
    if (!module) return nullptr;
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module, path, MAX_PATH);
    EXPECT_EQ(lowered(path), lowered(std::wstring(L"C:\\windows\\system32\\") + file))
        << celibs_test::narrow(path);
    return module;
}

void expectByNameAndOrdinal(HMODULE module, const Entry& e) {
    FARPROC byName = GetProcAddress(module, e.name);
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
    EXPECT_NE(byName, nullptr) << e.name;
    EXPECT_NE(byOrdinal, nullptr) << e.name << " @" << e.ordinal;
    EXPECT_EQ(byName, byOrdinal) << e.name << " @" << e.ordinal;
}

TEST(CeLibraryExportsTest, AygShellEntriesResolveByNameAndOrdinal) {
    HMODULE module = loadFromSystemFolder(L"AygShell.dll");
    ASSERT_NE(module, nullptr);
    for (const Entry& e : {Entry{"SHDoneButton", 69},
                           Entry{"SHFullScreen", 65},
                           Entry{"SHHandleWMActivate", 84},
                           Entry{"SHCreateMenuBar", 34},
                           Entry{"SHFindMenuBar", 188}}) {
        expectByNameAndOrdinal(module, e);
    }
}

TEST(CeLibraryExportsTest, CellCoreEntriesResolveByNameAndOrdinal) {
    HMODULE module = loadFromSystemFolder(L"cellcore.dll");
    ASSERT_NE(module, nullptr);
    for (const Entry& e : {Entry{"ConnMgrReleaseConnection", 122},
                           Entry{"ConnMgrProviderMessage", 124},
                           Entry{"ConnMgrConnectionStatus", 121},
                           Entry{"ConnMgrEstablishConnection", 120},
                           Entry{"ConnMgrMapURL", 128}}) {
        expectByNameAndOrdinal(module, e);
    }
}

TEST(CeLibraryExportsTest, ToolHelpEntriesResolveByName) {
    HMODULE module = loadFromSystemFolder(L"TOOLHELP.DLL");
    ASSERT_NE(module, nullptr);
    for (const char* name : {"CreateToolhelp32Snapshot", "CloseToolhelp32Snapshot", "Process32First", "Process32Next"}) {
        FARPROC entry = GetProcAddress(module, name);
        ASSERT_NE(entry, nullptr) << name;
        // The entry is the device library's own, not the system's desktop one.
        HMODULE owner = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(entry), &owner);
        EXPECT_EQ(owner, module) << name;
    }
}

// The CE records as the programs declare them: the layouts the documented API
// gives, with this build's pointer width.
TEST(CeLibraryExportsTest, PlatformRecordsHaveTheDocumentedLayout) {
    EXPECT_EQ(offsetof(CE_PROCESSENTRY32, szExeFile), 36u);
    EXPECT_EQ(offsetof(CE_PROCESSENTRY32, th32MemoryBase), 36u + 2 * MAX_PATH);
    EXPECT_EQ(sizeof(CE_PROCESSENTRY32), 36u + 2 * MAX_PATH + 8);
    EXPECT_EQ(sizeof(PROXY_CONFIG), 8u + 2 * (256 + 32 + 32 + 64 + 256));
    EXPECT_EQ(offsetof(CONNMGR_CONNECTIONINFO, guidDestNet), 24u);
    EXPECT_EQ(offsetof(SHMENUBARINFO, hwndParent), sizeof(void*));
    wchar_t text[64];
    StringFromGUID2(IID_ConnPrv_IProxyExtension, text, 64);
    EXPECT_STREQ(text, L"{AF96B0BD-A481-482C-A094-A8448767A0C0}");
    StringFromGUID2(IID_DestNetInternet, text, 64);
    EXPECT_STREQ(text, L"{436EF144-B4FB-4863-A041-8F905A62C572}");
}

}  // namespace
