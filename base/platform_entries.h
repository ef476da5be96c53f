#pragma once
// The table of the optional platform libraries' entry points, one slot each;
// filled once at start-up (base/binding.h) and never changed afterwards.
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
