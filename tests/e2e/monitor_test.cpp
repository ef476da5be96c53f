// zbMonitor on the device: registered and started by zerbin's Done, started
// by the boot, ended within about a second when the setting goes off, giving
// way to a monitor already running, ending at once after its start
// acknowledgement when the setting is off, and its binding messages (the
// Handheld PC's monitor needing no shell library).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ce_boot.h"
#include "settings/settings_keys.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"
#include "tools/drive/automation.h"

namespace {

using e2e::ZerbinApp;

constexpr wchar_t kInstalledMonitor[] = L"\\Program Files\\zerbin\\zbMonitor.exe";

std::wstring ownFolder() {
    std::wstring self = e2e::selfPath();
    return self.substr(0, self.rfind(L'\\'));
}

// The value of HKLM\Init\Launch<n>; empty when there is none.
std::wstring launchValue(int n) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    const std::wstring name = L"Launch" + std::to_wstring(n);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Init", name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return L"";
    }
    return data;
}

// The numbers 51 to 99 whose value names `program`.
std::vector<int> launchNumbersOf(const std::wstring& program) {
    std::vector<int> numbers;
    for (int n = 51; n <= 99; ++n) {
        if (launchValue(n) == program) numbers.push_back(n);
    }
    return numbers;
}

void removeLaunchValuesOf(const std::wstring& program) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    for (int n : launchNumbersOf(program)) RegDeleteValueW(key, (L"Launch" + std::to_wstring(n)).c_str());
    RegCloseKey(key);
}

DWORD monitorProcess() {
    DWORD id = 0;
    return zbauto::findProcessByName(L"zbMonitor.exe", id) == kStatusOk ? id : 0;
}

// Waits until a monitor runs (true) or none does (false); the time it took.
bool waitMonitor(bool running, DWORD timeoutMs, DWORD* tookMs = nullptr) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if ((monitorProcess() != 0) == running) {
            if (tookMs) *tookMs = GetTickCount() - start;
            return true;
        }
        Sleep(50);
    }
    return false;
}

bool writeResource(const wchar_t* name, const std::wstring& path) {
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));
    if (!found) return false;
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    e2e::writeFile(path, std::string(data, SizeofResource(nullptr, found)));
    return true;
}

struct Started {
    PROCESS_INFORMATION info{};
    ~Started() {
        if (info.hProcess) CloseHandle(info.hProcess);
        if (info.hThread) CloseHandle(info.hThread);
    }
};

// Every test begins and ends with no monitor running, no monitor registered
// by it and the settings key removed.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::endAll(L"zbMonitor.exe");
        e2e::clearSettings();
    }
    void TearDown() override {
        e2e::endAll(L"zbMonitor.exe");
        for (const std::wstring& program : registered_) removeLaunchValuesOf(program);
        e2e::clearSettings();
    }
    void registers(const std::wstring& program) { registered_.push_back(program); }

private:
    std::vector<std::wstring> registered_;
};

// zerbin's settings screen: the automatic update set as asked, then Done.
void settingsDone(ZerbinApp& app, bool autoUpdate) {
    app.press(8103);  // Settings
    ASSERT_NE(app.control(8409, 10000), nullptr);
    if (app.checked(8409) != autoUpdate) app.press(8409);
    for (int i = 0; i < 50 && app.checked(8409) != autoUpdate; ++i) Sleep(50);
    ASSERT_EQ(app.checked(8409), autoUpdate);
    app.press(8403);  // Done
    ASSERT_NE(app.control(8102, 10000), nullptr) << "back on the main screen";
}

TEST_F(MonitorTest, DoneRegistersAndStartsTheMonitorTheBootStartsItAndSwitchingOffEndsIt) {
    ZerbinApp app;
    app.writeDatabase();
    const std::wstring monitor = app.path(L"zbMonitor.exe");
    ASSERT_TRUE(CopyFileW(kInstalledMonitor, monitor.c_str(), FALSE));
    registers(monitor);
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;

    settingsDone(app, true);
    const std::vector<int> numbers = launchNumbersOf(monitor);
    ASSERT_EQ(numbers.size(), 1u) << "registered once";
    ASSERT_TRUE(waitMonitor(true, 10000)) << "started at once";
    app.end();

    // The device is switched off and on: the boot starts the monitor, which
    // acknowledges and keeps running.
    e2e::endAll(L"zbMonitor.exe");
    std::string output, errors;
    DWORD code = 1;
    ASSERT_TRUE(e2e::runProgram(L"C:\\windows\\ceboot.exe --timeout-ms 10000", output, errors, code)) << errors;
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    const std::string line =
        "Launch" + std::to_string(numbers[0]) + ": " + e2e::utf8(monitor) + ": started\n";
    EXPECT_NE(output.find(line), std::string::npos) << output;
    Sleep(1500);
    const DWORD first = monitorProcess();
    ASSERT_NE(first, 0u) << "the monitor keeps running after the boot";

    // A second monitor gives way to the first.
    Started second;
    ASSERT_EQ(zbauto::startProgram(L"\"" + monitor + L"\"", second.info), kStatusOk);
    DWORD secondCode = 1;
    EXPECT_EQ(zbauto::waitProcess(second.info.hProcess, 10000, secondCode), kStatusOk);
    EXPECT_EQ(secondCode, 0u);
    EXPECT_EQ(monitorProcess(), first);

    // The settings key taken away: the monitor keeps what it last read.
    e2e::clearSettings();
    Sleep(2500);
    EXPECT_EQ(monitorProcess(), first) << "an unreadable setting leaves the monitor running";

    // Another program switches the setting off: the monitor is gone within
    // about a second (a tick, plus the platform's start of a process here).
    e2e::writeSetting(kValueAutoUpdate, 0);
    DWORD took = 0;
    EXPECT_TRUE(waitMonitor(false, 5000, &took));
    EXPECT_LE(took, 2500u);

    // Switched off on the settings screen: the registration goes, and a
    // running monitor is ended.
    e2e::writeSetting(kValueAutoUpdate, 1);
    Started running;
    ASSERT_EQ(zbauto::startProgram(L"\"" + monitor + L"\"", running.info), kStatusOk);
    ASSERT_TRUE(waitMonitor(true, 10000));
    ASSERT_TRUE(app.startAndWait(why)) << why;
    settingsDone(app, false);
    EXPECT_TRUE(launchNumbersOf(monitor).empty());
    EXPECT_TRUE(waitMonitor(false, 5000));
    app.end();
}

// Runs a monitor with `number` on its command line and waits for its end;
// true when it acknowledged its start with that number.
bool runAcknowledged(const std::wstring& monitor, DWORD number, DWORD& exitCode) {
    wchar_t eventName[64];
    swprintf(eventName, 64, ZB_BOOT_EVENT_FORMAT, static_cast<unsigned long>(number));
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, eventName);
    Started run;
    bool acknowledged = false;
    if (zbauto::startProgram(L"\"" + monitor + L"\" " + std::to_wstring(number), run.info) == kStatusOk &&
        zbauto::waitProcess(run.info.hProcess, 15000, exitCode) == kStatusOk) {
        acknowledged = WaitForSingleObject(started, 0) == WAIT_OBJECT_0;
    }
    CloseHandle(started);
    return acknowledged;
}

TEST_F(MonitorTest, WithTheSettingAbsentOrNotOneItEndsAtOnceAfterAcknowledging) {
    DWORD code = 1;
    EXPECT_TRUE(runAcknowledged(kInstalledMonitor, 57, code)) << "no settings key";
    EXPECT_EQ(code, 0u);
    for (DWORD value : {0u, 2u}) {
        e2e::writeSetting(kValueAutoUpdate, value);
        code = 1;
        EXPECT_TRUE(runAcknowledged(kInstalledMonitor, 58, code)) << value;
        EXPECT_EQ(code, 0u);
    }
    HWND box = nullptr;
    EXPECT_NE(zbauto::waitMessageBox(0, nullptr, 0, box), kStatusOk) << "no message box";
}

// Starts `monitor` and expects one stop box with the fixed caption and `text`,
// then its end with code 0.
void expectBindingBox(const std::wstring& monitor, const std::string& text) {
    Started run;
    ASSERT_EQ(zbauto::startProgram(L"\"" + monitor + L"\"", run.info), kStatusOk);
    HWND box = nullptr;
    ASSERT_EQ(zbauto::waitMessageBox(run.info.dwProcessId, nullptr, 15000, box), kStatusOk) << text;
    zbauto::MessageBoxContent content;
    ASSERT_EQ(zbauto::readMessageBox(box, content), kStatusOk);
    EXPECT_EQ(e2e::utf8(content.caption), "zerbin! antivirus");
    EXPECT_EQ(e2e::utf8(content.text), text);
    EXPECT_EQ(zbauto::pressMessageBoxButton(box, IDOK, 5000), kStatusOk);
    DWORD code = 1;
    EXPECT_EQ(zbauto::waitProcess(run.info.hProcess, 10000, code), kStatusOk);
    EXPECT_EQ(code, 0u);
}

TEST_F(MonitorTest, BindsByNameWithItsMessagesAndTheHandheldMonitorNeedsNoShellLibrary) {
    const std::wstring folder = ownFolder() + L"\\monitors";
    e2e::removeTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring monitor = folder + L"\\zbMonitor.exe";
    ASSERT_TRUE(CopyFileW(kInstalledMonitor, monitor.c_str(), FALSE));
    const std::wstring shell = folder + L"\\AygShell.dll";

    ASSERT_TRUE(writeResource(L"AYGSHELL_NO_FINDMENUBAR", shell));
    expectBindingBox(monitor, "SHFindMenuBar fn was NOT found in AygShell.dll");
    // No lookup by ordinal: an entry exported by its ordinal only is missing.
    ASSERT_TRUE(writeResource(L"AYGSHELL_FULLSCREEN_BY_ORDINAL", shell));
    expectBindingBox(monitor, "SHFullScreen fn was NOT found in AygShell.dll");

    DeleteFileW(shell.c_str());

    // WinInet comes first. Wine loads a WinInet beside a program only when
    // the device's setting for that program asks for it.
    const wchar_t* overrides = L"Software\\Wine\\AppDefaults\\zbMonitor.exe\\DllOverrides";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, overrides, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    const wchar_t native[] = L"native,builtin";
    RegSetValueExW(key, L"wininet", 0, REG_SZ, reinterpret_cast<const BYTE*>(native), sizeof native);
    RegCloseKey(key);
    ASSERT_TRUE(writeResource(L"WININET_NO_INTERNETOPEN", folder + L"\\WinInet.dll"));
    ASSERT_TRUE(writeResource(L"AYGSHELL_NO_FINDMENUBAR", shell));
    expectBindingBox(monitor, "InternetOpen fn was NOT found in WinInet.dll");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\zbMonitor.exe");

    // The Handheld PC's monitor binds no shell library: with a broken one
    // beside it, and with the setting on, it starts and runs.
    const std::wstring handheld = folder + L"\\hpc";
    CreateDirectoryW(handheld.c_str(), nullptr);
    ASSERT_TRUE(writeResource(L"HPC_MONITOR", handheld + L"\\zbMonitor.exe"));
    ASSERT_TRUE(writeResource(L"AYGSHELL_NO_FINDMENUBAR", handheld + L"\\AygShell.dll"));
    e2e::writeSetting(kValueAutoUpdate, 1);
    Started run;
    ASSERT_EQ(zbauto::startProgram(L"\"" + handheld + L"\\zbMonitor.exe\"", run.info), kStatusOk);
    EXPECT_TRUE(waitMonitor(true, 10000));
    HWND box = nullptr;
    EXPECT_NE(zbauto::waitMessageBox(run.info.dwProcessId, nullptr, 2000, box), kStatusOk) << "no message box";
    DWORD code = 0;
    EXPECT_EQ(zbauto::waitProcess(run.info.hProcess, 500, code), zbauto::kTimedOut) << "still running";
    e2e::endAll(L"zbMonitor.exe");
    e2e::removeTree(folder);
}

// What the device's boot makes of a Startup shortcut to the monitor: the
// count before "#" is the length of what follows, as zerbin writes it; a
// count of half the path's length, as some shortcut writers make it, starts
// nothing.
TEST_F(MonitorTest, TheBootStartsTheMonitorFromAStartupShortcut) {
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
    const std::wstring shortcut = std::wstring(folder) + L"\\zbMonitor.lnk";
    const std::string target = "\"" + e2e::utf8(L"C:" + std::wstring(kInstalledMonitor)) + "\"";
    e2e::writeSetting(kValueAutoUpdate, 1);

    auto boot = [](std::string& output) {
        std::string errors;
        DWORD code = 1;
        EXPECT_TRUE(e2e::runProgram(L"C:\\windows\\ceboot.exe --timeout-ms 10000", output, errors, code)) << errors;
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    };
    e2e::writeFile(shortcut, std::to_string(target.size()) + "#" + target);
    std::string output;
    boot(output);
    EXPECT_NE(output.find("Startup: zbMonitor.lnk: started\n"), std::string::npos) << output;
    EXPECT_TRUE(waitMonitor(true, 10000));
    e2e::endAll(L"zbMonitor.exe");

    const size_t half = (target.size() - 2) / 2;
    const size_t digits = half >= 100 ? 3 : half >= 10 ? 2 : half >= 1 ? 1 : 0;
    e2e::writeFile(shortcut, std::to_string(half + 3 + digits) + "#" + target);
    output.clear();
    boot(output);
    EXPECT_NE(output.find("Startup: zbMonitor.lnk: not started"), std::string::npos) << output;
    Sleep(1000);
    EXPECT_EQ(monitorProcess(), 0u);
    DeleteFileW(shortcut.c_str());
}

}  // namespace
