// zbdrive's command line: options anywhere, the window chosen by class and/or
// title, numbers, key and button names, host paths, and output cells that
// cannot break a line.
#include "tools/drive/cli_args.h"

#include <gtest/gtest.h>

namespace {

using namespace zbdrive;

TEST(DriveArguments, DefaultWindowIsTheMainWindowOfZerbin) {
    Options o;
    std::string error;
    ASSERT_TRUE(parseArguments({"text", "8102"}, o, error)) << error;
    EXPECT_EQ(o.className, "zerbin4windowClass");
    EXPECT_EQ(o.title, "zerbin! antivirus");
    EXPECT_EQ(o.timeoutMs, kDefaultTimeoutMs);
    EXPECT_EQ(o.args, (std::vector<std::string>{"text", "8102"}));
}

TEST(DriveArguments, ClassOrTitleAloneLetsTheOtherMatchAnything) {
    Options byClass, byTitle, both;
    std::string error;
    ASSERT_TRUE(parseArguments({"wait-window", "--class", "#32770"}, byClass, error));
    EXPECT_EQ(byClass.className, "#32770");
    EXPECT_EQ(byClass.title, "");
    ASSERT_TRUE(parseArguments({"--title", "Fixture", "wait-window"}, byTitle, error));
    EXPECT_EQ(byTitle.className, "");
    EXPECT_EQ(byTitle.title, "Fixture");
    ASSERT_TRUE(parseArguments({"--title", "T", "rect", "--class", "C"}, both, error));
    EXPECT_EQ(both.className, "C");
    EXPECT_EQ(both.title, "T");
    EXPECT_EQ(both.args, (std::vector<std::string>{"rect"}));
}

TEST(DriveArguments, OptionsAnywhereAndDoubleDashEndsThem) {
    Options o;
    std::string error;
    ASSERT_TRUE(parseArguments({"type", "--timeout", "0x100", "--to", "1040", "--", "--class"}, o, error)) << error;
    EXPECT_EQ(o.timeoutMs, 256);
    EXPECT_TRUE(o.toGiven);
    EXPECT_EQ(o.to, 1040);
    EXPECT_EQ(o.args, (std::vector<std::string>{"type", "--class"}));
    Options p;
    ASSERT_TRUE(parseArguments({"msgbox", "--process", "zerbin.exe", "--pid", "42", "--any"}, p, error));
    EXPECT_EQ(p.processName, "zerbin.exe");
    EXPECT_EQ(p.processId, 42u);
    EXPECT_TRUE(p.anyProcess);
    // A lone "-" or a negative number is an operand, not an option.
    Options q;
    ASSERT_TRUE(parseArguments({"command", "1", "-1", "-"}, q, error));
    EXPECT_EQ(q.args, (std::vector<std::string>{"command", "1", "-1", "-"}));
}

TEST(DriveArguments, BadOptionsAreRefusedWithAReason) {
    std::string error;
    Options a, b, c, d, e;
    EXPECT_FALSE(parseArguments({"text", "1", "--colour", "red"}, a, error));
    EXPECT_NE(error.find("--colour"), std::string::npos);
    EXPECT_FALSE(parseArguments({"text", "1", "--timeout"}, b, error));
    EXPECT_NE(error.find("needs a value"), std::string::npos);
    EXPECT_FALSE(parseArguments({"--timeout", "soon", "msgbox"}, c, error));
    EXPECT_FALSE(parseArguments({"--timeout", "-5", "msgbox"}, d, error));
    EXPECT_FALSE(parseArguments({"--pid", "0", "msgbox"}, e, error));
}

TEST(DriveArguments, IntegersInDecimalAndHexOnlyWhole) {
    long long v = 0;
    EXPECT_TRUE(parseInteger("8102", v));
    EXPECT_EQ(v, 8102);
    EXPECT_TRUE(parseInteger("0xFFFF", v));
    EXPECT_EQ(v, 0xFFFF);
    EXPECT_TRUE(parseInteger("-1", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(parseInteger("0", v));
    EXPECT_EQ(v, 0);
    for (const char* bad : {"", "-", "0x", "12a", "1 2", "0xg", "99999999999999999999", " 1"}) {
        EXPECT_FALSE(parseInteger(bad, v)) << bad;
    }
}

TEST(DriveArguments, KeyNamesMapToVirtualKeys) {
    unsigned vk = 0;
    struct Case {
        const char* name;
        unsigned vk;
    } cases[] = {{"enter", 0x0D}, {"ENTER", 0x0D}, {"tab", 0x09},   {"esc", 0x1B},  {"backspace", 0x08},
                 {"up", 0x26},    {"down", 0x28},  {"delete", 0x2E}, {"f1", 0x70},   {"F24", 0x87},
                 {"soft2", 0x71}, {"a", 'A'},      {"Z", 'Z'},       {"7", '7'},     {"0x41", 0x41}};
    for (const Case& c : cases) {
        EXPECT_TRUE(parseKey(c.name, vk)) << c.name;
        EXPECT_EQ(vk, c.vk) << c.name;
    }
    for (const char* bad : {"", "f0", "f25", "enterr", "ab", "256", "!"}) EXPECT_FALSE(parseKey(bad, vk)) << bad;
}

TEST(DriveArguments, ShiftedKeys) {
    unsigned vk = 0;
    bool shifted = false;
    EXPECT_TRUE(parseKeyPress("shift+tab", vk, shifted));
    EXPECT_EQ(vk, 0x09u);
    EXPECT_TRUE(shifted);
    EXPECT_TRUE(parseKeyPress("Shift+A", vk, shifted));
    EXPECT_EQ(vk, unsigned('A'));
    EXPECT_TRUE(shifted);
    EXPECT_TRUE(parseKeyPress("tab", vk, shifted));
    EXPECT_FALSE(shifted);
    for (const char* bad : {"shift+", "shift", "shift+enterr", "ctrl+tab", "shift+shift+tab"}) {
        EXPECT_FALSE(parseKeyPress(bad, vk, shifted)) << bad;
    }
}

TEST(DriveArguments, ButtonNamesAndIds) {
    int id = 0;
    EXPECT_TRUE(parseButton("yes", id));
    EXPECT_EQ(id, 6);
    EXPECT_TRUE(parseButton("No", id));
    EXPECT_EQ(id, 7);
    EXPECT_TRUE(parseButton("ok", id));
    EXPECT_EQ(id, 1);
    EXPECT_TRUE(parseButton("cancel", id));
    EXPECT_EQ(id, 2);
    EXPECT_TRUE(parseButton("1001", id));
    EXPECT_EQ(id, 1001);
    EXPECT_FALSE(parseButton("maybe", id));
    EXPECT_FALSE(parseButton("0", id));
    EXPECT_FALSE(parseButton("70000", id));
}

TEST(DriveArguments, HostPathsGoThroughTheUnixForm) {
    EXPECT_EQ(deviceFilePath("/work/main/build/demo/main.png"), "\\\\?\\unix\\work\\main\\build\\demo\\main.png");
    EXPECT_EQ(deviceFilePath("C:\\Temp\\shot.png"), "C:\\Temp\\shot.png");
    EXPECT_EQ(deviceFilePath("\\Temp\\shot.png"), "\\Temp\\shot.png");
    EXPECT_EQ(deviceFilePath("shot.png"), "shot.png");
    EXPECT_EQ(deviceFilePath(""), "");
}

TEST(DriveArguments, CellsNeverSplitALineAndTextLinesEndInLf) {
    EXPECT_EQ(cellText("a\tb\r\nc"), "a b  c");
    EXPECT_EQ(cellText("\\My Documents\\eicar.com"), "\\My Documents\\eicar.com");
    EXPECT_EQ(cellText("Fran\xC3\xA7" "ais"), "Fran\xC3\xA7" "ais") << "UTF-8 bytes are not control characters";
    EXPECT_EQ(textLines("one\r\ntwo\r\n"), "one\ntwo\n");
    EXPECT_EQ(textLines("one\ntwo"), "one\ntwo\n");
    EXPECT_EQ(textLines(""), "\n");
    EXPECT_EQ(textLines("a\rb"), "a\rb\n") << "a lone CR is kept";
}

}  // namespace
