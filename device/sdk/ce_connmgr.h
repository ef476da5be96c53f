#pragma once
// The device's connection manager "cellcore.dll": declarations written from
// the documented CE connection manager API, for programs that bind the library
// at run time (LoadLibraryW, then GetProcAddress by name, then by ordinal).
#include <windows.h>

// CONNMGR_CONNECTIONINFO.dwParams: which optional fields are valid.
#define CONNMGR_PARAM_GUIDDESTNET 0x1
#define CONNMGR_PARAM_MAXCOST 0x2
#define CONNMGR_PARAM_MINRCVBW 0x4
#define CONNMGR_PARAM_MAXCONNLATENCY 0x8

// CONNMGR_CONNECTIONINFO.dwFlags; also PROXY_CONFIG.dwType.
#define CONNMGR_FLAG_PROXY_HTTP 0x1
#define CONNMGR_FLAG_PROXY_WAP 0x2
#define CONNMGR_FLAG_PROXY_SOCKS4 0x4
#define CONNMGR_FLAG_PROXY_SOCKS5 0x8
#define CONNMGR_FLAG_SUSPEND_AWARE 0x10
#define CONNMGR_FLAG_REGISTERED_HOME 0x20
#define CONNMGR_FLAG_NO_ERROR_MSGS 0x40

// CONNMGR_CONNECTIONINFO.dwPriority.
#define CONNMGR_PRIORITY_VOICE 0x20000
#define CONNMGR_PRIORITY_USERINTERACTIVE 0x08000
#define CONNMGR_PRIORITY_USERBACKGROUND 0x02000
#define CONNMGR_PRIORITY_USERIDLE 0x00800
#define CONNMGR_PRIORITY_HIPRIBKGND 0x00200
#define CONNMGR_PRIORITY_IDLEBKGND 0x00080
#define CONNMGR_PRIORITY_EXTERNALINTERACTIVE 0x00020
#define CONNMGR_PRIORITY_LOWBKGND 0x00008
#define CONNMGR_PRIORITY_CACHED 0x00002
#define CONNMGR_PRIORITY_ALWAYS_ON 0x00001

// Connection statuses (ConnMgrConnectionStatus).
#define CONNMGR_STATUS_STATEMASK 0xFF
#define CONNMGR_STATUS_UNKNOWN 0x00
#define CONNMGR_STATUS_CONNECTED 0x10
#define CONNMGR_STATUS_SUSPENDED 0x11
#define CONNMGR_STATUS_DISCONNECTED 0x20
#define CONNMGR_STATUS_CONNECTIONFAILED 0x21
#define CONNMGR_STATUS_CONNECTIONCANCELED 0x22
#define CONNMGR_STATUS_CONNECTIONDISABLED 0x23
#define CONNMGR_STATUS_NOPATHTODESTINATION 0x24
#define CONNMGR_STATUS_WAITINGFORPATH 0x25
#define CONNMGR_STATUS_WAITINGFORPHONE 0x26
#define CONNMGR_STATUS_PHONEOFF 0x27
#define CONNMGR_STATUS_EXCLUSIVECONFLICT 0x28
#define CONNMGR_STATUS_NORESOURCES 0x29
#define CONNMGR_STATUS_CONNECTIONLINKFAILED 0x2A
#define CONNMGR_STATUS_AUTHENTICATIONFAILED 0x2B
#define CONNMGR_STATUS_WAITINGCONNECTION 0x40
#define CONNMGR_STATUS_WAITINGFORRESOURCE 0x41
#define CONNMGR_STATUS_WAITINGFORNETWORK 0x42
#define CONNMGR_STATUS_WAITINGDISCONNECTION 0x80
#define CONNMGR_STATUS_WAITINGCONNECTIONABORT 0x81

// A connection request; cbSize must be sizeof(CONNMGR_CONNECTIONINFO).
typedef struct _CONNMGR_CONNECTIONINFO {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwFlags;
    DWORD dwPriority;
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;
    UINT uMsg;
    LPARAM lParam;
    ULONG ulMaxCost;
    ULONG ulMinRcvBw;
    ULONG ulMaxConnLatency;
} CONNMGR_CONNECTIONINFO;

// The proxy provider's answer (ConnMgrProviderMessage with
// IID_ConnPrv_IProxyExtension).
#define CMPROXY_PROXYSERVER_MAXSIZE 256
#define CMPROXY_USERNAME_MAXSIZE 32
#define CMPROXY_PASSWORD_MAXSIZE 32
#define CMPROXY_PROXYOVERRIDE_MAXSIZE 64
#define CMPROXY_EXTRAINFO_MAXSIZE 256

typedef struct _PROXY_CONFIG {
    DWORD dwType;
    BOOL dwEnable;
    WCHAR szProxyServer[CMPROXY_PROXYSERVER_MAXSIZE];
    WCHAR szUsername[CMPROXY_USERNAME_MAXSIZE];
    WCHAR szPassword[CMPROXY_PASSWORD_MAXSIZE];
    WCHAR szProxyOverride[CMPROXY_PROXYOVERRIDE_MAXSIZE];
    WCHAR szExtraInfo[CMPROXY_EXTRAINFO_MAXSIZE];
} PROXY_CONFIG;

// {AF96B0BD-A481-482C-A094-A8448767A0C0}: the proxy provider.
static const GUID IID_ConnPrv_IProxyExtension = {
    0xAF96B0BD, 0xA481, 0x482C, {0xA0, 0x94, 0xA8, 0x44, 0x87, 0x67, 0xA0, 0xC0}};
// {436EF144-B4FB-4863-A041-8F905A62C572}: the Internet as a destination network.
static const GUID IID_DestNetInternet = {
    0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};

// Entries and their ordinals in the device's library.
typedef HRESULT(WINAPI* PFN_ConnMgrEstablishConnection)(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection);
typedef HRESULT(WINAPI* PFN_ConnMgrConnectionStatus)(HANDLE hConnection, DWORD* pdwStatus);
typedef HRESULT(WINAPI* PFN_ConnMgrReleaseConnection)(HANDLE hConnection, LONG lCache);
typedef HRESULT(WINAPI* PFN_ConnMgrProviderMessage)(HANDLE hConnection, const GUID* pguidProvider, DWORD* pdwIndex,
                                                    DWORD dwMsg1, DWORD dwMsg2, PBYTE pParams, ULONG cbParamSize);
typedef HRESULT(WINAPI* PFN_ConnMgrMapURL)(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex);

#define CELLCORE_ORDINAL_ConnMgrEstablishConnection 120
#define CELLCORE_ORDINAL_ConnMgrConnectionStatus 121
#define CELLCORE_ORDINAL_ConnMgrReleaseConnection 122
#define CELLCORE_ORDINAL_ConnMgrProviderMessage 124
#define CELLCORE_ORDINAL_ConnMgrMapURL 128

// Where the emulated device keeps the connection manager's behaviour.
#define ZB_CONNMGR_KEY L"Software\\ZbDevice\\ConnMgr"
