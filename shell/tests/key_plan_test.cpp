// The screens' keys, platform-free: Tab's order against the screens' real
// layout, the wrap of the focus, and what each key does on each kind of
// focused control.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "shell/handheld_layout.h"
#include "shell/key_plan.h"
#include "shell/metrics.h"

namespace {

using namespace keys;

// Where each control of the screens stands, as the screens place them.
std::map<int, ControlPlace> places(const ScreenMetrics& m, bool handheld) {
    namespace hpc = layout::handheld;
    std::map<int, ControlPlace> at = {
        {kInfectedList, handheld ? hpc::scanList(m) : layout::scanList(m)},
        {kDelete, handheld ? hpc::scanDelete(m) : layout::scanDelete(m)},
        {kCancel, handheld ? hpc::scanCancel(m) : layout::scanCancel(m)},
        {kReportText, handheld ? hpc::reportText(m) : layout::reportText(m)},
        {kBack, handheld ? hpc::reportBack(m) : layout::reportBack(m)},
        {kLanguageList, handheld ? hpc::settingsLanguageList(m) : layout::settingsLanguageList(m)},
        {kReportLevel, handheld ? hpc::settingsReportLevel(m) : layout::settingsReportLevel(m)},
        {kStorageCard, handheld ? hpc::settingsStorageCard(m) : layout::settingsStorageCard(m)},
        {kAutoUpdate, handheld ? hpc::settingsAutoUpdate(m) : layout::settingsAutoUpdate(m)},
        {kUpdate, layout::settingsUpdate(m)},
        {kDone, layout::settingsDone(m)},
    };
    const int mainButtons[] = {kScan, kSettings, kReport, kExit};
    for (int i = 0; i < (handheld ? 4 : 3); ++i) {
        at[mainButtons[i]] = handheld ? hpc::columnButton(m, i) : layout::mainButton(m, i);
    }
    return at;
}

// The order Tab takes on a screen: the plan's, less the controls the screen lacks.
std::vector<int> placedOrder(int screen, bool landscape, const std::map<int, ControlPlace>& at) {
    std::vector<int> order;
    for (int id : focusOrder(screen, landscape)) {
        if (at.count(id)) order.push_back(id);
    }
    return order;
}

TEST(KeyPlan, TabGoesThroughEveryScreenInReadingOrder) {
    struct Screen {
        const char* name;
        ScreenMetrics metrics;
        bool handheld;   // the Handheld PC's own places
        bool landscape;  // the order of a landscape screen
    };
    const Screen screens[] = {
        {"Pocket PC", computeScreenMetrics(234, 294, 5, 13, 0, 1), false, false},
        {"Pocket PC held sideways", computeScreenMetrics(314, 215, 5, 13, 0, 1), false, true},
        {"Handheld PC", computeScreenMetrics(640, 217, 5, 13, 0, 1, 14), true, true},
    };
    ASSERT_TRUE(screens[1].metrics.turned);
    for (const Screen& s : screens) {
        std::map<int, ControlPlace> at = places(s.metrics, s.handheld);
        for (int screen : {kScreenMain, kScreenScan, kScreenSettings, kScreenReport}) {
            SCOPED_TRACE(std::string(s.name) + ", screen " + std::to_string(screen));
            const std::vector<int> order = placedOrder(screen, s.landscape, at);
            ASSERT_GE(order.size(), 2u);
            for (size_t i = 1; i < order.size(); ++i) {
                const ControlPlace& a = at[order[i - 1]];
                const ControlPlace& b = at[order[i]];
                // Line by line, and left to right on a line.
                EXPECT_TRUE(a.y < b.y || (a.y == b.y && a.x < b.x))
                    << order[i - 1] << " at (" << a.x << ", " << a.y << ") before " << order[i] << " at (" << b.x
                    << ", " << b.y << ")";
            }
        }
    }
    EXPECT_EQ(focusOrder(kScreenMain, false).size(), 3u) << "no Exit on the Pocket PC";
    EXPECT_EQ(focusOrder(kScreenMain, true).back(), kExit);
    EXPECT_TRUE(focusOrder(4, false).empty()) << "no screen 4 here";
}

TEST(KeyPlan, TheFocusWrapsAroundTheUsableControls) {
    const std::vector<int> row = {kScan, kSettings, kExit};  // Report disabled, left out
    struct Case {
        int current;
        bool backward;
        int expected;
    } cases[] = {
        {kScan, false, kSettings}, {kSettings, false, kExit}, {kExit, false, kScan},    // wraps forward
        {kScan, true, kExit},      {kExit, true, kSettings},                            // and backward
        {0, false, kScan},         {0, true, kExit},         {kReport, false, kScan},  // from none
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nextControl(row, c.current, c.backward), c.expected) << c.current << (c.backward ? " back" : "");
    }
    EXPECT_EQ(nextControl(std::vector<int>{}, kScan, false), 0);
    EXPECT_EQ(nextControl(std::vector<int>{kBack}, kBack, true), kBack);
}

TEST(KeyPlan, EachKeyOnEachKindOfControl) {
    enum Pad { hpc, ppc };
    struct Case {
        const char* what;
        Key key;
        int screen;
        Focus focus;
        Pad pad;
        bool first, last, shift;
        Act act;
        int command;
    } cases[] = {
        {"Tab", Key::tab, kScreenMain, Focus::none, hpc, 0, 0, 0, Act::next, 0},
        {"Shift+Tab", Key::tab, kScreenMain, Focus::button, hpc, 0, 0, 1, Act::previous, 0},
        {"Tab leaves the open drop-down", Key::tab, kScreenSettings, Focus::openList, ppc, 0, 0, 0, Act::next, 0},
        {"Tab leaves the text", Key::tab, kScreenReport, Focus::text, hpc, 0, 0, 0, Act::next, 0},
        {"Enter on a button", Key::enter, kScreenMain, Focus::button, hpc, 0, 0, 0, Act::pressFocused, 0},
        {"Enter on the list", Key::enter, kScreenScan, Focus::listView, ppc, 0, 0, 0, Act::listDefault, kDelete},
        {"Enter in the text", Key::enter, kScreenReport, Focus::text, hpc, 0, 0, 0, Act::pass, 0},
        {"Enter on the languages", Key::enter, kScreenSettings, Focus::list, hpc, 0, 0, 0, Act::drop, 0},
        {"Enter on no control", Key::enter, kScreenMain, Focus::none, ppc, 0, 0, 0, Act::drop, 0},
        {"Enter in the open drop-down", Key::enter, kScreenSettings, Focus::openList, ppc, 0, 0, 0, Act::pass, 0},
        {"Esc on the scan", Key::escape, kScreenScan, Focus::listView, hpc, 0, 0, 0, Act::press, kCancel},
        {"Esc in the report", Key::escape, kScreenReport, Focus::text, ppc, 0, 0, 0, Act::press, kBack},
        {"Esc on the settings", Key::escape, kScreenSettings, Focus::button, hpc, 0, 0, 0, Act::drop, 0},
        {"Esc on the main screen", Key::escape, kScreenMain, Focus::button, hpc, 0, 0, 0, Act::drop, 0},
        {"Esc closes the drop-down", Key::escape, kScreenSettings, Focus::openList, ppc, 0, 0, 0, Act::pass, 0},
        {"Down on a button", Key::down, kScreenMain, Focus::button, ppc, 0, 0, 0, Act::next, 0},
        {"Up on a button", Key::up, kScreenSettings, Focus::button, ppc, 0, 0, 0, Act::previous, 0},
        {"Down with no control", Key::down, kScreenMain, Focus::none, ppc, 0, 0, 0, Act::next, 0},
        {"Down in a list", Key::down, kScreenSettings, Focus::list, ppc, 1, 0, 0, Act::pass, 0},
        {"Down on a list's last row", Key::down, kScreenSettings, Focus::list, ppc, 0, 1, 0, Act::next, 0},
        {"Up on a list's first row", Key::up, kScreenScan, Focus::listView, ppc, 1, 0, 0, Act::previous, 0},
        {"Up in the list", Key::up, kScreenScan, Focus::listView, ppc, 0, 1, 0, Act::pass, 0},
        {"Up in the text", Key::up, kScreenReport, Focus::text, ppc, 0, 0, 0, Act::pass, 0},
        {"Down on the text's last line", Key::down, kScreenReport, Focus::text, ppc, 0, 1, 0, Act::next, 0},
        {"Down in the open drop-down", Key::down, kScreenSettings, Focus::openList, ppc, 0, 1, 0, Act::pass, 0},
        {"Right leaves a list", Key::right, kScreenSettings, Focus::list, ppc, 0, 0, 0, Act::next, 0},
        {"Left on a button", Key::left, kScreenMain, Focus::button, ppc, 0, 0, 0, Act::previous, 0},
        {"Left moves the text's caret", Key::left, kScreenReport, Focus::text, ppc, 0, 0, 0, Act::pass, 0},
        {"the keyboard's Down is the button's", Key::down, kScreenMain, Focus::button, hpc, 0, 0, 0, Act::pass, 0},
        {"the keyboard's Up is the list's", Key::up, kScreenSettings, Focus::list, hpc, 1, 1, 0, Act::pass, 0},
        {"the keyboard's Right", Key::right, kScreenSettings, Focus::list, hpc, 0, 0, 0, Act::pass, 0},
        {"any other key", Key::other, kScreenScan, Focus::listView, ppc, 0, 0, 0, Act::pass, 0},
    };
    for (const Case& c : cases) {
        KeyState state;
        state.screen = c.screen;
        state.focus = c.focus;
        state.firstRow = c.first;
        state.lastRow = c.last;
        state.shift = c.shift;
        state.navigationPad = c.pad == ppc;
        KeyAction action = planKey(c.key, state);
        EXPECT_EQ(int(action.act), int(c.act)) << c.what;
        EXPECT_EQ(action.command, c.command) << c.what;
    }
}

}  // namespace
