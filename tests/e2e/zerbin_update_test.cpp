// The Update button of the settings screen, end to end: zerbin on the
// device reaches a hostile test server through the device network (the
// update server's name leads to it) and shows exactly the box each broken
// reply deserves; the connection manager's modes; a good package ends
// zerbin and starts its installer; the WM5, Handheld PC and Smartphone
// editions ask their own directories, the first two on line without the
// connection manager, and give up cleanly when WinInet cannot be opened.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/binding.h"
#include "ce_connmgr.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"
#include "update/package.h"
#include "update/package_maker.h"
#include "update/tests/hostile_server.h"
#include "update/update.h"

namespace {

using e2e::utf8;
using e2e::waitFor;
using e2e::ZerbinApp;

constexpr int kSettings = 8103;
constexpr int kUpdate = 8402;

std::wstring windowsFile(const wchar_t* name) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\" + name;
}

// Where the update server's name leads on this device, and how its
// connection manager behaves; both back to their defaults at the end.
class Network {
public:
    explicit Network(uint16_t port) { lead("127.0.0.1:" + std::to_string(port)); }
    ~Network() {
        lead("off");
        connectionManager(L"connected", nullptr);
    }
    void lead(const std::string& where) { e2e::writeFile(windowsFile(L"zbnet.txt"), where + "\n"); }
    void connectionManager(const wchar_t* mode, const wchar_t* proxy) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot set the connection manager";
            return;
        }
        RegSetValueExW(key, L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(mode),
                       static_cast<DWORD>((wcslen(mode) + 1) * 2));
        if (proxy) {
            RegSetValueExW(key, L"Proxy", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy),
                           static_cast<DWORD>((wcslen(proxy) + 1) * 2));
        } else {
            RegDeleteValueW(key, L"Proxy");
        }
        RegCloseKey(key);
    }
};

bool pathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string versionFile(uint16_t version) { return hostile::bytes(versionFileMake(version)); }

// zerbin on its settings screen, with a fresh server and network.
class ZerbinUpdate : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        network = std::make_unique<Network>(server.port());
        app.writeDatabase();
    }

    void openSettings() {
        std::string why;
        ASSERT_TRUE(app.startAndWait(why)) << why;
        app.press(kSettings);
        ASSERT_TRUE(waitFor(5000, [&] { return app.exists(kUpdate); }));
    }

    // Presses Update and answers the box it brings; its text, or "" when none came.
    std::string update(DWORD timeoutMs = 30000) {
        app.press(kUpdate);
        if (!app.boxOpen(timeoutMs)) return "";
        // A box just made may not have its button yet on a busy machine: try again.
        std::wstring text;
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (app.answerBox(IDOK, nullptr, &text, 1000)) return utf8(text);
            Sleep(200);
        }
        return "";
    }

    size_t requestsFor(const std::string& file) {
        size_t n = 0;
        for (const std::string& line : server.requestLines()) n += line.find(file) != std::string::npos;
        return n;
    }

    // Serves package 430 with `database` and this test program as its
    // installer, presses Update, and checks that zerbin ended and its
    // installer was started with "@PID FOLDER\temp\" beside the unpacked
    // database.
    void expectGoodPackageInstalled(const std::vector<uint8_t>& database) {
        std::vector<uint8_t> installer = e2e::readFileBytes(e2e::selfPath());
        const std::vector<PackageFile> files = {{"zerbinpda.vps", database, 0},
                                                {"setup.exe", installer, kEntryFlagInstaller}};
        server.serve("upgrade.dat", hostile::ok(hostile::bytes(packageFileMake(430, files))));
        const DWORD pid = app.processId();
        app.press(kUpdate);
        EXPECT_EQ(app.waitExit(30000), 0);
        const std::wstring recorded = app.path(L"temp\\installer.txt");
        ASSERT_TRUE(waitFor(10000, [&] { return !e2e::readFileBytes(recorded).empty(); }));
        std::vector<uint8_t> bytes = e2e::readFileBytes(recorded);
        std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        EXPECT_EQ(line, L"@" + std::to_wstring(pid) + L" " + app.path(L"temp") + L"\\");
        EXPECT_EQ(e2e::readFileBytes(app.path(L"temp\\zerbinpda.vps")), database);
    }

    hostile::Server server;
    std::unique_ptr<Network> network;
    ZerbinApp app;
};

TEST_F(ZerbinUpdate, EachBrokenVersionFileGetsItsBoxAndNoPackageIsAsked) {
    openSettings();
    std::string corrupted = versionFile(430);
    corrupted[8] ^= 0x01;
    struct Case {
        const char* what;
        hostile::Reply reply;
        const char* box;
    } cases[] = {
        {"two pieces", hostile::okSplit(versionFile(430), 5), "No new version is available."},
        {"9 bytes", hostile::ok(hostile::bytes(containerMake({0xAE}))), "No new version is available."},
        {"11 bytes", hostile::ok(hostile::bytes(containerMake({0xAE, 0x01, 0x00}))), "No new version is available."},
        {"404 with a body", hostile::http(404, "Content-Length: 22\r\n", "<html>not here</html>\n"),
         "No new version is available."},
        {"wrong checksum", hostile::ok(corrupted), "downloadVersionFile: file is corrupted."},
        {"version 429", hostile::ok(versionFile(429)), "zerbin! is up-to-date."},
    };
    for (const Case& c : cases) {
        server.serve("version.dat", c.reply);
        EXPECT_EQ(update(), c.box) << c.what;
        EXPECT_FALSE(app.boxOpen(300)) << c.what << ": one box only";
    }
    EXPECT_EQ(requestsFor("/files/pda/ppc_arm/version.dat"), std::size(cases));
    EXPECT_EQ(requestsFor("upgrade.dat"), 0u);
    // Every check is recorded, whatever it brought.
    std::vector<uint8_t> checkTime;
    ASSERT_TRUE(e2e::readCheckTime(checkTime));
    EXPECT_NE(checkTime, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(app.waitExit(0), -1) << "zerbin still runs";
}

TEST_F(ZerbinUpdate, EachBrokenPackageGetsItsBoxAndZerbinGoesOn) {
    openSettings();
    server.serve("version.dat", hostile::ok(versionFile(430)));
    const std::string body(300, 'p');
    struct Case {
        const char* what;
        hostile::Reply reply;
        std::string box;  // the box's text begins with this
    } cases[] = {
        {"no Content-Length", hostile::http(200, "", body), "HttpQueryInfo_dataf failed, Error: 12150 (0x2f76)"},
        {"Content-Length 0", hostile::http(200, "Content-Length: 0\r\n", body),
         "HttpQueryInfo_dataf failed, zero file size"},
        {"Content-Length abc", hostile::http(200, "Content-Length: abc\r\n", body),
         "HttpQueryInfo_dataf failed, zero file size"},
        {"closed mid-body", hostile::okCut(body.substr(0, 100), 300), "InternetReadFile failed, fileBuf: 0x"},
        {"corrupted", hostile::okCut(std::string("KVXP") + body.substr(4), 300),
         "Downloaded data file is corrupted, try again."},
        {"no installer", hostile::ok(hostile::bytes(packageFileMake(430, {{"zerbinpda.vps", {'d', 'b'}, 0}}))),
         "The update package names no installer; nothing was installed."},
    };
    for (const Case& c : cases) {
        server.serve("upgrade.dat", c.reply);
        const std::string box = update();
        EXPECT_EQ(box.rfind(c.box, 0), 0u) << c.what << ": " << box;
    }
    EXPECT_EQ(requestsFor("/files/pda/ppc_arm/upgrade.dat"), std::size(cases));

    // Refused without a word: a 404 page, taken for the package and too
    // short for one; an entry whose name would leave the temporary folder.
    const hostile::Reply silent[] = {
        hostile::http(404, "Content-Length: 9\r\n", "not found"),
        hostile::ok(hostile::bytes(packageFileMake(
            430, {{"first.txt", {'1'}, 0}, {"..\\escaped.exe", {'M', 'Z'}, kEntryFlagInstaller}}))),
    };
    size_t expected = std::size(cases);
    for (const hostile::Reply& reply : silent) {
        server.serve("upgrade.dat", reply);
        app.press(kUpdate);
        ++expected;
        EXPECT_TRUE(waitFor(10000, [&] { return requestsFor("upgrade.dat") == expected; }));
        EXPECT_FALSE(app.boxOpen(1500));
    }
    EXPECT_FALSE(pathExists(app.path(L"escaped.exe")));
    EXPECT_EQ(e2e::readFileBytes(app.path(L"temp\\first.txt")), std::vector<uint8_t>{'1'});
    EXPECT_EQ(app.waitExit(0), -1) << "zerbin still runs";
}

TEST_F(ZerbinUpdate, AGoodPackageEndsZerbinAndStartsItsInstaller) {
    openSettings();
    server.serve("version.dat", hostile::ok(versionFile(430)));
    expectGoodPackageInstalled({'n', 'e', 'w'});
}

TEST_F(ZerbinUpdate, TheConnectionManagerDecidesHowZerbinGoesOnLine) {
    openSettings();
    server.serve("version.dat", hostile::ok(versionFile(429)));

    // No proxy: the server is asked directly.
    EXPECT_EQ(update(), "zerbin! is up-to-date.");
    ASSERT_FALSE(server.requestLines().empty());
    EXPECT_EQ(server.requestLines().back(), "GET /files/pda/ppc_arm/version.dat HTTP/1.1");

    // A proxy: the whole URL goes to it.
    network->connectionManager(L"connected", L"update.morvane.example:80");
    EXPECT_EQ(update(), "zerbin! is up-to-date.");
    EXPECT_EQ(server.requestLines().back().rfind("GET http://update.morvane.example", 0), 0u)
        << server.requestLines().back();

    // No connection: only the command's own text, never the connection
    // manager's messages.
    const size_t asked = server.requestLines().size();
    for (const wchar_t* mode : {L"establish-fails", L"status-failed"}) {
        network->connectionManager(mode, nullptr);
        EXPECT_EQ(update(), "Can't establish connection.") << utf8(mode);
        EXPECT_FALSE(app.boxOpen(300));
    }
    network->connectionManager(L"disconnected", nullptr);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(update(40000), "Can't establish connection.");
    EXPECT_GE(GetTickCount64() - start, 11500u) << "the whole 12 seconds were waited";
    EXPECT_EQ(server.requestLines().size(), asked);

    // On line but the server unreachable.
    network->connectionManager(L"connected", nullptr);
    network->lead("off");
    EXPECT_EQ(update().rfind("HttpSendRequest_version failed, error ", 0), 0u);
}

// The files of a folder with their sizes, to see that nothing changed.
std::vector<std::pair<std::wstring, DWORD>> folderFiles(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, DWORD>> files;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.emplace_back(found.cFileName, found.nFileSizeLow);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return files;
}

// A server that stops talking: Update ends with the failed step's box within
// a minute, zerbin answers again at once, and its folder is as it was.
TEST_F(ZerbinUpdate, AStalledServerEndsTheUpdateWithinAMinuteAndChangesNothing) {
    openSettings();
    const auto before = folderFiles(app.folder());
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 300\r\nConnection: close\r\n\r\n";
    struct Case {
        const char* what;
        const char* file;
        hostile::Reply reply;
        const char* box;  // the box's text begins with this
    } cases[] = {
        {"silent after accepting", "version.dat", hostile::stall(""),
         "HttpSendRequest_version failed, error 12002 (0x2ee2)"},
        {"half the package, then nothing", "upgrade.dat", hostile::stall(headers + std::string(150, 'p')),
         "InternetReadFile failed, fileBuf: 0x"},
    };
    for (const Case& c : cases) {
        server.serve("version.dat", hostile::ok(versionFile(430)));
        server.serve(c.file, c.reply);
        const ULONGLONG start = GetTickCount64();
        const std::string box = update(70000);
        EXPECT_LT(GetTickCount64() - start, 60000u) << c.what;
        EXPECT_EQ(box.rfind(c.box, 0), 0u) << c.what << ": " << box;
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutW(app.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer))
            << c.what << ": zerbin answers again";
        EXPECT_TRUE(app.enabled(kUpdate)) << c.what;
        EXPECT_EQ(folderFiles(app.folder()), before) << c.what;
        EXPECT_TRUE(folderFiles(app.path(L"temp")).empty()) << c.what;
    }
    EXPECT_EQ(app.waitExit(0), -1) << "zerbin still runs";
}

// A device that holds the maker's key (update.key beside zerbin) refuses a
// package without the maker's signature, writing nothing, and installs one
// with it. The package and its signatures were made with OpenSSL when the
// tests ran (make_signing_files.sh).
TEST_F(ZerbinUpdate, WithTheMakersKeyOnlyTheMakersSignatureInstalls) {
    const std::wstring inputs = e2e::selfPath().substr(0, e2e::selfPath().rfind(L'\\') + 1);
    const std::vector<uint8_t> package = e2e::readFileBytes(inputs + L"e2e.dat");
    const std::vector<uint8_t> signature = e2e::readFileBytes(inputs + L"e2e.sig");
    ASSERT_FALSE(package.empty()) << "the signing files are made by win.update_signing_files";
    ASSERT_TRUE(CopyFileW((inputs + L"a.key").c_str(), app.path(L"update.key").c_str(), FALSE));
    openSettings();
    server.serve("version.dat", hostile::ok(versionFile(430)));
    server.serve("upgrade.dat", hostile::ok(hostile::bytes(package)));
    struct Case {
        const char* what;
        hostile::Reply reply;
        const char* box;
    } cases[] = {
        {"no signature", hostile::http(404, "Content-Length: 9\r\n", "not found"),
         "The update package has no valid signature (upgrade.sig); nothing was installed."},
        {"another key's signature", hostile::ok(hostile::bytes(e2e::readFileBytes(inputs + L"e2e.b.sig"))),
         "The update package's signature does not match the maker's key; nothing was installed."},
    };
    for (const Case& c : cases) {
        server.serve("upgrade.sig", c.reply);
        EXPECT_EQ(update(), c.box) << c.what;
        EXPECT_TRUE(folderFiles(app.path(L"temp")).empty()) << c.what;
        EXPECT_EQ(app.waitExit(0), -1) << c.what << ": zerbin still runs";
    }
    EXPECT_EQ(requestsFor("upgrade.sig"), std::size(cases));

    server.serve("upgrade.sig", hostile::ok(hostile::bytes(signature)));
    const DWORD pid = app.processId();
    app.press(kUpdate);
    EXPECT_EQ(app.waitExit(30000), 0) << "ended for its installer";
    const std::wstring recorded = app.path(L"temp\\installer.txt");
    ASSERT_TRUE(waitFor(10000, [&] { return !e2e::readFileBytes(recorded).empty(); }));
    std::vector<uint8_t> bytes = e2e::readFileBytes(recorded);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2),
              L"@" + std::to_wstring(pid) + L" " + app.path(L"temp") + L"\\");
}

// The WM5 and Handheld PC editions, carried by this test, asked on the
// settings screen of a Pocket PC device: on line without the connection
// manager, each with its own directory.
TEST_F(ZerbinUpdate, EditionsWithoutConnectionManagerAskTheirOwnDirectory) {
    server.serve("version.dat", hostile::ok(versionFile(429)));
    network->connectionManager(L"establish-fails", nullptr);  // never asked
    struct Edition {
        const wchar_t* resource;
        const char* path;
    } editions[] = {{L"ZERBIN_WM5", "GET /files/pda/ppc_wm5/version.dat HTTP/1.1"},
                    {L"ZERBIN_HPC", "GET /files/pda/hpc_arm/version.dat HTTP/1.1"}};
    for (const Edition& edition : editions) {
        app.end();
        app.putLibrary(edition.resource, L"zerbin.exe");
        openSettings();
        EXPECT_EQ(update(), "zerbin! is up-to-date.") << utf8(edition.resource);
        ASSERT_FALSE(server.requestLines().empty());
        EXPECT_EQ(server.requestLines().back(), edition.path);
    }
}

// The WM5 and Handheld PC editions open WinInet with the preconfigured access
// first, and try the direct one only when that fails. When both fail, one box
// tells the error, then the command's own text, and nothing more is asked.
TEST_F(ZerbinUpdate, EditionsWhoseInternetOpenFailsTellItOnceThenGiveUp) {
    server.serve("version.dat", hostile::ok(versionFile(430)));
    network->connectionManager(L"establish-fails", nullptr);  // never asked
    // Wine loads a WinInet beside a program only when the device's setting
    // for that program asks for it.
    struct Overrides {
        Overrides() {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return;
            const wchar_t native[] = L"native,builtin";
            set = RegSetValueExW(key, L"wininet", 0, REG_SZ, reinterpret_cast<const BYTE*>(native), sizeof native) ==
                  ERROR_SUCCESS;
            RegCloseKey(key);
        }
        ~Overrides() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\zerbin.exe"); }
        const wchar_t* kKey = L"Software\\Wine\\AppDefaults\\zerbin.exe\\DllOverrides";
        bool set = false;
    } overrides;
    ASSERT_TRUE(overrides.set);
    for (const wchar_t* edition : {L"ZERBIN_WM5", L"ZERBIN_HPC"}) {
        app.end();
        app.putLibrary(edition, L"zerbin.exe");
        app.putLibrary(L"WININET_INTERNETOPEN_FAILS", L"WinInet.dll");
        openSettings();
        const std::wstring opens = app.path(L"wininet-opens.txt");
        auto attempts = [&] {
            const std::vector<uint8_t> bytes = e2e::readFileBytes(opens);
            DeleteFileW(opens.c_str());
            return std::string(bytes.begin(), bytes.end());
        };

        // Where the preconfigured access opens, it is the one used: the
        // stand-in then fails the connection.
        e2e::writeFile(app.path(L"wininet-accept.txt"), "0");
        EXPECT_EQ(update().rfind("InternetConnect_version failed, error 120 (0x78)", 0), 0u) << utf8(edition);
        EXPECT_FALSE(app.boxOpen(1000)) << utf8(edition) << ": nothing more";
        EXPECT_EQ(attempts(), "0\n") << utf8(edition);
        DeleteFileW(app.path(L"wininet-accept.txt").c_str());

        // ERROR_INTERNET_INTERNAL_ERROR, as the stand-in fails.
        EXPECT_EQ(update(), "InternetOpen failed, Error: 0x2EE4") << utf8(edition);
        std::wstring text;
        EXPECT_TRUE(app.answerBox(IDOK, nullptr, &text, 10000)) << utf8(edition);
        EXPECT_EQ(utf8(text), "Can't establish connection.") << utf8(edition);
        EXPECT_FALSE(app.boxOpen(1000)) << utf8(edition) << ": nothing more";
        // INTERNET_OPEN_TYPE_PRECONFIG, then INTERNET_OPEN_TYPE_DIRECT.
        EXPECT_EQ(attempts(), "0\n1\n") << utf8(edition);
        EXPECT_TRUE(server.requestLines().empty()) << utf8(edition);
        EXPECT_EQ(app.waitExit(0), -1) << utf8(edition) << ": zerbin still runs";
    }
}

// The Smartphone edition, carried by this test: its Update is the left soft
// key of the settings screen, and it asks its own directory only.
TEST_F(ZerbinUpdate, TheSmartphoneEditionAsksItsOwnDirectory) {
    constexpr int kLeftSoftKey = 11000;
    constexpr int kRightSoftKey = 11001;
    server.serve("version.dat", hostile::ok(versionFile(429)));
    app.end();
    app.putLibrary(L"ZERBIN_SPHONE", L"zerbin.exe");
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    ASSERT_FALSE(app.exists(kUpdate)) << "no push buttons";
    app.command(kRightSoftKey);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8401); })) << "the settings screen";
    for (int round = 0; round < 2; ++round) {
        app.command(kLeftSoftKey);
        ASSERT_TRUE(app.boxOpen(30000));
        std::wstring text;
        ASSERT_TRUE(app.answerBox(IDOK, nullptr, &text, 10000));
        EXPECT_EQ(utf8(text), "zerbin! is up-to-date.");
    }
    ASSERT_EQ(server.requestLines().size(), 2u);
    for (const std::string& line : server.requestLines()) {
        EXPECT_EQ(line, "GET /files/pda/sphone2003/version.dat HTTP/1.1");
    }
}

// The Handheld PC edition installs from the temporary folder under its own.
TEST_F(ZerbinUpdate, TheHandheldPcInstallsFromTheTemporaryFolderUnderItsOwn) {
    server.serve("version.dat", hostile::ok(versionFile(430)));
    app.end();
    app.putLibrary(L"ZERBIN_HPC", L"zerbin.exe");
    openSettings();
    expectGoodPackageInstalled({'h', 'p', 'c'});
    EXPECT_EQ(requestsFor("/files/pda/hpc_arm/upgrade.dat"), 1u);
}

// The unattended check, as the monitor runs it, with this test program in
// the monitor's place: a newer package waits while zerbin is in front, and
// ends a zerbin in the background.
TEST_F(ZerbinUpdate, UnattendedCheckWaitsForZerbinInFrontAndEndsItInTheBackground) {
    openSettings();
    server.serve("version.dat", hostile::ok(versionFile(430)));
    ASSERT_EQ(bindPlatformLibraries(), nullptr);
    HINTERNET internet = updateConnect(modeUnattended);
    ASSERT_NE(internet, nullptr);

    ASSERT_TRUE(waitFor(5000, [&] { return GetForegroundWindow() == app.window(); }));
    EXPECT_FALSE(downloadVersionFile(internet, modeUnattended));
    EXPECT_EQ(app.waitExit(500), -1) << "zerbin in front is left alone";

    HWND other = CreateWindowExW(0, L"STATIC", L"in front", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(waitFor(5000, [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return GetForegroundWindow() == other;
    }));
    EXPECT_TRUE(downloadVersionFile(internet, modeUnattended));
    EXPECT_EQ(app.waitExit(10000), 0) << "zerbin in the background is ended";
    DestroyWindow(other);
    g_api.InternetCloseHandle(internet);
}

}  // namespace
