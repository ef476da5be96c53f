#pragma once
// Entry points of the optional platform libraries, bound once at start-up
// (LoadLibraryW, then by name, then by ordinal) and never changed afterwards.
#include <windows.h>
#include <wininet.h>

#include "ce_aygshell.h"
#include "ce_connmgr.h"

struct PlatformEntries {
    PFN_ConnMgrReleaseConnection ConnMgrReleaseConnection = nullptr;
    PFN_ConnMgrProviderMessage ConnMgrProviderMessage = nullptr;
    PFN_ConnMgrConnectionStatus ConnMgrConnectionStatus = nullptr;
    PFN_ConnMgrEstablishConnection ConnMgrEstablishConnection = nullptr;
    PFN_ConnMgrMapURL ConnMgrMapURL = nullptr;

    decltype(&InternetOpenW) InternetOpenW = nullptr;
    decltype(&InternetConnectW) InternetConnectW = nullptr;
    decltype(&HttpSendRequestW) HttpSendRequestW = nullptr;
    decltype(&HttpOpenRequestW) HttpOpenRequestW = nullptr;
    decltype(&HttpQueryInfoW) HttpQueryInfoW = nullptr;
    decltype(&InternetCloseHandle) InternetCloseHandle = nullptr;
    decltype(&InternetReadFile) InternetReadFile = nullptr;
    decltype(&InternetQueryDataAvailable) InternetQueryDataAvailable = nullptr;
    // Looked up by name after the others and never required: it bounds the
    // update's waits where the library has it, as every device's does.
    decltype(&InternetSetOptionW) InternetSetOptionW = nullptr;

    PFN_SHDoneButton SHDoneButton = nullptr;
    PFN_SHFullScreen SHFullScreen = nullptr;
    PFN_SHHandleWMActivate SHHandleWMActivate = nullptr;
    PFN_SHCreateMenuBar SHCreateMenuBar = nullptr;
    PFN_SHFindMenuBar SHFindMenuBar = nullptr;
};

extern PlatformEntries g_api;

// Binds the edition's libraries in order. Null when every entry is bound,
// otherwise the fixed English message of the first failure.
const char* bindPlatformLibraries();
