// The device's network: with C:\windows\zbnet.txt naming a server on this
// machine, WinInet requests for the update server's host name reach that
// server whichever way the Internet handle was opened (direct, preconfigured,
// through the HTTP proxy the connection manager offers); with "off" or no
// file the handle still opens and every connection fails. The server is a
// small Winsock server inside the test; the file and the connection
// manager's settings are put back afterwards.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ce_connmgr.h"
#include "update/update_config.h"

namespace {

// Answers every request with "200 OK", a body naming the request line, and
// closes the connection; remembers the request lines.
class TinyServer {
public:
    bool start() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == INVALID_SOCKET) return false;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
        int len = sizeof addr;
        if (getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return false;
        port_ = ntohs(addr.sin_port);
        if (listen(listener_, 8) != 0) return false;
        thread_ = std::thread([this] { serve(); });
        return true;
    }
    ~TinyServer() {
        stopping_ = true;
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        if (thread_.joinable()) thread_.join();
        WSACleanup();
    }
    unsigned port() const { return port_; }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> hold(lock_);
        return requests_;
    }

private:
    void serve() {
        while (!stopping_) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                int n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, n);
            }
            const std::string line = request.substr(0, request.find("\r\n"));
            {
                std::lock_guard<std::mutex> hold(lock_);
                requests_.push_back(line);
            }
            const std::string body = "served " + line;
            const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                       "\r\nConnection: close\r\n\r\n" + body;
            send(client, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    unsigned port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::vector<std::string> requests_;
};

std::wstring settingPath() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\zbnet.txt";
}

std::optional<std::string> readSetting() {
    HANDLE f = CreateFileW(settingPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    char text[512];
    DWORD n = 0;
    ReadFile(f, text, sizeof text, &n, nullptr);
    CloseHandle(f);
    return std::string(text, n);
}

void writeSetting(const std::optional<std::string>& text) {
    if (!text) {
        DeleteFileW(settingPath().c_str());
        return;
    }
    HANDLE f = CreateFileW(settingPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, text->data(), static_cast<DWORD>(text->size()), &n, nullptr);
    CloseHandle(f);
}

struct Fetch {
    bool opened = false;
    bool sent = false;
    DWORD error = 0;
    std::string body;
};

// One request as the update code makes it, on a fresh Internet handle.
Fetch fetch(DWORD accessType, const wchar_t* proxy, const wchar_t* path, INTERNET_PORT port = kUpdatePort) {
    Fetch f;
    HINTERNET internet = InternetOpenW(kUpdateUserAgent, accessType, proxy, nullptr, 0);
    f.opened = internet != nullptr;
    if (!internet) return f;
    HINTERNET connection =
        InternetConnectW(internet, kUpdateHost, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = connection ? HttpOpenRequestW(connection, nullptr, path, nullptr, nullptr, nullptr,
                                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                   : nullptr;
    f.sent = request && HttpSendRequestW(request, nullptr, 0, nullptr, 0);
    f.error = f.sent ? 0 : GetLastError();
    if (f.sent) {
        char buffer[512];
        DWORD n = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &n) && n > 0) f.body.append(buffer, n);
    }
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return f;
}

// The proxy that the device's connection manager offers when its "Proxy"
// setting is `proxy`; the setting is put back afterwards.
std::wstring proxyFromConnectionManager(const wchar_t* proxy) {
    HMODULE cellcore = LoadLibraryW(L"cellcore.dll");
    if (!cellcore) return L"";
    auto establish = reinterpret_cast<PFN_ConnMgrEstablishConnection>(
        reinterpret_cast<void*>(GetProcAddress(cellcore, "ConnMgrEstablishConnection")));
    auto providerMessage = reinterpret_cast<PFN_ConnMgrProviderMessage>(
        reinterpret_cast<void*>(GetProcAddress(cellcore, "ConnMgrProviderMessage")));
    auto release = reinterpret_cast<PFN_ConnMgrReleaseConnection>(
        reinterpret_cast<void*>(GetProcAddress(cellcore, "ConnMgrReleaseConnection")));
    if (!establish || !providerMessage || !release) return L"";

    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return L"";
    }
    wchar_t saved[1024] = L"";
    DWORD savedBytes = sizeof saved;
    const bool hadProxy = RegQueryValueExW(key, L"Proxy", nullptr, nullptr, reinterpret_cast<BYTE*>(saved),
                                           &savedBytes) == ERROR_SUCCESS;
    wchar_t savedMode[64] = L"";
    DWORD savedModeBytes = sizeof savedMode;
    const bool hadMode = RegQueryValueExW(key, L"Mode", nullptr, nullptr, reinterpret_cast<BYTE*>(savedMode),
                                          &savedModeBytes) == ERROR_SUCCESS;
    RegSetValueExW(key, L"Proxy", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy),
                   static_cast<DWORD>((wcslen(proxy) + 1) * sizeof(wchar_t)));
    RegSetValueExW(key, L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"connected"), sizeof L"connected");

    std::wstring offered;
    CONNMGR_CONNECTIONINFO info{};
    info.cbSize = sizeof info;
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = IID_DestNetInternet;
    HANDLE connection = nullptr;
    if (establish(&info, &connection) == S_OK) {
        WaitForSingleObject(connection, 5000);
        PROXY_CONFIG config{};
        if (providerMessage(connection, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                            reinterpret_cast<PBYTE>(&config), sizeof config) == S_OK) {
            offered = config.szProxyServer;
        }
        release(connection, 1);
    }
    if (hadProxy) {
        RegSetValueExW(key, L"Proxy", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved), savedBytes);
    } else {
        RegDeleteValueW(key, L"Proxy");
    }
    if (hadMode) {
        RegSetValueExW(key, L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(savedMode), savedModeBytes);
    } else {
        RegDeleteValueW(key, L"Mode");
    }
    RegCloseKey(key);
    return offered;
}

class DeviceNetworkTest : public testing::Test {
protected:
    void SetUp() override {
        saved_ = readSetting();
        ASSERT_TRUE(server_.start());
        on_ = "127.0.0.1:" + std::to_string(server_.port()) + "\r\n";
    }
    void TearDown() override { writeSetting(saved_); }

    TinyServer server_;
    std::string on_;

private:
    std::optional<std::string> saved_;
};

TEST_F(DeviceNetworkTest, EveryWayOfOpeningReachesTheNamedServer) {
    writeSetting(on_);

    Fetch direct = fetch(INTERNET_OPEN_TYPE_DIRECT, nullptr, L"/files/pda/ppc_arm/version.dat");
    ASSERT_TRUE(direct.sent) << "error " << direct.error;
    EXPECT_EQ(direct.body, "served GET /files/pda/ppc_arm/version.dat HTTP/1.1");

    // Preconfigured: the device's own Internet settings (no proxy), never the host's.
    Fetch preconfigured = fetch(INTERNET_OPEN_TYPE_PRECONFIG, nullptr, L"/files/pda/ppc_arm/upgrade.dat");
    ASSERT_TRUE(preconfigured.sent) << "error " << preconfigured.error;
    EXPECT_EQ(preconfigured.body, "served GET /files/pda/ppc_arm/upgrade.dat HTTP/1.1");

    // The proxy that the connection manager offers: the request goes to the
    // same server with the whole URL in its request line.
    const std::wstring proxy = proxyFromConnectionManager(L"update.morvane.example:80");
    ASSERT_EQ(proxy, L"update.morvane.example:80");
    Fetch proxied = fetch(INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), L"/files/pda/ppc_arm/version.dat");
    ASSERT_TRUE(proxied.sent) << "error " << proxied.error;
    EXPECT_EQ(proxied.body.rfind("served GET http://update.morvane.example", 0), 0u) << proxied.body;
    EXPECT_NE(proxied.body.find("/files/pda/ppc_arm/version.dat HTTP/1.1"), std::string::npos) << proxied.body;

    EXPECT_EQ(server_.requests().size(), 3u);
}

TEST_F(DeviceNetworkTest, OffOrNoSettingOpensTheHandleButNoConnection) {
    for (const std::optional<std::string>& setting :
         {std::optional<std::string>("off\r\n"), std::optional<std::string>(), std::optional<std::string>("junk")}) {
        writeSetting(setting);
        for (DWORD type : {DWORD(INTERNET_OPEN_TYPE_DIRECT), DWORD(INTERNET_OPEN_TYPE_PRECONFIG)}) {
            Fetch f = fetch(type, nullptr, L"/files/pda/ppc_arm/version.dat");
            EXPECT_TRUE(f.opened);
            EXPECT_FALSE(f.sent) << f.body;
            EXPECT_NE(f.error, 0u);
        }
        Fetch proxied = fetch(INTERNET_OPEN_TYPE_PROXY, L"update.morvane.example:80", L"/files/pda/ppc_arm/version.dat");
        EXPECT_TRUE(proxied.opened);
        EXPECT_FALSE(proxied.sent);
    }
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(DeviceNetworkTest, ChangesApplyToTheNextRequestAndOnlyPort80Leads) {
    writeSetting(on_);
    EXPECT_TRUE(fetch(INTERNET_OPEN_TYPE_DIRECT, nullptr, L"/a").sent);
    writeSetting(std::string("off"));
    EXPECT_FALSE(fetch(INTERNET_OPEN_TYPE_DIRECT, nullptr, L"/b").sent);
    writeSetting(on_);
    EXPECT_TRUE(fetch(INTERNET_OPEN_TYPE_DIRECT, nullptr, L"/c").sent);
    // Another port of the update server's name leads nowhere.
    EXPECT_FALSE(fetch(INTERNET_OPEN_TYPE_DIRECT, nullptr, L"/d", 8080).sent);

    const std::vector<std::string> seen = server_.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "GET /a HTTP/1.1");
    EXPECT_EQ(seen[1], "GET /c HTTP/1.1");
}

}  // namespace
