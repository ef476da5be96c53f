// The unattended update, end to end on the device: a monitor beside a copy of
// zerbin checks a test update server (reached through the device network) one
// minute after its start. With zerbin in front nothing is installed; with
// zerbin in the background zerbin is ended, the package installed by its
// installer, and the monitor restarted by it, which does not fetch the
// package it installed again.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_keys.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"
#include "tools/drive/automation.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/tests/hostile_server.h"

namespace {

using e2e::ZerbinApp;

std::wstring networkFile() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\zbnet.txt";
}

std::optional<std::string> readWhole(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    std::vector<uint8_t> bytes = e2e::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> resourceBytes(const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));
    if (!found) return {};
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return std::vector<uint8_t>(data, data + SizeofResource(nullptr, found));
}

bool asked(hostile::Server& server, const std::string& path) {
    for (const std::string& line : server.requestLines()) {
        if (line.find(path) != std::string::npos) return true;
    }
    return false;
}

bool waitFor(DWORD timeoutMs, const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(250)) {
        if (done()) return true;
    }
    return done();
}

DWORD monitorProcess() {
    DWORD id = 0;
    return zbauto::findProcessByName(L"zbMonitor.exe", id) == kStatusOk ? id : 0;
}

class UnattendedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::endAll(L"zbMonitor.exe");
        savedNetwork_ = readWhole(networkFile());
        ASSERT_TRUE(server_.start());
        e2e::writeFile(networkFile(), "127.0.0.1:" + std::to_string(server_.port()) + "\n");
    }
    void TearDown() override {
        e2e::endAll(L"zbMonitor.exe");
        e2e::endAll(L"zbinstall.exe");
        if (savedNetwork_) {
            e2e::writeFile(networkFile(), *savedNetwork_);
        } else {
            DeleteFileW(networkFile().c_str());
        }
    }

    hostile::Server server_;
    std::optional<std::string> savedNetwork_;
};

// A monitor beside the app, started as the boot starts it.
bool startMonitor(ZerbinApp& app, PROCESS_INFORMATION& info) {
    return zbauto::startProgram(L"\"" + app.path(L"zbMonitor.exe") + L"\" 0", info) == kStatusOk;
}

TEST_F(UnattendedUpdate, NothingIsInstalledUnderTheUsersEyesAndAllOnceZerbinIsInTheBackground) {
    ZerbinApp app;
    app.writeDatabase(7);
    const std::vector<uint8_t> oldDatabase = e2e::readFileBytes(app.path(L"zerbinpda.vps"));
    app.writeDatabase(9);
    const std::vector<uint8_t> newDatabase = e2e::readFileBytes(app.path(L"zerbinpda.vps"));
    app.writeRawDatabase(oldDatabase);
    ASSERT_NE(oldDatabase, newDatabase);
    ASSERT_TRUE(CopyFileW(L"\\Program Files\\zerbin\\zbMonitor.exe", app.path(L"zbMonitor.exe").c_str(), FALSE));
    const std::vector<uint8_t> installer = resourceBytes(L"ZBINSTALL");
    ASSERT_FALSE(installer.empty());
    server_.serve("version.dat", hostile::ok(hostile::bytes(versionFileMake(430))));
    server_.serve("upgrade.dat", hostile::ok(hostile::bytes(packageFileMake(
                                     430, {{"zerbinpda.vps", newDatabase, 0}, packageRecordEntry(430),
                                           {"zbinstall.exe", installer, kEntryFlagInstaller}}))));
    e2e::writeSetting(kValueAutoUpdate, 1);

    // zerbin in front: the check is made and its time stored, but nothing is fetched.
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    PROCESS_INFORMATION first{};
    ASSERT_TRUE(startMonitor(app, first));
    const DWORD started = GetTickCount();
    ASSERT_TRUE(waitFor(120000, [&] { return asked(server_, "/files/pda/ppc_arm/version.dat"); }))
        << "the first check, one minute after the start";
    const DWORD firstCheck = GetTickCount() - started;
    EXPECT_GE(firstCheck, 55000u);
    std::vector<uint8_t> checkTime;
    EXPECT_TRUE(waitFor(5000, [&] { return e2e::readCheckTime(checkTime); })) << "the check time is stored";
    Sleep(3000);
    EXPECT_FALSE(asked(server_, "upgrade.dat"));
    DWORD code = 0;
    EXPECT_EQ(zbauto::waitProcess(app.process(), 0, code), zbauto::kTimedOut) << "zerbin still runs";
    EXPECT_EQ(zbauto::waitProcess(first.hProcess, 0, code), zbauto::kTimedOut) << "the monitor still runs";
    EXPECT_EQ(e2e::readFileBytes(app.path(L"zerbinpda.vps")), oldDatabase);
    TerminateProcess(first.hProcess, 0);
    WaitForSingleObject(first.hProcess, 5000);
    CloseHandle(first.hThread);
    CloseHandle(first.hProcess);

    // Another window in front: zerbin is ended, the package installed, and
    // the installer restarts the monitor.
    PROCESS_INFORMATION fixture{};
    ASSERT_EQ(zbauto::startProgram(L"\"" + e2e::selfPath() + L"\" --fixture", fixture), kStatusOk);
    zbauto::WindowQuery query;
    query.className = e2e::kFixtureClass;
    HWND front = nullptr;
    ASSERT_EQ(zbauto::waitTopWindow(query, 10000, front), kStatusOk);
    SetForegroundWindow(front);
    PROCESS_INFORMATION second{};
    ASSERT_TRUE(startMonitor(app, second));
    EXPECT_EQ(app.waitExit(120000), 0) << "zerbin ended by the monitor";
    DWORD monitorCode = 1;
    EXPECT_EQ(zbauto::waitProcess(second.hProcess, 30000, monitorCode), kStatusOk) << "the monitor ends";
    EXPECT_EQ(monitorCode, 0u);
    // zerbin is ended before the package is fetched.
    EXPECT_TRUE(asked(server_, "/files/pda/ppc_arm/upgrade.dat"));
    EXPECT_TRUE(waitFor(60000, [&] { return e2e::readFileBytes(app.path(L"zerbinpda.vps")) == newDatabase; }))
        << "the installer put the new database in place";
    EXPECT_TRUE(waitFor(30000, [&] {
        const DWORD id = monitorProcess();
        return id != 0 && id != second.dwProcessId;
    })) << "the installer restarted the monitor";

    // The restarted monitor's first check finds the package it installed on
    // offer, and leaves it there: the update has converged.
    const auto versionChecks = [&] {
        size_t n = 0;
        for (const std::string& line : server_.requestLines()) n += line.find("version.dat") != std::string::npos;
        return n;
    };
    const size_t checks = versionChecks();
    EXPECT_TRUE(waitFor(120000, [&] { return versionChecks() > checks; })) << "the restarted monitor checks";
    Sleep(3000);
    size_t packages = 0;
    for (const std::string& line : server_.requestLines()) packages += line.find("upgrade.dat") != std::string::npos;
    EXPECT_EQ(packages, 1u) << "the installed package is not fetched again";
    EXPECT_NE(monitorProcess(), 0u) << "the monitor goes on";
    zbauto::endProcess(fixture.dwProcessId, 0);
    for (HANDLE h : {second.hThread, second.hProcess, fixture.hThread, fixture.hProcess}) CloseHandle(h);
}

}  // namespace
