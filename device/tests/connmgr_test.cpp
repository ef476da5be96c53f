// cellcore.dll on the device: every configured mode of the connection
// manager, driven through the calling order a program uses (map the URL,
// request the connection, wait on its handle and read the status, ask for the
// proxy, release). The device configuration is restored afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ce_connmgr.h"
#include "device/tests/celibs_test_util.h"

namespace {

struct CellCore {
    HMODULE module = LoadLibraryW(L"cellcore.dll");
    template <typename T>
    T entry(const char* name) {
        return celibs_test::entryOf<T>(module, name);
    }
    PFN_ConnMgrMapURL mapUrl = entry<PFN_ConnMgrMapURL>("ConnMgrMapURL");
    PFN_ConnMgrEstablishConnection establish = entry<PFN_ConnMgrEstablishConnection>("ConnMgrEstablishConnection");
    PFN_ConnMgrConnectionStatus status = entry<PFN_ConnMgrConnectionStatus>("ConnMgrConnectionStatus");
    PFN_ConnMgrProviderMessage providerMessage = entry<PFN_ConnMgrProviderMessage>("ConnMgrProviderMessage");
    PFN_ConnMgrReleaseConnection release = entry<PFN_ConnMgrReleaseConnection>("ConnMgrReleaseConnection");
    bool complete() const { return mapUrl && establish && status && providerMessage && release; }
};

// One configuration value: read at the start, written by a test, put back.
std::optional<std::wstring> readValue(const wchar_t* name) {
    wchar_t text[1024];
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text);
}

void writeValue(const wchar_t* name, const std::optional<std::wstring>& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, name);
    }
    RegCloseKey(key);
}

// What the calling order observed.
struct Outcome {
    HRESULT established = E_UNEXPECTED;
    bool timedOut = false;
    bool statusRead = false;
    DWORD lastStatus = 0xFFFFFFFF;
    HANDLE handle = nullptr;
};

class ConnMgrTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        savedMode_ = readValue(L"Mode");
        savedProxy_ = readValue(L"Proxy");
    }
    static void TearDownTestSuite() {
        writeValue(L"Mode", savedMode_);
        writeValue(L"Proxy", savedProxy_);
    }
    void SetUp() override { ASSERT_TRUE(cm.complete()); }

    void configure(const wchar_t* mode, const wchar_t* proxy) {
        writeValue(L"Mode", mode ? std::optional<std::wstring>(mode) : std::nullopt);
        writeValue(L"Proxy", proxy ? std::optional<std::wstring>(proxy) : std::nullopt);
    }

    static CONNMGR_CONNECTIONINFO request() {
        CONNMGR_CONNECTIONINFO info{};
        info.cbSize = sizeof info;
        info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
        info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
        info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
        return info;
    }

    // A program's way of getting a connection: map the URL, request, then
    // wait on the handle (for at most `budgetMs` in all) until the status
    // says it is up or it cannot come up.
    Outcome connectLikeTheProgram(DWORD budgetMs) {
        Outcome o;
        CONNMGR_CONNECTIONINFO info = request();
        EXPECT_EQ(cm.mapUrl(L"http://update.example/files/pda/sphone/version.dat", &info.guidDestNet, nullptr), S_OK);
        o.established = cm.establish(&info, &o.handle);
        if (o.established != S_OK) return o;
        const DWORD start = GetTickCount();
        for (LONG remaining = static_cast<LONG>(budgetMs); remaining > 0;
             remaining = static_cast<LONG>(budgetMs - (GetTickCount() - start))) {
            DWORD w = WaitForSingleObject(o.handle, static_cast<DWORD>(remaining));
            if (w == WAIT_TIMEOUT) {
                o.timedOut = true;
                break;
            }
            if (w != WAIT_OBJECT_0) continue;
            if (cm.status(o.handle, &o.lastStatus) != S_OK) break;
            o.statusRead = true;
            const DWORD s = o.lastStatus;
            if (s == CONNMGR_STATUS_UNKNOWN || s == CONNMGR_STATUS_CONNECTED || (s >= 0x21 && s <= 0x25) || s == 0x42) {
                break;
            }
        }
        return o;
    }

    HRESULT askProxy(HANDLE handle, PROXY_CONFIG& proxy) {
        proxy = PROXY_CONFIG{};
        return cm.providerMessage(handle, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                                  reinterpret_cast<PBYTE>(&proxy), sizeof proxy);
    }

    CellCore cm;

private:
    static std::optional<std::wstring> savedMode_, savedProxy_;
};

std::optional<std::wstring> ConnMgrTest::savedMode_, ConnMgrTest::savedProxy_;

TEST_F(ConnMgrTest, MapUrlNamesTheInternet) {
    GUID network{};
    DWORD index = 0;
    ASSERT_EQ(cm.mapUrl(L"http://update.example/files/pda/sphone/version.dat", &network, &index), S_OK);
    EXPECT_TRUE(IsEqualGUID(network, IID_DestNetInternet));
    EXPECT_EQ(cm.mapUrl(nullptr, &network, &index), E_INVALIDARG);
    EXPECT_EQ(cm.mapUrl(L"http://a/", nullptr, &index), E_INVALIDARG);
}

TEST_F(ConnMgrTest, ConnectedWithoutProxyGoesDirect) {
    configure(L"connected", L"");
    Outcome o = connectLikeTheProgram(12000);
    ASSERT_EQ(o.established, S_OK);
    ASSERT_NE(o.handle, nullptr);
    EXPECT_FALSE(o.timedOut);
    EXPECT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    PROXY_CONFIG proxy;
    EXPECT_EQ(askProxy(o.handle, proxy), E_NOINTERFACE);
    EXPECT_EQ(cm.release(o.handle, 1), S_OK);
    // The handle is gone with the connection.
    DWORD status = 0;
    EXPECT_EQ(cm.status(o.handle, &status), E_INVALIDARG);
    EXPECT_EQ(cm.release(o.handle, 1), E_INVALIDARG);
}

TEST_F(ConnMgrTest, DefaultConfigurationConnectsWithoutProxy) {
    configure(nullptr, nullptr);
    Outcome o = connectLikeTheProgram(12000);
    ASSERT_EQ(o.established, S_OK);
    EXPECT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    PROXY_CONFIG proxy;
    EXPECT_EQ(askProxy(o.handle, proxy), E_NOINTERFACE);
    EXPECT_EQ(cm.release(o.handle, 0), S_OK);
}

TEST_F(ConnMgrTest, ConnectedWithProxyOffersIt) {
    configure(L"connected", L"proxy.example:8080");
    Outcome o = connectLikeTheProgram(12000);
    ASSERT_EQ(o.established, S_OK);
    ASSERT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    PROXY_CONFIG proxy;
    ASSERT_EQ(askProxy(o.handle, proxy), S_OK);
    EXPECT_STREQ(proxy.szProxyServer, L"proxy.example:8080");
    EXPECT_EQ(proxy.dwType, static_cast<DWORD>(CONNMGR_FLAG_PROXY_HTTP));
    EXPECT_TRUE(proxy.dwEnable);

    // Another provider, another kind of proxy, or a short record: no answer.
    const GUID other = IID_DestNetInternet;
    EXPECT_EQ(cm.providerMessage(o.handle, &other, nullptr, 0, 0, reinterpret_cast<PBYTE>(&proxy), sizeof proxy),
              E_NOINTERFACE);
    proxy = PROXY_CONFIG{};
    proxy.dwType = CONNMGR_FLAG_PROXY_SOCKS5;
    EXPECT_EQ(cm.providerMessage(o.handle, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0, reinterpret_cast<PBYTE>(&proxy),
                                 sizeof proxy),
              E_NOINTERFACE);
    proxy = PROXY_CONFIG{};
    EXPECT_EQ(cm.providerMessage(o.handle, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0, reinterpret_cast<PBYTE>(&proxy),
                                 sizeof proxy - 1),
              E_INVALIDARG);
    EXPECT_EQ(proxy.szProxyServer[0], 0) << "a short record is left alone";
    EXPECT_EQ(cm.providerMessage(nullptr, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0, reinterpret_cast<PBYTE>(&proxy),
                                 sizeof proxy),
              E_INVALIDARG);
    EXPECT_EQ(cm.release(o.handle, 1), S_OK);
}

TEST_F(ConnMgrTest, AProxyTooLongForTheRecordIsNotCutShort) {
    const std::wstring longProxy = std::wstring(300, L'p') + L":8080";
    configure(L"connected", longProxy.c_str());
    Outcome o = connectLikeTheProgram(12000);
    ASSERT_EQ(o.established, S_OK);
    PROXY_CONFIG proxy;
    HRESULT r = askProxy(o.handle, proxy);
    EXPECT_NE(r, S_OK);
    EXPECT_NE(r, E_NOINTERFACE) << "a proxy is configured; it just does not fit";
    EXPECT_EQ(proxy.szProxyServer[0], 0);
    EXPECT_EQ(cm.release(o.handle, 1), S_OK);
}

TEST_F(ConnMgrTest, EstablishFailsRefusesTheRequest) {
    configure(L"establish-fails", L"");
    Outcome o = connectLikeTheProgram(12000);
    EXPECT_EQ(static_cast<DWORD>(o.established), 0x80004005u);
    EXPECT_EQ(o.handle, nullptr);
}

TEST_F(ConnMgrTest, UnknownModeRefusesTheRequest) {
    configure(L"sometimes", L"");
    Outcome o = connectLikeTheProgram(12000);
    EXPECT_EQ(o.established, E_FAIL);
    EXPECT_EQ(o.handle, nullptr);
}

// The program would wait its full 12 seconds; that the handle is never
// signalled again is shown here within a shorter bound.
TEST_F(ConnMgrTest, DisconnectedSignalsOnceAndThenNeverAgain) {
    configure(L"disconnected", L"proxy.example:8080");
    Outcome o = connectLikeTheProgram(2500);
    ASSERT_EQ(o.established, S_OK);
    EXPECT_TRUE(o.statusRead) << "the status change to disconnected is signalled";
    EXPECT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_DISCONNECTED));
    EXPECT_TRUE(o.timedOut) << "the wait ends only by its time running out";
    EXPECT_EQ(WaitForSingleObject(o.handle, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD status = 0;
    EXPECT_EQ(cm.status(o.handle, &status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_DISCONNECTED));
    EXPECT_EQ(cm.release(o.handle, 1), S_OK);
}

TEST_F(ConnMgrTest, StatusFailedEndsInConnectionFailed) {
    configure(L"status-failed", L"");
    Outcome o = connectLikeTheProgram(12000);
    ASSERT_EQ(o.established, S_OK);
    EXPECT_FALSE(o.timedOut);
    EXPECT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTIONFAILED));
    EXPECT_EQ(cm.release(o.handle, 1), S_OK);
}

TEST_F(ConnMgrTest, ConfigurationIsReadAtEachRequest) {
    configure(L"connected", L"first.example:3128");
    CONNMGR_CONNECTIONINFO info = request();
    HANDLE up = nullptr, failing = nullptr;
    ASSERT_EQ(cm.establish(&info, &up), S_OK);
    configure(L"status-failed", L"");
    ASSERT_EQ(cm.establish(&info, &failing), S_OK);
    ASSERT_NE(up, failing);
    ASSERT_EQ(WaitForSingleObject(up, 5000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(failing, 5000), WAIT_OBJECT_0);
    DWORD a = 0, b = 0;
    EXPECT_EQ(cm.status(up, &a), S_OK);
    EXPECT_EQ(cm.status(failing, &b), S_OK);
    EXPECT_EQ(a, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    EXPECT_EQ(b, static_cast<DWORD>(CONNMGR_STATUS_CONNECTIONFAILED));
    PROXY_CONFIG proxy;
    ASSERT_EQ(askProxy(up, proxy), S_OK) << "each connection keeps the proxy of its request";
    EXPECT_STREQ(proxy.szProxyServer, L"first.example:3128");
    EXPECT_EQ(cm.release(up, 0), S_OK);
    EXPECT_EQ(cm.release(failing, 0), S_OK);
}

TEST_F(ConnMgrTest, MalformedRequestsAndUnknownHandles) {
    configure(L"connected", L"");
    CONNMGR_CONNECTIONINFO info = request();
    info.cbSize = sizeof info - 1;
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(cm.establish(&info, &handle), E_INVALIDARG);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(cm.establish(nullptr, &handle), E_INVALIDARG);
    info = request();
    EXPECT_EQ(cm.establish(&info, nullptr), E_INVALIDARG);

    // A handle that is a real event but no connection is refused too.
    HANDLE stranger = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD status = 0;
    EXPECT_EQ(cm.status(stranger, &status), E_INVALIDARG);
    EXPECT_EQ(cm.release(stranger, 0), E_INVALIDARG);
    EXPECT_EQ(WaitForSingleObject(stranger, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "and left untouched";
    CloseHandle(stranger);
    EXPECT_EQ(cm.status(nullptr, &status), E_INVALIDARG);
}

TEST_F(ConnMgrTest, ReleaseWhileComingUpStopsTheConnection) {
    configure(L"connected", L"");
    CONNMGR_CONNECTIONINFO info = request();
    HANDLE handle = nullptr;
    ASSERT_EQ(cm.establish(&info, &handle), S_OK);
    EXPECT_EQ(cm.release(handle, 0), S_OK);
    DWORD status = 0;
    EXPECT_EQ(cm.status(handle, &status), E_INVALIDARG);
    // A new connection afterwards works as usual.
    Outcome o = connectLikeTheProgram(12000);
    EXPECT_EQ(o.lastStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    EXPECT_EQ(cm.release(o.handle, 0), S_OK);
}

TEST_F(ConnMgrTest, StatusChangesArePostedToTheRequestsWindow) {
    configure(L"connected", L"");
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    CONNMGR_CONNECTIONINFO info = request();
    info.hWnd = window;
    info.uMsg = WM_APP + 7;
    info.lParam = 4242;
    HANDLE handle = nullptr;
    ASSERT_EQ(cm.establish(&info, &handle), S_OK);
    MSG msg{};
    bool got = false;
    for (int i = 0; i < 250 && !got; ++i) {
        got = PeekMessageW(&msg, window, WM_APP + 7, WM_APP + 7, PM_REMOVE);
        if (!got) Sleep(20);
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(CONNMGR_STATUS_CONNECTED));
    EXPECT_EQ(msg.lParam, 4242);
    EXPECT_EQ(cm.release(handle, 0), S_OK);
    DestroyWindow(window);
}

}  // namespace
