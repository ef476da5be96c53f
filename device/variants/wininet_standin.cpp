// "WinInet.dll" stand-ins for the tests of a program's use of WinInet.
// wininet-no-internetopen has every entry a program binds except
// InternetOpenW (neither by name nor by ordinal): a program that binds it must
// refuse to start before calling any entry. wininet-internetopen-fails has
// them all, and its InternetOpenW fails with ERROR_INTERNET_INTERNAL_ERROR
// after noting the access type it was asked for, one decimal number a line,
// in "wininet-opens.txt" beside the program, so that a test sees which
// attempts were made and in what order; it succeeds instead for the access
// type that "wininet-accept.txt" beside the program names. The other
// entries only fail.
#include <windows.h>

namespace {

BOOL refuse() {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

// ERROR_INTERNET_INTERNAL_ERROR: an error no real network gives here.
constexpr DWORD kOpenError = 12004;

// `name` in the program's folder.
bool besideProgram(const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash == nullptr || (slash + 1 - path) + wcslen(name) >= MAX_PATH) return false;
    wcscpy(slash + 1, name);
    return true;
}

// Whether "wininet-accept.txt" beside the program names this access type
// (its first character, a decimal digit): the open then succeeds.
bool accepted(DWORD accessType) {
    wchar_t path[MAX_PATH];
    if (!besideProgram(L"wininet-accept.txt", path)) return false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char first = 0;
    DWORD read = 0;
    ReadFile(file, &first, 1, &read, nullptr);
    CloseHandle(file);
    return read == 1 && accessType < 10 && first == static_cast<char>('0' + accessType);
}

void noteAccessType(DWORD accessType) {
    wchar_t path[MAX_PATH];
    if (!besideProgram(L"wininet-opens.txt", path)) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[16];
    int n = 0;
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + accessType % 10);
        accessType /= 10;
    } while (accessType != 0);
    while (count > 0) line[n++] = digits[--count];
    line[n++] = '\n';
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" {

void* WINAPI standinInternetOpenW(const wchar_t*, DWORD accessType, const wchar_t*, const wchar_t*, DWORD) {
    static int session;
    noteAccessType(accessType);
    if (accepted(accessType)) return &session;
    SetLastError(kOpenError);
    return nullptr;
}

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
