// Fetching the version file and the package from the update server.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cwchar>

#include "editions/edition.h"
#include "log/diaglog.h"
#include "settings/process_search.h"
#include "shell/binding.h"
#include "update/content_length.h"
#include "update/package.h"
#include "update/update.h"

namespace {

constexpr wchar_t kMainProgramExe[] = L"zerbin.exe";
constexpr wchar_t kMainWindowClass[] = L"zerbin4windowClass";
constexpr wchar_t kMainWindowTitle[] = L"zerbin! antivirus";

void logEntry(const wchar_t* name) { g_log.Printf(L"Internal", L"\"%s: in\"", name); }

// One Internet handle, closed on every path.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) g_api.InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

// One heap buffer of the download, freed on every path.
class DownloadBuffer {
public:
    explicit DownloadBuffer(size_t size) : data_(static_cast<uint8_t*>(std::malloc(size ? size : 1))) {}
    ~DownloadBuffer() { std::free(data_); }
    DownloadBuffer(const DownloadBuffer&) = delete;
    DownloadBuffer& operator=(const DownloadBuffer&) = delete;
    uint8_t* get() const { return data_; }

private:
    uint8_t* data_;
};

// Reports a failed call with the error code in decimal and hex.
void reportError(uint32_t mode, const wchar_t* format) {
    const DWORD error = GetLastError();
    wchar_t text[128];
    swprintf(text, 128, format, static_cast<int>(error), static_cast<unsigned>(error));
    updateErrorBox(mode, text);
}

// The server path of one of this edition's update files.
void serverPath(const wchar_t* file, wchar_t* path, size_t capacity) {
    swprintf(path, capacity, L"%ls%ls", kServerDirectory, file);
}

HINTERNET connectServer(HINTERNET internet) {
    return g_api.InternetConnectW(internet, kUpdateHost, INTERNET_DEFAULT_HTTP_PORT, nullptr, nullptr,
                                  INTERNET_SERVICE_HTTP, 0, 0);
}

HINTERNET openRequest(HINTERNET connection, const wchar_t* file) {
    wchar_t path[128];
    serverPath(file, path, 128);
    return g_api.HttpOpenRequestW(connection, nullptr, path, nullptr, nullptr, nullptr, 0, 0);
}

// With nobody watching, the main program must not be in the user's hands
// when the install starts: a main program in the background is ended, one in
// front makes the update wait for the next check.
bool mainProgramAllowsInstall() {
    if (!isProcessRunning(kMainProgramExe)) return true;
    HWND window = FindWindowW(kMainWindowClass, kMainWindowTitle);
    if (window == nullptr || window == GetForegroundWindow()) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId)) {
        TerminateProcess(process, 0);
        CloseHandle(process);
    }
    return true;
}

}  // namespace

bool downloadVersionFile(HINTERNET internet, uint32_t mode) {
    logEntry(L"downloadVersionFile");
    InternetHandle connection(connectServer(internet));
    if (connection.get() == nullptr) {
        reportError(mode, L"InternetConnect_version failed, error %d (0x%x)");
        return false;
    }
    InternetHandle request(openRequest(connection.get(), L"version.dat"));
    if (request.get() == nullptr) {
        reportError(mode, L"HttpOpenRequest_version failed, error %d (0x%x)");
        return false;
    }
    if (!g_api.HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        reportError(mode, L"HttpSendRequest_version failed, error %d (0x%x)");
        return false;
    }
    DWORD available = 0;
    if (!g_api.InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
        reportError(mode, L"InternetQueryDataAvailable_version failed, error: (%d) 0x%x");
        return false;
    }
    DownloadBuffer buffer(available);
    if (buffer.get() == nullptr) {
        wchar_t text[128];
        swprintf(text, 128, L"InternetQueryDataAvailable_version, not enought memory, needed: %d bytes",
                 static_cast<int>(available));
        updateErrorBox(mode, text);
        return false;
    }
    // The version file must arrive whole at the first look: exactly its ten bytes.
    DWORD read = 0;
    const BOOL ok = g_api.InternetReadFile(request.get(), buffer.get(), available, &read);
    if (!ok || read != available || read != kVersionFileSize) {
        updateReportNoNewVersion(mode);
        return false;
    }
    if (!updateDecryptFile(buffer.get(), read)) {
        updateErrorBox(mode, L"downloadVersionFile: file is corrupted.");
        return false;
    }
    if (!packageIsNewer(containerVersion(buffer.get()))) {
        updateErrorBox(mode, L"zerbin! is up-to-date.");
        return false;
    }
    if (!(mode & modeUnattended)) return true;
    return mainProgramAllowsInstall();
}

uint32_t downloadDataFile(HINTERNET internet, uint32_t mode) {
    logEntry(L"downloadDataFile");
    InternetHandle connection(connectServer(internet));
    if (connection.get() == nullptr) {
        reportError(mode, L"InternetConnect_dataf failed, error %d (0x%x)");
        return 0;
    }
    InternetHandle request(openRequest(connection.get(), L"upgrade.dat"));
    if (request.get() == nullptr) {
        reportError(mode, L"HttpOpenRequest_dataf failed, error %d (0x%x)");
        return 0;
    }
    if (!g_api.HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        reportError(mode, L"HttpSendRequest_dataf failed, error %d (0x%x)");
        return 0;
    }
    DWORD available = 0;
    if (!g_api.InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
        reportError(mode, L"InternetQueryDataAvailable_dataf failed, error %d (0x%x)");
        return 0;
    }
    wchar_t lengthText[32] = {};
    DWORD lengthSize = sizeof lengthText;
    if (!g_api.HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr)) {
        reportError(mode, L"HttpQueryInfo_dataf failed, Error: %d (0x%x)");
        return 0;
    }
    const uint32_t size = contentLengthValue(lengthText);
    if (size == 0) {
        updateErrorBox(mode, L"HttpQueryInfo_dataf failed, zero file size");
        return 0;
    }
    DownloadBuffer buffer(size);
    if (buffer.get() == nullptr) {
        wchar_t text[96];
        swprintf(text, 96, L"HttpQueryInfo_dataf: not enough memory, needed: %d", static_cast<int>(size));
        updateErrorBox(mode, text);
        return 0;
    }
    DWORD read = 0;
    const BOOL ok = g_api.InternetReadFile(request.get(), buffer.get(), size, &read);
    if (!ok || read != size) {
        const DWORD error = GetLastError();
        wchar_t text[160];
        swprintf(text, 160, L"InternetReadFile failed, fileBuf: 0x%X, dwFileSize: 0x%X, read: 0x%X, Error: 0x%X",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer.get())), static_cast<unsigned>(size),
                 static_cast<unsigned>(read), static_cast<unsigned>(error));
        updateErrorBox(mode, text);
        return 0;
    }
    return updateDataFile(buffer.get(), size, mode);
}
