// The downloads on the test device against a hostile server. The Internet
// handle goes through the server as its HTTP proxy, so that the update
// server's host name needs no name lookup. The test program is also its own
// helper: with "--fetch PORT MODE" it downloads the package and hands it to
// the install (ending with 10 + the result if that returns); started as an
// installer it records its command line in "installer.txt" beside itself.
// Signed packages, keys and signatures were made by OpenSSL when the tests
// ran, and lie beside the program (make_signing_files.sh): download.dat,
// whose installer is this program, its signature download.sig and the key
// a.key.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/binding.h"
#include "log/diaglog.h"
#include "tests/win_files.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/tests/box_catcher.h"
#include "update/tests/hostile_server.h"
#include "update/tests/update_doubles.h"
#include "update/update.h"

namespace {

constexpr wchar_t kCaption[] = L"zerbin! antivirus";

std::wstring ownPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::string utf8(const wchar_t* text) {
    char out[256];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

HINTERNET openThrough(uint16_t port) {
    const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port);
    return updateConnect(modeInteractive, proxy.c_str(), INTERNET_OPEN_TYPE_PROXY);
}

// A request line for `path` on the update server, as a client asks a server
// or a proxy.
bool asksFor(const std::string& line, const std::string& path) {
    const std::string tail = path + " HTTP/1.1";
    return line == "GET " + tail || line == "GET http://update.morvane.example" + tail ||
           line == "GET http://update.morvane.example:80" + tail;
}

std::string versionBytes(uint16_t version) { return hostile::bytes(versionFileMake(version)); }

class Download : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(bindPlatformLibraries(), nullptr);
        ASSERT_TRUE(server.start());
        internet = openThrough(server.port());
        ASSERT_NE(internet, nullptr);
    }
    void TearDown() override {
        if (internet) g_api.InternetCloseHandle(internet);
    }

    // downloadVersionFile's result, the boxes it showed and whether it
    // reported "no new version".
    bool version(uint32_t mode, std::vector<std::wstring>& boxes, bool& noNewVersion) {
        const int before = doubles::noNewVersionReports;
        bool result = false;
        boxes = catchBoxes(kCaption, [&] { result = downloadVersionFile(internet, mode); });
        noNewVersion = doubles::noNewVersionReports != before;
        return result;
    }

    uint32_t package(std::vector<std::wstring>& boxes) {
        uint32_t result = 99;
        boxes = catchBoxes(kCaption, [&] { result = downloadDataFile(internet, modeInteractive); });
        return result;
    }

    hostile::Server server;
    HINTERNET internet = nullptr;
};

TEST_F(Download, AVersionFileOtherThanTenBytesAtOnceMeansNoNewVersion) {
    struct Case {
        const char* what;
        hostile::Reply reply;
    } cases[] = {
        {"9 bytes", hostile::ok(hostile::bytes(containerMake({0xAE})))},
        {"11 bytes", hostile::ok(hostile::bytes(containerMake({0xAE, 0x01, 0x00})))},
        {"two pieces", hostile::okSplit(versionBytes(430), 5)},
        {"404 with a body", hostile::http(404, "Content-Length: 27\r\n", "<html>no such file</html>\r\n")},
        {"empty", hostile::ok("")},
    };
    for (const Case& c : cases) {
        server.serve("version.dat", c.reply);
        std::vector<std::wstring> boxes;
        bool noNewVersion = false;
        EXPECT_FALSE(version(modeInteractive, boxes, noNewVersion)) << c.what;
        EXPECT_TRUE(noNewVersion) << c.what;
        EXPECT_TRUE(boxes.empty()) << c.what;
    }
    ASSERT_EQ(server.requestLines().size(), std::size(cases));
    for (const std::string& line : server.requestLines()) {
        EXPECT_TRUE(asksFor(line, "/files/pda/ppc_arm/version.dat")) << line;
    }
}

TEST_F(Download, TheVersionFileDecidesWhetherAPackageIsFetched) {
    std::vector<std::wstring> boxes;
    bool noNewVersion = false;

    std::string corrupted = versionBytes(430);
    corrupted[9] ^= 0x01;
    server.serve("version.dat", hostile::ok(corrupted));
    EXPECT_FALSE(version(modeInteractive, boxes, noNewVersion));
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"downloadVersionFile: file is corrupted."});

    server.serve("version.dat", hostile::ok(versionBytes(429)));
    EXPECT_FALSE(version(modeInteractive, boxes, noNewVersion));
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"zerbin! is up-to-date."});
    EXPECT_FALSE(version(modeUnattended, boxes, noNewVersion));
    EXPECT_TRUE(boxes.empty());  // nobody watches: nothing shown

    server.serve("version.dat", hostile::ok(versionBytes(430)));
    EXPECT_TRUE(version(modeInteractive, boxes, noNewVersion));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(noNewVersion);
    // Unattended with no main program running: the package may come now.
    EXPECT_TRUE(version(modeUnattended, boxes, noNewVersion));
}

TEST_F(Download, APackageWithoutAUsableSizeOrWholeBodyIsRefused) {
    std::vector<std::wstring> boxes;
    const std::string body(200, 'x');

    server.serve("upgrade.dat", hostile::http(200, "", body));
    EXPECT_EQ(package(boxes), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"HttpQueryInfo_dataf failed, Error: 12150 (0x2f76)");

    for (const char* length : {"0", "abc", "12abc", "99999999999"}) {
        server.serve("upgrade.dat", hostile::http(200, std::string("Content-Length: ") + length + "\r\n", body));
        EXPECT_EQ(package(boxes), 0u) << length;
        EXPECT_EQ(boxes, std::vector<std::wstring>{L"HttpQueryInfo_dataf failed, zero file size"}) << length;
    }

    server.serve("upgrade.dat", hostile::okCut(body.substr(0, 100), 200));
    EXPECT_EQ(package(boxes), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(L"InternetReadFile failed, fileBuf: 0x", 0), 0u) << boxes[0].c_str();
    EXPECT_NE(boxes[0].find(L", dwFileSize: 0xC8, read: 0x64, Error: 0x"), std::wstring::npos) << boxes[0].c_str();

    // A 404 page is taken for the package, and too short to be one: refused silently.
    server.serve("upgrade.dat", hostile::http(404, "Content-Length: 9\r\n", "not found"));
    EXPECT_EQ(package(boxes), 0u);
    EXPECT_TRUE(boxes.empty());

    std::string corrupted = hostile::bytes(packageFileMake(430, {{"setup.exe", std::vector<uint8_t>(50, 1), 1}}));
    corrupted[30] ^= 0x01;
    server.serve("upgrade.dat", hostile::ok(corrupted));
    EXPECT_EQ(package(boxes), 0u);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Downloaded data file is corrupted, try again."});

    for (const std::string& line : server.requestLines()) {
        EXPECT_TRUE(asksFor(line, "/files/pda/ppc_arm/upgrade.dat")) << line;
    }
}

TEST_F(Download, AGoodPackageIsFetchedUnpackedAndItsInstallerStarted) {
    const std::wstring folder = folderOf(ownPath()) + L"\\fetch";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring helper = folder + L"\\zbfetch.exe";
    ASSERT_TRUE(CopyFileW(ownPath().c_str(), helper.c_str(), FALSE));
    const std::wstring recorded = folder + L"\\temp\\installer.txt";
    DeleteFileW(recorded.c_str());

    HANDLE self = CreateFileW(ownPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> program(GetFileSize(self, nullptr));
    DWORD read = 0;
    ReadFile(self, program.data(), static_cast<DWORD>(program.size()), &read, nullptr);
    CloseHandle(self);
    server.serve("upgrade.dat", hostile::ok(hostile::bytes(packageFileMake(430, {{"setup.exe", program, 1}}))));

    std::wstring line = L"\"" + helper + L"\" --fetch " + std::to_wstring(server.port()) + L" 2";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &info));
    ASSERT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(exitCode, 0u);

    std::wstring got;
    for (int i = 0; i < 200 && got.empty(); ++i) {
        HANDLE file = CreateFileW(recorded.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            wchar_t text[600] = {};
            DWORD bytes = 0;
            ReadFile(file, text, sizeof text - 2, &bytes, nullptr);
            CloseHandle(file);
            if (bytes >= 2 && text[bytes / 2 - 1] == L'\n') got.assign(text, bytes / 2 - 1);
        }
        if (got.empty()) Sleep(50);
    }
    EXPECT_EQ(got, L"@" + std::to_wstring(info.dwProcessId) + L" " + folder + L"\\temp\\");
}

// Each operation writes its entry to the diagnostic log, quotes included.
TEST_F(Download, EachOperationLogsItsEntry) {
    const std::wstring path = folderOf(ownPath()) + L"\\update_entries.log";
    DeleteFileW(path.c_str());
    ASSERT_EQ(g_log.Open(path.c_str()), 0u);
    server.serve("version.dat", hostile::ok(versionBytes(429)));
    server.serve("upgrade.dat", hostile::ok(std::string(40, 'x')));
    HINTERNET direct = nullptr;
    catchBoxes(kCaption, [&] {
        direct = updateConnect(modeUnattended);
        downloadVersionFile(internet, modeUnattended);
        downloadDataFile(internet, modeUnattended);
        updateRegistry();
    });
    if (direct) g_api.InternetCloseHandle(direct);
    g_log.Close();

    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<wchar_t> text(GetFileSize(file, nullptr) / 2 + 1);
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>((text.size() - 1) * 2), &read, nullptr);
    CloseHandle(file);
    DeleteFileW(path.c_str());
    const std::wstring log(text.data());
    size_t at = 0;
    for (const wchar_t* name : {L"updateConnect", L"downloadVersionFile", L"updateDecryptFile", L"downloadDataFile",
                                L"updateDataFile", L"updateDecryptFile", L"updateRegistry"}) {
        const std::wstring line = std::wstring(L"  \"") + name + L": in\"\r\n";
        at = log.find(line, at);
        ASSERT_NE(at, std::wstring::npos) << utf8(name);
        ++at;
    }
}

std::vector<uint8_t> input(const wchar_t* name) { return testfiles::readBytes(folderOf(ownPath()) + L"\\" + name); }

// A step that the server leaves waiting fails as that step fails, with the
// timeout's error, after one wait: the limit, not the server, ends it.
TEST_F(Download, AStalledServerEndsEachStepWithinItsLimit) {
    const std::wstring temp = folderOf(ownPath()) + L"\\temp";
    const std::vector<std::wstring> before = testfiles::filesIn(temp);
    const std::string body(300, 'p');
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 300\r\nConnection: close\r\n\r\n";
    struct Case {
        const char* what;
        const char* file;
        hostile::Reply reply;
        std::wstring box;  // the box's text begins with this
        std::wstring end;  // and ends with this
    } cases[] = {
        {"silent after accepting", "version.dat", hostile::stall(""),
         L"HttpSendRequest_version failed, error 12002 (0x2ee2)", L""},
        {"the headers, then nothing", "upgrade.dat", hostile::stall(headers),
         L"InternetQueryDataAvailable_dataf failed, error 12002 (0x2ee2)", L""},
        {"half the body, then nothing", "upgrade.dat", hostile::stall(headers + body.substr(0, 150)),
         L"InternetReadFile failed, fileBuf: 0x", L", Error: 0x2EE2"},
    };
    for (const Case& c : cases) {
        server.serve(c.file, c.reply);
        std::vector<std::wstring> boxes;
        const ULONGLONG start = GetTickCount64();
        if (std::string(c.file) == "version.dat") {
            bool noNewVersion = false;
            EXPECT_FALSE(version(modeInteractive, boxes, noNewVersion)) << c.what;
        } else {
            EXPECT_EQ(package(boxes), 0u) << c.what;
        }
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_GE(waited, kUpdateReceiveTimeoutMs - 1000) << c.what;
        EXPECT_LE(waited, kUpdateReceiveTimeoutMs + 10000) << c.what;
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].rfind(c.box, 0), 0u) << c.what << ": " << utf8(boxes[0].c_str());
        EXPECT_TRUE(boxes[0].size() >= c.end.size() &&
                    boxes[0].compare(boxes[0].size() - c.end.size(), c.end.size(), c.end) == 0)
            << c.what << ": " << utf8(boxes[0].c_str());
    }

    // The monitor's worker meets the same limit, with nobody to show a box to.
    server.serve("version.dat", hostile::stall(""));
    std::vector<std::wstring> boxes;
    bool noNewVersion = false;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(version(modeUnattended, boxes, noNewVersion));
    EXPECT_LE(GetTickCount64() - start, kUpdateReceiveTimeoutMs + 10000);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(testfiles::filesIn(temp), before);
}

// On a device that holds the maker's key, the package goes no further than
// its signature: each refusal has its box, and nothing reaches the
// temporary folder. Without the key, no signature is asked for.
class SignedDownload : public Download {
protected:
    void SetUp() override {
        Download::SetUp();
        package_ = input(L"download.dat");
        signature_ = input(L"download.sig");
        ASSERT_FALSE(package_.empty()) << "the signing files are made by win.update_signing_files";
        ASSERT_TRUE(CopyFileW((folderOf(ownPath()) + L"\\a.key").c_str(), keyPath().c_str(), FALSE));
        server.serve("upgrade.dat", hostile::ok(hostile::bytes(package_)));
    }
    void TearDown() override {
        DeleteFileW(keyPath().c_str());
        Download::TearDown();
    }
    static std::wstring keyPath() { return folderOf(ownPath()) + L"\\update.key"; }

    std::vector<uint8_t> package_, signature_;
};

TEST_F(SignedDownload, EachSignatureThatIsNotTheMakersIsRefused) {
    const std::wstring temp = folderOf(ownPath()) + L"\\temp";
    const std::vector<std::wstring> before = testfiles::filesIn(temp);
    const std::string signature = hostile::bytes(signature_);
    const std::wstring noSignature =
        L"The update package has no valid signature (upgrade.sig); nothing was installed.";
    const std::wstring mismatch =
        L"The update package's signature does not match the maker's key; nothing was installed.";
    struct Case {
        const char* what;
        hostile::Reply reply;
        std::wstring box;
    } cases[] = {
        {"404", hostile::http(404, "Content-Length: 9\r\n", "not found"), noSignature},
        {"empty", hostile::ok(""), noSignature},
        {"cut off mid-body", hostile::okCut(signature.substr(0, 200), 384), noSignature},
        {"one byte short", hostile::ok(signature.substr(0, 383)), noSignature},
        {"another key's", hostile::ok(hostile::bytes(input(L"download.b.sig"))), mismatch},
        {"a 404 page as long as a signature", hostile::http(404, "Content-Length: 384\r\n", std::string(384, 'x')),
         noSignature},
    };
    for (const Case& c : cases) {
        server.serve("upgrade.sig", c.reply);
        std::vector<std::wstring> boxes;
        EXPECT_EQ(package(boxes), 0u) << c.what;
        EXPECT_EQ(boxes, std::vector<std::wstring>{c.box}) << c.what;
        EXPECT_EQ(testfiles::filesIn(temp), before) << c.what;
    }
    // The signature is asked for after the package, in the package's folder.
    const std::vector<std::string> lines = server.requestLines();
    ASSERT_EQ(lines.size(), 2 * std::size(cases));
    EXPECT_TRUE(asksFor(lines[0], "/files/pda/ppc_arm/upgrade.dat")) << lines[0];
    EXPECT_TRUE(asksFor(lines[1], "/files/pda/ppc_arm/upgrade.sig")) << lines[1];

    // A damaged key refuses before anything is asked.
    const std::vector<uint8_t> damaged(20, 0x06);
    HANDLE key = CreateFileW(keyPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(key, damaged.data(), static_cast<DWORD>(damaged.size()), &written, nullptr);
    CloseHandle(key);
    std::vector<std::wstring> boxes;
    EXPECT_EQ(package(boxes), 0u);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"The maker's key (update.key) is damaged or cannot be imported, error "
                                               L"0x80090003; nothing was installed."});

    // Without the key, the package goes on unsigned: here, to the install's own refusal.
    DeleteFileW(keyPath().c_str());
    server.serve("upgrade.dat", hostile::ok(hostile::bytes(packageFileMake(430, {{"zerbinpda.vps", {'d'}, 0}}))));
    const size_t asked = server.requestLines().size();
    EXPECT_EQ(package(boxes), 0u);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"The update package names no installer; nothing was installed."});
    EXPECT_EQ(server.requestLines().size(), asked + 1) << "no signature asked for";
}

int recordInstallerLine() {
    const std::wstring path = folderOf(ownPath()) + L"\\installer.txt";
    std::wstring line = GetCommandLineW();
    line += L"\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * 2), &written, nullptr);
    CloseHandle(file);
    return 0;
}

int fetchPackage(const wchar_t* port, const wchar_t* mode) {
    if (bindPlatformLibraries() != nullptr) return 2;
    HINTERNET internet = openThrough(static_cast<uint16_t>(_wtoi(port)));
    if (internet == nullptr) return 3;
    return 10 + static_cast<int>(downloadDataFile(internet, static_cast<uint32_t>(_wtoi(mode))));
}

}  // namespace

int main(int argc, char** argv) {
    const wchar_t* line = GetCommandLineW();
    if (line[0] == L'@' || (line[0] >= L'0' && line[0] <= L'9')) return recordInstallerLine();
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(line, &wargc);
    if (wargc == 4 && std::wcscmp(wargv[1], L"--fetch") == 0) return fetchPackage(wargv[2], wargv[3]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
