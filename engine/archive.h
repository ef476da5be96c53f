#pragma once
// Inside archives: the members of CAB and ZIP files, scanned as if each were
// a file. Platform-free: the device's scanner and the host's scan tool hand
// it the same WindowSource they scan the file through.
//
// Order of a file's scan: the raw scan of the file (scanWindows) comes first
// and a detection there stands. Only when it finds nothing, and the file is
// an archive by its content, are the members examined, in archive order; the
// first infected member gives the verdict. A member is scanned by the file
// rules on its uncompressed bytes (whole up to kScanWholeFileLimit, else the
// head window and, when the head finds nothing, the tail window; anchored
// records count only at the member's own start). A member that is itself an
// archive is scanned as a file first and then opened, up to
// ArchiveLimits::depth levels below the file.
//
// Recognition, by content only:
//   CAB: "MSCF", version 1.3, and a header whose offsets lie inside it;
//   ZIP: a local header ("PK\3\4") at offset 0, or an end-of-central-
//        directory record ("PK\5\6") at the end (followed by a comment of
//        at most 4 KB) whose central directory lies before it (a ZIP behind
//        a self-extracting program).
// Compressions: CAB none and MSZIP; ZIP stored and deflate (zlib's inflate).
//
// The work is bounded (ArchiveLimits) and the memory too: the members stream
// through one window of kScanWholeFileLimit bytes (the head window, whose
// second half then serves as the ring of the tail window); beyond it, per
// open level an inflate state (about 40 KB), a 4 KB read buffer and, for a
// CAB, its file table; one 32 KB buffer carries MSZIP's history across
// blocks. Every size and offset is checked against the data that holds it.
#include <cstdint>

#include "engine/scan_windows.h"
#include "engine/search.h"
#include "base/status.h"

// The bounds of one file's archive work. The defaults are the device's.
struct ArchiveLimits {
    uint64_t memberBytes = 16u << 20;   // uncompressed bytes of one member that are examined
    uint64_t archiveBytes = 64u << 20;  // bytes produced for one file, all levels and re-reads together
    uint32_t members = 1024;            // members of one file, nested ones included
    uint32_t depth = 3;                 // levels of archives below the file (1: only its own members)
};

// Why a member was not examined.
enum class ArchiveProblem : uint8_t {
    none,
    compression,   // a compression other than the ones read here (detail: its name)
    encrypted,
    continued,     // continued in (or from) another cabinet, or a split ZIP
    damaged,       // the archive's structure or a member's stream is damaged or cut
    memberLimit,   // the member is larger than ArchiveLimits::memberBytes (its head window was searched)
    archiveLimit,  // ArchiveLimits::archiveBytes was used up; the walk of the file ends here
    countLimit,    // ArchiveLimits::members reached; the walk ends here
    depthLimit,    // an archive nested deeper than ArchiveLimits::depth: scanned as a file, not opened
    stopped,       // the caller asked the scan to stop
    unreadable,    // the file could not be read (detail: the status)
    noMemory,
};

// The short form used in outputs and documented with them:
// "compression LZX", "encrypted", "continued", "damaged", "limit member size",
// "limit archive size", "limit members", "limit depth", "stopped",
// "unreadable", "out of memory".
const char* archiveProblemText(ArchiveProblem problem);

constexpr uint32_t kArchiveNameCapacity = 1024;  // a member's name, nested names joined by '/'

// What the caller hears while a file's archives are walked.
struct ArchiveEvents {
    void* context = nullptr;
    // Polled between blocks of work; false stops the walk (ArchiveProblem::stopped).
    // The device's pause waits inside it.
    bool (*keepGoing)(void* context) = nullptr;
    // A member that was not examined, in archive order; `detail` names the
    // compression, or is empty.
    void (*notExamined)(void* context, const char* member, ArchiveProblem problem, const char* detail) = nullptr;
};

struct ArchiveVerdict {
    MatchResult result;                       // recordNumber 0: no member is infected
    char member[kArchiveNameCapacity] = {};  // the infected member's name
    uint32_t archives = 0;                    // archives opened: the file and nested ones
    uint32_t membersExamined = 0;
    uint32_t membersNotExamined = 0;
    uint64_t bytesProduced = 0;  // uncompressed bytes produced, all levels
    uint64_t peakMemory = 0;     // bytes held at once beyond the window
};

enum class ArchiveKind : uint8_t { none, cab, zip };

// Where a ZIP's first local header lies when it is found by its end record.
struct ArchiveOpening {
    ArchiveKind kind = ArchiveKind::none;
    uint64_t zipDirectory = 0;  // offset of the central directory's first entry, as found
    uint64_t zipShift = 0;      // bytes before the ZIP's own offset 0 (a program in front of it)
    bool zipByEnd = false;      // recognised by its end record, not by a local header at 0
    bool zipSplit = false;      // the end record names another part
    bool zipEmpty = false;      // the end record counts no entries
};

// A few bytes' comparison for a file that is no archive.
ArchiveOpening archiveRecognize(const FileEnds& ends);

// Examines the members of a file recognised as an archive. `window` holds
// kScanWholeFileLimit bytes and may be the raw scan's buffer (the ends are
// no longer needed once recognised). 0 when the walk ended (a verdict or
// not; members not examined were told to `events`); kStatusOutOfMemory when
// not even the first level could be opened.
Status archiveScan(const VpsDatabase& db, ScanMethod method, uint64_t size, const WindowSource& file,
                   const ArchiveOpening& opening, uint8_t* window, const ArchiveLimits& limits,
                   const ArchiveEvents& events, ArchiveVerdict& verdict);

// The whole scan of one file: the raw scan (scanWindows), then, when it finds
// nothing and the file is an archive, its members. `window` holds
// kScanWholeFileLimit bytes. The status is the raw scan's; `result` is the
// detection, from the file's own bytes or (verdict.member not empty) from a
// member.
Status scanWithArchives(const VpsDatabase& db, uint64_t size, const WindowSource& source, uint8_t* window,
                        ScanMethod method, const ArchiveLimits& limits, const ArchiveEvents& events,
                        MatchResult& result, ArchiveVerdict& verdict);
