// The install on the test device: a package unpacked into a real temporary
// folder and a real installer started. The test program is its own helper:
// with "--unpack PACKAGE MODE" it hands a package file to updateDataFile
// (and ends with 10 + its result if that returns); started by an install
// (a command line beginning with "@" or a digit) it records the command line
// it got in "installer.txt" beside itself and ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "update/package.h"
#include "update/package_maker.h"
#include "update/tests/box_catcher.h"
#include "update/update.h"
#include "tests/win_files.h"

namespace {

using testfiles::filesIn;
using testfiles::readBytes;
using testfiles::removeTree;

std::wstring ownPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<uint8_t> text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

// One install run: a program folder of its own holding a copy of this test
// program as "zbunpack.exe", whose temporary folder is <folder>\temp.
struct InstallRun {
    std::wstring folder;
    DWORD processId = 0;
    DWORD exitCode = 0;

    explicit InstallRun(const wchar_t* name) {
        folder = folderOf(ownPath()) + L"\\" + name;
        removeTree(folder);
        CreateDirectoryW(folder.c_str(), nullptr);
        CopyFileW(ownPath().c_str(), (folder + L"\\zbunpack.exe").c_str(), FALSE);
    }
    ~InstallRun() { removeTree(folder); }

    std::wstring temp() const { return folder + L"\\temp"; }

    // Unpacks `package` in a process of its own; false when it did not end.
    bool unpack(const std::vector<uint8_t>& package, uint32_t mode) {
        const std::wstring packagePath = folder + L"\\package.dat";
        if (!writeBytes(packagePath, package)) return false;
        std::wstring line = L"\"" + folder + L"\\zbunpack.exe\" --unpack \"" + packagePath + L"\" " +
                            std::to_wstring(mode);
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                            &info)) {
            return false;
        }
        processId = info.dwProcessId;
        const bool ended = WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(info.hProcess, 255);
        GetExitCodeProcess(info.hProcess, &exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return ended;
    }

    // The command line the installer recorded, waiting for it a while.
    std::wstring installerLine() const {
        const std::wstring path = temp() + L"\\installer.txt";
        for (int i = 0; i < 200; ++i) {
            std::vector<uint8_t> bytes = readBytes(path);
            if (bytes.size() >= 2 && bytes[bytes.size() - 2] == '\n') {
                return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2 - 1);
            }
            Sleep(50);
        }
        return L"";
    }
};

std::vector<PackageFile> goodFiles() {
    return {{"zerbinpda.vps", text("new database"), 0}, {"setup.exe", readBytes(ownPath()), kEntryFlagInstaller}};
}

TEST(Install, InteractiveUnpacksIntoTempAndStartsTheInstallerWithAtPidAndFolder) {
    InstallRun run(L"interactive");
    ASSERT_TRUE(run.unpack(packageFileMake(430, goodFiles()), modeInteractive));
    EXPECT_EQ(run.exitCode, 0u);  // ended by its own TerminateProcess, not by returning
    EXPECT_EQ(run.installerLine(), L"@" + std::to_wstring(run.processId) + L" " + run.temp() + L"\\");
    EXPECT_EQ(readBytes(run.temp() + L"\\zerbinpda.vps"), text("new database"));
    // The probe of the temporary folder leaves nothing behind.
    for (const std::wstring& name : filesIn(run.temp())) EXPECT_NE(name.rfind(L"tmp", 0), 0u) << name.c_str();
}

// Whatever an earlier, failed unpack left in the temporary folder would be
// installed with this package: the folder is emptied first, a read-only
// file too. A subfolder is never installed and stays.
TEST(Install, UnattendedCommandLineHasNoAtAndTheTemporaryFolderHoldsOnlyThePackage) {
    InstallRun run(L"unattended");
    CreateDirectoryW(run.temp().c_str(), nullptr);
    writeBytes(run.temp() + L"\\left.txt", text("from before"));
    writeBytes(run.temp() + L"\\zerbin.exe", text("a stale program"));
    SetFileAttributesW((run.temp() + L"\\zerbin.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW((run.temp() + L"\\folder").c_str(), nullptr);
    ASSERT_TRUE(run.unpack(packageFileMake(431, goodFiles()), modeUnattended));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.installerLine(), std::to_wstring(run.processId) + L" " + run.temp() + L"\\");
    std::vector<std::wstring> left = filesIn(run.temp());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"installer.txt", L"setup.exe", L"zerbinpda.vps"}));
    EXPECT_TRUE(exists(run.temp() + L"\\folder"));
}

// A file the folder cannot lose stops the install before anything of the
// package is written, with a box that names it.
TEST(Install, AFileInTheTemporaryFolderThatCannotBeRemovedStopsTheInstall) {
    const std::wstring temp = folderOf(ownPath()) + L"\\temp";
    removeTree(temp);
    CreateDirectoryW(temp.c_str(), nullptr);
    ASSERT_TRUE(writeBytes(temp + L"\\held.txt", text("in use")));
    HANDLE held = CreateFileW((temp + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> package = packageFileMake(430, goodFiles());
    uint32_t result = 99;
    const std::vector<std::wstring> boxes = catchBoxes(L"zerbin! antivirus", [&] {
        result = updateDataFile(package.data(), static_cast<uint32_t>(package.size()), modeInteractive);
    });
    CloseHandle(held);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"The temporary folder holds held.txt, which cannot be removed (error 32); "
                                               L"nothing was installed."});
    EXPECT_EQ(filesIn(temp), std::vector<std::wstring>{L"held.txt"});
    removeTree(temp);
}

TEST(Install, UnsafeNamesNeverWriteOutsideTheTemporaryFolder) {
    const char* unsafe[] = {"..\\escaped.txt", "../escaped.txt", "C:escaped.txt", "\\escaped.txt", "..", ".", ""};
    for (const char* name : unsafe) {
        InstallRun run(L"unsafe");
        std::vector<PackageFile> files = {{"first.txt", text("first"), 0},
                                          {name, text("should never be written"), kEntryFlagInstaller}};
        ASSERT_TRUE(run.unpack(packageFileMake(430, files), modeUnattended)) << name;
        EXPECT_EQ(run.exitCode, 10u) << name;  // updateDataFile returned 0
        EXPECT_FALSE(exists(run.folder + L"\\escaped.txt")) << name;
        EXPECT_FALSE(exists(L"C:\\escaped.txt")) << name;
        EXPECT_FALSE(exists(L"\\escaped.txt")) << name;
        EXPECT_EQ(readBytes(run.temp() + L"\\first.txt"), text("first")) << name;  // written before the failure
        EXPECT_EQ(filesIn(run.temp()).size(), 1u) << name;
    }
}

TEST(Install, APathOver511CharactersIsRefused) {
    InstallRun run(L"long");
    const size_t folderLength = run.temp().size() + 1;
    std::string over(512 - folderLength, 'b');
    ASSERT_TRUE(run.unpack(packageFileMake(430, {{over, text("x"), kEntryFlagInstaller}}), modeUnattended));
    EXPECT_EQ(run.exitCode, 10u);
    EXPECT_TRUE(filesIn(run.temp()).empty());
}

TEST(Install, RefusedPackagesStartNothing) {
    struct Case {
        const char* what;
        std::vector<uint8_t> package;
        size_t filesLeft;
    };
    std::vector<uint8_t> corrupted = packageFileMake(430, goodFiles());
    corrupted[40] ^= 1;
    std::vector<uint8_t> twoCounted =
        containerMake(packagePayload(430, {{"only.txt", text("only"), kEntryFlagInstaller}}, 2));
    const Case cases[] = {
        {"version 429", packageFileMake(429, goodFiles()), 0},
        {"no entries", containerMake(packagePayload(430, {{"a.txt", text("a"), 1}}, 0)), 0},
        {"corrupted", corrupted, 0},
        {"shorter than 21 bytes", containerMake({0xAE, 0x01, 0x01, 0x00, 1, 0, 0, 0, 1, 0, 0, 0}), 0},
        {"count beyond the entries", twoCounted, 1},
        {"empty entry data", packageFileMake(430, {{"empty.txt", {}, kEntryFlagInstaller}}), 1},
        {"no installer", packageFileMake(430, {{"zerbinpda.vps", text("db"), 0}}), 1},
        {"an installer that is no program", packageFileMake(430, {{"setup.exe", text("not a program"), 1}}), 1},
    };
    int round = 0;
    for (const Case& c : cases) {
        // A folder of its own each time: the last round's program may still be
        // held by the platform for a moment after it ended.
        InstallRun run((L"refused" + std::to_wstring(++round)).c_str());
        ASSERT_TRUE(run.unpack(c.package, modeUnattended)) << c.what;
        EXPECT_EQ(run.exitCode, 10u) << c.what;
        EXPECT_EQ(filesIn(run.temp()).size(), c.filesLeft) << c.what;
        EXPECT_FALSE(exists(run.temp() + L"\\installer.txt")) << c.what;
    }
}

// The helper modes.
int recordInstallerLine() {
    const std::wstring path = folderOf(ownPath()) + L"\\installer.txt";
    std::wstring line = GetCommandLineW();
    line += L"\n";
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(line.data()),
                               reinterpret_cast<const uint8_t*>(line.data() + line.size()));
    return writeBytes(path, bytes) ? 0 : 1;
}

int unpackPackage(const wchar_t* packagePath, const wchar_t* mode) {
    std::vector<uint8_t> package = readBytes(packagePath);
    const uint32_t result =
        updateDataFile(package.data(), static_cast<uint32_t>(package.size()), static_cast<uint32_t>(_wtoi(mode)));
    return 10 + static_cast<int>(result);
}

}  // namespace

int main(int argc, char** argv) {
    const wchar_t* line = GetCommandLineW();
    if (line[0] == L'@' || (line[0] >= L'0' && line[0] <= L'9')) return recordInstallerLine();
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(line, &wargc);
    if (wargc == 4 && std::wcscmp(wargv[1], L"--unpack") == 0) return unpackPackage(wargv[2], wargv[3]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
