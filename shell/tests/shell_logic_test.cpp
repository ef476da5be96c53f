// Platform-free logic of the shell: binding order and messages, the layout of
// the screens (and the check that every screen of every edition fits its
// device in every language), the wording of the update-check age, and the
// path of a listed infected file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/binding_plan.h"
#include "shell/age_text.h"
#include "shell/handheld_layout.h"
#include "shell/item_path.h"
#include "shell/lang_text.h"
#include "shell/metrics.h"
#include "shell/smartphone_layout.h"
#include "shell/tests/device_fonts.h"
#include "shell/tests/screen_models.h"

namespace {

// A pretend library: which names and which ordinals it exports, and a record
// of every lookup in the order made.
class FakeLibrary : public BindingResolver {
public:
    bool present = true;
    std::set<std::string> names;
    std::set<uint16_t> ordinals;
    std::vector<std::string> calls;

    bool load(const wchar_t*) override { return present; }
    void* byName(const char* name) override {
        calls.push_back(std::string("name:") + name);
        return names.count(name) ? this : nullptr;
    }
    void* byOrdinal(uint16_t ordinal) override {
        calls.push_back("ordinal:" + std::to_string(ordinal));
        return ordinals.count(ordinal) ? this : nullptr;
    }
};

FakeLibrary complete(const BindingLibrary& library) {
    FakeLibrary fake;
    for (size_t i = 0; i < library.count; ++i) fake.names.insert(library.entries[i].name);
    return fake;
}

TEST(BindingTest, MissingLibraryGivesItsMessageAndLooksUpNothing) {
    FakeLibrary fake;
    fake.present = false;
    void* slots[kCellCoreSlots];
    EXPECT_STREQ(bindLibrary(kCellCoreLibrary, fake, slots), "CellCore.dll was not found!");
    EXPECT_TRUE(fake.calls.empty());
    fake.calls.clear();
    void* ayg[kAygShellSlots];
    EXPECT_STREQ(bindLibrary(kAygShellLibrary, fake, ayg), "AygShell.dll was not found!");
    void* net[kWinInetSlots];
    EXPECT_STREQ(bindLibrary(kWinInetLibrary, fake, net), "WinInet.dll was not found!");
}

TEST(BindingTest, CompleteLibrariesBindByNameOnly) {
    for (const BindingLibrary* library : {&kCellCoreLibrary, &kWinInetLibrary, &kAygShellLibrary}) {
        FakeLibrary fake = complete(*library);
        void* slots[16];
        EXPECT_EQ(bindLibrary(*library, fake, slots), nullptr);
        for (size_t i = 0; i < library->count; ++i) EXPECT_EQ(slots[i], &fake);
        EXPECT_EQ(fake.calls.size(), library->count) << "no ordinal lookups when every name is exported";
    }
}

TEST(BindingTest, EntryExportedByOrdinalOnlyBindsAfterAllNames) {
    // The handheld ordinals of the shell library: SHFullScreen is 65.
    FakeLibrary fake = complete(kAygShellLibrary);
    fake.names.erase("SHFullScreen");
    fake.ordinals = {34, 65, 69, 84, 188};
    void* slots[kAygShellSlots];
    EXPECT_EQ(bindLibrary(kAygShellLibrary, fake, slots), nullptr);
    EXPECT_EQ(slots[kSHFullScreen], &fake);
    ASSERT_EQ(fake.calls.size(), 6u);
    EXPECT_EQ(fake.calls[4], "name:SHFindMenuBar") << "every name is tried before any ordinal";
    EXPECT_EQ(fake.calls[5], "ordinal:65");
}

TEST(BindingTest, EveryEntryHasItsHandheldOrdinal) {
    std::map<std::string, uint16_t> expected = {
        {"ConnMgrReleaseConnection", 122}, {"ConnMgrProviderMessage", 124}, {"ConnMgrConnectionStatus", 121},
        {"ConnMgrEstablishConnection", 120}, {"ConnMgrMapURL", 128}, {"InternetOpenW", 79},
        {"InternetConnectW", 63}, {"HttpSendRequestW", 56}, {"HttpOpenRequestW", 50}, {"HttpQueryInfoW", 52},
        {"InternetCloseHandle", 59}, {"InternetReadFile", 83}, {"InternetQueryDataAvailable", 80},
        {"SHDoneButton", 69}, {"SHFullScreen", 65}, {"SHHandleWMActivate", 84}, {"SHCreateMenuBar", 34},
        {"SHFindMenuBar", 188}};
    for (const BindingLibrary* library : {&kCellCoreLibrary, &kWinInetLibrary, &kAygShellLibrary}) {
        for (size_t i = 0; i < library->count; ++i) {
            // Only the ordinal is exported: binding must still succeed for this entry.
            FakeLibrary fake = complete(*library);
            const char* name = library->entries[i].name;
            fake.names.erase(name);
            fake.ordinals = {expected.at(name)};
            void* slots[16];
            EXPECT_EQ(bindLibrary(*library, fake, slots), nullptr) << name;
        }
    }
}

TEST(BindingTest, FirstMissingEntryInTestOrderFailsWithItsMessage) {
    FakeLibrary fake = complete(kCellCoreLibrary);
    fake.names.erase("ConnMgrMapURL");
    fake.names.erase("ConnMgrConnectionStatus");
    void* slots[kCellCoreSlots];
    EXPECT_STREQ(bindLibrary(kCellCoreLibrary, fake, slots), "ConnMgrConnectionStatus fn was NOT found in CellCore.dll");

    // The Internet entries are tested in another order than they are looked
    // up: HttpQueryInfoW comes before InternetReadFile in the lookup, after it
    // in the test.
    FakeLibrary net = complete(kWinInetLibrary);
    net.names.erase("HttpQueryInfoW");
    net.names.erase("InternetReadFile");
    void* netSlots[kWinInetSlots];
    EXPECT_STREQ(bindLibrary(kWinInetLibrary, net, netSlots), "InternetReadFile fn was NOT found in WinInet.dll");

    // Removing entries one by one from the last tested to the first shows
    // the whole test order.
    net = complete(kWinInetLibrary);
    std::vector<std::string> order;
    for (const char* name : {"HttpQueryInfoW", "HttpOpenRequestW", "HttpSendRequestW", "InternetQueryDataAvailable",
                             "InternetReadFile", "InternetCloseHandle", "InternetConnectW", "InternetOpenW"}) {
        net.names.erase(name);
        order.push_back(bindLibrary(kWinInetLibrary, net, netSlots));
    }
    std::vector<std::string> expected = {
        "HttpQueryInfo fn was NOT found in WinInet.dll", "HttpOpenRequest fn was NOT found in WinInet.dll",
        "HttpSendRequest fn was NOT found in WinInet.dll", "InternetQueryDataAvailable fn was NOT found in WinInet.dll",
        "InternetReadFile fn was NOT found in WinInet.dll", "InternetCloseHandle fn was NOT found in WinInet.dll",
        "InternetConnect fn was NOT found in WinInet.dll", "InternetOpen fn was NOT found in WinInet.dll"};
    EXPECT_EQ(order, expected);
}

TEST(LayoutTest, PocketPcScreensWithAnEightPointFont) {
    // 8-point font: 13 pixels high, 5 wide on average; client 234 x 294.
    ScreenMetrics m = computeScreenMetrics(234, 294, 5, 13, 0, 1);
    EXPECT_EQ(m.buttonWidth, 65);
    EXPECT_EQ(m.buttonHeight, 19);
    EXPECT_EQ(m.buttonRowTop, 234);

    ControlPlace report = layout::mainButton(m, 2);
    EXPECT_EQ(report.x, 13 + 2 * 75);
    EXPECT_EQ(report.y, 234);
    EXPECT_LE(report.x + report.width, 234) << "the three buttons fit the screen";
    EXPECT_EQ(layout::mainTextTop(m, 0), 74);
    EXPECT_EQ(layout::mainTextTop(m, 10), 74 + 130) << "room enough: the age line stays in its place";

    ControlPlace list = layout::scanList(m);
    EXPECT_EQ(list.x, 13);
    EXPECT_EQ(list.y, 104);
    EXPECT_EQ(list.width, 208);
    EXPECT_EQ(list.height, 117);
    EXPECT_EQ(layout::scanFirstColumnWidth(m, 208), 117);  // 4 * 206 / 7
    EXPECT_EQ(layout::scanSecondColumnWidth(m, 208), 89);
    EXPECT_EQ(layout::scanScannedCount(m, 62).x, 13 + 75 + 62);
    EXPECT_EQ(layout::scanInfectedCount(m, 62).y, 78);
    EXPECT_EQ(layout::scanCancel(m).x, 163);

    EXPECT_EQ(layout::reportText(m).height, 234 - 52);
    EXPECT_EQ(layout::reportBack(m).x, (234 - 65) / 2);

    // y9 = 9h + 20 = 137
    EXPECT_EQ(layout::settingsReportLabel(m).y, 137 + 40);
    EXPECT_EQ(layout::settingsReportLevel(m).y, 137 + 57);
    EXPECT_EQ(layout::settingsReportLevel(m).height, 61);
    EXPECT_EQ(layout::settingsLanguageList(m).y, 28);
    EXPECT_EQ(layout::settingsLanguageList(m).height, 55);
    EXPECT_EQ(layout::settingsAutoUpdate(m).y, 114);
    EXPECT_EQ(layout::settingsDone(m).y, 222);
}

// Every pair of `places` apart, and all of them on the screen: the layout
// check's own rules.
void expectApartAndOnScreen(const ScreenMetrics& m, const std::vector<ControlPlace>& places) {
    screens::ScreenModel screen;
    screen.name = "screen";
    screen.width = m.clientWidth;
    screen.height = screen.bottom = m.clientHeight;
    for (size_t i = 0; i < places.size(); ++i) screen.controls.push_back({int(i), places[i]});
    EXPECT_EQ(screens::layoutFaults(screen), std::vector<std::string>{});
}

TEST(LayoutTest, HandheldPcScreensWithAnEightPointFont) {
    // The 640 x 240 screen under its caption; 8-point font, 13 high, 5 wide.
    ScreenMetrics m = computeScreenMetrics(640, 217, 5, 13, 0, 1, 14);
    namespace hpc = layout::handheld;
    EXPECT_EQ(m.buttonRowTop, 182);
    EXPECT_EQ(hpc::columnLeft(m), 18);  // 640 / 35
    EXPECT_EQ(hpc::columnPitch(m), 29);
    for (int row = 0; row < hpc::kColumnRows; ++row) {
        ControlPlace button = hpc::columnButton(m, row);
        EXPECT_EQ(button.x, 28);
        EXPECT_EQ(button.y, 75 + row * 29);
        EXPECT_EQ(button.width, 65);
        EXPECT_EQ(button.height, 19);
        ControlPlace description = hpc::columnDescription(m, row);
        EXPECT_EQ(description.x, 18 + 65 + 30);
        EXPECT_EQ(description.y, 78 + row * 29);
    }
    EXPECT_EQ(hpc::productLeft(m), 28);
    // The text lines keep their places, but the age line (line 10, 204 to
    // 217) would touch the bottom edge: it moves up to stay whole.
    EXPECT_EQ(layout::mainTextTop(m, 0), 74);
    EXPECT_EQ(layout::mainTextTop(m, 7), 165);
    EXPECT_EQ(layout::mainTextTop(m, 10), 217 - 13 - 4);
    EXPECT_EQ(hpc::textAreaLeft(m, 300), 330);
    EXPECT_EQ(hpc::textAreaLeft(m, 700), 0) << "descriptions wider than the screen: centred on the whole width";
    expectApartAndOnScreen(m, {hpc::columnButton(m, 0), hpc::columnButton(m, 1), hpc::columnButton(m, 2),
                               hpc::columnButton(m, 3)});

    // Scan: Delete and Cancel side by side at R - 11, the list 6h - 3 tall above them.
    EXPECT_EQ(hpc::scanDelete(m).x, 13);
    EXPECT_EQ(hpc::scanDelete(m).y, 171);
    EXPECT_EQ(hpc::scanCancel(m).x, 13 + 65 + 10);
    EXPECT_EQ(hpc::scanCancel(m).y, 171);
    EXPECT_EQ(hpc::scanList(m).height, 75);
    EXPECT_GE(hpc::scanList(m).y, 7 * 13) << "below the infected-files line";
    ControlPlace current = layout::scanCurrentFile(m);
    expectApartAndOnScreen(m, {current, hpc::scanList(m), hpc::scanDelete(m), hpc::scanCancel(m),
                               layout::scanScannedCount(m, 70), layout::scanInfectedCount(m, 70)});

    // Report: the text box from 2h + 2, R - 4h + 5 tall; Back centred at R - 12.
    ControlPlace text = hpc::reportText(m);
    EXPECT_EQ(text.x, 13);
    EXPECT_EQ(text.y, 28);
    EXPECT_EQ(text.width, 614);
    EXPECT_EQ(text.height, 182 - 52 + 5);
    EXPECT_EQ(hpc::reportBack(m).x, (640 - 65) / 2);
    EXPECT_EQ(hpc::reportBack(m).y, 170);
    expectApartAndOnScreen(m, {text, hpc::reportBack(m)});

    // Settings in two halves.
    ControlPlace languages = hpc::settingsLanguageList(m);
    ControlPlace levels = hpc::settingsReportLevel(m);
    EXPECT_EQ(languages.x, 13);
    EXPECT_EQ(languages.y, 28);
    EXPECT_EQ(languages.width, 320 - 26);
    EXPECT_EQ(languages.height, 55);
    EXPECT_EQ(levels.x, 320 + 13);
    EXPECT_EQ(levels.y, 28);
    EXPECT_EQ(levels.width, languages.width);
    EXPECT_EQ(levels.height, languages.height);
    expectApartAndOnScreen(m, {hpc::settingsLanguageLabel(m), languages, hpc::settingsReportLabel(m), levels,
                               hpc::settingsStorageCard(m), hpc::settingsAutoUpdate(m), layout::settingsUpdate(m),
                               layout::settingsDone(m)});
}

TEST(LayoutTest, PocketPcHeldSideways) {
    // 320 x 240 under its caption: too low for the button row 18 lines down.
    ScreenMetrics m = computeScreenMetrics(314, 215, 5, 13, 0, 1);
    EXPECT_TRUE(m.turned);
    EXPECT_EQ(m.buttonRowTop, 13 * 13);
    EXPECT_FALSE(computeScreenMetrics(234, 295, 5, 13, 0, 1).turned) << "upright";
    EXPECT_FALSE(computeScreenMetrics(634, 215, 5, 13, 0, 1, 14).turned) << "the Handheld PC's row fits its screen";

    // The main screen's lines close up: rows 0, 1, 3, 4 and 5 under the picture.
    const int rows[][2] = {{0, 0}, {2, 1}, {6, 3}, {7, 4}, {10, 5}};
    for (const auto& row : rows) EXPECT_EQ(layout::mainTextTop(m, row[0]), 74 + row[1] * 13) << row[0];
    EXPECT_LE(layout::mainTextTop(m, 10) + 13, m.buttonRowTop);

    // Scan: the list ends a line above the buttons; settings in two halves.
    ControlPlace list = layout::scanList(m);
    EXPECT_EQ(list.y + list.height, m.buttonRowTop - 13);
    EXPECT_EQ(layout::settingsReportLevel(m).y, layout::settingsLanguageList(m).y);
    EXPECT_EQ(layout::settingsReportLevel(m).x, 157 + 13);

    // The counts move left rather than leave the screen (upright, a long label).
    ScreenMetrics upright = computeScreenMetrics(234, 295, 5, 13, 0, 1);
    EXPECT_EQ(layout::scanScannedCount(upright, 62).x, 13 + 75 + 62) << "room enough: the place as it was";
    EXPECT_EQ(layout::scanScannedCount(upright, 110).x, 234 - 13 - 50);
}

TEST(LayoutTest, SmartphoneScreens) {
    namespace sp = layout::smartphone;
    // The 10-point font's lines are 16 pixels apart; 176 x 220 and 220 x 176.
    ScreenMetrics upright = computeScreenMetrics(170, 169, 5, 13, 0, 1);
    ScreenMetrics sideways = computeScreenMetrics(214, 125, 5, 13, 0, 1);
    upright.lineHeight = sideways.lineHeight = 16;
    const sp::LineWidths narrow{150, 110}, wide{200, 160}, wider{230, 180};

    // Upright: 2 lines and 25 pixels down, a blank line before the versions.
    auto lines = sp::mainLines(upright, false, {narrow, narrow, narrow, narrow, narrow});
    const int tops[] = {57, 73, 105, 121, 137};
    for (int i = 0; i < sp::kMainLines; ++i) {
        EXPECT_EQ(lines[i].top, tops[i]);
        EXPECT_EQ(lines[i].form, sp::LineForm::oneLine);
    }
    // Lines too wide for the screen: the lowest as two lines while there is
    // room for them (here one line more), the others in the 8-point font.
    lines = sp::mainLines(upright, false, {narrow, narrow, narrow, wide, wide});
    EXPECT_EQ(lines[3].form, sp::LineForm::smallFont);
    EXPECT_EQ(lines[4].form, sp::LineForm::twoLines);
    EXPECT_EQ(lines[4].top + 2 * 16, 137 + 32) << "the label, then the value";
    // A line too wide even in the 8-point font takes the room first.
    const sp::LineWidths widest{250, 190};
    lines = sp::mainLines(upright, false, {narrow, narrow, narrow, widest, wide});
    EXPECT_EQ(lines[3].form, sp::LineForm::twoLines);
    EXPECT_EQ(lines[4].form, sp::LineForm::smallFont);
    EXPECT_EQ(lines[4].top, 121 + 32);
    // Sideways: a line higher, and no blank line.
    lines = sp::mainLines(sideways, true, {narrow, narrow, narrow, wide, wider});
    const int sidewaysTops[] = {41, 57, 73, 89, 105};
    for (int i = 0; i < sp::kMainLines; ++i) EXPECT_EQ(lines[i].top, sidewaysTops[i]);
    EXPECT_EQ(lines[3].form, sp::LineForm::oneLine);
    EXPECT_EQ(lines[4].form, sp::LineForm::smallFont) << "no room for a sixth line";

    // Scan: the counts beside their labels, moved left to the right margin,
    // or under their labels; sideways half a line higher.
    sp::ScanPlaces p = sp::scanPlaces(sideways, true, {60, 60});
    EXPECT_EQ(p.labelTop[0], 6 * 16 - 8);
    EXPECT_EQ(p.count[0].x, 6 + 55 + 60) << "the place as it was";
    p = sp::scanPlaces(upright, false, {93, 93});
    EXPECT_EQ(p.count[0].x, 170 - 6 - 50);
    EXPECT_EQ(p.count[0].y, p.labelTop[0]);
    p = sp::scanPlaces(upright, false, {139, 130});
    EXPECT_EQ(p.labelTop[1], 8 * 16);
    EXPECT_EQ(p.count[1].y, 9 * 16) << "under its label";
}

// ---- the layout check ----

screens::ScreenModel screenOf(std::vector<screens::ModelControl> controls, std::vector<screens::ModelText> texts) {
    screens::ScreenModel s;
    s.name = "s";
    s.width = 100;
    s.height = 80;
    s.bottom = 70;
    s.controls = std::move(controls);
    s.texts = std::move(texts);
    return s;
}

TEST(LayoutCheckTest, FindsWhatDoesNotFit) {
    struct Case {
        const char* what;
        screens::ScreenModel screen;
        std::vector<std::string> faults;
    };
    const Case cases[] = {
        {"apart and inside", screenOf({{1, {0, 0, 50, 20}}, {2, {50, 0, 50, 20}}}, {{"a", {0, 20, 100, 50}}}), {}},
        {"a control past the right edge", screenOf({{1, {60, 0, 41, 10}}}, {}),
         {"s: control 1 (60,0 41x10) leaves the client area (100x70 to use)"}},
        {"a control into the band at the bottom", screenOf({{1, {0, 61, 10, 10}}}, {}),
         {"s: control 1 (0,61 10x10) leaves the client area (100x70 to use)"}},
        {"a line left of the screen", screenOf({}, {{"line 4", {-3, 0, 106, 13}}}),
         {"s: line 4 (-3,0 106x13) leaves the client area (100x70 to use)"}},
        {"controls over each other", screenOf({{1, {0, 0, 20, 20}}, {2, {19, 19, 5, 5}}}, {}),
         {"s: controls 1 (0,0 20x20) and 2 (19,19 5x5) overlap"}},
        {"a line under a control", screenOf({{7, {0, 10, 100, 10}}}, {{"label", {5, 0, 20, 11}}}),
         {"s: label (5,0 20x11) runs under control 7 (0,10 100x10)"}},
        {"lines over each other", screenOf({}, {{"a", {0, 0, 50, 16}}, {"b", {40, 15, 50, 16}}}),
         {"s: a (0,0 50x16) and b (40,15 50x16) overlap"}},
        {"an empty line overlaps nothing", screenOf({{1, {0, 0, 50, 20}}}, {{"empty", {10, 5, 0, 13}}}), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(screens::layoutFaults(c.screen), c.faults) << c.what;
}

TEST(LayoutCheckTest, FindsCutCaptions) {
    // Words 30 and 20 wide, a blank of 3: 53 in one line; lines 12 high.
    const captions::Measured text{53, 3, {30, 20}, 12};
    using screens::CaptionKind;
    struct Case {
        const char* what;
        screens::ModelCaption caption;
        int width, height;
        const char* fault;
    };
    const Case cases[] = {
        {"a button with room", {1, CaptionKind::button, text, 6, 1}, 57, 19, ""},
        {"a button a pixel short", {1, CaptionKind::button, text, 6, 1}, 56, 19, "is 53 wide, its text area 52"},
        {"a check box: box and half a digit", {1, CaptionKind::checkBox, text, 6, 1}, 69, 15, ""},
        {"a check box too narrow", {1, CaptionKind::checkBox, text, 6, 1}, 68, 15, "is 53 wide, its text area 52"},
        {"the same on two lines", {1, CaptionKind::checkBox, text, 6, 2}, 68, 27, ""},
        {"a word wider than its line", {1, CaptionKind::checkBox, text, 6, 2}, 45, 27,
         "holds a word wider than its text area 29"},
        {"a label its height holds on one line", {1, CaptionKind::label, text, 6, 1}, 52, 13,
         "is 53 wide, takes 2 lines of 52, the control shows 1"},
    };
    for (const Case& c : cases) {
        screens::ScreenModel screen = screenOf({{1, {0, 0, c.width, c.height}}}, {});
        screen.captions = {c.caption};
        std::vector<std::string> expected;
        if (*c.fault) expected.push_back("s: the caption of control 1 (0,0 " + std::to_string(c.width) + "x" +
                                         std::to_string(c.height) + ") " + c.fault);
        EXPECT_EQ(screens::layoutFaults(screen), expected) << c.what;
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LayoutCheckTest, EveryScreenOfEveryEditionFitsItsDeviceInEveryLanguage) {
    DeviceFontTable fonts;
    std::string error;
    ASSERT_TRUE(fonts.parse(readFile(ZB_DEVICE_FONTS), error)) << error;
    const struct {
        uint16_t id;
        const char* file;
    } languages[] = {{5, "czech"}, {9, "english"}, {12, "french"}, {22, "portuguese"}, {27, "slovak"}};
    for (const auto& language : languages) {
        const std::string file = readFile(std::string(ZB_RESOURCES_DIR) + "/" + language.file + ".lang");
        ASSERT_FALSE(file.empty()) << language.file;
        bool missing = false;
        screens::Texts texts = [&](uint32_t id) {
            char16_t buffer[kLanguageTextCapacity + 1];
            size_t n = langTextCopy(file.data(), file.size(), id, buffer, kLanguageTextCapacity + 1);
            std::u16string text(buffer, n);
            fonts.width(DeviceFont::interface8, text, &missing);
            return text;
        };
        std::vector<screens::ScreenModel> all;
        auto add = [&](const std::vector<screens::ScreenModel>& more) {
            all.insert(all.end(), more.begin(), more.end());
        };
        add(screens::pocketPcScreens(screens::kPocketPcScreen, fonts, texts, language.id));
        add(screens::pocketPcScreens(screens::kWindowsMobile5Screen, fonts, texts, language.id));
        add(screens::pocketPcScreens(screens::kPocketPcSidewaysScreen, fonts, texts, language.id));
        add(screens::handheldPcScreens(screens::kHandheldPcScreen, fonts, texts, language.id));
        add(screens::smartphoneScreens(screens::kSmartphoneScreen, false, fonts, texts, language.id));
        add(screens::smartphoneScreens(screens::kSmartphoneSidewaysScreen, true, fonts, texts, language.id));
        EXPECT_EQ(all.size(), 3 * 9u + 9 + 2 * 10) << "every screen of every device";
        for (const screens::ScreenModel& screen : all) {
            for (const std::string& fault : screens::layoutFaults(screen)) {
                ADD_FAILURE() << language.file << ", " << fault;
            }
        }
        EXPECT_FALSE(missing) << language.file << ": a text holds a character the font table lacks";
    }
}

TEST(CheckAgeTest, UnitsAndBoundaries) {
    CheckAgeText never = describeCheckAge(0);
    EXPECT_FALSE(never.hasCount);
    EXPECT_EQ(never.textId, 8107u);
    EXPECT_FALSE(never.warning);

    CheckAgeText old = describeCheckAge(0xFFFFFFFFu);
    EXPECT_FALSE(old.hasCount);
    EXPECT_EQ(old.textId, 8113u);
    EXPECT_TRUE(old.warning);

    struct Case { uint32_t age, count, unit; };
    for (Case c : {Case{1, 1, 8108}, {59, 59, 8108}, {60, 1, 8109}, {3599, 59, 8109}, {3600, 1, 8110},
                   {86399, 23, 8110}, {86400, 1, 8111}, {59 * 86400, 59, 8111}}) {
        CheckAgeText t = describeCheckAge(c.age);
        EXPECT_TRUE(t.hasCount) << c.age;
        EXPECT_EQ(t.count, c.count) << c.age;
        EXPECT_EQ(t.textId, c.unit) << c.age;
        EXPECT_FALSE(t.warning);
    }
}

TEST(CheckAgeTest, FrenchUsesItsOtherLabelOnlyWithoutACount) {
    EXPECT_EQ(checkAgeLabelId(12, describeCheckAge(0)), 8121u);
    EXPECT_EQ(checkAgeLabelId(12, describeCheckAge(0xFFFFFFFFu)), 8121u);
    EXPECT_EQ(checkAgeLabelId(12, describeCheckAge(120)), 8106u);
    EXPECT_EQ(checkAgeLabelId(9, describeCheckAge(0)), 8106u);
    EXPECT_EQ(checkAgeLabelId(5, describeCheckAge(0xFFFFFFFFu)), 8106u);
}

std::string path(const std::string& text) { return std::string(pathFromItemText<char>(text)); }

TEST(ItemPathTest, PathIsThePartThatEndsWithTheName) {
    EXPECT_EQ(path("virus.exe (\\Windows\\virus.exe)"), "\\Windows\\virus.exe");
    EXPECT_EQ(path("setup (1).exe (\\My Documents\\setup (1).exe)"), "\\My Documents\\setup (1).exe");
    EXPECT_EQ(path("a (b) (c).txt (\\x (y)\\a (b) (c).txt)"), "\\x (y)\\a (b) (c).txt");
    EXPECT_EQ(path("(x) (\\(x))"), "\\(x)");
    EXPECT_EQ(path("x.com (\\Storage Card\\x.com)"), "\\Storage Card\\x.com");
}

TEST(ItemPathTest, TextsWithoutAPathGiveNothing) {
    EXPECT_EQ(path(""), "");
    EXPECT_EQ(path("virus.exe"), "");
    EXPECT_EQ(path("virus.exe (\\Windows\\other.exe)"), "");
    EXPECT_EQ(path("virus.exe (virus.exe)"), "") << "a path is more than the bare name";
    EXPECT_EQ(path("virus.exe (\\Windows\\virus.exe"), "");
    EXPECT_EQ(path("e.exe (\\dir\\fe.exe)"), "") << "the name must follow a backslash";
}

}  // namespace
