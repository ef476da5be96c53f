#pragma once
// The file scanner: decides whether one file is infected by reading at most
// two windows of it, its start and its end, and searching them for the
// records of the loaded database (g_vps).
#include <cstdint>

#include "base/status.h"
#include "engine/archive.h"
#include "engine/scan_windows.h"
#include "engine/search.h"

// 0 when the file was examined (result.recordNumber 0 clean, else the
// detection); otherwise the file was not examined and recordNumber is 0:
// 87 no path, 8 no memory, 259 short read, or the platform error of the open,
// seek or read (2 not found, 5 access denied, 32 sharing violation, ...).
Status scanFile(const wchar_t* path, MatchResult* result);

// Searches one window with the literal comparison, every match counting
// wherever it lies; writes `result` only on a detection. Returns 0.
Status scanBuffer(const uint8_t* buffer, uint32_t length, MatchResult* result);

// scanFile with the search chosen (ScanMethod, engine/scan_windows.h).
// Benchmarks and tests compare the two.
Status scanFileWith(const wchar_t* path, MatchResult* result, ScanMethod method);

// scanFile, and, when the file's own windows find nothing and it is a CAB or
// ZIP file by its content, its members (engine/archive.h) with the device's
// limits. A detection in a member leaves its name in verdict.member; members
// not examined are told to `events`, whose keepGoing is polled during the
// walk (the scan's pause and stop). The status is scanFile's.
Status scanFileWithArchives(const wchar_t* path, MatchResult* result, const ArchiveEvents& events,
                            ArchiveVerdict& verdict);
