#pragma once
// The command line of zbdrive and the small conversions its commands need,
// kept free of the platform so that they are tested natively. Texts are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zbdrive {

// Exit codes of zbdrive, for shell scripts.
constexpr int kExitDone = 0;      // done; a yes/no question answered yes
constexpr int kExitNo = 1;        // not found, timed out, answered no, or not pressable
constexpr int kExitUsage = 2;     // the command line is wrong
constexpr int kExitFailed = 3;    // the command could not be carried out (e.g. a file not written)

constexpr long kDefaultTimeoutMs = 10000;

struct Options {
    // The window that control ids refer to: by default the main window of
    // zerbin. Giving only one of class and title lets the other match anything.
    std::string className = "zerbin4windowClass";
    std::string title = "zerbin! antivirus";
    long timeoutMs = kDefaultTimeoutMs;
    // Whose message box: a process id, an executable name, or any process.
    unsigned long processId = 0;
    std::string processName;
    bool anyProcess = false;
    // Keys and typed text go to this control instead of the focused window.
    bool toGiven = false;
    long long to = 0;
    std::vector<std::string> args;  // the command and its operands
};

// Options may stand anywhere (`--class C`, `--title T`, `--timeout MS`,
// `--pid N`, `--process NAME`, `--any`, `--to ID`); `--` ends them. False,
// with the reason in `error`, for an unknown option or one without its value.
bool parseArguments(const std::vector<std::string>& argv, Options& out, std::string& error);

// A decimal or 0x-prefixed hexadecimal integer, optionally negative; the
// whole text must be the number.
bool parseInteger(std::string_view text, long long& out);

// A key name (enter, tab, esc, space, backspace, delete, insert, up, down,
// left, right, home, end, pgup, pgdn, f1-f24, soft1, soft2, a-z, 0-9) or a
// virtual-key number; case-insensitive.
bool parseKey(std::string_view name, unsigned& vk);
// A key as parseKey reads it, or "shift+" and such a key (`shifted` set).
bool parseKeyPress(std::string_view name, unsigned& vk, bool& shifted);

// A message-box button: ok, cancel, abort, retry, ignore, yes, no, or its id.
bool parseButton(std::string_view name, int& id);

// A file name as the device program must open it: a path that starts with
// "/" is a host path, reached through Wine's "\\?\unix\" form; anything else
// stays as it is (a device path, or relative to the working folder).
std::string deviceFilePath(std::string_view path);

// A text as one cell of a TAB-separated line: TAB, CR, LF and other control
// characters become blanks, so that a cell can never split a line.
std::string cellText(std::string_view text);

// A multi-line text with its CR LF line ends as plain LF, ending in LF.
std::string textLines(std::string_view text);

}  // namespace zbdrive
