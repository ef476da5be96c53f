#include "engine/fileio.h"

namespace {

struct OpenMode {
    DWORD access;
    DWORD sharing;
    DWORD disposition;
    bool atEnd;
};

// Indexed by mode; entry 0 stands for every mode outside 1..10, which passes
// nothing to the platform so that the platform refuses the open.
constexpr OpenMode kModes[] = {
    {0, 0, 0, false},
    {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false},
    {GENERIC_WRITE, 0, CREATE_ALWAYS, false},
    {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, false},
    {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false},
    {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, true},
    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false},
    {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false},
    {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS, false},
    {GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, true},
    {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, false},
};

bool isEmpty(const wchar_t* path) { return path == nullptr || path[0] == 0; }

// The platform's last error, or `fallback` when it reports none.
Status lastError(Status fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace

Status fileOpen(const wchar_t* path, uint32_t mode, HANDLE* handle) {
    if (handle == nullptr || isEmpty(path) || (mode & 0xFFFFu) == 0) return kStatusBadArgument;
    *handle = nullptr;
    const uint32_t kind = mode & 0xFFFFu;
    const OpenMode& m = kModes[kind <= 10 ? kind : 0];
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (mode & kFileDeleteOnClose) flags |= FILE_FLAG_DELETE_ON_CLOSE;
    SetLastError(0);
    HANDLE h = CreateFileW(path, m.access, m.sharing, nullptr, m.disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError(ERROR_INVALID_PARAMETER);
    if (m.atEnd || (mode & kFileAtEnd)) {
        LONG high = 0;
        SetLastError(0);
        if (SetFilePointer(h, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != 0) {
            // A handle at an unknown place would write into the middle of the file.
            const Status status = GetLastError();
            CloseHandle(h);
            return status;
        }
    }
    *handle = h;
    return kStatusOk;
}

Status fileClose(HANDLE handle) {
    if (handle == nullptr) return kStatusBadArgument;
    CloseHandle(handle);
    return kStatusOk;
}

Status fileRead(HANDLE handle, void* buffer, uint32_t length, uint32_t* bytesRead) {
    if (handle == nullptr || buffer == nullptr || length == 0) return kStatusBadArgument;
    DWORD got = 0;
    SetLastError(0);
    if (!ReadFile(handle, buffer, length, &got, nullptr)) {
        const DWORD error = GetLastError();
        if (error != 0) return error;
    }
    if (bytesRead != nullptr) *bytesRead = got;
    return got < length ? kStatusShortRead : kStatusOk;
}

Status fileWrite(HANDLE handle, const void* buffer, uint32_t length, uint32_t* bytesWritten) {
    if (handle == nullptr || buffer == nullptr || length == 0) return kStatusBadArgument;
    DWORD put = 0;
    SetLastError(0);
    if (!WriteFile(handle, buffer, length, &put, nullptr)) {
        const DWORD error = GetLastError();
        if (error != 0) return error;
    }
    if (bytesWritten != nullptr) *bytesWritten = put;
    return put < length ? kStatusShortWrite : kStatusOk;
}

Status fileSeek(HANDLE handle, uint32_t offsetLow, uint32_t offsetHigh, uint32_t origin) {
    if (handle == nullptr) return kStatusBadArgument;
    LONG high = static_cast<LONG>(offsetHigh);
    // The error is cleared first: a low half of all ones is then a failure
    // only when the platform says so, not a position that happens to end so.
    SetLastError(0);
    if (SetFilePointer(handle, static_cast<LONG>(offsetLow), &high, origin) == INVALID_SET_FILE_POINTER)
        return GetLastError();
    return kStatusOk;
}

uint64_t fileTell(HANDLE handle) {
    if (handle == nullptr) return kFileFailed;
    LONG high = 0;
    SetLastError(0);
    const DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0) return kFileFailed;
    return (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
}

uint64_t fileSize(HANDLE handle) {
    const uint64_t position = fileTell(handle);
    if (position == kFileFailed) return kFileFailed;
    if (fileSeek(handle, 0, 0, kFileEnd) != kStatusOk) return kFileFailed;
    const uint64_t size = fileTell(handle);
    const Status back = fileSeek(handle, static_cast<uint32_t>(position), static_cast<uint32_t>(position >> 32), kFileBegin);
    if (size == kFileFailed || back != kStatusOk) return kFileFailed;
    return size;
}

Status fileDelete(const wchar_t* path, bool force) {
    if (isEmpty(path)) return kStatusBadArgument;
    if (DeleteFileW(path)) return kStatusOk;
    if (!force) return lastError(ERROR_ACCESS_DENIED);
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path)) return kStatusOk;
    return lastError(ERROR_ACCESS_DENIED);
}

bool pathExists(const wchar_t* path, bool wantFile) {
    if (isEmpty(path)) return false;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return wantFile ? !isDirectory : isDirectory;
}

Status moduleDirectory(wchar_t* directory) {
    if (directory == nullptr) return kStatusBadArgument;
    directory[0] = 0;
    // One more than the path's limit, so that a path cut short by the buffer
    // is seen and refused rather than taken for a shorter, wrong one.
    wchar_t path[kModuleDirectoryCapacity + 1];
    SetLastError(0);
    const DWORD length = GetModuleFileNameW(nullptr, path, kModuleDirectoryCapacity + 1);
    if (length == 0) return lastError(ERROR_INVALID_FUNCTION);
    if (length > kModuleDirectoryCapacity) return ERROR_INSUFFICIENT_BUFFER;
    DWORD cut = length;
    while (cut > 0 && path[cut - 1] != L'\\') --cut;
    if (cut == 0) return ERROR_BAD_PATHNAME;
    for (DWORD i = 0; i + 1 < cut; ++i) directory[i] = path[i];
    directory[cut - 1] = 0;
    return kStatusOk;
}

Status directoryCreate(const wchar_t* path) {
    if (isEmpty(path)) return kStatusBadArgument;
    if (CreateDirectoryW(path, nullptr)) return kStatusOk;
    return lastError(ERROR_ACCESS_DENIED);
}
