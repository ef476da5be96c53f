#include "update/tests/box_catcher.h"

#include <atomic>

namespace {

struct Watch {
    const wchar_t* caption;
    std::atomic<bool> done{false};
    std::vector<std::wstring> texts;
};

struct Search {
    const wchar_t* caption;
    HWND found = nullptr;
};

BOOL CALLBACK findBox(HWND window, LPARAM data) {
    Search* search = reinterpret_cast<Search*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[32] = {}, title[128] = {};
    GetClassNameW(window, className, 32);
    GetWindowTextW(window, title, 128);
    if (processId == GetCurrentProcessId() && IsWindowVisible(window) && wcscmp(className, L"#32770") == 0 &&
        wcscmp(title, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI watchBoxes(void* data) {
    Watch* watch = static_cast<Watch*>(data);
    HWND last = nullptr;
    while (!watch->done.load()) {
        Search search{watch->caption};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && search.found != last) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(search.found, 0xFFFF, text, 1024);  // the box's text control
            watch->texts.push_back(text);
            last = search.found;
            PostMessageW(search.found, WM_COMMAND, IDOK, 0);
        } else if (search.found == nullptr) {
            last = nullptr;
        }
        Sleep(30);
    }
    return 0;
}

}  // namespace

std::vector<std::wstring> catchBoxes(const wchar_t* caption, const std::function<void()>& work) {
    Watch watch;
    watch.caption = caption;
    HANDLE thread = CreateThread(nullptr, 0, watchBoxes, &watch, 0, nullptr);
    work();
    Sleep(100);
    watch.done = true;
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    return watch.texts;
}
