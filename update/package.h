#pragma once
// The update container and the package inside it. Platform-free: the device
// programs, the maker's tools, the tests and the fuzzers read and make
// containers and packages with this code.
//
// Container (little-endian): "KVXP" (4), the CRC-32 of every byte from
// offset 8 to the end as stored (4), then the payload, each byte XOR-ed with
// kUpdateContainerKey. The version file's payload is the package version
// (2); the package's is the version (2), the entry count (2) and the
// entries: flags (4, bit 0 = the installer), data length L (4), the name
// (8-bit text and a NUL), L data bytes.
#include <cstddef>
#include <cstdint>

#include "update/update_config.h"

constexpr uint32_t kContainerHeaderSize = 8;
constexpr uint32_t kContainerMinimumSize = 9;
constexpr uint32_t kVersionFileSize = 10;
constexpr uint32_t kPackageHeaderSize = 12;
constexpr uint32_t kPackageMinimumSize = 21;
constexpr uint32_t kEntryHeaderSize = 8;
constexpr uint32_t kEntryFlagInstaller = 0x1;
// Longest full path of a file the install writes, in characters.
constexpr size_t kMaxTargetPath = 511;

// True when `buffer` holds a container: at least 9 bytes, the magic, the
// checksum matching.
bool containerIsValid(const uint8_t* buffer, uint32_t size);

// XORs every byte from offset 8 on with the key; its own inverse.
void containerScramble(uint8_t* buffer, uint32_t size);

// Checks the container and unscrambles it in place; false (buffer
// unchanged) when it is no valid container.
bool containerOpen(uint8_t* buffer, uint32_t size);

// The package version at offset 8 of an opened container (at least 10 bytes).
uint16_t containerVersion(const uint8_t* buffer);

// A package is new when its version is above the one the device has
// installed: by default the one this build is.
bool packageIsNewer(uint16_t version, uint16_t installed = kInstalledPackageVersion);

// The record of the installed package: a file of that name in the program
// folder, holding the package's version (2 bytes, little-endian). The maker's
// tools put it in a package as one more entry; the installer puts it in place
// only after every other file of the package is in place, so a device never
// counts itself as a package it did not wholly install. A package without it
// (made by older tools) installs as before and records nothing.
constexpr char kPackageRecordName[] = "zbpackage.ver";
constexpr wchar_t kPackageRecordFile[] = L"zbpackage.ver";
constexpr uint32_t kPackageRecordSize = 2;

// The package version a device has installed: the larger of the one its
// programs were built as and the one its record holds. A record that is not
// exactly its two bytes counts as none.
uint16_t installedPackageVersion(uint16_t builtIn, const uint8_t* record, uint32_t recordSize);

// One entry of an opened package; pointers into the package.
struct PackageEntry {
    uint32_t offset = 0;  // where the entry starts in the package
    uint32_t flags = 0;
    uint32_t dataLength = 0;
    const char* name = nullptr;  // NUL-terminated inside the package
    uint32_t nameLength = 0;     // without the NUL
    const uint8_t* data = nullptr;
};

enum class EntryStatus {
    ok,
    outside,     // the entry starts at or past the end, or its header, name or data reach past it
    unsafeName,  // the name would leave the temporary folder (see entryNameIsSafe)
};

// Walks the entries of an opened package, one after another from offset 12.
struct PackageWalk {
    const uint8_t* package = nullptr;
    uint32_t size = 0;
    uint64_t next = kPackageHeaderSize;  // where the next entry starts
};

// Starts a walk over an opened package of at least 12 bytes.
PackageWalk packageWalkBegin(const uint8_t* package, uint32_t size);

// Reads the entry at the walk's position into `entry` and moves past it.
// Nothing is read beyond the package; on a failure the walk stays put.
EntryStatus packageWalkNext(PackageWalk& walk, PackageEntry& entry);

// The package's entry count (offset 10 of an opened package).
uint16_t packageEntryCount(const uint8_t* package);

// False for a name that, appended to the temporary folder, would name a
// file elsewhere: empty, ".", "..", or holding a backslash, a slash or a
// colon. Checked on the 8-bit name and again on its converted form.
bool entryNameIsSafe(const char* name, size_t length);
bool entryNameIsSafe(const wchar_t* name, size_t length);

// The installer's command line: "@<pid> <folder>" in interactive mode,
// "<pid> <folder>" otherwise; `folder` carries its trailing backslash.
// False when it does not fit `capacity` characters with its NUL.
bool installerCommandLine(wchar_t* out, size_t capacity, uint32_t processId, const wchar_t* folder,
                          uint32_t mode);

// What a whole package holds, for tools that show one and for the fuzzer.
struct PackageSummary {
    uint16_t version = 0;
    uint16_t entryCount = 0;
    uint16_t entriesRead = 0;         // whole, safely named entries before the first failure
    EntryStatus firstFailure = EntryStatus::ok;
    int32_t installerEntry = -1;      // index of the last entry flagged as the installer
    uint64_t trailingBytes = 0;       // bytes after the last entry when all were read
};

// Walks an opened package (at least 21 bytes) the way the install does.
// True when every counted entry is whole and safely named.
bool packageSummarize(const uint8_t* package, uint32_t size, PackageSummary& summary);
