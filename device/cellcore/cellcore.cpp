// cellcore.dll of the emulated device: the connection manager. Its behaviour
// comes from the device configuration (HKLM\Software\ZbDevice\ConnMgr, values
// "Mode" and "Proxy"), read at every connection request, so that each branch
// of a program's connection code can be reached on the emulated device.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ce_connmgr.h"
#include "device/cellcore/connmgr_mode.h"

namespace {

// One requested connection. The caller's handle is the auto-reset event that
// is signalled at each status change; the worker thread that makes the
// changes holds its own duplicate of it, so that a release never leaves the
// worker signalling a closed (and possibly reused) handle value.
struct Connection {
    HANDLE callerEvent = nullptr;
    HANDLE stop = nullptr;  // manual-reset: set when the caller releases
    volatile LONG status = kConnMgrInitialStatus;
    std::wstring proxy;  // "host:port" or empty
    bool proxyUnusable = false;  // configured, but of another type or too long
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;
    LPARAM notifyParam = 0;
};

struct WorkerStart {
    std::shared_ptr<Connection> connection;
    HANDLE event;  // the worker's own duplicate of callerEvent
    HANDLE stop;   // the worker's own duplicate of stop
    const ConnMgrStep* plan;
    size_t steps;
    HMODULE module;  // a reference that keeps this library loaded while the worker runs
};

SRWLOCK g_lock = SRWLOCK_INIT;
std::vector<std::shared_ptr<Connection>>& connections() {
    static std::vector<std::shared_ptr<Connection>> list;
    return list;
}

std::shared_ptr<Connection> findConnection(HANDLE handle) {
    if (!handle) return nullptr;
    AcquireSRWLockShared(&g_lock);
    std::shared_ptr<Connection> found;
    for (const auto& c : connections()) {
        if (c->callerEvent == handle) {
            found = c;
            break;
        }
    }
    ReleaseSRWLockShared(&g_lock);
    return found;
}

std::shared_ptr<Connection> takeConnection(HANDLE handle) {
    if (!handle) return nullptr;
    AcquireSRWLockExclusive(&g_lock);
    std::shared_ptr<Connection> found;
    auto& list = connections();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->callerEvent == handle) {
            found = *it;
            list.erase(it);
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    return found;
}

enum class ConfigText { absent, read, unusable };

// Reads a string value of the configuration. A value of another type, or one
// longer than `capacity` units, is unusable; the text is then empty.
ConfigText readConfigText(const wchar_t* name, wchar_t* text, DWORD capacity) {
    DWORD bytes = capacity * sizeof(wchar_t);
    LSTATUS r = RegGetValueW(HKEY_LOCAL_MACHINE, ZB_CONNMGR_KEY, name, RRF_RT_REG_SZ, nullptr, text, &bytes);
    if (r == ERROR_SUCCESS) return ConfigText::read;
    text[0] = 0;
    return r == ERROR_FILE_NOT_FOUND ? ConfigText::absent : ConfigText::unusable;
}

DWORD WINAPI connectionWorker(void* parameter) {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    for (size_t i = 0; i < start->steps; ++i) {
        if (WaitForSingleObject(start->stop, start->plan[i].delayMs) != WAIT_TIMEOUT) break;
        Connection& c = *start->connection;
        InterlockedExchange(&c.status, static_cast<LONG>(start->plan[i].status));
        SetEvent(start->event);
        if (c.notifyWindow) PostMessageW(c.notifyWindow, c.notifyMessage, start->plan[i].status, c.notifyParam);
    }
    CloseHandle(start->event);
    CloseHandle(start->stop);
    HMODULE module = start->module;
    start.reset();
    FreeLibraryAndExitThread(module, 0);
}

HMODULE referenceThisLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&connectionWorker), &module);
    return module;
}

// Starts the worker of a new connection; false when the system refuses.
bool startWorker(const std::shared_ptr<Connection>& connection, const ConnMgrStep* plan, size_t steps) {
    auto start = std::make_unique<WorkerStart>();
    start->connection = connection;
    start->plan = plan;
    start->steps = steps;
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, connection->callerEvent, self, &start->event, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return false;
    }
    if (!DuplicateHandle(self, connection->stop, self, &start->stop, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        CloseHandle(start->event);
        return false;
    }
    start->module = referenceThisLibrary();
    if (!start->module) {
        CloseHandle(start->event);
        CloseHandle(start->stop);
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, connectionWorker, start.get(), 0, nullptr);
    if (!thread) {
        CloseHandle(start->event);
        CloseHandle(start->stop);
        FreeLibrary(start->module);
        return false;
    }
    start.release();  // the worker owns it now
    CloseHandle(thread);
    return true;
}

}  // namespace

extern "C" {

HRESULT WINAPI ConnMgrMapURL(LPCWSTR url, GUID* network, DWORD* index) {
    (void)index;  // one network serves every URL here
    if (!url || !network) return E_INVALIDARG;
    *network = IID_DestNetInternet;
    return S_OK;
}

HRESULT WINAPI ConnMgrEstablishConnection(CONNMGR_CONNECTIONINFO* info, HANDLE* handle) {
    if (!handle) return E_INVALIDARG;
    *handle = nullptr;
    if (!info || info->cbSize != sizeof(CONNMGR_CONNECTIONINFO)) return E_INVALIDARG;

    wchar_t modeText[64];
    ConnMgrMode mode = ConnMgrMode::connected;
    if (readConfigText(L"Mode", modeText, 64) == ConfigText::unusable ||
        !connMgrModeFromText(reinterpret_cast<const char16_t*>(modeText), wcslen(modeText), mode)) {
        return E_FAIL;  // a device configured with no known mode offers no network
    }
    size_t steps = 0;
    const ConnMgrStep* plan = connMgrPlan(mode, steps);
    if (mode == ConnMgrMode::establishFails) return E_FAIL;

    auto connection = std::make_shared<Connection>();
    wchar_t proxy[CMPROXY_PROXYSERVER_MAXSIZE];
    // A proxy that does not fit the record is not offered cut short: the
    // proxy query reports the misfit instead.
    connection->proxyUnusable = readConfigText(L"Proxy", proxy, CMPROXY_PROXYSERVER_MAXSIZE) == ConfigText::unusable;
    connection->proxy = proxy;
    connection->notifyWindow = info->hWnd;
    connection->notifyMessage = info->uMsg;
    connection->notifyParam = info->lParam;
    connection->callerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    connection->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!connection->callerEvent || !connection->stop) {
        if (connection->callerEvent) CloseHandle(connection->callerEvent);
        if (connection->stop) CloseHandle(connection->stop);
        return E_OUTOFMEMORY;
    }
    AcquireSRWLockExclusive(&g_lock);
    connections().push_back(connection);
    ReleaseSRWLockExclusive(&g_lock);
    if (!startWorker(connection, plan, steps)) {
        takeConnection(connection->callerEvent);
        CloseHandle(connection->callerEvent);
        CloseHandle(connection->stop);
        return E_OUTOFMEMORY;
    }
    *handle = connection->callerEvent;
    return S_OK;
}

HRESULT WINAPI ConnMgrConnectionStatus(HANDLE handle, DWORD* status) {
    if (!status) return E_INVALIDARG;
    std::shared_ptr<Connection> connection = findConnection(handle);
    if (!connection) return E_INVALIDARG;
    *status = static_cast<DWORD>(InterlockedCompareExchange(&connection->status, 0, 0));
    return S_OK;
}

HRESULT WINAPI ConnMgrProviderMessage(HANDLE handle, const GUID* provider, DWORD* index, DWORD message1,
                                      DWORD message2, PBYTE parameters, ULONG parameterSize) {
    (void)index;
    (void)message1;
    (void)message2;
    std::shared_ptr<Connection> connection = findConnection(handle);
    if (!connection || !provider) return E_INVALIDARG;
    if (!IsEqualGUID(*provider, IID_ConnPrv_IProxyExtension)) return E_NOINTERFACE;
    if (!parameters || parameterSize < sizeof(PROXY_CONFIG)) return E_INVALIDARG;
    auto* config = reinterpret_cast<PROXY_CONFIG*>(parameters);
    // The caller may ask for one kind of proxy; this device offers HTTP only.
    if (config->dwType != 0 && config->dwType != CONNMGR_FLAG_PROXY_HTTP) return E_NOINTERFACE;
    if (connection->proxyUnusable) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (connection->proxy.empty()) return E_NOINTERFACE;
    *config = PROXY_CONFIG{};
    config->dwType = CONNMGR_FLAG_PROXY_HTTP;
    config->dwEnable = TRUE;
    connection->proxy.copy(config->szProxyServer, connection->proxy.size());
    return S_OK;
}

HRESULT WINAPI ConnMgrReleaseConnection(HANDLE handle, LONG cache) {
    (void)cache;  // nothing is kept for later requests here
    std::shared_ptr<Connection> connection = takeConnection(handle);
    if (!connection) return E_INVALIDARG;
    SetEvent(connection->stop);
    CloseHandle(connection->stop);
    CloseHandle(connection->callerEvent);
    return S_OK;
}

}  // extern "C"
