// The Smartphone edition driven as a person holding the phone uses it: the
// soft keys (F1 and F2) and the navigation keys. The soft keys' labels and
// states on every screen and what each translated command does; the
// infected-files screen with Delete (a failed deletion, parentheses in names
// and virus names, the last item) and Skip; a scan without infected files;
// the settings screen's focus chain, spinners and Done; the layout of the
// screens, the same on every visit; and in every language, the controls'
// rectangles where the layout check's models put them, inside the client area
// and apart, and the main screen's lines drawn where the models put them.
// Runs on the portrait Smartphone device and again on the landscape one.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/lang_text.h"
#include "shell/tests/device_fonts.h"
#include "shell/tests/screen_models.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::utf8;
using e2e::ZerbinApp;

constexpr DWORD kScanTimeoutMs = 120000;
using e2e::InfectedFiles;
using e2e::waitFor;

bool landscapeDevice() { return GetSystemMetrics(SM_CXSCREEN) > GetSystemMetrics(SM_CYSCREEN); }

// The soft keys as "label/enabled|label/enabled".
std::string softKeys(const ZerbinApp& app) {
    std::vector<zbauto::SoftKey> keys;
    if (zbauto::readSoftKeys(app.window(), keys) != kStatusOk) return "(no menu bar)";
    std::string out;
    for (const zbauto::SoftKey& k : keys) {
        if (!out.empty()) out += "|";
        out += std::to_string(k.command) + ":" + utf8(k.text) + "/" + (k.enabled ? "on" : "off");
    }
    return out;
}

const std::string kMainKeys = "11000:Scan/on|11001:Settings/on";
const std::string kSettingsKeys = "11000:Update now/on|11001:Done/on";
const std::string kScanKeys = "11000:Cancel/on|11001:/off";
const std::string kInfectedKeys = "11000:Delete/on|11001:Skip/on";
const std::string kReportKeys = "11000:Back/on|11001:/off";

bool waitKeys(const ZerbinApp& app, const std::string& keys, DWORD timeoutMs = 10000) {
    return waitFor(timeoutMs, [&] { return softKeys(app) == keys; });
}

// A key press (down and up) to the control with the keyboard focus.
void key(const ZerbinApp& app, UINT vk) {
    HWND target = zbauto::focusOf(app.window());
    zbauto::postKey(target ? target : app.window(), vk);
    Sleep(150);
}
void softKey1(const ZerbinApp& app) { key(app, VK_F1); }
void softKey2(const ZerbinApp& app) { key(app, VK_F2); }

int focusedId(const ZerbinApp& app) {
    HWND focus = zbauto::focusOf(app.window());
    return focus ? GetDlgCtrlID(focus) : 0;
}

bool visible(const ZerbinApp& app, int id) {
    bool shown = false;
    return app.exists(id) && zbauto::readVisible(app.control(id, 0), shown) == kStatusOk && shown;
}

RECT rectOf(const ZerbinApp& app, int id) {
    RECT r{};
    zbauto::readRect(app.control(id, 1000), r);
    return r;
}

DWORD styleOf(const ZerbinApp& app, int id) {
    DWORD style = 0, ex = 0;
    zbauto::readStyle(app.control(id, 1000), style, ex);
    return style;
}

std::string started(ZerbinApp& app) {
    std::string why;
    if (!app.startAndWait(why)) return why;
    return waitKeys(app, kMainKeys) ? "" : "main soft keys: " + softKeys(app);
}

std::vector<std::wstring> lines(const ZerbinApp& app) {
    std::vector<std::wstring> out;
    for (auto& row : app.listItems(10009)) out.push_back(row.empty() ? L"" : row[0]);
    return out;
}

TEST(ZerbinSmartphone, SoftKeysOnEveryScreenAndEveryTranslatedCommand) {
    InfectedFiles files;
    files.put(L"a.exe");
    ZerbinApp app;
    app.writeDatabase();
    ASSERT_EQ(started(app), "");
    EXPECT_FALSE(app.exists(8102)) << "no push buttons: the soft keys stand for them";

    // Back (command 2) on the main screen goes to the default handling: nothing.
    app.command(2);
    Sleep(300);
    EXPECT_EQ(softKeys(app), kMainKeys);

    // Right soft key: settings; Back there is Done.
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kSettingsKeys)) << softKeys(app);
    EXPECT_TRUE(app.exists(8401));
    app.command(2);
    ASSERT_TRUE(waitKeys(app, kMainKeys)) << softKeys(app);
    EXPECT_FALSE(app.exists(8401));
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kSettingsKeys));
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kMainKeys));

    // Left soft key: the scan. Its Cancel (left key) asks; No goes on.
    softKey1(app);
    ASSERT_TRUE(waitFor(10000, [&] { return app.exists(8211); }));
    softKey1(app);
    std::wstring caption, text;
    bool asked = app.answerBox(IDNO, &caption, &text, 3000);
    if (asked) {
        EXPECT_EQ(utf8(text), "Are you sure you want to terminate scan process ?");
        EXPECT_EQ(softKeys(app), kScanKeys) << "while the question is open";
        // The right soft key does nothing on the scan screen; Back is Cancel.
        app.command(11001);
        Sleep(300);
        EXPECT_FALSE(app.boxOpen(0));
        app.command(2);
        EXPECT_TRUE(app.answerBox(IDNO, nullptr, &text, 5000)) << "Back asks as Cancel does";
    }
    // The scan ends with the infected file: the infected-files screen.
    ASSERT_TRUE(waitKeys(app, kInfectedKeys, kScanTimeoutMs)) << softKeys(app);
    EXPECT_TRUE(visible(app, 10009));
    EXPECT_FALSE(app.exists(8211));
    EXPECT_EQ(app.text(8211), L"");
    // Back on the infected files: the default handling, nothing.
    app.command(2);
    Sleep(300);
    EXPECT_EQ(softKeys(app), kInfectedKeys);

    // Skip (right key): the report, read-only, with Back on the left and the right key off.
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kReportKeys)) << softKeys(app);
    EXPECT_FALSE(app.exists(10009)) << "the list goes with its screen";
    EXPECT_FALSE(app.exists(8318)) << "no Back push button";
    // The platform's edit control draws its border itself (it may take
    // WS_BORDER off for a client edge).
    EXPECT_EQ(styleOf(app, 118) | WS_BORDER, 0x50B008C4u);
    EXPECT_EQ(focusedId(app), 118);
    EXPECT_NE(app.text(118).find(L"a.exe [L] is infected by Test.Virus"), std::wstring::npos);
    // The right soft key does nothing there; Back (command 2) returns to the main screen.
    app.command(11001);
    Sleep(300);
    EXPECT_EQ(softKeys(app), kReportKeys);
    app.command(2);
    ASSERT_TRUE(waitKeys(app, kMainKeys)) << softKeys(app);
    EXPECT_FALSE(app.exists(118));
    // And the left soft key there (Back) as well.
    softKey1(app);
    ASSERT_TRUE(waitKeys(app, kInfectedKeys, kScanTimeoutMs));
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kReportKeys));
    softKey1(app);
    ASSERT_TRUE(waitKeys(app, kMainKeys)) << softKeys(app);
}

TEST(ZerbinSmartphone, ScanWithoutInfectedFilesGoesStraightToTheReport) {
    ZerbinApp app;
    app.writeCleanDatabase();
    ASSERT_EQ(started(app), "");
    bool infectedScreenSeen = false;
    softKey1(app);
    ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] {
        if (softKeys(app) == kInfectedKeys || visible(app, 10009)) infectedScreenSeen = true;
        return softKeys(app) == kReportKeys;
    })) << softKeys(app);
    EXPECT_FALSE(infectedScreenSeen);
    EXPECT_NE(app.text(118).find(L"Known viruses: 0"), std::wstring::npos);
}

TEST(ZerbinSmartphone, InfectedFilesDeletedByTheirPathUntilTheLastOpensTheReport) {
    InfectedFiles files;
    std::wstring plain = files.put(L"a.exe");
    std::wstring parenthesised = files.put(L"setup (1).exe");
    std::wstring third = files.put(L"z.exe");
    ZerbinApp app;
    app.writeDatabaseNamed("W32.Test (B)");
    e2e::writeSetting(L"Report", 2 | 16);  // the exact mark as well
    ASSERT_EQ(started(app), "");
    softKey1(app);
    ASSERT_TRUE(waitKeys(app, kInfectedKeys, kScanTimeoutMs)) << softKeys(app);

    std::vector<std::wstring> listed = lines(app);
    ASSERT_EQ(listed.size(), 3u);
    for (const std::wstring& path : {plain, parenthesised, third}) {
        std::wstring name = path.substr(path.rfind(L'\\') + 1);
        std::wstring line = name + L" (" + path + L") is infected by W32.Test (B) (exact)";
        EXPECT_NE(std::find(listed.begin(), listed.end(), line), listed.end()) << utf8(line);
    }
    HWND list = app.control(10009);
    int focused = -1, selected = -1;
    zbauto::listViewNext(list, LVNI_FOCUSED, focused);
    zbauto::listViewNext(list, LVNI_SELECTED, selected);
    EXPECT_EQ(focused, 0);
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(focusedId(app), 10009) << "the list has the keyboard focus";
    // (The list adds its own scroll bars as its lines need them.)
    EXPECT_EQ(styleOf(app, 10009) & ~(WS_VISIBLE | WS_HSCROLL | WS_VSCROLL), 0x4081400Du);

    // A file that cannot be deleted stays listed, and the user is told.
    std::wstring first = listed[0].substr(listed[0].find(L" (\\") + 2);
    first = first.substr(0, first.find(L") is infected"));
    HANDLE holder = CreateFileW(first.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE) << utf8(first);
    softKey1(app);
    std::wstring caption, text;
    ASSERT_TRUE(app.answerBox(IDOK, &caption, &text));
    EXPECT_EQ(utf8(text), "The file could not be deleted.\r\n\r\nError code: 32");
    EXPECT_EQ(lines(app).size(), 3u);
    EXPECT_NE(GetFileAttributesW(first.c_str()), INVALID_FILE_ATTRIBUTES);
    CloseHandle(holder);

    // Down to the file whose name holds parentheses, and Delete: that file goes.
    int target = -1;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i].rfind(L"setup (1).exe (", 0) == 0) target = int(i);
    }
    ASSERT_GE(target, 0);
    for (int i = 0; i < target; ++i) key(app, VK_DOWN);
    zbauto::listViewNext(list, LVNI_FOCUSED, focused);
    ASSERT_EQ(focused, target);
    softKey1(app);
    ASSERT_TRUE(waitFor(5000, [&] { return lines(app).size() == 2; }));
    EXPECT_EQ(GetFileAttributesW(parenthesised.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(third.c_str()), INVALID_FILE_ATTRIBUTES);
    // The last item is then selected and focused.
    zbauto::listViewNext(list, LVNI_FOCUSED, focused);
    zbauto::listViewNext(list, LVNI_SELECTED, selected);
    EXPECT_EQ(focused, 1);
    EXPECT_EQ(selected, 1);

    // The other two: deleting the last one shows the report.
    softKey1(app);
    ASSERT_TRUE(waitFor(5000, [&] { return lines(app).size() == 1; }));
    EXPECT_EQ(softKeys(app), kInfectedKeys);
    softKey1(app);
    ASSERT_TRUE(waitKeys(app, kReportKeys)) << softKeys(app);
    EXPECT_FALSE(app.exists(10009));
    EXPECT_FALSE(app.boxOpen(0));
    EXPECT_EQ(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(third.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ZerbinSmartphone, SettingsFocusChainSpinnersAndDone) {
    ZerbinApp app;
    app.writeCleanDatabase();
    e2e::writeSetting(L"Report", 2);
    ASSERT_EQ(started(app), "");
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kSettingsKeys));
    EXPECT_EQ(focusedId(app), 8401);
    EXPECT_EQ(styleOf(app, 8401) & ~WS_CHILD, 0x10010100u);
    // (The arrows draw their own edge: the platform may take WS_BORDER off.)
    EXPECT_EQ((styleOf(app, 10003) & ~WS_CHILD) | WS_BORDER, 0x10800277u);
    EXPECT_EQ((styleOf(app, 10007) & ~WS_CHILD) | WS_BORDER, 0x10800277u);
    EXPECT_EQ(app.selection(8410), 1);

    // Down: language, report level, storage card, auto-update, and round again.
    const int chain[] = {8401, 8410, 8404, 8409};
    for (int step = 1; step <= 5; ++step) {
        key(app, VK_DOWN);
        EXPECT_EQ(focusedId(app), chain[step % 4]) << "Down, step " << step;
    }
    // Now on 8410. Up: one press moves once, back round past the language.
    const int back[] = {8401, 8409, 8404, 8410, 8401};
    for (int expected : back) {
        key(app, VK_UP);
        EXPECT_EQ(focusedId(app), expected) << "Up";
    }

    // Right on the language spinner: French at once, labels and soft keys.
    key(app, VK_RIGHT);
    ASSERT_TRUE(waitKeys(app, "11000:Mettre à jour/on|11001:Terminé/on")) << softKeys(app);
    EXPECT_EQ(utf8(app.text(8404)), "Analyser la carte mémoire");
    EXPECT_EQ(app.selection(8401), 2);
    EXPECT_EQ(app.selection(8410), 1) << "the report level is kept";
    EXPECT_EQ(app.rows(8410).size(), 3u);
    key(app, VK_LEFT);
    ASSERT_TRUE(waitKeys(app, kSettingsKeys)) << softKeys(app);
    EXPECT_EQ(utf8(app.text(8400)), "Change the language:");

    // The report level one on (row 2: 6), the storage card ticked, Done.
    key(app, VK_DOWN);
    key(app, VK_RIGHT);
    EXPECT_EQ(app.selection(8410), 2);
    key(app, VK_DOWN);
    key(app, VK_SPACE);
    EXPECT_TRUE(app.checked(8404));
    softKey2(app);
    ASSERT_TRUE(waitKeys(app, kMainKeys)) << softKeys(app);
    for (int id : {8400, 8401, 8408, 8410, 8404, 8409, 10003, 10007}) EXPECT_FALSE(app.exists(id)) << id;
    DWORD level = 0, card = 0, language = 0;
    ASSERT_TRUE(e2e::readSetting(L"Report", level));
    ASSERT_TRUE(e2e::readSetting(L"StorageCard", card));
    ASSERT_TRUE(e2e::readSetting(L"Language", language));
    EXPECT_EQ(level, 6u);
    EXPECT_EQ(card, 1u);
    EXPECT_EQ(language, 9u);

    // Done applied the monitor's autostart: a Startup shortcut to the monitor
    // beside the program, and nothing in the boot start list.
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
    const std::wstring shortcut = std::wstring(folder) + L"\\zbMonitor.lnk";
    std::vector<uint8_t> bytes = e2e::readFileBytes(shortcut);
    std::string content(bytes.begin(), bytes.end());
    const std::string target = "\"" + utf8(app.path(L"zbMonitor.exe")) + "\"";
    EXPECT_EQ(content, std::to_string(target.size()) + "#" + target);
    DeleteFileW(shortcut.c_str());
    HKEY init = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_READ, &init) == ERROR_SUCCESS) {
        wchar_t name[64], data[MAX_PATH];
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = 64, dataSize = sizeof data, type = 0;
            if (RegEnumValueW(init, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
                ERROR_SUCCESS) {
                break;
            }
            if (type == REG_SZ) {
                EXPECT_EQ(std::wstring(data).find(L"zbMonitor"), std::wstring::npos) << utf8(name);
            }
        }
        RegCloseKey(init);
    }
}

TEST(ZerbinSmartphone, ScreenLayoutTheSameOnEveryVisit) {
    ZerbinApp app;
    app.writeCleanDatabase();
    ASSERT_EQ(started(app), "");
    RECT client{};
    GetClientRect(app.window(), &client);
    const int W = client.right;

    // The settings screen twice: the same places each time.
    RECT first[4], second[4];
    const int ids[4] = {8401, 8408, 8410, 8409};
    for (RECT* places : {first, second}) {
        softKey2(app);
        ASSERT_TRUE(waitKeys(app, kSettingsKeys));
        for (int i = 0; i < 4; ++i) places[i] = rectOf(app, ids[i]);
        softKey2(app);
        ASSERT_TRUE(waitKeys(app, kMainKeys));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(first[i].top, second[i].top) << ids[i];
        EXPECT_EQ(first[i].left, second[i].left) << ids[i];
    }
    // The settings lines: label 8408 at 3h + 2, the language list at 2h - 5
    // (its arrows take the right end of its place).
    const int h = (first[1].top - 2) / 3;
    EXPECT_EQ(first[1].top, 3 * h + 2);
    EXPECT_EQ(first[0].top, 2 * h - 5);
    EXPECT_EQ(first[0].left, 6);
    EXPECT_EQ(first[0].bottom - first[0].top, h + 2);
    EXPECT_EQ(first[2].top, 4 * h + 3);
    EXPECT_EQ(first[3].top, 7 * h - 7);

    // The scan screen after those visits: its current-file text at (6, 2H),
    // H the full line height, or half a line higher in landscape; the
    // settings use H too, in landscape as well (5 less would put the report
    // level's spinner over the storage-card box).
    softKey1(app);
    ASSERT_TRUE(waitFor(10000, [&] { return app.exists(8211); }));
    RECT current = rectOf(app, 8211);
    const int H = (current.bottom - current.top) / 3;
    EXPECT_EQ(current.top, landscapeDevice() ? 2 * H - H / 2 : 2 * H);
    EXPECT_EQ(current.left, 6);
    EXPECT_EQ(current.right - current.left, W - 12);
    EXPECT_EQ(h, H);
    ASSERT_TRUE(waitKeys(app, kReportKeys, kScanTimeoutMs));
    RECT report = rectOf(app, 118);
    EXPECT_EQ(report.top, 2 * H);
    EXPECT_EQ(report.left, 0);
    EXPECT_EQ(report.right, W);
    EXPECT_EQ(report.bottom, client.bottom);
}

// ---- every language, against the layout check's models ----

std::string_view resource(const wchar_t* type, const wchar_t* name) {
    HRSRC found = FindResourceW(nullptr, name, type);
    HGLOBAL data = found ? LoadResource(nullptr, found) : nullptr;
    if (!data) return {};
    return {static_cast<const char*>(LockResource(data)), SizeofResource(nullptr, found)};
}

screens::Texts textsOf(const LanguageEntry& language) {
    std::string_view file = resource(L"LANG", MAKEINTRESOURCEW(language.resourceId));
    return [file](uint32_t id) {
        char16_t buffer[kLanguageTextCapacity + 1];
        return std::u16string(buffer, langTextCopy(file.data(), file.size(), id, buffer, kLanguageTextCapacity + 1));
    };
}

std::string keysOf(const screens::Texts& texts, uint32_t left, uint32_t right) {
    auto label = [&](uint32_t id) {
        const std::u16string text = texts(id);
        return utf8(std::wstring(text.begin(), text.end()));
    };
    return "11000:" + label(left) + "/on|11001:" + label(right) + "/on";
}

ControlPlace placeOf(const ZerbinApp& app, int id) {
    RECT r = rectOf(app, id);
    return {int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)};
}

std::string describe(const ControlPlace& p) {
    return std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height);
}

// The model of one screen, by the end of its name.
const screens::ScreenModel* screenNamed(const std::vector<screens::ScreenModel>& all, const std::string& name) {
    for (const screens::ScreenModel& s : all) {
        const bool endsWithName = s.name.size() >= name.size() &&
                                  s.name.compare(s.name.size() - name.size(), name.size(), name) == 0;
        if (endsWithName) return &s;
    }
    return nullptr;
}

// Each control of the model where the model puts it; and the screen as the
// device has it (the controls' rectangles read back) inside the client area,
// with no control over another.
void expectAsModelled(const ZerbinApp& app, const screens::ScreenModel* model) {
    ASSERT_NE(model, nullptr);
    screens::ScreenModel read = *model;
    read.texts.clear();
    for (screens::ModelControl& control : read.controls) {
        ControlPlace place = placeOf(app, control.id);
        EXPECT_EQ(describe(place), describe(control.place)) << model->name << ", control " << control.id;
        control.place = place;
    }
    for (const std::string& fault : screens::layoutFaults(read)) ADD_FAILURE() << "on the device: " << fault;
}

// Where the main screen drew something other than white below the picture
// that the model has no line for (none: the lines are where the model puts
// them). One pixel of room either side for the glyphs' overhang.
std::string drawnOutsideTheLines(const ZerbinApp& app, const screens::ScreenModel& model) {
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (zbauto::waitScreenStill(300, 5000) != kStatusOk || zbauto::captureScreen(rgb, width, height) != kStatusOk) {
        return "no screenshot";
    }
    RECT client{};
    GetClientRect(app.window(), &client);
    POINT origin{0, 0};
    ClientToScreen(app.window(), &origin);
    int firstLine = client.bottom;
    for (const screens::ModelText& t : model.texts) firstLine = t.place.y < firstLine ? t.place.y : firstLine;
    for (int y = firstLine; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            const uint8_t* p = &rgb[(size_t(origin.y + y) * width + origin.x + x) * 3];
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) continue;
            bool onALine = false;
            for (const screens::ModelText& t : model.texts) {
                const ControlPlace& at = t.place;
                onALine = onALine || (y >= at.y && y < at.y + at.height && x >= at.x - 1 && x <= at.x + at.width);
            }
            if (!onALine) return "a pixel at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return "";
}

// The device's fonts and screen, as the layout check takes them.
class ZerbinSmartphoneLayout : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(fonts.parse(resource(RT_RCDATA, L"DEVICE_FONTS"), error)) << error;
    }

    DeviceFontTable fonts;
    const bool sideways = landscapeDevice();
    const screens::DeviceScreen& device = sideways ? screens::kSmartphoneSidewaysScreen : screens::kSmartphoneScreen;
};

TEST_F(ZerbinSmartphoneLayout, EveryScreenWhereTheLayoutCheckPutsItInEveryLanguage) {

    for (const LanguageEntry& language : kLanguageTable) {
        SCOPED_TRACE("language " + std::to_string(language.primaryId));
        const screens::Texts texts = textsOf(language);
        // The main screen shows the clean database's version.
        const auto models = screens::smartphoneScreens(device, sideways, fonts, texts, language.primaryId, u"1.3");
        ZerbinApp app;
        app.writeCleanDatabase();
        e2e::writeSetting(L"Language", language.primaryId);
        std::string why;
        ASSERT_TRUE(app.startAndWait(why)) << why;
        ASSERT_TRUE(waitKeys(app, keysOf(texts, 10000, 10001))) << softKeys(app);

        // The device's screen is the one the layout check lays out.
        RECT client{};
        GetClientRect(app.window(), &client);
        EXPECT_EQ(client.right, device.clientWidth);
        EXPECT_EQ(client.bottom, device.clientHeight);
        // Main, never checked for updates: what is drawn lies on the model's lines.
        EXPECT_EQ(drawnOutsideTheLines(app, models.front()), "") << models.front().name;

        softKey2(app);
        ASSERT_TRUE(waitKeys(app, keysOf(texts, 10013, 8403))) << softKeys(app);
        expectAsModelled(app, screenNamed(models, "settings"));
    }
}

TEST_F(ZerbinSmartphoneLayout, ScanInfectedAndReportScreensWhereTheLayoutCheckPutsThem) {
    // Portuguese: the widest labels of the scan screen.
    const LanguageEntry portuguese{22, 125};
    const screens::Texts texts = textsOf(portuguese);
    const auto models = screens::smartphoneScreens(device, sideways, fonts, texts, portuguese.primaryId);

    InfectedFiles files;
    files.put(L"a.exe");
    ZerbinApp app;
    app.writeDatabase();
    e2e::writeSetting(L"Language", portuguese.primaryId);
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    ASSERT_TRUE(waitKeys(app, keysOf(texts, 10000, 10001))) << softKeys(app);
    softKey1(app);
    ASSERT_TRUE(waitFor(10000, [&] { return app.exists(8213); }));
    expectAsModelled(app, screenNamed(models, "scan"));

    const std::string infectedKeys = keysOf(texts, 8206, 10011);
    ASSERT_TRUE(waitKeys(app, infectedKeys, kScanTimeoutMs)) << softKeys(app);
    expectAsModelled(app, screenNamed(models, "infected files"));
    softKey2(app);
    ASSERT_TRUE(waitFor(10000, [&] { return app.exists(118) && !app.exists(10009); }));
    expectAsModelled(app, screenNamed(models, "report"));
}

}  // namespace
