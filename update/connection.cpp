// Getting on line for an update: the data connection from the connection
// manager (Pocket PC, Smartphone) and the Internet handle.
#include <windows.h>
#include <wininet.h>

#include <cwchar>

#include "base/binding.h"
#include "log/diaglog.h"
#include "update/update.h"

namespace {

constexpr DWORD kConnectionWaitMs = 12000;

void logEntry(const wchar_t* name) { g_log.Printf(L"Internal", L"\"%s: in\"", name); }

void reportHex(uint32_t mode, const wchar_t* format, unsigned value) {
    wchar_t text[96];
    swprintf(text, 96, format, value);
    updateErrorBox(mode, text);
}

// The statuses that end the wait: connected, or a state the connection
// manager will not leave by itself soon.
bool statusEndsWait(DWORD status) {
    return status == CONNMGR_STATUS_UNKNOWN || status == CONNMGR_STATUS_CONNECTED ||
           (status >= CONNMGR_STATUS_CONNECTIONFAILED && status <= CONNMGR_STATUS_WAITINGFORPATH) ||
           status == CONNMGR_STATUS_WAITINGFORNETWORK;
}

}  // namespace

HANDLE updateGetConnectType(uint32_t mode, wchar_t* proxyName, DWORD* accessType) {
    logEntry(L"updateGetConnectType");
    CONNMGR_CONNECTIONINFO request{};
    request.cbSize = sizeof request;
    request.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    request.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
    request.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;

    wchar_t routeUrl[128];
    swprintf(routeUrl, 128, L"http://%ls%ls", kUpdateHost, kConnectionRoutePath);
    DWORD index = 0;
    g_api.ConnMgrMapURL(routeUrl, &request.guidDestNet, &index);

    HANDLE connection = nullptr;
    const HRESULT established = g_api.ConnMgrEstablishConnection(&request, &connection);
    if (established != S_OK) {
        reportHex(mode, L"ConnMgrEstablishConnection failed, Error(HRESULT): 0x%X", static_cast<unsigned>(established));
        return nullptr;
    }

    const DWORD start = GetTickCount();
    LONG remaining = kConnectionWaitMs;
    bool statusRead = false;
    DWORD status = 0;
    bool stop = false;
    while (remaining > 0 && !stop) {
        const DWORD waited = WaitForSingleObject(connection, static_cast<DWORD>(remaining));
        if (waited == WAIT_OBJECT_0) {
            g_api.ConnMgrConnectionStatus(connection, &status);
            statusRead = true;
            stop = statusEndsWait(status);
        } else if (waited == WAIT_TIMEOUT) {
            reportHex(mode, L"WaitForSingleObject failed, Error: 0x%X", WAIT_TIMEOUT);
            return nullptr;
        }
        remaining = static_cast<LONG>(kConnectionWaitMs) - static_cast<LONG>(GetTickCount() - start);
    }
    if (!statusRead || status != CONNMGR_STATUS_CONNECTED) {
        reportHex(mode, L"ConnMgrConnectionStatus failed, Error: 0x%X", static_cast<unsigned>(status));
        return nullptr;
    }

    PROXY_CONFIG proxy{};
    const HRESULT asked = g_api.ConnMgrProviderMessage(connection, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                                                       reinterpret_cast<PBYTE>(&proxy), sizeof proxy);
    if (asked == S_OK) {
        *accessType = INTERNET_OPEN_TYPE_PROXY;
        wcsncpy(proxyName, proxy.szProxyServer, kProxyNameCapacity - 1);
        proxyName[kProxyNameCapacity - 1] = 0;
    } else if (asked == E_NOINTERFACE) {
        *accessType = INTERNET_OPEN_TYPE_DIRECT;
        proxyName[0] = 0;
    }
    return connection;
}

HINTERNET updateConnect(uint32_t mode, const wchar_t* proxyName, DWORD accessType) {
    logEntry(L"updateConnect");
    const wchar_t* proxy = proxyName != nullptr && proxyName[0] != 0 ? proxyName : nullptr;
    HINTERNET internet = g_api.InternetOpenW(kUpdateUserAgent, accessType, proxy, nullptr, 0);
    if (internet == nullptr) {
        reportHex(mode, L"InternetOpen failed, Error: 0x%X", static_cast<unsigned>(GetLastError()));
        return nullptr;
    }
    return internet;
}

HINTERNET updateConnect(uint32_t mode) {
    logEntry(L"updateConnect");
    HINTERNET internet = g_api.InternetOpenW(kUpdateUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet != nullptr) return internet;
    internet = g_api.InternetOpenW(kUpdateUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (internet != nullptr) return internet;
    reportHex(mode, L"InternetOpen failed, Error: 0x%X", static_cast<unsigned>(GetLastError()));
    return nullptr;
}
