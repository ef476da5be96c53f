#include "engine/tests/file_holder.h"

#include <cstdlib>
#include <cwchar>

#include "engine/fileio.h"

namespace {

constexpr wchar_t kPathVariable[] = L"ZB_HOLD_PATH";
constexpr wchar_t kModeVariable[] = L"ZB_HOLD_MODE";
constexpr wchar_t kTagVariable[] = L"ZB_HOLD_TAG";

std::wstring eventName(const std::wstring& tag, const wchar_t* what) { return L"zb-hold-" + tag + L"-" + what; }

std::wstring variable(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// The holder's side: runs while the program's globals are built, before any
// test; a program started without the request goes on to its tests.
int serveHoldRequest() {
    const std::wstring path = variable(kPathVariable);
    if (path.empty()) return 0;
    const std::wstring tag = variable(kTagVariable);
    const uint32_t mode = static_cast<uint32_t>(wcstoul(variable(kModeVariable).c_str(), nullptr, 10));
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName(tag, L"held").c_str());
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, eventName(tag, L"release").c_str());
    HANDLE file = nullptr;
    const Status status = fileOpen(path.c_str(), mode, &file);
    if (held != nullptr) SetEvent(held);
    if (status == kStatusOk && release != nullptr) WaitForSingleObject(release, 60000);
    if (file != nullptr) fileClose(file);
    ExitProcess(status);
}

const int kServed = serveHoldRequest();

}  // namespace

Status FileHolder::hold(const std::wstring& path, uint32_t mode) {
    release();
    static int counter = 0;
    const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    held_ = CreateEventW(nullptr, TRUE, FALSE, eventName(tag, L"held").c_str());
    release_ = CreateEventW(nullptr, TRUE, FALSE, eventName(tag, L"release").c_str());
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    SetEnvironmentVariableW(kPathVariable, path.c_str());
    SetEnvironmentVariableW(kModeVariable, std::to_wstring(mode).c_str());
    SetEnvironmentVariableW(kTagVariable, tag.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    const BOOL started = CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &info);
    SetEnvironmentVariableW(kPathVariable, nullptr);
    SetEnvironmentVariableW(kModeVariable, nullptr);
    SetEnvironmentVariableW(kTagVariable, nullptr);
    if (!started) return GetLastError();
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    HANDLE waits[2] = {held_, process_};
    WaitForMultipleObjects(2, waits, FALSE, 30000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code == STILL_ACTIVE ? kStatusOk : code;
}

void FileHolder::release() {
    if (release_ != nullptr) SetEvent(release_);
    if (process_ != nullptr) {
        WaitForSingleObject(process_, 30000);
        CloseHandle(process_);
    }
    if (held_ != nullptr) CloseHandle(held_);
    if (release_ != nullptr) CloseHandle(release_);
    process_ = held_ = release_ = nullptr;
}

std::wstring testFolder(const wchar_t* name) {
    wchar_t directory[kModuleDirectoryCapacity];
    moduleDirectory(directory);
    const std::wstring folder = std::wstring(directory) + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring entry = folder + L"\\" + found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(entry.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return folder;
}

void writeBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}
