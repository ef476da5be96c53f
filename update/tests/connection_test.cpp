// Getting on line on the test device: the connection wait against the
// device's scripted connection manager, and the Internet handle.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/binding.h"
#include "update/tests/box_catcher.h"
#include "update/update.h"

namespace {

constexpr wchar_t kCaption[] = L"zerbin! antivirus";

// Sets the device's connection manager for the next request; restores
// "connected" without a proxy when the test ends.
class ConnectionManagerScript {
public:
    ConnectionManagerScript() { set(L"connected", nullptr); }
    ~ConnectionManagerScript() { set(L"connected", nullptr); }
    void set(const wchar_t* mode, const wchar_t* proxy) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot open the connection manager's settings";
            return;
        }
        RegSetValueExW(key, L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(mode),
                       static_cast<DWORD>((wcslen(mode) + 1) * sizeof(wchar_t)));
        if (proxy) {
            RegSetValueExW(key, L"Proxy", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy),
                           static_cast<DWORD>((wcslen(proxy) + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key, L"Proxy");
        }
        RegCloseKey(key);
    }
};

struct Connection {
    HANDLE handle = nullptr;
    wchar_t proxy[kProxyNameCapacity] = L"preset";
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::vector<std::wstring> boxes;
    DWORD elapsedMs = 0;

    explicit Connection(uint32_t mode) {
        proxy[0] = 0;
        const DWORD start = GetTickCount();
        boxes = catchBoxes(kCaption, [&] { handle = updateGetConnectType(mode, proxy, &accessType); });
        elapsedMs = GetTickCount() - start;
    }
    ~Connection() {
        if (handle) g_api.ConnMgrReleaseConnection(handle, 1);
    }
};

class Connect : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(bindPlatformLibraries(), nullptr); }
    ConnectionManagerScript script;
};

TEST_F(Connect, AConnectionWithoutProxyOpensDirect) {
    Connection c(modeInteractive);
    EXPECT_NE(c.handle, nullptr);
    EXPECT_EQ(c.accessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_DIRECT));
    EXPECT_STREQ(c.proxy, L"");
    EXPECT_TRUE(c.boxes.empty());
}

TEST_F(Connect, AConnectionWithAProxyOpensThroughIt) {
    script.set(L"connected", L"update.morvane.example:80");
    Connection c(modeInteractive);
    EXPECT_NE(c.handle, nullptr);
    EXPECT_EQ(c.accessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    EXPECT_STREQ(c.proxy, L"update.morvane.example:80");
    HINTERNET internet = updateConnect(modeInteractive, c.proxy, c.accessType);
    EXPECT_NE(internet, nullptr);
    if (internet) g_api.InternetCloseHandle(internet);
}

TEST_F(Connect, FailedConnectionsReportTheirCauseOnlyWhenSomeoneWatches) {
    struct Case {
        const wchar_t* mode;
        const wchar_t* message;
    } cases[] = {
        {L"establish-fails", L"ConnMgrEstablishConnection failed, Error(HRESULT): 0x80004005"},
        {L"status-failed", L"ConnMgrConnectionStatus failed, Error: 0x21"},
    };
    for (const Case& c : cases) {
        script.set(c.mode, nullptr);
        Connection interactive(modeInteractive);
        EXPECT_EQ(interactive.handle, nullptr);
        EXPECT_EQ(interactive.boxes, std::vector<std::wstring>{c.message});
        Connection unattended(modeUnattended);
        EXPECT_EQ(unattended.handle, nullptr);
        EXPECT_TRUE(unattended.boxes.empty());
    }
}

TEST_F(Connect, AConnectionThatStaysDisconnectedTimesOutAfterTwelveSeconds) {
    script.set(L"disconnected", nullptr);
    Connection c(modeInteractive);
    EXPECT_EQ(c.handle, nullptr);
    EXPECT_EQ(c.boxes, std::vector<std::wstring>{L"WaitForSingleObject failed, Error: 0x102"});
    EXPECT_GE(c.elapsedMs, 11500u);  // it waited the whole time, not given up early
}

// The Internet handle's opening as WinInet sees it: the access types asked
// for, in order; the platform's answer or a refusal.
std::vector<DWORD> g_opened;
bool g_refuseOpen = false;
decltype(g_api.InternetOpenW) g_realOpen = nullptr;

HINTERNET WINAPI recordingOpen(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
    g_opened.push_back(accessType);
    EXPECT_STREQ(agent, L"zerbin! 4.1.19 PDA");
    if (g_refuseOpen) {
        SetLastError(12345);
        return nullptr;
    }
    return g_realOpen(agent, accessType, proxy, bypass, flags);
}

class OpenInternet : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(bindPlatformLibraries(), nullptr);
        g_realOpen = g_api.InternetOpenW;
        g_api.InternetOpenW = recordingOpen;
        g_opened.clear();
    }
    void TearDown() override {
        g_api.InternetOpenW = g_realOpen;
        g_refuseOpen = false;
    }
};

TEST_F(OpenInternet, PreconfiguredOpensAtTheFirstAttempt) {
    HINTERNET internet = nullptr;
    std::vector<std::wstring> boxes = catchBoxes(kCaption, [&] { internet = updateConnect(modeInteractive); });
    EXPECT_NE(internet, nullptr);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(g_opened, std::vector<DWORD>{INTERNET_OPEN_TYPE_PRECONFIG});
    if (internet) g_api.InternetCloseHandle(internet);
}

TEST_F(OpenInternet, BothAttemptsFailingShowOneBox) {
    g_refuseOpen = true;
    HINTERNET internet = nullptr;
    std::vector<std::wstring> boxes = catchBoxes(kCaption, [&] { internet = updateConnect(modeInteractive); });
    EXPECT_EQ(internet, nullptr);
    EXPECT_EQ(g_opened, (std::vector<DWORD>{INTERNET_OPEN_TYPE_PRECONFIG, INTERNET_OPEN_TYPE_DIRECT}));
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"InternetOpen failed, Error: 0x3039"});

    g_opened.clear();
    boxes = catchBoxes(kCaption, [&] { internet = updateConnect(modeInteractive, nullptr, INTERNET_OPEN_TYPE_DIRECT); });
    EXPECT_EQ(internet, nullptr);
    EXPECT_EQ(g_opened, std::vector<DWORD>{INTERNET_OPEN_TYPE_DIRECT});
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"InternetOpen failed, Error: 0x3039"});
}

}  // namespace
