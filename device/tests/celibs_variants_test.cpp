// The library variants for the start-up binding tests, bound as a program
// binds them: placed beside a program under the real library's file name, the
// program loads them instead of the device's library (its own folder is
// searched first), and each lacks its entry or has it by ordinal only. Also:
// what a device without a library gives a program (error 126), and what Wine
// does with a "WinInet.dll" beside a program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "device/tests/celibs_test_util.h"

namespace {

using celibs_test::RunResult;

const std::wstring kFolder = celibs_test::ownFolder();

// A helper program in a folder of its own, with `payload` beside it as `file`.
std::wstring prepareFolder(const wchar_t* folderName, const wchar_t* payload, const wchar_t* file) {
    const std::wstring folder = kFolder + folderName + L"\\";
    celibs_test::makeFolders(folder.substr(0, folder.size() - 1));
    EXPECT_TRUE(celibs_test::extractPayload(L"HELPER", folder + L"celibs_helper.exe"));
    if (payload) {
        EXPECT_TRUE(celibs_test::extractPayload(payload, folder + file));
    }
    return folder + L"celibs_helper.exe";
}

bool has(const RunResult& r, const std::string& line) {
    return r.output.find(line + "\n") != std::string::npos || r.output.find(line + "\r\n") != std::string::npos;
}

struct Binding {
    bool loadedBeside;  // the module came from the helper's own folder
    bool byName, byOrdinal, same;
};

Binding bind(const std::wstring& helper, const wchar_t* file, const wchar_t* entry, int ordinal) {
    RunResult r = celibs_test::runAndCapture(
        helper, std::wstring(L"load ") + file + L" " + entry + L" " + std::to_wstring(ordinal));
    EXPECT_TRUE(r.started && r.ended) << r.output;
    const std::string folder = celibs_test::narrow(helper.substr(0, helper.find_last_of(L'\\') + 1));
    return Binding{has(r, "loaded " + folder + celibs_test::narrow(file)), has(r, "byname 1"), has(r, "byordinal 1"),
                   has(r, "same 1")};
}

TEST(CeLibraryVariantsTest, AygShellWithSHFullScreenByOrdinalOnly) {
    const std::wstring helper = prepareFolder(L"fullscreen-by-ordinal", L"AYGSHELL_FULLSCREEN_BY_ORDINAL", L"AygShell.dll");
    Binding b = bind(helper, L"AygShell.dll", L"SHFullScreen", 65);
    EXPECT_TRUE(b.loadedBeside);
    EXPECT_FALSE(b.byName);
    EXPECT_TRUE(b.byOrdinal);
    // Every other entry is there as usual.
    for (auto [entry, ordinal] : {std::pair{L"SHDoneButton", 69}, std::pair{L"SHHandleWMActivate", 84},
                                  std::pair{L"SHCreateMenuBar", 34}, std::pair{L"SHFindMenuBar", 188}}) {
        EXPECT_TRUE(bind(helper, L"AygShell.dll", entry, ordinal).same) << celibs_test::narrow(entry);
    }
}

TEST(CeLibraryVariantsTest, AygShellWithoutSHFindMenuBar) {
    const std::wstring helper = prepareFolder(L"no-findmenubar", L"AYGSHELL_NO_FINDMENUBAR", L"AygShell.dll");
    Binding b = bind(helper, L"AygShell.dll", L"SHFindMenuBar", 188);
    EXPECT_TRUE(b.loadedBeside);
    EXPECT_FALSE(b.byName);
    EXPECT_FALSE(b.byOrdinal);
    EXPECT_TRUE(bind(helper, L"AygShell.dll", L"SHCreateMenuBar", 34).same);
}

TEST(CeLibraryVariantsTest, CellCoreWithConnMgrMapURLByOrdinalOnly) {
    const std::wstring helper = prepareFolder(L"mapurl-by-ordinal", L"CELLCORE_MAPURL_BY_ORDINAL", L"cellcore.dll");
    Binding b = bind(helper, L"cellcore.dll", L"ConnMgrMapURL", 128);
    EXPECT_TRUE(b.loadedBeside);
    EXPECT_FALSE(b.byName);
    EXPECT_TRUE(b.byOrdinal);
    EXPECT_TRUE(bind(helper, L"cellcore.dll", L"ConnMgrEstablishConnection", 120).same);
}

TEST(CeLibraryVariantsTest, CellCoreWithoutConnMgrReleaseConnection) {
    const std::wstring helper =
        prepareFolder(L"no-releaseconnection", L"CELLCORE_NO_RELEASECONNECTION", L"cellcore.dll");
    Binding b = bind(helper, L"cellcore.dll", L"ConnMgrReleaseConnection", 122);
    EXPECT_TRUE(b.loadedBeside);
    EXPECT_FALSE(b.byName);
    EXPECT_FALSE(b.byOrdinal);
    EXPECT_TRUE(bind(helper, L"cellcore.dll", L"ConnMgrProviderMessage", 124).same);
}

// Wine has a WinInet of its own and prefers it to a "WinInet.dll" beside the
// program: the stand-in is used only when the device's per-program DLL
// setting (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides, "wininet" =
// "native,builtin") asks for it; Wine reads that setting when the program
// starts.
TEST(CeLibraryVariantsTest, WinInetStandInNeedsTheProgramsDllOverride) {
    const std::wstring helper = prepareFolder(L"wininet", L"WININET_NO_INTERNETOPEN", L"WinInet.dll");
    const wchar_t* key = L"Software\\Wine\\AppDefaults\\celibs_helper.exe\\DllOverrides";
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    Binding builtin = bind(helper, L"WinInet.dll", L"InternetOpenW", 79);
    EXPECT_TRUE(builtin.byName) << "Wine's own WinInet has InternetOpenW";

    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    const wchar_t order[] = L"native,builtin";
    RegSetValueExW(k, L"wininet", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
    RegCloseKey(k);
    Binding standIn = bind(helper, L"WinInet.dll", L"InternetOpenW", 79);
    Binding other = bind(helper, L"WinInet.dll", L"InternetConnectW", 63);
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\celibs_helper.exe");

    EXPECT_TRUE(standIn.loadedBeside);
    EXPECT_FALSE(standIn.byName);
    EXPECT_FALSE(standIn.byOrdinal);
    EXPECT_TRUE(other.same);
}

// A library removed from the device's system folder: a program cannot load
// it (error 126, "module not found"); Wine has no library of that name to
// fall back on. The file is away only for the moment of one load in this
// process (which has not loaded it before), so that other programs of the
// test device hardly notice.
TEST(CeLibraryVariantsTest, DeviceWithoutALibraryRefusesToLoadIt) {
    for (const wchar_t* file : {L"AygShell.dll", L"cellcore.dll", L"TOOLHELP.DLL"}) {
        ASSERT_EQ(GetModuleHandleW(file), nullptr) << celibs_test::narrow(file);
        const std::wstring installed = std::wstring(L"C:\\windows\\system32\\") + file;
        const std::wstring away = installed + L".away";
        ASSERT_NE(GetFileAttributesW(installed.c_str()), INVALID_FILE_ATTRIBUTES) << celibs_test::narrow(file);
        ASSERT_TRUE(MoveFileExW(installed.c_str(), away.c_str(), MOVEFILE_REPLACE_EXISTING));
        HMODULE without = LoadLibraryW(file);
        const DWORD error = GetLastError();
        const bool restored = MoveFileExW(away.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING);
        ASSERT_TRUE(restored) << "could not put back " << celibs_test::narrow(installed);
        EXPECT_EQ(without, nullptr) << celibs_test::narrow(file);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << celibs_test::narrow(file);

        HMODULE with = LoadLibraryW(file);
        EXPECT_NE(with, nullptr) << celibs_test::narrow(file);
        if (with) FreeLibrary(with);
    }
}

}  // namespace
