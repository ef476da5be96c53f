#pragma once
// The keys of the Pocket PC, WM5 and Handheld PC screens, platform-free: the
// order in which Tab visits a screen's controls, where the focus goes next,
// and what a key does with the control that has the focus. The message loop
// (shell/keyboard.cpp) reads the focused control, asks here, and carries the
// answer out. The Smartphone has keys of its own (editions/smartphone_keys.h).
#include <cstddef>
#include <span>

namespace keys {

// Screens, as held in g_config.s_nScreen.
constexpr int kScreenMain = 0;
constexpr int kScreenScan = 1;
constexpr int kScreenSettings = 2;
constexpr int kScreenReport = 3;

// The controls that take the focus (their identifiers in shell/controls.h).
constexpr int kScan = 8102;
constexpr int kSettings = 8103;
constexpr int kReport = 8104;
constexpr int kExit = 8120;
constexpr int kInfectedList = 116;
constexpr int kDelete = 8206;
constexpr int kCancel = 8207;
constexpr int kReportText = 118;
constexpr int kBack = 8318;
constexpr int kLanguageList = 8401;
constexpr int kUpdate = 8402;
constexpr int kDone = 8403;
constexpr int kStorageCard = 8404;
constexpr int kAutoUpdate = 8409;
constexpr int kReportLevel = 8410;

// The controls of `screen` in reading order, line by line and left to right
// on each line. `landscape` is the Handheld PC's screens and a Pocket PC's
// held sideways: the settings in two halves, and on the main screen the
// Exit button where the screen has one (a control a screen lacks is never
// usable, and Tab passes it by).
std::span<const int> focusOrder(int screen, bool landscape);

// The control after `current` (before it, `backward`) among `usable`, the
// screen's controls that can take the focus, in reading order; from the last
// it wraps to the first and back. From a control that is not among them (0:
// none has the focus) it goes to the first, backward to the last. 0 when
// none is usable.
int nextControl(std::span<const int> usable, int current, bool backward);

enum class Key { tab, enter, escape, up, down, left, right, other };

// What the focused control is, as far as the keys are concerned.
enum class Focus {
    none,      // no control of the screen has the focus
    button,    // a push button or a check box
    list,      // a list box, or the drop-down list while it is closed
    openList,  // the drop-down list while it is open
    listView,  // the list of infected files
    text,      // the report's text box
};

struct KeyState {
    int screen = kScreenMain;
    Focus focus = Focus::none;
    // A list's selection (a text's caret) on its first or last row: the ends
    // where its own Up and Down have nowhere to go. An empty list is at both.
    bool firstRow = false;
    bool lastRow = false;
    bool shift = false;
    // The Pocket PC's navigation pad: the arrows move between controls.
    bool navigationPad = false;
};

enum class Act {
    pass,          // the focused control gets the key as it came
    drop,          // nothing happens
    next,          // the focus goes to the next control
    previous,      // ... or to the previous one
    pressFocused,  // the focused button is pressed, as by a tap
    press,         // the screen's button `command` is pressed, as by a tap
    listDefault,   // the list's default action: command `command`, the focus staying on the list
};

struct KeyAction {
    Act act = Act::pass;
    int command = 0;
};

// What `key` does on a screen in `state`.
KeyAction planKey(Key key, const KeyState& state);

// The button that Esc presses on `screen` (Back or Cancel), 0 for none.
int escapeButton(int screen);

}  // namespace keys
