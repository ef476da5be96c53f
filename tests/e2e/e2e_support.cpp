#include "tests/e2e/e2e_support.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "ce_boot.h"

namespace e2e {

namespace {

// ---- the fixture window ----

struct Fixture {
    HWND window = nullptr;
    HWND label = nullptr;
    HWND log = nullptr;
    HBRUSH swatch = nullptr;
    HBRUSH white = nullptr;
    // While blinking, the swatch steps through seven colours, one per tick:
    // a screen compared a few ticks apart never looks the same, whereas a
    // two-colour blink does whenever an even number of ticks fell between.
    HBRUSH blink[7] = {};
    int presses = 0;
    int blinkStep = 0;  // 0: the swatch colour
};
Fixture g_fixture;

void record(const std::wstring& event) {
    SetWindowTextW(g_fixture.label, event.c_str());
    wchar_t log[4096];
    GetWindowTextW(g_fixture.log, log, 4096);
    std::wstring all = log;
    all += (all.empty() ? L"" : L";") + event;
    SetWindowTextW(g_fixture.log, all.c_str());
}

HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, g_fixture.window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void addColumn(HWND list, int index, const wchar_t* title, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title);
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void addItem(HWND list, int index, const wchar_t* name, const wchar_t* path) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(name);
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(path);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void createControls() {
    child(L"BUTTON", L"Press", BS_PUSHBUTTON, 2, 2, 56, 22, kPress);
    child(L"BUTTON", L"Ask", BS_PUSHBUTTON, 60, 2, 56, 22, kAsk);
    EnableWindow(child(L"BUTTON", L"Off", BS_PUSHBUTTON, 118, 2, 56, 22, kOff), FALSE);
    child(L"BUTTON", L"Card", BS_AUTOCHECKBOX, 176, 2, 56, 22, kCard);
    g_fixture.label = child(L"STATIC", L"", 0, 2, 26, 228, 16, kLabel);
    g_fixture.log = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, g_fixture.window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLog)), GetModuleHandleW(nullptr), nullptr);

    HWND files = child(WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER, 2, 44, 228, 86, kFiles);
    addColumn(files, 0, L"Name", 100);
    addColumn(files, 1, L"Path", 180);
    addItem(files, 0, L"eicar.com", L"\\My Documents\\eicar.com");
    addItem(files, 1, L"virus.exe", L"\\Storage Card\\virus.exe");
    addItem(files, 2, L"Fran\u00e7ais (1).txt", L"\\Temp\\Fran\u00e7ais (1).txt");

    HWND languages = child(L"LISTBOX", L"", LBS_NOTIFY | WS_BORDER | WS_VSCROLL, 2, 132, 110, 56, kLanguages);
    for (const wchar_t* row : {L"\u010ce\u0161tina", L"English", L"Fran\u00e7ais", L"Portugu\u00eas", L"Sloven\u010dina"}) {
        SendMessageW(languages, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    }
    HWND quiet = child(L"LISTBOX", L"", WS_BORDER, 116, 160, 112, 28, kQuiet);
    for (const wchar_t* row : {L"one", L"two"}) SendMessageW(quiet, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    HWND levels = child(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL, 116, 132, 112, 120, kLevels);
    for (const wchar_t* row : {L"Minimal", L"Normal", L"Full"}) SendMessageW(levels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));

    child(L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, 2, 192, 150, 22, kEdit);
    child(L"STATIC", L"", 0, 2, 218, 40, 30, kSwatch);
    child(L"STATIC", L"Blue text", 0, 46, 218, 120, 20, kBlue);
}

void onCommand(int id, int code, HWND control) {
    switch (id) {
        case kPress:
            record(L"pressed " + std::to_wstring(++g_fixture.presses));
            break;
        case kAsk: {
            int answer = MessageBoxW(g_fixture.window, kQuestionText, kQuestionCaption, MB_YESNO | MB_ICONQUESTION);
            record(answer == IDYES ? L"answer yes" : answer == IDNO ? L"answer no" : L"answer " + std::to_wstring(answer));
            break;
        }
        case kOff:
            record(L"disabled pressed");
            break;
        case kCard:
            record(L"check " + std::to_wstring(SendMessageW(control, BM_GETCHECK, 0, 0)));
            break;
        case kLanguages:
            if (code == LBN_SELCHANGE) record(L"list " + std::to_wstring(SendMessageW(control, LB_GETCURSEL, 0, 0)));
            break;
        case kQuiet:
            record(L"quiet " + std::to_wstring(SendMessageW(control, LB_GETCURSEL, 0, 0)));
            break;
        case kLevels:
            if (code == CBN_SELCHANGE) record(L"combo " + std::to_wstring(SendMessageW(control, CB_GETCURSEL, 0, 0)));
            break;
        case kBusy:
            Sleep(500);
            break;
        case kFocusEdit:
            SetFocus(GetDlgItem(g_fixture.window, kEdit));
            break;
        case kBlinkOn:
            SetTimer(g_fixture.window, 1, 100, nullptr);
            break;
        case kBlinkOff:
            KillTimer(g_fixture.window, 1);
            g_fixture.blinkStep = 0;
            InvalidateRect(GetDlgItem(g_fixture.window, kSwatch), nullptr, TRUE);
            break;
        case kClearLog:
            g_fixture.presses = 0;
            SetDlgItemTextW(g_fixture.window, kEdit, L"");
            SetWindowTextW(g_fixture.log, L"");
            SetWindowTextW(g_fixture.label, L"");
            break;
        default:
            break;
    }
}

LRESULT onNotify(const NMHDR* header) {
    if (header->idFrom == kFiles && header->code == NM_CLICK) {
        record(L"clicked " + std::to_wstring(reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem));
    }
    return 0;
}

LRESULT onColour(HDC dc, HWND control) {
    switch (GetDlgCtrlID(control)) {
        case kSwatch:
            return reinterpret_cast<LRESULT>(g_fixture.blinkStep == 0 ? g_fixture.swatch : g_fixture.blink[g_fixture.blinkStep]);
        case kBlue:
            SetTextColor(dc, kBlueColour);
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(g_fixture.white);
        default:
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
}

LRESULT CALLBACK fixtureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NOTIFY:
            return onNotify(reinterpret_cast<const NMHDR*>(lParam));
        case WM_CTLCOLORSTATIC:
            return onColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_TIMER:
            g_fixture.blinkStep = (g_fixture.blinkStep + 1) % 7;
            InvalidateRect(GetDlgItem(window, kSwatch), nullptr, TRUE);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- helpers ----

std::wstring temporaryName(const wchar_t* what) {
    static LONG counter = 0;
    return L"C:\\Temp\\e2e_" + std::wstring(what) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(InterlockedIncrement(&counter)) + L".txt";
}

std::string readAll(const std::wstring& path) {
    std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A program of the boot start list: it records that it ran, with its
// sequence number, and acknowledges its start only when that number is 60.
int bootEntry(const char* number) {
    unsigned long sequence = strtoul(number, nullptr, 10);
    FILE* log = _wfopen(L"C:\\Temp\\e2e_boot_runs.txt", L"ab");
    if (log) {
        fprintf(log, "%lu\n", sequence);
        fclose(log);
    }
    if (sequence == 60) SignalStarted(sequence);
    return 0;
}

// An installer started by an interactive update ("@PID FOLDER\\", with no
// program name in front): it records its command line in "installer.txt"
// beside itself.
int recordInstaller() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.rfind(L'\\') + 1);
    path += L"installer.txt";
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return 1;
    const wchar_t* line = GetCommandLineW();
    fwrite(line, sizeof(wchar_t), wcslen(line), out);
    fclose(out);
    return 0;
}

bool allDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

}  // namespace

int runFixture() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    g_fixture.swatch = CreateSolidBrush(kSwatchColour);
    g_fixture.white = CreateSolidBrush(RGB(255, 255, 255));
    for (int i = 1; i < 7; ++i) g_fixture.blink[i] = CreateSolidBrush(RGB(255, 36 * i, 36 * i));
    WNDCLASSW wc{};
    wc.lpfnWndProc = fixtureProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kFixtureClass;
    if (!RegisterClassW(&wc)) return 1;
    g_fixture.window = CreateWindowExW(0, kFixtureClass, kFixtureTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                       wc.hInstance, nullptr);
    if (!g_fixture.window) return 1;
    createControls();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(g_fixture.swatch);
    DeleteObject(g_fixture.white);
    return 0;
}

std::wstring selfPath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::vector<uint8_t> readFileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(file);
    return bytes;
}

bool runProgram(const std::wstring& commandLine, std::string& output, std::string& errors, DWORD& exitCode,
                DWORD timeoutMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    std::wstring outPath = temporaryName(L"out"), errPath = temporaryName(L"err");
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION info{};
    bool started = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                   CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, L"C:\\", &si, &info);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    bool ended = false;
    if (started) {
        ended = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(info.hProcess, 255);
            WaitForSingleObject(info.hProcess, 5000);
        }
        GetExitCodeProcess(info.hProcess, &exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    output = readAll(outPath);
    errors = readAll(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return started && ended;
}

void endAll(const wchar_t* exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) != 0 || entry.th32ProcessID == GetCurrentProcessId()) continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process) continue;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

}  // namespace e2e

int main(int argc, char** argv) {
    if (GetCommandLineW()[0] == L'@') return e2e::recordInstaller();
    if (argc >= 2 && strcmp(argv[1], "--fixture") == 0) return e2e::runFixture();
    if (argc >= 2 && e2e::allDigits(argv[1])) return e2e::bootEntry(argv[1]);
    if (argc >= 3 && strcmp(argv[1], "--exit") == 0) return atoi(argv[2]);
    if (argc >= 2 && strcmp(argv[1], "--sleep") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
