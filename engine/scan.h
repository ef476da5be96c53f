#pragma once
// The scan driver: one whole scan of the device on its own thread. It writes
// the report, walks the file system from "\" depth first (every file of a
// folder before its subfolders), scans every file, lists every infected file
// on the scan screen, keeps the counters, honours pause and stop requests
// between files, and hands control back to the user interface at the end.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <mutex>

#include "engine/report.h"
#include "engine/scanner.h"

// Ends the scan screen and opens the report screen; sent by the scan thread.
constexpr UINT WM_SCAN_DONE = 0x8100;

// Ends the scan screen and shows the infected files on a screen of their own
// (Smartphone); sent by the scan thread in place of WM_SCAN_DONE when the
// scan screen holds the one-line list kInfectedLinesId and files were found.
constexpr UINT WM_SHOW_INFECTED = 0x8101;

// The scan has ended and its list of infected files stays on the scan screen
// (every edition but the Smartphone): the list takes the keyboard focus.
// Posted by the scan thread as its last act.
constexpr UINT WM_SCAN_FINISHED = 0x8103;

// Controls of the scan screen that the scan talks to (children of the main window).
// The Pocket PC's two-column list, or the Smartphone's list of one-line items
// "name (path) detection".
constexpr int kScanListId = 116;
constexpr int kInfectedLinesId = 10009;
constexpr int kScanCurrentFileId = 8211;
constexpr int kScanCancelId = 8207;

// Report level bits.
constexpr uint32_t kLevelAllFiles = 1;
constexpr uint32_t kLevelErrors = 4;
constexpr uint32_t kLevelVariantWording = 8;
constexpr uint32_t kLevelExact = 16;

// Paths are built in buffers of this many UTF-16 characters per folder level.
constexpr size_t kScanPathCapacity = 512;

// The progress path that the scan thread writes and the scan screen shows.
// Copied under a lock so that the screen never shows a half-written path.
class ProgressText {
public:
    static constexpr size_t kCapacity = 512;

    void set(const wchar_t* text) {
        std::lock_guard<std::mutex> hold(lock_);
        wcsncpy(text_, text ? text : L"", kCapacity - 1);
        text_[kCapacity - 1] = 0;
    }
    void copyTo(wchar_t* out, size_t capacity) const {
        if (capacity == 0) return;
        std::lock_guard<std::mutex> hold(lock_);
        wcsncpy(out, text_, capacity - 1);
        out[capacity - 1] = 0;
    }

private:
    mutable std::mutex lock_;
    wchar_t text_[kCapacity] = {};
};

// What the scan driver is handed by the program that starts it: the two
// settings it follows, the flags and the progress path it shares with the
// scan screen, the window it talks to and the report it writes (whose text
// source also words the lines of the list). The shared parts must outlive
// the scan.
struct ScanContext {
    uint32_t reportLevel = 0;               // kLevel* bits
    bool storageCard = false;               // "\Storage Card" and "\StorageCard" are walked too
    std::atomic<uint8_t>* pause = nullptr;  // while set, the walk waits between two files
    std::atomic<uint8_t>* stop = nullptr;   // once set, the walk ends; set again when the scan ends
    std::atomic<HANDLE>* thread = nullptr;  // the scan thread's handle, cleared when it ends
    ProgressText* currentFile = nullptr;
    HWND mainWindow = nullptr;
    ScanReport* report = nullptr;
    bool scanArchives = true;  // the members of CAB and ZIP files are examined too (setting "ScanArchives")
};

// The thread procedure: started by the scan screen with its ScanContext.
DWORD WINAPI scanThread(LPVOID context);

// Walks one folder (a path ending in a backslash) and everything below it.
Status scanDirectory(const ScanContext& context, const wchar_t* directory, MatchResult& result);

// Provided by the scan screen: refreshes the progress display from the
// progress path it handed over.
void updateScanProgress(HWND mainWindow);
