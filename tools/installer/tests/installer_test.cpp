// zbinstall.exe on the device, started as the unpacking program starts it:
// a program folder with old files, its "temp" folder with the package's files
// and the installer, and the starter's process identifier.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/win_files.h"
#include <vector>

namespace {

using testfiles::filesIn;
using testfiles::removeTree;

std::wstring ownFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

bool extractPayload(const wchar_t* name, const std::wstring& path) {
    HRSRC found = FindResourceW(nullptr, name, RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = SizeofResource(nullptr, found);
    const bool ok = WriteFile(f, bytes, size, &written, nullptr) && written == size;
    CloseHandle(f);
    return ok;
}

void writeText(const std::wstring& path, const std::string& text) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

std::string readText(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
    CloseHandle(f);
    return out;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool waitForFile(const std::wstring& path, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (exists(path)) return true;
        Sleep(50);
    }
    return exists(path);
}

PROCESS_INFORMATION start(const std::wstring& application, const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    EXPECT_TRUE(CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    return pi;
}

DWORD waitExit(const PROCESS_INFORMATION& pi, DWORD ms) {
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

void closeProcess(PROCESS_INFORMATION& pi) {
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    pi = {};
}

// A program folder ("...\zerbin\") holding the old install, and its temporary
// folder holding the unpacked package with the installer.
class InstallerTest : public testing::Test {
protected:
    void SetUp() override {
        const std::wstring base = ownFolder() + L"work\\";
        removeTree(base);
        CreateDirectoryW(base.c_str(), nullptr);
        prog_ = base + L"zerbin\\";
        temp_ = prog_ + L"temp\\";
        ASSERT_TRUE(CreateDirectoryW(prog_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(temp_.c_str(), nullptr));
        marker_ = ownFolder() + L"marker.exe";
        ASSERT_TRUE(extractPayload(L"MARKER", marker_));
        ASSERT_TRUE(extractPayload(L"INSTALLER", temp_ + L"zbinstall.exe"));
        ASSERT_TRUE(CopyFileW(marker_.c_str(), (prog_ + L"zerbin.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(marker_.c_str(), (prog_ + L"zbMonitor.exe").c_str(), FALSE));
        writeText(prog_ + L"zerbinpda.vps", "old database");
        writeText(prog_ + L"keep.txt", "not in the package");
        writeText(temp_ + L"zerbinpda.vps", "new database");
        writeText(temp_ + L"extra file.txt", "new file");
        writeText(temp_ + L"zbpackage.ver", kRecord430);
        ASSERT_TRUE(CopyFileW(marker_.c_str(), (temp_ + L"zerbin.exe").c_str(), FALSE));
    }

    // A process that has already ended: its identifier is what an installer
    // gets when its starter ended before it looked.
    DWORD endedProcess() {
        PROCESS_INFORMATION pi = start(marker_, L"marker.exe --quick");
        waitExit(pi, 10000);
        const DWORD pid = pi.dwProcessId;
        closeProcess(pi);
        return pid;
    }

    PROCESS_INFORMATION install(const std::wstring& commandLine) {
        return start(temp_ + L"zbinstall.exe", commandLine);
    }

    std::wstring prog_, temp_, marker_;
    // The package's record: version 430, two bytes little-endian.
    const std::string kRecord430 = std::string("\xAE\x01", 2);
};

TEST_F(InstallerTest, InteractiveWaitsForTheStarterThenReplacesEmptiesAndRestartsZerbin) {
    PROCESS_INFORMATION starter = start(marker_, L"marker.exe --sleep");
    PROCESS_INFORMATION installer = install(L"@" + std::to_wstring(starter.dwProcessId) + L" " + temp_);

    // While the starter runs, nothing is replaced.
    EXPECT_EQ(WaitForSingleObject(installer.hProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(readText(prog_ + L"zerbinpda.vps"), "old database");
    TerminateProcess(starter.hProcess, 0);
    closeProcess(starter);

    EXPECT_EQ(waitExit(installer, 20000), 0u);
    closeProcess(installer);
    EXPECT_EQ(readText(prog_ + L"zerbinpda.vps"), "new database");
    EXPECT_EQ(readText(prog_ + L"extra file.txt"), "new file");
    EXPECT_EQ(readText(prog_ + L"keep.txt"), "not in the package");
    EXPECT_FALSE(exists(prog_ + L"zbinstall.exe"));  // the installer is not installed
    EXPECT_FALSE(exists(prog_ + L"zerbinpda.vps.zbnew"));
    EXPECT_EQ(readText(prog_ + L"zbpackage.ver"), kRecord430) << "a complete install is recorded";
    for (const std::wstring& left : filesIn(temp_)) EXPECT_EQ(left, L"zbinstall.exe");

    EXPECT_TRUE(waitForFile(prog_ + L"zerbin.exe.started", 10000));
    Sleep(300);
    EXPECT_FALSE(exists(prog_ + L"zbMonitor.exe.started"));

    const std::string log = readText(prog_ + L"zbinstall.log");
    EXPECT_NE(log.find("install started: interactive"), std::string::npos) << log;
    EXPECT_NE(log.find("installed zerbinpda.vps (12 bytes)"), std::string::npos) << log;
    EXPECT_NE(log.find("recorded package 430 as installed"), std::string::npos) << log;
    EXPECT_NE(log.find("3 files installed, 0 failed"), std::string::npos) << log;
    EXPECT_NE(log.find("started zerbin.exe"), std::string::npos) << log;
}

// Also a package of older tools, which carries no record: it installs as
// before and records nothing.
TEST_F(InstallerTest, UnattendedRestartsTheMonitor) {
    ASSERT_TRUE(DeleteFileW((temp_ + L"zbpackage.ver").c_str()));
    PROCESS_INFORMATION installer = install(std::to_wstring(endedProcess()) + L" " + temp_);
    EXPECT_EQ(waitExit(installer, 20000), 0u);
    closeProcess(installer);
    EXPECT_EQ(readText(prog_ + L"zerbinpda.vps"), "new database");
    EXPECT_FALSE(exists(prog_ + L"zbpackage.ver"));
    EXPECT_TRUE(waitForFile(prog_ + L"zbMonitor.exe.started", 10000));
    Sleep(300);
    EXPECT_FALSE(exists(prog_ + L"zerbin.exe.started"));
    EXPECT_NE(readText(prog_ + L"zbinstall.log").find("started zbMonitor.exe"), std::string::npos);
}

TEST_F(InstallerTest, AFileThatCannotBeReplacedStaysWorkingAndTheRestIsInstalled) {
    writeText(prog_ + L"locked.dat", "old locked");
    writeText(temp_ + L"locked.dat", "new locked");
    HANDLE held = CreateFileW((prog_ + L"locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    PROCESS_INFORMATION installer = install(std::to_wstring(endedProcess()) + L" " + temp_);
    const DWORD code = waitExit(installer, 20000);
    closeProcess(installer);
    CloseHandle(held);

    EXPECT_EQ(code, 1u);
    EXPECT_EQ(readText(prog_ + L"locked.dat"), "old locked");
    EXPECT_FALSE(exists(prog_ + L"locked.dat.zbnew"));
    EXPECT_EQ(readText(prog_ + L"zerbinpda.vps"), "new database");
    const std::string log = readText(prog_ + L"zbinstall.log");
    EXPECT_NE(log.find("locked.dat"), std::string::npos) << log;
    EXPECT_NE(log.find("the old file stays"), std::string::npos) << log;
    EXPECT_NE(log.find("3 files installed, 1 failed"), std::string::npos) << log;
    // Not recorded: the device takes the package again at its next check.
    EXPECT_FALSE(exists(prog_ + L"zbpackage.ver"));
    EXPECT_NE(log.find("package 430 not recorded"), std::string::npos) << log;
    for (const std::wstring& left : filesIn(temp_)) EXPECT_EQ(left, L"zbinstall.exe");
    // The monitor is restarted all the same: the old files still work.
    EXPECT_TRUE(waitForFile(prog_ + L"zbMonitor.exe.started", 10000));
}

TEST_F(InstallerTest, ALineThatNamesNoFolderChangesNothing) {
    for (const std::wstring& line : {std::wstring(L"@"), std::wstring(L"12"), std::wstring(L"@12 temp\\"),
                                     std::wstring(L"abc ") + temp_}) {
        PROCESS_INFORMATION installer = install(line);
        EXPECT_EQ(waitExit(installer, 20000), 2u);
        closeProcess(installer);
    }
    EXPECT_EQ(readText(prog_ + L"zerbinpda.vps"), "old database");
    EXPECT_TRUE(exists(temp_ + L"zerbinpda.vps"));
    EXPECT_FALSE(exists(prog_ + L"zbinstall.log"));
    Sleep(300);
    EXPECT_FALSE(exists(prog_ + L"zerbin.exe.started"));
    EXPECT_FALSE(exists(prog_ + L"zbMonitor.exe.started"));
}

}  // namespace
