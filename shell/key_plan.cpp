#include "shell/key_plan.h"

#include <algorithm>

namespace keys {

namespace {

constexpr int kMainRow[] = {kScan, kSettings, kReport};
constexpr int kMainColumn[] = {kScan, kSettings, kReport, kExit};
constexpr int kScanControls[] = {kInfectedList, kDelete, kCancel};
constexpr int kReportControls[] = {kReportText, kBack};
// Portrait: the languages, the two check boxes, the report level, then the
// button row. Landscape: the two lists side by side, the check boxes under
// them, the buttons at the bottom.
constexpr int kSettingsPortrait[] = {kLanguageList, kStorageCard, kAutoUpdate, kReportLevel, kUpdate, kDone};
constexpr int kSettingsLandscape[] = {kLanguageList, kReportLevel, kStorageCard, kAutoUpdate, kUpdate, kDone};

KeyAction act(Act a, int command = 0) { return {a, command}; }

KeyAction move(bool backward) { return act(backward ? Act::previous : Act::next); }

}  // namespace

std::span<const int> focusOrder(int screen, bool landscape) {
    switch (screen) {
        case kScreenMain: return landscape ? std::span<const int>(kMainColumn) : std::span<const int>(kMainRow);
        case kScreenScan: return kScanControls;
        case kScreenSettings:
            return landscape ? std::span<const int>(kSettingsLandscape) : std::span<const int>(kSettingsPortrait);
        case kScreenReport: return kReportControls;
        default: return {};
    }
}

int nextControl(std::span<const int> usable, int current, bool backward) {
    if (usable.empty()) return 0;
    auto at = std::find(usable.begin(), usable.end(), current);
    if (at == usable.end()) return backward ? usable.back() : usable.front();
    size_t i = size_t(at - usable.begin());
    size_t n = usable.size();
    return usable[backward ? (i + n - 1) % n : (i + 1) % n];
}

int escapeButton(int screen) {
    switch (screen) {
        case kScreenScan: return kCancel;
        case kScreenReport: return kBack;
        // The settings' only way out, Done, stores them: Esc must not.
        default: return 0;
    }
}

KeyAction planKey(Key key, const KeyState& s) {
    // An open drop-down list closes itself with Enter and Esc, and chooses
    // with the arrows; Tab leaves it, and it closes as it loses the focus.
    if (s.focus == Focus::openList && key != Key::tab) return act(Act::pass);
    switch (key) {
        case Key::tab: return move(s.shift);
        case Key::escape: {
            int button = escapeButton(s.screen);
            return button ? act(Act::press, button) : act(Act::drop);
        }
        case Key::enter:
            if (s.focus == Focus::button) return act(Act::pressFocused);
            if (s.focus == Focus::listView && s.screen == kScreenScan) return act(Act::listDefault, kDelete);
            if (s.focus == Focus::text) return act(Act::pass);  // a new line in the editable text
            return act(Act::drop);
        case Key::up:
        case Key::down: {
            if (!s.navigationPad) return act(Act::pass);
            const bool up = key == Key::up;
            switch (s.focus) {
                case Focus::none:
                case Focus::button: return move(up);
                // Lists and the text keep their own Up and Down, and hand
                // them on only at their ends, where they have nowhere to go.
                default: return (up ? s.firstRow : s.lastRow) ? move(up) : act(Act::pass);
            }
        }
        case Key::left:
        case Key::right:
            if (!s.navigationPad) return act(Act::pass);
            // In a list Left and Right would only repeat Up and Down; the
            // text moves its caret with them.
            return s.focus == Focus::text ? act(Act::pass) : move(key == Key::left);
        case Key::other: break;
    }
    return act(Act::pass);
}

}  // namespace keys
