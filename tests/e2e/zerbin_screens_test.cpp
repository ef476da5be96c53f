// zerbin's screens driven as a person uses them: a scan that finds nothing,
// a scan that finds infected files (the list, Delete, the question on
// leaving), an infected archive, Cancel with No and Yes, closing during a scan, and the settings
// screen with its immediate language switch and Done.
#include <windows.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::ZerbinApp;
using e2e::utf8;

constexpr DWORD kScanTimeoutMs = 120000;
using e2e::InfectedFiles;
using e2e::waitFor;

// "name (path)" as the list shows a file.
std::wstring item(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1) + L" (" + path + L")"; }

int itemIndex(const ZerbinApp& app, const std::wstring& path) {
    auto items = app.listItems(116);
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].empty() && items[i][0] == item(path)) return int(i);
    }
    return -1;
}

// A ZIP of one deflated member, made with zlib: the member's bytes appear
// nowhere in the file, so only the scan of its members can find them.
std::string zipOf(const std::string& name, const std::string& content) {
    std::string packed(compressBound(uLong(content.size())) + 16, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    z.avail_in = uInt(content.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    // Little-endian fields of the given widths.
    auto fields = [](std::string& out, std::initializer_list<std::pair<uint32_t, int>> list) {
        for (auto [value, bytes] : list) {
            for (int i = 0; i < bytes; ++i) out += char(value >> (8 * i));
        }
    };
    const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size()));
    const uint32_t packedSize = uint32_t(packed.size()), size = uint32_t(content.size()), nameSize = uint32_t(name.size());
    std::string zip;
    fields(zip, {{0x04034b50, 4}, {20, 2}, {0, 2}, {8, 2}, {0, 4}, {crc, 4}, {packedSize, 4}, {size, 4}, {nameSize, 2}, {0, 2}});
    zip += name + packed;
    const uint32_t directory = uint32_t(zip.size());
    fields(zip, {{0x02014b50, 4}, {20, 2}, {20, 2}, {0, 2}, {8, 2}, {0, 4}, {crc, 4}, {packedSize, 4}, {size, 4},
                 {nameSize, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 4}, {0, 4}});
    zip += name;
    const uint32_t directorySize = uint32_t(zip.size()) - directory;
    fields(zip, {{0x06054b50, 4}, {0, 4}, {1, 2}, {1, 2}, {directorySize, 4}, {directory, 4}, {0, 2}});
    return zip;
}

bool onReportScreen(const ZerbinApp& app) { return app.exists(118) && app.exists(8318); }

// The number after "Scanned files: " in the report.
long scannedInReport(const std::string& report) {
    size_t at = report.find("Scanned files: ");
    return at == std::string::npos ? -1 : std::stol(report.substr(at + 15));
}

TEST(ZerbinScreens, CleanScanGoesStraightToTheReport) {
    ZerbinApp app;
    app.writeCleanDatabase();
    DeleteFileW(app.path(L"report.txt").c_str());
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8102);
    ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] { return onReportScreen(app); })) << "the report screen opens by itself";
    EXPECT_FALSE(app.exists(116));
    std::string report = app.report();
    EXPECT_EQ(report.rfind("Report list of zerbin! antivirus v.4.1.19\r\n", 0), 0u);
    EXPECT_NE(report.find("Known viruses: 0\r\n"), std::string::npos);
    EXPECT_GT(scannedInReport(report), 100);
    std::wstring shown = app.text(118);
    EXPECT_NE(shown.find(L"Scan process completed."), std::wstring::npos) << "the screen shows the report";
    EXPECT_EQ(utf8(app.text(8318)), "Back");

    app.press(8318);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); }));
    EXPECT_TRUE(app.enabled(8104)) << "the new report enables Report";
}

TEST(ZerbinScreens, InfectedFilesAreListedDeletedAndLeftWithAQuestion) {
    InfectedFiles files;
    std::wstring plain = files.put(L"a.exe");
    std::wstring parenthesised = files.put(L"setup (1).exe");
    std::wstring anchored = files.put(L"anchored.bin", e2e::anchoredPattern() + " at the start");
    std::wstring card = L"\\Storage Card\\e2e-card.exe";
    e2e::writeFile(card, e2e::infectedContent());

    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8102);
    ASSERT_TRUE(app.waitText(8211, L"Finished", kScanTimeoutMs));
    EXPECT_EQ(utf8(app.text(8207)), "Done");
    EXPECT_EQ(utf8(app.text(8213)), "3") << "the storage card is not scanned by default";
    EXPECT_GT(std::stol(app.text(8212)), 100);

    auto items = app.listItems(116);
    ASSERT_EQ(items.size(), 3u);
    std::vector<std::wstring> listed;
    for (auto& row : items) listed.push_back(row[0] + L" | " + row[1]);
    std::sort(listed.begin(), listed.end());
    std::vector<std::wstring> expected = {item(plain) + L" | Test.Virus", item(parenthesised) + L" | Test.Virus",
                                          item(anchored) + L" | Test.Anchored"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);

    // Delete does nothing before an item is chosen.
    EXPECT_FALSE(app.enabled(8206));
    app.command(8206);
    Sleep(300);
    EXPECT_EQ(app.listItems(116).size(), 3u);
    EXPECT_FALSE(app.boxOpen(0));

    // The file whose name holds parentheses: re-scanned, then deleted.
    ASSERT_EQ(zbauto::listViewClick(app.control(116), itemIndex(app, parenthesised)), kStatusOk);
    ASSERT_TRUE(waitFor(5000, [&] { return app.enabled(8206); })) << "the chosen file still exists";
    EXPECT_EQ(utf8(app.text(8206)), "Delete");
    app.press(8206);
    ASSERT_TRUE(waitFor(5000, [&] { return app.listItems(116).size() == 2; }));
    EXPECT_EQ(GetFileAttributesW(parenthesised.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES);

    // A file that cannot be deleted stays listed, and the user is told.
    HANDLE holder = CreateFileW(plain.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_EQ(zbauto::listViewClick(app.control(116), itemIndex(app, plain)), kStatusOk);
    ASSERT_TRUE(waitFor(5000, [&] { return app.enabled(8206); }));
    app.press(8206);
    std::wstring caption, text;
    ASSERT_TRUE(app.answerBox(IDOK, &caption, &text));
    EXPECT_EQ(utf8(caption), "zerbin! antivirus");
    EXPECT_EQ(utf8(text), "The file could not be deleted.\r\n\r\nError code: 32");
    EXPECT_EQ(app.listItems(116).size(), 2u);
    EXPECT_NE(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES);
    CloseHandle(holder);

    // Leaving with a file still listed asks first; No stays.
    app.press(8207);
    ASSERT_TRUE(app.answerBox(IDNO, &caption, &text));
    EXPECT_EQ(utf8(caption), "zerbin! antivirus");
    EXPECT_EQ(utf8(text), "You have still infected files in your system. Would you like skip them ?");
    Sleep(300);
    EXPECT_TRUE(app.exists(116));
    app.press(8207);
    ASSERT_TRUE(app.answerBox(IDYES));
    ASSERT_TRUE(waitFor(5000, [&] { return onReportScreen(app); }));
    std::string report = app.report();
    EXPECT_NE(report.find(utf8(plain) + " [L] is infected by Test.Virus\r\n"), std::string::npos);
    EXPECT_NE(report.find(utf8(anchored) + " [L] is infected by Test.Anchored\r\n"), std::string::npos);
    EXPECT_EQ(report.find("e2e-card.exe"), std::string::npos);
    DeleteFileW(card.c_str());
}

// An archive whose member is infected: listed as the archive with the
// virus, reported with the member's name, re-checked on selection through
// its members so that Delete removes it. With ScanArchives 0 it is a plain
// file, and clean.
TEST(ZerbinScreens, AnInfectedArchiveIsListedReportedAndDeleted) {
    InfectedFiles files;
    std::wstring archive = files.put(L"photos.zip", zipOf("holiday/a.exe", e2e::infectedContent()));
    {
        ZerbinApp app;
        app.writeDatabase();
        e2e::writeSetting(L"ScanArchives", 0);
        std::string why;
        ASSERT_TRUE(app.startAndWait(why)) << why;
        app.press(8102);
        ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] { return onReportScreen(app); })) << "switched off: nothing found";
        EXPECT_EQ(app.report().find("photos.zip"), std::string::npos);
    }
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8102);
    ASSERT_TRUE(app.waitText(8211, L"Finished", kScanTimeoutMs));
    auto items = app.listItems(116);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0][0] + L" | " + items[0][1], item(archive) + L" | Test.Virus");
    EXPECT_NE(app.report().find(utf8(archive) + " > holiday/a.exe [L] is infected by Test.Virus\r\n"), std::string::npos);

    ASSERT_EQ(zbauto::listViewClick(app.control(116), 0), kStatusOk);
    ASSERT_TRUE(waitFor(5000, [&] { return app.enabled(8206); })) << "the re-check finds the member";
    app.press(8206);
    ASSERT_TRUE(waitFor(5000, [&] { return onReportScreen(app); }));
    EXPECT_EQ(GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES) << "Delete removes the archive";
}

TEST(ZerbinScreens, DeletingTheLastListedFileOpensTheReport) {
    InfectedFiles files;
    std::wstring only = files.put(L"only.exe");
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8102);
    ASSERT_TRUE(app.waitText(8211, L"Finished", kScanTimeoutMs));
    ASSERT_EQ(app.listItems(116).size(), 1u);
    ASSERT_EQ(zbauto::listViewClick(app.control(116), 0), kStatusOk);
    ASSERT_TRUE(waitFor(5000, [&] { return app.enabled(8206); }));
    app.press(8206);
    ASSERT_TRUE(waitFor(5000, [&] { return onReportScreen(app); })) << "no question: nothing is left";
    EXPECT_FALSE(app.boxOpen(0));
    EXPECT_EQ(GetFileAttributesW(only.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ZerbinScreens, CancelWithNoGoesOnAndWithYesStops) {
    ZerbinApp app;
    app.writeCleanDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;

    // A whole scan, for the count.
    app.press(8102);
    ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] { return onReportScreen(app); }));
    long whole = scannedInReport(app.report());
    ASSERT_GT(whole, 100);
    app.press(8318);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); }));

    // No: the scan goes on where it was, no file skipped.
    app.press(8102);
    app.press(8207);
    std::wstring caption, text;
    ASSERT_TRUE(app.answerBox(IDNO, &caption, &text));
    EXPECT_EQ(utf8(text), "Are you sure you want to terminate scan process ?");
    EXPECT_EQ(utf8(caption), "zerbin! antivirus");
    ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] { return onReportScreen(app); }));
    EXPECT_EQ(scannedInReport(app.report()), whole);
    app.press(8318);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); }));

    // Yes: the walk stops at the next file; the report is complete all the same.
    app.press(8102);
    app.press(8207);
    ASSERT_TRUE(app.answerBox(IDYES));
    ASSERT_TRUE(waitFor(kScanTimeoutMs, [&] { return onReportScreen(app); }));
    std::string report = app.report();
    EXPECT_LT(scannedInReport(report), whole);
    EXPECT_NE(report.find("Scan process completed.\r\n"), std::string::npos);
    EXPECT_NE(report.find("Scan time: "), std::string::npos);
}

TEST(ZerbinScreens, ClosingDuringAScanAsksAndEndsCleanly) {
    ZerbinApp app;
    app.writeCleanDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8102);
    app.command(IDOK);
    ASSERT_TRUE(app.answerBox(IDNO));
    EXPECT_TRUE(IsWindow(app.window())) << "No: the program stays";
    app.command(IDOK);
    if (app.boxOpen(2000)) {
        ASSERT_TRUE(app.answerBox(IDYES));
    }
    EXPECT_EQ(app.waitExit(30000), 0) << "the program ends normally";
    std::string report = app.report();
    EXPECT_NE(report.find("Scan time: "), std::string::npos) << "the scan thread finished its report before the end";
}

TEST(ZerbinScreens, SettingsAreShownSwitchedAndStored) {
    ZerbinApp app;
    app.writeDatabase();
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    app.press(8103);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8401); }));

    std::vector<std::wstring> languages = app.rows(8401);
    ASSERT_EQ(languages.size(), 5u);
    const char* names[5] = {"Česky (Czech)", "English (English)", "Français (French)", "Português (Portugal)",
                            "Slovensky (Slovak)"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(utf8(languages[i]), std::string(names[i]) + std::string(70, ' '));
    EXPECT_EQ(app.selection(8401), 1) << "English";
    std::vector<std::wstring> levels = app.rows(8410);
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(utf8(levels[0]), "All files");
    EXPECT_EQ(utf8(levels[1]), "Infected files");
    EXPECT_EQ(utf8(levels[2]), "Infected files + errors");
    EXPECT_EQ(app.selection(8410), 1) << "report level 2 by default";
    EXPECT_FALSE(app.checked(8404));
    EXPECT_TRUE(app.checked(8409));
    EXPECT_EQ(utf8(app.text(8400)), "Change the language:");
    EXPECT_EQ(utf8(app.text(8402)), "Update");

    // French at once, the report level kept.
    app.select(8401, 2);
    ASSERT_TRUE(waitFor(5000, [&] { return utf8(app.text(8403)) == "Terminé"; }));
    EXPECT_EQ(utf8(app.text(8400)), "Choisissez la langue :");
    EXPECT_EQ(app.selection(8410), 1);
    EXPECT_NE(utf8(app.rows(8410)[0]), "All files");

    app.press(8404);
    app.select(8410, 2);
    ASSERT_TRUE(waitFor(5000, [&] { return app.checked(8404); }));
    app.press(8403);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8102); }));
    EXPECT_EQ(utf8(app.text(8102)), "Analyser");
    DWORD value = 0;
    ASSERT_TRUE(e2e::readSetting(L"Language", value));
    EXPECT_EQ(value, 12u);
    ASSERT_TRUE(e2e::readSetting(L"StorageCard", value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(e2e::readSetting(L"Report", value));
    EXPECT_EQ(value, 6u);
    ASSERT_TRUE(e2e::readSetting(L"AutoUpdate", value));
    EXPECT_EQ(value, 1u);
    std::vector<uint8_t> checkTime;
    ASSERT_TRUE(e2e::readCheckTime(checkTime));
    EXPECT_EQ(checkTime, std::vector<uint8_t>(8, 0));

    // Another language chosen, then the program closed without Done: the
    // stored language stays.
    app.press(8103);
    ASSERT_TRUE(waitFor(5000, [&] { return app.exists(8401); }));
    EXPECT_EQ(app.selection(8410), 2);
    EXPECT_TRUE(app.checked(8404));
    app.select(8401, 0);
    ASSERT_TRUE(waitFor(5000, [&] { return utf8(app.text(8400)) != "Choisissez la langue :"; }));
    app.command(IDOK);
    EXPECT_EQ(app.waitExit(), 0);
    ASSERT_TRUE(e2e::readSetting(L"Language", value));
    EXPECT_EQ(value, 12u);
    app.end();
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_EQ(utf8(app.text(8102)), "Analyser");
}

}  // namespace
