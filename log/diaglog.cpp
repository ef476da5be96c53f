#include "log/diaglog.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <new>

#include "log/log_trim.h"

namespace {

constexpr wchar_t kCategoryBanner[] = L"Information";
constexpr wchar_t kTmpSuffix[] = L".tmp";

// Writes all of `bytes`; false when the file took fewer.
bool writeAll(HANDLE file, const void* data, DWORD bytes) {
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

bool readAll(HANDLE file, uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        DWORD chunk = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        DWORD got = 0;
        if (!ReadFile(file, data, chunk, &got, nullptr) || got == 0) return false;
        data += got;
        bytes -= got;
    }
    return true;
}

// The recent part of `logPath`, read from its file; false when there is
// nothing to cut or the file cannot be read.
struct RecentPart {
    uint8_t* tail = nullptr;  // owned
    size_t size = 0;
    size_t keepFrom = 0;
    ~RecentPart() { delete[] tail; }
};

bool readRecentPart(const wchar_t* logPath, RecentPart& part) {
    HANDLE file = CreateFileW(logPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = false;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && logNeedsTrim(static_cast<uint64_t>(size.QuadPart))) {
        uint64_t from = logTrimReadOffset(static_cast<uint64_t>(size.QuadPart));
        part.size = static_cast<size_t>(static_cast<uint64_t>(size.QuadPart) - from);
        part.tail = new (std::nothrow) uint8_t[part.size];
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(from);
        ok = part.tail && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && readAll(file, part.tail, part.size);
        if (ok) part.keepFrom = logTrimKeepFrom(part.tail, part.size);
    }
    CloseHandle(file);
    return ok;
}

// Cuts a log that has reached the size limit to its recent blocks. The recent
// part goes to "<log>.tmp" first and then replaces the log in one rename, so
// that a crash at any moment leaves either the old or the new log whole. Any
// failure leaves the log as it was. A read-only log is never touched.
void trimLog(const wchar_t* logPath) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(logPath, GetFileExInfoStandard, &info)) return;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return;
    uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (!logNeedsTrim(size)) return;

    RecentPart part;
    if (!readRecentPart(logPath, part)) return;

    wchar_t tmpPath[MAX_PATH + 8];
    if (swprintf(tmpPath, sizeof tmpPath / sizeof tmpPath[0], L"%ls%ls", logPath, kTmpSuffix) < 0) return;
    // Emptied on open: a copy left by an earlier crash must not trail the new log.
    HANDLE tmp = CreateFileW(tmpPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (tmp == INVALID_HANDLE_VALUE) return;
    size_t keep = part.size - part.keepFrom;
    bool written = keep == 0 || writeAll(tmp, part.tail + part.keepFrom, static_cast<DWORD>(keep));
    written = written && FlushFileBuffers(tmp);
    CloseHandle(tmp);
    if (!written || !MoveFileExW(tmpPath, logPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(tmpPath);
    }
}

// "Started: 07.03.2026, 14:05:09" and the like, for the banners.
void formatBanner(wchar_t* out, size_t capacity, const wchar_t* word, const wchar_t* ending) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    swprintf(out, capacity, L"%ls: %02d.%02d.%04d, %02d:%02d:%02d%ls", word, now.wDay, now.wMonth, now.wYear, now.wHour,
             now.wMinute, now.wSecond, ending);
}

}  // namespace

DiagnosticLog::DiagnosticLog() : m_file(INVALID_HANDLE_VALUE), m_path{} {}

DiagnosticLog::~DiagnosticLog() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

Status DiagnosticLog::Open(const wchar_t* path) {
    if (m_file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
    m_path[0] = 0;
    // A path that does not fit is one that the platform could not open either.
    if (path != nullptr && wcslen(path) < MAX_PATH) {
        wcscpy(m_path, path);
        trimLog(m_path);
        // A privileged process may be let past the read-only attribute; the
        // log honours it in any case.
        DWORD attributes = GetFileAttributesW(m_path);
        bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        HANDLE file = readOnly ? INVALID_HANDLE_VALUE
                               : CreateFileW(m_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            LARGE_INTEGER zero{};
            SetFilePointerEx(file, zero, nullptr, FILE_END);
            m_file = file;
        } else {
            m_path[0] = 0;
        }
    }
    wchar_t banner[64];
    formatBanner(banner, sizeof banner / sizeof banner[0], L"Started", L"");
    Write(kCategoryBanner, banner);
    return kStatusOk;
}

void DiagnosticLog::Write([[maybe_unused]] const wchar_t* category, const wchar_t* text) {
    if (m_file == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t prefix[32];
    int prefixLength = swprintf(prefix, sizeof prefix / sizeof prefix[0], L"%02d:%02d:%02d.%03d  ", now.wHour,
                                now.wMinute, now.wSecond, now.wMilliseconds);
    if (prefixLength < 0) return;
    size_t textLength = text ? wcsnlen(text, kMaxTextLength) : 0;

    // Another writer may have appended since the last line.
    LARGE_INTEGER zero{};
    SetFilePointerEx(m_file, zero, nullptr, FILE_END);
    writeAll(m_file, prefix, static_cast<DWORD>(prefixLength) * sizeof(wchar_t));
    if (textLength > 0) writeAll(m_file, text, static_cast<DWORD>(textLength * sizeof(wchar_t)));
    writeAll(m_file, L"\r\n", 2 * sizeof(wchar_t));
}

void DiagnosticLog::Printf(const wchar_t* category, const wchar_t* format, ...) {
    if (m_file == INVALID_HANDLE_VALUE || format == nullptr) return;
    wchar_t* buffer = new (std::nothrow) wchar_t[kFormatCapacity];
    if (buffer == nullptr) return;
    va_list args;
    va_start(args, format);
    _vsnwprintf(buffer, kFormatCapacity, format, args);
    va_end(args);
    // A message that fills the buffer comes back without its terminator.
    buffer[kFormatCapacity - 1] = 0;
    Write(category, buffer);
    delete[] buffer;
}

void DiagnosticLog::Close() {
    if (m_file == INVALID_HANDLE_VALUE) return;
    wchar_t banner[64];
    formatBanner(banner, sizeof banner / sizeof banner[0], L"Stopped", L"\r\n\r\n");
    Write(kCategoryBanner, banner);
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}
