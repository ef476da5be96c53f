// The monitor autostart through the Startup folder's shortcut, on the device:
// the shortcut's exact bytes, a second switch on, switching off with nothing
// there, and the boot start list left alone. Every test restores the folder.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/autostart.h"
#include "settings/process_search.h"
#include "settings/tests/autostart_test_util.h"

std::vector<std::wstring> g_messages;
void showProcessSearchMessage(const wchar_t* text) { g_messages.push_back(text); }

namespace {

using autostart_test::monitorBeside;

std::wstring shortcutPath() {
    wchar_t folder[MAX_PATH];
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
    return std::wstring(folder) + L"\\zbMonitor.lnk";
}

// The file's bytes; "<none>" when it does not exist.
std::string contentOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<none>";
    std::string content(4096, '\0');
    DWORD got = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    content.resize(got);
    return content;
}

std::string narrow(const std::wstring& s) {
    char out[1024];
    const int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return std::string(out, n > 0 ? n - 1 : 0);
}

// The start list's values, as one comparable blob.
std::string initValues() {
    std::string all;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_READ, &key) != ERROR_SUCCESS) return all;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0;
        BYTE data[4096];
        DWORD size = sizeof data;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        all += narrow(name) + "=" + std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size) + "\n";
    }
    RegCloseKey(key);
    return all;
}

class ShortcutAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = contentOf(shortcutPath());
        DeleteFileW(shortcutPath().c_str());
        autostart_test::endAllMonitors();
        ASSERT_TRUE(autostart_test::placeMonitor());
        initBefore_ = initValues();
        g_messages.clear();
    }
    void TearDown() override {
        autostart_test::endAllMonitors();
        DeleteFileW(shortcutPath().c_str());
        if (saved_ != "<none>") {
            HANDLE file = CreateFileW(shortcutPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, saved_.data(), static_cast<DWORD>(saved_.size()), &written, nullptr);
            CloseHandle(file);
        }
        DeleteFileW(monitorBeside().c_str());
        // No value of the boot start list is read into, written or deleted.
        EXPECT_EQ(initValues(), initBefore_);
        EXPECT_TRUE(g_messages.empty());
    }

    static void apply(bool on) {
        monitorAutostart(on);
    }

    std::string saved_, initBefore_;
};

TEST_F(ShortcutAutostartTest, TheShortcutQuotesTheMonitorBesideTheProgramAndCountsWhatFollowsTheHash) {
    apply(true);
    const std::string target = "\"" + narrow(monitorBeside()) + "\"";
    const std::string expected = std::to_string(target.size()) + "#" + target;
    EXPECT_EQ(contentOf(shortcutPath()), expected);
    EXPECT_TRUE(autostart_test::waitMonitorCount(1));
}

TEST_F(ShortcutAutostartTest, SwitchingOnTwiceWritesTheSameShortcutAndOneMonitor) {
    apply(true);
    const std::string first = contentOf(shortcutPath());
    ASSERT_TRUE(autostart_test::waitMonitorCount(1));
    // The second write replaces the first whatever was there.
    HANDLE file = CreateFileW(shortcutPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const std::string junk(2000, 'x');
    WriteFile(file, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    CloseHandle(file);
    apply(true);
    EXPECT_EQ(contentOf(shortcutPath()), first);
    Sleep(500);
    EXPECT_EQ(autostart_test::monitorCount(), 1);
}

TEST_F(ShortcutAutostartTest, SwitchingOffRemovesTheShortcutAndEndsTheMonitor) {
    apply(true);
    ASSERT_TRUE(autostart_test::waitMonitorCount(1));
    apply(false);
    EXPECT_EQ(contentOf(shortcutPath()), "<none>");
    EXPECT_TRUE(autostart_test::waitMonitorCount(0));
}

TEST_F(ShortcutAutostartTest, SwitchingOffWithNothingThereDoesNothing) {
    apply(false);
    EXPECT_EQ(contentOf(shortcutPath()), "<none>");
    EXPECT_EQ(autostart_test::monitorCount(), 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (autostart_test::runningAsMonitor()) {
        Sleep(60000);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
