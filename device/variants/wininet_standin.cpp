// A "WinInet.dll" stand-in for the start-up binding tests: it has every entry
// a program binds except InternetOpenW (neither by name nor by ordinal). The
// entries it has only fail; a program that binds it must refuse to start
// before calling any of them.
#include <windows.h>

namespace {

BOOL refuse() {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

}  // namespace

extern "C" {

void* WINAPI standinInternetConnectW(void*, const wchar_t*, WORD, const wchar_t*, const wchar_t*, DWORD, DWORD,
                                     DWORD_PTR) {
    refuse();
    return nullptr;
}
BOOL WINAPI standinHttpSendRequestW(void*, const wchar_t*, DWORD, void*, DWORD) { return refuse(); }
void* WINAPI standinHttpOpenRequestW(void*, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                     const wchar_t**, DWORD, DWORD_PTR) {
    refuse();
    return nullptr;
}
BOOL WINAPI standinHttpQueryInfoW(void*, DWORD, void*, DWORD*, DWORD*) { return refuse(); }
BOOL WINAPI standinInternetCloseHandle(void*) { return refuse(); }
BOOL WINAPI standinInternetReadFile(void*, void*, DWORD, DWORD*) { return refuse(); }
BOOL WINAPI standinInternetQueryDataAvailable(void*, DWORD*, DWORD, DWORD_PTR) { return refuse(); }

}  // extern "C"
