// The scan driver on real folder trees of the test device: the order of the
// walk, the report levels, the list items, the counters, the storage-card and
// dot-folder rules, pause and stop, and files that are locked, protected or
// vanish while the walk runs. A window of the test stands in for the scan
// screen with the controls the scan talks to.
#include "engine/scan.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/fileio.h"
#include "engine/report.h"
#include "engine/tests/file_holder.h"
#include "engine/vps.h"
#include "shell/config.h"
#include "shell/lang.h"
#include "tests/win_files.h"
#include "tools/vps/signatures.h"

Language lang;
Config g_config;

namespace {

// What the scan screen's progress display would show, and a hook the tests
// use to act between two files of the walk.
std::vector<std::wstring> g_progress;
std::function<void(const std::wstring&)> g_onProgress;
int g_scanDoneMessages = 0;
int g_showInfectedMessages = 0;

}  // namespace

// What the scan screen hands the scan driver, taken from the test's g_config.
ScanContext contextFromConfig() {
    g_config.s_report.text = languageText;
    return {g_config.s_nReportLevel, g_config.s_bStorageCard != 0, &g_config.s_bPauseScan, &g_config.s_bStopScan,
            &g_config.s_hScanThread, &g_config.s_szCurrentFile, g_config.s_hMainWnd, &g_config.s_report};
}

void updateScanProgress(HWND) {
    wchar_t current[ProgressText::kCapacity];
    g_config.s_szCurrentFile.copyTo(current, ProgressText::kCapacity);
    g_progress.push_back(current);
    if (g_onProgress) g_onProgress(current);
}

namespace {

using testfiles::removeTree;

LRESULT CALLBACK screenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SCAN_DONE) {
        ++g_scanDoneMessages;
        return 0;
    }
    if (message == WM_SHOW_INFECTED) {
        ++g_showInfectedMessages;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The test's patterns, put together at run time: the program's own file lies
// on the device too and must not carry them whole.
const std::string kPlain = std::string("ZB-PLAIN") + "-VIRUS";
const std::string kAnchored = std::string("ZB-ANCH") + "ORED";

Signature signature(const char* name, const std::string& first, uint16_t flags = 0) {
    Signature s;
    s.name = name;
    s.first.assign(first.begin(), first.end());
    s.flags = flags;
    return s;
}

std::string ansi(const std::wstring& text) {
    char buffer[2048];
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

class ScanTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&classes);
        WNDCLASSW wc{};
        wc.lpfnWndProc = screenProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ZbScanTestScreen";
        RegisterClassW(&wc);

        SignatureList list;
        list.signatures = {signature("Test.Plain", kPlain), signature("Test.Anchored", kAnchored, 1)};
        std::vector<uint8_t> image;
        std::string error;
        ASSERT_EQ(vpsImageBuild(list, image, error), kStatusOk) << error;
        wchar_t folder[kModuleDirectoryCapacity];
        ASSERT_EQ(moduleDirectory(folder), kStatusOk);
        writeBytes(std::wstring(folder) + L"\\zerbinpda.vps", std::string(image.begin(), image.end()));
        ASSERT_EQ(vpsLoad(), kStatusOk);
    }
    static void TearDownTestSuite() { vpsFree(); }

    void SetUp() override {
        lang.Init(9);
        g_progress.clear();
        g_onProgress = nullptr;
        g_scanDoneMessages = 0;
        g_showInfectedMessages = 0;
        g_config.s_nReportLevel = 2;
        g_config.s_bStorageCard = 0;
        g_config.s_bPauseScan = 0;
        g_config.s_bStopScan = 0;
        window_ = CreateWindowExW(0, L"ZbScanTestScreen", L"scan", WS_OVERLAPPEDWINDOW, 0, 0, 240, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        g_config.s_hMainWnd = window_;
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 200, 100, window_,
                                reinterpret_cast<HMENU>(kScanListId), nullptr, nullptr);
        for (int column = 0; column < 2; ++column) {
            LVCOLUMNW c{};
            c.mask = LVCF_WIDTH | LVCF_SUBITEM;
            c.cx = 100;
            c.iSubItem = column;
            SendMessageW(list_, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
        }
        for (int id : {kScanCurrentFileId, 8212, 8213}) {
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window_, reinterpret_cast<HMENU>(INT_PTR(id)),
                            nullptr, nullptr);
        }
        CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD, 0, 0, 10, 10, window_,
                        reinterpret_cast<HMENU>(INT_PTR(kScanCancelId)), nullptr, nullptr);
        root_ = testFolder(L"tree");
        removeTree(root_);
        CreateDirectoryW(root_.c_str(), nullptr);
    }
    void TearDown() override {
        DestroyWindow(window_);
        g_config.s_hMainWnd = nullptr;
    }

    // The tree's folder as the walk sees it: a device path from "\" with a
    // trailing backslash.
    std::wstring deviceFolder() const { return root_.substr(2) + L"\\"; }

    void put(const std::wstring& relative, const std::string& bytes) {
        std::wstring path = root_ + L"\\" + relative;
        for (size_t at = path.find(L'\\', root_.size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
            CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        }
        writeBytes(path, bytes);
    }

    void walk() {
        ScanContext context = contextFromConfig();
        resetCounters(g_config.s_report);
        ASSERT_EQ(reportBegin(g_config.s_report, L"report.txt"), kStatusOk);
        MatchResult result{};
        EXPECT_EQ(scanDirectory(context, deviceFolder().c_str(), result), kStatusOk);
    }

    // The report's entry lines (between the header and the footer).
    std::vector<std::string> entries() {
        std::string bytes;
        FILE* f = _wfopen(g_config.s_report.path, L"rb");
        if (f) {
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
            fclose(f);
        }
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t at; (at = bytes.find("\r\n", start)) != std::string::npos; start = at + 2) {
            lines.push_back(bytes.substr(start, at - start));
        }
        EXPECT_EQ(start, bytes.size()) << "every entry ends its line";
        return lines.size() > 5 ? std::vector<std::string>(lines.begin() + 5, lines.end()) : std::vector<std::string>();
    }

    std::vector<std::wstring> listItems() {
        std::vector<std::wstring> items;
        int count = int(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t first[600] = {}, second[600] = {};
            LVITEMW item{};
            item.pszText = first;
            item.cchTextMax = 600;
            SendMessageW(list_, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            item.iSubItem = 1;
            item.pszText = second;
            SendMessageW(list_, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            items.push_back(std::wstring(first) + L"\t" + second);
        }
        return items;
    }

    std::string devicePath(const std::wstring& relative) { return ansi(deviceFolder() + relative); }

    HWND window_ = nullptr;
    HWND list_ = nullptr;
    std::wstring root_;
};

TEST_F(ScanTest, FilesBeforeSubfoldersDepthFirstAtEveryLevel) {
    g_config.s_nReportLevel = 1;
    put(L"b.txt", "clean");
    put(L"sub\\c.txt", "clean");
    put(L"sub\\deeper\\d.txt", "clean");
    put(L"a.txt", "clean");
    put(L"z\\e.txt", "clean");
    walk();
    std::vector<std::string> lines = entries();
    std::vector<std::string> paths;
    for (const std::string& line : lines) paths.push_back(line.substr(0, line.find(" [")));
    // Within a folder, files first, then each subfolder entirely.
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_TRUE(paths[0] == devicePath(L"a.txt") || paths[0] == devicePath(L"b.txt"));
    EXPECT_TRUE(paths[1] == devicePath(L"a.txt") || paths[1] == devicePath(L"b.txt"));
    EXPECT_EQ(paths[2], devicePath(L"sub\\c.txt"));
    EXPECT_EQ(paths[3], devicePath(L"sub\\deeper\\d.txt"));
    EXPECT_EQ(paths[4], devicePath(L"z\\e.txt"));
    for (const std::string& line : lines) EXPECT_NE(line.find(" [+] is OK"), std::string::npos) << line;
    EXPECT_EQ(g_config.s_report.s_nScanned.load(), 5u);
    // The progress shows the folder's search pattern first (the screen skips
    // it), then the path of the file scanned last.
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.front(), deviceFolder() + L"*.*");
}

TEST_F(ScanTest, DetectionsAtEachReportLevel) {
    put(L"clean.txt", "nothing here");
    put(L"virus.exe", "xx " + kPlain + " xx");
    put(L"start.com", kAnchored + " at the start");
    struct Level {
        uint32_t level;
        std::vector<std::string> lines;
        const wchar_t* plainItem;
    };
    const std::string clean = devicePath(L"clean.txt"), virus = devicePath(L"virus.exe"), start = devicePath(L"start.com");
    for (const Level& level : {
             Level{2, {virus + " [L] is infected by Test.Plain", start + " [L] is infected by Test.Anchored"}, L"Test.Plain"},
             Level{1, {clean + " [+] is OK", virus + " [L] is infected by Test.Plain",
                       start + " [L] is infected by Test.Anchored"}, L"Test.Plain"},
             Level{6, {virus + " [L] is infected by Test.Plain", start + " [L] is infected by Test.Anchored"}, L"Test.Plain"},
             Level{10, {virus + " [L] new or modified variant of Test.Plain",
                        start + " [L] new or modified variant of Test.Anchored"},
                   L"new or modified variant of Test.Plain"},
             Level{26, {virus + " [L] new or modified variant of Test.Plain (exact)",
                        start + " [L] new or modified variant of Test.Anchored (exact)"},
                   L"new or modified variant of Test.Plain (exact)"},
         }) {
        SCOPED_TRACE(level.level);
        SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
        g_config.s_nReportLevel = level.level;
        walk();
        std::vector<std::string> lines = entries();
        // Files come in the order the file system gives; compare as sets.
        std::sort(lines.begin(), lines.end());
        std::vector<std::string> expected = level.lines;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(g_config.s_report.s_nInfected.load(), 2u);
        EXPECT_EQ(g_config.s_report.s_nInfectedOpen.load(), 1u) << "an anchored record's file is not waiting for the user";
        EXPECT_EQ(g_config.s_report.s_nUnknown.load(), (level.level & 8) ? 2u : 0u);
        std::vector<std::wstring> items = listItems();
        ASSERT_EQ(items.size(), 2u);
        bool found = false;
        for (const std::wstring& item : items) {
            if (item == L"virus.exe (" + deviceFolder() + L"virus.exe)\t" + level.plainItem) found = true;
        }
        EXPECT_TRUE(found) << "list item \"name (path)\" with the virus text";
    }
}

TEST_F(ScanTest, LockedProtectedAndVanishingFiles) {
    put(L"locked.dat", "held by another program");
    put(L"vanishing.txt", "gone before it is scanned");
    HANDLE locked = CreateFileW((root_ + L"\\locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);

    // Between the listing and the scan, one file vanishes and another turns
    // into something that cannot be opened as a file: "access denied".
    const std::wstring vanishing = root_ + L"\\vanishing.txt", protectedPath = root_ + L"\\protected.dat";
    g_onProgress = [&](const std::wstring& current) {
        if (current != deviceFolder() + L"*.*") return;
        DeleteFileW(vanishing.c_str());
        DeleteFileW(protectedPath.c_str());
        CreateDirectoryW(protectedPath.c_str(), nullptr);
    };

    for (uint32_t level : {6u, 1u, 2u, 5u}) {
        SCOPED_TRACE(level);
        put(L"vanishing.txt", "gone before it is scanned");
        RemoveDirectoryW(protectedPath.c_str());
        put(L"protected.dat", "replaced by a folder");
        g_config.s_nReportLevel = level;
        walk();
        std::vector<std::string> lines = entries();
        std::sort(lines.begin(), lines.end());
        const std::string lockedPath = devicePath(L"locked.dat"), protectedName = devicePath(L"protected.dat");
        const std::string vanishingPath = devicePath(L"vanishing.txt");
        const std::string sharing =
            "The process cannot access the file because it is being used by another process. (32)";
        std::vector<std::string> expected;
        if (level == 6) expected = {lockedPath + " [E] " + sharing, protectedName + " [E] (5)"};
        if (level == 5) {
            expected = {lockedPath + " [E] " + sharing, protectedName + " [E] (5)", vanishingPath + " [+] is OK"};
        }
        // All files without errors: the unscanned files' entries end without a verdict.
        if (level == 1) expected = {lockedPath, protectedName, vanishingPath + " [+] is OK"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(g_config.s_report.s_nScanned.load(), 3u);
        EXPECT_EQ(g_config.s_report.s_nInfected.load(), 0u);
    }
    CloseHandle(locked);
}

TEST_F(ScanTest, DotFoldersAreNeverWalkedAndStorageCardOnlyAtTheRoot) {
    g_config.s_nReportLevel = 1;
    put(L".hidden\\virus.exe", kPlain);
    put(L"..odd\\virus.exe", kPlain);
    put(L"Storage Card\\inner.txt", "a folder of that name elsewhere is walked");
    put(L"StorageCard\\inner2.txt", "this one too");
    walk();
    std::vector<std::string> lines = entries();
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected = {devicePath(L"Storage Card\\inner.txt") + " [+] is OK",
                                         devicePath(L"StorageCard\\inner2.txt") + " [+] is OK"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(g_config.s_report.s_nInfected.load(), 0u);
}

// Runs the whole scan thread from "\" and serves what it sends to the window.
void runScanThread() {
    ScanContext context = contextFromConfig();
    HANDLE thread = CreateThread(nullptr, 0, scanThread, &context, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    g_config.s_hScanThread = thread;
    ResumeThread(thread);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, 120000, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(g_config.s_hScanThread.load(), nullptr);
    EXPECT_EQ(g_config.s_bStopScan.load(), 1);
}

TEST_F(ScanTest, StorageCardAtTheRootIsWalkedOnlyWhenAsked) {
    // The device's own "\Storage Card" holds one infected file. (Other tests
    // may add files elsewhere meanwhile: only this file is looked at.)
    writeBytes(L"\\Storage Card\\card-virus.exe", kPlain);
    const std::string cardLine = "\\Storage Card\\card-virus.exe [L] is infected by Test.Plain";
    g_config.s_nReportLevel = 2;

    g_config.s_bStorageCard = 0;
    runScanThread();
    EXPECT_EQ(g_scanDoneMessages, 1) << "nothing found: the report screen follows";
    EXPECT_EQ(g_config.s_report.s_nInfected.load(), 0u);
    std::vector<std::string> lines = entries();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), cardLine), lines.end());

    g_config.s_bStorageCard = 1;
    g_scanDoneMessages = 0;
    runScanThread();
    EXPECT_EQ(g_config.s_report.s_nInfected.load(), 1u);
    lines = entries();
    EXPECT_NE(std::find(lines.begin(), lines.end(), cardLine), lines.end());
    EXPECT_EQ(g_scanDoneMessages, 0) << "with an infected file the screen stays";
    wchar_t caption[64];
    GetDlgItemTextW(window_, kScanCancelId, caption, 64);
    EXPECT_STREQ(caption, L"Done");
    GetDlgItemTextW(window_, kScanCurrentFileId, caption, 64);
    EXPECT_STREQ(caption, L"Finished");
    DeleteFileW(L"\\Storage Card\\card-virus.exe");
}

// The Smartphone's scan screen: one list of lines "name (path) " and the
// report's wording, its one column widened to the widest line, and at the end
// the infected-files screen instead of the Done caption.
TEST_F(ScanTest, OneLineListAndTheInfectedFilesScreen) {
    DestroyWindow(list_);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_NOCOLUMNHEADER, 0, 0, 176, 100, window_,
                            reinterpret_cast<HMENU>(kInfectedLinesId), nullptr, nullptr);
    LVCOLUMNW c{};
    c.mask = LVCF_WIDTH;
    c.cx = 60;
    SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
    put(L"setup (1).exe", "xx " + kPlain + " xx");
    put(L"clean.txt", "nothing here");
    g_config.s_nReportLevel = 2 | 16;
    walk();
    const std::wstring expected =
        L"setup (1).exe (" + deviceFolder() + L"setup (1).exe) is infected by Test.Plain (exact)";
    std::vector<std::wstring> items = listItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], expected + L"\t");
    const int textWidth = int(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(expected.c_str())));
    EXPECT_EQ(int(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0)), textWidth + 10);

    // A whole scan that finds the file (stopped once it has): the screen of
    // the infected files follows, not the report.
    g_onProgress = [&](const std::wstring&) {
        if (g_config.s_report.s_nInfected.load() > 0) g_config.s_bStopScan = 1;
    };
    runScanThread();
    EXPECT_EQ(g_showInfectedMessages, 1);
    EXPECT_EQ(g_scanDoneMessages, 0);
    wchar_t caption[64];
    GetDlgItemTextW(window_, kScanCurrentFileId, caption, 64);
    EXPECT_STREQ(caption, L"Finished");
    GetDlgItemTextW(window_, kScanCancelId, caption, 64);
    EXPECT_STREQ(caption, L"Cancel") << "no Done caption for a screen that moves on";
}

TEST_F(ScanTest, StoppedScanStillWritesTheFooter) {
    g_config.s_nReportLevel = 1;
    int calls = 0;
    g_onProgress = [&](const std::wstring&) {
        if (++calls == 3) g_config.s_bStopScan = 1;
    };
    runScanThread();
    EXPECT_LE(g_config.s_report.s_nScanned.load(), 3u) << "the walk ends after the current file";
    std::vector<std::string> lines = entries();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[lines.size() - 9], "Scan process completed.");
    EXPECT_EQ(g_scanDoneMessages, 1);
}

TEST_F(ScanTest, PausedWalkWaitsBetweenFiles) {
    put(L"one.txt", "1");
    put(L"two.txt", "2");
    g_config.s_nReportLevel = 1;
    int calls = 0;
    DWORD pausedAt = 0;
    // Pause after the first file; a timer thread lifts it 300 ms later.
    g_onProgress = [&](const std::wstring&) {
        if (++calls == 2) {
            g_config.s_bPauseScan = 1;
            pausedAt = GetTickCount();
            CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
                Sleep(300);
                g_config.s_bPauseScan = 0;
                return 0;
            }, nullptr, 0, nullptr);
        }
    };
    walk();
    EXPECT_GE(GetTickCount() - pausedAt, 250u) << "the walk waited while paused";
    EXPECT_EQ(g_config.s_report.s_nScanned.load(), 2u) << "no file is skipped";
}

TEST_F(ScanTest, PathTooLongForTheWalkIsReportedNotCut) {
    // A folder path of over 400 characters and a file name that takes the
    // whole path beyond the walk's 512-character buffer.
    std::wstring deep = L"";
    for (int i = 0; i < 4; ++i) deep += std::wstring(100, wchar_t(L'a' + i)) + L"\\";
    std::wstring longName = std::wstring(120, L'n') + L".txt";
    put(deep + longName, "long");
    put(deep + L"short.txt", "short");
    if (GetFileAttributesW((root_ + L"\\" + deep + longName).c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the platform refuses paths this long";
    }
    g_config.s_nReportLevel = 6;
    walk();
    std::vector<std::string> lines = entries();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], ansi(deviceFolder() + deep + longName) + " [E] (206)");
    EXPECT_EQ(g_config.s_report.s_nScanned.load(), 2u);
}

}  // namespace
