// A whole job without the stylus: the settings, a scan, a deletion from the
// list of infected files, the report and back, by keys alone. On the Pocket
// PC by its navigation pad (Up, Down, Left, Right and Action, which is Enter);
// on the Handheld PC by its keyboard (Tab, Shift+Tab, Enter and Esc). Each
// key goes where a user's goes: to the control that has the keyboard focus.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::InfectedFiles;
using e2e::utf8;
using e2e::waitFor;
using e2e::ZerbinApp;

constexpr DWORD kScanTimeoutMs = 120000;

int focusedId(const ZerbinApp& app) {
    int id = -1;
    return zbauto::focusedControl(app.window(), id) == kStatusOk ? id : -1;
}

bool focusOn(const ZerbinApp& app, int id) { return waitFor(5000, [&] { return focusedId(app) == id; }); }

// A key press to the control with the keyboard focus.
void key(const ZerbinApp& app, UINT vk) { zbauto::postKey(zbauto::focusOf(app.window()), vk); }

// The key, and the control that the focus must be on afterwards.
bool keyTo(const ZerbinApp& app, UINT vk, int expected) {
    key(app, vk);
    return focusOn(app, expected);
}

bool shiftTabTo(const ZerbinApp& app, int expected) {
    return zbauto::typeKeys(app.window(), {VK_TAB}, {true}) == kStatusOk && focusOn(app, expected);
}

int listFocus(const ZerbinApp& app) {
    int item = -1;
    zbauto::listViewNext(app.control(116), LVNI_FOCUSED, item);
    return item;
}

int listCount(const ZerbinApp& app) {
    int count = -1;
    zbauto::listViewCount(app.control(116), count);
    return count;
}

// The file that list item `index` names: "name (path)".
std::wstring itemPath(const ZerbinApp& app, int index) {
    std::wstring text = app.listItems(116).at(size_t(index)).at(0);
    size_t open = text.find(L'(');
    return text.substr(open + 1, text.rfind(L')') - open - 1);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Enter on the focused button of the message box that the program shows.
bool enterInBox(const ZerbinApp& app, std::wstring* text) {
    HWND box = nullptr;
    if (zbauto::waitMessageBox(app.processId(), nullptr, 10000, box) != kStatusOk) return false;
    zbauto::MessageBoxContent content;
    zbauto::readMessageBox(box, content);
    *text = content.text;
    return zbauto::postKey(zbauto::focusOf(box), VK_RETURN) == kStatusOk && zbauto::waitWindowGone(box, 5000) == kStatusOk;
}

// From the main screen by keys: Action on Scan; at the scan's end the list of
// infected files has the focus, Down chooses the first file and Action
// deletes it. `found`: how many files the scan listed.
void scanAndDeleteTheFirstFile(const ZerbinApp& app, int* found) {
    ASSERT_TRUE(focusOn(app, 8102));
    key(app, VK_RETURN);
    ASSERT_TRUE(app.waitText(8211, L"Finished", kScanTimeoutMs));
    ASSERT_TRUE(focusOn(app, 116));
    *found = listCount(app);
    ASSERT_GE(*found, 2);
    EXPECT_FALSE(app.enabled(8206));
    key(app, VK_DOWN);
    ASSERT_TRUE(waitFor(5000, [&] { return listFocus(app) == 0 && app.enabled(8206); }));
    const std::wstring chosen = itemPath(app, 0);
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return listCount(app) == *found - 1; }));
    EXPECT_FALSE(exists(chosen)) << utf8(chosen);
}

struct Job {
    InfectedFiles files;
    ZerbinApp app;
    Job() {
        files.put(L"keys-a.exe");
        files.put(L"keys-b.exe");
        app.writeDatabase();
        DeleteFileW(app.path(L"report.txt").c_str());  // Report disabled
    }
};

void expectStoredSettings() {
    DWORD value = 0;
    ASSERT_TRUE(e2e::readSetting(L"StorageCard", value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(e2e::readSetting(L"AutoUpdate", value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(e2e::readSetting(L"Report", value));
    EXPECT_EQ(value, 6u);
}

TEST(ZerbinKeys, PocketPcJobByTheNavigationPad) {
    Job job;
    ZerbinApp& app = job.app;
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;

    // The main screen: Down and Up move along the buttons, past the
    // disabled Report and around.
    ASSERT_TRUE(focusOn(app, 8102)) << "the focus starts on Scan";
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8103));
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8102)) << "Report is disabled";
    ASSERT_TRUE(keyTo(app, VK_RIGHT, 8103));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8401); })) << "Action on Settings opens the settings";

    // The language list keeps Up and Down: the language changes at once.
    ASSERT_TRUE(focusOn(app, 8401));
    key(app, VK_DOWN);
    ASSERT_TRUE(app.waitText(8403, L"Termin\u00e9", 5000));
    key(app, VK_UP);
    ASSERT_TRUE(app.waitText(8403, L"Done", 5000));
    // Right leaves the list without choosing another language.
    ASSERT_TRUE(keyTo(app, VK_RIGHT, 8404));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.checked(8404); })) << "Action ticks the storage card";
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8409));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return !app.checked(8409); }));
    // The drop-down list turns with Down, and hands it on at its last row.
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8410));
    key(app, VK_DOWN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.selection(8410) == 2; }));
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8402));
    ASSERT_TRUE(keyTo(app, VK_RIGHT, 8403));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); })) << "Done leads to the main screen";
    expectStoredSettings();

    // The scan and a deletion; then the next file is chosen.
    int found = 0;
    ASSERT_NO_FATAL_FAILURE(scanAndDeleteTheFirstFile(app, &found));
    EXPECT_EQ(focusedId(app), 116);
    EXPECT_EQ(listFocus(app), 0);
    EXPECT_TRUE(app.enabled(8206));

    // Down at the last file leaves the list for Delete, then Done.
    while (listFocus(app) < found - 2) {
        int before = listFocus(app);
        key(app, VK_DOWN);
        ASSERT_TRUE(waitFor(5000, [&] { return listFocus(app) == before + 1; }));
    }
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8206));
    ASSERT_TRUE(keyTo(app, VK_DOWN, 8207));

    // Done asks first; after No the screen stays as it was, focus and all.
    key(app, VK_RETURN);
    std::wstring question;
    ASSERT_TRUE(app.answerBox(IDNO, nullptr, &question));
    EXPECT_EQ(utf8(question), "You have still infected files in your system. Would you like skip them ?");
    ASSERT_TRUE(focusOn(app, 8207)) << "the focus comes back to Done";
    zbauto::waitScreenStill(300, 5000);
    EXPECT_EQ(utf8(app.text(8211)), "Finished") << "a repaint keeps the end of the scan";
    key(app, VK_RETURN);
    ASSERT_TRUE(enterInBox(app, &question)) << "Action on Yes";
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(118); }));

    // The report: the focus on Back; Up goes into the text and, from its
    // first line, back to Back; Action returns to the main screen.
    ASSERT_TRUE(focusOn(app, 8318));
    ASSERT_TRUE(keyTo(app, VK_UP, 118));
    ASSERT_TRUE(keyTo(app, VK_UP, 8318));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); }));
    ASSERT_TRUE(focusOn(app, 8102));
    EXPECT_TRUE(app.enabled(8104)) << "the report enables Report";
    EXPECT_NE(app.report().find("Scan process completed."), std::string::npos);
}

TEST(ZerbinKeys, HandheldPcJobByTheKeyboard) {
    Job job;
    ZerbinApp& app = job.app;
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;

    // The button column, by Tab and Shift+Tab, past the disabled Report.
    ASSERT_TRUE(focusOn(app, 8102)) << "the focus starts on Scan";
    ASSERT_TRUE(keyTo(app, VK_TAB, 8103));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8120));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8102)) << "Tab wraps around";
    ASSERT_TRUE(shiftTabTo(app, 8120));
    ASSERT_TRUE(shiftTabTo(app, 8103));
    // The keyboard's arrows are the controls' own: Down leaves the focus on
    // Settings, from which Tab goes to Exit.
    key(app, VK_DOWN);
    ASSERT_TRUE(keyTo(app, VK_TAB, 8120));
    ASSERT_TRUE(shiftTabTo(app, 8103));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8401); })) << "Enter on Settings opens the settings";

    // Esc does nothing here: Done, the only way out, stores the settings.
    ASSERT_TRUE(focusOn(app, 8401));
    key(app, VK_ESCAPE);
    ASSERT_TRUE(keyTo(app, VK_TAB, 8410)) << "the two lists side by side";
    EXPECT_TRUE(app.exists(8401)) << "Esc left the settings open";
    key(app, VK_DOWN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.selection(8410) == 2; }));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8404));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.checked(8404); }));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8409));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return !app.checked(8409); }));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8402));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8403));
    key(app, VK_RETURN);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8120); })) << "Done leads to the main screen";
    expectStoredSettings();

    // The scan, and a deletion from the list.
    int found = 0;
    ASSERT_NO_FATAL_FAILURE(scanAndDeleteTheFirstFile(app, &found));

    // Esc presses Done, whose question Enter answers Yes.
    key(app, VK_ESCAPE);
    std::wstring question;
    ASSERT_TRUE(enterInBox(app, &question));
    EXPECT_EQ(utf8(question), "You have still infected files in your system. Would you like skip them ?");
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(118); }));

    // The report: Back has the focus, Tab visits the text, Esc goes back.
    ASSERT_TRUE(focusOn(app, 8318));
    ASSERT_TRUE(keyTo(app, VK_TAB, 118));
    ASSERT_TRUE(keyTo(app, VK_TAB, 8318));
    ASSERT_TRUE(keyTo(app, VK_TAB, 118));
    key(app, VK_ESCAPE);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8120); })) << "Esc is Back";
    ASSERT_TRUE(focusOn(app, 8102));
    EXPECT_TRUE(app.enabled(8104)) << "the report enables Report";
}

}  // namespace
