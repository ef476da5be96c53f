#pragma once
// The scan of host folders and files with a loaded database, for the
// maker's checks of a database against sample and clean corpora (./zb scan).
// Every regular file is scanned exactly as the device's scanFile does it
// (engine/scan_windows.h); the output is in walk order whatever the number
// of threads.
//
// Walk order: the paths in the order given; in a folder, its files (and
// whatever is not a folder) by name, then its subfolders by name. Symbolic
// links are followed; one leading back to a folder being walked is a loop.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/archive.h"
#include "engine/scan_windows.h"
#include "engine/vps_format.h"

struct HostScanOptions {
    std::vector<std::string> paths;
    unsigned threads = 1;
    ScanMethod method = ScanMethod::table;
    bool progress = false;  // a progress line on `err`, redrawn in place
    bool archives = true;   // examine the members of CAB and ZIP files (engine/archive.h)
    ArchiveLimits limits;   // the device's
};

struct HostScanTotals {
    uint64_t files = 0;       // regular files scanned
    uint64_t bytes = 0;       // window bytes read and searched
    uint64_t detections = 0;
    uint64_t errors = 0;      // files or folders that could not be read
    uint64_t skipped = 0;     // special files and symbolic-link loops
    uint64_t archives = 0;    // archives opened, nested ones included
    uint64_t membersExamined = 0;
    uint64_t membersNotExamined = 0;
    double seconds = 0;
};

// Writes one line per detection to `out`:
//   status=0 record=N offset=N flags=N name=NAME path=PATH
// or, for a detection in a member of an archive (nested names joined by '/'),
//   status=0 record=N offset=N flags=N name=NAME member=MEMBER path=ARCHIVE
// and one message per error, skipped entry or member not examined to `err`:
//   zb scan: PATH: MESSAGE
//   zb scan: ARCHIVE: member MEMBER not examined: REASON
// all in walk order (REASON: archiveProblemText, with the compression's name).
// Returns the exit status: 1 when something was found, else 2 when
// something could not be read, else 0.
int hostScan(const VpsDatabase& db, const HostScanOptions& options, FILE* out, FILE* err, HostScanTotals& totals);

// The summary lines (files, bytes, detections, errors, time, files/s, MB/s;
// archives, members examined and not examined).
void hostScanSummary(const HostScanTotals& totals, FILE* to);
