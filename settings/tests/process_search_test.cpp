// The process search on the device: finds another process by executable
// name ignoring case, never the caller, and reports a missing tool-help
// library or entry with its own message, every time. Started with "wait" this
// program only waits, as the other instance that a search should find.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "settings/process_search.h"

std::vector<std::wstring> g_messages;
void showProcessSearchMessage(const wchar_t* text) { g_messages.push_back(text); }

namespace {

std::wstring ownPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring ownFolder() {
    std::wstring path = ownPath();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring ownName() {
    std::wstring path = ownPath();
    return path.substr(path.find_last_of(L'\\') + 1);
}

// Another instance of this program, waiting until it is ended.
struct OtherInstance {
    PROCESS_INFORMATION info{};
    bool started = false;
    OtherInstance() {
        std::wstring line = L"\"" + ownPath() + L"\" wait";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info);
    }
    ~OtherInstance() {
        if (!started) return;
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
};

bool writeResource(const wchar_t* name, const std::wstring& path) {
    HRSRC found = FindResourceW(nullptr, name, RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = SizeofResource(nullptr, found);
    const bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

TEST(ProcessSearchTest, FindsAnotherInstanceOfItsOwnNameButNeverItself) {
    g_messages.clear();
    // Alone, the caller's own name finds nothing.
    EXPECT_EQ(findProcess(ownName().c_str()), nullptr);
    EXPECT_FALSE(isProcessRunning(ownName().c_str()));

    OtherInstance other;
    ASSERT_TRUE(other.started);
    HANDLE found = nullptr;
    for (int i = 0; i < 100 && !found; ++i, Sleep(50)) found = findProcess(ownName().c_str());
    ASSERT_NE(found, nullptr);
    // The handle is the other instance's, and it may end it.
    EXPECT_TRUE(TerminateProcess(found, 0));
    CloseHandle(found);
    EXPECT_EQ(WaitForSingleObject(other.info.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(g_messages.empty());
}

TEST(ProcessSearchTest, IgnoresLetterCaseAndNeedsTheWholeName) {
    OtherInstance other;
    ASSERT_TRUE(other.started);
    std::wstring upper = ownName();
    for (wchar_t& c : upper) c = towupper(c);
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i, Sleep(50)) seen = isProcessRunning(upper.c_str());
    EXPECT_TRUE(seen);
    std::wstring stem = ownName().substr(0, ownName().size() - 4);  // without ".exe"
    EXPECT_FALSE(isProcessRunning(stem.c_str()));
    EXPECT_FALSE(isProcessRunning(L"no-such-program.exe"));
    // The library is loaded for the search only.
    EXPECT_EQ(GetModuleHandleW(L"TOOLHELP.DLL"), nullptr);
}

// A tool-help library that lacks entries, placed beside this program, where
// the search's load finds it first.
struct LibraryBeside {
    std::wstring path = ownFolder() + L"TOOLHELP.DLL";
    explicit LibraryBeside(const wchar_t* payload) { EXPECT_TRUE(writeResource(payload, path)); }
    ~LibraryBeside() { EXPECT_TRUE(DeleteFileW(path.c_str())) << "the search kept the library loaded"; }
};

TEST(ProcessSearchTest, NamesTheFirstMissingEntryInItsOrder) {
    struct Case {
        const wchar_t* payload;
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"TOOLHELP_NO_CREATESNAPSHOT", L"Couldn't find CreateToolhelp32Snapshot function in TOOLHELP.DLL."},
        {L"TOOLHELP_NO_CLOSE_NO_NEXT", L"Couldn't find CloseToolhelp32Snapshot function in TOOLHELP.DLL."},
        {L"TOOLHELP_NO_FIRST", L"Couldn't find Process32First function in TOOLHELP.DLL."},
        {L"TOOLHELP_NO_NEXT", L"Couldn't find Process32Next function in TOOLHELP.DLL."},
    };
    OtherInstance other;  // there is something to find, yet nothing is found
    ASSERT_TRUE(other.started);
    for (const Case& c : cases) {
        LibraryBeside library(c.payload);
        g_messages.clear();
        EXPECT_EQ(findProcess(ownName().c_str()), nullptr);
        EXPECT_FALSE(isProcessRunning(ownName().c_str()));
        ASSERT_EQ(g_messages.size(), 2u);  // shown at every search
        EXPECT_EQ(g_messages[0], c.message);
        EXPECT_EQ(g_messages[1], c.message);
    }
}

TEST(ProcessSearchTest, ReportsAMissingLibraryAtEverySearch) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring device = std::wstring(system) + L"\\TOOLHELP.DLL";
    const std::wstring away = device + L".away";
    ASSERT_TRUE(MoveFileW(device.c_str(), away.c_str()));
    g_messages.clear();
    HANDLE found = findProcess(L"explorer.exe");
    const bool running = isProcessRunning(L"explorer.exe");
    MoveFileW(away.c_str(), device.c_str());
    EXPECT_EQ(found, nullptr);
    EXPECT_FALSE(running);
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0], L"Couldn't find TOOLHELP.DLL library.");
    EXPECT_EQ(g_messages[1], L"Couldn't find TOOLHELP.DLL library.");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && wcscmp(argv[1], L"wait") == 0) {
        Sleep(60000);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
