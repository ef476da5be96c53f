#include "tools/drive/automation.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cwchar>

#include "launch.h"
#include "tools/drive/png.h"

namespace zbauto {

namespace {

// Still there / not yet: the value a polling probe returns to be asked again.
constexpr Status kNotYet = ERROR_BUSY;

// A message to a window of another process, with a bound on how long the
// target may take.
Status sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (!IsWindow(window)) return kGone;
    DWORD_PTR out = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &out)) {
        DWORD error = GetLastError();
        if (!IsWindow(window)) return kGone;
        return error == 0 || error == ERROR_TIMEOUT ? kTimedOut : error;
    }
    result = static_cast<LRESULT>(out);
    return kStatusOk;
}

Status postTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(window)) return kGone;
    if (!PostMessageW(window, message, wParam, lParam)) return GetLastError();
    return kStatusOk;
}

bool sameClass(HWND window, const wchar_t* name) {
    return _wcsicmp(classOf(window).c_str(), name) == 0;
}

// A user can reach a control only while it, its top-level window and every
// window between are enabled and visible (a modal box disables its owner).
Status reachable(HWND control) {
    if (!IsWindow(control)) return kGone;
    for (HWND w = control; w; w = GetAncestor(w, GA_PARENT)) {
        if (w == GetDesktopWindow()) break;
        if (!IsWindowEnabled(w) || !IsWindowVisible(w)) return kDisabled;
        if (!(GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD)) break;
    }
    return kStatusOk;
}

// Memory inside another process, for the messages whose structures Wine does
// not copy across (the list view's). Owns the allocation and the process
// handle needed to release it.
class RemoteMemory {
public:
    RemoteMemory(HWND window, size_t size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId == 0) {
            status_ = kGone;
            return;
        }
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, processId);
        if (!process_) {
            status_ = GetLastError();
            return;
        }
        base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        status_ = base_ ? kStatusOk : GetLastError();
    }
    ~RemoteMemory() {
        if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    Status status() const { return status_; }
    size_t size() const { return size_; }
    LPARAM at(size_t offset) const { return reinterpret_cast<LPARAM>(static_cast<char*>(base_) + offset); }

    Status write(size_t offset, const void* data, size_t size) {
        if (offset + size > size_) return kStatusBadArgument;
        SIZE_T done = 0;
        if (!WriteProcessMemory(process_, static_cast<char*>(base_) + offset, data, size, &done)) return GetLastError();
        return done == size ? kStatusOk : kStatusShortWrite;
    }
    Status read(size_t offset, void* data, size_t size) {
        if (offset + size > size_) return kStatusBadArgument;
        SIZE_T done = 0;
        if (!ReadProcessMemory(process_, static_cast<char*>(base_) + offset, data, size, &done)) return GetLastError();
        return done == size ? kStatusOk : kStatusShortRead;
    }

private:
    HANDLE process_ = nullptr;
    void* base_ = nullptr;
    size_t size_;
    Status status_ = kStatusOk;
};

// The device context of the whole screen; released with the object.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A 32-bit top-down bitmap selected into a memory DC, for copies of the screen.
class Capture {
public:
    Capture(HDC screen, int width, int height) {
        dc_ = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (dc_) bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) old_ = SelectObject(dc_, bitmap_);
    }
    ~Capture() {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    bool ok() const { return bitmap_ && bits_; }
    HDC dc() const { return dc_; }
    const uint8_t* pixels() const { return static_cast<const uint8_t*>(bits_); }  // B, G, R, unused

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

Status copyScreen(int x, int y, int width, int height, std::vector<uint8_t>& rgb) {
    ScreenDc screen;
    if (!screen.get()) return GetLastError() ? GetLastError() : kNotFound;
    Capture capture(screen.get(), width, height);
    if (!capture.ok()) return kStatusOutOfMemory;
    if (!BitBlt(capture.dc(), 0, 0, width, height, screen.get(), x, y, SRCCOPY | CAPTUREBLT)) return GetLastError();
    GdiFlush();
    rgb.resize(static_cast<size_t>(width) * height * 3);
    const uint8_t* in = capture.pixels();
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        rgb[i * 3] = in[i * 4 + 2];
        rgb[i * 3 + 1] = in[i * 4 + 1];
        rgb[i * 3 + 2] = in[i * 4];
    }
    return kStatusOk;
}

struct ScreenArea {
    int x, y, width, height;
};
ScreenArea screenArea() {
    return ScreenArea{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> topWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> descendants(HWND window) {
    std::vector<HWND> windows;
    EnumChildWindows(window, collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The caption of a top-level window as the window manager keeps it: read
// without a message, so that a hung program cannot hold up a search.
std::wstring captionOf(HWND window) {
    wchar_t caption[1024];
    int n = GetWindowTextW(window, caption, 1024);
    return std::wstring(caption, n > 0 ? static_cast<size_t>(n) : 0);
}

bool matches(HWND window, const WindowQuery& query) {
    if (query.visibleOnly && !IsWindowVisible(window)) return false;
    if (query.processId) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId != query.processId) return false;
    }
    if (!query.className.empty() && _wcsicmp(classOf(window).c_str(), query.className.c_str()) != 0) return false;
    if (!query.title.empty() && captionOf(window) != query.title) return false;
    return true;
}

Status listViewTextWith(RemoteMemory& remote, HWND listView, int item, int subItem, std::wstring& out) {
    // The text buffer follows the item structure in the same allocation.
    const size_t capacity = (remote.size() - sizeof(LVITEMW)) / sizeof(wchar_t);
    LVITEMW request{};
    request.mask = LVIF_TEXT;
    request.iItem = item;
    request.iSubItem = subItem;
    request.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(LVITEMW)));
    request.cchTextMax = static_cast<int>(capacity);
    wchar_t none = 0;
    Status s = remote.write(0, &request, sizeof request);
    if (s == kStatusOk) s = remote.write(sizeof(LVITEMW), &none, sizeof none);
    LRESULT length = 0;
    if (s == kStatusOk) s = sendTo(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), remote.at(0), length);
    if (s != kStatusOk) return s;
    if (length < 0) length = 0;
    if (static_cast<size_t>(length) >= capacity) length = static_cast<LRESULT>(capacity - 1);
    out.assign(static_cast<size_t>(length), L'\0');
    return length ? remote.read(sizeof(LVITEMW), out.data(), static_cast<size_t>(length) * sizeof(wchar_t)) : kStatusOk;
}

// Room for item texts: far above the 512 characters that an item of the
// program's lists may hold.
constexpr size_t kRemoteTextChars = 4096;

Status requireListView(HWND listView) {
    if (!IsWindow(listView)) return kGone;
    return sameClass(listView, WC_LISTVIEWW) ? kStatusOk : kWrongKind;
}

enum class ListKind { listBox, comboBox, other };
ListKind listKind(HWND list) {
    if (sameClass(list, L"ListBox") || sameClass(list, L"ComboLBox")) return ListKind::listBox;
    if (sameClass(list, L"ComboBox")) return ListKind::comboBox;
    return ListKind::other;
}

}  // namespace

// ---- windows ----

std::wstring classOf(HWND window) {
    wchar_t name[256];
    int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

Status listTopWindows(std::vector<WindowInfo>& out) {
    out.clear();
    for (HWND window : topWindows()) {
        WindowInfo info;
        info.window = window;
        GetWindowThreadProcessId(window, &info.processId);
        info.className = classOf(window);
        info.title = captionOf(window);
        info.visible = IsWindowVisible(window) != FALSE;
        GetWindowRect(window, &info.rect);
        out.push_back(std::move(info));
    }
    return kStatusOk;
}

Status findTopWindow(const WindowQuery& query, HWND& out) {
    for (HWND window : topWindows()) {
        if (matches(window, query)) {
            out = window;
            return kStatusOk;
        }
    }
    return kNotFound;
}

Status waitTopWindow(const WindowQuery& query, DWORD timeoutMs, HWND& out) {
    return waitFor(timeoutMs, kNotFound, [&] { return findTopWindow(query, out); });
}

Status waitWindowGone(HWND window, DWORD timeoutMs) {
    return waitFor(timeoutMs, kNotYet, [&] { return IsWindow(window) ? kNotYet : kStatusOk; });
}

// ---- controls ----

Status findControl(HWND window, int id, HWND& out) {
    if (!IsWindow(window)) return kGone;
    if (HWND direct = GetDlgItem(window, id)) {
        out = direct;
        return kStatusOk;
    }
    for (HWND child : descendants(window)) {
        if (GetDlgCtrlID(child) == id) {
            out = child;
            return kStatusOk;
        }
    }
    return kNotFound;
}

Status waitControl(HWND window, int id, DWORD timeoutMs, HWND& out) {
    return waitFor(timeoutMs, kNotFound, [&] { return findControl(window, id, out); });
}

Status listControls(HWND window, std::vector<ControlInfo>& out) {
    out.clear();
    if (!IsWindow(window)) return kGone;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ControlInfo info;
        info.control = child;
        info.id = GetDlgCtrlID(child);
        info.className = classOf(child);
        readText(child, info.text);
        info.enabled = IsWindowEnabled(child) != FALSE;
        info.visible = IsWindowVisible(child) != FALSE;
        readRect(child, info.rect);
        out.push_back(std::move(info));
    }
    return kStatusOk;
}

Status readText(HWND window, std::wstring& out) {
    LRESULT length = 0;
    Status s = sendTo(window, WM_GETTEXTLENGTH, 0, 0, length);
    if (s != kStatusOk) return s;
    // The text may grow between the two messages: leave room and trust the copy's count.
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 256);
    LRESULT copied = 0;
    s = sendTo(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied);
    if (s != kStatusOk) return s;
    if (copied < 0) copied = 0;
    if (static_cast<size_t>(copied) >= buffer.size()) copied = static_cast<LRESULT>(buffer.size() - 1);
    out.assign(buffer.data(), static_cast<size_t>(copied));
    return kStatusOk;
}

Status waitText(HWND window, const std::wstring& expected, DWORD timeoutMs, std::wstring& last) {
    return waitFor(timeoutMs, kNotYet, [&] {
        Status s = readText(window, last);
        if (s != kStatusOk) return s;
        return last == expected ? kStatusOk : kNotYet;
    });
}

Status readEnabled(HWND window, bool& out) {
    if (!IsWindow(window)) return kGone;
    out = IsWindowEnabled(window) != FALSE;
    return kStatusOk;
}

Status readVisible(HWND window, bool& out) {
    if (!IsWindow(window)) return kGone;
    out = IsWindowVisible(window) != FALSE;
    return kStatusOk;
}

Status readChecked(HWND control, int& out) {
    if (!IsWindow(control)) return kGone;
    if (!sameClass(control, L"Button")) return kWrongKind;
    LRESULT state = 0;
    Status s = sendTo(control, BM_GETCHECK, 0, 0, state);
    if (s == kStatusOk) out = static_cast<int>(state);
    return s;
}

Status readRect(HWND window, RECT& out) {
    if (!IsWindow(window) || !GetWindowRect(window, &out)) return kGone;
    if (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) {
        HWND parent = GetParent(window);
        if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&out), 2);
    }
    return kStatusOk;
}

Status readStyle(HWND window, DWORD& style, DWORD& exStyle) {
    if (!IsWindow(window)) return kGone;
    style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    return kStatusOk;
}

Status pressButton(HWND button) {
    if (!IsWindow(button)) return kGone;
    if (!sameClass(button, L"Button")) return kWrongKind;
    Status s = reachable(button);
    if (s != kStatusOk) return s;
    return postTo(button, BM_CLICK, 0, 0);
}

Status postCommand(HWND window, int id, int code) {
    HWND control = nullptr;
    findControl(window, id, control);
    return postTo(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                  reinterpret_cast<LPARAM>(control));
}

Status postClose(HWND window) {
    return postTo(window, WM_CLOSE, 0, 0);
}

// ---- list views ----

Status listViewCount(HWND listView, int& count) {
    Status s = requireListView(listView);
    LRESULT n = 0;
    if (s == kStatusOk) s = sendTo(listView, LVM_GETITEMCOUNT, 0, 0, n);
    if (s == kStatusOk) count = static_cast<int>(n);
    return s;
}

Status listViewColumnCount(HWND listView, int& count) {
    Status s = requireListView(listView);
    LRESULT header = 0;
    if (s == kStatusOk) s = sendTo(listView, LVM_GETHEADER, 0, 0, header);
    if (s != kStatusOk) return s;
    count = 1;  // a list without a header (icon or list view) shows one column
    LRESULT n = 0;
    if (header && sendTo(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, n) == kStatusOk && n > 0) {
        count = static_cast<int>(n);
    }
    return kStatusOk;
}

Status listViewText(HWND listView, int item, int subItem, std::wstring& out) {
    Status s = requireListView(listView);
    int count = 0;
    if (s == kStatusOk) s = listViewCount(listView, count);
    if (s != kStatusOk) return s;
    if (item < 0 || item >= count || subItem < 0) return kNotFound;
    RemoteMemory remote(listView, sizeof(LVITEMW) + kRemoteTextChars * sizeof(wchar_t));
    if (remote.status() != kStatusOk) return remote.status();
    return listViewTextWith(remote, listView, item, subItem, out);
}

Status listViewItems(HWND listView, std::vector<std::vector<std::wstring>>& out) {
    out.clear();
    int count = 0, columns = 0;
    Status s = listViewCount(listView, count);
    if (s == kStatusOk) s = listViewColumnCount(listView, columns);
    if (s != kStatusOk) return s;
    RemoteMemory remote(listView, sizeof(LVITEMW) + kRemoteTextChars * sizeof(wchar_t));
    if (remote.status() != kStatusOk) return remote.status();
    for (int item = 0; item < count; ++item) {
        std::vector<std::wstring> row(static_cast<size_t>(columns));
        for (int column = 0; column < columns; ++column) {
            s = listViewTextWith(remote, listView, item, column, row[static_cast<size_t>(column)]);
            if (s != kStatusOk) return s;
        }
        out.push_back(std::move(row));
    }
    return kStatusOk;
}

Status listViewNext(HWND listView, UINT flags, int& item) {
    Status s = requireListView(listView);
    LRESULT found = -1;
    if (s == kStatusOk) s = sendTo(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(flags, 0), found);
    if (s == kStatusOk) item = static_cast<int>(found);
    return s;
}

Status listViewItemRect(HWND listView, int item, RECT& out) {
    Status s = requireListView(listView);
    if (s != kStatusOk) return s;
    RemoteMemory remote(listView, sizeof(RECT));
    if (remote.status() != kStatusOk) return remote.status();
    RECT request{LVIR_LABEL, 0, 0, 0};
    s = remote.write(0, &request, sizeof request);
    LRESULT ok = 0;
    if (s == kStatusOk) s = sendTo(listView, LVM_GETITEMRECT, static_cast<WPARAM>(item), remote.at(0), ok);
    if (s == kStatusOk && !ok) s = kNotFound;
    if (s == kStatusOk) s = remote.read(0, &out, sizeof out);
    return s;
}

Status listViewClick(HWND listView, int item) {
    Status s = requireListView(listView);
    if (s == kStatusOk) s = reachable(listView);
    int count = 0;
    if (s == kStatusOk) s = listViewCount(listView, count);
    if (s != kStatusOk) return s;
    if (item < 0 || item >= count) return kNotFound;
    LRESULT ignored = 0;
    s = sendTo(listView, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE, ignored);
    RECT rect{};
    if (s == kStatusOk) s = listViewItemRect(listView, item, rect);
    if (s != kStatusOk) return s;
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    s = postTo(listView, WM_LBUTTONDOWN, MK_LBUTTON, point);
    if (s == kStatusOk) s = postTo(listView, WM_LBUTTONUP, 0, point);
    return s;
}

// ---- soft keys ----

namespace {

struct MenuBarSearch {
    HWND owner;
    HWND bar;
};

BOOL CALLBACK findMenuBar(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<MenuBarSearch*>(data);
    if (GetWindow(window, GW_OWNER) == search->owner && sameClass(window, L"ZbMenuBar")) {
        search->bar = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

Status readSoftKeys(HWND window, std::vector<SoftKey>& out) {
    out.clear();
    if (!IsWindow(window)) return kGone;
    MenuBarSearch search{window, nullptr};
    EnumWindows(findMenuBar, reinterpret_cast<LPARAM>(&search));
    HWND toolbar = search.bar ? FindWindowExW(search.bar, nullptr, TOOLBARCLASSNAMEW, nullptr) : nullptr;
    if (!toolbar) return kNotFound;
    LRESULT count = 0;
    Status s = sendTo(toolbar, TB_BUTTONCOUNT, 0, 0, count);
    if (s != kStatusOk) return s;
    constexpr size_t kLabelChars = 256;
    RemoteMemory remote(toolbar, sizeof(TBBUTTON) + kLabelChars * sizeof(wchar_t));
    if (remote.status() != kStatusOk) return remote.status();
    for (int index = 0; index < count; ++index) {
        TBBUTTON button{};
        LRESULT ok = 0;
        s = remote.write(0, &button, sizeof button);
        if (s == kStatusOk) s = sendTo(toolbar, TB_GETBUTTON, WPARAM(index), remote.at(0), ok);
        if (s == kStatusOk) s = remote.read(0, &button, sizeof button);
        if (s != kStatusOk) return s;
        if (!ok) return kNotFound;
        SoftKey key;
        key.command = button.idCommand;
        key.enabled = (button.fsState & TBSTATE_ENABLED) != 0;
        LRESULT length = 0;
        wchar_t none = 0;
        s = remote.write(sizeof(TBBUTTON), &none, sizeof none);
        if (s == kStatusOk) {
            s = sendTo(toolbar, TB_GETBUTTONTEXTW, WPARAM(button.idCommand), remote.at(sizeof(TBBUTTON)), length);
        }
        if (s != kStatusOk) return s;
        if (length > 0 && size_t(length) < kLabelChars) {
            key.text.assign(size_t(length), L'\0');
            s = remote.read(sizeof(TBBUTTON), key.text.data(), size_t(length) * sizeof(wchar_t));
            if (s != kStatusOk) return s;
        }
        out.push_back(key);
    }
    return kStatusOk;
}

// ---- list boxes and combo boxes ----

Status listRows(HWND list, std::vector<std::wstring>& out) {
    out.clear();
    if (!IsWindow(list)) return kGone;
    ListKind kind = listKind(list);
    if (kind == ListKind::other) return kWrongKind;
    const bool box = kind == ListKind::listBox;
    LRESULT count = 0;
    Status s = sendTo(list, box ? LB_GETCOUNT : CB_GETCOUNT, 0, 0, count);
    if (s != kStatusOk) return s;
    for (LRESULT row = 0; row < count; ++row) {
        LRESULT length = 0;
        s = sendTo(list, box ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0, length);
        if (s != kStatusOk) return s;
        if (length < 0) return kNotFound;  // the row went away meanwhile
        // Wine copies these texts between processes, sized by the length just read.
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
        LRESULT copied = 0;
        s = sendTo(list, box ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.data()),
                   copied);
        if (s != kStatusOk) return s;
        if (copied < 0) return kNotFound;
        if (copied > length) copied = length;
        out.emplace_back(buffer.data(), static_cast<size_t>(copied));
    }
    return kStatusOk;
}

Status listSelection(HWND list, int& row) {
    if (!IsWindow(list)) return kGone;
    ListKind kind = listKind(list);
    if (kind == ListKind::other) return kWrongKind;
    LRESULT selected = -1;
    Status s = sendTo(list, kind == ListKind::listBox ? LB_GETCURSEL : CB_GETCURSEL, 0, 0, selected);
    if (s == kStatusOk) row = static_cast<int>(selected);
    return s;
}

Status listSelect(HWND list, int row) {
    if (!IsWindow(list)) return kGone;
    ListKind kind = listKind(list);
    if (kind == ListKind::other) return kWrongKind;
    Status s = reachable(list);
    if (s != kStatusOk) return s;
    const bool box = kind == ListKind::listBox;
    LRESULT count = 0;
    s = sendTo(list, box ? LB_GETCOUNT : CB_GETCOUNT, 0, 0, count);
    if (s != kStatusOk) return s;
    if (row < 0 || row >= count) return kNotFound;

    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
    LRESULT result = 0;
    if (box && (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))) {
        s = sendTo(list, LB_SETSEL, FALSE, -1, result);
        if (s == kStatusOk) s = sendTo(list, LB_SETSEL, TRUE, row, result);
        if (s == kStatusOk) s = sendTo(list, LB_SETCARETINDEX, static_cast<WPARAM>(row), FALSE, result);
    } else {
        s = sendTo(list, box ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(row), 0, result);
    }
    if (s != kStatusOk) return s;

    // The notification a click on the row would have sent: a list box sends it
    // only when it was created to notify.
    if (box && !(style & LBS_NOTIFY)) return kStatusOk;
    HWND parent = GetParent(list);
    WORD code = box ? LBN_SELCHANGE : CBN_SELCHANGE;
    return postTo(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(list)), code), reinterpret_cast<LPARAM>(list));
}

// ---- message boxes ----

Status waitMessageBox(DWORD processId, HWND owner, DWORD timeoutMs, HWND& box) {
    WindowQuery query;
    query.className = L"#32770";
    query.processId = processId;
    return waitFor(timeoutMs, kNotFound, [&]() -> Status {
        for (HWND window : topWindows()) {
            if (!matches(window, query)) continue;
            if (owner && GetWindow(window, GW_OWNER) != owner) continue;
            box = window;
            return kStatusOk;
        }
        return kNotFound;
    });
}

Status readMessageBox(HWND box, MessageBoxContent& out) {
    out = MessageBoxContent{};
    Status s = readText(box, out.caption);
    if (s != kStatusOk) return s;
    // The message is the static control 0xFFFF; should a box lack it, the
    // first static with text (not the icon) stands in.
    HWND text = GetDlgItem(box, 0xFFFF);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (sameClass(child, L"Button")) {
            if (IsWindowVisible(child)) {
                MessageBoxButton button;
                button.id = GetDlgCtrlID(child);
                readText(child, button.text);
                out.buttons.push_back(std::move(button));
            }
        } else if (!text && sameClass(child, L"Static")) {
            std::wstring candidate;
            if (readText(child, candidate) == kStatusOk && !candidate.empty()) text = child;
        }
    }
    return text ? readText(text, out.text) : kStatusOk;
}

Status pressMessageBoxButton(HWND box, int id, DWORD timeoutMs) {
    if (!IsWindow(box)) return kGone;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) != id || !sameClass(child, L"Button") || !IsWindowVisible(child)) continue;
        Status s = pressButton(child);
        return s == kStatusOk ? waitWindowGone(box, timeoutMs) : s;
    }
    return kNotFound;
}

// ---- keys ----

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (thread && GetGUIThreadInfo(thread, &info) && info.hwndFocus) return info.hwndFocus;
    return window;
}

Status focusedControl(HWND window, int& id) {
    if (!IsWindow(window)) return kGone;
    HWND focus = focusOf(window);
    if (focus == window) {
        // focusOf answers the window itself also when its thread has no focus.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || info.hwndFocus != window) {
            return kNotFound;
        }
        id = 0;
        return kStatusOk;
    }
    if (!IsChild(window, focus)) return kNotFound;
    id = GetDlgCtrlID(focus);
    return kStatusOk;
}

Status postKey(HWND window, UINT vk) {
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM flags = static_cast<LPARAM>(scan & 0xFF) << 16;
    switch (vk) {
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
        case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
            flags |= LPARAM{1} << 24;  // the extended keys of the keyboard
            break;
        default:
            break;
    }
    // The character of the key, as the target's TranslateMessage would make
    // it. Left to the target, that character would be posted behind every key
    // already waiting in its queue, and "backspace left x" would arrive as
    // left, backspace, x. So the character is posted here, between the key's
    // down and up, and the down message carries the released-key bit in its
    // scan-code word, for which the platform's translation makes no character.
    BYTE noModifiers[256] = {};
    wchar_t chars[4] = {};
    int n = ToUnicode(vk, scan, noModifiers, chars, 4, 0);
    const LPARAM released = LPARAM{1} << 31;
    Status s = postTo(window, WM_KEYDOWN, vk, flags | 1 | (n == 1 ? released : 0));
    if (s == kStatusOk && n == 1) s = postTo(window, WM_CHAR, static_cast<WPARAM>(chars[0]), flags | 1);
    if (s == kStatusOk) s = postTo(window, WM_KEYUP, vk, flags | 1 | (LPARAM{1} << 30) | released);
    return s;
}

Status postChars(HWND window, const std::wstring& text) {
    for (wchar_t c : text) {
        Status s = postTo(window, WM_CHAR, static_cast<WPARAM>(c), 1);
        if (s != kStatusOk) return s;
    }
    return kStatusOk;
}

Status typeKeys(HWND window, const std::vector<UINT>& vks, const std::vector<bool>& shifted) {
    if (!IsWindow(window)) return kGone;
    if (GetForegroundWindow() != window && !SetForegroundWindow(window)) return kDisabled;
    std::vector<INPUT> inputs;
    auto add = [&inputs](UINT vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(vk);
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        switch (vk) {
            case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
            case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
                input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
                break;
            default:
                break;
        }
        inputs.push_back(input);
    };
    for (size_t i = 0; i < vks.size(); ++i) {
        const bool shift = i < shifted.size() && shifted[i];
        if (shift) add(VK_SHIFT, false);
        add(vks[i], false);
        add(vks[i], true);
        if (shift) add(VK_SHIFT, true);
    }
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() ? kStatusOk : GetLastError();
}

// ---- the screen ----

Status captureScreen(std::vector<uint8_t>& rgb, int& width, int& height) {
    ScreenArea area = screenArea();
    if (area.width <= 0 || area.height <= 0) return kNotFound;
    Status s = copyScreen(area.x, area.y, area.width, area.height, rgb);
    if (s == kStatusOk) {
        width = area.width;
        height = area.height;
    }
    return s;
}

Status readPixel(int x, int y, COLORREF& out) {
    ScreenArea area = screenArea();
    if (x < 0 || y < 0 || x >= area.width || y >= area.height) return kStatusBadArgument;
    std::vector<uint8_t> rgb;
    Status s = copyScreen(area.x + x, area.y + y, 1, 1, rgb);
    if (s == kStatusOk) out = RGB(rgb[0], rgb[1], rgb[2]);
    return s;
}

Status waitScreenStill(DWORD quietMs, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::vector<uint8_t> before, after;
    int width = 0, height = 0;
    Status s = captureScreen(before, width, height);
    while (s == kStatusOk) {
        if (GetTickCount64() + quietMs > deadline) return kTimedOut;
        Sleep(quietMs);
        s = captureScreen(after, width, height);
        if (s == kStatusOk && after == before) return kStatusOk;
        before.swap(after);
    }
    return s;
}

Status saveScreenshot(const std::wstring& path) {
    if (path.empty()) return kStatusBadArgument;
    std::vector<uint8_t> rgb, png;
    int width = 0, height = 0;
    Status s = captureScreen(rgb, width, height);
    if (s == kStatusOk) s = zbpng::encodeRgb(rgb.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), png);
    if (s != kStatusOk) return s;

    std::wstring partial = path + L".zbnew";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    BOOL ok = WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    s = !ok ? GetLastError() : written != png.size() ? kStatusShortWrite : kStatusOk;
    if (!CloseHandle(file) && s == kStatusOk) s = GetLastError();
    if (s == kStatusOk && !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) s = GetLastError();
    if (s != kStatusOk) DeleteFileW(partial.c_str());
    return s;
}

// ---- programs ----

Status startProgram(const std::wstring& commandLine, PROCESS_INFORMATION& info) {
    if (commandLine.empty()) return kStatusBadArgument;
    return zbdevice::startProgram(nullptr, commandLine.c_str(), info);
}

Status waitProcess(HANDLE process, DWORD timeoutMs, DWORD& exitCode) {
    DWORD w = WaitForSingleObject(process, timeoutMs);
    if (w == WAIT_TIMEOUT) return kTimedOut;
    if (w != WAIT_OBJECT_0) return GetLastError();
    if (!GetExitCodeProcess(process, &exitCode)) return GetLastError();
    return kStatusOk;
}

Status waitProcessId(DWORD processId, DWORD timeoutMs, DWORD& exitCode) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return kNotFound;
    Status s = waitProcess(process, timeoutMs, exitCode);
    CloseHandle(process);
    return s;
}

Status endProcess(DWORD processId, UINT exitCode) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process) return kNotFound;
    Status s = TerminateProcess(process, exitCode) ? kStatusOk : GetLastError();
    // Terminating is asynchronous: the process is gone only once signalled.
    if (s == kStatusOk && WaitForSingleObject(process, kMessageTimeoutMs) != WAIT_OBJECT_0) s = kTimedOut;
    CloseHandle(process);
    return s;
}

Status findProcessByName(const std::wstring& exeName, DWORD& processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    Status s = kNotFound;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) {
            processId = entry.th32ProcessID;
            s = kStatusOk;
            break;
        }
    }
    CloseHandle(snapshot);
    return s;
}

}  // namespace zbauto
