// zbdrive: drives a running program of the device from outside, for
// end-to-end tests, shell scripts and people. One command per run; the output
// is plain UTF-8 lines and the exit code says how it went (see usage()).
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/drive/automation.h"
#include "tools/drive/cli_args.h"

namespace {

using namespace zbdrive;

const char kUsage[] =
    "usage: zbdrive COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Windows and controls (ID: a control id within the window, decimal or 0x hex):\n"
    "  windows                     list top-level windows: HWND PID VISIBLE RECT CLASS TITLE\n"
    "  wait-window                 wait for the window; prints HWND and PID\n"
    "  wait-gone                   wait until the window no longer exists\n"
    "  close                       ask the window to close (WM_CLOSE)\n"
    "  rect [ID]                   LEFT TOP RIGHT BOTTOM (window: screen; control: window client)\n"
    "  screen | work-area          screen size W H | work area LEFT TOP RIGHT BOTTOM\n"
    "  controls                    list child controls: ID CLASS ENABLED VISIBLE RECT TEXT\n"
    "  text ID | wait-text ID TEXT read a control's text | wait until it reads TEXT\n"
    "  enabled ID | visible ID     print 1 or 0 (exit 0 or 1)\n"
    "  wait-enabled ID [1|0]       wait until the control is enabled (or disabled)\n"
    "  checked ID                  print 0, 1 or 2 (exit 0 only when 1)\n"
    "  style ID                    print STYLE EXSTYLE in hex\n"
    "  press ID                    click a button (posted: never waits for a message box)\n"
    "  command ID [CODE]           post WM_COMMAND(ID, CODE) to the window\n"
    "Lists:\n"
    "  list-items ID               list view items, one a line, sub-items TAB-separated\n"
    "  list-count ID               number of list view items, list box or combo box rows\n"
    "  wait-count ID N             wait until that number is N\n"
    "  list-focused ID | list-selected ID   index of the focused / selected item (-1: none, exit 1)\n"
    "  list-rect ID ITEM           the item's label rectangle in the list's client coordinates\n"
    "  list-click ID ITEM          click the item (the list notifies NM_CLICK)\n"
    "  softkeys                    the menu bar's soft keys: COMMAND TAB ENABLED (1/0) TAB LABEL, left to right\n"
    "  rows ID                     rows of a list box or combo box, one a line\n"
    "  selection ID                index of the selected row (-1: none, exit 1)\n"
    "  select ID ROW               select the row and notify the parent\n"
    "Message boxes (of the window's process; --pid N, --process NAME or --any for others):\n"
    "  msgbox                      wait for a message box; prints its caption, then its text\n"
    "  msgbox-buttons              the box's buttons: ID TEXT\n"
    "  msgbox-press BUTTON         press yes, no, ok, cancel (or an id); waits until the box closes\n"
    "Keys and screen:\n"
    "  keys KEY...                 press keys (enter tab esc space backspace delete up down\n"
    "                              left right home end pgup pgdn f1-f24 soft1 soft2 a-z 0-9);\n"
    "                              shift+KEY holds Shift (sent as real keyboard input to the\n"
    "                              window, brought to the front, like every key of that command)\n"
    "  focus                       id of the control with the keyboard focus (0: the window)\n"
    "  type TEXT                   type characters\n"
    "  pixel X Y                   screen pixel colour: R G B\n"
    "  wait-still                  wait until the screen stops changing (before a screenshot)\n"
    "  screenshot FILE.png         save the device screen (a path starting with / is a host path)\n"
    "Programs:\n"
    "  start PROGRAM [ARGS...]     start as the device's shell does; prints the PID\n"
    "  wait-exit PID               wait for the process to end; prints its exit code\n"
    "  end PID                     terminate the process\n"
    "  find-process NAME           PID of a running program by executable name\n"
    "\n"
    "Options: --class C --title T (the window; default zerbin's main window; giving one\n"
    "lets the other match anything), --timeout MS (waits; default 10000), --pid N,\n"
    "--process NAME, --any (message boxes), --to ID (keys and type: that control).\n"
    "Exit codes: 0 done or yes; 1 not found, timed out, no, or not pressable;\n"
    "2 usage error; 3 failed otherwise.\n";

// ---- text and output ----

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

void out(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
}
void line(const std::string& text) {
    out(text + "\n");
}

std::string hex(unsigned long long value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llX", value);
    return buffer;
}

std::string rectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " + std::to_string(r.bottom);
}

// ---- one run ----

struct Run {
    Options options;
    std::string what;  // what the command was looking for, for messages

    DWORD timeout() const { return static_cast<DWORD>(options.timeoutMs); }

    const std::vector<std::string>& args() const { return options.args; }

    // Reports a failed status and gives the exit code it means.
    int fail(Status s, const std::string& doing) const {
        std::string reason;
        int code = kExitNo;
        switch (s) {
            case zbauto::kNotFound: reason = "not found"; break;
            case zbauto::kTimedOut: reason = "timed out after " + std::to_string(options.timeoutMs) + " ms"; break;
            case zbauto::kGone: reason = "the window is gone"; break;
            case zbauto::kDisabled: reason = "it is disabled or hidden"; break;
            case zbauto::kWrongKind: reason = "the control is not of that kind"; code = kExitFailed; break;
            default: reason = "error " + std::to_string(s); code = kExitFailed; break;
        }
        fprintf(stderr, "zbdrive: %s: %s\n", doing.c_str(), reason.c_str());
        return code;
    }

    int usage(const std::string& message) const {
        fprintf(stderr, "zbdrive: %s\n(zbdrive help lists the commands)\n", message.c_str());
        return kExitUsage;
    }

    std::string windowName() const {
        std::string name;
        if (!options.className.empty()) name += "class \"" + options.className + "\"";
        if (!options.title.empty()) name += std::string(name.empty() ? "" : " ") + "title \"" + options.title + "\"";
        return name.empty() ? "any window" : "the window (" + name + ")";
    }

    zbauto::WindowQuery query() const {
        zbauto::WindowQuery q;
        q.className = wide(options.className);
        q.title = wide(options.title);
        return q;
    }

    Status window(HWND& out) const { return zbauto::waitTopWindow(query(), timeout(), out); }

    // Parses operand `index` as a number; false (after a usage message) if it is not one.
    bool number(size_t index, long long& value, const char* name) const {
        if (index >= args().size() || !parseInteger(args()[index], value)) {
            usage(std::string(name) + " must be a number" + (index < args().size() ? ": '" + args()[index] + "'" : ""));
            return false;
        }
        return true;
    }

    // The control given by operand `index`: finds the window, then waits for the control.
    int control(size_t index, HWND& out) {
        long long id = 0;
        if (!number(index, id, "ID")) return kExitUsage;
        HWND top = nullptr;
        Status s = window(top);
        if (s != kStatusOk) return fail(s, windowName());
        s = zbauto::waitControl(top, static_cast<int>(id), timeout(), out);
        return s == kStatusOk ? kExitDone : fail(s, "control " + args()[index] + " in " + windowName());
    }

    // The process whose message boxes count.
    int boxProcess(DWORD& processId) const {
        processId = 0;
        if (options.processId) {
            processId = options.processId;
        } else if (!options.processName.empty()) {
            Status s = zbauto::waitFor(timeout(), zbauto::kNotFound, [&] {
                return zbauto::findProcessByName(wide(options.processName), processId);
            });
            if (s != kStatusOk) return fail(s, "process " + options.processName);
        } else if (!options.anyProcess) {
            HWND top = nullptr;
            if (zbauto::findTopWindow(query(), top) == kStatusOk) GetWindowThreadProcessId(top, &processId);
        }
        return kExitDone;
    }

    int box(HWND& out) const {
        DWORD processId = 0;
        int code = boxProcess(processId);
        if (code != kExitDone) return code;
        Status s = zbauto::waitMessageBox(processId, nullptr, timeout(), out);
        return s == kStatusOk ? kExitDone : fail(s, "message box");
    }

    // Where keys and typed text go.
    int keyTarget(HWND& target) {
        HWND top = nullptr;
        Status s = window(top);
        if (s != kStatusOk) return fail(s, windowName());
        if (!options.toGiven) {
            target = zbauto::focusOf(top);
            return kExitDone;
        }
        s = zbauto::waitControl(top, static_cast<int>(options.to), timeout(), target);
        return s == kStatusOk ? kExitDone : fail(s, "control " + std::to_string(options.to) + " in " + windowName());
    }
};

// ---- commands ----

int cmdHelp(Run&) {
    out(kUsage);
    return kExitDone;
}

int cmdWindows(Run& run) {
    std::vector<zbauto::WindowInfo> windows;
    Status s = zbauto::listTopWindows(windows);
    if (s != kStatusOk) return run.fail(s, "windows");
    for (const zbauto::WindowInfo& w : windows) {
        line(hex(reinterpret_cast<uintptr_t>(w.window)) + "\t" + std::to_string(w.processId) + "\t" + (w.visible ? "1" : "0") +
             "\t" + rectText(w.rect) + "\t" + cellText(utf8(w.className)) + "\t" + cellText(utf8(w.title)));
    }
    return kExitDone;
}

int cmdWaitWindow(Run& run) {
    HWND top = nullptr;
    Status s = run.window(top);
    if (s != kStatusOk) return run.fail(s, run.windowName());
    DWORD processId = 0;
    GetWindowThreadProcessId(top, &processId);
    line(hex(reinterpret_cast<uintptr_t>(top)) + "\t" + std::to_string(processId));
    return kExitDone;
}

int cmdWaitGone(Run& run) {
    HWND top = nullptr;
    if (zbauto::findTopWindow(run.query(), top) != kStatusOk) return kExitDone;
    Status s = zbauto::waitWindowGone(top, run.timeout());
    return s == kStatusOk ? kExitDone : run.fail(s, "waiting for " + run.windowName() + " to go");
}

int cmdClose(Run& run) {
    HWND top = nullptr;
    Status s = run.window(top);
    if (s == kStatusOk) s = zbauto::postClose(top);
    return s == kStatusOk ? kExitDone : run.fail(s, run.windowName());
}

int cmdRect(Run& run) {
    HWND target = nullptr;
    if (run.args().size() > 1) {
        int code = run.control(1, target);
        if (code != kExitDone) return code;
    } else {
        Status s = run.window(target);
        if (s != kStatusOk) return run.fail(s, run.windowName());
    }
    RECT r{};
    Status s = zbauto::readRect(target, r);
    if (s != kStatusOk) return run.fail(s, "rectangle");
    line(rectText(r));
    return kExitDone;
}

int cmdScreen(Run&) {
    line(std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " " + std::to_string(GetSystemMetrics(SM_CYSCREEN)));
    return kExitDone;
}

int cmdWorkArea(Run& run) {
    RECT r{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) return run.fail(GetLastError(), "work area");
    line(rectText(r));
    return kExitDone;
}

int cmdControls(Run& run) {
    HWND top = nullptr;
    Status s = run.window(top);
    std::vector<zbauto::ControlInfo> controls;
    if (s == kStatusOk) s = zbauto::listControls(top, controls);
    if (s != kStatusOk) return run.fail(s, run.windowName());
    for (const zbauto::ControlInfo& c : controls) {
        line(std::to_string(c.id) + "\t" + cellText(utf8(c.className)) + "\t" + (c.enabled ? "1" : "0") + "\t" +
             (c.visible ? "1" : "0") + "\t" + rectText(c.rect) + "\t" + cellText(utf8(c.text)));
    }
    return kExitDone;
}

int cmdSoftKeys(Run& run) {
    HWND top = nullptr;
    Status s = run.window(top);
    std::vector<zbauto::SoftKey> keys;
    if (s == kStatusOk) s = zbauto::readSoftKeys(top, keys);
    if (s != kStatusOk) return run.fail(s, "soft keys of " + run.windowName());
    for (const zbauto::SoftKey& k : keys) {
        line(std::to_string(k.command) + "\t" + (k.enabled ? "1" : "0") + "\t" + cellText(utf8(k.text)));
    }
    return kExitDone;
}

int cmdText(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    std::wstring text;
    Status s = zbauto::readText(control, text);
    if (s != kStatusOk) return run.fail(s, "text of " + run.args()[1]);
    out(textLines(utf8(text)));
    return kExitDone;
}

int cmdWaitText(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    std::wstring last;
    Status s = zbauto::waitText(control, wide(run.args()[2]), run.timeout(), last);
    if (s == zbauto::kTimedOut) fprintf(stderr, "zbdrive: control %s reads \"%s\"\n", run.args()[1].c_str(), utf8(last).c_str());
    return s == kStatusOk ? kExitDone : run.fail(s, "waiting for the text of " + run.args()[1]);
}

int yesNo(bool value) {
    line(value ? "1" : "0");
    return value ? kExitDone : kExitNo;
}

int cmdEnabled(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    bool value = false;
    if (code != kExitDone) return code;
    Status s = zbauto::readEnabled(control, value);
    return s == kStatusOk ? yesNo(value) : run.fail(s, "control " + run.args()[1]);
}

int cmdVisible(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    bool value = false;
    if (code != kExitDone) return code;
    Status s = zbauto::readVisible(control, value);
    return s == kStatusOk ? yesNo(value) : run.fail(s, "control " + run.args()[1]);
}

int cmdWaitEnabled(Run& run) {
    long long wanted = 1;
    if (run.args().size() > 2 && (!run.number(2, wanted, "the state") || (wanted != 0 && wanted != 1))) {
        return run.usage("the state must be 1 or 0");
    }
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    Status s = zbauto::waitFor(run.timeout(), ERROR_BUSY, [&]() -> Status {
        bool enabled = false;
        Status r = zbauto::readEnabled(control, enabled);
        if (r != kStatusOk) return r;
        return enabled == (wanted == 1) ? kStatusOk : ERROR_BUSY;
    });
    return s == kStatusOk ? kExitDone : run.fail(s, "waiting for control " + run.args()[1]);
}

int cmdChecked(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    int state = 0;
    Status s = zbauto::readChecked(control, state);
    if (s != kStatusOk) return run.fail(s, "check state of " + run.args()[1]);
    line(std::to_string(state));
    return state == BST_CHECKED ? kExitDone : kExitNo;
}

int cmdStyle(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    DWORD style = 0, exStyle = 0;
    Status s = zbauto::readStyle(control, style, exStyle);
    if (s != kStatusOk) return run.fail(s, "style of " + run.args()[1]);
    line(hex(style) + " " + hex(exStyle));
    return kExitDone;
}

int cmdPress(Run& run) {
    HWND control = nullptr;
    int code = run.control(1, control);
    if (code != kExitDone) return code;
    Status s = zbauto::pressButton(control);
    return s == kStatusOk ? kExitDone : run.fail(s, "pressing " + run.args()[1]);
}

int cmdCommand(Run& run) {
    long long id = 0, notification = 0;
    if (!run.number(1, id, "ID")) return kExitUsage;
    if (run.args().size() > 2 && !run.number(2, notification, "CODE")) return kExitUsage;
    HWND top = nullptr;
    Status s = run.window(top);
    if (s == kStatusOk) s = zbauto::postCommand(top, static_cast<int>(id), static_cast<int>(notification));
    return s == kStatusOk ? kExitDone : run.fail(s, run.windowName());
}

int cmdListItems(Run& run) {
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    std::vector<std::vector<std::wstring>> items;
    Status s = zbauto::listViewItems(list, items);
    if (s != kStatusOk) return run.fail(s, "items of " + run.args()[1]);
    for (const auto& item : items) {
        std::string text;
        for (size_t i = 0; i < item.size(); ++i) text += (i ? "\t" : "") + cellText(utf8(item[i]));
        line(text);
    }
    return kExitDone;
}

// Items of a list view or rows of a list box / combo box.
Status countOf(HWND list, int& count) {
    if (_wcsicmp(zbauto::classOf(list).c_str(), WC_LISTVIEWW) == 0) return zbauto::listViewCount(list, count);
    std::vector<std::wstring> rows;
    Status s = zbauto::listRows(list, rows);
    if (s == kStatusOk) count = static_cast<int>(rows.size());
    return s;
}

int cmdListCount(Run& run) {
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    int count = 0;
    Status s = countOf(list, count);
    if (s != kStatusOk) return run.fail(s, "count of " + run.args()[1]);
    line(std::to_string(count));
    return kExitDone;
}

int cmdWaitCount(Run& run) {
    long long wanted = 0;
    if (!run.number(2, wanted, "N")) return kExitUsage;
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    int count = -1;
    Status s = zbauto::waitFor(run.timeout(), ERROR_BUSY, [&]() -> Status {
        Status r = countOf(list, count);
        if (r != kStatusOk) return r;
        return count == wanted ? kStatusOk : ERROR_BUSY;
    });
    if (s == zbauto::kTimedOut) fprintf(stderr, "zbdrive: control %s has %d entries\n", run.args()[1].c_str(), count);
    return s == kStatusOk ? kExitDone : run.fail(s, "waiting for the count of " + run.args()[1]);
}

int printIndex(int index) {
    line(std::to_string(index));
    return index >= 0 ? kExitDone : kExitNo;
}

int listNext(Run& run, UINT flags) {
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    int item = -1;
    Status s = zbauto::listViewNext(list, flags, item);
    return s == kStatusOk ? printIndex(item) : run.fail(s, "items of " + run.args()[1]);
}
int cmdListFocused(Run& run) { return listNext(run, LVNI_FOCUSED); }
int cmdListSelected(Run& run) { return listNext(run, LVNI_SELECTED); }

int cmdListRect(Run& run) {
    long long item = 0;
    if (!run.number(2, item, "ITEM")) return kExitUsage;
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    RECT r{};
    Status s = zbauto::listViewItemRect(list, static_cast<int>(item), r);
    if (s != kStatusOk) return run.fail(s, "item " + run.args()[2] + " of " + run.args()[1]);
    line(rectText(r));
    return kExitDone;
}

int cmdListClick(Run& run) {
    long long item = 0;
    if (!run.number(2, item, "ITEM")) return kExitUsage;
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    Status s = zbauto::listViewClick(list, static_cast<int>(item));
    return s == kStatusOk ? kExitDone : run.fail(s, "clicking item " + run.args()[2] + " of " + run.args()[1]);
}

int cmdRows(Run& run) {
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    std::vector<std::wstring> rows;
    Status s = zbauto::listRows(list, rows);
    if (s != kStatusOk) return run.fail(s, "rows of " + run.args()[1]);
    for (const std::wstring& row : rows) line(cellText(utf8(row)));
    return kExitDone;
}

int cmdSelection(Run& run) {
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    int row = -1;
    Status s = zbauto::listSelection(list, row);
    return s == kStatusOk ? printIndex(row) : run.fail(s, "selection of " + run.args()[1]);
}

int cmdSelect(Run& run) {
    long long row = 0;
    if (!run.number(2, row, "ROW")) return kExitUsage;
    HWND list = nullptr;
    int code = run.control(1, list);
    if (code != kExitDone) return code;
    Status s = zbauto::listSelect(list, static_cast<int>(row));
    return s == kStatusOk ? kExitDone : run.fail(s, "selecting row " + run.args()[2] + " of " + run.args()[1]);
}

int cmdMsgbox(Run& run) {
    HWND box = nullptr;
    int code = run.box(box);
    if (code != kExitDone) return code;
    zbauto::MessageBoxContent content;
    Status s = zbauto::readMessageBox(box, content);
    if (s != kStatusOk) return run.fail(s, "message box");
    line(cellText(utf8(content.caption)));
    out(textLines(utf8(content.text)));
    return kExitDone;
}

int cmdMsgboxButtons(Run& run) {
    HWND box = nullptr;
    int code = run.box(box);
    if (code != kExitDone) return code;
    zbauto::MessageBoxContent content;
    Status s = zbauto::readMessageBox(box, content);
    if (s != kStatusOk) return run.fail(s, "message box");
    for (const auto& button : content.buttons) line(std::to_string(button.id) + "\t" + cellText(utf8(button.text)));
    return kExitDone;
}

int cmdMsgboxPress(Run& run) {
    int id = 0;
    if (!parseButton(run.args()[1], id)) return run.usage("unknown button '" + run.args()[1] + "' (yes no ok cancel or an id)");
    HWND box = nullptr;
    int code = run.box(box);
    if (code != kExitDone) return code;
    Status s = zbauto::pressMessageBoxButton(box, id, run.timeout());
    return s == kStatusOk ? kExitDone : run.fail(s, "button " + run.args()[1] + " of the message box");
}

int cmdKeys(Run& run) {
    std::vector<UINT> keys;
    std::vector<bool> shifted;
    bool anyShifted = false;
    for (size_t i = 1; i < run.args().size(); ++i) {
        unsigned vk = 0;
        bool shift = false;
        if (!parseKeyPress(run.args()[i], vk, shift)) return run.usage("unknown key '" + run.args()[i] + "'");
        keys.push_back(vk);
        shifted.push_back(shift);
        anyShifted = anyShifted || shift;
    }
    if (anyShifted) {
        // Real key input, all of it, so that the keys arrive in their order.
        if (run.options.toGiven) return run.usage("a key with shift+ goes to the focused control, not --to");
        HWND top = nullptr;
        Status s = run.window(top);
        if (s == kStatusOk) s = zbauto::typeKeys(top, keys, shifted);
        return s == kStatusOk ? kExitDone : run.fail(s, "keys");
    }
    HWND target = nullptr;
    int code = run.keyTarget(target);
    if (code != kExitDone) return code;
    for (unsigned vk : keys) {
        Status s = zbauto::postKey(target, vk);
        if (s != kStatusOk) return run.fail(s, "keys");
    }
    return kExitDone;
}

int cmdFocus(Run& run) {
    HWND top = nullptr;
    Status s = run.window(top);
    int id = 0;
    if (s == kStatusOk) s = zbauto::focusedControl(top, id);
    if (s != kStatusOk) return run.fail(s, "keyboard focus in " + run.windowName());
    line(std::to_string(id));
    return kExitDone;
}

int cmdType(Run& run) {
    HWND target = nullptr;
    int code = run.keyTarget(target);
    if (code != kExitDone) return code;
    Status s = zbauto::postChars(target, wide(run.args()[1]));
    return s == kStatusOk ? kExitDone : run.fail(s, "typing");
}

int cmdPixel(Run& run) {
    long long x = 0, y = 0;
    if (!run.number(1, x, "X") || !run.number(2, y, "Y")) return kExitUsage;
    COLORREF colour = 0;
    Status s = zbauto::readPixel(static_cast<int>(x), static_cast<int>(y), colour);
    if (s == kStatusBadArgument) return run.usage("the point lies outside the screen");
    if (s != kStatusOk) return run.fail(s, "pixel");
    line(std::to_string(GetRValue(colour)) + " " + std::to_string(GetGValue(colour)) + " " + std::to_string(GetBValue(colour)));
    return kExitDone;
}

int cmdWaitStill(Run& run) {
    Status s = zbauto::waitScreenStill(300, run.timeout());
    return s == kStatusOk ? kExitDone : run.fail(s, "waiting for the screen to stop changing");
}

int cmdScreenshot(Run& run) {
    std::wstring path = wide(deviceFilePath(run.args()[1]));
    Status s = zbauto::saveScreenshot(path);
    if (s != kStatusOk) {
        fprintf(stderr, "zbdrive: cannot save the screenshot as %s: error %u\n", run.args()[1].c_str(), s);
        return kExitFailed;
    }
    return kExitDone;
}

std::wstring quoted(const std::string& arg) {
    std::wstring w = wide(arg);
    if (!w.empty() && w.find_first_of(L" \t\"") == std::wstring::npos) return w;
    std::wstring q = L"\"";
    for (wchar_t c : w) {
        if (c == L'"') q += L'\\';
        q += c;
    }
    return q + L"\"";
}

int cmdStart(Run& run) {
    std::wstring commandLine;
    for (size_t i = 1; i < run.args().size(); ++i) commandLine += (i > 1 ? L" " : L"") + quoted(run.args()[i]);
    PROCESS_INFORMATION info{};
    Status s = zbauto::startProgram(commandLine, info);
    if (s != kStatusOk) {
        fprintf(stderr, "zbdrive: cannot start %s: error %u\n", run.args()[1].c_str(), s);
        return kExitFailed;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    line(std::to_string(info.dwProcessId));
    return kExitDone;
}

int cmdWaitExit(Run& run) {
    long long processId = 0;
    if (!run.number(1, processId, "PID")) return kExitUsage;
    DWORD exitCode = 0;
    Status s = zbauto::waitProcessId(static_cast<DWORD>(processId), run.timeout(), exitCode);
    if (s != kStatusOk) return run.fail(s, "process " + run.args()[1]);
    line(std::to_string(exitCode));
    return kExitDone;
}

int cmdEnd(Run& run) {
    long long processId = 0;
    if (!run.number(1, processId, "PID")) return kExitUsage;
    Status s = zbauto::endProcess(static_cast<DWORD>(processId), 0);
    return s == kStatusOk ? kExitDone : run.fail(s, "process " + run.args()[1]);
}

int cmdFindProcess(Run& run) {
    DWORD processId = 0;
    Status s = zbauto::findProcessByName(wide(run.args()[1]), processId);
    if (s != kStatusOk) return run.fail(s, "process " + run.args()[1]);
    line(std::to_string(processId));
    return kExitDone;
}

struct Command {
    const char* name;
    size_t minOperands;
    size_t maxOperands;
    int (*run)(Run&);
};

constexpr size_t kMany = 1000;

const Command kCommands[] = {
    {"help", 0, kMany, cmdHelp},
    {"windows", 0, 0, cmdWindows},
    {"wait-window", 0, 0, cmdWaitWindow},
    {"wait-gone", 0, 0, cmdWaitGone},
    {"close", 0, 0, cmdClose},
    {"rect", 0, 1, cmdRect},
    {"screen", 0, 0, cmdScreen},
    {"work-area", 0, 0, cmdWorkArea},
    {"controls", 0, 0, cmdControls},
    {"text", 1, 1, cmdText},
    {"wait-text", 2, 2, cmdWaitText},
    {"enabled", 1, 1, cmdEnabled},
    {"visible", 1, 1, cmdVisible},
    {"wait-enabled", 1, 2, cmdWaitEnabled},
    {"checked", 1, 1, cmdChecked},
    {"style", 1, 1, cmdStyle},
    {"press", 1, 1, cmdPress},
    {"command", 1, 2, cmdCommand},
    {"list-items", 1, 1, cmdListItems},
    {"list-count", 1, 1, cmdListCount},
    {"wait-count", 2, 2, cmdWaitCount},
    {"list-focused", 1, 1, cmdListFocused},
    {"list-selected", 1, 1, cmdListSelected},
    {"list-rect", 2, 2, cmdListRect},
    {"list-click", 2, 2, cmdListClick},
    {"softkeys", 0, 0, cmdSoftKeys},
    {"rows", 1, 1, cmdRows},
    {"selection", 1, 1, cmdSelection},
    {"select", 2, 2, cmdSelect},
    {"msgbox", 0, 0, cmdMsgbox},
    {"msgbox-buttons", 0, 0, cmdMsgboxButtons},
    {"msgbox-press", 1, 1, cmdMsgboxPress},
    {"keys", 1, kMany, cmdKeys},
    {"focus", 0, 0, cmdFocus},
    {"type", 1, 1, cmdType},
    {"pixel", 2, 2, cmdPixel},
    {"wait-still", 0, 0, cmdWaitStill},
    {"screenshot", 1, 1, cmdScreenshot},
    {"start", 1, kMany, cmdStart},
    {"wait-exit", 1, 1, cmdWaitExit},
    {"end", 1, 1, cmdEnd},
    {"find-process", 1, 1, cmdFindProcess},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain UTF-8 lines with LF, whatever the console: scripts parse them.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(utf8(argv[i]));

    Run run;
    std::string error;
    if (!parseArguments(arguments, run.options, error)) return run.usage(error);
    if (run.args().empty()) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    for (const Command& command : kCommands) {
        if (run.args()[0] != command.name) continue;
        size_t operands = run.args().size() - 1;
        if (operands < command.minOperands || operands > command.maxOperands) {
            return run.usage("wrong number of arguments for " + run.args()[0]);
        }
        int code = command.run(run);
        fflush(stdout);
        return code;
    }
    return run.usage("unknown command '" + run.args()[0] + "'");
}
