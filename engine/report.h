#pragma once
// The scan report "report.txt" beside the program: a header with the product,
// the start time and the database version; one line per reported file; a
// footer with the totals and the scan time. 8-bit text in the device's ANSI
// code page, lines ended by CR LF. The file is open only while one piece is
// written, so that the report on disk is always whole up to its last line.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "base/status.h"

// The texts the report is worded in: the text of a number in the user's
// language, copied for the caller (the scan thread never shares the user
// interface's buffer).
using TextSource = std::wstring (*)(uint32_t id);

// The report writer's state, one instance in the main program's state. The counters are written
// by the scan thread and read by the scan screen, so they are atomic.
struct ScanReport {
    TextSource text = nullptr;  // set by the program before a report begins
    HANDLE file = nullptr;
    uint32_t headerLength = 0;  // bytes of the title line; sets both rules of dashes
    std::atomic<uint32_t> s_nScanned{0};
    std::atomic<uint32_t> s_nInfected{0};
    std::atomic<uint32_t> s_nUnknown{0};
    std::atomic<uint32_t> s_nInfectedOpen{0};
    std::atomic<uint32_t> s_nRenamed{0};
    std::atomic<uint32_t> s_nDeleted{0};
    SYSTEMTIME startTime{};
    SYSTEMTIME endTime{};
    wchar_t path[512] = {};
};

// Kinds of a file entry: a bit set choosing the marker and the counting.
constexpr uint32_t kReportClean = 1;      // " [+] "
constexpr uint32_t kReportInfected = 2;   // " [L] "
constexpr uint32_t kReportError = 4;      // " [E] "
constexpr uint32_t kReportVariant = 10;   // " [L] ", counted as unknown

// Resets the six counters, forms the report's path beside the program, creates
// the file anew and writes the header (the start time is taken just before the
// date line). 87 for a null or empty name; the platform error of a failed
// create or write; else 0. The file is closed on every path.
Status reportBegin(ScanReport& report, const wchar_t* fileName);

// Appends a file's full path, with no line end.
Status reportWritePath(ScanReport& report, const wchar_t* path);

// Appends the marker of `kind`, the text and the line end; counts the entry.
Status reportWriteResult(ScanReport& report, uint32_t kind, const wchar_t* text);

// Ends an entry whose result will not follow, so that the next entry starts on
// a line of its own.
Status reportEndEntry(ScanReport& report);

// Appends the footer: totals and scan time (the end time is taken just before
// the last line). Does nothing when the report cannot be opened.
void reportEnd(ScanReport& report);

void resetCounters(ScanReport& report);

// True when "report.txt" exists as a file in the program's folder.
bool reportExists();
