// The Smartphone's keys: the soft keys and Back on every screen, the settings
// screen's focus chain, the path of a listed infected file, font sizes.
#include "editions/smartphone_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace smartphone;

struct Expected {
    int screen;
    int command;
    CommandRoute route;
    int result;
};

TEST(SmartphoneKeys, EverySoftKeyAndBackOnEveryScreen) {
    const Expected table[] = {
        {kScreenMain, kLeftSoftKey, CommandRoute::command, 8102},
        {kScreenMain, kRightSoftKey, CommandRoute::command, 8103},
        {kScreenMain, kBackKey, CommandRoute::defaultHandling, kBackKey},
        {kScreenScan, kLeftSoftKey, CommandRoute::command, 8207},
        {kScreenScan, kRightSoftKey, CommandRoute::command, kRightSoftKey},  // stays, without effect
        {kScreenScan, kBackKey, CommandRoute::command, 8207},
        {kScreenSettings, kLeftSoftKey, CommandRoute::command, 8402},
        {kScreenSettings, kRightSoftKey, CommandRoute::command, 8403},
        {kScreenSettings, kBackKey, CommandRoute::command, 8403},
        {kScreenReport, kLeftSoftKey, CommandRoute::command, 8318},
        {kScreenReport, kRightSoftKey, CommandRoute::ignore, kRightSoftKey},
        {kScreenReport, kBackKey, CommandRoute::command, 8318},
        {kScreenInfected, kLeftSoftKey, CommandRoute::command, 8206},
        {kScreenInfected, kRightSoftKey, CommandRoute::command, kSkip},
        {kScreenInfected, kBackKey, CommandRoute::defaultHandling, kBackKey},
    };
    for (const Expected& e : table) {
        TranslatedCommand t = translateCommand(e.screen, e.command);
        EXPECT_EQ(t.route, e.route) << "screen " << e.screen << " command " << e.command;
        EXPECT_EQ(t.command, e.result) << "screen " << e.screen << " command " << e.command;
    }
    // Other commands pass unchanged on every screen.
    for (int screen = 0; screen <= 4; ++screen) {
        for (int command : {1, 8102, 8206, 8401, 8403, kSkip}) {
            TranslatedCommand t = translateCommand(screen, command);
            EXPECT_EQ(t.route, CommandRoute::command);
            EXPECT_EQ(t.command, command);
        }
    }
}

TEST(SmartphoneKeys, FocusChainBothWaysWithWrapArounds) {
    const int chain[] = {kLanguageSpinner, kReportLevelSpinner, kStorageCardBox, kAutoUpdateBox};
    int at = kLanguageSpinner;
    for (int step = 1; step <= 8; ++step) {
        at = nextFocus(at, true);
        EXPECT_EQ(at, chain[step % 4]);
    }
    for (int step = 1; step <= 8; ++step) {
        at = nextFocus(at, false);
        EXPECT_EQ(at, chain[(8 - step) % 4]) << step;
    }
    // From a window outside the chain: Down to the language, Up to the storage card.
    EXPECT_EQ(nextFocus(0, true), kLanguageSpinner);
    EXPECT_EQ(nextFocus(10003, true), kLanguageSpinner);
    EXPECT_EQ(nextFocus(0, false), kStorageCardBox);
    EXPECT_EQ(nextFocus(10007, false), kStorageCardBox);
}

TEST(SmartphoneKeys, PathOfAnInfectedLine) {
    struct Case {
        const wchar_t* line;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"eicar.com (\\My Documents\\eicar.com) is infected by EICAR-Test", L"\\My Documents\\eicar.com"},
        {L"eicar.com (\\eicar.com) is infected by EICAR-Test (exact)", L"\\eicar.com"},
        // A name holding " (" and ")".
        {L"setup (1).exe (\\Temp\\setup (1).exe) is infected by X", L"\\Temp\\setup (1).exe"},
        // A virus name with parentheses, and the exact mark.
        {L"a.exe (\\a.exe) new or modified variant of W32.Foo (B) (exact)", L"\\a.exe"},
        // A folder named like the file and a parenthesis.
        {L"x (\\d\\x) y\\x) is infected by V", L"\\d\\x) y\\x"},
        // A name that is a prefix of a folder of the path.
        {L"a (b).txt (\\q\\a) \\a (b).txt) is infected by V", L"\\q\\a) \\a (b).txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(std::wstring(pathFromInfectedLine(c.line)), c.path) << c.line;
    for (const wchar_t* bad : {L"", L"no path here", L"x (x) is infected", L"x (\\y) is infected by V", L"x ()"}) {
        EXPECT_TRUE(pathFromInfectedLine(bad).empty()) << bad;
    }
}

TEST(SmartphoneKeys, FontHeightsAndLandscapeLines) {
    EXPECT_EQ(fontHeight(10, 96), -13);   // 13.33 truncated
    EXPECT_EQ(fontHeight(8, 96), -10);    // 10.67 truncated
    EXPECT_EQ(fontHeight(10, 192), -26);
    EXPECT_EQ(fontHeight(8, 131), -14);   // 14.56 truncated toward zero
    // The landscape lines: LayoutTest.SmartphoneScreens (shell/tests).
}

}  // namespace
