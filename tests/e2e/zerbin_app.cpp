#include "tests/e2e/zerbin_app.h"

#include <oleauto.h>

#include <cstdio>

#include "settings/settings_keys.h"
#include "tests/e2e/e2e_support.h"
#include "tools/vps/signatures.h"

namespace e2e {

using namespace zbauto;

std::string infectedPattern() { return std::string("ZB-E2E-TEST") + "-VIRUS"; }
std::string anchoredPattern() { return std::string("ZB-E2E-ANCH") + "ORED"; }

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? size_t(n - 1) : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

bool waitFor(DWORD timeoutMs, const std::function<bool()>& condition) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(50);
    }
    return true;
}

std::string infectedContent() { return "MZ... " + infectedPattern() + " ...end"; }

namespace {
const std::wstring kInfectedFolder = L"\\My Documents\\e2e";
}

InfectedFiles::InfectedFiles() {
    removeTree(kInfectedFolder);
    CreateDirectoryW(kInfectedFolder.c_str(), nullptr);
}

InfectedFiles::~InfectedFiles() { removeTree(kInfectedFolder); }

std::wstring InfectedFiles::put(const wchar_t* name, const std::string& content) {
    std::wstring path = kInfectedFolder + L"\\" + name;
    writeFile(path, content);
    return path;
}

void clearSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsVendorKeyPath); }

bool readSetting(const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY, nullptr, &value, &size) == ERROR_SUCCESS;
}

void writeSetting(const wchar_t* name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

bool readCheckTime(std::vector<uint8_t>& bytes) {
    bytes.assign(16, 0);
    DWORD size = 16;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, kValueUpdateLastCheck, RRF_RT_ANY, nullptr, bytes.data(),
                     &size) != ERROR_SUCCESS) {
        return false;
    }
    bytes.resize(size);
    return true;
}

void writeCheckTime(const SYSTEMTIME& utc) {
    double date = 0;
    SYSTEMTIME copy = utc;
    SystemTimeToVariantTime(&copy, &date);
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return;
    RegSetValueExW(key, kValueUpdateLastCheck, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&date), sizeof date);
    RegCloseKey(key);
}

ZerbinApp::ZerbinApp() {
    endAll(L"zerbin.exe");
    clearSettings();
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir.resize(dir.rfind(L'\\'));
    folder_ = dir + L"\\app";
    removeTree(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    CopyFileW(L"\\Program Files\\zerbin\\zerbin.exe", path(L"zerbin.exe").c_str(), FALSE);
}

ZerbinApp::~ZerbinApp() {
    end();
    clearSettings();
}

namespace {
Signature signature(const char* name, const std::string& first, uint16_t flags = 0) {
    Signature s;
    s.name = name;
    s.first.assign(first.begin(), first.end());
    s.flags = flags;
    return s;
}

std::vector<uint8_t> image(const std::vector<Signature>& signatures, uint16_t minor) {
    SignatureList list;
    list.versionMinor = minor;
    list.signatures = signatures;
    std::vector<uint8_t> bytes;
    std::string error;
    vpsImageBuild(list, bytes, error);
    return bytes;
}
}  // namespace

void ZerbinApp::writeDatabase(uint16_t minor) {
    writeRawDatabase(image({signature("Test.Virus", infectedPattern()), signature("Test.Anchored", anchoredPattern(), 1)},
                           minor));
}

void ZerbinApp::writeDatabaseNamed(const char* virusName) {
    writeRawDatabase(image({signature(virusName, infectedPattern())}, 7));
}

void ZerbinApp::writeCleanDatabase() {
    writeRawDatabase(image({signature("Test.Nowhere", std::string("ZB-E2E-NOW") + "HERE-" + std::to_string(GetTickCount()))},
                           3));
}

void ZerbinApp::writeRawDatabase(const std::vector<uint8_t>& bytes) {
    writeFile(path(L"zerbinpda.vps"), std::string(bytes.begin(), bytes.end()));
}

void ZerbinApp::removeDatabase() { DeleteFileW(path(L"zerbinpda.vps").c_str()); }

void ZerbinApp::putLibrary(const wchar_t* resourceName, const wchar_t* fileName) {
    HRSRC found = FindResourceW(nullptr, resourceName, MAKEINTRESOURCEW(10));
    if (!found) return;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    writeFile(path(fileName), std::string(data, SizeofResource(nullptr, found)));
}

bool ZerbinApp::start() {
    Status ignored;
    return start(ignored);
}

// Under a loaded machine the emulator now and then refuses to create a
// process just after the previous one ended (ERROR_INTERNAL_ERROR): a few
// tries apart tell that from a program that cannot start.
bool ZerbinApp::start(Status& status) {
    const std::wstring line = L"\"" + path(L"zerbin.exe") + L"\"";
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) Sleep(500);
        status = startProgram(line, info_);
        if (status == kStatusOk) return true;
    }
    return false;
}

bool ZerbinApp::startAndWait(std::string& why) {
    Status status = kStatusOk;
    if (!start(status)) {
        why = "cannot start zerbin: status " + std::to_string(status);
        return false;
    }
    WindowQuery query;
    query.className = L"zerbin4windowClass";
    query.title = L"zerbin! antivirus";
    query.processId = info_.dwProcessId;
    if (waitTopWindow(query, 30000, window_) == kStatusOk) return true;
    std::wstring caption, text;
    why = boxOpen(0) && answerBox(IDOK, &caption, &text, 1000) ? "a message box: " + utf8(text) : "no main window";
    return false;
}

long ZerbinApp::waitExit(DWORD timeoutMs) {
    if (!info_.hProcess) return -1;
    DWORD code = 0;
    if (waitProcess(info_.hProcess, timeoutMs, code) != kStatusOk) return -1;
    return long(code);
}

void ZerbinApp::end() {
    if (info_.hProcess) {
        DWORD code = 0;
        if (GetExitCodeProcess(info_.hProcess, &code) && code == STILL_ACTIVE) TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hProcess);
    }
    if (info_.hThread) CloseHandle(info_.hThread);
    info_ = PROCESS_INFORMATION{};
    window_ = nullptr;
}

HWND ZerbinApp::control(int id, DWORD timeoutMs) const {
    HWND out = nullptr;
    waitControl(window_, id, timeoutMs, out);
    return out;
}

bool ZerbinApp::exists(int id) const {
    HWND out = nullptr;
    return findControl(window_, id, out) == kStatusOk;
}

std::wstring ZerbinApp::text(int id) const {
    std::wstring out;
    readText(control(id), out);
    return out;
}

bool ZerbinApp::waitText(int id, const std::wstring& expected, DWORD timeoutMs) const {
    std::wstring last;
    return zbauto::waitText(control(id), expected, timeoutMs, last) == kStatusOk;
}

bool ZerbinApp::enabled(int id) const {
    bool out = false;
    readEnabled(control(id), out);
    return out;
}

void ZerbinApp::press(int id) const { pressButton(control(id)); }

void ZerbinApp::command(int id, int code) const { postCommand(window_, id, code); }

std::vector<std::vector<std::wstring>> ZerbinApp::listItems(int id) const {
    std::vector<std::vector<std::wstring>> out;
    listViewItems(control(id), out);
    return out;
}

std::vector<std::wstring> ZerbinApp::rows(int id) const {
    std::vector<std::wstring> out;
    listRows(control(id), out);
    return out;
}

int ZerbinApp::selection(int id) const {
    int row = -1;
    listSelection(control(id), row);
    return row;
}

void ZerbinApp::select(int id, int row) const { listSelect(control(id), row); }

bool ZerbinApp::checked(int id) const {
    int state = 0;
    readChecked(control(id), state);
    return state == 1;
}

bool ZerbinApp::boxOpen(DWORD timeoutMs) const {
    HWND box = nullptr;
    return waitMessageBox(info_.dwProcessId, nullptr, timeoutMs, box) == kStatusOk;
}

bool ZerbinApp::answerBox(int button, std::wstring* caption, std::wstring* text, DWORD timeoutMs) {
    HWND box = nullptr;
    if (waitMessageBox(info_.dwProcessId, nullptr, timeoutMs, box) != kStatusOk) return false;
    MessageBoxContent content;
    if (readMessageBox(box, content) != kStatusOk) return false;
    if (caption) *caption = content.caption;
    if (text) *text = content.text;
    return pressMessageBoxButton(box, button, 5000) == kStatusOk;
}

std::string ZerbinApp::report() const {
    std::vector<uint8_t> bytes = readFileBytes(path(L"report.txt"));
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace e2e
