// Fetching the version file and the package from the update server, and,
// on a device that holds the maker's key, the package's signature. Every
// request bounds its waits (connect, send, each wait for data), so a stalled
// server ends a step with that step's own failure instead of freezing the
// caller.
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "base/binding.h"
#include "base/edition.h"
#include "engine/fileio.h"
#include "log/diaglog.h"
#include "settings/process_search.h"
#include "update/content_length.h"
#include "update/package.h"
#include "update/signature.h"
#include "update/update.h"

namespace {

constexpr wchar_t kMainProgramExe[] = L"zerbin.exe";
constexpr wchar_t kMainWindowClass[] = L"zerbin4windowClass";
constexpr wchar_t kMainWindowTitle[] = L"zerbin! antivirus";

// The package is read in pieces of this size.
constexpr DWORD kReadPieceBytes = 16 * 1024;

constexpr wchar_t kTextNoSignature[] =
    L"The update package has no valid signature (upgrade.sig); nothing was installed.";
constexpr wchar_t kTextSignatureMismatch[] =
    L"The update package's signature does not match the maker's key; nothing was installed.";
constexpr wchar_t kTextBadKey[] =
    L"The maker's key (update.key) is damaged or cannot be imported, error 0x%X; nothing was installed.";
constexpr wchar_t kTextNoSha256[] =
    L"This device cannot check the update's signature (SHA-256), error 0x%X; nothing was installed.";

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

// Times one network call. A call that failed after waiting out a limit ran
// out of time, and its error is the timeout's: some WinInets report such a
// wait as an aborted connection or with the socket's own error instead.
class StepClock {
public:
    DWORD error() const {
        const DWORD platform = GetLastError();
        return GetTickCount() - start_ + kSlackMs >= kShortestLimitMs ? ERROR_INTERNET_TIMEOUT : platform;
    }

private:
    static constexpr DWORD kSlackMs = 1000;
    static constexpr DWORD kShortestLimitMs =
        std::min({kUpdateConnectTimeoutMs, kUpdateSendTimeoutMs, kUpdateReceiveTimeoutMs});
    DWORD start_ = GetTickCount();
};

// Reports a failed call with the error code in decimal and hex.
void reportError(uint32_t mode, const wchar_t* format, DWORD error = GetLastError()) {
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

// Bounds every wait of one request. Set on the request itself, where every
// WinInet takes them (some ignore the receive and send limits of the
// Internet handle).
void limitWaits(HINTERNET request) {
    if (g_api.InternetSetOptionW == nullptr) return;
    DWORD connect = kUpdateConnectTimeoutMs, send = kUpdateSendTimeoutMs, receive = kUpdateReceiveTimeoutMs;
    g_api.InternetSetOptionW(request, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    g_api.InternetSetOptionW(request, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
    g_api.InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

HINTERNET openRequest(HINTERNET connection, const wchar_t* file) {
    wchar_t path[128];
    serverPath(file, path, 128);
    HINTERNET request = g_api.HttpOpenRequestW(connection, nullptr, path, nullptr, nullptr, nullptr, 0, 0);
    if (request != nullptr) limitWaits(request);
    return request;
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

// The maker's key from the program folder. False when there is none;
// otherwise `size` is the file's length, 0 when it cannot be read whole or
// is larger than any key.
bool readMakerKey(uint8_t* key, uint32_t* size) {
    *size = 0;
    wchar_t path[kModuleDirectoryCapacity + 16];
    // A folder that cannot be named cannot be looked into: refused as an
    // unreadable key, never taken for a device without one.
    if (moduleDirectory(path) != kStatusOk) return true;
    wcscat(path, L"\\");
    wcscat(path, kUpdateKeyFile);
    if (!pathExists(path, true)) return false;
    FileHandle file;
    if (file.open(path, kFileRead) != kStatusOk) return true;
    const uint64_t length = fileSize(file.get());
    if (length == kFileFailed || length == 0 || length > kPublicKeyBlobMaximumSize) return true;
    uint32_t read = 0;
    if (fileRead(file.get(), key, static_cast<uint32_t>(length), &read) != kStatusOk || read != length) return true;
    *size = read;
    return true;
}

// The signature beside the package, whole: a 200 answer whose body ends
// within `capacity` bytes. False for anything else (no file, a failed or
// stalled read, a body too long to be a signature).
bool fetchSignature(HINTERNET internet, uint8_t* signature, uint32_t capacity, uint32_t* size) {
    *size = 0;
    InternetHandle connection(connectServer(internet));
    if (connection.get() == nullptr) return false;
    InternetHandle request(openRequest(connection.get(), kSignatureFile));
    if (request.get() == nullptr) return false;
    if (!g_api.HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return false;
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!g_api.HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                              nullptr) ||
        status != HTTP_STATUS_OK) {
        return false;
    }
    uint32_t got = 0;
    for (;;) {
        DWORD read = 0;
        if (!g_api.InternetReadFile(request.get(), signature + got, capacity - got, &read)) return false;
        if (read == 0) break;
        got += read;
        if (got == capacity) return false;  // longer than any signature
    }
    *size = got;
    return true;
}

// With the maker's key in the program folder, the package goes on to the
// install only with the maker's signature of its bytes as served; every
// refusal has its own box and nothing of the package is written. Without the
// key, nothing is asked.
bool signatureAccepted(HINTERNET internet, const uint8_t* package, uint32_t size, uint32_t mode) {
    uint8_t key[kPublicKeyBlobMaximumSize];
    uint32_t keySize = 0;
    if (!readMakerKey(key, &keySize)) return true;
    logEntry(L"signatureAccepted");
    wchar_t text[160];
    const uint32_t modulusSize = publicKeyBlobModulusSize(key, keySize);
    if (modulusSize == 0) {
        swprintf(text, 160, kTextBadKey, static_cast<unsigned>(NTE_BAD_KEY));
        updateErrorBox(mode, text);
        return false;
    }
    uint8_t signature[kSignatureMaximumSize + 1];
    uint32_t signatureSize = 0;
    if (!fetchSignature(internet, signature, sizeof signature, &signatureSize) || signatureSize != modulusSize) {
        updateErrorBox(mode, kTextNoSignature);
        return false;
    }
    DWORD error = 0;
    switch (updateVerifySignature(package, size, signature, signatureSize, key, keySize, PROV_RSA_AES, &error)) {
        case SignatureVerdict::valid:
            return true;
        case SignatureVerdict::mismatch:
            updateErrorBox(mode, kTextSignatureMismatch);
            return false;
        case SignatureVerdict::badKey:
            swprintf(text, 160, kTextBadKey, static_cast<unsigned>(error));
            updateErrorBox(mode, text);
            return false;
        case SignatureVerdict::noSha256:
            swprintf(text, 160, kTextNoSha256, static_cast<unsigned>(error));
            updateErrorBox(mode, text);
            return false;
    }
    return false;
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
    const StepClock sending;
    if (!g_api.HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        reportError(mode, L"HttpSendRequest_version failed, error %d (0x%x)", sending.error());
        return false;
    }
    DWORD available = 0;
    const StepClock waiting;
    if (!g_api.InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
        reportError(mode, L"InternetQueryDataAvailable_version failed, error: (%d) 0x%x", waiting.error());
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
    const StepClock sending;
    if (!g_api.HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
        reportError(mode, L"HttpSendRequest_dataf failed, error %d (0x%x)", sending.error());
        return 0;
    }
    DWORD available = 0;
    const StepClock waiting;
    if (!g_api.InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
        reportError(mode, L"InternetQueryDataAvailable_dataf failed, error %d (0x%x)", waiting.error());
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
    // The body is read piece by piece, so that each wait for data is timed
    // on its own: a slow but moving download goes on, a stalled one ends.
    DWORD read = 0;
    DWORD error = 0;
    while (read < size) {
        DWORD got = 0;
        const StepClock reading;
        const BOOL ok = g_api.InternetReadFile(request.get(), buffer.get() + read,
                                               std::min<DWORD>(size - read, kReadPieceBytes), &got);
        if (!ok || got == 0) {  // failed, stalled, or the body ended before its length
            error = reading.error();
            break;
        }
        read += got;
    }
    if (read != size) {
        wchar_t text[160];
        swprintf(text, 160, L"InternetReadFile failed, fileBuf: 0x%X, dwFileSize: 0x%X, read: 0x%X, Error: 0x%X",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer.get())), static_cast<unsigned>(size),
                 static_cast<unsigned>(read), static_cast<unsigned>(error));
        updateErrorBox(mode, text);
        return 0;
    }
    if (!signatureAccepted(internet, buffer.get(), size, mode)) return 0;
    return updateDataFile(buffer.get(), size, mode);
}
